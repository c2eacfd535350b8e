// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "grid/FontSetting.h"
#include "grid/MyGrids.h"
#include "gridstore/SortTypes.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QStringList>

class QListWidget;
class QMenu;

// Handed to OnGetCellFormat for every cell, pre-filled by the grid. Brush is
// the cell background; Font and FontColor are the text's font and colour.
struct TFormatOptions {
    QBrush Brush;
    QFont Font;
    QColor FontColor;
    TAlignment AlignmentHorz = taLeftJustify;
    TVertAlignment AlignmentVert = taTopJustify;
    TCellBevelStyle BevelStyle = cbNone;
    QColor UpperLeftColor;
    QColor LowerRightColor;
    bool HideText = false;
};

// The results table's grid: a string grid with one header row that sorts by
// a column (header clicks, seven sort styles, secondary keys), asks its
// owner for sort styles and cell formats, finds, inserts, deletes and clears
// rows, tracks modification and writes its backup file and a CSV export.
class TSortGrid : public TMyStringGrid {
    Q_OBJECT

public:
    explicit TSortGrid(QWidget* parent = nullptr);
    ~TSortGrid() override;

    TSortOptions& SortOptions() { return m_sortOptions; }
    const TSortOptions& SortOptions() const { return m_sortOptions; }
    void SetSortOptions(const TSortOptions& options) { m_sortOptions = options; }
    TPrintOptions& PrintOptions() { return m_printOptions; }
    void SetPrintOptions(const TPrintOptions& options) { m_printOptions = options; }

    bool HideRows() const { return m_hideRows; }
    void SetHideRows(bool hide);
    bool MultiSelect() const { return m_multiSelect; }
    void SetMultiSelect(bool multiSelect);
    const QStringList& UserSettings() const { return m_userSettings; }
    void SetUserSettings(const QStringList& settings);
    TAlignment AlignmentHorz() const { return m_alignmentHorz; }
    void SetAlignmentHorz(TAlignment alignment);
    TVertAlignment AlignmentVert() const { return m_alignmentVert; }
    void SetAlignmentVert(TVertAlignment alignment);
    TCellBevelStyle BevelStyle() const { return m_bevelStyle; }
    void SetBevelStyle(TCellBevelStyle style);
    bool ProportionalScrollBars() const { return m_proportionalScrollBars; }
    void SetProportionalScrollBars(bool on);
    bool ExtendedKeys() const { return m_extendedKeys; }
    void SetExtendedKeys(bool on) { m_extendedKeys = on; }
    bool ColFontPriority() const { return m_colFontPriority; }
    void SetColFontPriority(bool on);
    TFontList& ColFonts() { return m_colFonts; }
    const TFontList& ColFonts() const { return m_colFonts; }
    TFontList& RowFonts() { return m_rowFonts; }
    const TFontList& RowFonts() const { return m_rowFonts; }
    // Opens on a right click anywhere below the header (below the last row
    // for the last row), with the Menu key and with Shift+F10; the row it is
    // opened for becomes current first.
    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu) { m_popupMenu = menu; }

    const QStringList& SelectedRows() const { return m_selectedRows; }
    const QStringList& SelectionOrder() const { return m_selectionOrder; }
    int HiddenRowCount() const { return m_hiddenRowCount; }
    // The row filter: OnSetFilter decides per data row; rejected rows are
    // parked beyond RowCount. Setting it while a filter is applied removes
    // that filter first, so every row is offered to the new one.
    bool Filtered() const { return m_filtered; }
    void SetFiltered(bool on);
    bool Modified() const { return m_modified; }
    void SetModified(bool modified);

    void SortByColumn(int ACol);
    // The rows take the given order (a sort's); the current and the selected
    // rows follow their data.
    void PermuteTableRows(const std::vector<int>& order) override;
    // True while SortByColumn moves the rows (the current cell moves with
    // them before the sort has finished).
    bool Sorting() const { return m_sorting; }
    // A click on the header of the column: the direction turns (descending
    // with the right button) and the rows are sorted when sorting is on.
    void HeaderClick(int ACol, bool rightButton);
    int FindRow(int ACol, const QString& Text, bool CaseInsensitive = false) const;
    void Clear();
    void InsertRow(int ARow);
    void DeleteRow(int ARow);
    // The table's row operations are the grid's own (fonts, selection and
    // filter follow).
    int InsertTableRow(int at) override;
    void DeleteTableRow(int row) override { DeleteRow(row); }
    void ClearTable() override { Clear(); }
    void InsertColumn(int ACol);
    void DeleteColumn(int ACol);
    void MoveRow(int FromIndex, int ToIndex) override;
    void GotoCell(int ACol, int ARow, bool Scroll);
    void ScrollToCell(int ACol, int ARow);
    void AutoSizeColumn(int ACol, bool Force);
    void AutoSizeColumns(bool Force);
    bool IsEmptyRow(int ARow) const { return Store().IsEmptyRow(ARow); }
    bool IsChecked(int ACol, int ARow) const;
    void SetChecked(int ACol, int ARow, bool AState);
    bool IsRowSelected(int ARow) const;
    void ClearSelection();

    void BeginUpdate() override;
    void EndUpdate() override;

    // The drop-down list of a combo-box cell: true when it opened.
    bool ShowDropDown(int Col, int Row);
    void AcceptDropDown();
    // Validation of in-place edits against OnCellValidate.
    void RememberCell();
    void ValidateCell();

    // The backup file (geometry false: the "-1" form of the geometry line)
    // and the semicolon export, each replacing an older file in one step. A
    // failure leaves the older file alone, is reported to the operator ("Can't
    // write to file:", the name and the system's reason) and gives false.
    // Cols: the columns written, from the first (0: all).
    bool SaveToFile(const QString& FileName, bool Geometry = false, int Cols = 0);
    // What SaveToFile writes.
    QByteArray BackupBytes(bool Geometry = false, int Cols = 0) const;
    bool SaveToCsv(const QString& FileName, int Cols = 0);

    // The cell-format query: Format must hold the brush and font to start
    // from; the rest is filled here and then offered to OnGetCellFormat.
    void GetCellFormat(int ACol, int ARow, TGridDrawState AState, TFormatOptions& Format, bool& CheckBox,
        bool& Combobox, bool& Ellipsis) const;
    // Format options pre-filled with the grid's own brush and font.
    TFormatOptions DefaultFormatOptions() const;

    std::function<void(QObject* Sender)> OnModified;
    std::function<void(QObject* Sender)> OnRowSelected;
    std::function<void(QObject* Sender, int ARow)> OnRowInsert;
    std::function<void(QObject* Sender, int ARow)> OnRowDelete;
    std::function<void(QObject* Sender, int ACol)> OnColumnInsert;
    std::function<void(QObject* Sender, int ACol)> OnColumnDelete;
    std::function<void(QObject* Sender)> OnColumnWidthsChanged;
    std::function<void(QObject* Sender)> OnRowHeightsChanged;
    std::function<void(QObject* Sender, int OldColCount, int OldRowCount)> OnSizeChanged;
    std::function<void(QObject* Sender, int Col, int Row, TGridDrawState State, TFormatOptions& FormatOptions,
        bool& CheckBox, bool& Combobox, bool& Ellipsis)>
        OnGetCellFormat;
    std::function<void(const QStringList& ARows, bool& Accept)> OnSetFilter;
    std::function<void(const QStringList& ARows, bool& Accept)> OnSearch; // carried, never fired
    std::function<void(QObject* Sender)> OnEndUpdate;
    std::function<void(QObject* Sender, int Col, TSortStyle& SortStyle)> OnGetSortStyle;
    std::function<void(QObject* Sender, int ACol, int ARow, const QString& OldValue, QString& NewValue, bool& Valid)>
        OnCellValidate;
    // An edit of the operator went into a cell (after validation): the
    // cell's text before and after. Not called for texts the program writes.
    std::function<void(QObject* Sender, int ACol, int ARow, const QString& OldText, const QString& NewText)>
        OnCellCommitted;
    std::function<void(QObject* Sender, int ACol, int ARow, bool State)> OnSetChecked;
    std::function<void(QObject* Sender, int ACol, int ARow, QStringList& Strs, int& Width, int& Height, bool& Sorted)>
        OnGetComboBox;
    std::function<void(QObject* Sender, int ACol, int ARow, const QString& Str)> OnSetComboBox;
    std::function<void(QObject* Sender, int ACol, int ARow)> OnSetEllipsis;
    // After a header click, whether or not it sorted (the direction has
    // changed either way).
    std::function<void(QObject* Sender, int ACol)> OnHeaderClicked;
    std::function<void(QObject* Sender, int& Col)> OnBeginSort;
    std::function<void(QObject* Sender, int Col)> OnEndSort;

protected:
    int ParkedRowCount() const override { return m_hiddenRowCount; }
    void SizeChanged(int OldColCount, int OldRowCount) override;
    void ColumnMoved(int FromIndex, int ToIndex) override;
    void ColWidthsChanged() override;
    void RowHeightsChanged() override;
    void CurrentCellMoved() override;
    void GridResized() override;
    void ScrollBarsUpdated() override;
    void EditorCommitted(int ACol, int ARow, const QString& OldText) override;
    Qt::Alignment EditorAlignment(int ACol, int ARow) const override;
    void DrawCell(QPainter& Canvas, int ACol, int ARow, const QRect& ARect, TGridDrawState AState) override;
    bool SelectCell(int ACol, int ARow) override;
    void EditorShown() override;
    void EditorCommitting() override;
    bool CanEditCell(int ACol, int ARow) const override;
    void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) override;
    void MouseMove(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift, int X, int Y) override;
    void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) override;
    void DblClick(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) override;
    void KeyDown(int& Key, Qt::KeyboardModifiers Shift) override;
    void KeyUp(int& Key, Qt::KeyboardModifiers Shift) override;
    void KeyPress(QChar& Key) override;
    bool MouseWheel(int Delta, Qt::KeyboardModifiers Shift) override;
    void DoEnter() override;
    void DoExit() override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* object, QEvent* event) override;
    // Drags the selected rows out of the grid; the drag's source is the grid.
    virtual void StartDrag();

    // Fill of the cell's colours and style by the highlight and font rules.
    void ApplyColourRules(int ACol, int ARow, TFormatOptions& Format) const;
    void UpdateProportionalScrollBars();
    // Clears the given bracket state after an exception left it open.
    void CloseUpdateAfterError() noexcept;

    // Selection and interaction state, shared with the interaction handling.
    QStringList m_selectedRows;
    QStringList m_selectionOrder;
    int m_hiddenRowCount = 0;
    int m_mouseDownCol = -1;
    int m_mouseDownRow = -1;
    QPoint m_dragStart { -1, -1 };
    bool m_dragging = false;
    // The cell remembered for validation.
    int m_rememberedCol = -1;
    int m_rememberedRow = -1;
    QString m_rememberedText;
    bool m_rememberedModified = false;
    // The drop-down list of combo-box cells: sorted, no tab stop, hidden.
    // While shown its parent is the grid's window.
    QPointer<QListWidget> m_dropDown;

private:
    struct TCellKind {
        bool CheckBox = false;
        bool Combobox = false;
        bool Ellipsis = false;
    };
    TCellKind CellKind(int ACol, int ARow) const;
    // The context menu for a data row, which becomes current first.
    void ShowPopupMenu(int ACol, int ARow, const QPoint& GlobalPos);
    void ShowPopupMenuAtCurrentCell();
    // A click or Space on a check-box, combo-box or ellipsis cell.
    void ActivateCell(int ACol, int ARow, bool ByMouse, int X);
    bool FocusWithin() const;
    void SetUpDropDown();
    void HideDropDown();
    // Multi-selection bookkeeping; each fires OnRowSelected on a change.
    void SelectOnly(int ARow);
    void AddSelectionRect();
    void ToggleRowSelection(int ARow);
    void MultiSelectRelease(Qt::KeyboardModifiers Shift, int ARow);
    void SelectionChanged();
    void ApplyFilter();
    void RemoveFilter();

    TSortOptions m_sortOptions;
    TPrintOptions m_printOptions;
    TFontList m_colFonts;
    TFontList m_rowFonts;
    QStringList m_userSettings;
    QMenu* m_popupMenu = nullptr;
    QImage m_arrowUp;
    QImage m_arrowDown;
    TAlignment m_alignmentHorz = taLeftJustify;
    TVertAlignment m_alignmentVert = taTopJustify;
    TCellBevelStyle m_bevelStyle = cbNone;
    bool m_hideRows = false;
    bool m_multiSelect = false;
    bool m_proportionalScrollBars = false;
    bool m_extendedKeys = false;
    bool m_colFontPriority = false;
    bool m_modified = false;
    bool m_sorting = false;
    bool m_savedUpdateOnSizeChange = false;
    bool m_filtered = false;
    bool m_filterPlaceholder = false; // the empty row standing in for an empty filter result
    bool m_validating = false;
    bool m_navigationResets = false; // a navigation key without Shift is moving the current row
    int m_wheelDelta = 0;
    int m_dropDownCol = -1;
    int m_dropDownRow = -1;
};
