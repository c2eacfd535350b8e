// The port component on the Linux device, with a pseudo-terminal standing in
// for the adapter behind a fake /dev (a pty has no modem lines, so these tests
// use received bytes and hang-ups).
#include "comm/Comms.h"
#include "platform/PortMap.h"
#include "platform/SerialLinux.h"

#include <QtTest>

#include <pty.h>
#include <unistd.h>

using namespace platform;

class TestComLinux : public QObject {
    Q_OBJECT
private:
    int m_master = -1;
    int m_slave = -1;
    QTemporaryDir m_dev;

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
    }

    void cleanup()
    {
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
        QTest::qWait(20);
        QVERIFY(::write(m_master, "12345", 5) == 5);
        QTRY_COMPARE(queued.size(), 1);
        QCOMPARE(queued.first(), 5);
        QTest::qWait(20);
        QCOMPARE(queued.size(), 1); // waiting bytes are no new event
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
        QCOMPARE(ScanComPorts(), 0x00010001u); // free again
    }

    void openedPort_isNotFoundByTheScan_andCannotBeOpenedTwice()
    {
        TComPort port;
        port.Open();
        QCOMPARE(ScanComPorts(), 0u);
        TComPort other;
        try {
            other.Open();
            QFAIL("opened twice");
        } catch (const EComHandle& e) {
            QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("Unable to open com port: %1").arg(EBUSY));
        }
    }

    void hangUp_leavesThePortDeaf_andClosable()
    {
        TComPort port;
        port.SetEvents({ evRxChar, evCTS });
        port.Open();
        QVERIFY(port.WatcherRunning());
        CloseMaster();
        QTRY_VERIFY(!port.WatcherRunning());
        QVERIFY(port.Connected());
        port.Close();
        QVERIFY(!port.Connected());
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
