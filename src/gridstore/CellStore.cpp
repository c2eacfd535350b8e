// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/CellStore.h"

#include <algorithm>

TCellStore::TCellStore(int colCount, int rowCount)
    : m_colCount(std::max(0, colCount))
    , m_rowCount(std::max(0, rowCount))
{
}

void TCellStore::SetColCount(int count)
{
    m_colCount = std::max(0, count);
}

void TCellStore::SetRowCount(int count, int parked)
{
    m_rowCount = std::max(0, count);
    const size_t kept = static_cast<size_t>(m_rowCount) + static_cast<size_t>(std::max(0, parked));
    if (m_rows.size() > kept)
        m_rows.resize(kept);
}

void TCellStore::ensureRow(int row)
{
    if (row >= static_cast<int>(m_rows.size()))
        m_rows.resize(static_cast<size_t>(row) + 1);
}

QString TCellStore::Cell(int col, int row) const
{
    if (row < 0 || col < 0 || row >= static_cast<int>(m_rows.size()))
        return {};
    const Cells& cells = m_rows[static_cast<size_t>(row)];
    return col < static_cast<int>(cells.size()) ? cells[static_cast<size_t>(col)] : QString();
}

const QString& TCellStore::CellRef(int col, int row) const
{
    static const QString empty;
    if (row < 0 || col < 0 || row >= static_cast<int>(m_rows.size()))
        return empty;
    const Cells& cells = m_rows[static_cast<size_t>(row)];
    return col < static_cast<int>(cells.size()) ? cells[static_cast<size_t>(col)] : empty;
}

void TCellStore::SetCell(int col, int row, const QString& text)
{
    if (row < 0 || col < 0)
        return;
    if (text.isEmpty()) {
        // Writing an empty text never allocates.
        if (row >= static_cast<int>(m_rows.size()))
            return;
        Cells& cells = m_rows[static_cast<size_t>(row)];
        if (col < static_cast<int>(cells.size()))
            cells[static_cast<size_t>(col)].clear();
        return;
    }
    ensureRow(row);
    Cells& cells = m_rows[static_cast<size_t>(row)];
    if (col >= static_cast<int>(cells.size()))
        cells.resize(static_cast<size_t>(col) + 1);
    cells[static_cast<size_t>(col)] = text;
}

QStringList TCellStore::Row(int row) const
{
    QStringList list;
    list.reserve(m_colCount);
    for (int c = 0; c < m_colCount; ++c)
        list << Cell(c, row);
    return list;
}

void TCellStore::SetRow(int row, const QStringList& cells)
{
    const int n = std::max<int>(m_colCount, static_cast<int>(cells.size()));
    for (int c = 0; c < n; ++c)
        SetCell(c, row, c < cells.size() ? cells[c] : QString());
}

QStringList TCellStore::Col(int col) const
{
    QStringList list;
    list.reserve(m_rowCount);
    for (int r = 0; r < m_rowCount; ++r)
        list << Cell(col, r);
    return list;
}

void TCellStore::SetCol(int col, const QStringList& cells)
{
    const int n = std::max<int>(m_rowCount, static_cast<int>(cells.size()));
    for (int r = 0; r < n; ++r)
        SetCell(col, r, r < cells.size() ? cells[r] : QString());
}

void TCellStore::ClearRow(int row)
{
    if (row >= 0 && row < static_cast<int>(m_rows.size()))
        m_rows[static_cast<size_t>(row)].clear();
}

void TCellStore::ClearCol(int col)
{
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r)
        SetCell(col, r, QString());
}

bool TCellStore::IsEmptyRow(int row) const
{
    for (int c = 0; c < m_colCount; ++c)
        if (!Cell(c, row).isEmpty())
            return false;
    return true;
}

void TCellStore::MoveRow(int from, int to)
{
    if (from == to || from < 0 || to < 0)
        return;
    ensureRow(std::max(from, to));
    auto first = m_rows.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
}

void TCellStore::MoveCol(int from, int to)
{
    if (from == to || from < 0 || to < 0)
        return;
    const int need = std::max(from, to) + 1;
    for (Cells& cells : m_rows) {
        if (cells.empty())
            continue;
        if (static_cast<int>(cells.size()) < need)
            cells.resize(static_cast<size_t>(need));
        auto first = cells.begin();
        if (from < to)
            std::rotate(first + from, first + from + 1, first + to + 1);
        else
            std::rotate(first + to, first + from, first + from + 1);
    }
}

void TCellStore::InsertRow(int row)
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return; // nothing stored there or after it: the new row is empty anyway
    m_rows.insert(m_rows.begin() + row, Cells());
}

void TCellStore::DeleteRow(int row)
{
    if (row >= 0 && row < static_cast<int>(m_rows.size()))
        m_rows.erase(m_rows.begin() + row);
}

void TCellStore::InsertCol(int col)
{
    if (col < 0)
        return;
    for (Cells& cells : m_rows)
        if (col < static_cast<int>(cells.size()))
            cells.insert(cells.begin() + col, QString());
}

void TCellStore::DeleteCol(int col)
{
    if (col < 0)
        return;
    for (Cells& cells : m_rows)
        if (col < static_cast<int>(cells.size()))
            cells.erase(cells.begin() + col);
}

void TCellStore::PermuteRows(int first, const std::vector<int>& order)
{
    if (first < 0 || order.empty())
        return;
    const int last = first + static_cast<int>(order.size()) - 1;
    ensureRow(last);
    std::vector<Cells> moved;
    moved.reserve(order.size());
    for (int from : order)
        moved.push_back(std::move(m_rows[static_cast<size_t>(from)]));
    std::move(moved.begin(), moved.end(), m_rows.begin() + first);
}
