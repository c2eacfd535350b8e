// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The sort grid's context menu: where it opens and for which row.

#include "GridFixture.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"

#include <QHeaderView>
#include <QMenu>
#include <QTest>

#include <utility>

namespace {

class Grid : public gridtest::ProtocolGrid {
public:
    Grid()
    {
        SetRowCount(5);
        for (int r = 1; r < 5; ++r)
            SetRows(r, { QString::number(r), QStringLiteral("Name%1").arg(r) });
        SetPopupMenu(&menu);
        menu.addAction(QStringLiteral("Zeile entfernen"));
        QObject::connect(&menu, &QMenu::aboutToShow, &menu, [this] { rowWhenShown = Row(); });
    }
    // Where the menu was opened for, and closes it again.
    int takeMenuRow()
    {
        if (!menu.isVisible())
            return -1;
        menu.hide();
        return std::exchange(rowWhenShown, -1);
    }
    QPoint inViewport(QPoint p) const { return viewport()->mapFrom(this, p); }

    QMenu menu;
    int rowWhenShown = -1;
};

void rightClick(Grid& grid, QPoint at)
{
    QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, grid.inViewport(at));
}

} // namespace

class TestGridPopup : public QObject {
    Q_OBJECT
private slots:
    void init() { dialogs::SetTestMode(true); }

    void rightClick_selectsItsRowFirst_anywhereBelowTheHeader()
    {
        Grid grid;
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.SetRow(1);
        rightClick(grid, grid.CellRect(1, 3).center());
        QCOMPARE(grid.takeMenuRow(), 3);
        QCOMPARE(grid.Row(), 3);

        // Below the last row: the last row.
        rightClick(grid, QPoint(grid.CellRect(1, 4).center().x(), grid.CellRect(1, 4).bottom() + 40));
        QCOMPARE(grid.takeMenuRow(), 4);

        // On the header a right click sorts; no menu.
        const QPoint header = grid.horizontalHeader()->viewport()->mapFrom(&grid, grid.CellRect(1, 0).center());
        QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::RightButton, {}, header);
        QVERIFY(!grid.menu.isVisible());
        QCOMPARE(grid.SortOptions().SortDirection, sdDescending);
    }

    void menuKey_andShiftF10_openTheMenuForTheCurrentRow()
    {
        Grid grid;
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.SetRow(2);
        QTest::keyClick(&grid, Qt::Key_Menu);
        QCOMPARE(grid.takeMenuRow(), 2);
        grid.SetRow(4);
        QTest::keyClick(&grid, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(grid.takeMenuRow(), 4);
        QTest::keyClick(&grid, Qt::Key_F10); // F10 alone is no menu key
        QCOMPARE(grid.takeMenuRow(), -1);
        // With the current cell in a hidden column the menu opens on the row.
        grid.SetColWidths(6, -1);
        grid.SetSelection(TGridRect { 0, 3, 6, 3 });
        QTest::keyClick(&grid, Qt::Key_Menu);
        const QPoint at = grid.mapFromGlobal(grid.menu.pos());
        QCOMPARE(grid.takeMenuRow(), 3);
        QVERIFY(grid.CellRect(0, 3).contains(at));
    }
};

QTEST_MAIN(TestGridPopup)
#include "tst_gridpopup.moc"
