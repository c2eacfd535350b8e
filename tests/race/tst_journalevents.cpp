// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The journal's lines for the race commands, and running them again: a race
// recorded line by line and replayed on fresh rules ends in the same cells
// and values, across a wrap of the tick.
#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "gridstore/SortEngine.h"
#include "platform/BootClock.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "race/JournalEvents.h"
#include "race/JournalRecovery.h"
#include "support/TestSupport.h"

#include <QScopeGuard>
#include <QtTest>

#include <climits>

namespace {

struct Race {
    TCellStore store;
    TStoreTable table { store };
    TSortOptions order;
    race::Race rules { table, order };
    QList<race::JournalEntry> lines;
    QStringList digests; // the race after each line
    // The wall clock of the boot the lines are written in, at one tick.
    platform::Tick tick0 = 0;
    std::int64_t wall0 = 0;
    explicit Race(int cols = protocol::kProtocolColCount)
    {
        store.SetColCount(cols);
        store.SetRowCount(2);
        order.SortCol = protocol::kColZeit; // as the protocol's grid has it
        rules.OnCommand = [this](const race::CommandRecord& r) { note(race::CommandEntry(r, rules.Settings())); };
        rules.OnTableChange = [this](const race::TableRecord& r) { note(race::TableEntry(r)); };
    }
    // The journal's first line, as a new race's journal has it.
    void begin(const QString& boot, int version = race::kJournalVersion)
    {
        race::JournalEntry e;
        e.kind = race::kind::Begin;
        e.tick = tick0;
        e.Add(QStringLiteral("version"), version).Add(QStringLiteral("boot"), boot);
        note(e);
    }
    // Through the line format, as the file holds it.
    void note(race::JournalEntry e)
    {
        e.date = QDate(2026, 12, 9);
        if (!e.time.isValid())
            e.time = QTime(10, 0);
        e.seq = static_cast<std::uint64_t>(lines.size() + 1);
        e.wall = wall0 + platform::TickDiff(e.tick, tick0);
        const QByteArray line = race::FormatJournalLine(e);
        lines << *race::ParseJournalLine(line.chopped(1));
        digests << rules.Digest();
    }
    QByteArray bytes() const
    {
        QByteArray all;
        for (const race::JournalEntry& e : lines)
            all += race::FormatJournalLine(e);
        return all;
    }
    QString digest() const { return rules.Digest(); }
};

platform::Stamp stampAt(platform::Tick tick)
{
    return { tick, QTime(10, 0).addMSecs(tick % 100000) };
}

} // namespace

class TestJournalEvents : public QObject {
    Q_OBJECT
private slots:
    void everyCommandReplaysToTheSameRace_acrossATickWrap()
    {
        Race live;
        platform::Tick t = INT_MAX - 1500; // the tick wraps during the race
        const auto at = [&t](int ms) {
            t = static_cast<platform::Tick>(static_cast<std::uint32_t>(t) + static_cast<std::uint32_t>(ms));
            return platform::Stamp { t, QTime(10, 0).addMSecs(ms) };
        };
        live.rules.Start(1, at(0));
        live.rules.BarrierImpulse(false, true, 2, at(100)); // lockout running
        live.rules.LockoutEnded(race::Barrier::Start, 2);
        live.rules.BarrierImpulse(false, true, 2, at(900));
        live.rules.InterimStop(3, at(1000));
        live.rules.ToggleLock(race::Barrier::Stop, 3);
        live.rules.BarrierImpulse(true, false, 3, at(1200)); // stops the earliest? locked or not
        live.rules.RowStateRefresh(1);
        live.rules.Stop(1, at(800));
        live.rules.InsertInterim(2, 0);
        race::RaceSettings s = live.rules.Settings();
        s.stopFirst = true;
        s.accuracy = 1;
        live.rules.SetSettings(s);
        live.rules.SettingsChanged(s, 3);
        live.rules.RankRefresh(1);
        live.rules.End(1, at(50));
        QVERIFY(live.lines.size() >= 12);
        QVERIFY(live.rules.State().firstStart.has_value());
        QVERIFY(*live.rules.State().firstStart > 0); // started before the wrap

        Race replay;
        for (const race::JournalEntry& e : std::as_const(live.lines)) {
            bool agrees = false;
            QVERIFY(race::ReplayCommand(replay.rules, e, &agrees).has_value());
            QVERIFY2(agrees, qPrintable(e.kind));
        }
        QCOMPARE(replay.digest(), live.digest());
        QCOMPARE(replay.rules.Settings().accuracy, 1);
        QCOMPARE(replay.rules.Interims().size(), live.rules.Interims().size());
    }

    void tableChangesAndCommands_replayIntoAFreshRace()
    {
        using namespace protocol;
        Race live;
        const auto at = [](platform::Tick t) { return platform::Stamp { t, QTime(10, 0).addMSecs(t) }; };
        live.rules.Load({ { "1", "Anna" }, { "2", "Bert" }, { "3", "Cleo" } }, QStringLiteral("start.txt"));
        live.rules.Loaded(1);
        live.rules.Start(1, at(1000));
        live.rules.Start(2, at(2000));
        // The grid writes an edit itself and reports it.
        live.store.SetCell(kColName, 2, QStringLiteral("Bernd"));
        live.rules.CellEdited(kColName, 2, QStringLiteral("Bert"), QStringLiteral("Bernd"));
        const int inserted = live.rules.InsertRow(3, { "9", "Neu" });
        QCOMPARE(live.store.Cell(kColName, inserted), QStringLiteral("Neu"));
        live.rules.RemoveRow(inserted);
        live.rules.Undo();
        live.rules.RemoveRow(1); // Anna goes, and stays gone: Ctrl+Z is still possible
        live.rules.Stop(1, at(5000));
        // A header click: the grid sorts by "Name" descending, then reports it.
        live.order.SortDirection = sdDescending;
        live.order.SortCol = kColName;
        SortTableForDisplay(
            live.table, live.order,
            [&live](int col, TSortStyle& style) { race::ProtocolSortStyle(col, style, live.order); }, 1);
        live.rules.Sorted(kColName, sdDescending);

        Race replay;
        const race::ReplayReport report = race::ReplayJournal(replay.rules, live.lines);
        QCOMPARE(report.disagreeing, 0);
        QCOMPARE(replay.digest(), live.digest());
        QVERIFY(replay.rules.CanUndo());
        QCOMPARE(replay.lines.size(), 0); // the replay is not recorded again
        QCOMPARE(replay.store.Row(1), live.store.Row(1));

        // An edit whose old text the table does not hold did not happen as
        // recorded.
        QList<race::JournalEntry> changed = live.lines;
        for (race::JournalEntry& e : changed)
            if (e.kind == race::kind::Edit)
                e.fields[2].second = QStringLiteral("Berta");
        Race other;
        QCOMPARE(race::ReplayJournal(other.rules, changed).disagreeing, 1);
    }

    // A stop taken back, given to another runner, undone and given again:
    // each step a line, replayed to the same table and interim list; a
    // journal that begins with the race as it stands keeps what the stops
    // were, so a stop is taken back the same way after a recovery.
    void takenBackStops_replayThroughTheJournal_andItsStateLine()
    {
        using namespace protocol;
        const auto rowOf = [](const Race& r, const QString& nr) {
            for (int row = 1; row < r.store.RowCount(); ++row)
                if (r.store.Cell(kColNr, row) == nr)
                    return row;
            return -1;
        };
        Race live;
        const auto at = [](platform::Tick t) { return platform::Stamp { t, QTime(10, 0).addMSecs(t) }; };
        live.rules.Load({ { "1", "Anna" }, { "2", "Bert" } }, QStringLiteral("start.txt"));
        live.rules.Loaded(1);
        live.rules.Start(1, at(1000));
        live.rules.Start(2, at(2000));
        live.rules.Stop(rowOf(live, "2"), at(9876)); // Bert had been selected; Anna finished
        QCOMPARE(live.rules.TakeBackStop(rowOf(live, "2")).outcome, race::Outcome::StopTakenBack);
        live.rules.InsertInterim(rowOf(live, "1"), 0);
        QVERIFY(live.rules.Undo() >= 1);
        live.rules.RankRefresh(1);
        live.rules.InsertInterim(rowOf(live, "1"), 0);
        live.rules.RankRefresh(1);
        QCOMPARE(live.store.Cell(kColRaw, rowOf(live, "1")), QStringLiteral("8876"));
        QCOMPARE(live.store.Cell(kColRaw, rowOf(live, "2")), QStringLiteral("2000"));

        Race replay;
        const race::ReplayReport report = race::ReplayJournal(replay.rules, live.lines);
        QCOMPARE(report.disagreeing, 0);
        QCOMPARE(report.used, live.lines.size());
        QCOMPARE(replay.digest(), live.digest());
        QCOMPARE(replay.rules.Interims().size(), size_t(1));
        QVERIFY(replay.rules.Interims()[0].used);

        // After a recovery the journal begins with the race as it stands.
        race::JournalEntry state = race::StateEntry(live.rules, 1, 0, 0);
        state.seq = 1;
        state.date = QDate(2026, 12, 9);
        state.time = QTime(10, 0);
        const std::optional<race::JournalEntry> read
            = race::ParseJournalLine(race::FormatJournalLine(state).chopped(1));
        QVERIFY(read);
        Race recovered;
        QCOMPARE(race::ReplayJournal(recovered.rules, { *read }).disagreeing, 0);
        QCOMPARE(recovered.digest(), live.digest());
        QCOMPARE(recovered.rules.TakeBackStop(rowOf(recovered, "1")).outcome, race::Outcome::StopTakenBack);
        QCOMPARE(recovered.store.Cell(kColRaw, rowOf(recovered, "1")), QStringLiteral("1000"));
        QCOMPARE(recovered.rules.Interims().back().stamp.tick, 9876);
    }

    void stateAndRows_readBackAsWritten()
    {
        Race live;
        live.store.SetRowCount(4);
        live.store.SetRow(1, { QStringLiteral("7"), QStringLiteral("Anna, \"die Schnelle\"") });
        live.store.SetRow(2, { QStringLiteral(" 8"), QStringLiteral("Bernd\tTab"), QString(), QStringLiteral("x ") });
        live.rules.Start(1, { 1000, QTime(9, 0) });
        live.rules.InterimStop(2, { 1500, QTime(9, 0, 1) });
        race::JournalEntry e;
        e.kind = race::kind::State;
        e.date = QDate(2026, 12, 9);
        e.time = QTime(9, 0);
        race::AddState(e, live.rules.State());
        race::AddRows(e, live.table, protocol::kProtocolColCount);
        const std::optional<race::JournalEntry> read = race::ParseJournalLine(race::FormatJournalLine(e).chopped(1));
        QVERIFY(read);

        Race back;
        const QList<QStringList> rows = race::RowsOf(*read);
        back.store.SetRowCount(static_cast<int>(rows.size()) + 1);
        for (int i = 0; i < rows.size(); ++i)
            back.store.SetRow(i + 1, rows[i]);
        back.rules.RestoreState(race::StateOf(*read), 1);
        QCOMPARE(back.digest(), live.digest());
    }

    void statusesAndClasses_replayThroughTheJournal()
    {
        using namespace protocol;
        Race live(kTableColCount);
        const auto at = [](platform::Tick t) { return platform::Stamp { t, QTime(10, 0).addMSecs(t) }; };
        live.rules.Load(
            { { "1", "Anna", "", "", "", "", "", "Damen" }, { "2", "Bert", "", "", "", "", "", "Herren" },
                { "3", "Cleo", "", "", "", "", "", "Damen" }, { "4", "Dan", "", "", "", "", "", "Herren" } },
            QStringLiteral("start.txt"));
        live.rules.Loaded(1);
        QVERIFY(live.rules.SetStatus(2, EntryStatus::DNS));
        live.rules.RankRefresh(1);
        live.rules.Start(1, at(1000)); // Anna; Bert will not start
        live.rules.Start(3, at(2000)); // Cleo
        live.rules.Start(4, at(3000)); // Dan
        QVERIFY(live.rules.SetStatus(1, EntryStatus::DNF));
        live.rules.RankRefresh(1);
        live.rules.Stop(live.rules.EarliestRunner(), at(9000));
        QVERIFY(live.rules.Undo() >= 1); // Anna runs again
        live.rules.RankRefresh(1);
        live.rules.Stop(live.rules.EarliestRunner(), at(9500));
        QVERIFY(live.rules.SetStatus(live.rules.EarliestRunner(), EntryStatus::DSQ));
        live.rules.RankRefresh(1);
        QList<QString> kinds;
        for (const race::JournalEntry& e : std::as_const(live.lines))
            kinds << e.kind;
        QCOMPARE(kinds.count(race::kind::Status), 3);
        QCOMPARE(kinds.count(race::kind::StatusBack), 1);

        Race replay(kTableColCount);
        const race::ReplayReport report = race::ReplayJournal(replay.rules, live.lines);
        QCOMPARE(report.disagreeing, 0);
        QCOMPARE(replay.digest(), live.digest());
        for (int r = 1; r < live.store.RowCount(); ++r)
            QCOMPARE(replay.store.Row(r), live.store.Row(r));
        QVERIFY(replay.rules.CanUndo()); // the DSQ can still be taken back
        QCOMPARE(replay.rules.ClassOrder(), (QStringList { "Damen", "Herren" }));

        // A journal that begins with such a race keeps classes, statuses and
        // the classes' order; one without classes keeps the log's seven
        // columns.
        const race::JournalEntry state = race::StateEntry(live.rules, 1, 0, 0);
        QCOMPARE(race::RowsOf(state).first().size(), kClassColCount);
        Race back(kTableColCount);
        QCOMPARE(race::ReplayJournal(back.rules, { state }).disagreeing, 0);
        QCOMPARE(back.digest(), live.digest());
        Race plain;
        plain.rules.Start(1, at(1000));
        QCOMPARE(race::RowsOf(race::StateEntry(plain.rules, 1, 0, 0)).first().size(), kProtocolColCount);
    }

    // A race of two runs comes back the same from a journal cut between
    // the runs and from one cut during run 2; a journal begun in run 2
    // keeps run 1 in its rows.
    void twoRuns_replayIdentically_cutBetweenTheRunsAndDuringRun2()
    {
        using namespace protocol;
        Race live(kTableColCount);
        const auto at = [](platform::Tick t) { return platform::Stamp { t, QTime(10, 0).addMSecs(t) }; };
        const auto rowOf = [&](const QString& nr) {
            for (int r = 1; r < live.store.RowCount(); ++r)
                if (live.store.Cell(kColNr, r) == nr)
                    return r;
            return -1;
        };
        race::RaceSettings settings;
        settings.runs = 2;
        settings.runsReverse = 1;
        live.rules.SettingsChanged(settings, 1);
        live.rules.Load(
            { { "1", "Anna", "", "", "", "", "", "Damen" }, { "2", "Bert", "", "", "", "", "", "Damen" },
                { "3", "Cleo", "", "", "", "", "", "Damen" }, { "4", "Dan", "", "", "", "", "", "Herren" } },
            QStringLiteral("start.txt"));
        int current = live.rules.Loaded(1).view.currentRow;
        for (const platform::Tick t : { 1000, 2000, 3000, 4000 })
            current = live.rules.Start(current, at(t)).view.currentRow;
        live.rules.Stop(rowOf("1"), at(31000));
        live.rules.Stop(rowOf("3"), at(32000));
        live.rules.Stop(rowOf("4"), at(44000));
        QVERIFY(live.rules.SetStatus(rowOf("2"), EntryStatus::DNF));
        live.rules.RankRefresh(1);
        live.rules.End(1, at(50000));
        QCOMPARE(live.rules.BeginRun2(1).outcome, race::Outcome::Run2Begun);
        const qsizetype betweenRuns = live.lines.size();
        QCOMPARE(live.lines.last().kind, race::kind::Run2);
        QCOMPARE(live.lines.last().Field(QStringLiteral("folge")), QStringLiteral("3,1,4,2"));
        current = 1;
        for (const platform::Tick t : { 100000, 101000, 102000 })
            current = live.rules.Start(current, at(t)).view.currentRow;
        live.rules.Stop(rowOf("3"), at(130000));
        // Ctrl+Z brings a removed entry back with its run 1.
        QVERIFY(live.rules.RemoveRow(rowOf("2")) >= 1);
        QCOMPARE(rowOf("2"), -1);
        QVERIFY(live.rules.Undo() >= 1);
        QCOMPARE(live.store.Cell(kColLauf1Status, rowOf("2")), QStringLiteral("DNF"));
        const qsizetype duringRun2 = live.lines.size();
        live.rules.Stop(rowOf("1"), at(131500));
        live.rules.Stop(rowOf("4"), at(142000));

        for (const qsizetype cut : { betweenRuns, duringRun2, live.lines.size() }) {
            Race replay(kTableColCount);
            const race::ReplayReport report = race::ReplayJournal(replay.rules, live.lines.mid(0, cut));
            QCOMPARE(report.disagreeing, 0);
            QCOMPARE(replay.digest(), live.digests[cut - 1]);
            QCOMPARE(replay.rules.Run(), 2);
        }
        Race replay(kTableColCount);
        race::ReplayJournal(replay.rules, live.lines);
        for (int r = 1; r < live.store.RowCount(); ++r)
            for (int c = 0; c < kRunsTableColCount; ++c)
                QCOMPARE(replay.store.Cell(c, r), live.store.Cell(c, r));

        // A start list of run 2 that comes out otherwise is not the race
        // the journal recorded.
        QList<race::JournalEntry> changed = live.lines.mid(0, betweenRuns);
        for (auto& [key, value] : changed.last().fields)
            if (key == QLatin1String("folge"))
                value = QStringLiteral("1,3,4,2");
        Race other(kTableColCount);
        QCOMPARE(race::ReplayJournal(other.rules, changed).disagreeing, 1);

        const race::JournalEntry state = race::StateEntry(live.rules, 1, 0, 0);
        QCOMPARE(race::RowsOf(state).first().size(), kRunsSavedColCount);
        QCOMPARE(race::SettingsOf(state, race::RaceSettings()).runs, 2);
        Race back(kTableColCount);
        QCOMPARE(race::ReplayJournal(back.rules, { state }).disagreeing, 0);
        QCOMPARE(back.digest(), live.digest());
    }

    // A journal that goes wrong somewhere is taken back as the race stood
    // at its last good line, and what follows is listed, not replayed.
    void damagedJournal_isTakenBackAsItStoodAtItsLastGoodLine_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("first"); // the first line (from 0) that cannot be used
        QTest::addColumn<QString>("stop");
        QTest::newRow("an event missing") << "gap" << 4 << "Zeile 5: Ereignis 5 fehlt";
        QTest::newRow("a bad checksum in the middle") << "checksum" << 5 << "Zeile 6: Prüfsumme falsch";
        QTest::newRow("a kind of a later program") << "kind" << 6 << "Ereignis 7: unbekannte Art \"ETAPPE\"";
        QTest::newRow("a journal of a later format")
            << "version" << 0 << "Ereignis 1: ein Journal im Format 3 einer neueren Programmversion";
    }
    void damagedJournal_isTakenBackAsItStoodAtItsLastGoodLine()
    {
        QFETCH(QString, damage);
        QFETCH(int, first);
        QFETCH(QString, stop);
        Race live;
        live.tick0 = 1000;
        live.wall0 = 1796150703120;
        live.begin(QStringLiteral("boot-a"), damage == QLatin1String("version") ? 3 : race::kJournalVersion);
        live.rules.Load({ { "1", "Anna" }, { "2", "Bert" }, { "3", "Cleo" } }, QStringLiteral("start.txt"));
        live.rules.Loaded(1);
        live.rules.Start(1, stampAt(1000));
        live.rules.Start(2, stampAt(2000));
        live.rules.Start(3, stampAt(3000));
        live.rules.Stop(1, stampAt(5000));
        live.rules.InterimStop(1, stampAt(6000));
        live.rules.Stop(1, stampAt(7000));
        live.rules.End(1, stampAt(8000));
        QByteArray bytes = live.bytes();
        const qsizetype from = first == 0 ? 0 : bytes.indexOf(race::FormatJournalLine(live.lines[first]));
        const qsizetype to = from + race::FormatJournalLine(live.lines[first]).size();
        if (damage == QLatin1String("gap")) {
            bytes.remove(from, to - from);
        } else if (damage == QLatin1String("checksum")) {
            bytes[from + 20] = bytes[from + 20] == '1' ? '2' : '1';
        } else if (damage == QLatin1String("kind")) {
            race::JournalEntry later = live.lines[first];
            later.kind = QStringLiteral("ETAPPE");
            bytes.replace(from, to - from, race::FormatJournalLine(later));
        }
        const int kept = static_cast<int>(live.lines.size()) - (damage == QLatin1String("gap") ? 1 : 0);

        Race back;
        const race::JournalRecovery r
            = race::RecoverJournal(back.rules, race::ParseJournal(bytes), { QStringLiteral("boot-a"), 9000, 0 });
        QCOMPARE(r.used, first);
        QCOMPARE(r.stop, stop);
        QCOMPARE(back.digest(), first == 0 ? Race().digest() : live.digests[first - 1]);
        QCOMPARE(r.unused.size(), kept - first);
        QCOMPARE(r.unused.first().line, first + 1);
        QCOMPARE(r.unused.last().seq, QString::number(live.lines.size()));
        QCOMPARE(r.unused.last().kind, QStringLiteral("ENDE"));
        QCOMPARE(r.lastSeq, std::uint64_t(first));
    }

    // A power cut, and the race taken back in the next boot of the machine:
    // its tick counter has started again, the wall clock has gone on.
    void recoveryInAnotherBoot_runnersGoOnByTheWallClock_finishedTimesStay()
    {
        Race live;
        live.tick0 = INT_MAX - 4000; // the tick wraps during the race
        live.wall0 = 1796150703120;
        const auto tickA = [&live](int ms) { return platform::TickDiff(live.tick0, -ms); };
        live.begin(QStringLiteral("boot-a"));
        live.rules.Start(1, stampAt(tickA(0)));
        live.rules.Start(2, stampAt(tickA(1000)));
        live.rules.Start(3, stampAt(tickA(2000)));
        live.rules.InterimStop(4, stampAt(tickA(9000)));
        live.rules.Stop(1, stampAt(tickA(10000))); // the last event
        QCOMPARE(live.store.Cell(protocol::kColZeit, 1), QStringLiteral("10,00"));
        const race::JournalContents contents = race::ParseJournal(live.bytes());
        const std::int64_t lastWall = live.wall0 + 10000;

        // The machine was off for an hour; this boot's tick is at 20 s.
        ScopedFakeTick tick(20000);
        platform::SetBootIdSource([] { return QStringLiteral("boot-b"); });
        std::int64_t wall = lastWall + 3600000;
        platform::SetWallClockSource([&wall] { return wall; });
        const auto systemClocks = qScopeGuard([] {
            platform::SetBootIdSource({});
            platform::SetWallClockSource({});
        });
        Race back;
        race::JournalRecovery r = race::RecoverJournal(back.rules, contents, race::ClockNow::Read());
        QCOMPARE(r.mapping, race::TickMapping::WallClock);
        QCOMPARE(r.gapMs, 3600000);
        QCOMPARE(back.store.Cell(protocol::kColZeit, 1), QStringLiteral("10,00"));
        QCOMPARE(back.store.Cell(protocol::kColRaw, 1), QStringLiteral("10000"));
        QCOMPARE(back.store.Row(1), live.store.Row(1));
        QCOMPARE(r.runners.size(), 2);
        // Entry 2 ran 9 s until the last event, then the hour: on course
        // now, the race clock and the entry's time go on from there.
        QCOMPARE(back.rules.ClockAt(20000).ms, 10000 + 3600000);
        const int row2 = back.store.Cell(protocol::kColNr, 1) == QLatin1String("2") ? 1 : 2;
        QCOMPARE(
            platform::TickDiff(20000, back.rules.Table().TableCell(protocol::kColRaw, row2).toInt()), 9000 + 3600000);
        // The interim time keeps its distance to the starts.
        QCOMPARE(platform::TickDiff(back.rules.Interims()[0].stamp.tick, *back.rules.FirstStart()), 9000);
        back.rules.Stop(row2, platform::Stamp { 20500, QTime(11, 0) });
        QVERIFY(back.store.Cell(protocol::kColZeit, 1) == QStringLiteral("10,00"));
        const QStringList zeit = { back.store.Cell(protocol::kColZeit, 2), back.store.Cell(protocol::kColZeit, 3) };
        QVERIFY2(zeit.contains(QStringLiteral("1:00.09,50")), qPrintable(zeit.join(QLatin1Char('|'))));

        // A clock that went back, or forward by more than a day, cannot say
        // how long the machine was off: the runners stay on course from the
        // journal's last event, and they are named.
        for (const std::int64_t off : { -5000LL, 2LL * 24 * 3600000 }) {
            wall = lastWall + off;
            Race other;
            r = race::RecoverJournal(other.rules, contents, race::ClockNow::Read());
            QCOMPARE(r.mapping, off < 0 ? race::TickMapping::ClockBackwards : race::TickMapping::ClockJumped);
            QCOMPARE(r.runners,
                (QStringList { QStringLiteral("Nr. 2 (Start %1)").arg(live.store.Cell(2, 2)),
                    QStringLiteral("Nr. 3 (Start %1)").arg(live.store.Cell(2, 3)) }));
            QCOMPARE(other.rules.ClockAt(20500).ms, 10500);
            QCOMPARE(other.store.Row(1), live.store.Row(1));
            QCOMPARE(other.rules.StateOf(2), race::Race::RowState::Running);
        }

        // In the same boot the ticks hold as they are.
        platform::SetBootIdSource([] { return QStringLiteral("boot-a"); });
        Race same;
        r = race::RecoverJournal(same.rules, contents, race::ClockNow::Read());
        QCOMPARE(r.mapping, race::TickMapping::SameBoot);
        QCOMPARE(same.digest(), live.digest());
    }

    // Entries with a status have a start and no stop, yet nobody waits for
    // them at the finish. A wall clock set while the tick counter ran on (the
    // same boot) is measured against the ticks: an hour back and two minutes
    // on are told, half a minute (a time service's step) is not.
    void recoveryInTheSameBoot_countsOnlyRunnersWithoutStatus_andMeasuresAClockThatWasSet()
    {
        Race live;
        live.tick0 = 50000;
        live.wall0 = 1796150703120;
        live.begin(QStringLiteral("boot-a"));
        for (int row = 1; row <= 4; ++row)
            live.rules.Start(row, stampAt(50000 + row * 1000));
        const auto rowOf = [&live](const char* nr) {
            for (int row = 1; row < live.store.RowCount(); ++row)
                if (live.store.Cell(protocol::kColNr, row) == QLatin1String(nr))
                    return row;
            return -1;
        };
        QVERIFY(live.rules.SetStatus(rowOf("2"), protocol::EntryStatus::DNF));
        QVERIFY(live.rules.SetStatus(rowOf("3"), protocol::EntryStatus::DSQ));
        const race::JournalContents contents = race::ParseJournal(live.bytes());
        const race::JournalEntry& last = contents.entries.last();

        // Twenty seconds later by the tick counter.
        const platform::Tick now = last.tick + 20000;
        const struct {
            std::int64_t wallSince; // the wall clock's move since the last event
            std::int64_t told;
        } cases[] = { { 20000, 0 }, { 20000 - 30000, 0 }, { 20000 + 30000, 0 }, { 20000 - 3720000, -3720000 },
            { 20000 + 120000, 120000 } };
        for (const auto& c : cases) {
            Race back;
            const race::JournalRecovery r = race::RecoverJournal(
                back.rules, contents, { QStringLiteral("boot-a"), now, last.wall + c.wallSince });
            QCOMPARE(r.mapping, race::TickMapping::SameBoot);
            QCOMPARE(r.clockSetMs, c.told);
            QCOMPARE(r.entries, 4);
            QStringList runners = r.runners;
            runners.sort();
            QCOMPARE(runners.size(), 2);
            QVERIFY2(runners[0].startsWith(QStringLiteral("Nr. 1 ")) && runners[1].startsWith(QStringLiteral("Nr. 4 ")),
                qPrintable(runners.join(QLatin1Char('|'))));
            QCOMPARE(back.digest(), live.digest());
        }
    }
};

QTEST_GUILESS_MAIN(TestJournalEvents)
#include "tst_journalevents.moc"
