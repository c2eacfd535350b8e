// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The port component on the Linux device: with a pseudo-terminal standing in
// for the adapter behind a fake /dev (a pty has no modem lines, so those tests
// use received bytes and hang-ups), and with scripted system calls for the
// modem lines.
#include "comm/Comms.h"
#include "platform/PortMap.h"
#include "platform/SerialLinux.h"
#include "support/ScriptedSerial.h"
#include "support/TestSupport.h"

#include <QtTest>

#include <pty.h>
#include <unistd.h>

using namespace platform;

Q_DECLARE_METATYPE(ScriptedSerialSystem::Driver)

class TestComLinux : public QObject {
    Q_OBJECT
private:
    int m_master = -1;
    int m_slave = -1;
    QTemporaryDir m_dev;
    std::unique_ptr<ScriptedSysfs> m_sysfs;

    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private slots:
    void init()
    {
        char name[128] = {};
        QCOMPARE(::openpty(&m_master, &m_slave, name, nullptr, nullptr), 0);
        QFile::remove(m_dev.filePath("ttyUSB0"));
        QVERIFY(QFile::link(QString::fromLocal8Bit(name), m_dev.filePath("ttyUSB0")));
        const QString folder = m_dev.path();
        SetSerialDeviceFactory([folder] {
            return std::make_unique<LinuxSerialDevice>(
                [folder](int port) { return PortMap(folder, {}).DevicePath(port); });
        });
        // The port list of the fake /dev, judged by a sysfs that knows no tty
        // (the pty is a character device all the same).
        m_sysfs = std::make_unique<ScriptedSysfs>();
        SetSerialPortLister([folder, root = m_sysfs->Root()] { return PortMap(folder, {}, root).List(); });
    }

    void cleanup()
    {
        SetSerialPortLister({});
        m_sysfs.reset();
        SetSerialDeviceFactory({});
        CloseMaster();
        ::close(m_slave);
    }

    void receivedBytes_fireOnRxChar_withTheQueueCount()
    {
        TComPort port;
        port.SetEvents({ evRxChar });
        QList<int> queued;
        port.OnRxChar = [&](QObject*, int inQue) { queued << inQue; };
        port.Open();
        QVERIFY(::write(m_master, "12345", 5) == 5);
        QTRY_COMPARE(queued.size(), 1);
        QCOMPARE(queued.first(), 5);
        // Waiting bytes are no new event: the next one comes with the next byte.
        QVERIFY(::write(m_master, "6", 1) == 1);
        QTRY_COMPARE(queued.size(), 2);
        QCOMPARE(queued, (QList<int> { 5, 6 }));
        port.Close(); // the watcher sleeps without a time limit here: the stop signal must reach it
        QVERIFY(!port.Connected());
    }

    void closeWhileTheWatcherSleeps_returns()
    {
        TComPort port;
        port.SetEvents({ evRxChar }); // empty queue: the watcher sleeps in poll without a time limit
        for (int i = 0; i < 20; ++i) {
            port.Open();
            QTest::qWait(i % 3);
            port.Close();
        }
        QVERIFY(!port.Connected());
    }

    void scan_findsTheAdapter_andOpenAppliesTheLine()
    {
        QCOMPARE(ScanComPorts(), 0x00010001u);
        TComPort port;
        port.SetDataBits(5);
        port.SetFlowControl(fcRtsCts);
        port.SetBaudRate(brUser);
        port.SetBaudRateUser(28800);
        port.SetEvents({ evCTS, evDSR });
        port.Open();
        QCOMPARE(ReadLineSpeed(m_slave), 28800u);
        termios t {};
        QCOMPARE(::tcgetattr(m_slave, &t), 0);
        QVERIFY(t.c_cflag & CRTSCTS);
        // A pty has no modem lines: the watcher cannot wait for them and ends.
        QTRY_VERIFY(!port.WatcherRunning());
        QVERIFY(port.Connected());
        port.Close();
    }

    // The scan opens nothing, so the port that is open is still offered; a
    // second open finds it busy and says so.
    void openedPort_isStillOffered_andASecondOpenFindsItBusy()
    {
        TComPort port;
        port.Open();
        QCOMPARE(ScanComPorts(), 0x00010001u);
        TComPort other;
        try {
            other.Open();
            QFAIL("opened twice");
        } catch (const EComHandle& e) {
            QVERIFY2(QString::fromUtf8(e.what()).startsWith(QStringLiteral("Unable to open com port: %1\n").arg(EBUSY)),
                e.what());
        }
        QVERIFY(port.Connected());
    }

    void hangUp_closesThePort_andSaysSo()
    {
        TComPort port;
        port.SetEvents({ evRxChar, evCTS });
        QStringList log;
        port.OnClose = [&](QObject*) { log << QStringLiteral("close"); };
        port.OnLost = [&](QObject*) { log << QStringLiteral("lost"); };
        port.Open();
        QVERIFY(port.WatcherRunning());
        CloseMaster();
        QTRY_VERIFY(!port.Connected());
        QCOMPARE(log, (QStringList { "close", "lost" }));
        QCOMPARE(port.LostError(), EIO);
    }

    // The modem lines through the real device code on scripted system calls.
    void scriptedLines_reachTheHandlers_stampedAtTheEdge_andARemovalClosesThePort()
    {
        ScopedFakeTick tick(700);
        ScriptedSerialSystem sys;
        SetSerialDeviceFactory([&sys] {
            return std::make_unique<LinuxSerialDevice>(
                [&sys](int port) { return port == 1 ? QString::fromLatin1(sys.Path()) : QString(); }, &sys);
        });
        TComPort port;
        port.SetEvents({ evCTS, evDSR });
        QStringList log;
        port.OnDSR = [&](QObject*) {
            const platform::LineEvent* change = port.DispatchedEvent();
            // The time of day is made here, on the port's thread, from the
            // wall clock the watcher took.
            QCOMPARE(
                change->stamp.timeOfDay, QDateTime::fromMSecsSinceEpoch(change->wallClockMs, Qt::LocalTime).time());
            log << QStringLiteral("DSR %1 at %2%3")
                       .arg(change->levels, 0, 16)
                       .arg(change->stamp.tick)
                       .arg(change->foundLate ? QStringLiteral(" late") : QString());
        };
        port.OnClose = [&](QObject*) { log << QStringLiteral("close"); };
        port.OnLost = [&](QObject*) { log << QStringLiteral("lost"); };
        port.Open();
        QVERIFY(sys.WaitUntilWaiting(5000));
        tick.set(800);
        sys.Pulse(TIOCM_DSR);
        QTRY_COMPARE(log, (QStringList { "DSR 20 at 800", "DSR 0 at 800" }));
        QVERIFY(sys.WaitUntilWaiting(5000));
        sys.BeforeNextSnapshot([&] {
            tick.set(900);
            sys.SetLine(TIOCM_DSR, true);
        });
        tick.set(850);
        sys.SetLine(TIOCM_CTS, true); // wakes the wait; the DSR edge falls into the next arming
        QTRY_COMPARE(log.size(), 3);
        QCOMPARE(log.last(), QStringLiteral("DSR 30 at 900 late"));
        QVERIFY(sys.WaitUntilWaiting(5000));
        sys.Fail(ScriptedSerialSystem::Call::WaitModemChange, EIO);
        QTRY_VERIFY(!port.Connected());
        QCOMPARE(log.mid(3), (QStringList { "close", "lost" }));
        QCOMPARE(port.LostError(), EIO);
        QVERIFY(!sys.IsOpen());
    }

    // Each driver as it really behaves, through the port and its watcher:
    // pulses on DSR and CTS, every other one with its rising edge in the
    // window between the watcher's last look and the wait's snapshot (where
    // the driver has a wait). Every edge arrives once, in order.
    void everyDriver_deliversEveryEdge_data()
    {
        QTest::addColumn<ScriptedSerialSystem::Driver>("driver");
        QTest::addColumn<QString>("name");
        QTest::newRow("FTDI") << ScriptedSerialSystem::Driver::Counting << "ftdi_sio";
        QTest::newRow("PL2303") << ScriptedSerialSystem::Driver::WithoutCounters << "pl2303";
        QTest::newRow("CH340") << ScriptedSerialSystem::Driver::WithoutCounters << "ch341-uart";
        QTest::newRow("CP210x") << ScriptedSerialSystem::Driver::Cp210x << "cp210x";
    }
    void everyDriver_deliversEveryEdge()
    {
        QFETCH(ScriptedSerialSystem::Driver, driver);
        QFETCH(QString, name);
        ScriptedSysfs sysfs;
        sysfs.AddTty(QStringLiteral("ttyUSB0"), name, name == "ftdi_sio" ? 1 : -1);
        ScriptedSerialSystem sys("/dev/ttyUSB0");
        sys.ActAs(driver);
        SetSerialDeviceFactory([&sys] {
            return std::make_unique<LinuxSerialDevice>([&sys](int) { return QString::fromLatin1(sys.Path()); }, &sys);
        });
        TComPort port;
        port.SetEvents({ evCTS, evDSR });
        // The edges of each line, in order (two lines that change in one look
        // share an event, and their order is not known).
        QList<bool> dsr;
        QList<bool> cts;
        port.OnLineEvent = [&](QObject*, const LineEvent& change) {
            if (change.events & EV_DSR)
                dsr << bool(change.levels & MS_DSR_ON);
            if (change.events & EV_CTS)
                cts << bool(change.levels & MS_CTS_ON);
        };
        port.Open();
        // A driver without the wait is known once the watcher has tried it,
        // which may be just after Open returns.
        const bool waits = driver != ScriptedSerialSystem::Driver::Cp210x;
        QTRY_COMPARE(port.Adapter().waits, waits);
        QTRY_COMPARE(port.Adapter().counts, driver == ScriptedSerialSystem::Driver::Counting);

        constexpr int kPulses = 12;
        int edges = 0;
        auto lineOf = [](int i) { return i % 2 ? TIOCM_CTS : TIOCM_DSR; };
        for (int i = 0; i < kPulses; ++i) {
            const int line = lineOf(i);
            const bool inWindow = waits && i % 2 == 1; // scheduled with the previous off-edge
            if (!inWindow) {
                if (!waits)
                    QTest::qWait(3); // a look between the edges
                sys.SetLine(line, true);
            }
            ++edges;
            QTRY_VERIFY_WITH_TIMEOUT(dsr.size() + cts.size() >= edges, 5000);
            if (waits && i + 1 < kPulses && (i + 1) % 2 == 1) {
                const int next = lineOf(i + 1);
                sys.BeforeNextSnapshot([&sys, next] { sys.SetLine(next, true); });
            }
            if (!waits)
                QTest::qWait(3);
            sys.SetLine(line, false);
            ++edges;
            // The next pulse's rising edge may follow at once (in the window).
            QTRY_VERIFY_WITH_TIMEOUT(dsr.size() + cts.size() >= edges, 5000);
        }
        QTest::qWait(50);
        const QList<bool> pulses { true, false, true, false, true, false, true, false, true, false, true, false };
        QCOMPARE(dsr, pulses);
        QCOMPARE(cts, pulses);
        port.Close();
    }

    // The adapter came back as ttyUSB3 while the numbering leads COM1 to
    // another node by now: the port opens the node its stable path found, and
    // knows what that adapter is.
    void reopen_opensTheNodeItFound_andKnowsItsAdapter()
    {
        ScriptedSysfs sysfs;
        sysfs.AddTty(QStringLiteral("ttyUSB3"), QStringLiteral("ftdi_sio"), 16);
        ScriptedSerialSystem sys("/dev/ttyUSB3");
        const QString byId = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
        SetSerialPortLister([byId] {
            return std::vector<SerialPortInfo> { SerialPortInfo { 2, QStringLiteral("/dev/ttyUSB3"), byId } };
        });
        SetSerialDeviceFactory([&sys] {
            return std::make_unique<LinuxSerialDevice>([](int) { return QStringLiteral("/dev/ttyUSB0"); }, &sys);
        });
        TComPort port;
        port.SetPort(1);
        port.SetStablePath(byId);
        port.SetEvents({ evCTS, evDSR });
        QCOMPARE(port.Adapter(), SerialAdapter {});
        port.Open();
        SetSerialPortLister({});
        QCOMPARE(port.Port(), 2);
        QCOMPARE(sys.OpenedPath(), QByteArray("/dev/ttyUSB3"));
        const SerialAdapter adapter = port.Adapter();
        QCOMPARE(adapter.driver, QStringLiteral("ftdi_sio"));
        QVERIFY(adapter.opened);
        QCOMPARE(adapter.latencyMs, 1);
        QCOMPARE(adapter.realtime, port.WatcherTimingPriority());
        port.Close();
        QCOMPARE(port.Adapter(), SerialAdapter {});
    }

    void missingDevice_raisesEComHandle()
    {
        TComPort port;
        port.SetPort(2);
        QVERIFY_THROWS_EXCEPTION(EComHandle, port.Open());
        QVERIFY(!port.Connected());
    }
};

QTEST_GUILESS_MAIN(TestComLinux)
#include "tst_comlinux.moc"
