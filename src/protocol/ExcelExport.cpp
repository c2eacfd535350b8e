#include "protocol/ExcelExport.h"

#include "gridstore/CellStore.h"
#include "protocol/Columns.h"
#include "protocol/Excel.h"
#include "protocol/ExportText.h"
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

} // namespace

bool ExcelExport(const TCellStore& cells, WriteFailure* failure, ExcelReport* report, const QString& title)
{
    TExcel excel;
    excel.SetTitle(DocumentTitle(title, QDate::currentDate()));
    if (!excel.Connect()) {
        if (failure)
            *failure = excel.ConnectError();
        return false;
    }
    try {
        excel.AddWorkbook();
        // A race's title and its day head the sheet, a row apart from the table.
        if (!title.isEmpty()) {
            excel.WriteHeading(title, TExcel::Heading::Title);
            excel.WriteHeading(ResultsOfDay(QDate::currentDate()), TExcel::Heading::Line);
            excel.SetLine(excel.line() + 1);
        }
        const int headerLine = excel.line();
        int rows = cells.RowCount();
        if (rows > 0 && cells.Cell(kColNr, rows - 1).isEmpty())
            --rows;
        for (int r = 0; r < rows; ++r) {
            excel.SetKinds(r == 0 ? kHeaderKinds : kEntryKinds);
            excel.SetValues(sentCells(cells, r));
            excel.WriteLine();
        }
        excel.AutoFitColumns();
        excel.Show();
        if (report) {
            report->workbook = excel.WorkbookPath();
            report->cut.clear();
            // The sheet's header line holds table row 0.
            for (const TExcel::CutCell& cut : excel.CutCells()) {
                const int row = cut.row - headerLine;
                report->cut << QStringLiteral("Zeile %1 (Nr. %2), Spalte %3: %4 Zeichen")
                                   .arg(row)
                                   .arg(cells.Cell(kColNr, row), cells.Cell(cut.col - 1, 0))
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
