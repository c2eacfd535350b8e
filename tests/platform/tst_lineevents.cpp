// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// How a look at the modem lines becomes line events: the one mapping the
// Linux device and the simulated one share.
#include "platform/SerialDevice.h"

#include <QtTest>

using namespace platform;

namespace {

constexpr std::uint32_t kBarriers = EV_CTS | EV_DSR;
const std::int64_t kTenOClock = QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::LocalTime).toMSecsSinceEpoch();

std::vector<LineEvent> Changes(std::uint32_t before, std::uint32_t after, LineTransitions t,
    std::uint32_t mask = kBarriers, std::uint32_t other = 0)
{
    std::vector<LineEvent> out;
    AppendLineChanges(out, before, after, t, mask, EdgeTime { 77, kTenOClock }, false, other);
    return out;
}

// "events/levels" of each change, for short comparisons.
QStringList Steps(const std::vector<LineEvent>& changes)
{
    QStringList steps;
    for (const LineEvent& c : changes)
        steps << QStringLiteral("%1/%2").arg(c.events, 0, 16).arg(c.levels, 0, 16);
    return steps;
}

} // namespace

class TestLineEvents : public QObject {
    Q_OBJECT
private slots:
    void statusBits_nameTheirEvents()
    {
        QCOMPARE(LineEventsFromStatus(MS_CTS_ON | MS_DSR_ON), EV_CTS | EV_DSR);
        QCOMPARE(LineEventsFromStatus(MS_RING_ON | MS_RLSD_ON), EV_RING | EV_RLSD);
        QCOMPARE(LineEventsFromStatus(0x0F), 0u);
    }

    void oneChange_isOneEvent_withTheStampAndTheNewLevels()
    {
        const std::vector<LineEvent> c = Changes(MS_CTS_ON, MS_CTS_ON | MS_DSR_ON, { 0, 1, -1, -1 });
        QCOMPARE(Steps(c), QStringList { "10/30" });
        QCOMPARE(c[0].stamp.tick, 77);
        QVERIFY(!c[0].foundLate);
        // The watcher carries the wall clock; the dispatching thread makes the
        // local time of day of it.
        QCOMPARE(c[0].wallClockMs, kTenOClock);
        QVERIFY(!c[0].stamp.timeOfDay.isValid());
        LineEvent dispatched = c[0];
        LocalizeStamp(dispatched);
        QCOMPARE(dispatched.stamp.timeOfDay, QTime(10, 0));
    }

    void bothLinesInOneLook_shareOneEvent()
    {
        QCOMPARE(Steps(Changes(0, MS_CTS_ON | MS_DSR_ON, { 1, 1, -1, -1 })), QStringList { "18/30" });
    }

    void pulseThatIsOver_becomesItsTwoChanges_inOrder()
    {
        // DSR at rest off: on, then off.
        QCOMPARE(Steps(Changes(0, 0, { 0, 2, -1, -1 })), (QStringList { "10/20", "10/0" }));
        // CTS at rest on (a beam that opens the contact): off, then on.
        QCOMPARE(Steps(Changes(MS_CTS_ON, MS_CTS_ON, { 2, 0, -1, -1 })), (QStringList { "8/0", "8/10" }));
        // Two pulses of DSR while CTS changed once: the steps interleave.
        QCOMPARE(Steps(Changes(0, MS_CTS_ON, { 1, 4, -1, -1 })), (QStringList { "18/30", "10/10", "10/30", "10/10" }));
    }

    void withoutCounters_theLevelsDecide()
    {
        QCOMPARE(Steps(Changes(0, MS_DSR_ON, {})), QStringList { "10/20" });
        QVERIFY(Changes(MS_DSR_ON, MS_DSR_ON, {}).empty());
    }

    void countThatMissedAChange_isMadeToAgreeWithTheLevels()
    {
        // Two counted changes, yet the level differs: a third one happened.
        QCOMPARE(Steps(Changes(0, MS_DSR_ON, { 0, 2, -1, -1 })), (QStringList { "10/20", "10/0", "10/20" }));
        // No counted change, yet the level differs.
        QCOMPARE(Steps(Changes(0, MS_CTS_ON, { 0, 0, -1, -1 })), QStringList { "8/10" });
    }

    void unselectedLines_makeNoEvents_andShowTheirLevels()
    {
        QVERIFY(Changes(0, MS_RING_ON | MS_RLSD_ON, { 0, 0, 3, 1 }).empty());
        const std::vector<LineEvent> c = Changes(0, MS_DSR_ON | MS_RLSD_ON, { 0, 1, 0, 1 });
        QCOMPARE(Steps(c), QStringList { "10/a0" });
    }

    void otherEvents_rideWithTheFirstChange_orStandAlone()
    {
        QCOMPARE(Steps(Changes(0, 0, { 0, 2, -1, -1 }, 0x01FF, EV_RXCHAR | EV_ERR)), (QStringList { "91/20", "10/0" }));
        QCOMPARE(Steps(Changes(MS_CTS_ON, MS_CTS_ON, {}, 0x01FF, EV_BREAK)), QStringList { "40/10" });
        QVERIFY(Changes(0, 0, {}, kBarriers, EV_BREAK).empty()); // not selected
    }

    void bouncingLine_isCappedButEndsAtItsLevel()
    {
        const std::vector<LineEvent> c = Changes(0, MS_DSR_ON, { 0, 100001, -1, -1 });
        QVERIFY(c.size() <= 256);
        QCOMPARE(c.back().levels, MS_DSR_ON);
        QVERIFY(c.size() % 2 == 1);
    }
};

QTEST_GUILESS_MAIN(TestLineEvents)
#include "tst_lineevents.moc"
