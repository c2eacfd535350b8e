// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Check-box, drop-down and ellipsis cells of the sort grid, driven by real
// key and mouse events.

#include "GridFixture.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"

#include <QListWidget>
#include <QTest>
#include <QVBoxLayout>

namespace {

const QStringList kHeader { "Nr.", "Check", "Combo", "Dots", "Text" };

// Column 1 holds check boxes, column 2 drop-downs, column 3 ellipsis buttons.
class Grid : public TSortGrid {
public:
    explicit Grid(QWidget* parent = nullptr)
        : TSortGrid(parent)
    {
        SetColCount(5);
        SetRows(0, kHeader);
        SetDefaultRowHeight(20);
        SetDefaultColWidth(80);
        SetRowCount(5);
        SetRows(1, { "1", "1", "Rot", "", "a" });
        SetRows(2, { "2", "true", "Gelb", "", "b" });
        SetRows(3, { "3", "", "Lila", "", "c" });
        SetRows(4, { "4", "x", "", "", "d" });
        SetModified(false);
        resize(500, 250);
        OnGetCellFormat = [](QObject*, int col, int row, TGridDrawState, TFormatOptions&, bool& checkBox,
                              bool& combobox, bool& ellipsis) {
            checkBox = row > 0 && col == 1;
            combobox = row > 0 && col == 2;
            ellipsis = row > 0 && col == 3;
        };
        OnGetComboBox = [this](QObject*, int, int, QStringList& strs, int& width, int& height, bool& sorted) {
            strs = comboItems;
            width = comboWidth;
            height = comboHeight;
            sorted = comboSorted;
        };
    }
    QListWidget* DropDown() const { return m_dropDown; }

    QStringList comboItems { "Rot", "Gelb", "Blau", "Gruen" };
    int comboWidth = 0;
    int comboHeight = 0;
    bool comboSorted = true;
};

using gridtest::CellPoint;
using gridtest::ClickCell;

QStringList items(const QListWidget& list)
{
    QStringList out;
    for (int i = 0; i < list.count(); ++i)
        out << list.item(i)->text();
    return out;
}

} // namespace

class TestGridCells : public QObject {
    Q_OBJECT

private slots:
    void init() { dialogs::SetTestMode(true); }

    void checkBox_spaceAndClicksToggleBetweenVAndEmpty()
    {
        Grid grid;
        gridtest::Show(grid);
        QList<QPair<int, bool>> set;
        grid.OnSetChecked = [&](QObject*, int, int row, bool state) { set << qMakePair(row, state); };
        grid.setFocus();
        grid.SetCol(1);
        grid.SetRow(1);
        QTest::keyClick(&grid, Qt::Key_Space); // "1" counts as checked
        QCOMPARE(grid.Cells(1, 1), QString());
        QTest::keyClick(&grid, Qt::Key_Space);
        QCOMPARE(grid.Cells(1, 1), QStringLiteral("V"));
        ClickCell(grid, 1, 2); // "true" counts as checked
        QCOMPARE(grid.Cells(1, 2), QString());
        ClickCell(grid, 1, 4, Qt::RightButton); // any button; "x" is unchecked
        QCOMPARE(grid.Cells(1, 4), QStringLiteral("V"));
        QCOMPARE(set, (QList<QPair<int, bool>> { { 1, false }, { 1, true }, { 2, false }, { 4, true } }));
        QVERIFY(!grid.Modified());

        // Pressed on one cell and released on another: no toggle.
        QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, CellPoint(grid, 1, 3));
        QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, CellPoint(grid, 1, 4));
        QCOMPARE(grid.Cells(1, 3), QString());
        QCOMPARE(grid.Cells(1, 4), QStringLiteral("V"));
        // Space on an ordinary cell changes nothing.
        grid.SetCol(4);
        grid.SetRow(4);
        QTest::keyClick(&grid, Qt::Key_Space);
        QCOMPARE(grid.Cells(4, 4), QStringLiteral("d"));
    }

    void dropDown_opensOnClick_withTheCellTextChosen_andEnterAccepts()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(30, 120, 10, 10);
        auto* grid = new Grid;
        layout->addWidget(grid);
        window.resize(560, 420);
        gridtest::Show(window);
        QList<QPair<int, QString>> chosen;
        grid->OnSetComboBox = [&](QObject* sender, int col, int row, const QString& str) {
            QCOMPARE(sender, grid);
            QCOMPARE(col, 2);
            chosen << qMakePair(row, str);
        };
        ClickCell(*grid, 2, 2);
        QListWidget* list = grid->DropDown();
        QVERIFY(list->isVisible());
        QCOMPARE(list->parentWidget(), &window);
        QTRY_VERIFY(list->hasFocus());
        QCOMPARE(items(*list), (QStringList { "Blau", "Gelb", "Gruen", "Rot" }));
        QCOMPARE(list->currentItem()->text(), QStringLiteral("Gelb"));
        QCOMPARE(list->font(), grid->font());
        // Placed by the cell: 2 pixels in, one wider than the column, four
        // items high, hanging from 59 pixels below the cell's top.
        const QRect cell(grid->mapTo(&window, grid->CellRect(2, 2).topLeft()), grid->CellRect(2, 2).size());
        const int height = 4 * list->sizeHintForRow(0) + 5;
        QCOMPARE(list->geometry(), QRect(cell.left() + 2, cell.top() - height + 59, 81, height));

        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(!list->isVisible());
        QCOMPARE(grid->Cells(2, 2), QStringLiteral("Gruen"));
        QCOMPARE(chosen, (QList<QPair<int, QString>> { { 2, "Gruen" } }));
        QTRY_VERIFY(grid->hasFocus());
        QVERIFY(!grid->Modified());

        // Space on the current cell opens it too; a text that is no item
        // starts at the first item; Space in the list accepts.
        grid->SetRow(4);
        QTest::keyClick(grid, Qt::Key_Space);
        QVERIFY(list->isVisible());
        QCOMPARE(list->currentRow(), 0);
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(!list->isVisible());
        QCOMPARE(grid->Cells(2, 4), QStringLiteral("Blau"));
    }

    void dropDown_sizeAndOrderAsTheOwnerAsks_mouseAndFocusAccept_escapeCancels()
    {
        Grid grid;
        grid.comboItems.clear();
        for (int i = 12; i > 0; --i)
            grid.comboItems << QStringLiteral("Item %1").arg(i, 2, 10, QLatin1Char('0'));
        grid.comboSorted = false;
        gridtest::Show(grid);
        ClickCell(grid, 2, 1);
        QListWidget* list = grid.DropDown();
        QVERIFY(list->isVisible());
        QCOMPARE(list->item(0)->text(), QStringLiteral("Item 12")); // as given
        QCOMPARE(list->height(), 10 * list->sizeHintForRow(0) + 5); // ten items at most
        QCOMPARE(list->width(), 81);

        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!list->isVisible());
        QCOMPARE(grid.Cells(2, 1), QStringLiteral("Rot"));

        grid.comboWidth = 150;
        grid.comboHeight = 90;
        grid.comboSorted = true;
        ClickCell(grid, 2, 3);
        QCOMPARE(list->size(), QSize(150, 90));
        QCOMPARE(list->item(0)->text(), QStringLiteral("Item 01"));
        const QRect item = list->visualItemRect(list->item(2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
        QVERIFY(!list->isVisible());
        QCOMPARE(grid.Cells(2, 3), QStringLiteral("Item 03"));

        // A press on the grid while the list shows takes the list's choice
        // (the list loses the focus) and hides it.
        ClickCell(grid, 2, 1);
        QVERIFY(list->isVisible());
        QTest::keyClick(list, Qt::Key_End);
        ClickCell(grid, 4, 4);
        QVERIFY(!list->isVisible());
        QCOMPARE(grid.Cells(2, 1), QStringLiteral("Item 12"));
    }

    void dropDown_withoutItemsOpensNothing()
    {
        Grid grid;
        gridtest::Show(grid);
        grid.comboItems.clear();
        ClickCell(grid, 2, 1);
        QVERIFY(!grid.DropDown()->isVisible());
        QVERIFY(!grid.ShowDropDown(2, 1));
        grid.OnGetComboBox = nullptr;
        grid.comboItems << "A";
        QVERIFY(!grid.ShowDropDown(2, 1));
        QVERIFY(!grid.DropDown()->isVisible());
        QCOMPARE(grid.Cells(2, 1), QStringLiteral("Rot"));
    }

    void ellipsis_onlyTheButtonPartAndSpaceFire()
    {
        Grid grid;
        gridtest::Show(grid);
        QList<QPair<int, int>> fired;
        grid.OnSetEllipsis = [&](QObject*, int col, int row) { fired << qMakePair(col, row); };
        ClickCell(grid, 3, 2, Qt::LeftButton, 20); // left of the button
        QVERIFY(fired.isEmpty());
        ClickCell(grid, 3, 2, Qt::LeftButton, grid.ColWidths(3) - 16);
        ClickCell(grid, 3, 3, Qt::LeftButton, grid.ColWidths(3) - 1);
        QCOMPARE(fired, (QList<QPair<int, int>> { { 3, 2 }, { 3, 3 } }));
        grid.setFocus();
        QTest::keyClick(&grid, Qt::Key_Space);
        QCOMPARE(fired.size(), 3);
        QCOMPARE(fired.last(), qMakePair(3, 3));
        grid.OnSetEllipsis = nullptr; // unassigned: nothing happens
        ClickCell(grid, 3, 3, Qt::LeftButton, grid.ColWidths(3) - 2);
        QCOMPARE(grid.Cells(3, 3), QString());
    }

    void editor_neverMovesOntoCheckBoxOrDropDownCells()
    {
        Grid grid;
        grid.SetOptions(grid.Options() | goEditing);
        grid.OnGetCellFormat
            = [](QObject*, int col, int row, TGridDrawState, TFormatOptions&, bool& checkBox, bool& combobox, bool&) {
                  checkBox = row == 2 && col == 0;
                  combobox = row > 0 && col == 2;
              };
        gridtest::Show(grid);
        ClickCell(grid, 0, 1);
        QVERIFY(grid.EditorMode());
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Down); // onto a check box: refused
        QCOMPARE(grid.Row(), 1);
        QVERIFY(grid.EditorMode());
        QCOMPARE(grid.Cells(0, 2), QStringLiteral("2"));

        // Tab onto a drop-down cell opens its list and goes on to the cell after it.
        grid.SetCol(1);
        grid.ShowEditor();
        QVERIFY(grid.EditorMode());
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Tab);
        QVERIFY(grid.DropDown()->isVisible());
        QCOMPARE(grid.Col(), 3);
        QTest::keyClick(grid.DropDown(), Qt::Key_Escape);

        // Nor does an editor open on such a cell, by click or by typing; the
        // click toggles it.
        ClickCell(grid, 0, 2);
        QVERIFY(!grid.EditorMode());
        QCOMPARE(grid.Row(), 2);
        QCOMPARE(grid.Cells(0, 2), QStringLiteral("V"));
        QTest::keyClick(&grid, 'x');
        QVERIFY(!grid.EditorMode());
        QCOMPARE(grid.Cells(0, 2), QStringLiteral("V"));
    }
};

QTEST_MAIN(TestGridCells)
#include "tst_gridinteraction_cells.moc"
