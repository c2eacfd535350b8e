// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "gridstore/CellStore.h"

#include <QString>
#include <QStringList>

#include <vector>

// Rows of texts that a writer fills without knowing whether a grid shows
// them: the string grid is one (its own setters repaint and keep its row
// count, fonts and selection in step), a bare cell store wrapped in
// TStoreTable is another, for work and tests without a widget.
class TCellTable {
public:
    virtual ~TCellTable() = default;
    virtual int TableRowCount() const = 0;
    virtual void SetTableRowCount(int count) = 0;
    virtual QString TableCell(int col, int row) const = 0;
    virtual void SetTableCell(int col, int row, const QString& text) = 0;
    // Replaces the row's first cells by the items and empties the rest.
    virtual void SetTableRow(int row, const QStringList& cells) = 0;
    virtual const TCellStore& TableStore() const = 0;
    // A new empty row at `at` (at the last data row or beyond it, after the
    // last one); returns where it went.
    virtual int InsertTableRow(int at) = 0;
    // Removes a data row; the only data row left is emptied instead.
    virtual void DeleteTableRow(int row) = 0;
    virtual void MoveTableRow(int from, int to) = 0;
    // The header row and one empty data row stay.
    virtual void ClearTable() = 0;
    // The data rows 1 .. order.size() take the rows named by order (order[i]
    // lands at row i + 1). A grid's current and selected rows follow their
    // data.
    virtual void PermuteTableRows(const std::vector<int>& order) = 0;
};

// Where a row inserted at `at` goes in a table of rowCount rows (header
// included): at the last data row or beyond it, after the last one.
int InsertedRowIndex(int at, int rowCount);

class TStoreTable final : public TCellTable {
public:
    explicit TStoreTable(TCellStore& store)
        : m_store(store)
    {
    }
    int TableRowCount() const override { return m_store.RowCount(); }
    void SetTableRowCount(int count) override { m_store.SetRowCount(count); }
    QString TableCell(int col, int row) const override { return m_store.Cell(col, row); }
    void SetTableCell(int col, int row, const QString& text) override { m_store.SetCell(col, row, text); }
    void SetTableRow(int row, const QStringList& cells) override { m_store.SetRow(row, cells); }
    const TCellStore& TableStore() const override { return m_store; }
    void PermuteTableRows(const std::vector<int>& order) override { m_store.PermuteRows(1, order); }
    int InsertTableRow(int at) override;
    void DeleteTableRow(int row) override;
    void MoveTableRow(int from, int to) override { m_store.MoveRow(from, to); }
    void ClearTable() override;

private:
    TCellStore& m_store;
};
