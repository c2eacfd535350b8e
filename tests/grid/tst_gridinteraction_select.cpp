// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Multi-row selection and dragging of selected rows on the sort grid, driven
// by real key and mouse events.

#include "GridFixture.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"

#include <QTest>

namespace {

class Grid : public TSortGrid {
public:
    Grid()
    {
        SetColCount(4);
        SetDefaultRowHeight(20);
        SetDefaultColWidth(80);
        SetRowCount(8);
        for (int r = 1; r < RowCount(); ++r)
            SetRows(r, { QString::number(r), QStringLiteral("Name %1").arg(r) });
        SetModified(false);
        resize(400, 250);
        OnRowSelected = [this](QObject*) { ++rowSelectedEvents; };
    }
    QStringList drags;
    bool draggingSeen = false;
    int rowSelectedEvents = 0;

protected:
    void StartDrag() override
    {
        draggingSeen = m_dragging;
        drags << SelectedRows().join(QLatin1Char(','));
    }
};

QPoint at(TSortGrid& grid, int col, int row)
{
    return gridtest::CellPoint(grid, col, row);
}

void click(TSortGrid& grid, int row, Qt::KeyboardModifiers mods = {})
{
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, mods, at(grid, 1, row));
}

QStringList rows(std::initializer_list<int> list)
{
    QStringList out;
    for (int r : list)
        out << QString::number(r);
    return out;
}

} // namespace

class TestGridSelect : public QObject {
    Q_OBJECT

private slots:
    void init() { dialogs::SetTestMode(true); }

    void ctrlClicks_addAndRemoveRows()
    {
        Grid grid;
        grid.SetMultiSelect(true);
        gridtest::Show(grid);
        click(grid, 2);
        QCOMPARE(grid.SelectedRows(), rows({ 2 }));
        const int events = grid.rowSelectedEvents;
        click(grid, 4, Qt::ControlModifier);
        click(grid, 5, Qt::ControlModifier);
        QCOMPARE(grid.SelectedRows(), rows({ 2, 4, 5 }));
        QCOMPARE(grid.SelectionOrder(), rows({ 2, 4, 5 }));
        QCOMPARE(grid.Row(), 5);
        QCOMPARE(grid.rowSelectedEvents, events + 2);

        click(grid, 2, Qt::ControlModifier); // removed; the last one added is current
        QCOMPARE(grid.SelectedRows(), rows({ 4, 5 }));
        QCOMPARE(grid.Row(), 5);
        click(grid, 5, Qt::ControlModifier);
        QCOMPARE(grid.SelectedRows(), rows({ 4 }));
        QCOMPARE(grid.Row(), 4);
        click(grid, 4, Qt::ControlModifier); // the only selected row stays
        QCOMPARE(grid.SelectedRows(), rows({ 4 }));
        QVERIFY(grid.IsRowSelected(4));
        QVERIFY(!grid.IsRowSelected(5));

        click(grid, 6, Qt::ControlModifier);
        click(grid, 1); // a plain click selects just its row
        QCOMPARE(grid.SelectedRows(), rows({ 1 }));
        QCOMPARE(grid.SelectionOrder(), rows({ 1 }));
        QCOMPARE(grid.Row(), 1);
    }

    void shiftClick_selectsTheRangeFromTheAnchor()
    {
        Grid grid;
        grid.SetMultiSelect(true);
        gridtest::Show(grid);
        click(grid, 2);
        QTest::keyPress(&grid, Qt::Key_Shift);
        QVERIFY(grid.SelectedRows().isEmpty()); // pressing Shift starts a new range
        QVERIFY(grid.Options() & goRangeSelect);
        click(grid, 5, Qt::ShiftModifier);
        QTest::keyRelease(&grid, Qt::Key_Shift);
        QCOMPARE(grid.SelectedRows(), rows({ 2, 3, 4, 5 }));
        QCOMPARE(grid.SelectionOrder().front(), QStringLiteral("2"));
        click(grid, 3, Qt::ControlModifier);
        QCOMPARE(grid.SelectedRows(), rows({ 2, 4, 5 }));
        // A plain press on a row outside the selection ends the range.
        click(grid, 7);
        QVERIFY(!(grid.Options() & goRangeSelect));
        QCOMPARE(grid.SelectedRows(), rows({ 7 }));
    }

    void shiftArrows_growTheSelection_plainArrowsReset()
    {
        Grid grid;
        grid.SetMultiSelect(true);
        gridtest::Show(grid);
        click(grid, 2);
        // Shift held down over two arrow presses.
        QTest::keyPress(&grid, Qt::Key_Shift);
        for (int i = 0; i < 2; ++i) {
            QTest::simulateEvent(&grid, true, Qt::Key_Down, Qt::ShiftModifier, QString(), false);
            QTest::simulateEvent(&grid, false, Qt::Key_Down, Qt::ShiftModifier, QString(), false);
        }
        QCOMPARE(grid.Selection().Top, 2);
        QCOMPARE(grid.Selection().Bottom, 4);
        QTest::keyRelease(&grid, Qt::Key_Shift);
        QCOMPARE(grid.SelectedRows(), rows({ 2, 3, 4 }));
        QCOMPARE(grid.SelectionOrder().front(), QStringLiteral("2"));

        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.Row(), 5);
        QCOMPARE(grid.SelectedRows(), rows({ 5 }));
        QVERIFY(!(grid.Options() & goRangeSelect));
        QTest::keyClick(&grid, Qt::Key_End);
        QCOMPARE(grid.SelectedRows(), rows({ 7 }));
    }

    void withoutMultiSelect_theSelectionIsTheCurrentRow()
    {
        Grid grid;
        grid.SetOptions(grid.Options() | goRowSelect);
        gridtest::Show(grid);
        click(grid, 2);
        click(grid, 4, Qt::ControlModifier);
        QCOMPARE(grid.SelectedRows(), rows({ 4 }));
        QTest::keyClick(&grid, Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(grid.SelectedRows(), rows({ 3 }));
    }

    void pressOnASelectedRow_dragsAfterMoreThanTenPixels()
    {
        Grid grid;
        grid.SetMultiSelect(true);
        gridtest::Show(grid);
        click(grid, 2);
        click(grid, 3, Qt::ControlModifier);
        const QPoint start = at(grid, 1, 2);
        QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, start);
        QTest::mouseMove(grid.viewport(), start + QPoint(10, 0));
        QTest::mouseMove(grid.viewport(), start + QPoint(-10, 10));
        QVERIFY(grid.drags.isEmpty());
        QTest::mouseMove(grid.viewport(), start + QPoint(0, 11));
        QCOMPARE(grid.drags, QStringList { "2,3" });
        QVERIFY(grid.draggingSeen);
        QTest::mouseMove(grid.viewport(), start + QPoint(0, 30)); // one drag per press
        QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, start + QPoint(0, 30));
        QCOMPARE(grid.drags.size(), 1);

        // A press on a row that is not selected selects it instead.
        const QPoint other = at(grid, 1, 6);
        QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, other);
        QTest::mouseMove(grid.viewport(), other + QPoint(40, 0));
        QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, other + QPoint(40, 0));
        QCOMPARE(grid.drags.size(), 1);
        QCOMPARE(grid.SelectedRows(), rows({ 6 }));
    }

    void selectedRows_areDrawnHighlighted()
    {
        Grid grid;
        grid.SetMultiSelect(true);
        gridtest::Show(grid);
        click(grid, 2);
        click(grid, 5, Qt::ControlModifier);
        const QImage image = grid.grab().toImage();
        const auto colourAt = [&](int row) { return image.pixelColor(grid.CellRect(3, row).center()); };
        const QColor highlight = grid.palette().color(QPalette::Highlight);
        QCOMPARE(colourAt(2), highlight);
        QCOMPARE(colourAt(5), highlight);
        QVERIFY(colourAt(3) != highlight);
    }
};

QTEST_MAIN(TestGridSelect)
#include "tst_gridinteraction_select.moc"
