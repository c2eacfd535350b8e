// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Current cell, selection, scrolling and the in-place editor of TMyCustomGrid.

#include "grid/MyGrids.h"

#include "grid/GridModel.h"
#include "grid/MyGridParts.h"

#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>

// ---- current cell and selection -----------------------------------------------

void TMyCustomGrid::ClampCurrent()
{
    const int lastCol = std::max(0, ColCount() - 1);
    const int lastRow = std::max(1, RowCount() - 1);
    m_curCol = std::clamp(m_curCol, 0, lastCol);
    m_anchorCol = std::clamp(m_anchorCol, 0, lastCol);
    m_curRow = std::clamp(m_curRow, 1, lastRow);
    m_anchorRow = std::clamp(m_anchorRow, 1, lastRow);
}

void TMyCustomGrid::SyncViewCurrent()
{
    if (m_updating || m_structureDepth > 0 || RowCount() < 2 || ColCount() < 1)
        return;
    const QModelIndex index = m_model->index(m_curRow - 1, m_curCol);
    if (selectionModel() && index.isValid() && selectionModel()->currentIndex() != index)
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void TMyCustomGrid::SetCol(int col)
{
    FocusCell(col, m_curRow, true);
}

void TMyCustomGrid::SetRow(int row)
{
    FocusCell(m_curCol, row, true);
}

bool TMyCustomGrid::SelectCell(int ACol, int ARow)
{
    bool canSelect = true;
    if (OnSelectCell)
        OnSelectCell(this, ACol, ARow, canSelect);
    return canSelect;
}

bool TMyCustomGrid::FocusCell(int col, int row, bool moveAnchor)
{
    if (col < 0 || col >= ColCount() || row < 1 || row >= RowCount())
        return false;
    if (!SelectCell(col, row))
        return false;
    MoveCurrent(col, row, moveAnchor);
    return true;
}

void TMyCustomGrid::MoveCurrent(int col, int row, bool moveAnchor)
{
    if (EditorMode() && (col != m_curCol || row != m_curRow))
        HideEditor();
    m_curCol = col;
    m_curRow = row;
    if (moveAnchor || !(m_options & goRangeSelect)) {
        m_anchorCol = col;
        m_anchorRow = row;
    }
    ClampCurrent();
    SyncViewCurrent();
    if (!m_updating && m_structureDepth == 0 && RowCount() > 1)
        scrollTo(m_model->index(m_curRow - 1, m_curCol), QAbstractItemView::EnsureVisible);
    InvalidateGrid();
    CurrentCellMoved();
    if ((m_options & goAlwaysShowEditor) && CanEditShow())
        ShowEditor();
}

TGridRect TMyCustomGrid::Selection() const
{
    TGridRect r { std::min(m_anchorCol, m_curCol), std::min(m_anchorRow, m_curRow), std::max(m_anchorCol, m_curCol),
        std::max(m_anchorRow, m_curRow) };
    if (m_options & goRowSelect) {
        r.Left = 0;
        r.Right = ColCount() - 1;
    }
    return r;
}

void TMyCustomGrid::SetSelection(const TGridRect& rect)
{
    if (EditorMode() && (rect.Right != m_curCol || rect.Bottom != m_curRow))
        HideEditor();
    m_anchorCol = rect.Left;
    m_anchorRow = rect.Top;
    m_curCol = rect.Right;
    m_curRow = rect.Bottom;
    ClampCurrent();
    SyncViewCurrent();
    InvalidateGrid();
    CurrentCellMoved();
}

int TMyCustomGrid::TopRow() const
{
    if ((m_updating || m_structureDepth > 0) && m_pendingTopRow > 0)
        return m_pendingTopRow;
    return verticalScrollBar()->value() + 1;
}

void TMyCustomGrid::SetTopRow(int row)
{
    row = std::max(1, row);
    if (m_updating || m_structureDepth > 0) {
        m_pendingTopRow = row;
        return;
    }
    verticalScrollBar()->setValue(row - 1);
}

int TMyCustomGrid::LeftCol() const
{
    const int col = columnAt(0);
    return col < 0 ? 0 : col;
}

void TMyCustomGrid::SetLeftCol(int col)
{
    col = std::clamp(col, 0, std::max(0, ColCount() - 1));
    int visibleBefore = 0;
    for (int c = 0; c < col; ++c)
        if (ColWidths(c) >= 0)
            ++visibleBefore;
    horizontalScrollBar()->setValue(visibleBefore);
}

int TMyCustomGrid::VisibleRowCount() const
{
    const int fit = viewport()->height() / (m_defaultRowHeight + 1);
    return std::max(0, std::min(fit, RowCount() - TopRow()));
}

int TMyCustomGrid::VisibleColCount() const
{
    int x = 0;
    int count = 0;
    for (int c = LeftCol(); c < ColCount(); ++c) {
        const int w = ColWidths(c) < 0 ? 0 : ColWidths(c) + 1;
        if (x + w > viewport()->width())
            break;
        x += w;
        ++count;
    }
    return count;
}

// ---- in-place editor ------------------------------------------------------------

bool TMyCustomGrid::CanEditShow() const
{
    return (m_options & goEditing) && !(m_options & goRowSelect) && !m_updating && m_structureDepth == 0
        && RowCount() > 1 && m_curRow >= 1 && m_curRow < RowCount() && m_curCol < ColCount() && ColWidths(m_curCol) >= 0
        && CanEditCell(m_curCol, m_curRow);
}

bool TMyCustomGrid::EditorMode() const
{
    return m_editor && state() == QAbstractItemView::EditingState;
}

void TMyCustomGrid::ShowEditor()
{
    if (EditorMode() || !CanEditShow())
        return;
    SyncViewCurrent();
    edit(m_model->index(m_curRow - 1, m_curCol), QAbstractItemView::AllEditTriggers, nullptr);
    if (EditorMode())
        EditorShown();
}

void TMyCustomGrid::ShowEditorWithKey(QKeyEvent* event)
{
    if (EditorMode() || !CanEditShow())
        return;
    SyncViewCurrent();
    edit(m_model->index(m_curRow - 1, m_curCol), QAbstractItemView::AnyKeyPressed, event);
    if (EditorMode())
        EditorShown();
}

void TMyCustomGrid::HideEditor()
{
    if (!m_editor)
        return;
    QWidget* editor = m_editor;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TMyCustomGrid::commitData(QWidget* editor)
{
    if (editor && editor == m_editor)
        EditorCommitting();
    QTableView::commitData(editor);
}

void TMyCustomGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor == m_editor)
        m_editor = nullptr;
    const bool next = hint == QAbstractItemDelegate::EditNextItem;
    const bool previous = hint == QAbstractItemDelegate::EditPreviousItem;
    QTableView::closeEditor(editor, next || previous ? QAbstractItemDelegate::NoHint : hint);
    if (next || previous)
        FocusCell(NextVisibleCol(m_curCol, next ? 1 : -1), m_curRow, true);
}
