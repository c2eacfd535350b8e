// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindowFixture.h"

#include "app/Application.h"
#include "protocol/Columns.h"

#include <QListWidget>
#include <QMenu>
#include <QToolButton>

class TestTable : public QObject {
    Q_OBJECT

    // The centre of a cell in viewport coordinates.
    static QPoint cellCentre(TSortGrid* grid, int col, int row)
    {
        return grid->viewport()->mapFrom(grid, grid->CellRect(col, row).center());
    }

private slots:
    void init() { ClearSettingsStore(); }
    void header_andColumnLayout()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        QCOMPARE(f.grid()->Rows(0),
            (QStringList { "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "*", "Klasse", "Status", "Gesamt" }));
        QCOMPARE(f.grid()->ColCount(), 10);
        QCOMPARE(f.grid()->RowCount(), 2);
        // Without classes "Klasse", "Status" and "Gesamt" are hidden like "*".
        for (int c = 6; c < 10; ++c)
            QCOMPARE(f.grid()->ColWidths(c), -1);
        QCOMPARE(TableRightEdge(*f.grid()), f.grid()->ClientWidth());
        const int before = f.grid()->ClientWidth();
        w->resize(1000, 600);
        QTRY_VERIFY(f.grid()->ClientWidth() > before);
        QCOMPARE(TableRightEdge(*f.grid()), f.grid()->ClientWidth());
        QCOMPARE(f.grid()->ColWidths(6), -1);
    }

    void clickInNameEdits_clickInTimeSelectsTheRow()
    {
        MainWindowFixture f;
        f.start();
        f.start();
        TSortGrid* g = f.grid();
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cellCentre(g, 3, 1));
        QCOMPARE(g->Selection().Left, 0);
        QCOMPARE(g->Selection().Right, 9);
        QCOMPARE(f.current(), 1);
        QVERIFY(!(g->Options() & goEditing));
        QVERIFY(f.w()->ui.bSTOP->isEnabled()); // row 1 runs

        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cellCentre(g, 1, 2));
        QVERIFY(g->Options() & goEditing);
        QVERIFY(!(g->Options() & goRowSelect));
        QCOMPARE(g->Col(), 1);
        QCOMPARE(g->Row(), 2);
    }

    // A loaded start list, entries on course, the operator sorts by a
    // header: the current row stays highlighted over every shown column, its
    // current cell is a shown one, and STOPP stops the entry it shows.
    void headerClick_afterLoading_keepsTheCurrentRowHighlighted()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TSortGrid* g = f.grid();
        const QString list = QDir::currentPath() + QStringLiteral("/kopf.csv");
        QVERIFY(WriteFileBytes(list, "Nr.;Name\r\n3;Cleo\r\n1;Anna\r\n2;Bert\r\n"));
        dialogs::QueueFileName(list);
        w->ui.sbLoad->click();
        QCOMPARE(f.cell(protocol::kColName, 1), QStringLiteral("Cleo"));
        f.start();
        f.start(500);
        // The operator picks a runner, as before a stop.
        op::SelectRow(*w, g->FindRow(protocol::kColName, QStringLiteral("Cleo")));
        const auto highlighted = [g](int row) {
            const TGridRect s = g->Selection();
            if (s.Top != row || s.Bottom != row || g->ColWidths(g->Col()) < 0)
                return false;
            for (int c = 0; c < g->ColCount(); ++c)
                if (g->ColWidths(c) >= 0 && (c < s.Left || c > s.Right))
                    return false;
            return true;
        };
        QVERIFY(highlighted(f.current()));
        for (const int col : { protocol::kColName, protocol::kColNr, protocol::kColZeit }) {
            const QString name = f.cell(protocol::kColName, f.current());
            g->HeaderClick(col, false);
            QVERIFY2(highlighted(f.current()), qPrintable(QString::number(col)));
            QCOMPARE(f.cell(protocol::kColName, f.current()), name); // the row moved with its entry
        }
        QCOMPARE(f.cell(protocol::kColName, f.current()), QStringLiteral("Cleo"));
        QVERIFY(w->ui.bSTOP->isEnabled());
        f.stop(1000);
        QVERIFY(!f.cell(protocol::kColZeit, g->FindRow(protocol::kColName, QStringLiteral("Cleo"))).isEmpty());
    }

    void table_sortsNumbersNaturallyAndNamesAsText_andAlignsAsDrawn()
    {
        using namespace protocol;
        MainWindowFixture f;
        TSortGrid* g = f.grid();
        g->SetRowCount(5);
        const QStringList numbers { "12a", "10", "2", "12" };
        const QStringList names { "bert", "Anna", "dora", "Cem" };
        for (int r = 1; r <= 4; ++r) {
            g->SetCells(kColNr, r, numbers[r - 1]);
            g->SetCells(kColName, r, names[r - 1]);
        }
        g->SortOptions().CanSort = true;
        g->SortByColumn(kColNr);
        QCOMPARE(g->Cols(kColNr).mid(1), (QStringList { "2", "10", "12", "12a" }));
        g->SortByColumn(kColName);
        QCOMPARE(g->Cols(kColName).mid(1), (QStringList { "Anna", "bert", "Cem", "dora" }));

        // As the grid draws them: the header centred, names from the left,
        // times from the right.
        const auto alignment = [g](int col, int row) {
            TFormatOptions format = g->DefaultFormatOptions();
            bool checkBox = false, comboBox = false, ellipsis = false;
            g->GetCellFormat(col, row, TGridDrawState(), format, checkBox, comboBox, ellipsis);
            return format.AlignmentHorz;
        };
        QCOMPARE(alignment(kColZeit, 0), taCenter);
        QCOMPARE(alignment(kColName, 2), taLeftJustify);
        QCOMPARE(alignment(kColStart, 2), taRightJustify);
    }

    void timeColumn_sortsValuesThenDashThenEmpty()
    {
        MainWindowFixture f;
        TSortGrid* g = f.grid();
        g->SetRowCount(6);
        const QStringList zeit { "", "-", "1.05,12", "12,34", "9,87" };
        for (int r = 1; r <= 5; ++r)
            g->SetCells(3, r, zeit[r - 1]);
        g->SortOptions().CanSort = true;
        g->SortByColumn(3);
        QCOMPARE(g->Cols(3).mid(1), (QStringList { "9,87", "12,34", "1.05,12", "-", "" }));
    }

    void deleteRow_keepsTheLastRowAndRanksAgain()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        // The only entry row is emptied, not removed.
        f.grid()->SetCells(1, 1, QStringLiteral("Solo"));
        op::Erase(*w);
        QCOMPARE(f.grid()->RowCount(), 2);
        QCOMPARE(f.cell(kColName, 1), QString());

        f.start();
        f.start();
        f.start();
        op::SelectRow(*w, 1);
        f.stop(3000);
        f.stop(1000);
        QCOMPARE(f.cell(kColPlatz, 2), QStringLiteral("2"));
        op::SelectRow(*w, 1);
        f.answerNextDialog(6); // the row holds times: asked first
        op::Erase(*w);
        QCOMPARE(f.shownDialogText, QStringLiteral("Zeile mit Zeiten entfernen?"));
        QCOMPARE(f.grid()->RowCount(), 4);
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("4,00"));
        QCOMPARE(f.cell(kColPlatz, 1), QStringLiteral("1"));
        QCOMPARE(f.current(), 1); // the deleted row's place, after the rank refresh
    }

    void newRow_takesTheSmallestFreeNumberAndTheCurrentPlace()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TSortGrid* g = f.grid();
        g->SetRowCount(4);
        g->SetCells(0, 1, QStringLiteral("1"));
        g->SetCells(0, 2, QStringLiteral("2"));
        g->SetCells(0, 3, QStringLiteral("4"));
        op::SelectRow(*w, 2);
        w->ui.NeueZeile1->trigger();
        QCOMPARE(g->RowCount(), 5);
        QCOMPARE(g->Rows(2).mid(0, 3), (QStringList { "3", "Neue Zeile", "" }));
        QCOMPARE(f.cell(kColNr, 3), QStringLiteral("2"));
        QCOMPARE(f.current(), 2);
        // On the last row the new row goes after it; "007" does not occupy 7.
        g->SetCells(0, 1, QStringLiteral("007"));
        for (int n : { 5, 6 })
            g->SetCells(0, n - 1, QString::number(n)); // rows 4: "5", 5 (new)...
        op::SelectRow(*w, g->RowCount() - 1);
        const int last = g->RowCount() - 1;
        w->ui.NeueZeile1->trigger();
        QCOMPARE(f.current(), last + 1);
        QCOMPARE(f.cell(kColName, last + 1), QStringLiteral("Neue Zeile"));
        QVERIFY(w->ui.sbSave->isEnabled());
    }

    void contextMenu_insertNeedsAnInterimTakenAfterTheRunnersStart()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        op::OpenContextMenu(*w);
        QVERIFY(w->ui.PastefromFStopp->isVisible());
        QVERIFY(!w->ui.PastefromFStopp->isEnabled());
        f.key(Qt::Key_F8); // before any start
        f.start(1000);
        op::SelectRow(*w, 1);
        op::OpenContextMenu(*w);
        QVERIFY(!w->ui.PastefromFStopp->isEnabled());
        op::PasteInterim(*w);
        QCOMPARE(f.cell(kColZeit, 1), QString());
        f.tick.advance(3000);
        f.key(Qt::Key_F8);
        op::OpenContextMenu(*w);
        QVERIFY(w->ui.PastefromFStopp->isEnabled());
        op::PasteInterim(*w);
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("3,00"));
    }
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestTable test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_table.moc"
