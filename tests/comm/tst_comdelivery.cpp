#include "comm/Comms.h"
#include "support/SerialSim.h"

#include <QtTest>

#include <chrono>
#include <ctime>
#include <stdexcept>
#include <thread>

using namespace platform;

namespace {

// Waits without running the GUI thread's event loop, so a delivery stays
// pending.
template <typename Pred> bool WaitWithoutEvents(Pred pred, int timeoutMs = 2000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

double ProcessCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// A port on COM1 as the main window uses it, with every event recorded with
// the modem status its handler reads.
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
    }

    void Note(QObject* sender, const char* name)
    {
        QVERIFY(sender == &port);
        log << QStringLiteral("%1:%2").arg(QLatin1String(name)).arg(port.ModemStatus(), 0, 16);
    }

    void OpenAndArm()
    {
        port.Open();
        QVERIFY(lab.WaitUntilWaiting(1, 2000));
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
    }

    void linesOnAtOpen_fireNothing_untilTheyChange()
    {
        Bench b;
        b.lab.SetLines(1, MS_CTS_ON | MS_DSR_ON);
        b.OpenAndArm();
        QTest::qWait(30);
        QCOMPARE(b.log, QStringList { "open" });
        b.lab.SetLine(1, MS_DSR_ON, false);
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
        QCOMPARE(b.lab.WaitCalls(1), 2); // one delivery, then armed again
    }

    void unselectedEvents_fireNothing()
    {
        Bench b;
        int others = 0;
        b.port.OnRing = [&](QObject*) { ++others; };
        b.port.OnRLSD = [&](QObject*) { ++others; };
        b.port.OnRxChar = [&](QObject*, int) { ++others; };
        b.OpenAndArm();
        b.lab.SetLines(1, MS_RING_ON | MS_RLSD_ON);
        b.lab.Raise(1, EV_RXCHAR | EV_BREAK | EV_ERR);
        b.lab.SetLine(1, MS_CTS_ON, true);
        QTRY_COMPARE(b.log, (QStringList { "open", "CTS:d0" }));
        QTest::qWait(20);
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
        b.lab.Raise(1, 0x01FF);
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

    void pulseOverBeforeTheHandler_isStillDelivered_withTheUnchangedStatus()
    {
        Bench b;
        b.lab.SetLines(1, MS_CTS_ON);
        b.OpenAndArm();
        b.lab.Pulse(1, MS_DSR_ON);
        QTRY_COMPARE(b.log, (QStringList { "open", "DSR:10" }));
        QCOMPARE(b.lab.Lines(1), MS_CTS_ON);
    }

    void pulseDuringADelivery_isDeliveredNext()
    {
        Bench b;
        int deliveries = 0;
        b.port.OnCTS = [&](QObject*) {
            if (++deliveries == 1)
                b.lab.Pulse(1, MS_DSR_ON); // the watcher is blocked in this hand-over
        };
        b.OpenAndArm();
        b.lab.SetLine(1, MS_CTS_ON, true);
        QTRY_COMPARE(b.log, (QStringList { "open", "DSR:10" }));
        QCOMPARE(deliveries, 1);
    }

    void deliveries_neverOverlap()
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
        QTRY_VERIFY(count >= 1 && !b.port.DeliveryPending() && b.lab.PendingEvents(1) == 0);
        QTest::qWait(20);
        QCOMPARE(maxDepth, 1);
    }

    void closeWithADeliveryPending_runsItFirst_withoutDeadlock()
    {
        Bench b;
        b.OpenAndArm();
        b.lab.SetLine(1, MS_DSR_ON, true);
        QVERIFY(WaitWithoutEvents([&] { return b.port.DeliveryPending(); }));
        b.port.Close(); // a deadlock hangs here
        QCOMPARE(b.log, (QStringList { "open", "DSR:20", "close" }));
        QVERIFY(!b.lab.IsOpen(1));
        QCoreApplication::processEvents(); // the stale posted event delivers nothing more
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
        QCOMPARE(b.log, (QStringList { "open", "close" })); // OnDSR of that delivery belongs to nobody
        QVERIFY(!b.lab.IsOpen(1));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        b.port.OnCTS = nullptr;
        b.OpenAndArm();
        b.lab.SetLine(1, MS_DSR_ON, false);
        QTRY_COMPARE(b.log.last(), QStringLiteral("DSR:10"));
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
        QTest::qWait(30);
        QCOMPARE(calls, 1);
        b.port.Close();
        QCOMPARE(b.log, (QStringList { "open", "close" }));
        b.port.OnDSR = [&](QObject*) { ++calls; };
        b.OpenAndArm();
        b.lab.SetLine(1, MS_DSR_ON, true);
        QTRY_COMPARE(calls, 2);
    }

    void failedWait_endsTheWatcher_withoutSpinning()
    {
        Bench b;
        b.lab.FailWith(1, SimSerialOp::Wait, EIO);
        b.port.Open();
        QTRY_VERIFY(!b.port.WatcherRunning());
        QVERIFY(b.port.Connected());
        QTest::qWait(30);
        QCOMPARE(b.lab.WaitCalls(1), 1);
        b.port.Close();
        QCOMPARE(b.log, (QStringList { "open", "close" }));
    }

    void droppedWait_deliversNothing_andIsArmedAgain()
    {
        Bench b;
        b.OpenAndArm();
        b.lab.DropNextWait(1);
        b.lab.SetLine(1, MS_CTS_ON, true);
        QTRY_COMPARE(b.lab.WaitCalls(1), 2);
        QVERIFY(b.lab.WaitUntilWaiting(1, 2000));
        QCoreApplication::processEvents();
        QCOMPARE(b.log, QStringList { "open" });
        b.lab.SetLine(1, MS_CTS_ON, false);
        QTRY_COMPARE(b.log, (QStringList { "open", "CTS:0" }));
        QVERIFY(b.port.WatcherRunning());
    }

    void unplugWhileOpen_leavesItDeaf_idle_andClosable()
    {
        Bench b;
        b.OpenAndArm();
        b.lab.Unplug(1);
        QTRY_VERIFY(!b.port.WatcherRunning());
        QVERIFY(b.port.Connected());
        QCOMPARE(b.port.ModemStatus(), 0u);
        const int waits = b.lab.WaitCalls(1);
        const double cpuBefore = ProcessCpuMs();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(200);
        const double cpu = ProcessCpuMs() - cpuBefore;
        QCOMPARE(b.lab.WaitCalls(1), waits);
        // A spinning watcher would burn a whole core for these 200 ms.
        QVERIFY2(cpu < wall.elapsed() * 0.25, qPrintable(QStringLiteral("cpu %1 ms").arg(cpu)));
        b.port.Close();
        QCOMPARE(b.log, (QStringList { "open", "close" }));
        QVERIFY_THROWS_EXCEPTION(EComHandle, b.port.Open()); // gone until plugged in again
        b.lab.AddPort(1);
        b.OpenAndArm();
        b.lab.SetLine(1, MS_CTS_ON, true);
        QTRY_COMPARE(b.log.last(), QStringLiteral("CTS:10"));
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
        QVERIFY(dsr <= 20 * 50);
        b.OpenAndArm();
        b.lab.Pulse(1, MS_DSR_ON);
        const int before = dsr;
        QTRY_COMPARE(dsr, before + 1);
    }
};

QTEST_GUILESS_MAIN(TestComDelivery)
#include "tst_comdelivery.moc"
