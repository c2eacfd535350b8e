// The journal's lines for the race commands, and running them again: a race
// recorded line by line and replayed on fresh rules ends in the same cells
// and values, across a wrap of the tick.
#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "gridstore/SortEngine.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "race/JournalEvents.h"

#include <QtTest>

#include <climits>

namespace {

struct Race {
    TCellStore store;
    TStoreTable table { store };
    TSortOptions order;
    race::Race rules { table, order };
    QList<race::JournalEntry> lines;
    explicit Race(int cols = protocol::kProtocolColCount)
    {
        store.SetColCount(cols);
        store.SetRowCount(2);
        rules.OnCommand = [this](const race::CommandRecord& r) { note(race::CommandEntry(r, rules.Settings())); };
        rules.OnTableChange = [this](const race::TableRecord& r) { note(race::TableEntry(r)); };
    }
    // Through the line format, as the file holds it.
    void note(race::JournalEntry e)
    {
        e.date = QDate(2026, 12, 9);
        if (!e.time.isValid())
            e.time = QTime(10, 0);
        e.seq = static_cast<std::uint64_t>(lines.size() + 1);
        const QByteArray line = race::FormatJournalLine(e);
        lines << *race::ParseJournalLine(line.chopped(1));
    }
    QString digest() const { return rules.Digest(); }
};

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

    void tornEndIsCut_soTheNextLineStartsOnItsOwn()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("j.journal"));
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("000001 1 2026-12-09T10:00:00.000 BEGIN *0\n000002 2 2026-12-09T10:0");
        f.close();
        QVERIFY(race::CutTornEnd(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("000001 1 2026-12-09T10:00:00.000 BEGIN *0\n"));
    }
};

QTEST_GUILESS_MAIN(TestJournalEvents)
#include "tst_journalevents.moc"
