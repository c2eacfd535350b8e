// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "grid/GridTypes.h"
#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"

#include <QLineEdit>
#include <QPointer>
#include <QTableView>

#include <functional>
#include <vector>

class TGridModel;
class TGridHeaderView;
class TGridDelegate;

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// The grid's in-place text editor.
class TInplaceEdit final : public QLineEdit {
    Q_OBJECT

public:
    explicit TInplaceEdit(QWidget* parent);
};

// A string grid on a QTableView: row 0 is the single fixed header row (the
// view's horizontal header), there are no fixed columns. The grid keeps its
// own current cell, anchor and selection rectangle and draws every cell
// itself; the view only scrolls, lays out and hosts the in-place editor.
//
// Column widths are the content widths without the one-pixel grid line, so
// the columns and their lines fill exactly the sum of widths plus one pixel
// per column; a width of -1 hides a column.
class TMyCustomGrid : public QTableView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMyCustomGrid)

public:
    explicit TMyCustomGrid(QWidget* parent = nullptr);
    ~TMyCustomGrid() override;

    int ColCount() const { return m_store.ColCount(); }
    int RowCount() const { return m_store.RowCount(); }
    void SetColCount(int count);
    void SetRowCount(int count);
    int FixedRows() const { return 1; }
    int FixedCols() const { return 0; }

    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int DefaultColWidth() const { return m_defaultColWidth; }
    void SetDefaultColWidth(int width); // resets every column to it
    int DefaultRowHeight() const { return m_defaultRowHeight; }
    void SetDefaultRowHeight(int height);
    int RowHeights(int) const { return m_defaultRowHeight; }
    int ClientWidth() const;
    int ClientHeight() const;

    int Col() const { return m_curCol; }
    int Row() const { return m_curRow; }
    // Moving the current cell asks SelectCell (and OnSelectCell) first.
    void SetCol(int col);
    void SetRow(int row);
    // The anchor goes to the top left, the current cell to the bottom right;
    // no cell-selection check.
    TGridRect Selection() const;
    void SetSelection(const TGridRect& rect);

    int TopRow() const;
    void SetTopRow(int row);
    int LeftCol() const;
    void SetLeftCol(int col);
    int VisibleRowCount() const;
    int VisibleColCount() const;

    TGridOptions Options() const { return m_options; }
    void SetOptions(TGridOptions options);
    TScrollStyle ScrollBars() const { return m_scrollBars; }
    void SetScrollBars(TScrollStyle style);

    bool EditorMode() const;
    void SetEditorMode(bool on) { on ? ShowEditor() : HideEditor(); }
    void ShowEditor();
    void HideEditor(); // commits the editor's text
    TInplaceEdit* InplaceEditor() const { return m_editor; }

    void MoveColumn(int fromIndex, int toIndex);
    virtual void MoveRow(int fromIndex, int toIndex);

    // Bulk updates: painting frozen, the grid disabled, no view signals per
    // cell. A flag, not a counter.
    virtual void BeginUpdate();
    virtual void EndUpdate();
    bool NowUpdating() const { return m_updating; }

    // Cell geometry in the grid's own (widget) coordinates.
    QRect CellRect(int col, int row) const;
    void MouseToCell(int x, int y, int& col, int& row) const;
    void InvalidateCell(int col, int row);
    void InvalidateRow(int row);
    void InvalidateCol(int col);
    void InvalidateGrid();

    std::function<void(QObject* Sender)> OnBeginUpdate;
    std::function<void(QObject* Sender, int ACol, int ARow, bool& CanSelect)> OnSelectCell;
    std::function<void(QObject* Sender, QPainter& Canvas, int ACol, int ARow, const QRect& Rect, TGridDrawState State)>
        OnDrawCell;
    int Tag = 0;

protected:
    TCellStore& MutableStore() { return m_store; }
    const TCellStore& CellStore() const { return m_store; }
    // Tells the view that the owner wrote a cell.
    void CellTextChanged(int col, int row);
    // Structural store changes outside an update run between these two.
    void BeginStructureChange();
    void EndStructureChange();

    // Moves the current cell after SelectCell agreed; false when refused.
    bool FocusCell(int col, int row, bool moveAnchor);
    // Moves the current cell without asking.
    void MoveCurrent(int col, int row, bool moveAnchor);
    bool CanEditShow() const;
    // True while a Tab key moves the current cell.
    bool TabPressed() const { return m_tabPressed; }
    // Moves a column's width along with a column move done by the caller.
    void MoveColWidthEntry(int fromIndex, int toIndex);

    // Rows stored after the last row that a lower row count must keep.
    virtual int ParkedRowCount() const { return 0; }
    // Hooks for the grids built on this one.
    virtual bool SelectCell(int ACol, int ARow);
    virtual void SizeChanged(int OldColCount, int OldRowCount) { }
    virtual void ColumnMoved(int FromIndex, int ToIndex) { }
    virtual void RowMoved(int FromIndex, int ToIndex) { }
    virtual void ColWidthsChanged() { }
    virtual void RowHeightsChanged() { }
    virtual void CurrentCellMoved() { }
    virtual void GridResized() { }
    virtual void ScrollBarsUpdated() { }
    virtual void EditorCommitted(int ACol, int ARow, const QString& OldText) { }
    // The in-place editor has just opened on the current cell; the cell still
    // holds its text from before the edit.
    virtual void EditorShown() { }
    // The editor's text is about to be written into its cell.
    virtual void EditorCommitting() { }
    // Whether the in-place editor may open on a cell at all.
    virtual bool CanEditCell(int ACol, int ARow) const { return true; }
    virtual Qt::Alignment EditorAlignment(int ACol, int ARow) const { return Qt::AlignLeft | Qt::AlignVCenter; }
    virtual void DrawCell(QPainter& Canvas, int ACol, int ARow, const QRect& ARect, TGridDrawState AState);
    // Brush, pen (text colour) and font of a cell before DrawCell.
    virtual void PrepareCanvas(QPainter& Canvas, int ACol, int ARow, TGridDrawState AState);

    // Mouse positions in grid coordinates; header events arrive here too.
    virtual void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    virtual void MouseMove(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift, int X, int Y);
    virtual void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    virtual void DblClick(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    // Key set to 0 (or Key to a null character) swallows it.
    virtual void KeyDown(int& Key, Qt::KeyboardModifiers Shift);
    virtual void KeyUp(int& Key, Qt::KeyboardModifiers Shift);
    virtual void KeyPress(QChar& Key);
    // True when the wheel turn was handled.
    virtual bool MouseWheel(int Delta, Qt::KeyboardModifiers Shift) { return false; }
    virtual void DoEnter() { }
    virtual void DoExit() { }

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void updateGeometries() override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void commitData(QWidget* editor) override;

private:
    friend class TGridHeaderView;
    friend class TGridDelegate;

    void PaintCell(QPainter& painter, int col, int row, const QRect& cellRect);
    TGridDrawState DrawStateOf(int col, int row) const;
    void ApplyColumnGeometry();
    void ApplyRowGeometry();
    void SyncViewCurrent();
    void ClampCurrent();
    bool NavigateByKey(int key, Qt::KeyboardModifiers modifiers);
    int NextVisibleCol(int col, int step) const;
    void OnHeaderSectionResized(int logical, int oldSize, int newSize);
    void OnHeaderSectionMoved(int logical, int oldVisual, int newVisual);
    QPoint FromViewport(const QPoint& p) const;
    void ShowEditorWithKey(QKeyEvent* event);
    // Keys typed into the in-place editor: printable characters and Enter go
    // through KeyPress as in the grid itself, Tab moves to the next cell.
    // True when the key was used up here.
    bool EditorKeyPress(QKeyEvent* event);

    TCellStore m_store { 5, 5 };
    TGridModel* m_model = nullptr;
    TGridHeaderView* m_header = nullptr;
    TGridDelegate* m_delegate = nullptr;
    QPointer<TInplaceEdit> m_editor;

    std::vector<int> m_colWidths;
    int m_defaultColWidth = 64;
    int m_defaultRowHeight = 24;
    TGridOptions m_options = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
    TScrollStyle m_scrollBars = ssBoth;

    int m_curCol = 0;
    int m_curRow = 1;
    int m_anchorCol = 0;
    int m_anchorRow = 1;
    bool m_rangeDragging = false;
    bool m_tabPressed = false;

    bool m_updating = false;
    bool m_hadFocus = false;
    bool m_cursorOverridden = false;
    int m_structureDepth = 0;
    bool m_applyingGeometry = false;
    int m_pendingTopRow = 0;
};

// The toolkit needs no separate drawing layers.
using TMyCustomDrawGrid = TMyCustomGrid;
using TMyDrawGrid = TMyCustomGrid;

// Cells as texts, rows and columns as string lists.
class TMyStringGrid : public TMyDrawGrid, public TCellTable {
    Q_OBJECT

public:
    explicit TMyStringGrid(QWidget* parent = nullptr);

    int TableRowCount() const override { return RowCount(); }
    void SetTableRowCount(int count) override { SetRowCount(count); }
    QString TableCell(int col, int row) const override { return Cells(col, row); }
    void SetTableCell(int col, int row, const QString& text) override { SetCells(col, row, text); }
    void SetTableRow(int row, const QStringList& cells) override { SetRows(row, cells); }
    const TCellStore& TableStore() const override { return CellStore(); }
    void PermuteTableRows(const std::vector<int>& order) override;
    int InsertTableRow(int at) override;
    void DeleteTableRow(int row) override;
    void MoveTableRow(int from, int to) override { MoveRow(from, to); }
    void ClearTable() override;

    QString Cells(int col, int row) const { return CellStore().Cell(col, row); }
    void SetCells(int col, int row, const QString& text);
    QStringList Rows(int row) const { return CellStore().Row(row); }
    void SetRows(int row, const QStringList& cells);
    QStringList Cols(int col) const { return CellStore().Col(col); }
    void SetCols(int col, const QStringList& cells);

    // The texts, for writers that need no widget.
    const TCellStore& Store() const { return CellStore(); }
};
