#include "controls/MyGrids.h"

#include "controls/GridModel.h"
#include "controls/MyGridParts.h"

#include <QApplication>
#include <QKeyEvent>
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
    m_store.SetRowCount(count);
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
    TGridRect r{std::min(m_anchorCol, m_curCol), std::min(m_anchorRow, m_curRow), std::max(m_anchorCol, m_curCol),
                std::max(m_anchorRow, m_curRow)};
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

// ---- in-place editor ------------------------------------------------------------

bool TMyCustomGrid::CanEditShow() const
{
    return (m_options & goEditing) && !(m_options & goRowSelect) && !m_updating && m_structureDepth == 0
        && RowCount() > 1 && m_curRow >= 1 && m_curRow < RowCount() && m_curCol < ColCount()
        && ColWidths(m_curCol) >= 0;
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
}

void TMyCustomGrid::ShowEditorWithKey(QKeyEvent* event)
{
    if (EditorMode() || !CanEditShow())
        return;
    SyncViewCurrent();
    edit(m_model->index(m_curRow - 1, m_curCol), QAbstractItemView::AnyKeyPressed, event);
}

void TMyCustomGrid::HideEditor()
{
    if (!m_editor)
        return;
    QWidget* editor = m_editor;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
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

void TMyStringGrid::SetCols(int col, const QStringList& cells)
{
    MutableStore().SetCol(col, cells);
    InvalidateGrid();
}
