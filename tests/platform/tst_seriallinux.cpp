#include "platform/SerialLinux.h"

#include <QtTest>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace platform;

namespace {

// The record of the light-barrier line: 9600 bit/s, 5 bits, RTS/CTS, DTR on.
SerialLineSettings BarrierRecord()
{
    SerialLineSettings s;
    s.DCBlength = 28;
    s.BaudRate = 9600;
    s.Flags = 0x2015;
    s.XonLim = 16;
    s.XoffLim = 1;
    s.ByteSize = 5;
    s.XonChar = 0x11;
    s.XoffChar = 0x13;
    return s;
}

// A termios as a terminal starts out: canonical, echoing, output processing.
termios CookedTermios()
{
    termios t {};
    t.c_iflag = ICRNL | IXON | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS8 | CREAD | HUPCL | PARENB;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    return t;
}

LinuxLineSetup Build(const SerialLineSettings& s, int expectedError = 0)
{
    LinuxLineSetup setup;
    const int error = BuildLinuxLineSetup(s, CookedTermios(), setup);
    if (error != expectedError)
        qWarning("BuildLinuxLineSetup returned %d", error);
    return setup;
}

// A pseudo-terminal: the device side is the slave, the test holds the master.
// It has no modem lines, which is what its tests rely on.
class Pty {
public:
    Pty()
    {
        char name[128] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0)
            m_path = QString::fromLocal8Bit(name);
    }
    ~Pty()
    {
        CloseMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    bool ok() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    int slave() const { return m_slave; }
    void Write(const char* bytes) { QVERIFY(::write(m_master, bytes, strlen(bytes)) > 0); }
    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};

LinuxSerialDevice::Resolver Only(int number, const QString& path)
{
    return [number, path](int port) { return port == number ? path : QString(); };
}

} // namespace

class TestSerialLinux : public QObject {
    Q_OBJECT
private slots:
    void barrierRecord_becomesRawFiveBitsWithHandshake()
    {
        const LinuxLineSetup setup = Build(BarrierRecord());
        const termios& t = setup.tio;
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS5));
        QVERIFY(t.c_cflag & CRTSCTS);
        QVERIFY(!(t.c_cflag & (PARENB | CSTOPB)));
        QVERIFY((t.c_cflag & (CREAD | CLOCAL)) == (CREAD | CLOCAL));
        QVERIFY(t.c_cflag & HUPCL); // untouched
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QCOMPARE(cfgetispeed(&t), speed_t(B9600));
        QVERIFY(!setup.customSpeed);
        QCOMPARE(t.c_cc[VMIN], cc_t(0));
        QCOMPARE(t.c_cc[VTIME], cc_t(0));
        QCOMPARE(t.c_cc[VSTART], cc_t(0x11));
        QCOMPARE(t.c_cc[VSTOP], cc_t(0x13));
        QVERIFY(!(t.c_iflag & (IXON | IXOFF | ICRNL | BRKINT | INPCK)));
        QVERIFY(!(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)));
        QVERIFY(!(t.c_oflag & OPOST));
        QVERIFY(setup.dtr);
        QVERIFY(setup.rts);
    }

    void parityStopBitsAndByteSize_data()
    {
        QTest::addColumn<int>("byteSize");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<uint>("cflag"); // of CSIZE | PARENB | PARODD | CMSPAR | CSTOPB
        QTest::newRow("8N1") << 8 << 0 << 0 << uint(CS8);
        QTest::newRow("7O1") << 7 << 1 << 0 << uint(CS7 | PARENB | PARODD);
        QTest::newRow("7E2") << 7 << 2 << 2 << uint(CS7 | PARENB | CSTOPB);
        QTest::newRow("6M1") << 6 << 3 << 0 << uint(CS6 | PARENB | PARODD | CMSPAR);
        QTest::newRow("6S1") << 6 << 4 << 0 << uint(CS6 | PARENB | CMSPAR);
        QTest::newRow("5N1.5") << 5 << 0 << 1 << uint(CS5 | CSTOPB);
    }
    void parityStopBitsAndByteSize()
    {
        QFETCH(int, byteSize);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(uint, cflag);
        SerialLineSettings s = BarrierRecord();
        s.ByteSize = static_cast<std::uint8_t>(byteSize);
        s.Parity = static_cast<std::uint8_t>(parity);
        s.StopBits = static_cast<std::uint8_t>(stopBits);
        const LinuxLineSetup setup = Build(s);
        QCOMPARE(uint(setup.tio.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)), cflag);
    }

    void recordsTheLineCannotTake_areRefused()
    {
        LinuxLineSetup setup;
        SerialLineSettings s = BarrierRecord();
        s.ByteSize = 9;
        QCOMPARE(BuildLinuxLineSetup(s, CookedTermios(), setup), EINVAL);
        s = BarrierRecord();
        s.Parity = 5;
        QCOMPARE(BuildLinuxLineSetup(s, CookedTermios(), setup), EINVAL);
        s = BarrierRecord();
        s.StopBits = 3;
        QCOMPARE(BuildLinuxLineSetup(s, CookedTermios(), setup), EINVAL);
        s = BarrierRecord();
        s.BaudRate = 0;
        QCOMPARE(BuildLinuxLineSetup(s, CookedTermios(), setup), EINVAL);
    }

    void flowControlAndOutputLines()
    {
        SerialLineSettings s = BarrierRecord();
        s.Flags = SerialLineSettings::kBinary | SerialLineSettings::kOutX | SerialLineSettings::kInX; // no DTR, no RTS
        LinuxLineSetup setup = Build(s);
        QVERIFY((setup.tio.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF));
        QVERIFY(!(setup.tio.c_cflag & CRTSCTS));
        QVERIFY(!setup.dtr);
        QVERIFY(!setup.rts);

        s.Flags
            = SerialLineSettings::kBinary | SerialLineSettings::kParity | (1u << SerialLineSettings::kRtsControlShift);
        setup = Build(s);
        QVERIFY(!(setup.tio.c_cflag & CRTSCTS)); // RTS simply on, no handshake
        QVERIFY(setup.rts);
        QVERIFY(setup.tio.c_iflag & INPCK);
    }

    void speeds_withoutAConstant_needTheCustomPath()
    {
        SerialLineSettings s = BarrierRecord();
        for (std::uint32_t rate : { 14400u, 28800u, 56000u, 128000u, 256000u }) {
            s.BaudRate = rate;
            const LinuxLineSetup setup = Build(s);
            QVERIFY2(setup.customSpeed, qPrintable(QString::number(rate)));
            QCOMPARE(setup.speed, rate);
        }
        s.BaudRate = 115200;
        const LinuxLineSetup setup = Build(s);
        QVERIFY(!setup.customSpeed);
        QCOMPARE(cfgetospeed(&setup.tio), speed_t(B115200));
    }

    void modemLines_mapOntoTheStatusWord()
    {
        QCOMPARE(ModemStatusFromTiocm(TIOCM_CTS), MS_CTS_ON);
        QCOMPARE(ModemStatusFromTiocm(TIOCM_DSR), MS_DSR_ON);
        QCOMPARE(ModemStatusFromTiocm(TIOCM_RI), MS_RING_ON);
        QCOMPARE(ModemStatusFromTiocm(TIOCM_CD), MS_RLSD_ON);
        QCOMPARE(ModemStatusFromTiocm(TIOCM_CTS | TIOCM_DSR | TIOCM_DTR | TIOCM_RTS | TIOCM_LE), 0x30u);
        QCOMPARE(ModemStatusFromTiocm(0), 0u);
        QCOMPARE(TiocmWaitMaskFromEvents(EV_CTS | EV_DSR), TIOCM_CTS | TIOCM_DSR);
        QCOMPARE(TiocmWaitMaskFromEvents(EV_RING | EV_RLSD | EV_RXCHAR), TIOCM_RI | TIOCM_CD);
    }

    void counters_tellWhichLinesChanged_evenForAPulse()
    {
        LineCounts before;
        before.cts = 4;
        before.dsr = 7;
        LineCounts after = before;
        after.dsr += 2; // on and off again: same level, still a change
        QCOMPARE(EventsFromCounts(before, after, EV_CTS | EV_DSR), EV_DSR);
        after.cts += 1;
        after.rng += 1;
        after.brk += 1;
        after.errors += 3;
        QCOMPARE(EventsFromCounts(before, after, EV_CTS | EV_DSR), EV_CTS | EV_DSR);
        QCOMPARE(EventsFromCounts(before, after, 0x01FF), EV_CTS | EV_DSR | EV_RING | EV_BREAK | EV_ERR);
        QCOMPARE(EventsFromCounts(before, before, 0x01FF), 0u);
    }

    void levels_tellOnlyWhatDiffers()
    {
        QCOMPARE(EventsFromLevels(MS_CTS_ON, MS_DSR_ON, EV_CTS | EV_DSR), EV_CTS | EV_DSR);
        QCOMPARE(EventsFromLevels(MS_CTS_ON, MS_CTS_ON | MS_RLSD_ON, EV_CTS | EV_DSR), 0u);
        QCOMPARE(EventsFromLevels(0, MS_RLSD_ON | MS_RING_ON, 0x01FF), EV_RLSD | EV_RING);
    }

    void waitErrors_areClassified()
    {
        QCOMPARE(ClassifyWaitError(EINTR), WaitErrorKind::Interrupted);
        QCOMPARE(ClassifyWaitError(ENOTTY), WaitErrorKind::Unsupported);
        QCOMPARE(ClassifyWaitError(EINVAL), WaitErrorKind::Unsupported);
        QCOMPARE(ClassifyWaitError(EIO), WaitErrorKind::Gone);
        QCOMPARE(ClassifyWaitError(ENODEV), WaitErrorKind::Gone);
        QCOMPARE(ClassifyWaitError(ENXIO), WaitErrorKind::Gone);
        QCOMPARE(ClassifyWaitError(EBADF), WaitErrorKind::Gone);
    }

    void open_failsWithTheErrorNumber()
    {
        LinuxSerialDevice none(Only(1, QString()));
        QCOMPARE(none.Open(1), ENOENT);
        QTemporaryDir dir;
        LinuxSerialDevice missing(Only(1, dir.filePath("ttyUSB0")));
        QCOMPARE(missing.Open(1), ENOENT);
        QCOMPARE(missing.ModemStatus(), 0u);
        QCOMPARE(missing.InQueueCount(), 0);
        std::uint32_t events = 0;
        QCOMPARE(missing.WaitEvent(events), SerialWaitResult::Failed);
    }

    void regularFile_opensButIsNoCharacterDevice()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("ttyS0");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        LinuxSerialDevice device(Only(1, path));
        QCOMPARE(device.Open(1), 0);
        QVERIFY(!device.IsCharDevice());
        QVERIFY(device.SetLineSettings(BarrierRecord()) != 0); // not a terminal
        device.Close();
    }

    void pty_takesTheSettings_andIsExclusive()
    {
        Pty pty;
        QVERIFY(pty.ok());
        LinuxSerialDevice device(Only(3, pty.path()));
        QCOMPARE(device.Open(3), 0);
        QVERIFY(device.IsCharDevice());
        QCOMPARE(device.SetLineSettings(BarrierRecord()), 0); // DTR: no lines here, not an error
        termios t {};
        QCOMPARE(::tcgetattr(pty.slave(), &t), 0);
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QVERIFY(t.c_cflag & CRTSCTS);
        QVERIFY(!(t.c_lflag & ICANON));
        QCOMPARE(t.c_cc[VMIN], cc_t(0));
        QCOMPARE(ReadLineSpeed(pty.slave()), 9600u);

        SerialTimeouts in;
        in.ReadIntervalTimeout = 0xFFFFFFFF;
        in.WriteTotalTimeoutConstant = 1500;
        QCOMPARE(device.SetTimeouts(in), 0);
        SerialTimeouts out;
        QCOMPARE(device.GetTimeouts(out), 0);
        QCOMPARE(out, in);
        QCOMPARE(device.SetupQueues(64, 64), 0);

        SerialLineSettings custom = BarrierRecord();
        custom.BaudRate = 28800;
        QCOMPARE(device.SetLineSettings(custom), 0);
        QCOMPARE(ReadLineSpeed(pty.slave()), 28800u);

        LinuxSerialDevice second(Only(3, pty.path()));
        QCOMPARE(second.Open(3), EBUSY);
        device.Close();
        QCOMPARE(second.Open(3), 0);
    }

    void pty_reportsReceivedBytes_andPurgeEmptiesTheQueue()
    {
        Pty pty;
        QVERIFY(pty.ok());
        LinuxSerialDevice device(Only(1, pty.path()));
        QCOMPARE(device.Open(1), 0);
        QCOMPARE(device.SetLineSettings(BarrierRecord()), 0);
        QCOMPARE(device.SetEventMask(EV_RXCHAR), 0);
        auto waiting = std::async(std::launch::async, [&] {
            std::uint32_t events = 0;
            const SerialWaitResult r = device.WaitEvent(events);
            return std::make_pair(r, events);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pty.Write("abc");
        QCOMPARE(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        const auto [result, events] = waiting.get();
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(events, EV_RXCHAR);
        QTRY_COMPARE(device.InQueueCount(), 3);

        // Bytes already waiting are no new event; more bytes are.
        auto again = std::async(std::launch::async, [&] {
            std::uint32_t ev = 0;
            return std::make_pair(device.WaitEvent(ev), ev);
        });
        QCOMPARE(again.wait_for(std::chrono::milliseconds(30)), std::future_status::timeout);
        pty.Write("d");
        QCOMPARE(again.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        QCOMPARE(again.get().second, EV_RXCHAR);

        device.Purge(PURGE_RXABORT | PURGE_RXCLEAR);
        QCOMPARE(device.InQueueCount(), 0);
    }

    void stopRequest_interruptsABlockedWait_andStaysSet()
    {
        Pty pty;
        QVERIFY(pty.ok());
        LinuxSerialDevice device(Only(1, pty.path()));
        QCOMPARE(device.Open(1), 0);
        QCOMPARE(device.SetLineSettings(BarrierRecord()), 0);
        QCOMPARE(device.SetEventMask(EV_RXCHAR), 0); // waits without a time limit
        auto waiting = std::async(std::launch::async, [&] {
            std::uint32_t events = 0;
            return device.WaitEvent(events);
        });
        QCOMPARE(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
        // Sent again until it lands, as the watcher's owner does.
        while (waiting.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            device.RequestStop();
        QCOMPARE(waiting.get(), SerialWaitResult::Stopped);
        pty.Write("x");
        std::uint32_t events = 0;
        QCOMPARE(device.WaitEvent(events), SerialWaitResult::Stopped); // a stop wins over the byte
        QCOMPARE(events, 0u);
    }

    void deviceWithoutModemLines_cannotWaitForThem()
    {
        Pty pty;
        QVERIFY(pty.ok());
        LinuxSerialDevice device(Only(1, pty.path()));
        QCOMPARE(device.Open(1), 0);
        QCOMPARE(device.SetLineSettings(BarrierRecord()), 0);
        QCOMPARE(device.SetEventMask(EV_CTS | EV_DSR), 0);
        QCOMPARE(device.ModemStatus(), 0u);
        auto waiting = std::async(std::launch::async, [&] {
            std::uint32_t events = 0;
            return device.WaitEvent(events);
        });
        QCOMPARE(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        QCOMPARE(waiting.get(), SerialWaitResult::Failed);
    }

    void hangUp_endsTheWait()
    {
        Pty pty;
        QVERIFY(pty.ok());
        LinuxSerialDevice device(Only(1, pty.path()));
        QCOMPARE(device.Open(1), 0);
        QCOMPARE(device.SetLineSettings(BarrierRecord()), 0);
        QCOMPARE(device.SetEventMask(EV_RXCHAR | EV_CTS), 0);
        auto waiting = std::async(std::launch::async, [&] {
            std::uint32_t events = 0;
            return device.WaitEvent(events);
        });
        QCOMPARE(waiting.wait_for(std::chrono::milliseconds(30)), std::future_status::timeout);
        pty.CloseMaster();
        QCOMPARE(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        QCOMPARE(waiting.get(), SerialWaitResult::Failed);
    }
};

QTEST_GUILESS_MAIN(TestSerialLinux)
#include "tst_seriallinux.moc"
