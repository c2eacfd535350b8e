// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Keyboard and wheel handling of TSortGrid: type-ahead, the extended editing
// keys, Space on the special cell kinds and multi-selection by keys.

#include "grid/SortGrid.h"

#include "grid/SortGridInteractionRules.h"

#include <QKeyEvent>

namespace {

bool isNavigationKey(int key)
{
    switch (key) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

constexpr Qt::KeyboardModifiers kChordModifiers = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

} // namespace

void TSortGrid::keyPressEvent(QKeyEvent* event)
{
    // KeyDown tells whether the key's move resets the multi-selection; the
    // flag lasts exactly as long as the toolkit handles this key.
    m_navigationResets = false;
    const bool menuKey = event->key() == Qt::Key_Menu
        || (event->key() == Qt::Key_F10 && (event->modifiers() & kChordModifiers) == Qt::ShiftModifier);
    if (menuKey && m_popupMenu) {
        ShowPopupMenuAtCurrentCell();
        event->accept();
        return;
    }
    try {
        TMyStringGrid::keyPressEvent(event);
    } catch (...) {
        m_navigationResets = false;
        throw;
    }
    m_navigationResets = false;
}

void TSortGrid::KeyDown(int& Key, Qt::KeyboardModifiers Shift)
{
    if (!EditorMode()) {
        if (m_extendedKeys && (Shift & Qt::ControlModifier) && !(Shift & Qt::AltModifier)) {
            const bool withShift = Shift & Qt::ShiftModifier;
            if (Key == Qt::Key_Insert) {
                if (withShift)
                    InsertColumn(Col());
                else
                    InsertRow(Row());
                Key = 0;
                return;
            }
            if (Key == Qt::Key_Delete) {
                // The last data row and the last column stay.
                if (withShift && ColCount() > 1)
                    DeleteColumn(Col());
                else if (!withShift && RowCount() > 2)
                    DeleteRow(Row());
                Key = 0;
                return;
            }
        }
        if (m_multiSelect) {
            if (Key == Qt::Key_Shift) {
                SetOptions(Options() | goRangeSelect);
                ClearSelection();
                SelectionChanged();
            } else if (isNavigationKey(Key)) {
                if (Shift & Qt::ShiftModifier) {
                    // The row the range starts from; later keys of the same
                    // range keep it.
                    if (m_selectionOrder.isEmpty())
                        m_selectionOrder << QString();
                    if (m_selectionOrder.front().isEmpty())
                        m_selectionOrder.front() = QString::number(Row());
                } else {
                    m_navigationResets = true;
                }
            }
        }
    }
    TMyStringGrid::KeyDown(Key, Shift);
}

void TSortGrid::KeyUp(int& Key, Qt::KeyboardModifiers Shift)
{
    if (!EditorMode()) {
        if (Key == Qt::Key_Space && (Shift & kChordModifiers) == Qt::NoModifier && Row() >= 1)
            ActivateCell(Col(), Row(), false, 0);
        if (m_multiSelect) {
            if (Key == Qt::Key_Shift) {
                if (m_selectedRows.isEmpty())
                    AddSelectionRect();
            } else if (isNavigationKey(Key) && !(Shift & Qt::ShiftModifier)) {
                AddSelectionRect();
                SetOptions(Options() & ~TGridOptions(goRangeSelect));
            }
        }
    }
    TMyStringGrid::KeyUp(Key, Shift);
}

void TSortGrid::KeyPress(QChar& Key)
{
    if (Key == QLatin1Char('\r')) {
        ValidateCell();
    } else if (!EditorMode()) {
        Key = TypeAheadKey(Key);
        const int col = m_sortOptions.SortCol;
        const int row = TypeAheadRow(Store(), col, Row(), RowCount(), Key);
        if (row > 0)
            GotoCell(col, row, true);
    }
    TMyStringGrid::KeyPress(Key);
}

bool TSortGrid::MouseWheel(int Delta, Qt::KeyboardModifiers)
{
    if (Delta == 0)
        return false; // a sideways turn scrolls the columns as usual
    // High-resolution wheels report fractions of a notch; a step is a notch.
    if ((m_wheelDelta > 0) != (Delta > 0))
        m_wheelDelta = 0;
    m_wheelDelta += Delta;
    while (m_wheelDelta <= -QWheelEvent::DefaultDeltasPerStep) {
        m_wheelDelta += QWheelEvent::DefaultDeltasPerStep;
        ScrollToCell(Col(), TopRow() + 2);
    }
    while (m_wheelDelta >= QWheelEvent::DefaultDeltasPerStep) {
        m_wheelDelta -= QWheelEvent::DefaultDeltasPerStep;
        ScrollToCell(Col(), TopRow() - 2);
    }
    return true;
}
