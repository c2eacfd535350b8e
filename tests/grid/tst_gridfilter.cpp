// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The sort grid's row filter.

#include "GridFixture.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

namespace {

class Grid : public gridtest::TestGrid {
public:
    Grid()
    {
        SetColCount(3);
        SetRows(0, { "Nr.", "Name", "Klasse" });
        Fill({ { "4", "Dora", "B" }, { "2", "Berta", "A" }, { "5", "Emil", "B" }, { "1", "Anton", "A" },
            { "3", "Cäsar", "C" } });
        SortOptions().SortCol = 1;
        resize(400, 250);
    }
    void AcceptClass(const QString& klasse)
    {
        OnSetFilter = [klasse](const QStringList& row, bool& accept) { accept = row.value(2) == klasse; };
    }
};

} // namespace

class TestGridFilter : public QObject {
    Q_OBJECT

private slots:
    void init() { dialogs::SetTestMode(true); }

    void filter_parksRejectedRowsAndSortsTheRest_clearingBringsThemBack()
    {
        Grid grid;
        grid.AcceptClass(QStringLiteral("B"));
        grid.SetRow(3);
        int modifiedEvents = 0;
        grid.OnModified = [&](QObject*) { ++modifiedEvents; };
        grid.SetFiltered(true);
        QVERIFY(grid.Filtered());
        QCOMPARE(grid.RowCount(), 3);
        QCOMPARE(grid.HiddenRowCount(), 3);
        QCOMPARE(grid.Column(1), (QStringList { "Dora", "Emil" }));
        QCOMPARE(grid.Row(), 1);
        QCOMPARE(grid.Col(), 0);
        // Parked in their previous order, and still found.
        QCOMPARE(grid.Column(1, 5).mid(2), (QStringList { "Berta", "Anton", "Cäsar" }));
        QCOMPARE(grid.FindRow(1, QStringLiteral("Anton")), 4);
        QVERIFY(!grid.Modified());
        QCOMPARE(modifiedEvents, 0);
        QVERIFY(!grid.NowUpdating());

        grid.SetFiltered(false);
        QVERIFY(!grid.Filtered());
        QCOMPARE(grid.RowCount(), 6);
        QCOMPARE(grid.HiddenRowCount(), 0);
        QCOMPARE(grid.Column(1), (QStringList { "Anton", "Berta", "Cäsar", "Dora", "Emil" }));
        QCOMPARE(grid.Column(0), (QStringList { "1", "2", "3", "4", "5" }));
        QVERIFY(!grid.Modified());
        QCOMPARE(modifiedEvents, 0);

        // A modified table stays modified.
        grid.SetModified(true);
        grid.SetFiltered(true);
        grid.SetFiltered(false);
        QVERIFY(grid.Modified());
    }

    void clearWhileFiltered_dropsTheFilterAndEveryRow_theBackupHoldsParkedRows()
    {
        Grid grid;
        grid.AcceptClass(QStringLiteral("B"));
        grid.SetFiltered(true);
        QCOMPARE(grid.HiddenRowCount(), 3);
        // The backup of a filtered table still holds every row.
        QTemporaryDir dir;
        const QString backup = dir.filePath(QStringLiteral("backup.txt"));
        QVERIFY(grid.SaveToFile(backup));
        QFile file(backup);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (const char* name : { "Anton", "Berta", "Cäsar", "Dora", "Emil" })
            QVERIFY2(text.contains(QString::fromUtf8(name)), name);

        grid.Clear();
        QVERIFY(!grid.Filtered());
        QCOMPARE(grid.HiddenRowCount(), 0);
        QCOMPARE(grid.RowCount(), 2);
        QVERIFY(grid.IsEmptyRow(1));
        // Nothing comes back: not by removing a filter, not by more rows.
        grid.SetFiltered(false);
        QCOMPARE(grid.RowCount(), 2);
        grid.SetRowCount(7);
        for (int r = 1; r < 7; ++r)
            QVERIFY(grid.IsEmptyRow(r));
        QCOMPARE(grid.FindRow(1, QStringLiteral("Anton")), -1);
        // A filter that accepted nothing leaves no stand-in row behind either.
        grid.Fill({ { "1", "Anton", "A" } });
        grid.OnSetFilter = [](const QStringList&, bool& accept) { accept = false; };
        grid.SetFiltered(true);
        grid.Clear();
        grid.SetRowCount(4);
        QCOMPARE(grid.FindRow(1, QStringLiteral("Anton")), -1);
    }

    void filterAcceptingNothing_leavesOneEmptyRow_clearingRestoresAllRows()
    {
        Grid grid;
        grid.SortOptions().CanSort = false;
        grid.OnSetFilter = [](const QStringList&, bool& accept) { accept = false; };
        grid.SetFiltered(true);
        QCOMPARE(grid.RowCount(), 2);
        QVERIFY(grid.IsEmptyRow(1));
        QCOMPARE(grid.HiddenRowCount(), 5);
        QCOMPARE(grid.FindRow(1, QStringLiteral("Dora")), 2);
        grid.SetFiltered(false);
        QCOMPARE(grid.RowCount(), 6);
        QCOMPARE(grid.Column(1), (QStringList { "Dora", "Berta", "Emil", "Anton", "Cäsar" })); // no sort
        QVERIFY(!grid.Modified());

        // Without a handler no row passes either.
        grid.OnSetFilter = nullptr;
        grid.SetFiltered(true);
        QCOMPARE(grid.RowCount(), 2);
        QCOMPARE(grid.HiddenRowCount(), 5);
        grid.SetFiltered(false);
        QCOMPARE(grid.RowCount(), 6);
    }

    void placeholder_isRemovedOnlyWhileEmpty_emptyRowsThatPassedStay()
    {
        Grid grid;
        grid.OnSetFilter = [](const QStringList&, bool& accept) { accept = false; };
        grid.SetFiltered(true);
        grid.SetCells(1, 1, QStringLiteral("Neu")); // typed into the stand-in row
        grid.SetFiltered(false);
        QCOMPARE(grid.RowCount(), 7);
        QVERIFY(grid.FindRow(1, QStringLiteral("Neu")) > 0);

        // An empty row that passed the filter and sorts first is a real row.
        grid.Fill({ { "1", "Anton", "A" }, { "", "", "" }, { "2", "Berta", "B" } });
        grid.OnSetFilter = [](const QStringList& row, bool& accept) { accept = row.value(2) != QStringLiteral("B"); };
        grid.SetFiltered(true);
        QCOMPARE(grid.Column(1), (QStringList { "", "Anton" }));
        grid.SetFiltered(false);
        QCOMPARE(grid.RowCount(), 4);
        QCOMPARE(grid.Column(1), (QStringList { "", "Anton", "Berta" }));
    }

    void settingWithoutEffect()
    {
        Grid grid;
        int calls = 0;
        grid.OnSetFilter = [&](const QStringList&, bool& accept) {
            ++calls;
            accept = true;
        };
        grid.SetFiltered(false); // nothing hidden
        QCOMPARE(calls, 0);
        grid.SetFiltered(true); // every row passes: nothing hidden, sorted
        QCOMPARE(calls, 5);
        QCOMPARE(grid.HiddenRowCount(), 0);
        QCOMPARE(grid.Column(1), (QStringList { "Anton", "Berta", "Cäsar", "Dora", "Emil" }));
        grid.SetFiltered(false);
        QVERIFY(!grid.Filtered());
        QCOMPARE(grid.RowCount(), 6);

        grid.SetRows(1, {});
        grid.SetFiltered(true); // an empty first row: no effect
        QCOMPARE(calls, 5);
        QVERIFY(!grid.Filtered());
    }

    void filteringAgain_removesTheOldFilterFirst()
    {
        Grid grid;
        grid.AcceptClass(QStringLiteral("A"));
        grid.SetFiltered(true);
        QCOMPARE(grid.Column(1), (QStringList { "Anton", "Berta" }));
        grid.AcceptClass(QStringLiteral("B"));
        grid.SetFiltered(true); // rows hidden by the first filter are offered again
        QCOMPARE(grid.Column(1), (QStringList { "Dora", "Emil" }));
        QCOMPARE(grid.HiddenRowCount(), 3);
        grid.SetFiltered(false);
        QCOMPARE(grid.RowCount(), 6);
        QCOMPARE(grid.Column(1), (QStringList { "Anton", "Berta", "Cäsar", "Dora", "Emil" }));
    }

    void insideAnUpdate_theCallersBracketStaysOpen()
    {
        Grid grid;
        grid.AcceptClass(QStringLiteral("B"));
        int ends = 0;
        grid.OnEndUpdate = [&](QObject*) { ++ends; };
        grid.BeginUpdate();
        grid.SetFiltered(true);
        QVERIFY(grid.NowUpdating());
        QCOMPARE(ends, 0);
        grid.SetFiltered(false);
        QVERIFY(grid.NowUpdating());
        grid.EndUpdate();
        QCOMPARE(ends, 1);
        QCOMPARE(grid.RowCount(), 6);
        grid.SetFiltered(true); // a bracket of its own
        QCOMPARE(ends, 2);
        QVERIFY(grid.isEnabled());
    }

    void failingHandler_leavesTheRowsAndClosesTheBracket()
    {
        Grid grid;
        grid.OnSetFilter = [](const QStringList& row, bool&) {
            if (row.value(1) == QStringLiteral("Emil"))
                throw std::runtime_error("filter");
        };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, grid.SetFiltered(true));
        QVERIFY(!grid.NowUpdating());
        QVERIFY(grid.isEnabled());
        QCOMPARE(grid.RowCount(), 6);
        QCOMPARE(grid.HiddenRowCount(), 0);
        QCOMPARE(grid.Column(1), (QStringList { "Dora", "Berta", "Emil", "Anton", "Cäsar" }));
    }

    void multiSelection_isResetToTheCurrentRow()
    {
        Grid grid;
        grid.AcceptClass(QStringLiteral("B"));
        grid.SetRow(5);
        grid.SetMultiSelect(true);
        QCOMPARE(grid.SelectedRows(), QStringList { "5" });
        int events = 0;
        grid.OnRowSelected = [&](QObject*) { ++events; };
        grid.SetFiltered(true);
        QCOMPARE(grid.SelectedRows(), QStringList { "1" });
        QVERIFY(events > 0);
    }
};

QTEST_MAIN(TestGridFilter)
#include "tst_gridfilter.moc"
