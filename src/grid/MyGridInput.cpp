// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Mouse and keyboard handling of TMyCustomGrid. Every event goes through the
// overridable hooks (MouseDown, KeyDown, ...) in grid coordinates, so grids
// built on this one can add to or replace the behaviour.

#include "grid/MyGrids.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

void TMyCustomGrid::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = FromViewport(event->position().toPoint());
    MouseDown(event->button(), event->modifiers(), p.x(), p.y());
    event->accept();
}

void TMyCustomGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = FromViewport(event->position().toPoint());
    MouseMove(event->buttons(), event->modifiers(), p.x(), p.y());
    event->accept();
}

void TMyCustomGrid::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = FromViewport(event->position().toPoint());
    MouseUp(event->button(), event->modifiers(), p.x(), p.y());
    event->accept();
}

void TMyCustomGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint p = FromViewport(event->position().toPoint());
    DblClick(event->button(), event->modifiers(), p.x(), p.y());
    event->accept();
}

void TMyCustomGrid::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    if (!hasFocus() && focusPolicy() != Qt::NoFocus)
        setFocus(Qt::MouseFocusReason);
    int col = -1, row = -1;
    MouseToCell(X, Y, col, row);
    if (Button != Qt::LeftButton || row < 1 || col < 0)
        return;
    if ((m_options & goRangeSelect) && (Shift & Qt::ShiftModifier)) {
        FocusCell(col, row, false);
        return;
    }
    if (!FocusCell(col, row, true))
        return;
    m_rangeDragging = (m_options & goRangeSelect) && !(m_options & goEditing);
    if (m_options & goEditing)
        ShowEditor();
}

void TMyCustomGrid::MouseMove(Qt::MouseButtons Buttons, Qt::KeyboardModifiers, int X, int Y)
{
    if (!m_rangeDragging || !(Buttons & Qt::LeftButton))
        return;
    int col = -1, row = -1;
    MouseToCell(X, Y, col, row);
    if (row >= 1 && col >= 0 && (col != m_curCol || row != m_curRow))
        FocusCell(col, row, false);
}

void TMyCustomGrid::MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    m_rangeDragging = false;
}

void TMyCustomGrid::DblClick(Qt::MouseButton Button, Qt::KeyboardModifiers, int X, int Y)
{
    int col = -1, row = -1;
    MouseToCell(X, Y, col, row);
    if (Button == Qt::LeftButton && row >= 1 && col == m_curCol && row == m_curRow)
        ShowEditor();
}

void TMyCustomGrid::KeyDown(int&, Qt::KeyboardModifiers)
{
}
void TMyCustomGrid::KeyUp(int&, Qt::KeyboardModifiers)
{
}
void TMyCustomGrid::KeyPress(QChar&)
{
}

int TMyCustomGrid::NextVisibleCol(int col, int step) const
{
    for (int c = col + step; c >= 0 && c < ColCount(); c += step)
        if (ColWidths(c) >= 0)
            return c;
    return col;
}

bool TMyCustomGrid::NavigateByKey(int key, Qt::KeyboardModifiers modifiers)
{
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool extend = (modifiers & Qt::ShiftModifier) && (m_options & goRangeSelect);
    const bool rowSelect = m_options & goRowSelect;
    int col = m_curCol;
    int row = m_curRow;
    const int page = std::max(1, VisibleRowCount());
    switch (key) {
    case Qt::Key_Up:
        row -= 1;
        break;
    case Qt::Key_Down:
        row += 1;
        break;
    case Qt::Key_PageUp:
        row -= page;
        break;
    case Qt::Key_PageDown:
        row += page;
        break;
    case Qt::Key_Home:
        if (ctrl || rowSelect)
            row = 1;
        else
            col = NextVisibleCol(-1, 1);
        break;
    case Qt::Key_End:
        if (ctrl || rowSelect)
            row = RowCount() - 1;
        else
            col = NextVisibleCol(ColCount(), -1);
        break;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int step = key == Qt::Key_Left ? -1 : 1;
        if (rowSelect) {
            // The whole row is selected already: the arrows scroll.
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() + step);
            return true;
        }
        col = NextVisibleCol(col, step);
        break;
    }
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        if (!(m_options & goTabs))
            return false;
        const int next = NextVisibleCol(col, key == Qt::Key_Tab ? 1 : -1);
        if (next != col) {
            m_tabPressed = true;
            FocusCell(next, row, true);
            m_tabPressed = false;
        }
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
        if (!CanEditShow())
            return false;
        ShowEditor();
        return true;
    default:
        return false;
    }
    row = std::clamp(row, 1, std::max(1, RowCount() - 1));
    col = std::clamp(col, 0, std::max(0, ColCount() - 1));
    if (col != m_curCol || row != m_curRow)
        FocusCell(col, row, !extend);
    return true;
}

void TMyCustomGrid::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    KeyDown(key, event->modifiers());
    if (key == 0 || NavigateByKey(key, event->modifiers())) {
        event->accept();
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.front().isPrint() && !(event->modifiers() & Qt::ControlModifier)) {
        // With editing on, a typed character opens the editor and goes into
        // it, where KeyPress sees it with the editor showing; otherwise
        // KeyPress gets it here.
        if (CanEditShow()) {
            ShowEditorWithKey(event);
            event->accept();
            return;
        }
        QChar ch = text.front();
        KeyPress(ch);
        if (ch.isNull()) {
            event->accept();
            return;
        }
    }
    event->ignore();
}

bool TMyCustomGrid::EditorKeyPress(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (mods & (Qt::ControlModifier | Qt::AltModifier))
        return false; // the editor's own shortcuts
    const int key = event->key();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        // The editor is still showing while the next cell is asked for, so
        // the cell-selection check can tell a move out of the editor.
        const int next = NextVisibleCol(m_curCol, key == Qt::Key_Tab ? 1 : -1);
        if (next != m_curCol) {
            m_tabPressed = true;
            FocusCell(next, m_curRow, true);
            m_tabPressed = false;
        }
        return true;
    }
    QChar ch;
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        ch = QLatin1Char('\r');
    else if (!event->text().isEmpty() && event->text().front().isPrint())
        ch = event->text().front();
    else
        return false;
    const QChar typed = ch;
    KeyPress(ch);
    if (ch.isNull())
        return true;
    if (ch != typed && typed != QLatin1Char('\r') && m_editor) {
        m_editor->insert(QString(ch));
        return true;
    }
    return false;
}

void TMyCustomGrid::keyReleaseEvent(QKeyEvent* event)
{
    int key = event->key();
    KeyUp(key, event->modifiers());
    if (key == 0)
        event->accept();
    else
        event->ignore();
}

void TMyCustomGrid::wheelEvent(QWheelEvent* event)
{
    if (MouseWheel(event->angleDelta().y(), event->modifiers())) {
        event->accept();
        return;
    }
    QTableView::wheelEvent(event);
}

void TMyCustomGrid::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    DoEnter();
    InvalidateGrid();
}

void TMyCustomGrid::focusOutEvent(QFocusEvent* event)
{
    QTableView::focusOutEvent(event);
    DoExit();
    InvalidateGrid();
}
