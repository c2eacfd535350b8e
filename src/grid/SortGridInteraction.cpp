// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Cell kinds, cell selection and validation of in-place edits of TSortGrid.

#include "grid/SortGrid.h"

TSortGrid::TCellKind TSortGrid::CellKind(int ACol, int ARow) const
{
    TFormatOptions format = DefaultFormatOptions();
    TCellKind kind;
    GetCellFormat(ACol, ARow, {}, format, kind.CheckBox, kind.Combobox, kind.Ellipsis);
    return kind;
}

bool TSortGrid::FocusWithin() const
{
    return hasFocus() || (InplaceEditor() && InplaceEditor()->hasFocus());
}

bool TSortGrid::SelectCell(int ACol, int ARow)
{
    // The editor never moves onto a check box or a drop-down: a drop-down
    // opens instead, and Tab goes on to the cell after it.
    if (EditorMode() && ARow >= 1) {
        const TCellKind kind = CellKind(ACol, ARow);
        if (kind.CheckBox || kind.Combobox) {
            if (kind.Combobox)
                ShowDropDown(ACol, ARow);
            if (TabPressed() && ACol < ColCount() - 2)
                FocusCell(ACol + 1, ARow, true);
            return false;
        }
    }
    return TMyStringGrid::SelectCell(ACol, ARow);
}

bool TSortGrid::CanEditCell(int ACol, int ARow) const
{
    const TCellKind kind = CellKind(ACol, ARow);
    return !kind.CheckBox && !kind.Combobox;
}

// ---- validation ------------------------------------------------------------------------

void TSortGrid::RememberCell()
{
    if (!EditorMode())
        return;
    // The cell keeps its text from before the edit until the edit is
    // committed, so this is the text the edit started from.
    m_rememberedCol = Col();
    m_rememberedRow = Row();
    m_rememberedText = Cells(Col(), Row());
    m_rememberedModified = m_modified;
}

void TSortGrid::ValidateCell()
{
    if (!EditorMode() || m_validating)
        return;
    const int col = m_rememberedCol;
    const int row = m_rememberedRow;
    if (col >= 0 && row >= 1) {
        const QPointer<TInplaceEdit> editor = InplaceEditor();
        const bool editing = col == Col() && row == Row();
        const QString current = editing ? editor->text() : Cells(col, row);
        if (current != m_rememberedText) {
            QString newValue = current;
            bool valid = true;
            if (OnCellValidate) {
                // A handler that shows a message box moves the focus, which
                // commits the editor; that commit must not validate again.
                m_validating = true;
                try {
                    OnCellValidate(this, col, row, m_rememberedText, newValue, valid);
                } catch (...) {
                    m_validating = false;
                    throw;
                }
                m_validating = false;
            }
            const QString result = valid || newValue != current ? newValue : m_rememberedText;
            // The outcome goes into the cell and the editor alike, so the
            // editor's own commit finds nothing left to change.
            const QString before = Cells(col, row);
            const bool changed = before != result;
            SetCells(col, row, result);
            if (changed && OnCellCommitted)
                OnCellCommitted(this, col, row, before, result);
            if (editing && editor && editor->text() != result)
                editor->setText(result);
            if (!valid)
                SetModified(m_rememberedModified);
            else if (changed)
                SetModified(true);
        }
    }
    RememberCell();
}

void TSortGrid::EditorShown()
{
    RememberCell();
}

void TSortGrid::EditorCommitting()
{
    ValidateCell();
}

void TSortGrid::DoEnter()
{
    RememberCell();
    TMyStringGrid::DoEnter();
}

void TSortGrid::DoExit()
{
    ValidateCell();
    TMyStringGrid::DoExit();
}
