// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Row, column and cell operations of TSortGrid.

#include "grid/SortGrid.h"

#include "grid/GridText.h"
#include "gridstore/SortCompare.h"

#include <QFontMetrics>

#include <algorithm>

int TSortGrid::FindRow(int ACol, const QString& Text, bool CaseInsensitive) const
{
    // Rows parked by the row filter are searched too.
    const int end = RowCount() + m_hiddenRowCount;
    const TCellStore& store = Store();
    if (!CaseInsensitive) {
        for (int r = 1; r < end; ++r)
            if (store.Cell(ACol, r) == Text)
                return r;
        return -1;
    }
    const QString folded = FoldAscii(Text);
    for (int r = 1; r < end; ++r)
        if (FoldAscii(store.Cell(ACol, r)) == folded)
            return r;
    return -1;
}

void TSortGrid::Clear()
{
    BeginUpdate();
    try {
        // The parked rows come back first, so every row is cleared and none
        // is left beyond the row count to reappear.
        if (m_filtered || m_hiddenRowCount > 0 || m_filterPlaceholder)
            SetFiltered(false);
        m_colFonts.clear();
        m_rowFonts.clear();
        MoveCurrent(Col(), 1, true);
        m_selectedRows.clear();
        InvalidateRow(1);
        m_selectionOrder = QStringList { QStringLiteral("1") };
        for (int r = 1; r < RowCount(); ++r)
            MutableStore().ClearRow(r);
        m_modified = false; // silently: a cleared table has nothing to save
        SetRowCount(2);
        AutoSizeColumns(true);
        if (OnRowSelected)
            OnRowSelected(this);
    } catch (...) {
        CloseUpdateAfterError();
        throw;
    }
    EndUpdate();
}

void TSortGrid::InsertRow(int ARow)
{
    const int newCount = RowCount() + 1;
    const int row = InsertedRowIndex(ARow, RowCount());
    BeginStructureChange();
    MutableStore().InsertRow(row);
    SetRowCount(newCount);
    // Keep the row settings with their rows: the entry appended for the new
    // count belongs to the new row.
    if (!NowUpdating())
        MoveFontEntry(m_rowFonts, static_cast<int>(m_rowFonts.size()) - 1, row);
    EndStructureChange();
    MutableStore().ClearRow(row);
    SetRow(row);
    SetSelection(TGridRect { Col(), row, Col(), row });
    if (OnRowInsert)
        OnRowInsert(this, row);
}

int TSortGrid::InsertTableRow(int at)
{
    InsertRow(at);
    return Row();
}

void TSortGrid::DeleteRow(int ARow)
{
    if (ARow < 1 || ARow >= RowCount())
        return;
    SetModified(true);
    if (RowCount() < 3) {
        // The last data row is never removed, only emptied.
        MutableStore().ClearRow(1);
        if (m_rowFonts.size() > 1)
            m_rowFonts[1] = TFontSetting {};
        InvalidateRow(1);
    } else {
        const TGridOptions options = Options();
        SetOptions(options & ~TGridOptions(goAlwaysShowEditor));
        BeginStructureChange();
        MutableStore().DeleteRow(ARow);
        // The row's setting goes; the size change then drops the last entry.
        if (!NowUpdating())
            MoveFontEntry(m_rowFonts, ARow, static_cast<int>(m_rowFonts.size()) - 1);
        SetRowCount(RowCount() - 1);
        EndStructureChange();
        SetOptions(options);
    }
    if (OnRowDelete)
        OnRowDelete(this, ARow);
}

void TSortGrid::InsertColumn(int ACol)
{
    const int col = std::clamp(ACol, 0, ColCount());
    BeginStructureChange();
    MutableStore().InsertCol(col);
    SetColCount(ColCount() + 1);
    MoveColWidthEntry(ColCount() - 1, col);
    if (!NowUpdating())
        MoveFontEntry(m_colFonts, static_cast<int>(m_colFonts.size()) - 1, col);
    EndStructureChange();
    MutableStore().ClearCol(col);
    SetCol(col);
    if (OnColumnInsert)
        OnColumnInsert(this, col);
}

void TSortGrid::DeleteColumn(int ACol)
{
    if (ACol < 0 || ACol >= ColCount())
        return;
    MutableStore().ClearCol(ACol);
    if (ColCount() > 1) {
        const TGridOptions options = Options();
        SetOptions(options & ~TGridOptions(goAlwaysShowEditor));
        BeginStructureChange();
        MutableStore().DeleteCol(ACol);
        MoveColWidthEntry(ACol, ColCount() - 1);
        if (!NowUpdating())
            MoveFontEntry(m_colFonts, ACol, static_cast<int>(m_colFonts.size()) - 1);
        SetColCount(ColCount() - 1);
        EndStructureChange();
        SetOptions(options);
    } else {
        InvalidateGrid();
    }
    if (OnColumnDelete)
        OnColumnDelete(this, ACol);
}

void TSortGrid::MoveRow(int FromIndex, int ToIndex)
{
    const TGridOptions options = Options();
    SetOptions(options & ~TGridOptions(goAlwaysShowEditor));
    TMyStringGrid::MoveRow(FromIndex, ToIndex);
    SetOptions(options);
    MoveFontEntry(m_rowFonts, FromIndex, ToIndex);
}

void TSortGrid::GotoCell(int ACol, int ARow, bool Scroll)
{
    if (ColCount() < 1 || RowCount() < 2)
        return;
    ACol = std::clamp(ACol, 0, ColCount() - 1);
    ARow = std::clamp(ARow, 1, RowCount() - 1);
    if (!SelectCell(ACol, ARow))
        return;
    // Freeze the whole form while the current cell moves, unless a bulk
    // update holds the painting already.
    QWidget* form = window();
    const bool freeze = form != this && form->updatesEnabled();
    if (freeze)
        form->setUpdatesEnabled(false);
    try {
        MoveCurrent(ACol, ARow, true);
        InvalidateGrid();
        if (Scroll)
            ScrollToCell(ACol, ARow);
    } catch (...) {
        if (freeze)
            form->setUpdatesEnabled(true);
        throw;
    }
    if (freeze)
        form->setUpdatesEnabled(true);
}

void TSortGrid::ScrollToCell(int ACol, int ARow)
{
    if (ColCount() < 1 || RowCount() < 2)
        return;
    ACol = std::clamp(ACol, 0, ColCount() - 1);
    ARow = std::clamp(ARow, 1, RowCount() - 1);
    if (ACol < LeftCol()) {
        SetLeftCol(ACol); // advancing to the right would never reach it
    } else {
        while (ACol >= LeftCol() + VisibleColCount() && LeftCol() < ColCount() - 1) {
            const int before = LeftCol();
            SetLeftCol(before + 1);
            if (LeftCol() == before)
                break; // scrolled as far as the view goes
        }
    }
    const int fit = viewport()->height() / (DefaultRowHeight() + 1);
    int top = std::max(1, RowCount() - fit);
    if (top >= ARow)
        top = std::max(1, ARow - 1);
    SetTopRow(top);
}

void TSortGrid::AutoSizeColumn(int ACol, bool Force)
{
    if (ACol < 0 || ACol >= ColCount() || (ColWidths(ACol) == -1 && !Force))
        return;
    bool checkBox = false, combobox = false, ellipsis = false;
    int widest = 0;
    for (int r = 1; r < RowCount(); ++r) {
        TFormatOptions format = DefaultFormatOptions();
        GetCellFormat(ACol, r, {}, format, checkBox, combobox, ellipsis);
        widest = std::max(widest, QFontMetrics(format.Font).horizontalAdvance(Cells(ACol, r)));
    }
    TFormatOptions header = DefaultFormatOptions();
    GetCellFormat(ACol, 0, gdFixed, header, checkBox, combobox, ellipsis);
    int headerWidth = QFontMetrics(header.Font).horizontalAdvance(Cells(ACol, 0));
    if (ACol == m_sortOptions.SortCol && m_sortOptions.CanSort)
        headerWidth += 12;
    const int width = std::max(widest, headerWidth);
    const QFontMetrics metrics(font());
    SetColWidths(ACol,
        width <= 0 ? metrics.horizontalAdvance(QStringLiteral("xx"))
                   : width + metrics.horizontalAdvance(QStringLiteral("X")));
}

void TSortGrid::AutoSizeColumns(bool Force)
{
    // Inside a caller's bracket the bracket is left to the caller.
    const bool bracket = !NowUpdating();
    if (bracket)
        BeginUpdate();
    try {
        for (int c = 0; c < ColCount(); ++c)
            AutoSizeColumn(c, Force);
    } catch (...) {
        if (bracket)
            CloseUpdateAfterError();
        throw;
    }
    if (bracket)
        EndUpdate();
}

bool TSortGrid::IsChecked(int ACol, int ARow) const
{
    TFormatOptions format = DefaultFormatOptions();
    bool checkBox = false, combobox = false, ellipsis = false;
    GetCellFormat(ACol, ARow, {}, format, checkBox, combobox, ellipsis);
    return checkBox && IsCheckedText(Cells(ACol, ARow));
}

void TSortGrid::SetChecked(int ACol, int ARow, bool AState)
{
    TFormatOptions format = DefaultFormatOptions();
    bool checkBox = false, combobox = false, ellipsis = false;
    GetCellFormat(ACol, ARow, {}, format, checkBox, combobox, ellipsis);
    if (!checkBox)
        return;
    SetCells(ACol, ARow, AState ? QStringLiteral("V") : QString());
    InvalidateRow(ARow);
    if (OnSetChecked)
        OnSetChecked(this, ACol, ARow, AState);
}
