// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The station link's logic without the network: impulses and their store,
// signatures, in-order delivery, the clock offset, the merge of the finish's
// and the stations' impulses, and the station file.
#include "platform/AppendFile.h"
#include "platform/Settings.h"
#include "platform/SettingsStore.h"
#include "platform/WallClock.h"
#include "stations/ClockOffset.h"
#include "stations/ImpulseStore.h"
#include "stations/Merge.h"
#include "stations/Signature.h"
#include "stations/StationFile.h"
#include "support/TestSupport.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

using namespace stations;

namespace {

const QString kCode = QStringLiteral("042917");
constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kSecond = 1'000'000'000;

Impulse impulse(std::uint64_t sequence, std::int64_t wallNs = 0, Role role = Role::Start)
{
    return Impulse { role, sequence, platform::Tick(1000 + int(sequence)),
        wallNs ? wallNs : 1'765'290'000'000'000'000 + std::int64_t(sequence) * kSecond,
        QStringLiteral("0b6f0c1e-3d2a-4c55-9f0e-2d1c7a9b8e11"), ImpulseKind::Barrier };
}

} // namespace

class TestStationLogic : public QObject {
    Q_OBJECT

private slots:
    void impulseText_readsBackWhatItWritesAndRefusesTheRest()
    {
        Impulse key = impulse(17);
        key.kind = ImpulseKind::Key;
        key.tick = -5; // a tick past its wrap
        key.role = Role::Split3;
        for (const Impulse& original : { impulse(1), key }) {
            const auto read = ParseCanonical(CanonicalText(original));
            QVERIFY(read);
            QCOMPARE(*read, original);
        }
        QCOMPARE(CanonicalText(key).left(18), QByteArray("impulse 4 17 -5 17"));
        for (const char* bad : { "impulse 1 0 5 6 boot barrier", "impulse 9 1 5 6 boot barrier",
                 "impulse 1 1 5 6 boot laser", "impulse 1 1 5 6 bo/ot barrier", "impulse 1 1 +5 6 boot barrier",
                 "impulse 1 1 5 6 boot barrier extra", "impulse 1 1 99999999999 6 boot barrier", "" })
            QVERIFY2(!ParseCanonical(QByteArray(bad)), bad);
        QCOMPARE(RoleCaption(Role::Split2), QStringLiteral("Zwischenzeit 2"));
        QCOMPARE(RoleKey(Role::Split4), QStringLiteral("Zwischen4"));
        QCOMPARE(RoleKey(Role::Start), QStringLiteral("Start"));
    }

    void store_keepsEachImpulseOnDiskAndNumbersOnAfterARestart()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("start.impulse"));
        {
            ImpulseStore store(file, Role::Start);
            QString reason;
            QVERIFY2(store.Open(&reason), qPrintable(reason));
            for (int i = 1; i <= 3; ++i) {
                const auto taken
                    = store.Append(100 * i, i * kSecond, QStringLiteral("boot-a"), ImpulseKind::Key, &reason);
                QVERIFY(taken);
                QCOMPARE(taken->sequence, std::uint64_t(i));
                // On the disk when Append returns: another reader finds it.
                QCOMPARE(ReadFileBytes(file).count('\n'), i);
            }
        }
        ImpulseStore again(file, Role::Start);
        QVERIFY(again.Open(nullptr));
        QCOMPARE(again.LastSequence(), std::uint64_t(3));
        QCOMPARE(again.Impulses()[1].tick, platform::Tick(200));
        QCOMPARE(again.Impulses()[2].kind, ImpulseKind::Key);
        QCOMPARE(again.Append(400, 4 * kSecond, QStringLiteral("boot-b"), ImpulseKind::Barrier, nullptr)->sequence,
            std::uint64_t(4));

        // Another station's store is not taken as this one's.
        ImpulseStore wrongRole(file, Role::Split1);
        QString reason;
        QVERIFY(!wrongRole.Open(&reason));
        QVERIFY(reason.contains(QStringLiteral("Zeile 1")));
        ImpulseStore folder(dir.path(), Role::Start);
        QVERIFY(!folder.Open(&reason));
        QCOMPARE(reason, QStringLiteral("Ist ein Ordner, keine Datei"));
    }

    void store_ignoresATornLastLineButRefusesDamageBeforeTheEnd()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("start.impulse"));
        const QByteArray two = ImpulseStore::StoreLine(impulse(1)) + ImpulseStore::StoreLine(impulse(2));
        const QByteArray third = ImpulseStore::StoreLine(impulse(3));
        // Cut anywhere in the third line, or its checksum spoilt: the first two stay.
        for (const QByteArray& tail :
            { third.left(10), third.left(third.size() - 1), QByteArray(third).replace(" crc=", " crc=f") }) {
            QVERIFY(WriteFileBytes(file, two + tail));
            ImpulseStore store(file, Role::Start);
            QVERIFY(store.Open(nullptr));
            QCOMPARE(store.LastSequence(), std::uint64_t(2));
            QCOMPARE(store.DroppedLines(), 1);
            const auto next = store.Append(5, 5 * kSecond, QString(), ImpulseKind::Barrier, nullptr);
            QCOMPARE(next->sequence, std::uint64_t(3));
            // The torn piece is gone, not glued to the new line.
            const QByteArray bytes = ReadFileBytes(file);
            QCOMPARE(bytes.left(two.size()), two);
            QCOMPARE(bytes.count('\n'), 3);
            QVERIFY(ImpulseStore::ReadStoreLine(bytes.sliced(two.size()).chopped(1)));
        }
        // A spoilt line with impulses after it: nothing is cut, nothing numbered twice.
        const QByteArray damaged = ImpulseStore::StoreLine(impulse(1)) + "impulse 1 2 x\n" + third;
        QVERIFY(WriteFileBytes(file, damaged));
        ImpulseStore store(file, Role::Start);
        QString reason;
        QVERIFY(!store.Open(&reason));
        QVERIFY(reason.contains(QStringLiteral("Zeile 2")));
        QCOMPARE(ReadFileBytes(file), damaged);
    }

    void store_aFailedWriteKeepsNothingAndUsesNoNumber()
    {
        QTemporaryDir dir;
        ImpulseStore store(dir.filePath(QStringLiteral("s")), Role::Start);
        QVERIFY(store.Open(nullptr));
        QVERIFY(store.Append(1, kSecond, QString(), ImpulseKind::Barrier, nullptr));
        platform::AppendFile::InjectErrorForTests(ENOSPC);
        QString reason;
        QVERIFY(!store.Append(2, 2 * kSecond, QString(), ImpulseKind::Barrier, &reason));
        platform::AppendFile::InjectErrorForTests(0);
        QVERIFY(!reason.isEmpty());
        QCOMPARE(store.LastSequence(), std::uint64_t(1));
        QCOMPARE(store.Append(2, 2 * kSecond, QString(), ImpulseKind::Barrier, nullptr)->sequence, std::uint64_t(2));
        ImpulseStore reread(dir.filePath(QStringLiteral("s")), Role::Start);
        QVERIFY(reread.Open(nullptr));
        QCOMPARE(reread.LastSequence(), std::uint64_t(2));
    }

    void signatures_holdOnlyForTheSameTextAndCode()
    {
        const QByteArray line = SignedLine(kCode, CanonicalText(impulse(3)));
        QCOMPARE(VerifiedText(kCode, line), std::optional<QByteArray>(CanonicalText(impulse(3))));
        QVERIFY(!VerifiedText(QStringLiteral("042918"), line));
        QByteArray tampered = line;
        tampered[line.indexOf(' ', 12) + 1] = '9'; // another tick
        QVERIFY(!VerifiedText(kCode, tampered));
        QVERIFY(!VerifiedText(kCode, CanonicalText(impulse(3))));
        QVERIFY(!VerifiedText(kCode, line.chopped(1)));

        QSet<QString> codes;
        for (int i = 0; i < 200; ++i) {
            const QString code = GeneratePairingCode();
            QVERIFY2(QRegularExpression(QStringLiteral("^[0-9]{6}$")).match(code).hasMatch(), qPrintable(code));
            QVERIFY(IsPairingCode(code));
            codes.insert(code);
        }
        QVERIFY(codes.size() > 190);
        QVERIFY(!IsPairingCode(QStringLiteral("12345")) && !IsPairingCode(QStringLiteral("12345a")));
    }

    void requests_areTakenOnceWhileFreshAndOnlyUnderTheCode()
    {
        RequestGuard guard(kCode, 30000);
        const std::int64_t now = 1'765'290'000'000;
        const auto request = SignRequest(kCode, "GET", "/station/events", now + 2500);
        using V = RequestGuard::Verdict;
        QCOMPARE(guard.Check("GET", "/station/events", request, now, true), V::Accepted);
        QCOMPARE(guard.Check("GET", "/station/events", request, now + 1000, true), V::Replayed);
        QCOMPARE(
            guard.Check("GET", "/station/events?from=0", SignRequest(kCode, "GET", "/station/events", now), now, true),
            V::BadSignature);
        QCOMPARE(guard.Check("GET", "/station/events",
                     SignRequest(QStringLiteral("111111"), "GET", "/station/events", now), now, true),
            V::BadSignature);
        QCOMPARE(
            guard.Check("GET", "/station/events", SignRequest(kCode, "GET", "/station/events", now - 31000), now, true),
            V::Stale);
        // The clock exchange comes before the finish knows the station's time.
        QCOMPARE(
            guard.Check("GET", "/station/clock?t1=5", SignRequest(kCode, "GET", "/station/clock?t1=5", 0), now, false),
            V::Accepted);
    }

    void gate_deliversEachNumberOnceInOrderWhateverTheLinkDoes()
    {
        // A link that drops, repeats and swaps events, resumed from every
        // number: the gate with "ask again from the first missing" gives
        // 1..n once each, in order.
        constexpr std::uint64_t n = 40;
        QRandomGenerator random(7);
        for (std::uint64_t resume = 0; resume <= n; ++resume) {
            SequenceGate gate(resume);
            std::vector<std::uint64_t> applied;
            int rounds = 0;
            while (gate.Applied() < n && ++rounds < 1000) {
                // One connection: from the number after the last applied.
                std::vector<std::uint64_t> sent;
                for (std::uint64_t s = gate.Applied() + 1; s <= n; ++s) {
                    if (random.bounded(10) == 0)
                        continue; // lost
                    sent.push_back(s);
                    if (random.bounded(8) == 0)
                        sent.push_back(s - random.bounded(3)); // repeated
                }
                for (size_t i = 0; i + 1 < sent.size(); ++i) {
                    if (random.bounded(12) == 0)
                        std::swap(sent[i], sent[i + 1]);
                }
                for (std::uint64_t s : sent) {
                    const auto verdict = gate.Take(s);
                    if (verdict == SequenceGate::Verdict::Next)
                        applied.push_back(s);
                    if (verdict == SequenceGate::Verdict::Gap)
                        break; // the link reconnects from the gap
                }
            }
            QCOMPARE(applied.size(), size_t(n - resume));
            for (size_t i = 0; i < applied.size(); ++i)
                QCOMPARE(applied[i], resume + 1 + i);
        }
    }

    void offset_isFoundWithinItsBoundUnderAsymmetricJitter_data()
    {
        QTest::addColumn<qint64>("offsetNs");
        QTest::addColumn<int>("outMaxUs");
        QTest::addColumn<int>("backMaxUs");
        QTest::newRow("ahead 2.5 s, symmetric") << qint64(2500 * kMs) << 300 << 300;
        QTest::newRow("behind 41 ms, slow way out") << qint64(-41 * kMs) << 80000 << 200;
        QTest::newRow("ahead 3 ms, slow way back") << qint64(3 * kMs) << 150 << 200000;
    }

    void offset_isFoundWithinItsBoundUnderAsymmetricJitter()
    {
        QFETCH(qint64, offsetNs);
        QFETCH(int, outMaxUs);
        QFETCH(int, backMaxUs);
        QRandomGenerator random(11);
        ClockOffset offset;
        std::int64_t t = 1'765'290'000 * kSecond;
        for (int i = 0; i < 300; ++i) {
            t += 2 * kSecond;
            // 100 µs on the wire at best, then queueing, mostly short, now
            // and then up to the maximum, more in one direction.
            auto queued = [&random](int maxUs) {
                const double u = random.generateDouble();
                return std::int64_t(double(maxUs) * u * u * u * u * 1000.0);
            };
            const std::int64_t out = 100'000 + queued(outMaxUs);
            const std::int64_t back = 100'000 + queued(backMaxUs);
            const ClockSample sample { t, t + out + offsetNs, t + out + 50'000 + offsetNs, t + out + 50'000 + back };
            QCOMPARE(offset.Add(sample), ClockOffset::Result::Taken);
            const std::int64_t error = std::llabs(offset.OffsetNs(sample.t4) - offsetNs);
            QVERIFY2(error <= offset.UncertaintyNs(sample.t4), qPrintable(QString::number(i)));
        }
        // Over a window of short round trips the estimate is tight.
        QVERIFY(std::llabs(offset.OffsetNs(t) - offsetNs) < kMs / 2);
        QVERIFY(!offset.StepSeen());
    }

    void offset_reportsAStepAndStartsAgainFromIt()
    {
        ClockOffset offset;
        std::int64_t t = 1000 * kSecond;
        auto add = [&](std::int64_t off, std::int64_t delay) {
            t += 2 * kSecond;
            return offset.Add({ t, t + delay / 2 + off, t + delay / 2 + off, t + delay });
        };
        for (int i = 0; i < 10; ++i)
            QCOMPARE(add(5 * kMs, kMs), ClockOffset::Result::Taken);
        // Within the bound of a slow sample: no step.
        QCOMPARE(add(5 * kMs + 3 * kMs, 20 * kMs), ClockOffset::Result::Taken);
        QCOMPARE(offset.OffsetNs(t), 5 * kMs);
        QCOMPARE(add(5 * kMs + 2 * kMs, kMs), ClockOffset::Result::Step);
        QCOMPARE(offset.LastStep()->fromNs, 5 * kMs);
        QCOMPARE(offset.LastStep()->toNs, 7 * kMs);
        QCOMPARE(offset.OffsetNs(t), 7 * kMs);
        QVERIFY(offset.StepSeen() && offset.Alarming(t, kSecond));
        offset.ClearStep();
        QVERIFY(!offset.Alarming(t, 10 * kMs));
        // A clock set during the exchange gives a negative round trip.
        QCOMPARE(offset.Add({ t, t + 5, t + 9 * kMs, t + kMs }), ClockOffset::Result::Refused);
    }

    void offset_text_isGermanAndTurnsRedBeyondHalfTheResolution()
    {
        ClockOffset offset;
        QCOMPARE(offset.Text(Role::Start, 0), QStringLiteral("Start: Uhrvergleich läuft"));
        const std::int64_t t = 50 * kSecond;
        // Offset 2.31 ms, round trip 0.8 ms.
        offset.Add({ t, t + 400'000 + 2'310'000, t + 400'000 + 2'310'000, t + 800'000 });
        QCOMPARE(offset.Text(Role::Start, t + 800'000), QStringLiteral("Start: +2,31 ms ± 0,40 ms"));
        QVERIFY(!offset.Alarming(t + 800'000, kMs)); // 1/1000 s shown: 0.40 <= 0.5
        QVERIFY(offset.Alarming(t + 800'000, kMs / 2));
        // Drift since the sample widens the bound: 15 ppm over 100 s is 1.5 ms.
        QVERIFY(offset.Alarming(t + 100 * kSecond, kMs));
        QCOMPARE(FormatMilliseconds(2500 * kMs, true), QStringLiteral("+2500,00 ms"));
        QCOMPARE(FormatMilliseconds(-1'234'567, true), QStringLiteral("-1,23 ms"));
    }

    void mapping_takesTheStationTimeToTheFinishTick()
    {
        const TickWallPair pair { 2'147'483'000, 1'765'290'000 * kSecond };
        // A station 2.5 s ahead stamped 1.2345 s after the pair's moment.
        const FinishTime at = MapToFinish(pair.wallNs + 2500 * kMs + 1'234'500'000, 2500 * kMs, pair);
        QCOMPARE(at.wallNs, pair.wallNs + 1'234'500'000);
        // The tick wraps past 2^31 as the race's tick does; 1234.5 ms rounds up.
        QCOMPARE(platform::TickDiff(at.tick, pair.tick), 1235);
        const TickWallPair now = TickWallPair::Now();
        QVERIFY(std::llabs(now.wallNs - platform::WallClockNs()) < kSecond);
    }

    void merge_appliesInTheOrderOfTimeAndWaitsForTheStartsHeartbeat()
    {
        Merge merge(30 * kSecond);
        const std::int64_t t0 = 1000 * kSecond;
        merge.Confirm(Role::Start, t0);
        QVERIFY(merge.Holding(Role::Start));
        // A finish at t0+10 s, the start's stream confirmed only to t0.
        merge.AddFinish(1, { t0 + 10 * kSecond, 10 }, t0 + 10 * kSecond);
        QVERIFY(merge.Release(t0 + 10 * kSecond).empty());
        QCOMPARE(merge.WaitText(t0 + 12 * kSecond + 300 * kMs), QStringLiteral("Ziel wartet auf Station Start (2 s)"));
        // A start stamped before it arrives later: it goes first.
        merge.AddStation(impulse(1), { t0 + 9 * kSecond, 9 }, t0 + 12 * kSecond);
        auto released = merge.Release(t0 + 12 * kSecond);
        QCOMPARE(released.size(), size_t(1));
        QVERIFY(released[0].fromStation);
        QVERIFY(merge.Release(t0 + 12 * kSecond).empty());
        merge.Confirm(Role::Start, t0 + 11 * kSecond);
        released = merge.Release(t0 + 13 * kSecond);
        QCOMPARE(released.size(), size_t(1));
        QCOMPARE(released[0].finishId, std::uint64_t(1));
        QVERIFY(!released[0].waitedOut);
        QVERIFY(merge.WaitText(t0 + 13 * kSecond).isEmpty());
    }

    void merge_releasesAfterTheLimitAndListsALateStart()
    {
        Merge merge(30 * kSecond);
        const std::int64_t t0 = 1000 * kSecond;
        merge.Confirm(Role::Start, t0);
        merge.AddFinish(7, { t0 + kSecond, 1 }, t0 + kSecond);
        merge.AddFinish(8, { t0 + 2 * kSecond, 2 }, t0 + 2 * kSecond);
        QCOMPARE(merge.NextDeadlineNs(), t0 + 31 * kSecond);
        QVERIFY(merge.Release(t0 + 31 * kSecond - 1).empty());
        auto released = merge.Release(t0 + 31 * kSecond);
        QCOMPARE(released.size(), size_t(1));
        QVERIFY(released[0].waitedOut);
        released = merge.Release(t0 + 32 * kSecond);
        QCOMPARE(released.size(), size_t(1));
        QCOMPARE(released[0].finishId, std::uint64_t(8));
        // The start's link returns with a start before the released finish: late, not applied.
        merge.AddStation(impulse(1), { t0 + kSecond / 2, 0 }, t0 + 40 * kSecond);
        // And one after it: applied as usual.
        merge.AddStation(impulse(2), { t0 + 3 * kSecond, 3 }, t0 + 40 * kSecond);
        released = merge.Release(t0 + 40 * kSecond);
        QCOMPARE(released.size(), size_t(1));
        QCOMPARE(released[0].station.sequence, std::uint64_t(2));
        const auto late = merge.TakeLate();
        QCOMPARE(late.size(), size_t(1));
        QCOMPARE(late[0].station.sequence, std::uint64_t(1));
        QVERIFY(merge.TakeLate().empty());
    }

    void merge_withoutAStartStationHoldsNothing()
    {
        Merge merge;
        merge.AddFinish(1, { 5 * kSecond, 5 }, 5 * kSecond);
        merge.AddFinish(2, { 4 * kSecond, 4 }, 5 * kSecond);
        const auto released = merge.Release(5 * kSecond);
        QCOMPARE(released.size(), size_t(2));
        QCOMPARE(released[0].finishId, std::uint64_t(2));
        // An interim station does not hold the finish.
        merge.Confirm(Role::Split1, 0);
        merge.AddFinish(3, { 6 * kSecond, 6 }, 6 * kSecond);
        QCOMPARE(merge.Release(6 * kSecond).size(), size_t(1));
        merge.Confirm(Role::Start, 0);
        merge.SetHolding(Role::Start, false);
        merge.AddFinish(4, { 7 * kSecond, 7 }, 7 * kSecond);
        QCOMPARE(merge.Release(7 * kSecond).size(), size_t(1));
    }

    void stationFile_givesTheSameImpulsesOnceAndRefusesForgedLines()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("start.station"));
        std::vector<Impulse> impulses;
        for (int i = 1; i <= 5; ++i)
            impulses.push_back(impulse(i));
        QString reason;
        QVERIFY2(SaveStationFile(file, Role::Start, kCode, impulses, &reason), qPrintable(reason));
        const StationFileContent content = LoadStationFile(file, kCode);
        QVERIFY(content.ok);
        QCOMPARE(content.role, Role::Start);
        QCOMPARE(content.impulses, impulses);

        // The live link had brought two already.
        SequenceGate gate(2);
        QStringList problems;
        const auto taken = TakeNew(content, gate, &problems);
        QCOMPARE(taken.size(), size_t(3));
        QCOMPARE(taken[0].sequence, std::uint64_t(3));
        QVERIFY(TakeNew(content, gate, &problems).empty());
        QVERIFY(problems.isEmpty());

        // Another code, a changed time, a missing line.
        QVERIFY(!LoadStationFile(file, QStringLiteral("999999")).ok);
        QByteArray bytes = ReadFileBytes(file);
        QList<QByteArray> lines = bytes.split('\n');
        lines[2].replace(" 1002 ", " 1003 ");
        lines.removeAt(4);
        QVERIFY(WriteFileBytes(file, lines.join('\n')));
        const StationFileContent forged = LoadStationFile(file, kCode);
        QVERIFY(forged.ok);
        QCOMPARE(forged.problems.size(), 1);
        QVERIFY(forged.problems[0].contains(QStringLiteral("Zeile 3: Signatur ungültig")));
        // Number 2 was refused: 1 is applied, nothing after the gap.
        SequenceGate fresh;
        const auto upToGap = TakeNew(forged, fresh, &problems);
        QCOMPARE(upToGap.size(), size_t(1));
        QCOMPARE(fresh.Applied(), std::uint64_t(1));
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems[0].startsWith(QStringLiteral("Impuls 2 fehlt")), qPrintable(problems[0]));

        // A file that is not there, or a folder picked by mistake: the
        // official reads why in German, whatever the system's language.
        const QString missing = dir.filePath(QStringLiteral("ziel.station"));
        QCOMPARE(LoadStationFile(missing, kCode).problems,
            QStringList { missing + QStringLiteral(": Datei oder Ordner nicht gefunden") });
        QCOMPARE(LoadStationFile(dir.path(), kCode).problems,
            QStringList { dir.path() + QStringLiteral(": Ist ein Ordner, keine Datei") });
    }

    void wallClock_shiftsForTestsAndTheKernelTellsItsState()
    {
        const std::int64_t before = platform::WallClockNs();
        platform::SetWallClockShiftNs(2500 * kMs);
        const std::int64_t shifted = platform::WallClockNs();
        platform::SetWallClockShiftNs(0);
        QVERIFY(shifted - before >= 2500 * kMs && shifted - before < 3500 * kMs);
        const platform::KernelClockState state = platform::ReadKernelClock();
        QVERIFY(state.known);
        QVERIFY(!platform::DescribeKernelClock(state).isEmpty());
        QCOMPARE(platform::DescribeKernelClock({ true, true, 12000, 100 }),
            QStringLiteral("synchronisiert, max. Fehler 12 ms"));
        QCOMPARE(platform::DescribeKernelClock({ true, false, 0, 0 }), QStringLiteral("nicht synchronisiert"));
    }

    void settings_stationsRoundTrip_badValuesTakeTheirDefaults_andAStoreWithoutStationsGainsNoKey()
    {
        QTemporaryDir dir;
        const QString title = QStringLiteral("rennzeit-stations-test");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        const QString file = dir.filePath(title + QStringLiteral(".conf"));
        {
            platform::SettingsStore store(title);
            settings::Write(store, settings::Values());
            store.flush();
        }
        QVERIFY(!QSettings(file, QSettings::IniFormat).allKeys().join(u' ').contains(QStringLiteral("Station")));
        settings::Values v;
        v.stations.role = 1;
        v.stations.code = QStringLiteral("000417");
        v.stations.peers[0] = { QStringLiteral("192.168.1.20:8080"), QStringLiteral("123456") };
        v.stations.peers[4] = { QStringLiteral("[::1]:9000"), QStringLiteral("999999") };
        {
            platform::SettingsStore store(title);
            settings::Write(store, v);
            store.flush();
        }
        QCOMPARE(settings::Read(platform::SettingsStore(title)).stations, v.stations);
        {
            QSettings raw(file, QSettings::IniFormat);
            QCOMPARE(raw.value(QStringLiteral("Stations/StartCode")).toString(), QStringLiteral("123456"));
            raw.setValue(QStringLiteral("Station"), 6);
            raw.setValue(QStringLiteral("StationCode"), QStringLiteral("12345"));
            raw.setValue(QStringLiteral("Stations/Start"), QStringLiteral("192.168.1.20"));
            raw.setValue(QStringLiteral("Stations/Zwischen1"), QStringLiteral("fe80::1:8080"));
            raw.setValue(QStringLiteral("Stations/Zwischen2"), QStringLiteral("host name:8080"));
            raw.setValue(QStringLiteral("Stations/Zwischen3"), QStringLiteral(" zwischen3.local:70000 "));
            raw.setValue(QStringLiteral("Stations/Zwischen4Code"), QStringLiteral("99999x"));
        }
        const settings::Stations read = settings::Read(platform::SettingsStore(title)).stations;
        QCOMPARE(read.role, 0);
        QVERIFY(read.code.isEmpty());
        for (const auto& peer : read.peers)
            QVERIFY2(peer.address.isEmpty() || peer.address == QStringLiteral("[::1]:9000"), qPrintable(peer.address));
        QCOMPARE(read.peers[0].code, QStringLiteral("123456")); // each key on its own
        QVERIFY(read.peers[4].code.isEmpty());
        QVERIFY(settings::IsStationAddress(QStringLiteral("zeit-start.local:8080")));
        // Cleared by the operator: the key is written empty, not left as it was.
        settings::Values cleared = v;
        cleared.stations.peers[0] = {};
        {
            platform::SettingsStore store(title);
            settings::Write(store, cleared);
            store.flush();
        }
        QVERIFY(settings::Read(platform::SettingsStore(title)).stations.peers[0].address.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestStationLogic)
#include "tst_stationlogic.moc"
