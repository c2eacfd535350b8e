// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/GridModel.h"

TGridModel::TGridModel(TCellStore& store, QObject* parent)
    : QAbstractTableModel(parent)
    , m_store(store)
{
}

int TGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(0, m_store.RowCount() - 1);
}

int TGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_store.ColCount();
}

QVariant TGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return m_store.Cell(index.column(), index.row() + 1);
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return m_store.Cell(section, 0);
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_editable)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const int col = index.column();
    const int row = index.row() + 1;
    const QString old = m_store.Cell(col, row);
    const QString text = value.toString();
    if (text == old)
        return true;
    m_store.SetCell(col, row, text);
    emit dataChanged(index, index);
    if (OnEdited)
        OnEdited(col, row, old);
    return true;
}

void TGridModel::CellChanged(int col, int row)
{
    if (col < 0 || col >= m_store.ColCount() || row < 0 || row >= m_store.RowCount())
        return; // parked or beyond the columns: nothing on screen
    if (row == 0) {
        emit headerDataChanged(Qt::Horizontal, col, col);
        return;
    }
    const QModelIndex i = index(row - 1, col);
    emit dataChanged(i, i);
}
