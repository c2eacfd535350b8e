// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/SortGrid.h"

#include "controls/AssignChanged.h"
#include "controls/Dialogs.h"
#include "grid/GridGlyphs.h"
#include "grid/GridText.h"
#include "gridstore/SortEngine.h"

#include <QListWidget>
#include <QScrollBar>

TSortGrid::TSortGrid(QWidget* parent)
    : TMyStringGrid(parent)
    , m_arrowUp(GridGlyph(QStringLiteral("UP")))
    , m_arrowDown(GridGlyph(QStringLiteral("DOWN")))
{
    m_colFonts.resize(static_cast<size_t>(ColCount()));
    m_rowFonts.resize(static_cast<size_t>(RowCount()));
    m_selectedRows = QStringList { QString::number(Row()) };
    m_selectionOrder = m_selectedRows;

    SetUpDropDown();
}

TSortGrid::~TSortGrid()
{
    // While shown the list belongs to the window, which may outlive the grid.
    if (m_dropDown && m_dropDown->parent() != this)
        delete m_dropDown;
}

// ---- properties ---------------------------------------------------------------------

void TSortGrid::SetModified(bool modified)
{
    m_modified = modified;
    if (modified && OnModified)
        OnModified(this);
}

void TSortGrid::SetHideRows(bool hide)
{
    m_hideRows = hide;
    SetRow(1);
    InvalidateGrid();
}

void TSortGrid::SetMultiSelect(bool multiSelect)
{
    m_multiSelect = multiSelect;
    if (multiSelect)
        SetOptions(Options() | goRowSelect);
}

void TSortGrid::SetUserSettings(const QStringList& settings)
{
    m_userSettings = settings;
    SetModified(true);
}

void TSortGrid::SetAlignmentHorz(TAlignment alignment)
{
    if (AssignChanged(m_alignmentHorz, alignment))
        InvalidateGrid();
}

void TSortGrid::SetAlignmentVert(TVertAlignment alignment)
{
    if (AssignChanged(m_alignmentVert, alignment))
        InvalidateGrid();
}

void TSortGrid::SetBevelStyle(TCellBevelStyle style)
{
    if (AssignChanged(m_bevelStyle, style))
        InvalidateGrid();
}

void TSortGrid::SetProportionalScrollBars(bool on)
{
    m_proportionalScrollBars = on;
    updateGeometries(); // the toolkit's own page sizes, or the proportional ones
}

void TSortGrid::SetColFontPriority(bool on)
{
    if (AssignChanged(m_colFontPriority, on))
        InvalidateGrid();
}

// ---- selection ----------------------------------------------------------------------

bool TSortGrid::IsRowSelected(int ARow) const
{
    return m_selectedRows.contains(QString::number(ARow));
}

void TSortGrid::ClearSelection()
{
    for (const QString& row : std::as_const(m_selectedRows))
        InvalidateRow(row.toInt());
    m_selectedRows.clear();
    m_selectionOrder = QStringList { QString() };
}

void TSortGrid::CurrentCellMoved()
{
    // After an ordinary cell selection the selected rows are the current row;
    // with MultiSelect only navigation keys without Shift reset them.
    if (m_sorting || (m_multiSelect && !m_navigationResets && !EditorMode()))
        return;
    const QStringList current { QString::number(Row()) };
    if (m_selectedRows == current && m_selectionOrder == current)
        return;
    m_selectedRows = current;
    m_selectionOrder = current;
    if (OnRowSelected)
        OnRowSelected(this);
}

// ---- size and layout ------------------------------------------------------------------

void TSortGrid::SizeChanged(int OldColCount, int OldRowCount)
{
    if (NowUpdating())
        return; // only the new counts are recorded during a bulk update
    SetModified(true);
    UpdateProportionalScrollBars();
    if (m_sortOptions.UpdateOnSizeChange)
        SortByColumn(m_sortOptions.SortCol);
    try {
        GotoCell(0, 1, true);
    } catch (...) {
        // A refused or failing move of the current cell does not stop the
        // size change; the grid stays usable where it was.
    }
    AdjustFontList(m_colFonts, ColCount() - OldColCount);
    AdjustFontList(m_rowFonts, RowCount() - OldRowCount);
    if (RowCount() < 2)
        dialogs::ShowInfo(this, QStringLiteral("Rowsize too small"));
    if (OnSizeChanged)
        OnSizeChanged(this, OldColCount, OldRowCount);
}

void TSortGrid::ColumnMoved(int FromIndex, int ToIndex)
{
    m_sortOptions.SortCol = SortColAfterMove(m_sortOptions.SortCol, FromIndex, ToIndex);
    MoveFontEntry(m_colFonts, FromIndex, ToIndex);
    SetModified(true);
}

void TSortGrid::ColWidthsChanged()
{
    UpdateProportionalScrollBars();
    if (OnColumnWidthsChanged)
        OnColumnWidthsChanged(this);
}

void TSortGrid::RowHeightsChanged()
{
    UpdateProportionalScrollBars();
    if (OnRowHeightsChanged)
        OnRowHeightsChanged(this);
}

void TSortGrid::GridResized()
{
    const int last = ColCount() - 1;
    if (last >= 0 && ColWidths(last) >= 0 && !NowUpdating()) {
        // The last column stretches to the client edge while it is on screen
        // (a hidden last column stays hidden).
        const int left = columnViewportPosition(last);
        if (left >= 0 && left < ClientWidth()) {
            int others = 0;
            for (int c = LeftCol(); c < last; ++c)
                if (ColWidths(c) >= 0)
                    others += ColWidths(c) + 1;
            const int width = ClientWidth() - others - 1;
            if (width > 0)
                SetColWidths(last, width);
        }
    }
    InvalidateGrid();
    UpdateProportionalScrollBars();
}

void TSortGrid::ScrollBarsUpdated()
{
    UpdateProportionalScrollBars();
}

void TSortGrid::UpdateProportionalScrollBars()
{
    if (!m_proportionalScrollBars)
        return;
    if (ScrollBars() == ssVertical || ScrollBars() == ssBoth) {
        QScrollBar* bar = verticalScrollBar();
        bar->setPageStep(ProportionalPageSize(VisibleRowCount() + 1, RowCount(), bar->maximum() - bar->minimum()));
    }
    if (ScrollBars() == ssHorizontal || ScrollBars() == ssBoth) {
        QScrollBar* bar = horizontalScrollBar();
        bar->setPageStep(ProportionalPageSize(VisibleColCount(), ColCount(), bar->maximum() - bar->minimum()));
    }
}

// ---- editing ----------------------------------------------------------------------------

void TSortGrid::EditorCommitted(int ACol, int ARow, const QString& OldText)
{
    SetModified(true);
    if (OnCellCommitted)
        OnCellCommitted(this, ACol, ARow, OldText, Cells(ACol, ARow));
}

Qt::Alignment TSortGrid::EditorAlignment(int ACol, int ARow) const
{
    TFormatOptions format = DefaultFormatOptions();
    bool checkBox = false, combobox = false, ellipsis = false;
    GetCellFormat(ACol, ARow, {}, format, checkBox, combobox, ellipsis);
    const Qt::Alignment vertical = Qt::AlignVCenter;
    switch (format.AlignmentHorz) {
    case taRightJustify:
        return Qt::AlignRight | vertical;
    case taCenter:
        return Qt::AlignHCenter | vertical;
    case taLeftJustify:
        break;
    }
    return Qt::AlignLeft | vertical;
}
