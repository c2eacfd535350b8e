#include "protocol/ExcelExport.h"

#include "grid/CellStore.h"
#include "grid/GridCommaText.h"
#include "protocol/Excel.h"
#include "protocol/ExportText.h"

namespace protocol {

void ExcelExport(const TCellStore& cells)
{
    TExcel excel;
    if (!excel.Connect())
        return;
    excel.AddWorkbook();
    int rows = cells.RowCount();
    if (rows > 0 && cells.Cell(0, rows - 1).isEmpty())
        --rows;
    for (int r = 0; r < rows; ++r) {
        excel.SetValues(SplitDelimitedText(BuildExcelExportLine(cells, r), QLatin1Char(','), QLatin1Char('"')));
        excel.WriteLine();
    }
    excel.AutoFitColumns();
    excel.Show();
}

} // namespace protocol
