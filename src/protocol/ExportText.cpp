#include "protocol/ExportText.h"

#include "gridstore/CellStore.h"

namespace protocol {

WordExportText BuildWordExportText(const TCellStore& cells, const QList<int>& colWidths)
{
    const auto visible = [&colWidths](int col) { return col >= colWidths.size() || colWidths[col] >= 0; };

    WordExportText result;
    for (int c = 0; c < cells.ColCount(); ++c) {
        if (visible(c))
            ++result.columns;
    }
    for (int r = 0; r < cells.RowCount(); ++r) {
        for (int c = 0; c < cells.ColCount(); ++c) {
            if (!visible(c))
                continue;
            result.text += cells.Cell(c, r);
            result.text += QLatin1Char('\t');
        }
    }
    if (result.text.endsWith(QLatin1Char('\t')))
        result.text.chop(1);
    return result;
}

} // namespace protocol
