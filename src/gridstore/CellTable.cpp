// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/CellTable.h"

#include <algorithm>

int InsertedRowIndex(int at, int rowCount)
{
    const int newCount = rowCount + 1;
    return at < newCount - 2 ? std::max(1, at) : newCount - 1;
}

int TStoreTable::InsertTableRow(int at)
{
    const int row = InsertedRowIndex(at, m_store.RowCount());
    m_store.InsertRow(row);
    m_store.SetRowCount(m_store.RowCount() + 1);
    m_store.ClearRow(row);
    return row;
}

void TStoreTable::DeleteTableRow(int row)
{
    if (row < 1 || row >= m_store.RowCount())
        return;
    if (m_store.RowCount() < 3) {
        m_store.ClearRow(1);
        return;
    }
    m_store.DeleteRow(row);
    m_store.SetRowCount(m_store.RowCount() - 1);
}

void TStoreTable::ClearTable()
{
    for (int r = 1; r < m_store.RowCount(); ++r)
        m_store.ClearRow(r);
    m_store.SetRowCount(2);
}
