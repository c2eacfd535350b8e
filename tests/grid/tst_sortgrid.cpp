// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "GridFixture.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"

#include "support/TestSupport.h"

#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

namespace {

using gridtest::kHeader;

// A grid as the main window sets it up, whose rows can be parked.
class Grid : public gridtest::ProtocolGrid {
public:
    void ParkRows(int count) { m_hiddenRowCount = count; }
};

const QList<QStringList> kEntries { { "3", "Berg", "", "12,5" }, { "1", "Anna", "", "9,87" },
    { "10", "Zoe", "", "12,5" }, { "2", "Carl", "", "1.05,12" } };

QPoint headerPoint(Grid& grid, int col, int dx = 0)
{
    const QRect cell = grid.CellRect(col, 0);
    const QPoint p = dx == 0 ? cell.center() : QPoint(cell.left() + dx, cell.center().y());
    return grid.horizontalHeader()->viewport()->mapFrom(&grid, p);
}

void clickHeader(Grid& grid, int col, Qt::MouseButton button = Qt::LeftButton, int dx = 0)
{
    QTest::mouseClick(grid.horizontalHeader()->viewport(), button, {}, headerPoint(grid, col, dx));
}

void clickCell(Grid& grid, int col, int row, Qt::MouseButton button = Qt::LeftButton)
{
    gridtest::ClickCell(grid, col, row, button);
}

} // namespace

class TestSortGrid : public QObject {
    Q_OBJECT

private slots:
    void init() { dialogs::SetTestMode(true); }

    void headerClicks_sortAndFlipTheDirection()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SortOptions().SortStyle = ssAutomatic;
        gridtest::Show(grid);
        clickHeader(grid, 1); // a new column sorts ascending
        QCOMPARE(grid.SortOptions().SortCol, 1);
        QCOMPARE(grid.SortOptions().SortDirection, sdAscending);
        QCOMPARE(grid.Column(1), (QStringList { "Anna", "Berg", "Carl", "Zoe" }));
        clickHeader(grid, 1); // the same column again flips
        QCOMPARE(grid.SortOptions().SortDirection, sdDescending);
        QCOMPARE(grid.Column(1), (QStringList { "Zoe", "Carl", "Berg", "Anna" }));
        clickHeader(grid, 1); // and back
        QCOMPARE(grid.SortOptions().SortDirection, sdAscending);
        QCOMPARE(grid.SortOptions().SortStyle, ssNormal); // names detected as text, and kept
        grid.SortOptions().SortStyle = ssAutomatic;
        clickHeader(grid, 0);
        QCOMPARE(grid.SortOptions().SortDirection, sdAscending);
        QCOMPARE(grid.Column(0), (QStringList { "1", "2", "3", "10" }));
        QCOMPARE(grid.SortOptions().SortStyle, ssNumeric);
        clickHeader(grid, 0, Qt::RightButton); // the right button always descends
        QCOMPARE(grid.Column(0), (QStringList { "10", "3", "2", "1" }));
        clickHeader(grid, 0, Qt::RightButton);
        QCOMPARE(grid.SortOptions().SortDirection, sdDescending);
        QCOMPARE(grid.Column(0), (QStringList { "10", "3", "2", "1" }));
        QCOMPARE(grid.Cells(0, 0), QStringLiteral("Nr.")); // the header never moves
        QVERIFY(!grid.Modified());
    }

    void headerClick_nearABorder_doesNotSort()
    {
        Grid grid;
        grid.Fill(kEntries);
        gridtest::Show(grid);
        clickHeader(grid, 1, Qt::LeftButton, 2);
        clickHeader(grid, 1, Qt::LeftButton, grid.CellRect(1, 0).width() - 3);
        QCOMPARE(grid.Column(1), (QStringList { "Berg", "Anna", "Zoe", "Carl" }));
        QCOMPARE(grid.SortOptions().SortCol, 0);
    }

    void canSortOff_headerClickChangesOnlyTheDirection()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SortOptions().CanSort = false;
        gridtest::Show(grid);
        clickHeader(grid, 0);
        QCOMPARE(grid.SortOptions().SortDirection, sdDescending);
        clickHeader(grid, 0);
        QCOMPARE(grid.SortOptions().SortDirection, sdAscending);
        QCOMPARE(grid.Column(0), (QStringList { "3", "1", "10", "2" }));
    }

    void sort_customComparisonIsUsedOnceAndDropped()
    {
        Grid grid;
        grid.Fill(kEntries);
        QList<int> styleCols;
        grid.OnGetSortStyle = [&](QObject*, int col, TSortStyle& style) {
            styleCols << col;
            grid.SortOptions().SortCompare = [](const QString& a, const QString& b) {
                return a.size() != b.size() ? int(a.size() - b.size()) : a.compare(b);
            };
            style = ssCustom;
        };
        grid.SortByColumn(3);
        QCOMPARE(grid.Column(3), (QStringList { "12,5", "12,5", "9,87", "1.05,12" }));
        QCOMPARE(grid.Column(1), (QStringList { "Berg", "Zoe", "Anna", "Carl" })); // equal keys keep their order
        QVERIFY(!grid.SortOptions().SortCompare);
        QCOMPARE(grid.SortOptions().SortStyle, ssCustom);
        QCOMPARE(styleCols, QList<int> { 3 });
    }

    void sort_currentAndSelectedRowsFollowTheirData()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetOptions(grid.Options() | goRowSelect);
        grid.SetRow(3); // Zoe
        QCOMPARE(grid.SelectedRows(), QStringList { "3" });
        grid.SortOptions().SecondaryIndex = QStringLiteral("0");
        grid.SortByColumn(3); // by time text, then by number (both as text)
        QCOMPARE(grid.Column(1), (QStringList { "Carl", "Zoe", "Berg", "Anna" }));
        QCOMPARE(grid.Cells(1, grid.Row()), QStringLiteral("Zoe"));
        QCOMPARE(grid.SelectedRows(), QStringList { QString::number(grid.Row()) });
        QCOMPARE(grid.Selection().Top, grid.Row());
        grid.SortOptions().SortDirection = sdDescending;
        grid.SortByColumn(1);
        QCOMPARE(grid.Cells(1, grid.Row()), QStringLiteral("Zoe"));
        QCOMPARE(grid.Row(), 1);
    }

    void exceptionsInsideSortOrClear_closeTheUpdateBracket()
    {
        Grid grid;
        grid.Fill(kEntries);
        gridtest::Show(grid);
        grid.SortOptions().UpdateOnSizeChange = true;
        grid.OnGetSortStyle = [](QObject*, int, TSortStyle&) { throw std::runtime_error("style"); };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, grid.SortByColumn(1));
        QVERIFY(!grid.NowUpdating());
        QVERIFY(grid.isEnabled());
        QVERIFY(grid.updatesEnabled());
        QVERIFY(grid.SortOptions().UpdateOnSizeChange);

        grid.OnGetSortStyle = [&](QObject*, int, TSortStyle& style) {
            style = ssCustom;
            grid.SortOptions().SortCompare
                = [](const QString&, const QString&) -> int { throw std::runtime_error("compare"); };
        };
        grid.OnEndUpdate = [](QObject*) { throw std::logic_error("end"); };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, grid.SortByColumn(1)); // the first error is the one reported
        QVERIFY(!grid.NowUpdating());
        QVERIFY(!grid.SortOptions().SortCompare);
        QVERIFY(grid.OnEndUpdate); // the owner's handler stays assigned
        grid.OnEndUpdate = nullptr;

        grid.OnRowSelected = [](QObject*) { throw std::runtime_error("selected"); };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, grid.Clear());
        QVERIFY(!grid.NowUpdating());
        QVERIFY(grid.isEnabled());
        QVERIFY(grid.SortOptions().UpdateOnSizeChange);
    }

    void findRow()
    {
        Grid grid;
        grid.Fill({ { "1", "Müller" }, { "2", "" }, { "3", "MÜLLER" }, { "4", "Berg" } });
        QCOMPARE(grid.FindRow(1, QStringLiteral("Berg")), 4);
        QCOMPARE(grid.FindRow(1, QStringLiteral("berg")), -1);
        QCOMPARE(grid.FindRow(1, QStringLiteral("BERG"), true), 4);
        QCOMPARE(grid.FindRow(1, QStringLiteral("müller"), true), 1);
        QCOMPARE(grid.FindRow(1, QStringLiteral("mÜller"), true), 3); // Ü is not folded
        QCOMPARE(grid.FindRow(1, QString()), 2);
        QCOMPARE(grid.FindRow(2, QString()), 1);
        // Rows parked beyond RowCount by the filter are found too.
        grid.SetCells(1, 5, QStringLiteral("Parked"));
        QCOMPARE(grid.FindRow(1, QStringLiteral("Parked")), -1);
        grid.ParkRows(1);
        QCOMPARE(grid.FindRow(1, QStringLiteral("Parked")), 5);
    }

    void deleteRow()
    {
        Grid grid;
        grid.Fill({ { "1", "Anna" } });
        QList<int> deleted;
        grid.OnRowDelete = [&](QObject*, int row) { deleted << row; };
        grid.DeleteRow(1); // the only data row is emptied, not removed
        QCOMPARE(grid.RowCount(), 2);
        QVERIFY(grid.IsEmptyRow(1));
        QVERIFY(grid.Modified());
        QCOMPARE(deleted, QList<int> { 1 });

        grid.Fill(kEntries);
        grid.DeleteRow(2);
        QCOMPARE(grid.Column(1), (QStringList { "Berg", "Zoe", "Carl" }));
        QCOMPARE(grid.RowFonts().size(), size_t(grid.RowCount()));
        // A deleted row does not come back when rows are added again.
        grid.SetRowCount(grid.RowCount() + 1);
        QVERIFY(grid.IsEmptyRow(grid.RowCount() - 1));
    }

    void deleteRow_keepsParkedRowsInPlace()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.ParkRows(2);
        grid.SetRowCount(3); // Zoe and Carl parked
        grid.DeleteRow(1);
        QCOMPARE(grid.RowCount(), 2);
        grid.SetRowCount(4);
        grid.ParkRows(0);
        QCOMPARE(grid.Column(1), (QStringList { "Anna", "Zoe", "Carl" }));
    }

    void insertRow_atTheLastAndAnEarlierRow()
    {
        Grid grid;
        grid.Fill(kEntries);
        QList<int> inserted;
        grid.OnRowInsert = [&](QObject*, int row) { inserted << row; };
        grid.InsertRow(4); // the last data row: the new row goes after it
        QCOMPARE(grid.RowCount(), 6);
        QCOMPARE(grid.Column(1), (QStringList { "Berg", "Anna", "Zoe", "Carl", "" }));
        QCOMPARE(grid.Row(), 5);
        grid.InsertRow(2); // an earlier row: the new row takes its place
        QCOMPARE(grid.Column(1), (QStringList { "Berg", "", "Anna", "Zoe", "Carl", "" }));
        QCOMPARE(grid.Row(), 2);
        QCOMPARE(grid.Selection().Top, 2);
        QCOMPARE(inserted, (QList<int> { 5, 2 }));
        QVERIFY(grid.Modified());
        QCOMPARE(grid.RowFonts().size(), size_t(grid.RowCount()));
    }

    void insertAndDeleteColumn()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetColWidths(1, 90);
        grid.InsertColumn(1);
        QCOMPARE(grid.ColCount(), 8);
        QCOMPARE(grid.Rows(0).mid(0, 3), (QStringList { "Nr.", "", "Name" }));
        QCOMPARE(grid.ColWidths(2), 90);
        QCOMPARE(grid.Col(), 1);
        grid.DeleteColumn(1);
        QCOMPARE(grid.Rows(0), kHeader);
        QCOMPARE(grid.ColWidths(1), 90);
        QCOMPARE(grid.ColFonts().size(), size_t(7));
    }

    void clear_leavesTheHeaderAndOneEmptyRow()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetModified(true);
        int modifiedEvents = 0, rowSelected = 0;
        grid.OnModified = [&](QObject*) { ++modifiedEvents; };
        grid.OnRowSelected = [&](QObject*) { ++rowSelected; };
        grid.Clear();
        QCOMPARE(grid.RowCount(), 2);
        QCOMPARE(grid.Rows(0), kHeader);
        QVERIFY(grid.IsEmptyRow(1));
        QVERIFY(!grid.Modified());
        QCOMPARE(modifiedEvents, 0);
        QVERIFY(rowSelected >= 1);
        QVERIFY(grid.SelectedRows().isEmpty());
        QCOMPARE(grid.SelectionOrder(), QStringList { "1" });
        QCOMPARE(grid.Row(), 1);
        QVERIFY(grid.ColFonts().empty());
        QVERIFY(grid.RowFonts().empty());
        QVERIFY(!grid.NowUpdating());
    }

    void sizeChanges_markModifiedAndReport()
    {
        Grid grid;
        grid.Fill(kEntries);
        int modifiedEvents = 0;
        QList<QPair<int, int>> sizes;
        grid.OnModified = [&](QObject*) { ++modifiedEvents; };
        grid.OnSizeChanged = [&](QObject*, int oldCols, int oldRows) { sizes << qMakePair(oldCols, oldRows); };
        grid.SetRowCount(7);
        QVERIFY(grid.Modified());
        QCOMPARE(modifiedEvents, 1);
        QCOMPARE(sizes, (QList<QPair<int, int>> { { 7, 5 } }));
        QCOMPARE(grid.RowFonts().size(), size_t(7));
        QCOMPARE(grid.Row(), 1);
        QVERIFY(dialogs::TakeShownMessages().isEmpty());

        grid.SetRowCount(1);
        const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("Rowsize too small"));
        QCOMPARE(grid.RowCount(), 1);
        QCOMPARE(sizes.size(), 2);

        // Inside a bulk update only the counts change.
        grid.SetModified(false);
        grid.BeginUpdate();
        grid.SetRowCount(4);
        grid.EndUpdate();
        QVERIFY(!grid.Modified());
        QCOMPARE(sizes.size(), 2);
    }

    void updateOnSizeChange_sortsAfterASizeChange()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SortOptions().SortCol = 1;
        grid.SortOptions().UpdateOnSizeChange = true;
        grid.SetRowCount(6);
        QCOMPARE(grid.Column(1), (QStringList { "", "Anna", "Berg", "Carl", "Zoe" }));
    }

    void resize_stretchesTheLastColumn()
    {
        TSortGrid grid;
        grid.SetColCount(4);
        grid.SetDefaultColWidth(40);
        grid.resize(400, 200);
        gridtest::Show(grid);
        QCOMPARE(grid.ColWidths(3), grid.ClientWidth() - 3 * 41 - 1);
        grid.resize(500, 200);
        QCOMPARE(grid.ColWidths(3), grid.ClientWidth() - 3 * 41 - 1);
        QCOMPARE(grid.horizontalScrollBar()->maximum(), 0);
        grid.SetColWidths(3, -1); // a hidden last column stays hidden
        grid.resize(450, 200);
        QCOMPARE(grid.ColWidths(3), -1);
    }

    void columnMove_keepsTheSortColumn()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SortOptions().SortCol = 3;
        grid.ColFonts()[3].Bold = true;
        grid.MoveColumn(3, 0);
        QCOMPARE(grid.SortOptions().SortCol, 0);
        QVERIFY(grid.ColFonts()[0].Bold);
        QVERIFY(grid.Modified());
        grid.MoveColumn(5, 0);
        QCOMPARE(grid.SortOptions().SortCol, 1);
    }

    void autoSizeColumn_fitsTheWidestText()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetCells(1, 2, QStringLiteral("Annabella Maier"));
        const QFontMetrics metrics(grid.font());
        grid.AutoSizeColumn(1, false);
        QCOMPARE(grid.ColWidths(1),
            metrics.horizontalAdvance(QStringLiteral("Annabella Maier"))
                + metrics.horizontalAdvance(QStringLiteral("X")));
        grid.SetColWidths(6, -1);
        grid.AutoSizeColumn(6, false);
        QCOMPARE(grid.ColWidths(6), -1); // hidden columns only with Force
        grid.SortOptions().SortCol = 6;
        grid.AutoSizeColumn(6, true);
        QCOMPARE(grid.ColWidths(6),
            metrics.horizontalAdvance(QStringLiteral("*")) + 12 + metrics.horizontalAdvance(QStringLiteral("X")));
    }

    void headerDoubleClickAtTheRightEdge_autoSizes()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetColWidths(1, 150);
        gridtest::Show(grid);
        QTest::mouseDClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
            headerPoint(grid, 1, grid.CellRect(1, 0).width() - 2));
        QVERIFY(grid.ColWidths(1) < 150);
    }

    void checkBoxCells()
    {
        Grid grid;
        grid.Fill({ { "1", "1" }, { "2", "true" }, { "3", "V" }, { "4", "x" } });
        grid.OnGetCellFormat = [](QObject*, int col, int row, TGridDrawState, TFormatOptions&, bool& checkBox, bool&,
                                   bool&) { checkBox = col == 1 && row > 0; };
        QVERIFY(grid.IsChecked(1, 1));
        QVERIFY(grid.IsChecked(1, 2));
        QVERIFY(grid.IsChecked(1, 3));
        QVERIFY(!grid.IsChecked(1, 4));
        QVERIFY(!grid.IsChecked(0, 1)); // not a check-box cell
        QList<bool> states;
        grid.OnSetChecked = [&](QObject*, int, int, bool state) { states << state; };
        grid.SetChecked(1, 1, false);
        QCOMPARE(grid.Cells(1, 1), QString());
        grid.SetChecked(1, 4, true);
        QCOMPARE(grid.Cells(1, 4), QStringLiteral("V"));
        grid.SetChecked(0, 1, true); // ignored
        QCOMPARE(grid.Cells(0, 1), QStringLiteral("1"));
        QCOMPARE(states, (QList<bool> { false, true }));
    }

    void editing_setsModified_ownerWritesDoNot()
    {
        Grid grid;
        grid.Fill(kEntries);
        gridtest::Show(grid);
        int modifiedEvents = 0;
        grid.OnModified = [&](QObject*) { ++modifiedEvents; };
        grid.SetCells(1, 1, QStringLiteral("Owner"));
        QVERIFY(!grid.Modified());
        // As the main window does: editing only in the name column.
        grid.OnSelectCell = [&](QObject*, int col, int, bool&) {
            grid.SetOptions(col == 1 ? (grid.Options() | goEditing) & ~TGridOptions(goRowSelect)
                                     : (grid.Options() & ~TGridOptions(goEditing)) | goRowSelect);
        };
        clickCell(grid, 1, 2);
        QVERIFY(grid.EditorMode());
        grid.InplaceEditor()->setText(QStringLiteral("Annika"));
        clickCell(grid, 3, 3); // leaving the cell commits
        QVERIFY(!grid.EditorMode());
        QCOMPARE(grid.Cells(1, 2), QStringLiteral("Annika"));
        QVERIFY(grid.Modified());
        QCOMPARE(modifiedEvents, 1);
        QCOMPARE(grid.Selection(), (TGridRect { 0, 3, 6, 3 }));
    }

    void formatQuery_reportsFocusAndSelection_neverFixed()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetOptions(grid.Options() | goRowSelect);
        gridtest::Show(grid);
        grid.setFocus();
        grid.SetRow(2);
        QList<TGridDrawState> headerStates;
        QList<TGridDrawState> rowStates;
        grid.OnGetCellFormat
            = [&](QObject*, int col, int row, TGridDrawState state, TFormatOptions& format, bool&, bool&, bool&) {
                  QCOMPARE(format.AlignmentHorz, taRightJustify);
                  if (row == 0)
                      headerStates << state;
                  if (row == 2 && col == grid.Col())
                      rowStates << state;
              };
        grid.SetAlignmentHorz(taRightJustify);
        grid.repaint();
        QVERIFY(!headerStates.isEmpty());
        for (TGridDrawState s : headerStates)
            QVERIFY(!(s & gdFixed));
        QVERIFY(!rowStates.isEmpty());
        QVERIFY(rowStates.last() & gdSelected);
        QVERIFY(rowStates.last() & gdFocused);
    }

    void popupMenu_onDataRowsOnly()
    {
        Grid grid;
        grid.Fill(kEntries);
        gridtest::Show(grid);
        QMenu menu;
        menu.addAction(QStringLiteral("Zeile entfernen"));
        int opened = 0;
        connect(&menu, &QMenu::aboutToShow, [&] { ++opened; });
        grid.SetPopupMenu(&menu);
        clickCell(grid, 1, 2, Qt::RightButton);
        QCOMPARE(opened, 1);
        menu.hide();
        clickHeader(grid, 1, Qt::RightButton);
        QCOMPARE(opened, 1);
    }

    void gotoCell_clampsAndScrolls()
    {
        Grid grid;
        QList<QStringList> rows;
        for (int i = 0; i < 60; ++i)
            rows << QStringList { QString::number(i + 1) };
        grid.Fill(rows);
        gridtest::Show(grid);
        grid.GotoCell(99, 999, true);
        QCOMPARE(grid.Col(), 6);
        QCOMPARE(grid.Row(), 60);
        QCOMPARE(grid.Selection().Top, 60);
        QVERIFY(grid.TopRow() + grid.VisibleRowCount() > 60);
        grid.GotoCell(0, 10, true);
        QCOMPARE(grid.TopRow(), 9);
        grid.OnSelectCell = [](QObject*, int, int, bool& canSelect) { canSelect = false; };
        grid.GotoCell(0, 30, true);
        QCOMPARE(grid.Row(), 10);
    }

    void properties()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetRow(3);
        grid.SetHideRows(true);
        QCOMPARE(grid.Row(), 1);
        grid.SetMultiSelect(true);
        QVERIFY(grid.Options() & goRowSelect);
        QVERIFY(!grid.Modified());
        grid.SetUserSettings({ "a" });
        QVERIFY(grid.Modified());
        QVERIFY(grid.IsRowSelected(1));
        grid.ClearSelection();
        QVERIFY(!grid.IsRowSelected(1));
        QCOMPARE(grid.SelectionOrder(), QStringList { QString() });
    }

    void proportionalScrollBars_setThePageSize()
    {
        Grid grid;
        QList<QStringList> rows;
        for (int i = 0; i < 200; ++i)
            rows << QStringList { QString::number(i) };
        grid.Fill(rows);
        gridtest::Show(grid);
        grid.SetProportionalScrollBars(true);
        QScrollBar* bar = grid.verticalScrollBar();
        const int expected = std::max(1,
            int(std::lround((grid.VisibleRowCount() + 1.0) / grid.RowCount() * (bar->maximum() - bar->minimum() + 1))));
        QCOMPARE(bar->pageStep(), expected);
    }

    void saveToFile_emptyTable()
    {
        QTemporaryDir dir;
        Grid grid;
        grid.Fill(kEntries);
        grid.Clear();
        const QString name = dir.filePath(QStringLiteral("rennzeit.txt"));
        QVERIFY(grid.SaveToFile(name));
        QCOMPARE(ReadFileBytes(name),
            QByteArray("GenerelSettings,0\r\nFontColSettings\r\nFontRowSettings\r\n"
                       "UserSettings\r\n"
                       "UserSettings,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1\r\n"
                       "Nr.,Name,Start,Zeit,Split,Platz,*\r\n,,,,,,\r\n"));
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
    }

    void saveToFileAndCsv_withFontsAndRows()
    {
        QTemporaryDir dir;
        Grid grid;
        grid.Fill({ { "3", "Berg", "", "", "", "-", "" }, { "4", "Anna Maier", "", "1.05,12", "", "1", "65120" } });
        const QString csv = dir.filePath(QStringLiteral("p.csv"));
        QVERIFY(grid.SaveToCsv(csv));
        QCOMPARE(ReadFileBytes(csv),
            QByteArray("Nr.;Name;Start;Zeit;Split;Platz;*\r\n3;Berg;;;;-;\r\n"
                       "4;Anna Maier;;\"1.05,12\";;1;65120\r\n")); // a comma is quoted for comma readers
        const QString backup = dir.filePath(QStringLiteral("b.txt"));
        QVERIFY(grid.SaveToFile(backup));
        const QList<QByteArray> lines = ReadFileBytes(backup).split('\n');
        QCOMPARE(lines.size(), 9); // 5 settings + 3 rows + the empty tail after the last CR LF
        QCOMPARE(lines[1].count("\"clBlack,0,0,0,clBlack\""), 7);
        QCOMPARE(lines[2].count("\"clBlack,0,0,0,clBlack\""), 3);
        QCOMPARE(lines[7], QByteArray("4,\"Anna Maier\",,\"1.05,12\",,1,65120\r"));
    }

    void saveFailures_reportAndLeaveTheGridAlone()
    {
        QTemporaryDir dir;
        Grid grid;
        grid.Fill(kEntries);
        const QString name = dir.filePath(QStringLiteral("missing/rennzeit.txt"));
        QVERIFY(!grid.SaveToFile(name));
        QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, dialogs::Icon::Critical);
        // The system's reason follows the name on a line of its own.
        QVERIFY2(shown[0].text.startsWith(QStringLiteral("Can't write to file:\r") + name + QLatin1Char('\r')),
            qPrintable(shown[0].text));
        QVERIFY(
            shown[0].text.size() > QString(QStringLiteral("Can't write to file:\r") + name + QLatin1Char('\r')).size());
        QVERIFY(!grid.SaveToCsv(dir.path()));
        shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].text.startsWith(QStringLiteral("Can't write to file:\r") + dir.path() + QLatin1Char('\r')));
        QCOMPARE(grid.Column(1), (QStringList { "Berg", "Anna", "Zoe", "Carl" }));
        QVERIFY(!grid.Modified());
        QVERIFY(!QFile::exists(name));
    }
};

QTEST_MAIN(TestSortGrid)
#include "tst_sortgrid.moc"
