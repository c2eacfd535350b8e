// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/ExcelExport.h"

#include "gridstore/CellStore.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "protocol/Excel.h"
#include "protocol/ExportText.h"
#include "protocol/ResultGroups.h"
#include "protocol/WordExport.h"

namespace protocol {

namespace {

// One sheet of the results: its name, its columns and, for each sheet row
// after the header, the table row it shows.
struct SheetPlan {
    QString name;
    std::vector<int> cols;
    std::vector<int> rows;
};

TExcelCell kindOf(int col)
{
    switch (col) {
    case kColNr:
    case kColPlatz:
    case kColGesamt:
        return TExcelCell::WholeNumber;
    case kColStart:
        return TExcelCell::TimeOfDay;
    case kColZeit:
    case kColSplit:
    case kColLauf1:
    case kColGesamtzeit:
        return TExcelCell::RunTime;
    default:
        return TExcelCell::Text;
    }
}

// Without classes and statuses, one sheet of the columns sent, every row of
// the table; the free row at the end only when its "Nr." is set.
SheetPlan plainSheet(const TCellStore& cells)
{
    SheetPlan plain;
    for (int c = 0; c < kExcelExportColumns; ++c)
        plain.cols.push_back(c);
    int rows = cells.RowCount();
    if (rows > 0 && cells.Cell(kColNr, rows - 1).isEmpty())
        --rows;
    for (int r = 1; r < rows; ++r)
        plain.rows.push_back(r);
    return plain;
}

// With classes: the overall sheet "Gesamt" (by overall place, with the
// class) first, then a sheet per class; with statuses only, one sheet.
std::vector<SheetPlan> resultSheetPlans(const TCellStore& cells, const QStringList& classOrder)
{
    if (!GroupsResults(cells))
        return { plainSheet(cells) };
    const std::vector<int> entryCols { kColNr, kColName, kColStart, kColZeit, kColSplit, kColPlatz };
    if (!UsesClasses(cells))
        return { { QString(), entryCols, OverallResults(cells).rows } };
    std::vector<SheetPlan> sheets;
    sheets.push_back({ QStringLiteral("Gesamt"),
        { kColNr, kColName, kColKlasse, kColStart, kColZeit, kColSplit, kColPlatz, kColGesamt },
        OverallResults(cells).rows });
    std::vector<int> classCols = entryCols;
    classCols.push_back(kColGesamt);
    for (const ResultGroup& group : GroupResults(cells, classOrder))
        sheets.push_back({ ClassHeading(group.className), classCols, group.rows });
    return sheets;
}

// In run 2 of a race of two runs each sheet also has run 1's time and the
// total after its columns.
std::vector<SheetPlan> sheetPlans(const TCellStore& cells, const QStringList& classOrder)
{
    std::vector<SheetPlan> sheets = resultSheetPlans(cells, classOrder);
    if (UsesRunColumns(cells))
        for (SheetPlan& sheet : sheets)
            sheet.cols.insert(sheet.cols.end(), { kColLauf1, kColGesamtzeit });
    return sheets;
}

// A race's title and its day head each sheet, a row apart from the table.
void writeHeading(TExcel& excel, const QString& title)
{
    if (title.isEmpty())
        return;
    excel.WriteHeading(title, TExcel::Heading::Title);
    excel.WriteHeading(ResultsOfDay(QDate::currentDate()), TExcel::Heading::Line);
    excel.SetLine(excel.line() + 1);
}

void writeRow(TExcel& excel, const TCellStore& cells, const std::vector<int>& cols, int row)
{
    QStringList values;
    for (const int c : cols)
        values << cells.Cell(c, row);
    excel.SetValues(values);
    excel.WriteLine();
}

// Writes the sheet on the sheet the export is on; gives the sheet row of
// its header, the same on every sheet.
int writeSheet(TExcel& excel, const TCellStore& cells, const SheetPlan& sheet, const QString& title)
{
    writeHeading(excel, title);
    const int headerLine = excel.line();
    QList<TExcelCell> kinds;
    for (const int c : sheet.cols)
        kinds << kindOf(c);
    excel.SetKinds(QList<TExcelCell>(kinds.size(), TExcelCell::Text));
    writeRow(excel, cells, sheet.cols, 0);
    excel.SetKinds(kinds);
    for (const int r : sheet.rows)
        writeRow(excel, cells, sheet.cols, r);
    excel.HoldHeader(headerLine);
    excel.AutoFitColumns();
    return headerLine;
}

// The cut cells as the operator finds them in the table: the sheet's header
// line holds table row 0, the sheet row k after it the sheet's k-th row.
QStringList cutCells(const TExcel& excel, const TCellStore& cells, const std::vector<SheetPlan>& sheets, int headerLine)
{
    QStringList cut;
    for (const TExcel::CutCell& cell : excel.CutCells()) {
        const SheetPlan& sheet = sheets[static_cast<size_t>(cell.sheet)];
        const int below = cell.row - headerLine;
        const int row = below >= 1 ? sheet.rows[static_cast<size_t>(below - 1)] : 0;
        const int col = sheet.cols[static_cast<size_t>(cell.col - 1)];
        cut << QStringLiteral("Zeile %1 (Nr. %2), Spalte %3: %4 Zeichen")
                   .arg(row)
                   .arg(cells.Cell(kColNr, row), cells.Cell(col, 0))
                   .arg(cell.length);
    }
    return cut;
}

} // namespace

bool ExcelExport(const TCellStore& cells, WriteFailure* failure, ExcelReport* report, const QString& title,
    const QStringList& classOrder)
{
    TExcel excel;
    excel.SetTitle(DocumentTitle(title, QDate::currentDate()));
    if (!excel.Connect()) {
        if (failure)
            *failure = excel.ConnectError();
        return false;
    }
    const std::vector<SheetPlan> sheets = sheetPlans(cells, classOrder);
    try {
        int headerLine = 1;
        for (size_t i = 0; i < sheets.size(); ++i) {
            if (i == 0)
                excel.AddWorkbook(sheets[i].name);
            else
                excel.AddSheet(sheets[i].name);
            headerLine = writeSheet(excel, cells, sheets[i], title);
        }
        excel.Show();
        if (report)
            *report = { excel.WorkbookPath(), cutCells(excel, cells, sheets, headerLine) };
        return true;
    } catch (const EExcel& e) {
        if (failure) {
            const QString file = e.FileName().isEmpty() ? excel.WorkbookPath() : e.FileName();
            *failure = { file, e.Reason().isEmpty() ? QString::fromStdString(e.what()) : e.Reason() };
        }
        return false;
    }
}

} // namespace protocol
