// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/MyGrids.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

// A string grid that records what the hooks see.
class RecordingGrid : public TMyStringGrid {
public:
    QList<QPair<int, int>> committed;
    QStringList oldTexts;
    int sizeChanges = 0;

protected:
    void EditorCommitted(int ACol, int ARow, const QString& OldText) override
    {
        committed << qMakePair(ACol, ARow);
        oldTexts << OldText;
    }
    void SizeChanged(int, int) override { ++sizeChanges; }
};

QPoint cellCenter(const TMyCustomGrid& grid, QWidget* target, int col, int row)
{
    return target->mapFrom(&grid, grid.CellRect(col, row).center());
}

void clickCell(TMyCustomGrid& grid, int col, int row, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseClick(grid.viewport(), button, {}, cellCenter(grid, grid.viewport(), col, row));
}

void fill(TMyStringGrid& grid)
{
    for (int r = 0; r < grid.RowCount(); ++r)
        for (int c = 0; c < grid.ColCount(); ++c)
            grid.SetCells(c, r, QStringLiteral("%1/%2").arg(c).arg(r));
}

} // namespace

class TestMyGrid : public QObject {
    Q_OBJECT

private slots:
    void defaults_headerRowAndColumnWidths()
    {
        TMyStringGrid grid;
        QCOMPARE(grid.ColCount(), 5);
        QCOMPARE(grid.RowCount(), 5);
        QCOMPARE(grid.FixedRows(), 1);
        QCOMPARE(grid.FixedCols(), 0);
        grid.SetCells(1, 0, QStringLiteral("Name"));
        QCOMPARE(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Name"));
        QCOMPARE(grid.model()->rowCount(), 4); // data rows only
        grid.SetColWidths(2, 46);
        QCOMPARE(grid.ColWidths(2), 46);
        QCOMPARE(grid.horizontalHeader()->sectionSize(2), 47); // plus the grid line
        grid.SetColWidths(2, -1);
        QVERIFY(grid.isColumnHidden(2));
        QCOMPARE(grid.ColWidths(2), -1);
        grid.SetColWidths(2, 30);
        QVERIFY(!grid.isColumnHidden(2));
        QCOMPARE(grid.horizontalHeader()->sectionSize(2), 31);
        grid.SetDefaultRowHeight(20);
        QCOMPARE(grid.horizontalHeader()->height(), 21);
        QCOMPARE(grid.verticalHeader()->defaultSectionSize(), 21);
    }

    void rowsBeyondALoweredRowCount_areGone()
    {
        TMyStringGrid grid;
        fill(grid);
        grid.SetRowCount(2);
        QCOMPARE(grid.model()->rowCount(), 1);
        grid.SetRowCount(5);
        QCOMPARE(grid.Cells(3, 4), QString());
        QCOMPARE(grid.Rows(3), QStringList(5));
        QCOMPARE(grid.Cells(3, 1), QStringLiteral("3/1"));
        grid.SetRows(3, { "a", "b" });
        QCOMPARE(grid.Rows(3), (QStringList { "a", "b", "", "", "" }));
    }

    void click_goesThroughOnSelectCell()
    {
        TMyStringGrid grid;
        fill(grid);
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QList<QPair<int, int>> asked;
        grid.OnSelectCell = [&](QObject* sender, int col, int row, bool& canSelect) {
            QCOMPARE(sender, &grid);
            asked << qMakePair(col, row);
            canSelect = col != 2;
        };
        clickCell(grid, 2, 3);
        QCOMPARE(asked.last(), qMakePair(2, 3));
        QCOMPARE(grid.Row(), 1);
        QCOMPARE(grid.Col(), 0);
        clickCell(grid, 1, 3);
        QCOMPARE(grid.Row(), 3);
        QCOMPARE(grid.Col(), 1);
        QCOMPARE(grid.Selection(), (TGridRect { 1, 3, 1, 3 }));
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.Row(), 4);
        QTest::keyClick(&grid, Qt::Key_Right); // into the refused column
        QCOMPARE(grid.Col(), 1);
        QCOMPARE(asked.last(), qMakePair(2, 4));
    }

    void rowSelect_andSetSelection()
    {
        TMyStringGrid grid;
        grid.SetOptions(grid.Options() | goRowSelect);
        grid.SetRow(2);
        QCOMPARE(grid.Selection(), (TGridRect { 0, 2, 4, 2 }));
        grid.SetSelection(TGridRect { 0, 3, 4, 3 });
        QCOMPARE(grid.Row(), 3);
        QCOMPARE(grid.Col(), 4); // the current cell is the bottom right
        grid.SetOptions(grid.Options() & ~TGridOptions(goRowSelect));
        grid.SetSelection(TGridRect { 1, 1, 2, 3 });
        QCOMPARE(grid.Selection(), (TGridRect { 1, 1, 2, 3 }));
    }

    void rangeSelect_withShiftClick()
    {
        TMyStringGrid grid;
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        clickCell(grid, 1, 1);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ShiftModifier, cellCenter(grid, grid.viewport(), 3, 3));
        QCOMPARE(grid.Selection(), (TGridRect { 1, 1, 3, 3 }));
    }

    void editing_commitsIntoTheCell()
    {
        RecordingGrid grid;
        fill(grid);
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        clickCell(grid, 1, 2);
        QVERIFY(!grid.EditorMode()); // editing is off
        grid.SetOptions(grid.Options() | goEditing);
        clickCell(grid, 1, 2);
        QVERIFY(grid.EditorMode());
        QVERIFY(grid.InplaceEditor());
        grid.InplaceEditor()->setText(QStringLiteral("Neu"));
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
        QTRY_VERIFY(!grid.EditorMode()); // the delegate commits on the next event loop turn
        QCOMPARE(grid.Cells(1, 2), QStringLiteral("Neu"));
        QCOMPARE(grid.committed, (QList<QPair<int, int>> { { 1, 2 } }));
        QCOMPARE(grid.oldTexts, QStringList { "1/2" });

        // Typing on a cell opens the editor with the typed text.
        grid.setFocus();
        QTest::keyClick(&grid, 'X', Qt::ShiftModifier);
        QVERIFY(grid.EditorMode());
        QTest::keyClick(grid.InplaceEditor(), 'y'); // the editor has the focus now
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
        QTRY_COMPARE(grid.Cells(1, 2), QStringLiteral("Xy"));

        // Owner writes do not count as edits.
        grid.SetCells(1, 3, QStringLiteral("owner"));
        QCOMPARE(grid.committed.size(), 2);
    }

    void switchingEditingOff_commitsAndClosesTheEditor()
    {
        RecordingGrid grid;
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.SetOptions(grid.Options() | goEditing);
        clickCell(grid, 0, 1);
        QVERIFY(grid.EditorMode());
        grid.InplaceEditor()->setText(QStringLiteral("7"));
        grid.SetOptions(grid.Options() & ~TGridOptions(goEditing));
        QVERIFY(!grid.EditorMode());
        QCOMPARE(grid.Cells(0, 1), QStringLiteral("7"));
        clickCell(grid, 0, 1);
        QVERIFY(!grid.EditorMode());
        grid.SetOptions(grid.Options() | goEditing | goRowSelect); // row select keeps the editor away
        clickCell(grid, 0, 2);
        QVERIFY(!grid.EditorMode());
    }

    void updateBracket_freezesAndEmitsNoCellSignals()
    {
        RecordingGrid grid;
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
        int begins = 0;
        grid.OnBeginUpdate = [&](QObject*) { ++begins; };
        QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);
        QSignalSpy resets(grid.model(), &QAbstractItemModel::modelReset);
        grid.BeginUpdate();
        QVERIFY(grid.NowUpdating());
        QVERIFY(!grid.isEnabled());
        QVERIFY(!grid.updatesEnabled());
        QCOMPARE(begins, 1);
        for (int r = 1; r < 1000; ++r)
            grid.SetCells(0, r, QString::number(r));
        grid.SetRowCount(1000);
        QCOMPARE(changed.count(), 0);
        grid.EndUpdate();
        QVERIFY(!grid.NowUpdating());
        QVERIFY(grid.isEnabled());
        QVERIFY(grid.updatesEnabled());
        QVERIFY(grid.hasFocus());
        QCOMPARE(resets.count(), 1);
        QCOMPARE(grid.model()->rowCount(), 999);
        QCOMPARE(grid.model()->data(grid.model()->index(998, 0)).toString(), QStringLiteral("999"));
        QCOMPARE(grid.sizeChanges, 1);
    }

    void columnMove_movesDataAndWidth()
    {
        TMyStringGrid grid;
        fill(grid);
        grid.SetOptions(grid.Options() | goColMoving);
        grid.SetColWidths(0, 30);
        grid.MoveColumn(0, 2);
        QCOMPARE(grid.Rows(1), (QStringList { "1/1", "2/1", "0/1", "3/1", "4/1" }));
        QCOMPARE(grid.ColWidths(2), 30);
        // A section dragged in the header moves the data; the header keeps
        // its natural order.
        grid.horizontalHeader()->moveSection(2, 0);
        QCoreApplication::processEvents();
        QCOMPARE(grid.Rows(1), (QStringList { "0/1", "1/1", "2/1", "3/1", "4/1" }));
        QCOMPARE(grid.horizontalHeader()->visualIndex(0), 0);
        QCOMPARE(grid.ColWidths(0), 30);
        grid.MoveRow(1, 3);
        QCOMPARE(grid.Cells(0, 3), QStringLiteral("0/1"));
    }

    void userColumnSizing_updatesColWidths()
    {
        TMyStringGrid grid;
        grid.SetOptions(grid.Options() | goColSizing);
        QCOMPARE(grid.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        grid.horizontalHeader()->resizeSection(1, 81);
        QCOMPARE(grid.ColWidths(1), 80);
    }

    void scrolling_topRowAndVisibleCounts()
    {
        TMyStringGrid grid;
        grid.SetDefaultRowHeight(20);
        grid.SetRowCount(100);
        grid.SetColCount(3);
        grid.resize(400, 21 * 10 + 2 + 21); // header + ten rows + frame
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QCOMPARE(grid.TopRow(), 1);
        const int fit = grid.viewport()->height() / 21;
        QCOMPARE(grid.VisibleRowCount(), fit);
        grid.SetTopRow(40);
        QCOMPARE(grid.TopRow(), 40);
        QCOMPARE(grid.VisibleColCount(), 3);
        QCOMPARE(grid.LeftCol(), 0);
        grid.SetRow(99);
        QVERIFY(grid.TopRow() + grid.VisibleRowCount() > 99);
    }
};

QTEST_MAIN(TestMyGrid)
#include "tst_mygrid.moc"
