// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/Excel.h"

#include "platform/AppInfo.h"
#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "platform/Shell.h"
#include "platform/SystemError.h"
#include "protocol/SaveFilter.h"
#include "protocol/SheetName.h"
#include "protocol/WorkbookCells.h"
#include "protocol/XmlText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace {

// An XLSX sheet's limits.
constexpr int kMaxRows = 1048576;
constexpr int kMaxCols = 16384;
// Columns grow with their longest text up to this width; a longer text wraps
// in its cell, so one long name cannot stretch the printout over many pages.
constexpr double kMaxFitWidth = 40.0;
// Characters of a wrapped line, a little less than the column holds, as
// words move whole to the next line; a line's height in points; and the
// most lines a row grows to (a row is at most 409 points high).
constexpr double kWrappedLine = kMaxFitWidth - 4.0;
constexpr double kLinePoints = 15.0;
constexpr int kMaxWrappedLines = 27;
// A column width is counted in digit widths, which is about what a character
// of ordinary text takes; the cell adds a margin on either side.
constexpr double kCellMargin = 1.0;
constexpr int kMaxNumberDigits = 15;
constexpr double kTitlePoints = 14;

// The text a cell gets: at most kMaxCellText characters, a longer one cut
// with "…" at its end (never inside a surrogate pair).
QString fittedText(const QString& text)
{
    if (text.size() <= TExcel::kMaxCellText)
        return text;
    qsizetype keep = TExcel::kMaxCellText - 1;
    if (text[keep - 1].isHighSurrogate())
        --keep;
    return text.left(keep) + QChar(0x2026);
}

// A name in the folder that no file has yet, so an earlier workbook of the
// same minute, perhaps edited by the user, is never replaced.
QString freeWorkbookName(const QString& folder, const QStringList& taken)
{
    return platform::UnusedFileName(folder, protocol::DateStampName(), QStringLiteral(".xlsx"), taken);
}

QString lxwMessage(lxw_error error)
{
    return QString::fromUtf8(lxw_strerror(error));
}

// The writer reports its own error codes; the system's reason for a failed
// file operation is left in errno.
QString writeReason(lxw_error error, int systemError)
{
    if (systemError != 0)
        return platform::SystemReason(systemError);
    return lxwMessage(error);
}

// Roughly how many characters a number format shows, for the column width.
qsizetype shownLength(const QString& format)
{
    QString shown = format;
    shown.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    return shown.size();
}

} // namespace

EExcel::EExcel(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

EExcel::EExcel(const QString& message, const QString& fileName, const QString& reason)
    : std::runtime_error(message.toStdString())
    , m_fileName(fileName)
    , m_reason(reason)
{
}

TExcel::TExcel() = default;

TExcel::~TExcel()
{
    if (m_workbook) {
        lxw_workbook* workbook = m_workbook;
        m_workbook = nullptr;
        workbook_close(workbook); // frees it; the unshown file goes below
    }
    if (!m_partPath.isEmpty())
        QFile::remove(m_partPath);
    // A workbook nobody was shown is of no use to anyone; only the files
    // written here go, and the folder only when this export made it and
    // nothing else is in it.
    if (!m_shown) {
        for (const QString& path : std::as_const(m_workbooks))
            QFile::remove(path);
        if (m_madeFolder)
            QDir().rmdir(m_folder);
    }
}

QString TExcel::WorkbookFolder()
{
    return platform::OutputFolder();
}

bool TExcel::Connect()
{
    if (!m_folder.isEmpty())
        return true;
    const QString folder = WorkbookFolder();
    const QFileInfo info(folder);
    if (!info.isDir()) {
        if (info.exists()) {
            m_connectError = { folder, platform::SystemReason(ENOTDIR) };
            return false;
        }
        // The documents folder exists (or is the home folder): only the
        // last step is made here, so the system's reason is the one shown.
        QString reason;
        if (!platform::MakeFolder(folder, false, &reason)) {
            m_connectError = { folder, reason };
            return false;
        }
        m_madeFolder = true;
    }
    m_folder = QFileInfo(folder).absoluteFilePath();
    // The writer's scratch files are no business of the user's folder; a
    // temporary location that does not exist leaves them to the system's
    // default.
    const QString scratch = QDir::tempPath();
    m_scratchBytes = QFileInfo(scratch).isDir() ? QFile::encodeName(scratch) : QByteArray();
    return true;
}

void TExcel::AddWorkbook(const QString& sheetName)
{
    if (m_folder.isEmpty())
        throw EExcel(QStringLiteral("Workbooks: no spreadsheet connection"));
    m_line = 1;
    finishWorkbook();
    const QString path = freeWorkbookName(m_folder, m_workbooks);
    // The writer puts the file together under a temporary name; it takes the
    // workbook's name only once it is complete.
    m_partPath = platform::TemporaryNameBeside(path);
    lxw_workbook_options options {};
    options.constant_memory = LXW_FALSE;
    options.tmpdir = m_scratchBytes.isEmpty() ? nullptr : m_scratchBytes.data();
    m_workbook = workbook_new_opt(QFile::encodeName(m_partPath).constData(), &options);
    if (!m_workbook)
        throw EExcel(QStringLiteral("Workbooks.Add: cannot create %1").arg(path), path, platform::SystemReason(ENOMEM));
    if (!m_title.isEmpty()) {
        QByteArray title = protocol::XmlSafeText(m_title).toUtf8();
        lxw_doc_properties properties {};
        properties.title = title.data(); // copied by the writer
        if (workbook_set_properties(m_workbook, &properties) != LXW_NO_ERROR)
            throw EExcel(QStringLiteral("Workbooks.Add: cannot set the title of %1").arg(path));
    }
    m_workbooks << path;
    m_sheetNames.clear();
    m_sheetIndex = -1;
    addSheet(sheetName.isEmpty() ? QStringLiteral("Tabelle1") : sheetName);
}

void TExcel::AddSheet(const QString& name)
{
    if (!m_workbook)
        throw EExcel(QStringLiteral("Sheets.Add: no workbook is open"));
    fitSheet();
    m_line = 1;
    addSheet(name);
}

void TExcel::addSheet(const QString& name)
{
    const QString unique = protocol::SheetName(name, m_sheetNames);
    m_sheet = workbook_add_worksheet(m_workbook, unique.toUtf8().constData());
    if (!m_sheet)
        throw EExcel(QStringLiteral("Sheets.Add: cannot add the sheet %1 to %2").arg(unique, WorkbookPath()));
    m_sheetNames << unique;
    ++m_sheetIndex;
    // However many columns, a printout is one page wide.
    worksheet_fit_to_pages(m_sheet, 1, 0);
}

void TExcel::HoldHeader(int line)
{
    if (!m_sheet)
        throw EExcel(QStringLiteral("Header: no workbook is open"));
    if (line < 1 || line >= kMaxRows)
        throw EExcel(QStringLiteral("Header(%1): outside the sheet").arg(line));
    worksheet_freeze_panes(m_sheet, static_cast<lxw_row_t>(line), 0);
    const auto row = static_cast<lxw_row_t>(line - 1);
    const lxw_error error = worksheet_repeat_rows(m_sheet, row, row);
    if (error != LXW_NO_ERROR)
        throw EExcel(QStringLiteral("Header(%1): %2").arg(line).arg(lxwMessage(error)));
}

// Widths are set once per column at the end of a sheet; setting a column
// twice would give the sheet overlapping column records.
void TExcel::fitSheet()
{
    for (const auto& [row, lines] : m_rowLines)
        worksheet_set_row(m_sheet, static_cast<lxw_row_t>(row), kLinePoints * lines, nullptr);
    m_rowLines.clear();
    for (const auto& [col, width] : m_fitted)
        worksheet_set_column(m_sheet, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(col), width, nullptr);
    m_fitted.clear();
    m_longest.clear();
}

void TExcel::WriteLine()
{
    if (!m_sheet)
        throw EExcel(QStringLiteral("Cells: no workbook is open"));
    for (int k = 1; k <= m_values.size(); ++k) {
        const TExcelCell kind = k <= m_kinds.size() ? m_kinds[k - 1] : TExcelCell::Auto;
        if (m_horizontal)
            writeCell(m_line, k, m_values[k - 1], kind);
        else
            writeCell(k, m_line, m_values[k - 1], kind);
    }
    ++m_line;
}

void TExcel::WriteHeading(const QString& text, Heading kind)
{
    if (!m_sheet)
        throw EExcel(QStringLiteral("Cells: no workbook is open"));
    if (m_line < 1 || m_line > kMaxRows)
        throw EExcel(QStringLiteral("Cells(%1, 1): outside the sheet").arg(m_line));
    lxw_format* format = workbook_add_format(m_workbook);
    if (!format)
        throw EExcel(QStringLiteral("Heading: no format can be added"));
    if (kind == Heading::Title) {
        format_set_bold(format);
        format_set_font_size(format, kTitlePoints);
    }
    const QString shown = fittedText(protocol::XmlSafeText(text));
    const lxw_error error
        = worksheet_write_string(m_sheet, static_cast<lxw_row_t>(m_line - 1), 0, shown.toUtf8().constData(), format);
    if (error != LXW_NO_ERROR)
        throw EExcel(QStringLiteral("Cells(%1, 1): %2").arg(m_line).arg(lxwMessage(error)));
    ++m_line;
}

void TExcel::AutoFitColumns()
{
    if (!m_sheet)
        throw EExcel(QStringLiteral("Autofit: no workbook is open"));
    m_fitted.clear();
    for (const auto& [col, chars] : m_longest)
        m_fitted[col] = std::min(kMaxFitWidth, static_cast<double>(chars) + kCellMargin);
}

void TExcel::Show()
{
    finishWorkbook();
    m_shown = true;
    for (const QString& path : std::as_const(m_workbooks))
        platform::CurrentShell().open(path);
}

QString TExcel::WorkbookPath() const
{
    return m_workbooks.isEmpty() ? QString() : m_workbooks.last();
}

bool TExcel::ReadsAsNumber(const QString& text, double* value)
{
    int digits = 0;
    int points = 0;
    for (const QChar ch : text) {
        if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9'))
            ++digits;
        else if (ch == QLatin1Char('.'))
            ++points;
        else
            return false;
    }
    if (digits == 0 || digits > kMaxNumberDigits || points > 1)
        return false;
    if (value)
        *value = text.toDouble();
    return true;
}

void TExcel::finishWorkbook()
{
    if (!m_workbook)
        return;
    fitSheet();
    lxw_workbook* workbook = m_workbook;
    m_workbook = nullptr;
    m_sheet = nullptr;
    m_formats.clear();
    m_wrap = nullptr;
    const QString path = WorkbookPath();
    const QString part = m_partPath;
    m_partPath.clear();
    errno = 0;
    const lxw_error error = workbook_close(workbook);
    const int systemError = errno;
    if (error != LXW_NO_ERROR) {
        QFile::remove(part);
        const QString reason = writeReason(error, systemError);
        throw EExcel(QStringLiteral("Cannot write %1: %2").arg(path, reason), path, reason);
    }
    QString reason;
    if (!platform::ReplaceFileAtomically(part, path, &reason))
        throw EExcel(QStringLiteral("Cannot write %1: %2").arg(path, reason), path, reason);
}

lxw_format* TExcel::numberFormat(const QString& code)
{
    if (code.isEmpty())
        return nullptr;
    auto found = m_formats.find(code);
    if (found != m_formats.end())
        return found->second;
    lxw_format* format = workbook_add_format(m_workbook);
    if (!format)
        throw EExcel(QStringLiteral("NumberFormat %1: cannot be added").arg(code));
    format_set_num_format(format, code.toUtf8().constData());
    m_formats.emplace(code, format);
    return format;
}

lxw_format* TExcel::wrapFormat()
{
    if (!m_wrap) {
        m_wrap = workbook_add_format(m_workbook);
        if (!m_wrap)
            throw EExcel(QStringLiteral("Wrap: no format can be added"));
        format_set_text_wrap(m_wrap);
        format_set_align(m_wrap, LXW_ALIGN_VERTICAL_TOP);
    }
    return m_wrap;
}

void TExcel::writeCell(int row, int col, const QString& text, TExcelCell kind)
{
    if (row < 1 || row > kMaxRows || col < 1 || col > kMaxCols)
        throw EExcel(QStringLiteral("Cells(%1, %2): outside the sheet").arg(row).arg(col));
    const auto sheetRow = static_cast<lxw_row_t>(row - 1);
    const auto sheetCol = static_cast<lxw_col_t>(col - 1);

    std::optional<protocol::SheetNumber> number;
    switch (kind) {
    case TExcelCell::Auto: {
        double value = 0;
        if (ReadsAsNumber(text, &value))
            number = protocol::SheetNumber { value, QString() };
        break;
    }
    case TExcelCell::Text:
        break;
    case TExcelCell::WholeNumber:
        number = protocol::WholeNumberCell(text);
        break;
    case TExcelCell::TimeOfDay:
        number = protocol::TimeOfDayCell(text);
        break;
    case TExcelCell::RunTime:
        number = protocol::RunTimeCell(text);
        break;
    }

    lxw_error error;
    qsizetype shown = text.size();
    if (number) {
        error = worksheet_write_number(m_sheet, sheetRow, sheetCol, number->value, numberFormat(number->format));
        // A whole number shows its digits; "007" typed as a number shows 7.
        if (kind == TExcelCell::Auto)
            shown = QString::number(number->value, 'g', kMaxNumberDigits).size();
        else if (!number->format.isEmpty())
            shown = std::max(shown, shownLength(number->format));
    } else {
        // A NUL would cut the text short and U+FFFF would leave the shared
        // strings unreadable, losing every later text of the sheet.
        const QString safe = protocol::XmlSafeText(text);
        const QString fitted = fittedText(safe);
        if (fitted.size() != safe.size())
            m_cut << CutCell { row, col, safe.size(), m_sheetIndex };
        shown = fitted.size();
        const bool wraps = static_cast<double>(shown) + kCellMargin > kMaxFitWidth;
        error = worksheet_write_string(
            m_sheet, sheetRow, sheetCol, fitted.toUtf8().constData(), wraps ? wrapFormat() : nullptr);
        if (wraps) {
            // Spreadsheets keep a row's stored height when they open a file,
            // so a wrapped text gets the lines it needs here.
            const auto lines = static_cast<int>(std::ceil(static_cast<double>(shown) / kWrappedLine));
            int& rowLines = m_rowLines[row - 1];
            rowLines = std::max(rowLines, std::min(lines, kMaxWrappedLines));
        }
    }
    if (error != LXW_NO_ERROR)
        throw EExcel(QStringLiteral("Cells(%1, %2): %3").arg(row).arg(col).arg(lxwMessage(error)));
    qsizetype& longest = m_longest[col - 1];
    longest = std::max(longest, shown);
}
