// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/MyGrids.h"

#include "grid/GridModel.h"
#include "grid/MyGridParts.h"

#include <QApplication>
#include <QScrollBar>

#include <algorithm>

TInplaceEdit::TInplaceEdit(QWidget* parent)
    : QLineEdit(parent)
{
    setFrame(false);
}

TMyCustomGrid::TMyCustomGrid(QWidget* parent)
    : QTableView(parent)
{
    m_model = new TGridModel(m_store, this);
    m_model->OnEdited = [this](int col, int row, const QString& old) { EditorCommitted(col, row, old); };
    m_header = new TGridHeaderView(this);
    setHorizontalHeader(m_header);
    m_delegate = new TGridDelegate(this);
    setItemDelegate(m_delegate);
    setModel(m_model);

    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_header->setMinimumSectionSize(1);
    m_header->setHighlightSections(false);
    m_header->setSectionsClickable(false);
    m_header->setStretchLastSection(false);
    setShowGrid(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::AnyKeyPressed);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    setTabKeyNavigation(false);
    setAutoScroll(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setFocusPolicy(Qt::StrongFocus);

    connect(m_header, &QHeaderView::sectionResized, this, &TMyCustomGrid::OnHeaderSectionResized);
    // Queued: the header finishes its own mouse handling before the move is
    // turned into a move of the data.
    connect(m_header, &QHeaderView::sectionMoved, this, &TMyCustomGrid::OnHeaderSectionMoved, Qt::QueuedConnection);

    m_colWidths.assign(static_cast<size_t>(ColCount()), m_defaultColWidth);
    ApplyRowGeometry();
    ApplyColumnGeometry();
    SetOptions(m_options);
    SyncViewCurrent();
}

TMyCustomGrid::~TMyCustomGrid()
{
    if (m_cursorOverridden)
        QApplication::restoreOverrideCursor();
}

// ---- geometry ---------------------------------------------------------------

void TMyCustomGrid::SetColCount(int count)
{
    count = std::max(1, count);
    if (count == ColCount())
        return;
    const int oldCols = ColCount();
    const int oldRows = RowCount();
    BeginStructureChange();
    m_store.SetColCount(count);
    m_colWidths.resize(static_cast<size_t>(count), m_defaultColWidth);
    ClampCurrent();
    EndStructureChange();
    SizeChanged(oldCols, oldRows);
}

void TMyCustomGrid::SetRowCount(int count)
{
    count = std::max(1, count);
    if (count == RowCount())
        return;
    const int oldCols = ColCount();
    const int oldRows = RowCount();
    BeginStructureChange();
    m_store.SetRowCount(count, ParkedRowCount());
    ClampCurrent();
    EndStructureChange();
    SizeChanged(oldCols, oldRows);
}

int TMyCustomGrid::ColWidths(int col) const
{
    if (col < 0 || col >= static_cast<int>(m_colWidths.size()))
        return 0;
    return m_colWidths[static_cast<size_t>(col)];
}

void TMyCustomGrid::SetColWidths(int col, int width)
{
    if (col < 0 || col >= static_cast<int>(m_colWidths.size()))
        return;
    width = std::max(-1, width);
    if (m_colWidths[static_cast<size_t>(col)] == width)
        return;
    m_colWidths[static_cast<size_t>(col)] = width;
    ApplyColumnGeometry();
    ColWidthsChanged();
}

void TMyCustomGrid::SetDefaultColWidth(int width)
{
    m_defaultColWidth = std::max(0, width);
    std::fill(m_colWidths.begin(), m_colWidths.end(), m_defaultColWidth);
    ApplyColumnGeometry();
    ColWidthsChanged();
}

void TMyCustomGrid::SetDefaultRowHeight(int height)
{
    height = std::max(1, height);
    if (height == m_defaultRowHeight)
        return;
    m_defaultRowHeight = height;
    ApplyRowGeometry();
    RowHeightsChanged();
}

int TMyCustomGrid::ClientWidth() const
{
    return viewport()->width();
}

int TMyCustomGrid::ClientHeight() const
{
    return viewport()->height() + m_header->height();
}

void TMyCustomGrid::ApplyColumnGeometry()
{
    if (m_updating || m_structureDepth > 0)
        return; // applied when the update ends
    m_applyingGeometry = true;
    for (int c = 0; c < ColCount(); ++c) {
        const int w = m_colWidths[static_cast<size_t>(c)];
        if (w < 0) {
            setColumnHidden(c, true);
        } else {
            if (m_header->isSectionHidden(c))
                setColumnHidden(c, false);
            if (m_header->sectionSize(c) != w + 1)
                m_header->resizeSection(c, w + 1);
        }
    }
    m_applyingGeometry = false;
}

void TMyCustomGrid::ApplyRowGeometry()
{
    verticalHeader()->setDefaultSectionSize(m_defaultRowHeight + 1);
    m_header->setFixedHeight(m_defaultRowHeight + 1);
    updateGeometries();
}

void TMyCustomGrid::OnHeaderSectionResized(int logical, int, int newSize)
{
    if (m_applyingGeometry || logical < 0 || logical >= ColCount() || m_header->isSectionHidden(logical))
        return;
    m_colWidths[static_cast<size_t>(logical)] = std::max(0, newSize - 1);
    ColWidthsChanged();
}

void TMyCustomGrid::OnHeaderSectionMoved(int, int oldVisual, int newVisual)
{
    // Put the section back where it was and move the data instead, so that
    // column numbers always equal their places on screen.
    const QSignalBlocker blocker(m_header);
    const int from = m_header->logicalIndex(newVisual);
    m_header->moveSection(newVisual, oldVisual);
    if (from == oldVisual)
        MoveColumn(oldVisual, newVisual);
}

// ---- options ------------------------------------------------------------------

void TMyCustomGrid::SetOptions(TGridOptions options)
{
    m_options = options;
    m_model->SetEditable(options & goEditing);
    if (EditorMode() && !CanEditShow())
        HideEditor();
    m_header->setSectionResizeMode((options & goColSizing) ? QHeaderView::Interactive : QHeaderView::Fixed);
    m_header->setSectionsMovable(options & goColMoving);
    InvalidateGrid();
    if ((options & goAlwaysShowEditor) && CanEditShow() && !EditorMode() && hasFocus())
        ShowEditor();
}

void TMyCustomGrid::SetScrollBars(TScrollStyle style)
{
    m_scrollBars = style;
    const bool horz = style == ssHorizontal || style == ssBoth;
    const bool vert = style == ssVertical || style == ssBoth;
    setHorizontalScrollBarPolicy(horz ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vert ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

// ---- string grid --------------------------------------------------------------------

TMyStringGrid::TMyStringGrid(QWidget* parent)
    : TMyDrawGrid(parent)
{
}

void TMyStringGrid::SetCells(int col, int row, const QString& text)
{
    MutableStore().SetCell(col, row, text);
    CellTextChanged(col, row);
}

void TMyStringGrid::SetRows(int row, const QStringList& cells)
{
    MutableStore().SetRow(row, cells);
    if (row == 0 || NowUpdating())
        InvalidateGrid();
    else
        for (int c = 0; c < ColCount(); ++c)
            CellTextChanged(c, row);
}

void TMyStringGrid::PermuteTableRows(const std::vector<int>& order)
{
    const int previousRow = Row();
    MutableStore().PermuteRows(1, order);
    const auto moved = std::find(order.begin(), order.end(), previousRow);
    if (moved != order.end())
        MoveCurrent(Col(), static_cast<int>(moved - order.begin()) + 1, true);
    InvalidateGrid();
}

int TMyStringGrid::InsertTableRow(int at)
{
    const int row = InsertedRowIndex(at, RowCount());
    MutableStore().InsertRow(row);
    SetRowCount(RowCount() + 1);
    MutableStore().ClearRow(row);
    InvalidateGrid();
    return row;
}

void TMyStringGrid::DeleteTableRow(int row)
{
    if (row < 1 || row >= RowCount())
        return;
    if (RowCount() < 3) {
        MutableStore().ClearRow(1);
    } else {
        MutableStore().DeleteRow(row);
        SetRowCount(RowCount() - 1);
    }
    InvalidateGrid();
}

void TMyStringGrid::ClearTable()
{
    for (int r = 1; r < RowCount(); ++r)
        MutableStore().ClearRow(r);
    SetRowCount(2);
    InvalidateGrid();
}

void TMyStringGrid::SetCols(int col, const QStringList& cells)
{
    MutableStore().SetCol(col, cells);
    InvalidateGrid();
}
