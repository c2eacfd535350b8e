#include "protocol/Excel.h"

#include "platform/Shell.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>

namespace {

// An XLSX sheet's limits.
constexpr int kMaxRows = 1048576;
constexpr int kMaxCols = 16384;
constexpr double kMaxWidth = 255.0;
// A column width is counted in digit widths, which is about what a character
// of ordinary text takes; the cell adds a margin on either side.
constexpr double kCellMargin = 1.0;
constexpr int kMaxNumberDigits = 15;

QString lxwMessage(lxw_error error)
{
    return QString::fromUtf8(lxw_strerror(error));
}

} // namespace

EExcel::EExcel(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

TExcel::TExcel() = default;

TExcel::~TExcel()
{
    if (m_workbook) {
        lxw_workbook* workbook = m_workbook;
        m_workbook = nullptr;
        workbook_close(workbook); // frees it; an unshown file goes with its folder below
    }
    // A workbook nobody was shown is of no use to anyone.
    if (!m_shown && !m_folder.isEmpty())
        QDir(m_folder).removeRecursively();
}

bool TExcel::Connect()
{
    if (!m_folder.isEmpty())
        return true;
    // An unusable temporary location gives an empty path; a folder pattern
    // without it would land in the root folder.
    const QString base = QDir::tempPath();
    if (base.isEmpty() || !QFileInfo(base).isDir())
        return false;
    QTemporaryDir dir(base + QStringLiteral("/rennzeit-XXXXXX"));
    if (!dir.isValid())
        return false;
    // The folder must outlive this object: the spreadsheet application reads
    // the workbook from it after the export has ended.
    dir.setAutoRemove(false);
    m_folder = dir.path();
    m_folderBytes = QFile::encodeName(m_folder);
    return true;
}

void TExcel::AddWorkbook()
{
    if (m_folder.isEmpty())
        throw EExcel(QStringLiteral("Workbooks: no spreadsheet connection"));
    m_line = 1;
    finishWorkbook();
    const QString path = m_folder + QStringLiteral("/Mappe%1.xlsx").arg(m_workbooks.size() + 1);
    lxw_workbook_options options {};
    options.constant_memory = LXW_FALSE;
    options.tmpdir = m_folderBytes.data();
    m_workbook = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!m_workbook)
        throw EExcel(QStringLiteral("Workbooks.Add: cannot create %1").arg(path));
    m_sheet = workbook_add_worksheet(m_workbook, "Tabelle1");
    if (!m_sheet)
        throw EExcel(QStringLiteral("Workbooks.Add: cannot add a sheet to %1").arg(path));
    m_workbooks << path;
}

void TExcel::WriteLine()
{
    if (!m_sheet)
        throw EExcel(QStringLiteral("Cells: no workbook is open"));
    for (int k = 1; k <= m_values.size(); ++k) {
        if (m_horizontal)
            writeCell(m_line, k, m_values[k - 1]);
        else
            writeCell(k, m_line, m_values[k - 1]);
    }
    ++m_line;
}

void TExcel::AutoFitColumns()
{
    if (!m_sheet)
        throw EExcel(QStringLiteral("Autofit: no workbook is open"));
    m_fitted.clear();
    for (const auto& [col, chars] : m_longest)
        m_fitted[col] = std::min(kMaxWidth, static_cast<double>(chars) + kCellMargin);
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
    lxw_workbook* workbook = m_workbook;
    lxw_worksheet* sheet = m_sheet;
    m_workbook = nullptr;
    m_sheet = nullptr;
    // Widths are set once per column at the end; setting a column twice
    // would give the sheet overlapping column records.
    for (const auto& [col, width] : m_fitted)
        worksheet_set_column(sheet, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(col), width, nullptr);
    m_fitted.clear();
    m_longest.clear();
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR)
        throw EExcel(QStringLiteral("Cannot write %1: %2").arg(WorkbookPath(), lxwMessage(error)));
}

void TExcel::writeCell(int row, int col, const QString& text)
{
    if (row < 1 || row > kMaxRows || col < 1 || col > kMaxCols)
        throw EExcel(QStringLiteral("Cells(%1, %2): outside the sheet").arg(row).arg(col));
    const auto sheetRow = static_cast<lxw_row_t>(row - 1);
    const auto sheetCol = static_cast<lxw_col_t>(col - 1);
    double number = 0;
    lxw_error error;
    qsizetype shown = text.size();
    if (ReadsAsNumber(text, &number)) {
        error = worksheet_write_number(m_sheet, sheetRow, sheetCol, number, nullptr);
        shown = QString::number(number, 'g', kMaxNumberDigits).size();
    } else {
        error = worksheet_write_string(m_sheet, sheetRow, sheetCol, text.toUtf8().constData(), nullptr);
    }
    if (error != LXW_NO_ERROR)
        throw EExcel(QStringLiteral("Cells(%1, %2): %3").arg(row).arg(col).arg(lxwMessage(error)));
    qsizetype& longest = m_longest[col - 1];
    longest = std::max(longest, shown);
}
