// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "gridstore/CellStore.h"

#include <QAbstractTableModel>

#include <functional>

// The item model a grid's view reads: data rows 1 .. RowCount - 1 of the
// store are the model's rows 0 .., row 0 is the horizontal header. The store
// stays the only owner of the texts; structural changes are announced as a
// reset by the grid, so bulk changes emit no per-cell signals.
class TGridModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TGridModel)

public:
    TGridModel(TCellStore& store, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    void SetEditable(bool editable) { m_editable = editable; }
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
    // A cell written by the owner: tells the view to redraw it.
    void CellChanged(int col, int row);

    // Called after the in-place editor changed a cell's text.
    std::function<void(int col, int row, const QString& oldText)> OnEdited;

private:
    TCellStore& m_store;
    bool m_editable = false;
};
