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

// What each of the columns sent becomes in the sheet.
const QList<TExcelCell> kEntryKinds { TExcelCell::WholeNumber, TExcelCell::Text, TExcelCell::TimeOfDay,
    TExcelCell::RunTime, TExcelCell::RunTime, TExcelCell::WholeNumber };
const QList<TExcelCell> kHeaderKinds(kExcelExportColumns, TExcelCell::Text);

QStringList sentCells(const TCellStore& cells, int row)
{
    QStringList values;
    for (int c = 0; c < kExcelExportColumns; ++c)
        values << cells.Cell(c, row);
    return values;
}

// One sheet of the results by class: its columns and, for each sheet row
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
        return TExcelCell::RunTime;
    default:
        return TExcelCell::Text;
    }
}

// With classes: the overall sheet "Gesamt" (by overall place, with the
// class) first, then a sheet per class; with statuses only, one sheet.
std::vector<SheetPlan> groupedSheets(const TCellStore& cells, const QStringList& classOrder)
{
    const std::vector<int> entryCols { kColNr, kColName, kColStart, kColZeit, kColSplit, kColPlatz };
    std::vector<SheetPlan> sheets;
    if (!UsesClasses(cells)) {
        sheets.push_back({ QString(), entryCols, OverallResults(cells).rows });
        return sheets;
    }
    sheets.push_back({ QStringLiteral("Gesamt"),
        { kColNr, kColName, kColKlasse, kColStart, kColZeit, kColSplit, kColPlatz, kColGesamt },
        OverallResults(cells).rows });
    std::vector<int> classCols = entryCols;
    classCols.push_back(kColGesamt);
    for (const ResultGroup& group : GroupResults(cells, classOrder))
        sheets.push_back({ ClassHeading(group.className), classCols, group.rows });
    return sheets;
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
    try {
        // A race's title and its day head each sheet, a row apart from the
        // table; every sheet's table starts in the same row.
        int headerLine = 1;
        const auto writeHeading = [&] {
            if (!title.isEmpty()) {
                excel.WriteHeading(title, TExcel::Heading::Title);
                excel.WriteHeading(ResultsOfDay(QDate::currentDate()), TExcel::Heading::Line);
                excel.SetLine(excel.line() + 1);
            }
            headerLine = excel.line();
        };
        // For each sheet, the table row of each sheet row and the columns.
        std::vector<SheetPlan> sheets;
        if (!GroupsResults(cells)) {
            excel.AddWorkbook();
            writeHeading();
            int rows = cells.RowCount();
            if (rows > 0 && cells.Cell(kColNr, rows - 1).isEmpty())
                --rows;
            SheetPlan plain { QString(), {}, {} };
            for (int c = 0; c < kExcelExportColumns; ++c)
                plain.cols.push_back(c);
            for (int r = 0; r < rows; ++r) {
                excel.SetKinds(r == 0 ? kHeaderKinds : kEntryKinds);
                excel.SetValues(sentCells(cells, r));
                excel.WriteLine();
                if (r > 0)
                    plain.rows.push_back(r);
            }
            sheets.push_back(plain);
            excel.AutoFitColumns();
        } else {
            sheets = groupedSheets(cells, classOrder);
            for (size_t i = 0; i < sheets.size(); ++i) {
                const SheetPlan& sheet = sheets[i];
                if (i == 0)
                    excel.AddWorkbook(sheet.name);
                else
                    excel.AddSheet(sheet.name);
                writeHeading();
                QStringList header;
                QList<TExcelCell> kinds;
                for (const int c : sheet.cols) {
                    header << cells.Cell(c, 0);
                    kinds << kindOf(c);
                }
                excel.SetKinds(QList<TExcelCell>(header.size(), TExcelCell::Text));
                excel.SetValues(header);
                excel.WriteLine();
                excel.SetKinds(kinds);
                for (const int r : sheet.rows) {
                    QStringList values;
                    for (const int c : sheet.cols)
                        values << cells.Cell(c, r);
                    excel.SetValues(values);
                    excel.WriteLine();
                }
                excel.AutoFitColumns();
            }
        }
        excel.Show();
        if (report) {
            report->workbook = excel.WorkbookPath();
            report->cut.clear();
            // The sheet's header line holds table row 0; the sheet row k
            // after it shows the sheet's k-th table row.
            for (const TExcel::CutCell& cut : excel.CutCells()) {
                const SheetPlan& sheet = sheets[static_cast<size_t>(cut.sheet)];
                const int below = cut.row - headerLine;
                const int row = below >= 1 ? sheet.rows[static_cast<size_t>(below - 1)] : 0;
                const int col = sheet.cols[static_cast<size_t>(cut.col - 1)];
                report->cut << QStringLiteral("Zeile %1 (Nr. %2), Spalte %3: %4 Zeichen")
                                   .arg(row)
                                   .arg(cells.Cell(kColNr, row), cells.Cell(col, 0))
                                   .arg(cut.length);
            }
        }
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
