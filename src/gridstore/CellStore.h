// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The texts of a string grid, without any widget. Storage is sparse: a row
// that was never written holds no cells. Lowering RowCount drops the rows
// beyond it, except the rows its caller asks to keep parked there (the row
// filter parks the rows it rejects right after the visible ones).
class TCellStore {
public:
    TCellStore(int colCount = 5, int rowCount = 5);

    int ColCount() const { return m_colCount; }
    int RowCount() const { return m_rowCount; }
    void SetColCount(int count);
    // Rows from count + parked on are dropped; parked rows stay stored.
    void SetRowCount(int count, int parked = 0);

    // Reading outside the stored cells gives an empty text; writing grows the
    // storage as needed (also beyond RowCount/ColCount).
    QString Cell(int col, int row) const;
    // The same text without a copy, for scans over many rows; valid until
    // the store changes.
    const QString& CellRef(int col, int row) const;
    void SetCell(int col, int row, const QString& text);

    // A row as ColCount texts; assigning replaces the row's first cells by the
    // list items and empties the rest up to ColCount.
    QStringList Row(int row) const;
    void SetRow(int row, const QStringList& cells);
    QStringList Col(int col) const;
    void SetCol(int col, const QStringList& cells);

    void ClearRow(int row);
    void ClearCol(int col);
    bool IsEmptyRow(int row) const;

    // Moves a row (column) to another index; the rows in between shift by one.
    // Parked rows beyond RowCount take part like any other row.
    void MoveRow(int from, int to);
    void MoveCol(int from, int to);

    // Number of rows that hold storage (visible or parked).
    int StoredRowCount() const { return static_cast<int>(m_rows.size()); }

    // Inserting or deleting shifts every stored row (column) after the index,
    // parked ones included, so no parked text reappears or gets lost. The
    // counts are left to the caller.
    void InsertRow(int row);
    void DeleteRow(int row);
    void InsertCol(int col);
    void DeleteCol(int col);

    // Rows first .. first + order.size() - 1 take the stored rows named by
    // order (order[i] is the row that lands at first + i), all cells
    // included. order must be a permutation of that range.
    void PermuteRows(int first, const std::vector<int>& order);

private:
    using Cells = std::vector<QString>;
    void ensureRow(int row);

    int m_colCount;
    int m_rowCount;
    std::vector<Cells> m_rows;
};
