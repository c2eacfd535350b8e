// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/SortGridInteractionRules.h"

QChar TypeAheadKey(QChar key)
{
    const char16_t c = key.unicode();
    return c >= u'a' && c <= u'z' ? QChar(char16_t(c - u'a' + u'A')) : key;
}

int TypeAheadRow(const TCellStore& store, int col, int currentRow, int rowCount, QChar key)
{
    const QChar wanted = TypeAheadKey(key);
    const auto matches = [&](int row) {
        const QString text = store.Cell(col, row);
        return !text.isEmpty() && TypeAheadKey(text.front()) == wanted;
    };
    for (int r = currentRow + 1; r < rowCount; ++r)
        if (matches(r))
            return r;
    for (int r = 1; r <= currentRow && r < rowCount; ++r)
        if (matches(r))
            return r;
    return -1;
}

QRect DropDownGeometry(const QRect& cell, int cellWidth, int width, int height, int itemCount, int itemHeight)
{
    const int w = width != 0 ? width : cellWidth + 1;
    int h = height;
    if (h == 0)
        h = (itemCount >= 10 ? 10 : itemCount) * itemHeight + 5;
    // The list hangs from a point 59 pixels below the cell's top.
    return QRect(cell.left() + 2, cell.top() - h + 59, w, h);
}
