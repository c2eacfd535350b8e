// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The finish's side of the timing stations without a window: a real station
// server on 127.0.0.2 whose clock runs 2.5 s ahead, the race over a table of
// five runners, and the unit between them. Starts reach the right runners at
// the right ticks, the finish's own line waits for the start station, a late
// start is listed and never assigned, and nothing is applied twice across a
// restart, a recovery or a station file.
#include "app/StationsAtFinish.h"

#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "live/LiveJson.h"
#include "platform/BootClock.h"
#include "platform/WallClock.h"
#include "protocol/Columns.h"
#include "race/JournalLine.h"
#include "race/JournalRecorder.h"
#include "race/LightBarriers.h"
#include "race/Race.h"
#include "race/RaceSnapshot.h"
#include "stations/Merge.h"
#include "stations/StationFile.h"
#include "stations/StationServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

using namespace stations;

namespace {

const QString kCode = QStringLiteral("318604");
constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kAhead = 2500 * kMs;
// How well the tests wait for the clocks to be known, and how far apart they
// put impulses whose order they check.
constexpr int kWithinMs = 1;
constexpr int kApartMs = 60;

std::int64_t stationNow()
{
    return platform::WallClockNs() + kAhead;
}

// The race of five runners, start barrier free, as the finish holds it.
struct Finish {
    TCellStore store { protocol::kProtocolColCount, 2 };
    TStoreTable table { store };
    TSortOptions order;
    race::Race rules { table, order };
    race::LightBarriers barriers { rules };
    int current = 1;
    std::unique_ptr<StationsAtFinish> unit;
    QStringList applied; // "finish" or "start <nr>" in the order the race got them
    QStringList notices;

    explicit Finish(const QString& stateFile)
    {
        order.SortCol = protocol::kColZeit;
        // Starts a few milliseconds apart: the start barrier's lockout would
        // take all but the first.
        race::RaceSettings timing;
        timing.startLockoutMs = 1;
        rules.SetSettings(timing);
        for (int c = 0; c < protocol::kProtocolColCount; ++c)
            store.SetCell(c, 0, protocol::kTableHeaders[static_cast<size_t>(c)]);
        QList<QStringList> rows;
        for (int n = 1; n <= 5; ++n)
            rows << QStringList { QString::number(n), QStringLiteral("Läufer %1").arg(n) };
        rules.Load(rows, QStringLiteral("startliste.txt"));
        current = rules.Loaded(1).view.currentRow;
        current = rules.ToggleLock(race::Barrier::Start, current).view.currentRow;
        makeUnit(stateFile);
    }
    void makeUnit(const QString& stateFile, race::JournalRecorder* journal = nullptr)
    {
        unit = std::make_unique<StationsAtFinish>(rules, barriers, journal, stateFile);
        unit->CurrentRow = [this] { return current; };
        unit->Mirror = [this](const race::BarrierStep& step) {
            current = step.result.view.currentRow;
            if (step.result.start == race::Outcome::Started)
                applied << QStringLiteral("start");
        };
        unit->ApplyFinishLine = [this](const platform::LineEvent&) { applied << QStringLiteral("finish"); };
        unit->Notice = [this](const QString& text, bool) { notices << text; };
    }
    void pair(quint16 port, quint16 interimPort = 0)
    {
        settings::Stations stations;
        stations.peers[0] = { QStringLiteral("127.0.0.2:%1").arg(port), kCode };
        if (interimPort != 0)
            stations.peers[1] = { QStringLiteral("127.0.0.2:%1").arg(interimPort), kCode };
        LinkOptions options;
        options.clockInterval = std::chrono::milliseconds(100);
        options.firstRetry = std::chrono::milliseconds(50);
        options.longestRetry = std::chrono::milliseconds(200);
        unit->Configure(stations, options);
    }
    // What the header says of a station's clock (its line), in ms: the
    // offset and its uncertainty; nothing before the first exchange.
    std::optional<std::pair<double, double>> clock(int line) const
    {
        static const QRegularExpression said(QStringLiteral(": ([+-]\\d+,\\d\\d) ms ± (\\d+,\\d\\d) ms"));
        const QRegularExpressionMatch m = said.match(unit->HeaderLines().value(line));
        if (!m.hasMatch())
            return std::nullopt;
        const auto number = [](QString text) { return text.replace(u',', u'.').toDouble(); };
        return std::make_pair(number(m.captured(1)), number(m.captured(2)));
    }
    // Every paired station's clock known within `ms`. A loaded machine makes
    // the exchanges slow and the uncertainty large for a while: the tests
    // space their impulses far beyond it and allow for it where they measure.
    bool clocksWithin(double ms) const
    {
        const int stations = int(unit->HeaderLines().size()) - 1; // the finish's own clock last
        if (stations < 1)
            return false;
        for (int line = 0; line < stations; ++line) {
            const auto said = clock(line);
            if (!said || said->second > ms)
                return false;
        }
        return true;
    }
    int startedCount() const
    {
        int n = 0;
        for (int row = 1; row < store.RowCount(); ++row)
            n += rules.StateOf(row) != race::Race::RowState::Free ? 1 : 0;
        return n;
    }
    // The start tick of runner n.
    platform::Tick startOf(int number) const
    {
        for (int row = 1; row < store.RowCount(); ++row)
            if (store.Cell(protocol::kColNr, row) == QString::number(number))
                return store.Cell(protocol::kColRaw, row).toInt();
        return 0;
    }
    // The race as spectators get it, with what the stations add, by number.
    std::map<QString, race::SnapshotEntry> seen(QStringList* stations = nullptr) const
    {
        race::Snapshot snapshot = race::TakeSnapshot(rules, platform::GetTickCount(), QString(), {});
        unit->Decorate(snapshot);
        if (stations)
            *stations = snapshot.stations;
        std::map<QString, race::SnapshotEntry> byNumber;
        for (const race::SnapshotEntry& e : snapshot.entries)
            byNumber[e.number] = e;
        return byNumber;
    }
};

struct Station {
    Role role;
    StationServer server;
    std::vector<Impulse> impulses;
    explicit Station(Role r = Role::Start)
        : role(r)
        , server(r, kCode, options())
    {
        QVERIFY(server.Listen(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    }
    static StationServerOptions options()
    {
        StationServerOptions o;
        o.heartbeat = std::chrono::milliseconds(50);
        o.clock = stationNow;
        return o;
    }
    // A start at the station `agoMs` before now on its clock.
    Impulse take(std::int64_t agoMs = 0)
    {
        const std::int64_t wall = stationNow() - agoMs * kMs;
        Impulse impulse { role, impulses.size() + 1, platform::GetTickCount(), wall, QStringLiteral("boot-start"),
            ImpulseKind::Key };
        impulses.push_back(impulse);
        server.Offer(impulse);
        return impulse;
    }
};

platform::LineEvent stopEdge(std::int64_t wallNs)
{
    platform::LineEvent change;
    change.levels = race::kModemCts;
    change.stamp.tick = platform::GetTickCount();
    change.wallClockMs = wallNs / kMs;
    return change;
}

// The finish's event loop turned as the program turns it. QTest's waits
// sleep between turns, and the clock exchange would measure that sleep as a
// slow way back from the station (about 10 ms, an uncertainty of 5 ms).
void turn(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > ms)
            return false;
        turn(5);
    }
    return true;
}

} // namespace

#define LOOP_VERIFY(condition, ms) QVERIFY2(waitFor([&] { return bool(condition); }, ms), #condition)
#define LOOP_VERIFY2(condition, message, ms)                                                                           \
    do {                                                                                                               \
        if (!waitFor([&] { return bool(condition); }, ms))                                                             \
            QVERIFY2(condition, message);                                                                              \
    } while (false)
#define LOOP_COMPARE(actual, expected, ms)                                                                             \
    do {                                                                                                               \
        waitFor([&] { return (actual) == (expected); }, ms);                                                           \
        QCOMPARE(actual, expected);                                                                                    \
    } while (false)

class TestStationsAtFinish : public QObject {
    Q_OBJECT
private slots:
    void stationStarts_reachTheRunnersInTurn_atTheirTimeOnTheFinishTick()
    {
        QTemporaryDir dir;
        Finish finish(dir.filePath(QStringLiteral("stationen.stand")));
        Station station;
        finish.pair(station.server.Port());
        LOOP_VERIFY(finish.clocksWithin(kWithinMs), 15000);
        // The 2.5 s are found, within what the finish says of them.
        const auto [offset, uncertainty] = *finish.clock(0);
        QVERIFY2(std::abs(offset - 2500.0) <= uncertainty + 0.01, qPrintable(finish.unit->HeaderLines().value(0)));
        std::vector<std::pair<Impulse, stations::TickWallPair>> taken;
        for (int i = 0; i < 3; ++i) {
            const stations::TickWallPair at = stations::TickWallPair::Now();
            taken.push_back({ station.take(), at });
            turn(30);
        }
        LOOP_COMPARE(finish.startedCount(), 3, 15000);
        // Runner 1 got the first start, 3 the third: each at the tick the
        // finish had when the station stamped it (the clocks' 2.5 s taken off).
        for (int n = 1; n <= 3; ++n) {
            const auto& [impulse, at] = taken[n - 1];
            const std::int64_t expected = at.tick + (impulse.wallNs - kAhead - at.wallNs) / kMs;
            QVERIFY2(std::abs(finish.startOf(n) - expected) <= 3 + kWithinMs,
                qPrintable(QStringLiteral("Nr. %1: %2 statt %3").arg(n).arg(finish.startOf(n)).arg(expected)));
        }
        QCOMPARE(finish.unit->Applied(Role::Start), 3u);
        QVERIFY(finish.notices.isEmpty());
    }

    void aFinishImpulse_waitsForTheStartStation_andAnEarlierStartGoesFirst()
    {
        QTemporaryDir dir;
        Finish finish(dir.filePath(QStringLiteral("stationen.stand")));
        Station station;
        finish.pair(station.server.Port());
        LOOP_VERIFY(finish.unit->Holds() && finish.clocksWithin(kWithinMs), 15000);
        station.take(kApartMs);
        LOOP_COMPARE(finish.applied, QStringList { QStringLiteral("start") }, 15000);
        // An edge at the station that is still on its way to its disk: the
        // finish's stop after it must wait, and the start goes in first.
        const std::int64_t edge = stationNow();
        station.server.Stamped(edge);
        turn(kApartMs);
        finish.unit->AddFinishLine(stopEdge(platform::WallClockNs()));
        turn(300);
        QCOMPARE(finish.applied.size(), 1);
        QVERIFY(finish.unit->WaitText().startsWith(QStringLiteral("Ziel wartet auf Station Start (")));
        Impulse impulse { Role::Start, 2, platform::GetTickCount(), edge, QStringLiteral("boot-start"),
            ImpulseKind::Barrier };
        station.server.Offer(impulse);
        const QStringList inOrder { QStringLiteral("start"), QStringLiteral("start"), QStringLiteral("finish") };
        LOOP_VERIFY2(finish.applied == inOrder,
            qPrintable(finish.applied.join(u' ') + QStringLiteral(" | ") + finish.notices.join(QStringLiteral(" | "))
                + QStringLiteral(" | ") + finish.unit->WaitText() + QStringLiteral(" | ")
                + finish.unit->HeaderLines().join(u' ')),
            15000);
        LOOP_VERIFY(finish.unit->WaitText().isEmpty(), 5000);
    }

    void aStartArrivingAfterTheWaitRanOut_isListed_notAssigned()
    {
        QTemporaryDir dir;
        Finish finish(dir.filePath(QStringLiteral("stationen.stand")));
        finish.unit->SetWaitLimitNs(200 * kMs);
        Station station;
        finish.pair(station.server.Port());
        LOOP_VERIFY(finish.clocksWithin(kWithinMs), 15000);
        station.take(kApartMs);
        LOOP_COMPARE(finish.startedCount(), 1, 15000);
        const std::int64_t edge = stationNow();
        station.server.Stamped(edge);
        turn(kApartMs);
        finish.unit->AddFinishLine(stopEdge(platform::WallClockNs()));
        LOOP_COMPARE(finish.applied.size(), 2, 3000); // the stop, after 200 ms
        station.server.Offer(Impulse {
            Role::Start, 2, platform::GetTickCount(), edge, QStringLiteral("boot-start"), ImpulseKind::Barrier });
        LOOP_COMPARE(finish.unit->Unassigned().size(), 1, 15000);
        QVERIFY(finish.unit->Unassigned().first().contains(QStringLiteral("Nr. 2")));
        QCOMPARE(finish.startedCount(), 1); // nobody got it
        QCOMPARE(finish.notices.size(), 1);
        // It is handled: a restart does not bring it into the race after all.
        QCOMPARE(finish.unit->Applied(Role::Start), 2u);
    }

    void anInterimStation_timesTheEarliestRunner_andTheJournalKeepsWhereEachTimeCameFrom()
    {
        QTemporaryDir dir;
        Finish finish(dir.filePath(QStringLiteral("stationen.stand")));
        race::JournalRecorder journal(finish.rules, dir.path(), QStringLiteral("Zwischenzeiten"));
        finish.makeUnit(dir.filePath(QStringLiteral("stationen.stand")), &journal);
        Station start;
        Station interim(Role::Split1);
        finish.pair(start.server.Port(), interim.server.Port());
        LOOP_VERIFY(finish.unit->HeaderLines().size() == 3 && finish.clocksWithin(kWithinMs), 15000);
        // Runner 1 starts at the station, runner 2 at the finish's own key,
        // within the same hundredth: what each got is told apart all the same.
        start.take();
        LOOP_COMPARE(finish.startedCount(), 1, 15000);
        const QString firstStart = finish.store.Cell(protocol::kColStart, 1);
        const platform::Stamp sameHundredth { finish.startOf(1) + 3,
            QTime::fromString(firstStart + QLatin1Char('0'), QStringLiteral("H:mm.ss,zzz")) };
        QVERIFY(sameHundredth.timeOfDay.isValid());
        finish.current = finish.rules.Start(finish.current, sameHundredth).view.currentRow;
        QCOMPARE(finish.store.Cell(protocol::kColStart, 2), firstStart);
        QCOMPARE(finish.startedCount(), 2);
        turn(kApartMs);

        // The first interim impulse is runner 1's (the earlier start), the
        // second runner 2's; a third has nobody left and is the official's.
        const platform::Tick firstAt = platform::GetTickCount();
        interim.take();
        LOOP_COMPARE(finish.unit->Interims().size(), 1, 15000);
        interim.take();
        LOOP_COMPARE(finish.unit->Interims().size(), 2, 15000);
        interim.take();
        LOOP_COMPARE(finish.unit->Unassigned().size(), 1, 15000);
        QVERIFY(finish.unit->Unassigned().first().contains(QStringLiteral("kein laufender Teilnehmer")));
        QCOMPARE(finish.notices.size(), 1);
        QCOMPARE(finish.unit->Applied(Role::Split1), 3u);

        QStringList stations;
        auto entries = finish.seen(&stations);
        QCOMPARE(stations, (QStringList { QStringLiteral("Start"), QStringLiteral("Zwischen1") }));
        QCOMPARE(entries[QStringLiteral("1")].startFrom, QStringLiteral("Start"));
        QCOMPARE(entries[QStringLiteral("2")].startFrom, QStringLiteral("Ziel"));
        QVERIFY(entries[QStringLiteral("3")].startFrom.isEmpty());
        const std::int64_t expected = platform::TickDiff(firstAt, finish.startOf(1));
        QVERIFY2(std::abs(entries[QStringLiteral("1")].interimMs[0].value_or(-99) - expected) <= 2 + 2 * kWithinMs,
            qPrintable(QStringLiteral("%1 statt %2 ms")
                           .arg(entries[QStringLiteral("1")].interimMs[0].value_or(-99))
                           .arg(expected)));
        QVERIFY(entries[QStringLiteral("2")].interimMs[0].has_value());
        QVERIFY(!entries[QStringLiteral("1")].interimMs[1].has_value());
        QVERIFY(!entries[QStringLiteral("1")].interim[0].isEmpty());

        // What phones and /results.json get: where each start came from and
        // the interim time; a race without stations carries neither.
        race::Snapshot snapshot = race::TakeSnapshot(finish.rules, platform::GetTickCount(), QString(), {});
        QVERIFY(!live::ResultsJsonBody(snapshot, 1).contains("startFrom"));
        finish.unit->Decorate(snapshot);
        const QByteArray json = live::ResultsJsonBody(snapshot, 1);
        QVERIFY(json.contains(R"("stations":["Start","Zwischen1"])"));
        QVERIFY(json.contains(R"("startFrom":"Start")"));
        QVERIFY(json.contains(R"("startFrom":"Ziel")"));
        QVERIFY(json.contains(
            QByteArray(R"("interim1Ms":)") + QByteArray::number(*entries[QStringLiteral("1")].interimMs[0])));
        QVERIFY(!json.contains("interim2"));

        // An ordinary restart knows it from the file beside the journal, a
        // recovery from the journal.
        finish.makeUnit(dir.filePath(QStringLiteral("stationen.stand")));
        finish.pair(start.server.Port(), interim.server.Port());
        const auto restarted = finish.seen();
        for (const QString& number : { QStringLiteral("1"), QStringLiteral("2") }) {
            QCOMPARE(restarted.at(number).startFrom, entries[number].startFrom);
            QCOMPARE(restarted.at(number).interimMs[0], entries[number].interimMs[0]);
        }
        QVERIFY(journal.File().WaitDurable(journal.File().LastSeq(), 15000));
        finish.makeUnit(dir.filePath(QStringLiteral("anderer.stand")));
        finish.unit->ResumeFromJournal(journal.File().FileName());
        QCOMPARE(finish.unit->Applied(Role::Start), 1u);
        QCOMPARE(finish.unit->Applied(Role::Split1), 2u);
        finish.pair(start.server.Port(), interim.server.Port());
        const auto back = finish.seen();
        for (const QString& number : { QStringLiteral("1"), QStringLiteral("2") }) {
            QCOMPARE(back.at(number).startFrom, entries[number].startFrom);
            QCOMPARE(back.at(number).interimMs[0], entries[number].interimMs[0]);
        }
    }

    void aRestart_aRecoveryAndAStationFile_applyNothingTwice_andLoseNothing()
    {
        QTemporaryDir dir;
        const QString state = dir.filePath(QStringLiteral("stationen.stand"));
        Finish finish(state);
        Station station;
        finish.pair(station.server.Port());
        for (int i = 0; i < 3; ++i) {
            station.take();
            turn(10);
        }
        LOOP_COMPARE(finish.startedCount(), 3, 15000);

        // An ordinary restart of the finish: the file beside the journal
        // says how far the race got.
        finish.makeUnit(state);
        QCOMPARE(finish.unit->Applied(Role::Start), 3u);
        finish.pair(station.server.Port());
        station.take();
        LOOP_COMPARE(finish.startedCount(), 4, 15000);
        turn(300);
        QCOMPARE(finish.startedCount(), 4);

        // A recovered race whose journal has the station's first two: the
        // others come again, once each.
        race::JournalEntry line;
        line.seq = 7;
        line.kind = QStringLiteral("LICHTSCHRANKE");
        line.date = QDate::currentDate();
        line.time = QTime::currentTime();
        line.Add(QStringLiteral("station"), QStringLiteral("Start")).Add(QStringLiteral("nr"), 2);
        const QString journal = dir.filePath(QStringLiteral("rennen.journal"));
        QFile file(journal);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(race::FormatJournalLine(line));
        file.close();
        Finish recovered(state);
        recovered.unit->ResumeFromJournal(journal);
        QCOMPARE(recovered.unit->Applied(Role::Start), 2u);
        recovered.pair(station.server.Port());
        LOOP_COMPARE(recovered.startedCount(), 2, 15000);
        turn(300);
        QCOMPARE(recovered.startedCount(), 2);

        // The station's file: what the race has is left out, the rest comes.
        station.take();
        const QString saved = dir.filePath(QStringLiteral("start.rzs"));
        QVERIFY(SaveStationFile(saved, Role::Start, kCode, station.impulses, nullptr));
        LOOP_COMPARE(recovered.startedCount(), 3, 15000);
        QVERIFY(recovered.unit->LoadFile(saved).contains(QStringLiteral("0 neue Impulse")));
        turn(200);
        QCOMPARE(recovered.startedCount(), 3);
        QCOMPARE(QFile::exists(state), true);
        // A file under another code is not read.
        QVERIFY(SaveStationFile(saved, Role::Start, QStringLiteral("000000"), station.impulses, nullptr));
        QVERIFY(recovered.unit->LoadFile(saved).startsWith(QStringLiteral("Die Datei ist keine Stationsdatei")));
    }
};

QTEST_GUILESS_MAIN(TestStationsAtFinish)
#include "tst_stationsatfinish.moc"
