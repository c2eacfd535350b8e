// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "comm/Comms.h"
#include "support/SerialSim.h"
#include "support/TestSupport.h"

#include <QtTest>

#include <chrono>
#include <stdexcept>
#include <thread>

using namespace platform;

namespace {

// Waits without running the GUI thread's event loop, so deliveries stay queued.
template <typename Pred> bool WaitWithoutEvents(Pred pred, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A port on COM1 as the main window uses it. Each fired line event is noted
// with the levels of the change being dispatched.
struct Bench {
    QStringList log; // outlives the port, whose destructor fires OnClose
    SimSerialLab lab;
    TComPort port;

    explicit Bench(TEvents events = { evCTS, evDSR })
    {
        lab.AddPort(1);
        port.SetPort(1);
        port.SetFlowControl(fcRtsCts);
        port.SetDataBits(5);
        port.SetEvents(events);
        port.OnCTS = [this](QObject* s) { Note(s, "CTS"); };
        port.OnDSR = [this](QObject* s) { Note(s, "DSR"); };
        port.OnOpen = [this](QObject*) { log << QStringLiteral("open"); };
        port.OnClose = [this](QObject*) { log << QStringLiteral("close"); };
        port.OnLost = [this](QObject*) { log << QStringLiteral("lost"); };
        port.OnWatcherEnded = [this](QObject*) { log << QStringLiteral("ended:%1").arg(port.WatcherError()); };
    }

    void Note(QObject* sender, const char* name)
    {
        QVERIFY(sender == &port);
        const LineEvent* change = port.DispatchedEvent();
        QVERIFY(change);
        log << QStringLiteral("%1:%2").arg(QLatin1String(name)).arg(change->levels, 0, 16);
    }

    void OpenAndArm()
    {
        port.Open();
        QVERIFY(lab.WaitUntilWaiting(1, 5000));
    }
};

} // namespace

class TestComDelivery : public QObject {
    Q_OBJECT
private slots:
    void lineChange_firesItsHandler_onTheOwnerThread()
    {
        Bench b;
        QThread* owner = QThread::currentThread();
        QThread* firedOn = nullptr;
        b.port.OnDSR = [&](QObject*) { firedOn = QThread::currentThread(); };
        b.OpenAndArm();
        b.lab.SetLine(1, MS_DSR_ON, true);
        QTRY_VERIFY(firedOn != nullptr);
        QCOMPARE(firedOn, owner);
        QVERIFY(!b.port.DispatchedEvent()); // only while its handlers run
    }

    void linesOnAtOpen_fireNothing_untilTheyChange()
    {
        Bench b;
        b.lab.SetLines(1, MS_CTS_ON | MS_DSR_ON);
        b.OpenAndArm();
        b.lab.SetLine(1, MS_DSR_ON, false);
        // Anything fired for the lines at open would come before this change.
        QTRY_COMPARE(b.log, (QStringList { "open", "DSR:10" }));
    }

    void bothLinesInOneWait_fireCtsThenDsr_inOneDelivery()
    {
        Bench b;
        b.lab.HoldWait(1, true);
        b.OpenAndArm();
        b.lab.SetLines(1, MS_CTS_ON | MS_DSR_ON);
        b.lab.HoldWait(1, false);
        QTRY_COMPARE(b.log, (QStringList { "open", "CTS:30", "DSR:30" }));
        QCOMPARE(b.lab.WaitCalls(1), 2); // one look, then armed again
    }

    void unselectedEvents_fireNothing()
    {
        Bench b;
        int others = 0;
        b.port.OnRing = [&](QObject*) { ++others; };
        b.port.OnRLSD = [&](QObject*) { ++others; };
        b.port.OnRxChar = [&](QObject*, int) { ++others; };
        b.lab.HoldWait(1, true);
        b.OpenAndArm();
        b.lab.SetLines(1, MS_RING_ON | MS_RLSD_ON);
        b.lab.Raise(1, EV_RXCHAR | EV_BREAK | EV_ERR);
        b.lab.SetLine(1, MS_CTS_ON, true);
        b.lab.HoldWait(1, false); // all in one look
        QTRY_COMPARE(b.log, (QStringList { "open", "CTS:d0" }));
        QCOMPARE(others, 0);
    }

    void allEvents_fireInTheFixedOrder()
    {
        Bench b(TEvents::All());
        QStringList order;
        auto note = [&](const char* name) { return [&order, name](QObject*) { order << QLatin1String(name); }; };
        b.port.OnRxChar = [&](QObject*, int inQue) { order << QStringLiteral("RxChar(%1)").arg(inQue); };
        b.port.OnTxEmpty = note("TxEmpty");
        b.port.OnBreak = note("Break");
        b.port.OnRing = note("Ring");
        b.port.OnCTS = note("CTS");
        b.port.OnDSR = note("DSR");
        b.port.OnRxFlag = note("RxFlag");
        b.port.OnRLSD = note("RLSD");
        b.port.OnError = note("Error");
        b.lab.HoldWait(1, true);
        b.OpenAndArm();
        QCOMPARE(b.lab.EventMask(1), 0x01FFu);
        b.lab.SetInQueue(1, 7);
        b.lab.SetLines(1, MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
        b.lab.Raise(1, 0x01FF & ~kModemLineEvents);
        b.lab.HoldWait(1, false);
        QTRY_COMPARE(order.size(), 9);
        QCOMPARE(
            order, (QStringList { "RxChar(7)", "TxEmpty", "Break", "Ring", "CTS", "DSR", "RxFlag", "RLSD", "Error" }));
    }

    void unassignedHandlers_areSkipped()
    {
        Bench b(TEvents::All());
        b.port.OnCTS = nullptr;
        int errors = 0;
        b.port.OnError = [&](QObject*) { ++errors; };
        b.OpenAndArm();
        b.lab.Raise(1, EV_CTS | EV_ERR);
        QTRY_COMPARE(errors, 1);
        QCOMPARE(b.log, QStringList { "open" });
    }

    void pulseOverBeforeTheHandler_isDeliveredAsItsTwoChanges()
    {
        Bench b;
        b.lab.SetLines(1, MS_CTS_ON);
        b.lab.HoldWait(1, true);
        b.OpenAndArm();
        b.lab.Pulse(1, MS_DSR_ON); // on and off again before anyone looked
        b.lab.HoldWait(1, false);
        QTRY_COMPARE(b.log, (QStringList { "open", "DSR:30", "DSR:10" }));
        QCOMPARE(b.lab.Lines(1), MS_CTS_ON);
    }

    void pulseDuringADelivery_isDeliveredNext()
    {
        Bench b;
        int deliveries = 0;
        b.port.OnCTS = [&](QObject*) {
            if (++deliveries == 1)
                b.lab.Pulse(1, MS_DSR_ON);
        };
        b.OpenAndArm();
        b.lab.SetLine(1, MS_CTS_ON, true);
        QTRY_COMPARE(b.log, (QStringList { "open", "DSR:30", "DSR:10" }));
        QCOMPARE(deliveries, 1);
    }

    void changesWhileTheGuiThreadIsBusy_allArrive_inOrder_eachWithItsStamp()
    {
        ScopedFakeTick tick(5000);
        Bench b;
        QList<std::pair<int, std::uint32_t>> seen;
        std::uint64_t lastSequence = 0;
        bool ordered = true;
        b.port.OnDSR = [&](QObject*) {
            const LineEvent* change = b.port.DispatchedEvent();
            seen << std::pair { int(change->stamp.tick), change->levels };
            ordered = ordered && change->sequence > lastSequence;
            lastSequence = change->sequence;
        };
        b.OpenAndArm();
        // The GUI thread runs no events meanwhile; the watcher takes every
        // change on its own and stamps it with the tick of that moment.
        for (int i = 0; i < 6; ++i) {
            tick.set(5000 + 40 * i);
            b.lab.SetLine(1, MS_DSR_ON, i % 2 == 0);
            QVERIFY(b.lab.WaitUntilSeen(1, 5000));
        }
        b.lab.Pulse(1, MS_DSR_ON);
        QVERIFY(b.lab.WaitUntilSeen(1, 5000));
        QCOMPARE(b.port.QueuedChanges(), size_t(8));
        QVERIFY(seen.isEmpty());
        tick.set(9999); // when the GUI thread gets to them: not their time
        QTRY_COMPARE(seen.size(), 8);
        const QList<std::pair<int, std::uint32_t>> expected { { 5000, 0x20 }, { 5040, 0 }, { 5080, 0x20 }, { 5120, 0 },
            { 5160, 0x20 }, { 5200, 0 }, { 5200, 0x20 }, { 5200, 0 } };
        QCOMPARE(seen, expected);
        QVERIFY(ordered);
    }

    void dispatchQueued_deliversWhatWaits_now()
    {
        Bench b;
        b.OpenAndArm();
        b.lab.SetLine(1, MS_CTS_ON, true);
        QVERIFY(WaitWithoutEvents([&] { return b.port.QueuedChanges() == 1; }));
        b.port.DispatchQueued();
        QCOMPARE(b.log, (QStringList { "open", "CTS:10" }));
        QCOMPARE(b.port.QueuedChanges(), size_t(0));
    }

    void deliveries_neverOverlap_andNoneIsMerged()
    {
        Bench b;
        int depth = 0, maxDepth = 0, count = 0;
        b.port.OnDSR = [&](QObject*) {
            ++depth;
            maxDepth = std::max(maxDepth, depth);
            ++count;
            QTest::qWait(2); // runs the event loop inside the handler
            --depth;
        };
        b.OpenAndArm();
        for (int i = 0; i < 20; ++i) {
            b.lab.SetLine(1, MS_DSR_ON, i % 2 == 0);
            QTest::qWait(1);
        }
        QTRY_COMPARE(count, 20);
        QCOMPARE(maxDepth, 1);
    }

    void closeWithDeliveriesQueued_runsThemFirst()
    {
        Bench b;
        b.OpenAndArm();
        b.lab.SetLine(1, MS_DSR_ON, true);
        QVERIFY(WaitWithoutEvents([&] { return b.port.DeliveryPending(); }));
        b.port.Close();
        QCOMPARE(b.log, (QStringList { "open", "DSR:20", "close" }));
        QVERIFY(!b.lab.IsOpen(1));
        QCoreApplication::processEvents(); // the stale notice delivers nothing more
        QCOMPARE(b.log.size(), 3);
    }

    void stopWinsOverAPendingLineEvent()
    {
        Bench b;
        b.OpenAndArm();
        b.lab.HoldWait(1, true); // the wait has not noticed the change yet
        b.lab.SetLine(1, MS_DSR_ON, true);
        QCOMPARE(b.lab.PendingEvents(1), EV_DSR);
        b.port.Close();
        QCOMPARE(b.lab.StopsOverPendingEvents(1), 1);
        QCOMPARE(b.log, (QStringList { "open", "close" }));
    }

    void closeFromInsideAHandler_endsTheWatcher()
    {
        Bench b;
        b.port.OnCTS = [&](QObject*) { b.port.Close(); };
        b.lab.HoldWait(1, true);
        b.OpenAndArm();
        b.lab.SetLines(1, MS_CTS_ON | MS_DSR_ON);
        b.lab.HoldWait(1, false);
        QTRY_VERIFY(!b.port.Connected());
        QCOMPARE(b.log, (QStringList { "open", "close" })); // OnDSR of that change belongs to nobody
        QVERIFY(!b.lab.IsOpen(1));
        b.port.OnCTS = nullptr;
        b.OpenAndArm();
        b.lab.SetLine(1, MS_DSR_ON, false);
        QTRY_COMPARE(b.log.last(), QStringLiteral("DSR:10"));
    }

    // A handler starts a nested event loop (a message box, say), and the port
    // is closed, reopened or destroyed from inside that loop while more
    // changes wait. The dispatch that started the handler must finish on
    // memory that is still there (AddressSanitizer watches this one).
    void closeInsideANestedLoop_isSafe_data()
    {
        QTest::addColumn<int>("what");
        QTest::newRow("close") << 0;
        QTest::newRow("reopen") << 1;
        QTest::newRow("destroy") << 2;
    }
    void closeInsideANestedLoop_isSafe()
    {
        QFETCH(int, what);
        SimSerialLab lab;
        lab.AddPort(1);
        auto port = std::make_unique<TComPort>();
        port->SetEvents({ evCTS, evDSR });
        int dsr = 0, nested = 0;
        port->OnDSR = [&](QObject*) {
            ++dsr;
            if (nested++ > 0)
                return;
            lab.Pulse(1, MS_DSR_ON); // more changes wait behind this one
            QVERIFY(lab.WaitUntilSeen(1, 5000));
            QEventLoop loop;
            QTimer::singleShot(0, &loop, [&] {
                if (what == 0)
                    port->Close();
                else if (what == 1)
                    port->Open();
                else
                    port.reset();
                loop.quit();
            });
            loop.exec();
        };
        port->Open();
        QVERIFY(lab.WaitUntilWaiting(1, 5000));
        lab.SetLine(1, MS_DSR_ON, true);
        QTRY_COMPARE(nested, 1);
        QCoreApplication::processEvents();
        QCOMPARE(dsr, 1); // the changes behind it belonged to the closed port
        if (what == 1) {
            QVERIFY(port->Connected());
            lab.SetLine(1, MS_DSR_ON, false);
            QTRY_COMPARE(dsr, 2); // the reopened port delivers
        } else if (what == 0) {
            QVERIFY(!port->Connected());
        } else {
            QVERIFY(!port);
        }
        QVERIFY(what == 1 || !lab.IsOpen(1));
    }

    void handlerException_endsTheWatcher_silently()
    {
        Bench b;
        int calls = 0;
        b.port.OnDSR = [&](QObject*) {
            ++calls;
            throw std::runtime_error("handler failed");
        };
        b.OpenAndArm();
        b.lab.SetLine(1, MS_DSR_ON, true);
        QTRY_VERIFY(!b.port.WatcherRunning());
        QVERIFY(b.port.Connected()); // deaf, not closed
        b.lab.SetLine(1, MS_DSR_ON, false);
        QCoreApplication::processEvents(); // nobody can deliver it: the watcher has ended
        QCOMPARE(calls, 1);
        QCOMPARE(b.port.QueuedChanges(), size_t(0));
        b.port.Close();
        QCOMPARE(b.log, (QStringList { "open", "close" }));
        b.port.OnDSR = [&](QObject*) { ++calls; };
        b.OpenAndArm();
        b.lab.SetLine(1, MS_DSR_ON, true);
        QTRY_COMPARE(calls, 2);
    }

    // The port stays open but deaf, and says so once the changes before the
    // failure are dispatched, so its owner can show it and open it again.
    void failedWait_endsTheWatcher_withoutSpinning_andSaysSo()
    {
        Bench b;
        b.OpenAndArm();
        b.lab.SetLine(1, MS_DSR_ON, true);
        QVERIFY(b.lab.WaitUntilSeen(1, 5000));
        b.lab.FailWith(1, SimSerialOp::Wait, EINVAL);
        b.lab.SetLine(1, MS_CTS_ON, true);
        QTRY_VERIFY(!b.port.WatcherRunning());
        QTRY_COMPARE(b.log, (QStringList { "open", "DSR:20", QStringLiteral("ended:%1").arg(EINVAL) }));
        QVERIFY(b.port.Connected());
        const int waits = b.lab.WaitCalls(1);
        QTest::qWait(20);
        QCOMPARE(b.lab.WaitCalls(1), waits); // it has ended: no further wait can come
        b.port.Close();
        QCOMPARE(b.log.last(), QStringLiteral("close"));
        b.lab.FailWith(1, SimSerialOp::Wait, 0);
        b.OpenAndArm(); // a new watcher
        QVERIFY(b.port.WatcherRunning());
    }

    void droppedWait_deliversNothing_andIsArmedAgain()
    {
        Bench b;
        b.OpenAndArm();
        b.lab.DropNextWait(1);
        b.lab.SetLine(1, MS_CTS_ON, true);
        QTRY_COMPARE(b.lab.WaitCalls(1), 2);
        QVERIFY(b.lab.WaitUntilWaiting(1, 5000));
        b.lab.SetLine(1, MS_CTS_ON, false);
        QTRY_COMPARE(b.log, (QStringList { "open", "CTS:0" }));
        QVERIFY(b.port.WatcherRunning());
    }

    void unplug_closesThePort_afterDeliveringWhatCameBefore()
    {
        Bench b;
        b.OpenAndArm();
        b.lab.SetLine(1, MS_DSR_ON, true);
        QVERIFY(b.lab.WaitUntilSeen(1, 5000));
        b.lab.Unplug(1);
        QTRY_VERIFY(!b.port.Connected());
        QCOMPARE(b.log, (QStringList { "open", "DSR:20", "close", "lost" }));
        QCOMPARE(b.port.LostError(), ENODEV);
        QVERIFY(!b.port.WatcherRunning());
        QCOMPARE(b.port.ModemStatus(), 0u);
        QVERIFY_THROWS_EXCEPTION(EComHandle, b.port.Open()); // gone until plugged in again
        b.lab.AddPort(1);
        b.OpenAndArm();
        b.lab.SetLine(1, MS_CTS_ON, true);
        QTRY_COMPARE(b.log.last(), QStringLiteral("CTS:30")); // DSR is still on
    }

    void unplugWhileClosing_isNoLoss()
    {
        Bench b;
        b.OpenAndArm();
        b.lab.Unplug(1);
        QVERIFY(WaitWithoutEvents([&] { return !b.port.WatcherRunning(); }));
        b.port.Close(); // closed on purpose before the notice was served
        QCoreApplication::processEvents();
        QCOMPARE(b.log, (QStringList { "open", "close" }));
    }

    void manyChanges_allArrive_andCloseAlwaysReturns()
    {
        Bench b;
        int dsr = 0;
        b.port.OnDSR = [&](QObject*) { ++dsr; };
        for (int round = 0; round < 20; ++round) {
            b.OpenAndArm();
            std::thread driver([&] {
                for (int i = 0; i < 50; ++i)
                    b.lab.Pulse(1, MS_DSR_ON);
            });
            QTest::qWait(round % 3);
            b.port.Close();
            driver.join();
        }
        QCOMPARE(b.log.count(QStringLiteral("open")), 20);
        QCOMPARE(b.log.count(QStringLiteral("close")), 20);
        QVERIFY(dsr <= 20 * 100);
        QVERIFY(dsr % 2 == 0); // a pulse is delivered whole or not at all
        b.OpenAndArm();
        b.lab.Pulse(1, MS_DSR_ON);
        const int before = dsr;
        QTRY_COMPARE(dsr, before + 2);
    }
};

QTEST_GUILESS_MAIN(TestComDelivery)
#include "tst_comdelivery.moc"
