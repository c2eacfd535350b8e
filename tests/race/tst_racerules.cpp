// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/Race.h"

#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "gridstore/SortEngine.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "race/JournalEvents.h"
#include "race/LightBarriers.h"
#include "race/RaceSnapshot.h"
#include "race/RaceText.h"
#include "race/Ranking.h"
#include "race/Runs.h"

#include <QtTest>

using namespace protocol;
using race::Barrier;
using race::Outcome;

namespace {

platform::Stamp at(platform::Tick tick)
{
    // A time of day that moves with the tick, so texts differ between stamps.
    return { tick, QTime(10, 0).addMSecs(static_cast<int>(static_cast<std::uint32_t>(tick) % 3600000u)) };
}

// A protocol table without a window: the header, one free row, and rules
// over it, shown in the order of its header (the display sort).
struct Race {
    TCellStore store { kProtocolColCount, 2 };
    TStoreTable table { store };
    TSortOptions order; // "Zeit" ascending, as the window starts
    race::Race rules { table, order };
    int current = 1;

    // The log's seven columns, or all of the table's with classes.
    explicit Race(int cols = kProtocolColCount)
    {
        store.SetColCount(cols);
        order.SortCol = kColZeit;
        for (int c = 0; c < cols; ++c)
            store.SetCell(c, 0, kTableHeaders[static_cast<size_t>(c)]);
    }
    // A start list or protocol as the loader gives it.
    race::RaceResult load(const QList<QStringList>& rows)
    {
        rules.Load(rows, QStringLiteral("liste.txt"));
        return apply(rules.Loaded(1));
    }
    race::RaceResult status(const QString& nr, protocol::EntryStatus s)
    {
        if (!rules.SetStatus(rowOf(nr), s))
            return { Outcome::NotAvailable, rules.View() };
        return apply(rules.RankRefresh(current));
    }
    QString cell(int c, int r) const { return store.Cell(c, r); }
    void settings(bool stopFirst, int accuracy = 2)
    {
        race::RaceSettings s;
        s.stopFirst = stopFirst;
        s.accuracy = accuracy;
        rules.SetSettings(s);
    }
    race::RaceResult apply(race::RaceResult r)
    {
        current = r.view.currentRow;
        return r;
    }
    race::RaceResult start(platform::Tick t) { return apply(rules.Start(current, at(t))); }
    race::RaceResult stop(platform::Tick t) { return apply(rules.Stop(current, at(t))); }
    race::RaceResult select(int row) { return apply(rules.RowStateRefresh(row)); }
    race::BarrierResult barrier(bool stopLine, bool startLine, platform::Tick t)
    {
        race::BarrierResult r = rules.BarrierImpulse(stopLine, startLine, current, at(t));
        current = r.view.currentRow;
        return r;
    }
    int rowOf(const QString& nr) const
    {
        for (int r = 1; r < store.RowCount(); ++r)
            if (store.Cell(kColNr, r) == nr)
                return r;
        return -1;
    }
    QString placeOf(const QString& nr) const { return cell(kColPlatz, rowOf(nr)); }
    QString timeOf(const QString& nr) const { return cell(kColZeit, rowOf(nr)); }
    QString overallOf(const QString& nr) const { return cell(kColGesamt, rowOf(nr)); }
};

} // namespace

class TestRaceRules : public QObject {
    Q_OBJECT
private slots:
    void start_writesTheRowKeepsNamesAndAppendsAnEmptyRow()
    {
        Race race;
        race.store.SetRowCount(5);
        const QStringList numbers { "007", "0", "A7", "" };
        for (int r = 1; r <= 4; ++r) {
            race.store.SetCell(kColNr, r, numbers[r - 1]);
            race.store.SetCell(kColName, r, QStringLiteral("Name%1").arg(r));
        }
        // Texts left beyond the row count must not come back in the new row.
        race.store.SetCell(kColName, 5, QStringLiteral("stale"));
        race.store.SetCell(kColRaw, 5, QStringLiteral("4711"));

        race::RaceResult r = race.start(5000);
        QCOMPARE(r.outcome, Outcome::Started);
        QCOMPARE(race.store.Row(1),
            (QStringList { "7", "Name1", TimeOfDayText(at(5000).timeOfDay), "", "0,00", "-", "5000" }));
        QCOMPARE(r.view.currentRow, 2);
        QVERIFY(r.view.startAvailable && !r.view.stopAvailable);
        QVERIFY(r.view.clockRunning && r.view.endAvailable && r.view.interimAvailable && !r.view.settingsAvailable);
        QCOMPARE(r.view.row1Ms, 0);

        race.start(6000);
        race.start(7000);
        r = race.start(8250);
        // "0" and an empty number get the lowest number no entry has (7 is
        // taken, "A7" is no whole number), never the row index; a number
        // with letters stays; every name stays.
        QCOMPARE(race.cell(kColNr, 2), QStringLiteral("1"));
        QCOMPARE(race.cell(kColName, 2), QStringLiteral("Name2"));
        QCOMPARE(race.cell(kColNr, 3), QStringLiteral("A7"));
        QCOMPARE(race.cell(kColName, 3), QStringLiteral("Name3"));
        QCOMPARE(race.cell(kColNr, 4), QStringLiteral("2"));
        QCOMPARE(race.cell(kColName, 4), QStringLiteral("Name4"));
        QCOMPARE(race.cell(kColSplit, 4), QStringLiteral("3,25"));
        QCOMPARE(race.store.RowCount(), 6);
        QCOMPARE(race.store.Row(5), (QStringList { "", "", "", "", "", "-", "" }));
        QCOMPARE(r.view.currentRow, 5);
    }

    void firstStartAtTickZero_isARealStart()
    {
        Race race;
        race::RaceResult r = race.start(0);
        QVERIFY(r.view.raceStarted);
        QCOMPARE(race.rules.FirstStart(), std::optional<platform::Tick>(0));
        race.start(1500);
        QCOMPARE(race.cell(kColSplit, 2), QStringLiteral("1,50"));
    }

    void startOnARowAboveARunner_makesTheRunnerCurrentAndFreesTheStopBarrier()
    {
        Race race;
        race.start(1000);
        race.start(2000);
        race.select(1);
        race.rules.ToggleLock(Barrier::Start, race.current);
        race.store.SetRowCount(4);
        race.store.MoveRow(3, 1); // a free row above the two runners
        race.current = 1;
        race::RaceResult r = race.start(3000);
        QCOMPARE(r.view.currentRow, 2);
        QVERIFY(r.view.stopAvailable && !r.view.startAvailable);
        QVERIFY(r.view.stopBarrierFree);
        QVERIFY(!r.view.startBarrierFree && r.view.startLockoutRunning); // START locks its own barrier
        QVERIFY(r.view.currentRowRunning);
        QCOMPARE(r.view.currentStartTick, 1000);
    }

    void places_areByRunTimeWhateverTheDisplayOrder()
    {
        for (const int col : { kColZeit, kColName, kColNr }) {
            for (const TSortDirection dir : { sdAscending, sdDescending }) {
                Race race;
                race.order.SortCol = col;
                race.order.SortDirection = dir;
                const QStringList names { "Dora", "Carl", "Bert", "Anna" };
                race.store.SetRowCount(5);
                for (int r = 1; r <= 4; ++r)
                    race.store.SetCell(kColName, r, names[r - 1]);
                for (int i = 0; i < 4; ++i)
                    race.start(1000 * i);
                // Run times 30,39 / 6,54 / 10,00 / 10,00 (rows 1..4 started 1 s apart).
                const std::pair<QString, platform::Tick> stops[]
                    = { { "2", 7540 }, { "1", 30390 }, { "3", 12000 }, { "4", 13000 } };
                for (const auto& [nr, t] : stops) {
                    race.current = race.rowOf(nr);
                    race.stop(t);
                }
                QCOMPARE(race.timeOf("2"), QStringLiteral("6,54"));
                QCOMPARE(race.placeOf("2"), QStringLiteral("1"));
                QCOMPARE(race.placeOf("3"), QStringLiteral("2"));
                QCOMPARE(race.placeOf("4"), QStringLiteral("2"));
                QCOMPARE(race.placeOf("1"), QStringLiteral("4"));
            }
        }
    }

    void places_rankTheValueOfMixedFormats()
    {
        Race race;
        race.store.SetRowCount(5);
        const QStringList zeit { "12", "9,50", "1.05", "n.a." };
        for (int r = 1; r <= 4; ++r) {
            race.store.SetCell(kColNr, r, QString::number(r));
            race.store.SetCell(kColZeit, r, zeit[r - 1]);
            race.store.SetCell(kColRaw, r, QStringLiteral("1"));
        }
        race.apply(race.rules.RankRefresh(1));
        QCOMPARE(race.placeOf("2"), QStringLiteral("1"));
        QCOMPARE(race.placeOf("1"), QStringLiteral("2"));
        QCOMPARE(race.placeOf("3"), QStringLiteral("3"));
        // Not a time: never ranked, however it sorts.
        QCOMPARE(race.placeOf("4"), QStringLiteral("-"));
    }

    void places_perClassWithTheOverallPlace_statusesOutOfTheRanking()
    {
        using protocol::EntryStatus;
        Race race(kTableColCount);
        // Nr., Name, Start, Zeit, Split, Platz, *, Klasse, Status
        race.load({
            { "1", "Anna", "", "10,00", "", "", "10000", "Damen" },
            { "2", "Bert", "", "9,00", "", "", "9000", "Herren" },
            { "3", "Cora", "", "10,00", "", "", "10000", "Damen" },
            { "4", "Dirk", "", "11,50", "", "", "11500", "Herren" },
            { "5", "Eva", "", "8,00", "", "", "8000", "Damen", "dsq" }, // keeps her time, no place
            { "6", "Fred", "", "DNF", "", "6", "5000", "Herren" }, // a loaded "DNF" got a place before
            { "7", "Gina", "", "", "", "-", "12345", "Damen" }, // still running
            { "8", "Hans", "", "aufg.", "", "", "", "Herren" },
            { "9", "Ida", "", "verletzt", "", "", "7000", "Damen" }, // no status, no time
            { "10", "Jan", "", "12,00", "", "", "12000" }, // no class
            { "11", "Kai", "", "", "", "n.a.", "", "Herren" }, // a results list's place names the status
            { "12", "Lea", "", "13,00", "", "", "13000", "Damen", "krank" }, // no status of ours: kept, ranked
        });
        // The order of first appearance, although the fastest is a "Herr".
        QCOMPARE(race.rules.ClassOrder(), (QStringList { "Damen", "Herren" }));
        const auto places
            = [&race](const QString& nr) { return race.placeOf(nr) + QLatin1Char('/') + race.overallOf(nr); };
        QCOMPARE(places("1"), QStringLiteral("1/2")); // a tie in the class and overall
        QCOMPARE(places("3"), QStringLiteral("1/2"));
        QCOMPARE(places("2"), QStringLiteral("1/1"));
        QCOMPARE(places("4"), QStringLiteral("2/4"));
        QCOMPARE(places("10"), QStringLiteral("1/5"));
        QCOMPARE(places("5"), QStringLiteral("DSQ/"));
        QCOMPARE(race.timeOf("5"), QStringLiteral("8,00"));
        QCOMPARE(places("6"), QStringLiteral("DNF/"));
        QCOMPARE(race.timeOf("6"), QString());
        QCOMPARE(race.rules.StatusOf(race.rowOf("8")), EntryStatus::DNF);
        QCOMPARE(places("7"), QStringLiteral("-/"));
        QCOMPARE(places("11"), QStringLiteral("DNS/"));
        QCOMPARE(places("12"), QStringLiteral("3/6"));
        QCOMPARE(race.cell(kColStatus, race.rowOf("12")), QStringLiteral("krank"));
        QCOMPARE(places("9"), QStringLiteral("-/"));
        QCOMPARE(race.timeOf("9"), QStringLiteral("verletzt"));
        // Fred does not run: the race has nobody to stop but Gina.
        QCOMPARE(race.rules.EarliestRunner(), race.rowOf("7"));

        // Eva's disqualification lifted: she leads both rankings.
        race.status("5", EntryStatus::None);
        QCOMPARE(places("5"), QStringLiteral("1/1"));
        QCOMPARE(places("1"), QStringLiteral("2/3"));
        QCOMPARE(places("2"), QStringLiteral("1/2"));
        // Gina finishes; the classes keep their order.
        race.current = race.rowOf("7");
        race.stop(12345 + 9500);
        QCOMPARE(places("7"), QStringLiteral("2/3"));
        QCOMPARE(race.rules.ClassOrder(), (QStringList { "Damen", "Herren" }));

        // Without classes "Platz" is the overall place again and "Gesamt"
        // stays empty.
        for (int r = 1; r < race.store.RowCount(); ++r)
            race.store.SetCell(kColKlasse, r, QString());
        race.apply(race.rules.RankRefresh(race.current));
        QCOMPARE(places("5"), QStringLiteral("1/"));
        QCOMPARE(places("10"), QStringLiteral("7/"));
        QVERIFY(race.rules.ClassOrder().isEmpty());
    }

    void status_startPassesDnsOverAndStopNeverTakesAnEntryWithAStatus()
    {
        using protocol::EntryStatus;
        Race race(kTableColCount);
        race.load({ { "1", "A" }, { "2", "B" }, { "3", "C" }, { "4", "D" } });
        race.status("2", EntryStatus::DNS);
        QCOMPARE(race.placeOf("2"), QStringLiteral("DNS"));
        race.current = 1;
        race::RaceResult r = race.start(1000);
        QCOMPARE(r.view.currentRow, race.rowOf("3")); // B will not start
        QVERIFY(r.view.startAvailable);
        QCOMPARE(race.cell(kColRaw, race.rowOf("2")), QString());
        // START on the DNS row itself starts the next entry.
        race.current = race.rowOf("2");
        QVERIFY(race.rules.RowStateRefresh(race.current).view.startAvailable);
        r = race.start(2000);
        QCOMPARE(race.cell(kColRaw, race.rowOf("3")), QStringLiteral("2000"));
        QCOMPARE(race.cell(kColRaw, race.rowOf("2")), QString());
        QCOMPARE(r.view.currentRow, race.rowOf("4"));

        // A gives up: no STOPP and no barrier applies to A any more.
        race.status("1", EntryStatus::DNF);
        QCOMPARE(race.rules.EarliestRunner(), race.rowOf("3"));
        race.current = race.rowOf("1");
        r = race.apply(race.rules.RowStateRefresh(race.current));
        QVERIFY(!r.view.stopAvailable && !r.view.currentRowRunning);
        QCOMPARE(race.stop(9000).outcome, Outcome::NotAvailable);
        race.rules.LockoutEnded(Barrier::Stop, race.current);
        race.rules.ToggleLock(Barrier::Stop, race.current);
        QCOMPARE(race.barrier(true, false, 9100).stop, Outcome::InterimRecorded);
        // "Stop first" makes the barrier pass A over as well and stop C.
        race.settings(true);
        race.current = race.rowOf("4");
        QCOMPARE(race.barrier(true, false, 9200).stop, Outcome::Stopped);
        QCOMPARE(race.timeOf("3"), QStringLiteral("7,20"));
        QCOMPARE(race.timeOf("1"), QString());
        QCOMPARE(race.placeOf("1"), QStringLiteral("DNF"));
        QCOMPARE(race.placeOf("3"), QStringLiteral("1"));

        // D will not start either: a free row follows for the next START.
        const int rows = race.store.RowCount();
        race.status("4", EntryStatus::DNS);
        QCOMPARE(race.store.RowCount(), rows + 1);
        QCOMPARE(race.cell(kColPlatz, rows), QStringLiteral("-"));
        race.current = race.rowOf("4");
        r = race.start(9300);
        QCOMPARE(race.cell(kColNr, rows), QStringLiteral("5")); // the lowest number nobody has
        QCOMPARE(race.cell(kColRaw, race.rowOf("4")), QString());
        // Only an entry can have a status; the free row cannot.
        QVERIFY(!race.rules.CanSetStatus(race.store.RowCount() - 1));
        QVERIFY(!race.rules.SetStatus(race.store.RowCount() - 1, EntryStatus::DSQ));
    }

    void undo_takesBackTheStatusWhereverTheRankingMovedItsEntry()
    {
        using protocol::EntryStatus;
        Race race(kTableColCount);
        race.load({ { "1", "A", "", "", "", "", "", "U12" }, { "2", "B", "", "", "", "", "", "U12" },
            { "3", "C", "", "", "", "", "", "U12" } });
        race.start(1000);
        race.start(2000);
        race.start(3000);
        race.status("1", EntryStatus::DNF);
        const int before = race.rowOf("1");
        race.stop(9000); // B, the earliest runner left, moves above A
        QVERIFY(race.rowOf("1") != before);
        QVERIFY(race.rules.CanUndo());
        QCOMPARE(race.rules.Undo(), race.rowOf("1"));
        race.apply(race.rules.RankRefresh(race.current));
        QCOMPARE(race.rules.StatusOf(race.rowOf("1")), EntryStatus::None);
        QCOMPARE(race.placeOf("1"), QStringLiteral("-"));
        QCOMPARE(race.rules.EarliestRunner(), race.rowOf("1"));
        QVERIFY(!race.rules.CanUndo());

        // A removed row comes back with its class and status.
        race.status("3", EntryStatus::DSQ);
        const int row = race.rowOf("3");
        race.rules.RemoveRow(row);
        QCOMPARE(race.rowOf("3"), -1);
        QCOMPARE(race.rules.Undo(), row);
        QCOMPARE(race.cell(kColKlasse, row), QStringLiteral("U12"));
        QCOMPARE(race.cell(kColStatus, row), QStringLiteral("DSQ"));
    }

    void freeRow_alwaysFollowsTheEntries()
    {
        Race race;
        race.start(1000);
        race.start(2000);
        // The trailing free row is the only one START can take: it stays.
        QVERIFY(!race.rules.CanRemoveRow(3));
        QCOMPARE(race.rules.RemoveRow(3), 3);
        QCOMPARE(race.store.RowCount(), 4);
        QVERIFY(race.rules.CanRemoveRow(1));
        // With an entry still to start, the blank row can go.
        race.store.SetCell(kColName, 3, QStringLiteral("Nachzügler"));
        race.store.SetRowCount(5);
        QVERIFY(race.rules.CanRemoveRow(4));
        // A finished protocol loaded gets a free row after its entries.
        race.load({ { "1", "A", "9:00.00,00", "10,00", "0,00", "1", "10000" } });
        QCOMPARE(race.store.RowCount(), 3);
        QCOMPARE(race.store.Row(2), (QStringList { "", "", "", "", "", "-", "" }));
        QVERIFY(race.apply(race.rules.RowStateRefresh(2)).view.startAvailable);
        // A start list needs none: its entries are free rows.
        race.load({ { "1", "A" }, { "2", "B" } });
        QCOMPARE(race.store.RowCount(), 3);
    }

    void stop_writesOnlyARunningRow()
    {
        Race race;
        race.start(1000);
        race.select(1);
        race::RaceResult r = race.stop(13340);
        QCOMPARE(race.cell(kColZeit, 1), QStringLiteral("12,34"));
        // The free row after it is current; STOPP has nothing to stop.
        QCOMPARE(r.view.currentRow, 2);
        QVERIFY(!r.view.stopAvailable);
        // Without any row lacking a run time (the free row removed), the
        // finished row stays current and STOPP stays unavailable.
        race.store.SetRowCount(2);
        race.current = 1;
        r = race.apply(race.rules.RankRefresh(1));
        QCOMPARE(r.view.currentRow, 1);
        QVERIFY(!r.view.stopAvailable && !r.view.startAvailable);
        QCOMPARE(r.view.row1Ms, 12340);
        r = race.stop(99000);
        QCOMPARE(r.outcome, Outcome::NotAvailable);
        r = race.stop(99500);
        QCOMPARE(r.outcome, Outcome::NotAvailable);
        QCOMPARE(race.cell(kColZeit, 1), QStringLiteral("12,34"));
        QCOMPARE(race.cell(kColRaw, 1), QStringLiteral("12340"));
        // Nor does the barrier: the impulse goes to the interim list.
        race.rules.LockoutEnded(Barrier::Stop, 1);
        race.rules.ToggleLock(Barrier::Stop, 1);
        const race::BarrierResult b = race.barrier(true, false, 100000);
        QCOMPARE(b.stop, Outcome::InterimRecorded);
        QCOMPARE(race.cell(kColZeit, 1), QStringLiteral("12,34"));
    }

    void stop_leavesTheEarliestRunnerCurrent_whateverTheDisplayOrder()
    {
        Race race;
        race.order.SortCol = kColName;
        race.store.SetRowCount(5);
        const QStringList names { "Dora", "Carl", "Bert", "Anna" };
        for (int r = 1; r <= 4; ++r)
            race.store.SetCell(kColName, r, names[r - 1]);
        for (int i = 0; i < 4; ++i)
            race.start(1000 * i); // Dora, Carl, Bert, Anna in start order
        race.current = race.rowOf("3"); // Bert finishes first
        race::RaceResult r = race.stop(20000);
        QCOMPARE(race.cell(kColName, r.view.currentRow), QStringLiteral("Dora"));
        QVERIFY(r.view.stopAvailable && r.view.currentRowRunning);
        QCOMPARE(r.view.currentStartTick, 0);
        // Stops without selecting anything go in start order.
        r = race.stop(21000);
        QCOMPARE(race.cell(kColName, r.view.currentRow), QStringLiteral("Carl"));
        race.stop(22000);
        r = race.stop(23000);
        QCOMPARE(race.timeOf("4"), QStringLiteral("20,00"));
        // Nobody runs: the free row is current, ready to start.
        QVERIFY(r.view.startAvailable && !r.view.stopAvailable);
        QCOMPARE(race.cell(kColRaw, r.view.currentRow), QString());
    }

    // A stop writes the run time, its raw value and the place, and the
    // earliest-started runner still out becomes current; a faster later
    // stop takes place 1.
    void stop_writesTimeRanksAndStopsInStartOrder()
    {
        Race race;
        race.start(100000);
        race.start(101000);
        race.start(102000);
        QCOMPARE(race.cell(kColSplit, 3), QStringLiteral("2,00"));
        race.select(1);
        race.stop(112000);
        QCOMPARE(race.cell(kColZeit, 1), QStringLiteral("12,00"));
        QCOMPARE(race.cell(kColRaw, 1), QStringLiteral("12000"));
        QCOMPARE(race.cell(kColPlatz, 1), QStringLiteral("1"));
        QCOMPARE(race.current, 2);
        QCOMPARE(race.cell(kColRaw, 2), QStringLiteral("101000"));
        race.stop(112500); // 11,50: ranks first
        QCOMPARE(race.cell(kColZeit, 1), QStringLiteral("11,50"));
        QCOMPARE(race.cell(kColPlatz, 1), QStringLiteral("1"));
        QCOMPARE(race.cell(kColZeit, 2), QStringLiteral("12,00"));
        QCOMPARE(race.cell(kColPlatz, 2), QStringLiteral("2"));
        QCOMPARE(race.cell(kColRaw, 3), QStringLiteral("102000"));
        QCOMPARE(race.current, 3);
    }

    // Equal run times share a place; the next place counts them (1, 1, 3).
    void equalTimes_shareAPlace()
    {
        Race race;
        race.start(100000);
        race.start(100000);
        race.start(101500);
        race.select(1);
        race.stop(111500); // row 1: 11,50
        race.stop(110000); // the next runner, started with row 1: 10,00
        race.stop(111500); // the last, started 1,5 s later: 10,00
        QCOMPARE(race.cell(kColZeit, 1), QStringLiteral("10,00"));
        QCOMPARE(race.cell(kColZeit, 2), QStringLiteral("10,00"));
        QCOMPARE(race.cell(kColZeit, 3), QStringLiteral("11,50"));
        QCOMPARE(race.cell(kColPlatz, 1), QStringLiteral("1"));
        QCOMPARE(race.cell(kColPlatz, 2), QStringLiteral("1"));
        QCOMPARE(race.cell(kColPlatz, 3), QStringLiteral("3"));
    }

    // A start writes a whole number plain; "0" or no number becomes the
    // lowest number no entry has (never the row's index); a number with
    // letters and every name stay.
    void startNumbers_wholeOnesPlain_lettersKept_missingOnesTheLowestFree()
    {
        Race race;
        race.store.SetRowCount(5);
        const QStringList numbers { "007", "0", "x1", "" };
        const QStringList names { "Anna", "Bert", "Carl", "Dora" };
        for (int r = 1; r <= 4; ++r) {
            race.store.SetCell(kColNr, r, numbers[r - 1]);
            race.store.SetCell(kColName, r, names[r - 1]);
        }
        for (int i = 0; i < 4; ++i)
            race.start(1000 + i);
        QCOMPARE(race.cell(kColNr, 1), QStringLiteral("7"));
        QCOMPARE(race.cell(kColNr, 2), QStringLiteral("1"));
        QCOMPARE(race.cell(kColNr, 3), QStringLiteral("x1"));
        QCOMPARE(race.cell(kColNr, 4), QStringLiteral("2"));
        for (int r = 1; r <= 4; ++r)
            QCOMPARE(race.cell(kColName, r), names[r - 1]);
        QCOMPARE(race.rules.NewRowNumber(), 3); // "Neue Zeile" too
    }

    void tickWrap_keepsRunTimesAndStartOrderRight()
    {
        Race race;
        race.start(2147483000);
        race.start(static_cast<platform::Tick>(-2147483296)); // 1 s later, past the wrap
        QCOMPARE(race.cell(kColRaw, 2), QStringLiteral("-2147483296"));
        QCOMPARE(race.cell(kColSplit, 2), QStringLiteral("1,00"));
        QCOMPARE(race.rules.EarliestRunner(), 1);
        race.current = 2;
        race.stop(-2147481296); // 2 s after row 2's start
        QCOMPARE(race.timeOf("2"), QStringLiteral("2,00"));
        const race::RaceResult r = race.stop(-2147481296); // the current runner: row 1, 3 s
        QCOMPARE(race.timeOf("1"), QStringLiteral("3,00"));
        QCOMPARE(race.cell(kColRaw, race.rowOf("1")), QStringLiteral("3000"));
        QCOMPARE(r.view.currentRow, 3);
    }

    void stopFirst_stopsTheEarliestRunnerAndKeepsTheFreeRowCurrent()
    {
        Race race;
        race.settings(true);
        race.start(1000);
        race::RaceResult r = race.start(2000);
        QCOMPARE(r.view.currentRow, 3);
        QVERIFY(r.view.startAvailable && r.view.stopAvailable); // STOPP finds a runner by itself
        QVERIFY(!r.view.currentRowRunning); // display row 1 shows the free row: 0
        QVERIFY(r.view.stopBarrierFree); // START freed the stop barrier: STOPP is available

        // Only the barrier stops the earliest runner; STOPP by key or button
        // acts on the selected row, which is free: nobody is stopped.
        r = race.stop(10500);
        QCOMPARE(r.outcome, Outcome::NotAvailable);
        QCOMPARE(race.timeOf("1"), QString());
        QCOMPARE(race.rules.WhyNotStoppable(race.current), QStringLiteral("Die gewählte Zeile ist nicht gestartet"));
        const race::BarrierResult b = race.barrier(true, false, 11000);
        QCOMPARE(b.stop, Outcome::Stopped);
        QCOMPARE(race.timeOf("1"), QStringLiteral("10,00"));
        QCOMPARE(race.cell(kColRaw, b.view.currentRow), QString());
        QVERIFY(b.view.startAvailable);
        // The selected running row is stopped by the key.
        race.start(3000);
        race.current = race.rowOf("3");
        race.stop(4000);
        QCOMPARE(race.timeOf("3"), QStringLiteral("1,00"));
        QCOMPARE(race.timeOf("2"), QString());
        // A runner with a status is selected: the key stops nobody, and says
        // why, although others run.
        race.status("2", EntryStatus::DNF);
        race.current = race.rowOf("2");
        QCOMPARE(race.stop(5000).outcome, Outcome::NotAvailable);
        QCOMPARE(race.rules.WhyNotStoppable(race.rowOf("2")), QStringLiteral("Nr. 2 hat den Status DNF"));
        QCOMPARE(race.rules.WhyNotStoppable(race.rowOf("3")), QStringLiteral("Nr. 3 ist schon im Ziel"));
        QCOMPARE(race.timeOf("2"), QString());
    }

    // "Stopp zurücknehmen": the wrong entry runs on from its own start, its
    // stop is a loose impulse that the right runner gets, and Ctrl+Z takes
    // each step back, only while things stand as the step left them.
    void takeBackStop_givesTheStopToTheRightRunner_andUndoTakesEachStepBack()
    {
        Race race;
        race.start(1000); // 1
        race.start(2000); // 2
        race.select(race.rowOf("2"));
        race.stop(12345); // the official selected 2, but 1 finished
        QCOMPARE(race.timeOf("2"), QStringLiteral("10,34"));
        const QString stopText = TimeOfDayText(at(12345).timeOfDay);
        QVERIFY(!race.rules.CanTakeBackStop(race.rowOf("1"))); // runs: nothing to take back
        QVERIFY(race.rules.CanTakeBackStop(race.rowOf("2")));

        race::RaceResult r = race.apply(race.rules.TakeBackStop(race.rowOf("2")));
        QCOMPARE(r.outcome, Outcome::StopTakenBack);
        QCOMPARE(race.timeOf("2"), QString());
        QCOMPARE(race.cell(kColRaw, race.rowOf("2")), QStringLiteral("2000"));
        QCOMPARE(race.placeOf("2"), QStringLiteral("-"));
        QCOMPARE(race.rules.Interims().size(), size_t(1));
        QCOMPARE(race.rules.Interims()[0].stamp.tick, 12345);
        QCOMPARE(race.rules.Interims()[0].text, stopText);
        QVERIFY(r.view.clockRunning);

        // Ctrl+Z: the stop is 2's again, the loose impulse gone.
        QCOMPARE(race.rules.Undo(), race.rowOf("2"));
        race.apply(race.rules.RankRefresh(race.current));
        QCOMPARE(race.timeOf("2"), QStringLiteral("10,34"));
        QVERIFY(race.rules.Interims().empty());
        QVERIFY(!race.rules.CanUndo());

        // Again, and the impulse goes to 1, to the millisecond.
        race.apply(race.rules.TakeBackStop(race.rowOf("2")));
        race.select(race.rowOf("1"));
        r = race.apply(race.rules.InsertInterim(race.rowOf("1"), 0));
        QCOMPARE(r.outcome, Outcome::InterimInserted);
        QCOMPARE(race.cell(kColRaw, race.rowOf("1")), QStringLiteral("11345"));
        QCOMPARE(race.placeOf("1"), QStringLiteral("1"));
        // Ctrl+Z takes the insertion back: 1 runs, the impulse is loose.
        QCOMPARE(race.rules.Undo(), race.rowOf("1"));
        race.apply(race.rules.RankRefresh(race.current));
        QCOMPARE(race.cell(kColRaw, race.rowOf("1")), QStringLiteral("1000"));
        QVERIFY(!race.rules.Interims()[0].used);
        race.apply(race.rules.InsertInterim(race.rowOf("1"), 0));

        // 1's stop taken back and given back: the stop written by an
        // insertion is known too.
        race.apply(race.rules.TakeBackStop(race.rowOf("1")));
        QCOMPARE(race.rules.Interims().size(), size_t(2));
        QCOMPARE(race.rules.Interims()[1].stamp.tick, 12345);
        // A step that no longer stands is not taken back: the impulse used.
        race.select(race.rowOf("1"));
        race.apply(race.rules.InsertInterim(race.rowOf("1"), 1));
        race.apply(race.rules.TakeBackStop(race.rowOf("1")));
        race.select(race.rowOf("1"));
        race.stop(20000);
        QCOMPARE(race.rules.Undo(), -1);
        QCOMPARE(race.cell(kColRaw, race.rowOf("1")), QStringLiteral("19000"));

        // A free row and a row with a status have no stop to take back.
        QCOMPARE(race.apply(race.rules.TakeBackStop(race.store.RowCount() - 1)).outcome, Outcome::NotAvailable);
        race.status("1", EntryStatus::DSQ);
        QVERIFY(!race.rules.CanTakeBackStop(race.rowOf("1")));
    }

    // A loaded protocol's finished entries: the start follows from the first
    // start (a runner's) and "Split", the stop's time of day from "Start".
    void takeBackStop_ofALoadedEntry_usesItsSplitAndStart()
    {
        Race race;
        race.load({ { "1", "Anna", "10:00.00,00", "", "0,00", "-", "50000" },
            { "2", "Berg", "10:00.10,00", "1:00,50", "10,00", "1", "60500" } });
        QVERIFY(race.rules.CanTakeBackStop(race.rowOf("2")));
        race.apply(race.rules.TakeBackStop(race.rowOf("2")));
        QCOMPARE(race.cell(kColRaw, race.rowOf("2")), QStringLiteral("60000"));
        QCOMPARE(race.rules.Interims()[0].stamp.tick, 120500);
        QCOMPARE(race.rules.Interims()[0].text, QStringLiteral("10:01.10,50"));
        // Without a runner nothing tells the first start.
        Race done;
        done.load({ { "2", "Berg", "10:00.10,00", "1:00,50", "10,00", "1", "60500" } });
        QVERIFY(!done.rules.CanTakeBackStop(done.rowOf("2")));
    }

    void numbers_sortNaturally_andStartGivesTheLowestFreeOne()
    {
        Race race;
        race.load({ { "10", "a" }, { "2", "b" }, { "12a", "c" }, { "A7", "d" }, { "12", "e" }, { "", "f" } });
        race.order.SortCol = kColNr;
        race.apply(race.rules.RankRefresh(1));
        QStringList numbers;
        for (int r = 1; r < race.store.RowCount(); ++r)
            numbers << race.cell(kColNr, r);
        QCOMPARE(numbers, (QStringList { "2", "10", "12", "12a", "A7", "" }));
        QCOMPARE(race.rules.LowestFreeNumber(), 1);
        race.current = race.store.RowCount() - 1; // "f"
        race.start(1000);
        QCOMPARE(race.cell(kColName, race.rowOf("1")), QStringLiteral("f"));
        QCOMPARE(race.rules.LowestFreeNumber(), 3);
    }

    void barrier_reportsWhatBecameOfEachImpulse()
    {
        Race race;
        race::BarrierResult b = race.barrier(true, true, 1000);
        QCOMPARE(b.stop, Outcome::Locked);
        QCOMPARE(b.start, Outcome::Locked);
        race.rules.ToggleLock(Barrier::Start, race.current);
        race.rules.ToggleLock(Barrier::Stop, race.current);
        b = race.barrier(false, true, 1000);
        QCOMPARE(b.start, Outcome::Started);
        QCOMPARE(b.stop, Outcome::NotRequested);
        b = race.barrier(false, true, 1200);
        QCOMPARE(b.start, Outcome::LockoutRunning);
        race.apply(race.rules.LockoutEnded(Barrier::Start, race.current));
        // Stop impulse while the free row is current: kept as an interim time.
        b = race.barrier(true, false, 5000);
        QCOMPARE(b.stop, Outcome::InterimRecorded);
        QCOMPARE(race.rules.Interims().size(), size_t(1));
        QCOMPARE(race.rules.Interims()[0].stamp.tick, 5000);
        QCOMPARE(race.rules.Interims()[0].text, TimeOfDayText(at(5000).timeOfDay));
        QVERIFY(b.view.stopBarrierFree); // an interim time arms no lockout
        // On the running row the impulse stops it and locks the stop barrier.
        race.select(1);
        b = race.barrier(true, false, 6000);
        QCOMPARE(b.stop, Outcome::Stopped);
        QCOMPARE(race.timeOf("1"), QStringLiteral("5,00"));
        b = race.barrier(true, false, 6100);
        QCOMPARE(b.stop, Outcome::LockoutRunning);
        race.apply(race.rules.LockoutEnded(Barrier::Stop, race.current));
        b = race.barrier(true, false, 6200); // nobody runs: the lockout's end left it locked
        QCOMPARE(b.stop, Outcome::Locked);
        // START not available on a finished row.
        race.select(1);
        b = race.barrier(false, true, 7000);
        QCOMPARE(b.start, Outcome::NotAvailable);
    }

    void bothLines_stopFirstThenStartOnTheRowTheStopLeftCurrent()
    {
        Race race;
        race.rules.ToggleLock(Barrier::Start, 1);
        race.rules.ToggleLock(Barrier::Stop, 1);
        race.start(1000);
        race.apply(race.rules.LockoutEnded(Barrier::Start, race.current));
        race.select(1);
        const race::BarrierResult b = race.barrier(true, true, 3000);
        QCOMPARE(b.stop, Outcome::Stopped);
        QCOMPARE(b.start, Outcome::Started);
        QCOMPARE(race.cell(kColRaw, 2), QStringLiteral("3000"));
        QCOMPARE(b.view.currentRow, 3);
    }

    void interimInsert_becomesARealStop()
    {
        Race race;
        race.rules.InterimStop(1, at(500)); // before any start
        race.start(1000);
        race.start(2000);
        race.rules.InterimStop(race.current, at(9000));
        race.select(1);
        QVERIFY(!race.rules.CanInsertInterim(1, 0)); // taken before row 1 started
        QVERIFY(!race.rules.CanInsertInterim(1, 5));
        QVERIFY(race.rules.CanInsertInterim(1, 1));
        QVERIFY(!race.rules.CanInsertInterim(3, 1)); // a free row has nothing to stop
        race::RaceResult r = race.apply(race.rules.InsertInterim(1, 1));
        QCOMPARE(r.outcome, Outcome::InterimInserted);
        QCOMPARE(race.timeOf("1"), QStringLiteral("8,00"));
        QCOMPARE(race.cell(kColRaw, race.rowOf("1")), QStringLiteral("8000"));
        QCOMPARE(race.placeOf("1"), QStringLiteral("1"));
        QVERIFY(race.rules.Interims()[1].used);
        // Used once only, and the runner still running is current.
        QCOMPARE(r.view.currentRow, race.rowOf("2"));
        QCOMPARE(race.apply(race.rules.InsertInterim(race.current, 1)).outcome, Outcome::NotAvailable);
        QCOMPARE(race.timeOf("2"), QString());
    }

    void ende_haltsUntilARowIsSelected_andTheNextStartMakesItStoppable()
    {
        Race race;
        race.start(1000);
        race::RaceResult r = race.apply(race.rules.End(race.current, at(0)));
        QVERIFY(r.view.startBarrierFree); // START was available on the free row
        QCOMPARE(r.outcome, Outcome::Ended);
        QVERIFY(!r.view.startAvailable && !r.view.stopAvailable && !r.view.endAvailable);
        QVERIFY(!r.view.clockRunning && r.view.resetAvailable && !r.view.interimAvailable);
        QCOMPARE(race.start(1500).outcome, Outcome::NotAvailable);
        QCOMPARE(race.cell(kColRaw, 2), QString());

        r = race.select(2);
        QVERIFY(r.view.startAvailable);
        r = race.start(6000);
        QCOMPARE(race.cell(kColSplit, 2), QStringLiteral("5,00")); // on the old first start
        QVERIFY(r.view.clockRunning && r.view.endAvailable);
        // The selected running entry's time is shown after ENDE too.
        race.apply(race.rules.End(race.current, at(0)));
        r = race.select(1);
        QVERIFY(r.view.currentRowRunning);
        QCOMPARE(r.view.currentStartTick, 1000);
    }

    void reset_clearsTheRaceAndRefreshesTheRowState()
    {
        Race race;
        race.start(1000);
        race.select(1);
        race.rules.InterimStop(1, at(1200));
        race.apply(race.rules.End(1, at(0)));
        race.select(1); // a running row: STOPP available again
        QVERIFY(race.rules.View().stopAvailable);
        const race::RaceResult r = race.apply(race.rules.Reset());
        QCOMPARE(r.outcome, Outcome::Cleared);
        QCOMPARE(race.store.RowCount(), 2);
        QCOMPARE(race.store.Row(1), QStringList(kProtocolColCount));
        QVERIFY(r.view.startAvailable && !r.view.stopAvailable && !r.view.endAvailable);
        QVERIFY(!r.view.raceStarted && !r.view.clockRunning && r.view.settingsAvailable && !r.view.resetAvailable);
        QVERIFY(race.rules.Interims().empty());
        QCOMPARE(race.rules.Reset().outcome, Outcome::NotAvailable); // only after ENDE
    }

    void rowState_showsTheCurrentRowOnDisplayRowOne()
    {
        Race race;
        race.start(1000);
        race.start(2000);
        race.select(1);
        race.stop(3500);
        race::RaceResult r = race.select(race.rowOf("1"));
        QVERIFY(!r.view.currentRowRunning);
        QCOMPARE(r.view.row1Ms, 2500);
        r = race.select(race.rowOf("2"));
        QVERIFY(r.view.currentRowRunning);
        QCOMPARE(r.view.currentStartTick, 2000);
        QCOMPARE(race.rules.LatestStartTick(), 2000);
        r = race.select(3);
        QVERIFY(!r.view.currentRowRunning);
        QCOMPARE(r.view.row1Ms, 0);
    }

    void damagedRawColumn_stopThrowsAndWritesNothing()
    {
        Race race;
        race.start(1000);
        race.store.SetCell(kColRaw, 1, QStringLiteral("12x"));
        race::RaceResult r = race.select(1); // no throw: shown as 0
        QVERIFY(r.view.stopAvailable && !r.view.currentRowRunning);
        QVERIFY_THROWS_EXCEPTION(race::RaceError, race.rules.Stop(1, at(5000)));
        QCOMPARE(race.cell(kColZeit, 1), QString());
        QCOMPARE(race.rules.EarliestRunner(), -1);
    }

    void lockouts_armOnceAndFreeOnlyWhenTheCommandIsAvailable()
    {
        Race race;
        race.rules.ToggleLock(Barrier::Start, 1);
        race::RaceResult r = race.start(1000);
        QVERIFY(r.view.startLockoutRunning && !r.view.startBarrierFree);
        r = race.select(1); // a running row: START not available
        r = race.apply(race.rules.LockoutEnded(Barrier::Start, race.current));
        QVERIFY(!r.view.startLockoutRunning && !r.view.startBarrierFree);
        // Without a lockout time nothing runs; the barrier is still locked.
        race::RaceSettings s;
        s.startLockoutMs = 0;
        race.rules.SetSettings(s);
        race.current = 2;
        race.rules.ToggleLock(Barrier::Start, 2);
        r = race.start(2000);
        QVERIFY(!r.view.startLockoutRunning && !r.view.startBarrierFree);
    }

    void barrierDecision_followsTheAlgorithmTable()
    {
        using race::DecideBarrier;
        const std::uint32_t none = 0, cts = race::kModemCts, dsr = race::kModemDsr, both = cts | dsr;
        auto pair = [](race::BarrierRequests r) { return std::pair<bool, bool>(r.stop, r.start); };
        using P = std::pair<bool, bool>;
        QCOMPARE(pair(DecideBarrier(0, none)), P(false, false));
        QCOMPARE(pair(DecideBarrier(0, cts)), P(true, false));
        QCOMPARE(pair(DecideBarrier(0, dsr)), P(false, true));
        QCOMPARE(pair(DecideBarrier(0, both | 0x80)), P(true, true));
        QCOMPARE(pair(DecideBarrier(1, cts)), P(true, false));
        QCOMPARE(pair(DecideBarrier(1, dsr)), P(false, true));
        QCOMPARE(pair(DecideBarrier(1, both)), P(false, false));
        QCOMPARE(pair(DecideBarrier(2, both)), P(false, false));
        QCOMPARE(pair(DecideBarrier(-1, dsr)), P(false, false));
    }

    void lightBarriers_judgeEachChangeOnce_sameLevelsOnlyCatchUpLockouts()
    {
        Race race;
        race.load({ { "1", "Anna" }, { "2", "Ben" } });
        race.rules.ToggleLock(Barrier::Start, race.current);
        race.rules.ToggleLock(Barrier::Stop, race.current);
        race::LightBarriers barriers(race.rules);
        QList<QPair<std::uint32_t, std::uint32_t>> edges;
        int committed = 0;
        barriers.OnEdge = [&](std::uint32_t before, std::uint32_t after) { edges.append({ before, after }); };
        barriers.BeforeImpulse = [&] { ++committed; };

        // The first change counts whatever its levels: START for Anna.
        race::BarrierStep step = barriers.LineChanged(race::kModemDsr, at(1000), race.current);
        QVERIFY(step.asked && step.Wrote());
        QCOMPARE(step.result.start, Outcome::Started);
        QVERIFY(!race.cell(kColStart, race.rowOf("1")).isEmpty());
        race.current = step.result.view.currentRow;
        QCOMPARE(barriers.Levels(), race::kModemDsr);
        QCOMPARE(committed, 1);

        // The same levels again ask nothing, not even within the lockout ...
        step = barriers.LineChanged(race::kModemDsr, at(1500), race.current);
        QVERIFY(!step.asked && !step.changed);
        QCOMPARE(edges.size(), 1);
        // ... but end the start lockout that was over by their edge.
        QVERIFY(step.result.view.startLockoutRunning);
        step = barriers.LineChanged(race::kModemDsr, at(4000), race.current);
        QVERIFY(!step.asked && step.changed);
        QVERIFY(!step.result.view.startLockoutRunning);
        QCOMPARE(committed, 1);

        // The start line falls: the race is asked, nothing is requested.
        step = barriers.LineChanged(0, at(4100), race.current);
        QVERIFY(step.asked && !step.Wrote());
        QCOMPARE(step.result.start, Outcome::NotRequested);
        QCOMPARE(edges.last(), (QPair<std::uint32_t, std::uint32_t>(race::kModemDsr, 0)));

        // A line that was away is judged afresh: the same levels count again.
        barriers.LevelsUnknown();
        step = barriers.LineChanged(0, at(4200), race.current);
        QVERIFY(step.asked);

        // The stop barrier stops the selected runner at the edge's tick.
        race.current = race.rowOf("1");
        step = barriers.LineChanged(race::kModemCts, at(6000), race.current);
        QCOMPARE(step.result.stop, Outcome::Stopped);
        QCOMPARE(race.timeOf("1"), RunTimeText(5000, 2));
    }

    void lightBarriers_algorithmAus_ignoresBothLines_andAnImpulseCountsAsItsLine()
    {
        Race race;
        race.load({ { "1", "Anna" }, { "2", "Ben" } });
        race.rules.ToggleLock(Barrier::Start, race.current);
        race::LightBarriers barriers(race.rules);
        barriers.SetAlgorithm(1);
        race::BarrierStep step = barriers.LineChanged(race::kModemDsr | race::kModemCts, at(1000), race.current);
        QVERIFY(step.asked);
        QCOMPARE(step.result.start, Outcome::NotRequested);
        QCOMPARE(step.result.stop, Outcome::NotRequested);

        // A timing station's start impulse, mapped to this machine's tick.
        step = barriers.Impulse(Barrier::Start, at(2000), race.current);
        QCOMPARE(step.result.start, Outcome::Started);
        QCOMPARE(step.result.stop, Outcome::NotRequested);
        // The line's levels are the line's: an impulse does not change them.
        QCOMPARE(barriers.Levels(), race::kModemDsr | race::kModemCts);

        // A negative algorithm (the port list locked) gives no command.
        barriers.SetAlgorithm(-1);
        step = barriers.Impulse(Barrier::Stop, at(3000), race.current);
        QVERIFY(step.asked);
        QCOMPARE(step.result.stop, Outcome::NotRequested);
    }

    void newRow_takesTheLowestNumberNoEntryHasExactly_rowsWithTimesAreKnown()
    {
        Race race;
        race.load({ { "1", "Anna" }, { "2", "Ben" }, { "4", "Cem" }, { "007", "Dora" } });
        QCOMPARE(race.rules.NewRowNumber(), 3);
        race.rules.InsertRow(1, { "3", "Neue Zeile" });
        // "007" does not take 7; 5 and 6 are free first.
        QCOMPARE(race.rules.NewRowNumber(), 5);
        QList<QStringList> full;
        for (int n = 1; n <= 500; ++n)
            full.append({ QString::number(n), QStringLiteral("L%1").arg(n) });
        Race crowded;
        crowded.load(full);
        QCOMPARE(crowded.rules.NewRowNumber(), 9999);

        QVERIFY(!race.rules.RowHasTimes(race.rowOf("1")));
        race.current = race.rowOf("1");
        race.start(1000);
        QVERIFY(race.rules.RowHasTimes(race.rowOf("1")));
        QVERIFY(!race.rules.RowHasTimes(race.rowOf("2")));
        // Only a raw time, as a hand-edited log may hold.
        race.store.SetCell(kColRaw, race.rowOf("2"), QStringLiteral("4711"));
        QVERIFY(race.rules.RowHasTimes(race.rowOf("2")));
        QVERIFY(!race.rules.RowHasTimes(0));
        QVERIFY(!race.rules.RowHasTimes(race.store.RowCount()));
    }

    void everyOperation_isRecordedOnce_andReplaysToTheSameTable()
    {
        std::vector<race::CommandRecord> records;
        Race race;
        race.rules.OnCommand = [&](const race::CommandRecord& r) { records.push_back(r); };
        race.rules.ToggleLock(Barrier::Start, 1);
        race.rules.ToggleLock(Barrier::Stop, 1);
        race.barrier(false, true, 1000);
        race.start(1500);
        race.select(1);
        race.barrier(true, false, 9000);
        race.rules.InterimStop(race.current, at(9100));
        race.stop(9200);
        // The stop impulse at 9000 finds the start lockout of 1500 over: it
        // ends first, at the impulse's edge.
        QCOMPARE(records.size(), size_t(9));
        QCOMPARE(records[2].command, race::Command::BarrierImpulse);
        QCOMPARE(records[2].startOutcome, Outcome::Started);
        QCOMPARE(records[5].command, race::Command::LockoutEnded);
        QCOMPARE(records[5].barrier, Barrier::Start);
        QCOMPARE(records[6].outcome, Outcome::Stopped);
        QCOMPARE(records[6].stamp->tick, 9000);

        // Each replays through the journal's own lines to the same outcome.
        Race replay;
        for (const race::CommandRecord& r : records) {
            bool agrees = false;
            QVERIFY(race::ReplayCommand(replay.rules, race::CommandEntry(r, race.rules.Settings()), &agrees));
            QVERIFY2(agrees, race::CommandName(r.command));
        }
        for (int row = 0; row < race.store.RowCount(); ++row)
            QCOMPARE(replay.store.Row(row), race.store.Row(row));
        QCOMPARE(replay.rules.Interims().size(), race.rules.Interims().size());
    }

    void snapshot_showsTheRaceAsSpectatorsSeeIt()
    {
        Race race;
        race.store.SetRowCount(4);
        race.store.SetRow(1, { "5", QStringLiteral("Anna") });
        race.store.SetRow(2, { "6", QStringLiteral("Bert") });
        race.store.SetRow(3, { "7", QStringLiteral("Cleo") });
        race.start(10000);
        race.start(12000);
        race.select(1);
        race.stop(41500);
        const race::SnapshotColours colours;
        race::Snapshot s = race::TakeSnapshot(race.rules, 50000, QStringLiteral("Titel"), colours);
        QVERIFY(s.running);
        QCOMPARE(s.raceMs, 40000);
        QCOMPARE(s.title, QStringLiteral("Titel"));
        QCOMPARE(s.firstStart, TimeOfDayText(at(10000).timeOfDay)); // the shortest split, not the table's first row
        // Every row with a start, a number or a name; the free row a start
        // leaves at the end is not shown.
        QCOMPARE(s.entries.size(), size_t(3));
        QCOMPARE(s.entries[0].name, QStringLiteral("Anna"));
        QCOMPARE(s.entries[0].state, race::Race::RowState::Finished);
        QCOMPARE(s.entries[0].runMs, std::optional<std::int64_t>(31500));
        QCOMPARE(s.entries[0].place, QStringLiteral("1"));
        QCOMPARE(s.entries[1].state, race::Race::RowState::Running);
        QVERIFY(!s.entries[1].runMs);
        QCOMPARE(s.entries[2].state, race::Race::RowState::Free);
        QCOMPARE(race::LastFinishers(s, 5), std::vector<int>({ 0 }));

        // After ENDE the clock stands at ENDE's moment.
        race.apply(race.rules.End(race.current, at(52000)));
        s = race::TakeSnapshot(race.rules, 90000, QString(), colours);
        QVERIFY(!s.running);
        QCOMPARE(s.raceMs, 42000);
        QCOMPARE(s.RaceMsAt(s.takenAt + std::chrono::seconds(5)), 42000);
    }

    // The ranking itself, apart from the table: shared places, classes
    // counted apart, and what has no place.
    void ranking_sharesPlacesPerClassAndLeavesStatusesAndMissingTimesOut()
    {
        using race::RankInput;
        const std::vector<RankInput> entries {
            { 11000, EntryStatus::None, 1 },
            { 10000, EntryStatus::None, 2 },
            { 10000, EntryStatus::None, 1 },
            { 5000, EntryStatus::DSQ, 1 }, // fastest, but out
            { std::nullopt, EntryStatus::None, 2 },
            { 12000, EntryStatus::None, 2 },
        };
        const std::vector<race::RankPlaces> places = race::RankEntries(entries);
        QCOMPARE(places.size(), entries.size());
        QList<QPair<int, int>> got;
        for (const race::RankPlaces& p : places)
            got << qMakePair(p.inGroup, p.overall);
        QCOMPARE(got, (QList<QPair<int, int>> { { 2, 3 }, { 1, 1 }, { 1, 1 }, { 0, 0 }, { 0, 0 }, { 2, 4 } }));
        QVERIFY(race::RankEntries({}).empty());
    }

    void scoreRuns_sumNeedsBothBestNeedsOne_andRun2sStatusDecidesTheSum_data()
    {
        QTest::addColumn<int>("scoring");
        QTest::addColumn<int>("run1"); // -1: none
        QTest::addColumn<int>("run2");
        QTest::addColumn<QString>("status1");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("value"); // -1: no value
        QTest::addColumn<QString>("shows");
        QTest::newRow("sum of both") << 0 << 30000 << 31500 << ""
                                     << "" << 61500 << "";
        QTest::newRow("sum waits for run 2") << 0 << 30000 << -1 << ""
                                             << "" << -1 << "";
        QTest::newRow("sum: DNF in run 2") << 0 << 30000 << -1 << ""
                                           << "DNF" << -1 << "DNF";
        QTest::newRow("sum: DSQ in run 2 after a time") << 0 << 30000 << 29000 << ""
                                                        << "DSQ" << -1 << "DSQ";
        QTest::newRow("sum: DNF of run 1 carried") << 0 << -1 << -1 << "DNF"
                                                   << "DNF" << -1 << "DNF";
        QTest::newRow("sum: run 1's DSQ with a time") << 0 << 28000 << 29000 << "DSQ"
                                                      << "" << -1 << "DSQ";
        QTest::newRow("best of both") << 1 << 30000 << 29500 << ""
                                      << "" << 29500 << "";
        QTest::newRow("best: run 1 alone") << 1 << 30000 << -1 << ""
                                           << "" << 30000 << "";
        QTest::newRow("best: DNF in run 2 keeps run 1") << 1 << 30000 << -1 << ""
                                                        << "DNF" << 30000 << "";
        QTest::newRow("best: run 2 alone after a DSQ") << 1 << 28000 << 31000 << "DSQ"
                                                       << "" << 31000 << "";
        QTest::newRow("best: nothing counts") << 1 << -1 << -1 << "DNS"
                                              << "DNS" << -1 << "DNS";
    }
    void scoreRuns_sumNeedsBothBestNeedsOne_andRun2sStatusDecidesTheSum()
    {
        QFETCH(int, scoring);
        QFETCH(int, run1);
        QFETCH(int, run2);
        QFETCH(QString, status1);
        QFETCH(QString, status);
        QFETCH(int, value);
        QFETCH(QString, shows);
        const auto ms = [](int v) { return v < 0 ? std::nullopt : std::optional<std::int64_t>(v); };
        const race::RunsScore score
            = race::ScoreRuns({ ms(run1), ms(run2), StatusOfCell(status1), StatusOfCell(status) },
                static_cast<race::RunsScoring>(scoring));
        QCOMPARE(score.value, ms(value));
        QCOMPARE(StatusText(score.status), shows);
    }

    // Run 2's start list from run 1's places: rows are named by their
    // number here (row = number).
    void run2Order_reversesTheBest_tiesOnTheLastPlaceIncluded_data()
    {
        QTest::addColumn<QList<int>>("places"); // per entry 1.., 0 none, -1 DNF, -2 DSQ, -3 DNS
        QTest::addColumn<QList<int>>("groups");
        QTest::addColumn<int>("reverse");
        QTest::addColumn<QList<int>>("order");
        // 32 finishers, three tied on 30th: all 32 reversed.
        QList<int> tied;
        for (int i = 1; i <= 32; ++i)
            tied << std::min(i, 30);
        QList<int> all32;
        for (int i = 32; i >= 30; --i)
            all32 << i; // the tied in reverse start order
        for (int i = 29; i >= 1; --i)
            all32 << i;
        QTest::newRow("ties on 30th") << tied << QList<int>(32, 0) << 30 << all32;
        // 33 finishers, the 31st and later in run 1's order after the 30.
        QList<int> plain, plainOrder;
        for (int i = 1; i <= 33; ++i)
            plain << i;
        for (int i = 30; i >= 1; --i)
            plainOrder << i;
        plainOrder << 31 << 32 << 33;
        QTest::newRow("33 finishers") << plain << QList<int>(33, 0) << 30 << plainOrder;
        QTest::newRow("fewer than 30") << QList<int> { 2, 1, 3 } << QList<int> { 0, 0, 0 } << 30
                                       << QList<int> { 3, 1, 2 };
        // Places 1, 2, 2, 4 with the best 2 reversed: the tie on 2nd goes too.
        QTest::newRow("tie on the last reversed place")
            << QList<int> { 1, 2, 2, 4 } << QList<int> { 0, 0, 0, 0 } << 2 << QList<int> { 3, 2, 1, 4 };
        QTest::newRow("0 keeps run 1's order")
            << QList<int> { 3, 1, 2 } << QList<int> { 0, 0, 0 } << 0 << QList<int> { 2, 3, 1 };
        // Per class, classes in order; no place (a time that is no run time)
        // after the placed; statuses of run 1 at the end, class by class,
        // DNF, DSQ, DNS.
        QTest::newRow("classes and statuses")
            << QList<int> { -3, 1, 2, 0, -1, 2, 1, -2, 3, -1 } << QList<int> { 1, 1, 1, 1, 1, 0, 0, 0, 0, 0 } << 2
            << QList<int> { 6, 7, 9, 3, 2, 4, 10, 8, 5, 1 };
    }
    void run2Order_reversesTheBest_tiesOnTheLastPlaceIncluded()
    {
        QFETCH(QList<int>, places);
        QFETCH(QList<int>, groups);
        QFETCH(int, reverse);
        QFETCH(QList<int>, order);
        std::vector<race::Run1Entry> entries;
        for (int i = 0; i < places.size(); ++i) {
            race::Run1Entry e;
            e.row = i + 1;
            e.group = groups[i];
            const int p = places[i];
            e.place = std::max(0, p);
            e.status = p == -1 ? EntryStatus::DNF
                : p == -2      ? EntryStatus::DSQ
                : p == -3      ? EntryStatus::DNS
                               : EntryStatus::None;
            e.startedAt = 1000 * i;
            entries.push_back(e);
        }
        const std::vector<int> got = race::Run2Order(entries, reverse);
        QCOMPARE(QList<int>(got.begin(), got.end()), order);
    }

    // Eight entries in two classes through both runs: one gives up in run 1,
    // one never starts; run 2 starts the best two of each class in reverse,
    // with the one tied on 2nd; the result is the sum, with shared places.
    void twoRuns_run2StartsInReverse_andRanksBySumWithSharedPlaces()
    {
        Race race(kTableColCount);
        race::RaceSettings settings;
        settings.runs = 2;
        settings.runsReverse = 2;
        race.rules.SetSettings(settings);
        QList<QStringList> list;
        for (int i = 1; i <= 8; ++i)
            list << QStringList { QString::number(i), QStringLiteral("Name%1").arg(i), "", "", "", "", "",
                i <= 4 ? QStringLiteral("Damen") : QStringLiteral("Herren") };
        race.load(list);
        QCOMPARE(race.rules.Run(), 1);
        for (int i = 1; i <= 7; ++i)
            race.start(1000 * i); // Nr. 8 never starts
        const auto finish = [&](const QString& nr, platform::Tick t) {
            race.select(race.rowOf(nr));
            QCOMPARE(race.stop(t).outcome, Outcome::Stopped);
        };
        finish("1", 31000); // 30,00
        finish("2", 33000); // 31,00
        finish("3", 32000); // 29,00
        finish("5", 45000); // 40,00
        finish("6", 46000); // 40,00
        finish("7", 46000); // 39,00
        // Nr. 4 is still on course: run 2 waits for it.
        QVERIFY(race.rules.WhyNotRun2().contains(QStringLiteral("Nr. 4")));
        QCOMPARE(race.rules.BeginRun2(race.current).outcome, Outcome::NotAvailable);
        QCOMPARE(race.rules.Run(), 1);
        race.status("4", EntryStatus::DNF);
        QCOMPARE(race.rules.WhyNotRun2(), QString());
        QCOMPARE(race.rules.NotStartedInRun1(), QStringList { "8" });
        race.apply(race.rules.End(race.current, at(50000)));

        const race::RaceResult begun = race.apply(race.rules.BeginRun2(race.current));
        QCOMPARE(begun.outcome, Outcome::Run2Begun);
        QCOMPARE(race.rules.Run(), 2);
        QCOMPARE(race.rules.StartNumbers(), (QStringList { "1", "3", "2", "6", "5", "7", "4", "8" }));
        QCOMPARE(begun.view.currentRow, 1);
        QVERIFY(begun.view.startAvailable && !begun.view.raceStarted && !begun.view.clockRunning);
        QCOMPARE(race.rules.ClockAt(60000).ms, 0);
        // Run 1 stays with each entry; run 2's cells are empty.
        const int two = race.rowOf("2");
        QCOMPARE(race.cell(kColLauf1, two), QStringLiteral("31,00"));
        QCOMPARE(race.cell(kColLauf1Platz, two), QStringLiteral("3"));
        QCOMPARE(race.cell(kColLauf1Status, two), QString());
        for (const int c : { kColStart, kColZeit, kColSplit, kColRaw })
            QCOMPARE(race.cell(c, two), QString());
        QCOMPARE(race.cell(kColLauf1Status, race.rowOf("4")), QStringLiteral("DNF"));
        QCOMPARE(race.cell(kColLauf1, race.rowOf("4")), QString());
        QCOMPARE(race.rules.StatusOf(race.rowOf("8")), EntryStatus::DNS);
        QCOMPARE(race.rules.WhyNotRun2(), QStringLiteral("Der 2. Lauf hat schon begonnen"));
        // Between the runs spectators see the start list.
        race::Snapshot s = race::TakeSnapshot(race.rules, 60000, QString(), race::SnapshotColours());
        QVERIFY(s.startList);
        QCOMPARE(s.run, 2);
        QStringList shown;
        for (const race::SnapshotEntry& e : s.entries)
            shown << e.number;
        QCOMPARE(shown, race.rules.StartNumbers());

        // The clock starts afresh with run 2's first start; the DNF and the
        // DNS are passed over.
        for (int i = 0; i < 6; ++i)
            race.start(100000 + 1000 * i);
        QCOMPARE(race.cell(kColSplit, race.rowOf("1")), QStringLiteral("0,00"));
        QCOMPARE(race.cell(kColSplit, race.rowOf("3")), QStringLiteral("1,00"));
        QCOMPARE(race.rules.ClockAt(110000).ms, 10000);
        QCOMPARE(race.rules.StateOf(race.rowOf("4")), race::Race::RowState::Free);
        QVERIFY(!race.rules.Startable(race.rowOf("4")) && !race.rules.Startable(race.rowOf("8")));
        finish("1", 130000); // 30,00: 60,00
        // With the sum an entry that has only run 1 has no place yet.
        QCOMPARE(race.placeOf("3"), QStringLiteral("-"));
        QCOMPARE(race.cell(kColGesamtzeit, race.rowOf("3")), QString());
        finish("3", 132000); // 31,00: 60,00
        finish("2", 131500); // 29,50: 60,50
        finish("6", 142000); // 39,00: 79,00
        finish("7", 146000); // 41,00: 80,00
        race.status("5", EntryStatus::DSQ);
        QCOMPARE(race.placeOf("1") + race.placeOf("3") + race.placeOf("2"), QStringLiteral("113"));
        QCOMPARE(race.overallOf("2"), QStringLiteral("3"));
        QCOMPARE(race.placeOf("6") + race.placeOf("7"), QStringLiteral("12"));
        QCOMPARE(race.overallOf("7"), QStringLiteral("5"));
        QCOMPARE(race.placeOf("5") + race.placeOf("4") + race.placeOf("8"), QStringLiteral("DSQDNFDNS"));
        QCOMPARE(race.cell(kColGesamtzeit, race.rowOf("2")), RunTimeText(60500, 2));
        QCOMPARE(race.cell(kColGesamtzeit, race.rowOf("5")), QString());

        s = race::TakeSnapshot(race.rules, 150000, QString(), race::SnapshotColours());
        QVERIFY(!s.startList);
        const auto entry = [&](const QString& nr) {
            for (const race::SnapshotEntry& e : s.entries)
                if (e.number == nr)
                    return e;
            return race::SnapshotEntry();
        };
        QCOMPARE(entry("2").run1Ms, std::optional<std::int64_t>(31000));
        QCOMPARE(entry("2").run2Ms, std::optional<std::int64_t>(29500));
        QCOMPARE(entry("2").totalMs, std::optional<std::int64_t>(60500));
        QCOMPARE(entry("2").behind, QStringLiteral("+0,50"));
        QCOMPARE(entry("3").behind, QString()); // shares the lead
        QCOMPARE(entry("7").behind, QStringLiteral("+1,00")); // behind its class's leader
        QCOMPARE(entry("4").run1Status, QStringLiteral("DNF"));
        QVERIFY(!entry("5").run2Ms && !entry("5").totalMs);
        QCOMPARE(s.entries.front().number, QStringLiteral("1")); // the results' order again

        // "Bester Lauf": the DSQ of run 2 keeps run 1's 40,00, and 39,00
        // twice share the lead.
        settings.runsScoring = 1;
        race.rules.SettingsChanged(settings, race.current);
        race.apply(race.rules.RankRefresh(race.current));
        QCOMPARE(race.placeOf("6") + race.placeOf("7") + race.placeOf("5"), QStringLiteral("113"));
        QCOMPARE(race.cell(kColGesamtzeit, race.rowOf("2")), RunTimeText(29500, 2));
        QCOMPARE(race.placeOf("4"), QStringLiteral("DNF"));
        // Every output lists the DSQ of run 2 by its place, not among the
        // statuses.
        s = race::TakeSnapshot(race.rules, 150000, QString(), race::SnapshotColours());
        const QString klasse = entry("5").klasse;
        QStringList listed;
        for (const race::SnapshotEntry& e : s.entries)
            if (e.klasse == klasse)
                listed << e.number;
        QCOMPARE(listed.value(2), QStringLiteral("5"));
        QCOMPARE(QSet<QString>({ listed.value(0), listed.value(1) }), QSet<QString>({ "6", "7" }));
    }

    // With one run nothing of two runs shows, and "2. Lauf beginnen" is not
    // available.
    void oneRun_hasNoRunColumns_andNoRun2()
    {
        Race race(kTableColCount);
        race.load({ { "1", "Anna" }, { "2", "Bert" } });
        race.start(1000);
        race.start(2000);
        race.select(race.rowOf("1"));
        race.stop(5000);
        race.select(race.rowOf("2"));
        race.stop(7000);
        QVERIFY(!race.rules.WhyNotRun2().isEmpty());
        QCOMPARE(race.rules.BeginRun2(race.current).outcome, Outcome::NotAvailable);
        QCOMPARE(race.rules.Run(), 1);
        for (int r = 1; r < race.store.RowCount(); ++r)
            for (int c = kColLauf1; c < kRunsTableColCount; ++c)
                QCOMPARE(race.cell(c, r), QString());
        const race::Snapshot s = race::TakeSnapshot(race.rules, 9000, QString(), race::SnapshotColours());
        QVERIFY(s.run == 1 && s.runs == 1 && !s.startList);
        QVERIFY(s.entries[0].total.isEmpty() && !s.entries[0].run1Ms);
    }

    void runTimeValue_readsEveryAccuracy_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<qint64>("timeOfDay");
        QTest::newRow("hundredths") << "1:02.03,04" << qint64(3723040) << qint64(3723040);
        QTest::newRow("tenths") << "1.05,2" << qint64(65200) << qint64(-1);
        QTest::newRow("seconds") << "12" << qint64(12000) << qint64(-1);
        QTest::newRow("zero") << "0,00" << qint64(0) << qint64(-1);
        QTest::newRow("negative") << "-1,05" << qint64(-1050) << qint64(-1);
        QTest::newRow("not a time") << "n.a." << qint64(-1) << qint64(-1);
        QTest::newRow("three fraction digits") << "1,234" << qint64(-1) << qint64(-1);
        QTest::newRow("hours without minutes") << "1:05" << qint64(-1) << qint64(-1);
        QTest::newRow("empty") << "" << qint64(-1) << qint64(-1);
        QTest::newRow("dash") << "-" << qint64(-1) << qint64(-1);
        // A time of day has the form of a run time with hours.
        QTest::newRow("time of day") << "9:05.07,03" << qint64(32707030) << qint64(32707030);
        QTest::newRow("late time of day") << "23:59.59,99" << qint64(86399990) << qint64(86399990);
        QTest::newRow("hours beyond a day") << "25:00.00,00" << qint64(90000000) << qint64(-1);
        QTest::newRow("minutes beyond an hour") << "9:75.07,03" << qint64(36907030) << qint64(-1);
        QTest::newRow("time of day without hundredths") << "9:05.07" << qint64(32707000) << qint64(-1);
    }
    void runTimeValue_readsEveryAccuracy()
    {
        QFETCH(QString, text);
        QFETCH(qint64, ms);
        QFETCH(qint64, timeOfDay);
        const std::optional<std::int64_t> v = RunTimeValue(text);
        if (ms == -1)
            QVERIFY(!v);
        else
            QCOMPARE(v.value_or(-99), ms);
        QCOMPARE(TimeOfDayValue(text).value_or(-1), timeOfDay);
        // Every text the race writes reads back as its value, truncated to
        // the accuracy's unit.
        for (const std::int32_t t : { 0, 50, 65230, 3723040, 43200000 }) {
            for (const auto& [accuracy, unit] : { std::pair(0, 1000), std::pair(1, 100), std::pair(2, 10) })
                QCOMPARE(*RunTimeValue(RunTimeText(t, accuracy)), std::int64_t(t / unit * unit));
        }
    }
};

QTEST_GUILESS_MAIN(TestRaceRules)
#include "tst_racerules.moc"
