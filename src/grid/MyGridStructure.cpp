// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Moving, bulk updates and cell geometry of TMyCustomGrid.

#include "grid/MyGrids.h"

#include "grid/GridModel.h"
#include "grid/MyGridParts.h"

#include <QApplication>
#include <QScrollBar>

// ---- moving -------------------------------------------------------------------

void TMyCustomGrid::MoveColumn(int fromIndex, int toIndex)
{
    if (fromIndex == toIndex || fromIndex < 0 || toIndex < 0 || fromIndex >= ColCount() || toIndex >= ColCount())
        return;
    BeginStructureChange();
    m_store.MoveCol(fromIndex, toIndex);
    MoveColWidthEntry(fromIndex, toIndex);
    EndStructureChange();
    ColumnMoved(fromIndex, toIndex);
}

void TMyCustomGrid::MoveColWidthEntry(int fromIndex, int toIndex)
{
    const int n = static_cast<int>(m_colWidths.size());
    if (fromIndex == toIndex || fromIndex < 0 || toIndex < 0 || fromIndex >= n || toIndex >= n)
        return;
    const int width = m_colWidths[static_cast<size_t>(fromIndex)];
    m_colWidths.erase(m_colWidths.begin() + fromIndex);
    m_colWidths.insert(m_colWidths.begin() + toIndex, width);
    ApplyColumnGeometry();
}

void TMyCustomGrid::MoveRow(int fromIndex, int toIndex)
{
    if (fromIndex == toIndex || fromIndex < 1 || toIndex < 1 || fromIndex >= RowCount() || toIndex >= RowCount())
        return;
    BeginStructureChange();
    m_store.MoveRow(fromIndex, toIndex);
    EndStructureChange();
    RowMoved(fromIndex, toIndex);
}

// ---- bulk updates ---------------------------------------------------------------

void TMyCustomGrid::BeginStructureChange()
{
    if (m_updating)
        return;
    if (m_structureDepth++ == 0) {
        HideEditor();
        m_model->BeginReset();
    }
}

void TMyCustomGrid::EndStructureChange()
{
    if (m_updating || m_structureDepth == 0)
        return;
    if (--m_structureDepth > 0)
        return;
    m_model->EndReset();
    ApplyColumnGeometry();
    SyncViewCurrent();
    if (m_pendingTopRow > 0) {
        verticalScrollBar()->setValue(m_pendingTopRow - 1);
        m_pendingTopRow = 0;
    }
    InvalidateGrid();
}

void TMyCustomGrid::BeginUpdate()
{
    if (m_updating)
        return;
    HideEditor();
    m_hadFocus = hasFocus();
    if (!m_cursorOverridden) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_cursorOverridden = true;
    }
    setUpdatesEnabled(false);
    m_model->BeginReset();
    m_updating = true;
    setEnabled(false);
    if (OnBeginUpdate)
        OnBeginUpdate(this);
}

void TMyCustomGrid::EndUpdate()
{
    if (!m_updating)
        return;
    m_updating = false;
    m_model->EndReset();
    ClampCurrent();
    ApplyColumnGeometry();
    SyncViewCurrent();
    if (m_pendingTopRow > 0) {
        verticalScrollBar()->setValue(m_pendingTopRow - 1);
        m_pendingTopRow = 0;
    }
    setEnabled(true);
    setUpdatesEnabled(true);
    InvalidateGrid();
    if (m_cursorOverridden) {
        QApplication::restoreOverrideCursor();
        m_cursorOverridden = false;
    }
    // Disabling moved the focus away; a grid that had it gets it back.
    if (m_hadFocus)
        setFocus();
}

// ---- cells on screen ----------------------------------------------------------------

QPoint TMyCustomGrid::FromViewport(const QPoint& p) const
{
    return viewport()->mapTo(this, p);
}

QRect TMyCustomGrid::CellRect(int col, int row) const
{
    if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount() || ColWidths(col) < 0)
        return {};
    if (row == 0) {
        const QRect r(m_header->sectionViewportPosition(col), 0, m_header->sectionSize(col), m_header->height());
        return QRect(m_header->mapTo(this, r.topLeft()), r.size());
    }
    const QRect r = visualRect(m_model->index(row - 1, col));
    return QRect(FromViewport(r.topLeft()), r.size());
}

void TMyCustomGrid::MouseToCell(int x, int y, int& col, int& row) const
{
    col = -1;
    row = -1;
    const QPoint p(x, y);
    if (m_header->isVisible() && m_header->geometry().contains(p)) {
        col = m_header->logicalIndexAt(m_header->mapFrom(this, p).x());
        row = col >= 0 ? 0 : -1;
        return;
    }
    if (!viewport()->geometry().contains(p))
        return;
    const QPoint v = viewport()->mapFrom(this, p);
    const int r = rowAt(v.y());
    const int c = columnAt(v.x());
    if (r >= 0 && c >= 0) {
        col = c;
        row = r + 1;
    }
}

void TMyCustomGrid::CellTextChanged(int col, int row)
{
    if (!m_updating && m_structureDepth == 0)
        m_model->CellChanged(col, row);
}

void TMyCustomGrid::InvalidateCell(int col, int row)
{
    if (row == 0)
        m_header->viewport()->update();
    else
        viewport()->update(visualRect(m_model->index(row - 1, col)));
}

void TMyCustomGrid::InvalidateRow(int row)
{
    if (row == 0) {
        m_header->viewport()->update();
        return;
    }
    const QRect r = visualRect(m_model->index(row - 1, 0));
    viewport()->update(QRect(0, r.top(), viewport()->width(), r.height()));
}

void TMyCustomGrid::InvalidateCol(int col)
{
    m_header->viewport()->update();
    const int x = columnViewportPosition(col);
    viewport()->update(QRect(x, 0, columnWidth(col), viewport()->height()));
}

void TMyCustomGrid::InvalidateGrid()
{
    viewport()->update();
    m_header->viewport()->update();
}

void TMyCustomGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    GridResized();
}

void TMyCustomGrid::updateGeometries()
{
    QTableView::updateGeometries();
    ScrollBarsUpdated();
}
