// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Keys, wheel and validation of in-place edits on the sort grid, driven by
// real key and mouse events.

#include "GridFixture.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

using gridtest::kHeader;
using Grid = gridtest::ProtocolGrid;

const QList<QStringList> kEntries { { "3", "Berg", "", "12,5" }, { "1", "anna", "", "9,87" },
    { "10", "Zoe", "", "12,5" }, { "2", "bert", "", "1.05,12" } };

void clickCell(TSortGrid& grid, int col, int row)
{
    gridtest::ClickCell(grid, col, row);
}

void editTo(TSortGrid& grid, const QString& text)
{
    QVERIFY(grid.EditorMode());
    QTest::keyClick(grid.InplaceEditor(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(grid.InplaceEditor(), text);
}

void wheel(TSortGrid& grid, int delta)
{
    const QPointF pos = grid.viewport()->rect().center();
    QWheelEvent event(pos, grid.viewport()->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid.viewport(), &event);
}

struct Validation {
    int col = -1;
    int row = -1;
    QString oldValue;
    QString newValue;
};

} // namespace

class TestGridInteraction : public QObject {
    Q_OBJECT

private slots:
    void init() { dialogs::SetTestMode(true); }

    void typeAhead_searchesTheSortColumnAfterTheCurrentRowAndWraps()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetOptions(grid.Options() | goRowSelect);
        grid.SortOptions().SortCol = 1;
        gridtest::Show(grid);
        grid.setFocus();
        grid.SetRow(4); // "bert", the last row
        QTest::keyClick(&grid, 'b');
        QCOMPARE(grid.Row(), 1); // wrapped to "Berg": case does not matter
        QCOMPARE(grid.Col(), 1);
        QTest::keyClick(&grid, 'B');
        QCOMPARE(grid.Row(), 4);
        QTest::keyClick(&grid, 'a');
        QCOMPARE(grid.Row(), 2);
        QTest::keyClick(&grid, 'A'); // the only match is the current row itself
        QCOMPARE(grid.Row(), 2);
        QTest::keyClick(&grid, 'q'); // no match: stays
        QCOMPARE(grid.Row(), 2);
        QVERIFY(!grid.Modified());
    }

    void typeAhead_foldsAsciiLettersOnly()
    {
        Grid grid;
        grid.Fill({ { "1", "Zander" }, { "2", "Ärger" }, { "3", "ärmel" } });
        grid.SetOptions(grid.Options() | goRowSelect);
        grid.SortOptions().SortCol = 1;
        gridtest::Show(grid);
        grid.setFocus();
        QTest::sendKeyEvent(QTest::Click, &grid, Qt::Key_Adiaeresis, QStringLiteral("ä"), Qt::NoModifier);
        QCOMPARE(grid.Row(), 3);
        QTest::sendKeyEvent(QTest::Click, &grid, Qt::Key_Adiaeresis, QStringLiteral("Ä"), Qt::ShiftModifier);
        QCOMPARE(grid.Row(), 2);
        QTest::keyClick(&grid, 'z');
        QCOMPARE(grid.Row(), 1);
    }

    void typing_whileTheEditorShows_goesIntoTheEditorAndDoesNotSearch()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetOptions(grid.Options() | goEditing);
        grid.SortOptions().SortCol = 1;
        gridtest::Show(grid);
        clickCell(grid, 1, 2);
        QVERIFY(grid.EditorMode());
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_End);
        QTest::keyClicks(grid.InplaceEditor(), "zb");
        QCOMPARE(grid.Row(), 2);
        QVERIFY(grid.EditorMode());
        QCOMPARE(grid.InplaceEditor()->text(), QStringLiteral("annazb")); // not upper-cased either
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
        QTRY_VERIFY(!grid.EditorMode());
        QCOMPARE(grid.Cells(1, 2), QStringLiteral("annazb"));
        // With editing on, a typed letter opens the editor instead of searching.
        grid.setFocus();
        QTest::keyClick(&grid, 'z');
        QVERIFY(grid.EditorMode());
        QCOMPARE(grid.Row(), 2);
        QCOMPARE(grid.InplaceEditor()->text(), QStringLiteral("z"));
    }

    void validation_refused_putsTheOldTextBackAndRestoresModified()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetOptions(grid.Options() | goEditing);
        gridtest::Show(grid);
        QList<Validation> calls;
        int modifiedEvents = 0;
        grid.OnModified = [&](QObject*) { ++modifiedEvents; };
        grid.OnCellValidate
            = [&](QObject* sender, int col, int row, const QString& oldValue, QString& newValue, bool& valid) {
                  QCOMPARE(sender, &grid);
                  calls << Validation { col, row, oldValue, newValue };
                  valid = false;
              };
        clickCell(grid, 1, 2);
        editTo(grid, QStringLiteral("Xaver"));
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
        QTRY_VERIFY(!grid.EditorMode());
        QCOMPARE(grid.Cells(1, 2), QStringLiteral("anna"));
        QVERIFY(!grid.Modified());
        QCOMPARE(modifiedEvents, 0);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].col, 1);
        QCOMPARE(calls[0].row, 2);
        QCOMPARE(calls[0].oldValue, QStringLiteral("anna"));
        QCOMPARE(calls[0].newValue, QStringLiteral("Xaver"));

        // A refusal after earlier edits puts back the earlier state: modified.
        grid.SetModified(true);
        clickCell(grid, 0, 3);
        editTo(grid, QStringLiteral("77"));
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
        QTRY_VERIFY(!grid.EditorMode());
        QCOMPARE(grid.Cells(0, 3), QStringLiteral("10"));
        QVERIFY(grid.Modified());
    }

    void validation_handlerMayReplaceTheValue()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetOptions(grid.Options() | goEditing);
        gridtest::Show(grid);
        bool accept = true;
        grid.OnCellValidate = [&](QObject*, int, int, const QString&, QString& newValue, bool& valid) {
            newValue = newValue.trimmed().toUpper();
            valid = accept;
        };
        clickCell(grid, 1, 1);
        editTo(grid, QStringLiteral(" berta "));
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
        QTRY_VERIFY(!grid.EditorMode());
        QCOMPARE(grid.Cells(1, 1), QStringLiteral("BERTA"));
        QVERIFY(grid.Modified());

        // Refused but corrected: the cell takes the correction, Modified its old value.
        grid.SetModified(false);
        accept = false;
        clickCell(grid, 1, 3);
        editTo(grid, QStringLiteral("zora"));
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
        QTRY_VERIFY(!grid.EditorMode());
        QCOMPARE(grid.Cells(1, 3), QStringLiteral("ZORA"));
        QVERIFY(!grid.Modified());
    }

    void validation_runsWhenTheFocusLeaves_andOnlyForChangedText()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* grid = new Grid;
        auto* other = new QLineEdit;
        layout->addWidget(grid);
        layout->addWidget(other);
        grid->Fill(kEntries);
        grid->SetOptions(grid->Options() | goEditing);
        window.resize(600, 400);
        gridtest::Show(window);
        int calls = 0;
        grid->OnCellValidate = [&](QObject*, int, int, const QString&, QString&, bool& valid) {
            ++calls;
            valid = false;
        };
        clickCell(*grid, 1, 1);
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Return); // unchanged: nothing to validate
        QTRY_VERIFY(!grid->EditorMode());
        QCOMPARE(calls, 0);

        clickCell(*grid, 1, 1);
        editTo(*grid, QStringLiteral("Zwerg"));
        other->setFocus();
        QTRY_VERIFY(!grid->EditorMode());
        QCOMPARE(calls, 1);
        QCOMPARE(grid->Cells(1, 1), QStringLiteral("Berg"));
        QVERIFY(!grid->Modified());

        // A click into another cell of the grid validates as well.
        clickCell(*grid, 1, 1);
        editTo(*grid, QStringLiteral("Zwerg"));
        clickCell(*grid, 0, 4);
        QTRY_VERIFY(grid->Row() == 4);
        QCOMPARE(calls, 2);
        QCOMPARE(grid->Cells(1, 1), QStringLiteral("Berg"));
    }

    void extendedKeys_insertAndDeleteRowsAndColumns()
    {
        Grid grid;
        grid.Fill(kEntries);
        gridtest::Show(grid);
        grid.setFocus();
        grid.SetRow(2);
        QTest::keyClick(&grid, Qt::Key_Insert, Qt::ControlModifier); // off: nothing
        QCOMPARE(grid.RowCount(), 5);

        grid.SetExtendedKeys(true);
        grid.SetRow(2);
        QTest::keyClick(&grid, Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(grid.Column(1), (QStringList { "Berg", "", "anna", "Zoe", "bert" }));
        QCOMPARE(grid.Row(), 2);
        QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(grid.Column(1), (QStringList { "Berg", "anna", "Zoe", "bert" }));

        grid.SetCol(1);
        QTest::keyClick(&grid, Qt::Key_Insert, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(grid.ColCount(), 8);
        QCOMPARE(grid.Rows(0).mid(0, 3), (QStringList { "Nr.", "", "Name" }));
        QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(grid.Rows(0), kHeader);

        // The last data row and the last column stay, with their texts.
        grid.Fill({ { "1", "Solo" } });
        QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(grid.RowCount(), 2);
        QCOMPARE(grid.Cells(1, 1), QStringLiteral("Solo"));
        QVERIFY(!grid.Modified());
        grid.SetColCount(1);
        QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(grid.ColCount(), 1);
        QCOMPARE(grid.Cells(0, 1), QStringLiteral("1"));
    }

    void extendedKeys_doNothingWhileTheEditorShows()
    {
        Grid grid;
        grid.Fill(kEntries);
        grid.SetExtendedKeys(true);
        grid.SetOptions(grid.Options() | goEditing);
        gridtest::Show(grid);
        clickCell(grid, 1, 2);
        QVERIFY(grid.EditorMode());
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(grid.RowCount(), 5);
    }

    void wheel_scrollsByTheCurrentCell()
    {
        Grid grid;
        QList<QStringList> rows;
        for (int i = 0; i < 60; ++i)
            rows << QStringList { QString::number(i + 1) };
        grid.Fill(rows);
        gridtest::Show(grid);
        QCOMPARE(grid.TopRow(), 1);
        wheel(grid, -120); // down: the row two below the top comes second from the top
        QCOMPARE(grid.TopRow(), 2);
        wheel(grid, -60); // half a notch does nothing yet
        QCOMPARE(grid.TopRow(), 2);
        wheel(grid, -60);
        QCOMPARE(grid.TopRow(), 3);
        wheel(grid, -240);
        QCOMPARE(grid.TopRow(), 5);
        wheel(grid, 120); // up: two rows above the top, one more row of context
        QCOMPARE(grid.TopRow(), 2);
        wheel(grid, 120);
        QCOMPARE(grid.TopRow(), 1);
        for (int i = 0; i < 60; ++i)
            wheel(grid, -120);
        QCOMPARE(grid.TopRow(), grid.RowCount() - grid.viewport()->height() / (grid.DefaultRowHeight() + 1));
        QCOMPARE(grid.Row(), 1); // the current cell stays
    }

    void mainWindowSetup_editsNameAndNumberInPlace_typeAheadElsewhere()
    {
        Grid grid;
        grid.SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goDrawFocusSelected | goColSizing
            | goRowSelect);
        grid.SortOptions().CanSort = false;
        grid.SortOptions().SortCol = 3;
        grid.SetAlignmentHorz(taRightJustify);
        grid.OnSelectCell = [&](QObject*, int col, int row, bool& canSelect) {
            if (col > 1) {
                grid.SetOptions((grid.Options() & ~TGridOptions(goEditing)) | goRowSelect);
                canSelect = false;
                grid.SetSelection(TGridRect { 0, row, 6, row });
            } else {
                grid.SetOptions((grid.Options() | goEditing) & ~TGridOptions(goRowSelect));
            }
        };
        grid.Fill(kEntries);
        gridtest::Show(grid);

        clickCell(grid, 1, 2);
        QVERIFY(grid.EditorMode());
        editTo(grid, QStringLiteral("Anna Maier"));
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
        QTRY_VERIFY(!grid.EditorMode());
        QCOMPARE(grid.Cells(1, 2), QStringLiteral("Anna Maier"));
        QVERIFY(grid.Modified());

        clickCell(grid, 0, 3);
        editTo(grid, QStringLiteral("11"));
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Enter);
        QTRY_VERIFY(!grid.EditorMode());
        QCOMPARE(grid.Cells(0, 3), QStringLiteral("11"));

        // A click into "Zeit" selects the row; a typed digit then jumps to
        // the next run time starting with it.
        clickCell(grid, 3, 1);
        QVERIFY(!grid.EditorMode());
        QCOMPARE(grid.Selection(), (TGridRect { 0, 1, 6, 1 }));
        QTest::keyClick(&grid, '9');
        QCOMPARE(grid.Selection(), (TGridRect { 0, 2, 6, 2 }));
        QTest::keyClick(&grid, '1');
        QCOMPARE(grid.Selection(), (TGridRect { 0, 3, 6, 3 }));
        QTest::keyClick(&grid, '1');
        QCOMPARE(grid.Selection(), (TGridRect { 0, 4, 6, 4 }));
        QVERIFY(!grid.EditorMode());
        QCOMPARE(grid.Column(1), (QStringList { "Berg", "Anna Maier", "Zoe", "bert" }));
    }
};

QTEST_MAIN(TestGridInteraction)
#include "tst_gridinteraction.moc"
