#pragma once

#include "grid/CellStore.h"

#include <QString>
#include <QStringList>

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
};

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

private:
    TCellStore& m_store;
};
