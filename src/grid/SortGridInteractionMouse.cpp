// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Mouse handling of TSortGrid: header clicks, the special cell kinds,
// multi-selection and dragging of selected rows.

#include "grid/SortGrid.h"

#include "grid/SortGridInteractionRules.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>

#include <cstdlib>

void TSortGrid::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    HideDropDown();
    if (FocusWithin())
        ValidateCell();
    MouseToCell(X, Y, m_mouseDownCol, m_mouseDownRow);
    m_dragStart = QPoint(-1, -1);
    const bool multi = m_multiSelect && !EditorMode() && Button == Qt::LeftButton && m_mouseDownRow >= 1;
    const bool plain = !(Shift & (Qt::ShiftModifier | Qt::ControlModifier));
    const bool pressedSelected = multi && plain && IsRowSelected(m_mouseDownRow);
    if (multi && plain && !pressedSelected)
        SetOptions(Options() & ~TGridOptions(goRangeSelect));
    if (pressedSelected)
        m_dragStart = QPoint(X, Y);
    TMyStringGrid::MouseDown(Button, Shift, X, Y);
    if (multi && plain && !pressedSelected && Row() == m_mouseDownRow)
        SelectOnly(m_mouseDownRow);
}

void TSortGrid::MouseMove(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift, int X, int Y)
{
    if (m_dragStart.x() < 0) {
        TMyStringGrid::MouseMove(Buttons, Shift, X, Y);
        return;
    }
    // A press on a selected row waits to see whether it becomes a drag.
    if (!(Buttons & Qt::LeftButton)) {
        m_dragStart = QPoint(-1, -1);
        return;
    }
    if (std::abs(X - m_dragStart.x()) > kDragThreshold || std::abs(Y - m_dragStart.y()) > kDragThreshold) {
        m_dragStart = QPoint(-1, -1);
        m_dragging = true;
        try {
            StartDrag();
        } catch (...) {
            m_dragging = false;
            throw;
        }
        m_dragging = false;
    }
}

void TSortGrid::StartDrag()
{
    QStringList lines;
    for (const QString& row : std::as_const(m_selectedRows))
        lines << Rows(row.toInt()).join(QLatin1Char('\t'));
    auto* mime = new QMimeData;
    mime->setText(lines.join(QLatin1Char('\n')));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void TSortGrid::HeaderClick(int col, bool rightButton)
{
    TSortOptions& o = m_sortOptions;
    if (rightButton || (o.SortDirection == sdAscending && col == o.SortCol))
        o.SortDirection = sdDescending;
    else
        o.SortDirection = sdAscending;
    InvalidateGrid();
    SortByColumn(col);
    if (OnHeaderClicked)
        OnHeaderClicked(this, col);
}

void TSortGrid::MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    m_dragStart = QPoint(-1, -1);
    TMyStringGrid::MouseUp(Button, Shift, X, Y);
    int col = -1, row = -1;
    MouseToCell(X, Y, col, row);
    if (row == 0 && col >= 0 && m_mouseDownRow == 0 && col == m_mouseDownCol
        && (Button == Qt::LeftButton || Button == Qt::RightButton)) {
        const QRect cell = CellRect(col, 0);
        // Near a column border the press was meant for resizing.
        if (X >= cell.left() + 5 && X <= cell.left() + cell.width() - 5)
            HeaderClick(col, Button == Qt::RightButton);
        return;
    }
    if (Button == Qt::RightButton && m_popupMenu && row != 0 && viewport()->geometry().contains(QPoint(X, Y))) {
        // Right of the last column or below the last row the menu still
        // opens, for the row at that height or for the last row.
        const QPoint v = viewport()->mapFrom(this, QPoint(X, Y));
        const int at = rowAt(v.y());
        const int menuCol = col >= 0 ? col : Col();
        const int menuRow = at >= 0 ? at + 1 : RowCount() - 1;
        if (col >= 0 && row >= 1 && col == m_mouseDownCol && row == m_mouseDownRow)
            ActivateCell(col, row, true, X);
        ShowPopupMenu(menuCol, menuRow, mapToGlobal(QPoint(X, Y)));
        return;
    }
    if (row < 1 || col < 0)
        return;
    if (col == m_mouseDownCol && row == m_mouseDownRow)
        ActivateCell(col, row, true, X);
    if (m_multiSelect && Button == Qt::LeftButton && !EditorMode())
        MultiSelectRelease(Shift, row);
}

void TSortGrid::ShowPopupMenu(int ACol, int ARow, const QPoint& GlobalPos)
{
    if (!m_popupMenu || RowCount() < 2)
        return;
    // The menu's commands act on the current row: the row it was opened for.
    if (ARow != Row())
        GotoCell(ACol, ARow, false);
    m_popupMenu->popup(GlobalPos);
}

void TSortGrid::ShowPopupMenuAtCurrentCell()
{
    // A whole-row selection may leave the current cell in a hidden column;
    // the menu then opens at the row's first column.
    QRect cell = CellRect(Col(), Row());
    if (cell.isEmpty())
        cell = CellRect(0, Row());
    ShowPopupMenu(Col(), Row(), mapToGlobal(cell.center()));
}

void TSortGrid::contextMenuEvent(QContextMenuEvent* event)
{
    // A mouse's menu opens on the button's release; the keyboard's here.
    if (event->reason() != QContextMenuEvent::Mouse && m_popupMenu)
        ShowPopupMenuAtCurrentCell();
    event->accept();
}

void TSortGrid::DblClick(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    TMyStringGrid::DblClick(Button, Shift, X, Y);
    int col = -1, row = -1;
    MouseToCell(X, Y, col, row);
    if (Button != Qt::LeftButton || row != 0 || col < 0)
        return;
    const QRect cell = CellRect(col, 0);
    if (cell.left() + cell.width() - X <= 3) {
        AutoSizeColumn(col, true);
    } else if (X - cell.left() <= 3) {
        int left = col - 1;
        while (left >= 0 && ColWidths(left) < 0)
            --left;
        if (left >= 0)
            AutoSizeColumn(left, true);
    }
}

void TSortGrid::ActivateCell(int ACol, int ARow, bool ByMouse, int X)
{
    const TCellKind kind = CellKind(ACol, ARow);
    if (kind.CheckBox) {
        SetChecked(ACol, ARow, !IsChecked(ACol, ARow));
    } else if (kind.Combobox) {
        if (!ShowDropDown(ACol, ARow))
            HideDropDown();
    } else if (kind.Ellipsis && OnSetEllipsis) {
        const QRect cell = CellRect(ACol, ARow);
        const int right = cell.left() + ColWidths(ACol);
        if (!ByMouse || (X >= right - kEllipsisButtonWidth && X <= right))
            OnSetEllipsis(this, ACol, ARow);
    }
}

// ---- multi-selection ----------------------------------------------------------------

void TSortGrid::SelectionChanged()
{
    InvalidateGrid();
    if (OnRowSelected)
        OnRowSelected(this);
}

void TSortGrid::SelectOnly(int ARow)
{
    const QStringList only { QString::number(ARow) };
    if (m_selectedRows == only && m_selectionOrder == only)
        return;
    m_selectedRows = only;
    m_selectionOrder = only;
    SelectionChanged();
}

void TSortGrid::AddSelectionRect()
{
    const TGridRect rect = Selection();
    bool changed = false;
    for (int r = rect.Top; r <= rect.Bottom; ++r) {
        const QString row = QString::number(r);
        if (!m_selectedRows.contains(row)) {
            m_selectedRows << row;
            changed = true;
        }
        if (m_selectionOrder.size() == 1 && m_selectionOrder.front().isEmpty())
            m_selectionOrder.front() = row; // the cleared anchor entry takes the first row
        else if (!m_selectionOrder.contains(row))
            m_selectionOrder << row;
    }
    if (changed)
        SelectionChanged();
}

void TSortGrid::ToggleRowSelection(int ARow)
{
    const QString row = QString::number(ARow);
    if (!m_selectedRows.contains(row)) {
        m_selectedRows << row;
        if (m_selectionOrder.size() == 1 && m_selectionOrder.front().isEmpty())
            m_selectionOrder.front() = row;
        else
            m_selectionOrder << row;
        FocusCell(Col(), ARow, true);
        SelectionChanged();
        return;
    }
    if (m_selectedRows.size() < 2)
        return; // the last selected row stays
    m_selectedRows.removeAll(row);
    m_selectionOrder.removeAll(row);
    bool ok = false;
    const int last = m_selectionOrder.isEmpty() ? -1 : m_selectionOrder.back().toInt(&ok);
    if (ok)
        FocusCell(Col(), last, true);
    SelectionChanged();
}

void TSortGrid::MultiSelectRelease(Qt::KeyboardModifiers Shift, int ARow)
{
    if (Shift & Qt::ControlModifier) {
        ToggleRowSelection(ARow);
    } else if (Shift & Qt::ShiftModifier) {
        ClearSelection();
        AddSelectionRect();
    } else {
        SelectOnly(ARow);
    }
}
