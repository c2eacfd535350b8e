// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/GridCsvText.h"

#include "gridstore/CellStore.h"
#include "gridstore/GridCommaText.h"

#include <algorithm>

namespace {

// A TAB or line break would split the cell in every other file the table is
// written to; they become blanks, trimmed off the ends as the loader trims
// them, so each file reads back as the same table.
QString withoutBreaks(const QString& cell)
{
    if (std::none_of(cell.cbegin(), cell.cend(), IsCellBreak))
        return cell;
    return TrimBlanks(WithoutCellBreaks(cell));
}

} // namespace

void AppendCsvRow(QString& out, const QStringList& cells)
{
    for (qsizetype c = 0; c < cells.size(); ++c) {
        if (c > 0)
            out += QLatin1Char(';');
        out += CsvCellText(withoutBreaks(cells[c]));
    }
    out += QLatin1String("\r\n");
}

QByteArray GridCsvBytes(const TCellStore& store, int colCount)
{
    QString out;
    const int cols = colCount > 0 ? colCount : store.ColCount();
    out.reserve(static_cast<qsizetype>(store.RowCount()) * cols * 8);
    QStringList cells(cols);
    for (int r = 0; r < store.RowCount(); ++r) {
        for (int c = 0; c < cols; ++c)
            cells[c] = store.Cell(c, r);
        AppendCsvRow(out, cells);
    }
    return out.toUtf8();
}
