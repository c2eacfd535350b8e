// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "protocol/WriteFailure.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <stdexcept>

struct lxw_format;
struct lxw_workbook;
struct lxw_worksheet;

// A failing spreadsheet call. When the workbook file could not be written,
// FileName names it and Reason gives the system's reason.
class EExcel : public std::runtime_error {
public:
    explicit EExcel(const QString& message);
    EExcel(const QString& message, const QString& fileName, const QString& reason);

    QString FileName() const { return m_fileName; }
    QString Reason() const { return m_reason; }

private:
    QString m_fileName;
    QString m_reason;
};

// What a cell of a line should become. Auto is the spreadsheet's own reading
// of typed input (ReadsAsNumber); the others are the protocol's columns (see
// WorkbookCells.h), each falling back to text when the text is not what the
// column expects.
enum class TExcelCell { Auto, Text, WholeNumber, TimeOfDay, RunTime };

// The spreadsheet connection of the protocol export. Where the office
// automation server used to fill a new workbook in a running spreadsheet
// application, this one writes the workbook as an XLSX file into the
// folder "Rennzeit" of the user's documents folder, under the date-stamp
// name (never over an existing file), and, when the export ends (Show),
// hands the file to the default application. The user's edits are saved
// there by the spreadsheet's own Save, so nothing of that folder is ever
// removed behind the user's back; only a workbook that was never shown goes
// again. Sheet rows and columns are counted from 1. Characters XML forbids
// become U+FFFD in every text cell; a text longer than a cell holds is cut
// to the limit with "…" (CutCells lists them).
class TExcel {
public:
    TExcel();
    ~TExcel();
    Q_DISABLE_COPY_MOVE(TExcel)

    // Prepares the folder for the workbooks; false when it cannot be made
    // (ConnectError then tells why). Connecting again keeps the folder.
    bool Connect();
    protocol::WriteFailure ConnectError() const { return m_connectError; }
    // Starts a new workbook with one sheet ("Tabelle1", or the name given);
    // line becomes 1. A workbook started before is finished and stays on the
    // list Show opens.
    void AddWorkbook(const QString& sheetName = QString());
    // Adds a sheet after the others and writes on it from line 1. The name
    // is made one a spreadsheet takes (protocol::SheetName): not the name of
    // another sheet of the workbook. Every sheet prints one page wide.
    void AddSheet(const QString& name);
    // Keeps row `line` (the table's header) and the rows above it in view
    // while the sheet scrolls, and prints that row atop every page.
    void HoldHeader(int line);
    // The sheet written on, from 0.
    int Sheet() const { return m_sheetIndex; }
    // Puts each item of Values into its cell, row line and column k (or row
    // k and column line when not Horizontal), then increases line by 1. Item
    // k becomes the cell kind Kinds()[k - 1], Auto when the list is shorter.
    void WriteLine();
    // Puts a heading into column 1 of row line and increases line by 1: a
    // title in large bold letters, or a line under it. A heading runs over
    // the empty cells beside it, so no column is widened for it.
    enum class Heading { Title, Line };
    void WriteHeading(const QString& text, Heading kind);
    // Sets the width of each column written so far from its longest text,
    // as the spreadsheet's auto-fit would, up to 40 characters; a longer
    // text wraps in its cell.
    void AutoFitColumns();
    // Ends the export: writes the workbooks and opens them with the default
    // application.
    void Show();

    // Kept from the automation interface: there is no running application to
    // attach to, so every connection starts afresh whatever its value.
    bool ExcelNew() const { return m_excelNew; }
    void SetExcelNew(bool value) { m_excelNew = value; }
    bool Horizontal() const { return m_horizontal; }
    void SetHorizontal(bool value) { m_horizontal = value; }
    int line() const { return m_line; }
    void SetLine(int value) { m_line = value; }
    QStringList& Values() { return m_values; }
    const QStringList& Values() const { return m_values; }
    void SetValues(const QStringList& values) { m_values = values; }
    // The title the next workbooks carry in their document properties.
    QString Title() const { return m_title; }
    void SetTitle(const QString& value) { m_title = value; }
    const QList<TExcelCell>& Kinds() const { return m_kinds; }
    void SetKinds(const QList<TExcelCell>& kinds) { m_kinds = kinds; }

    // The file of the current (or last) workbook; empty before AddWorkbook.
    QString WorkbookPath() const;
    // The folder of the workbooks; empty before Connect.
    QString Folder() const { return m_folder; }
    // Where the workbooks go: "Rennzeit" in the user's documents folder.
    static QString WorkbookFolder();

    // A cell whose text was longer than a spreadsheet cell holds, with the
    // length it had; sheet row and column from 1.
    struct CutCell {
        int row = 0;
        int col = 0;
        qsizetype length = 0;
        int sheet = 0; // from 0
    };
    const QList<CutCell>& CutCells() const { return m_cut; }
    // The most characters a spreadsheet cell holds.
    static constexpr qsizetype kMaxCellText = 32767;

    // Digits with at most one "." (up to 15 digits, a spreadsheet's
    // precision), read as a spreadsheet reads typed input. A "," is no
    // decimal separator there, so 12,34 and 1.05,12 stay texts.
    static bool ReadsAsNumber(const QString& text, double* value = nullptr);

private:
    void finishWorkbook();
    void fitSheet();
    void addSheet(const QString& name);
    void writeCell(int row, int col, const QString& text, TExcelCell kind);
    lxw_format* numberFormat(const QString& code);
    lxw_format* wrapFormat();

    bool m_excelNew = false;
    bool m_horizontal = true;
    int m_line = 1;
    QStringList m_values;
    QList<TExcelCell> m_kinds;
    QString m_title;

    QString m_folder;
    bool m_madeFolder = false;
    QByteArray m_scratchBytes; // the writer keeps a pointer to it for its scratch files
    QList<CutCell> m_cut;
    QStringList m_workbooks;
    QString m_partPath; // the current workbook is written here, then renamed
    protocol::WriteFailure m_connectError;
    bool m_shown = false;
    lxw_workbook* m_workbook = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    int m_sheetIndex = 0;
    QStringList m_sheetNames; // of the current workbook
    std::map<QString, lxw_format*> m_formats; // owned by the current workbook
    lxw_format* m_wrap = nullptr; // owned by the current workbook
    std::map<int, qsizetype> m_longest; // column (from 0) -> characters of its longest text
    std::map<int, double> m_fitted; // widths set by the last AutoFitColumns
    std::map<int, int> m_rowLines; // row (from 0) -> lines its wrapped texts need
};
