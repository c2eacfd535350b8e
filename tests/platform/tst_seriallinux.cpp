// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SerialLinux.h"
#include "support/ScriptedSerial.h"
#include "support/TestSupport.h"

#include <QtTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace platform;

Q_DECLARE_METATYPE(ScriptedSerialSystem::Driver)

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

// Until the thread behind the future sleeps (it has entered its wait).
template <typename Future> bool WaitUntilSleeping(Future& future)
{
    for (int i = 0; i < 5000; ++i) {
        if (future.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready)
            return false; // returned without anything to report
        QDir tasks(QStringLiteral("/proc/self/task"));
        for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile wchan(tasks.filePath(tid + QStringLiteral("/wchan")));
            if (wchan.open(QIODevice::ReadOnly) && wchan.readAll().contains("poll"))
                return true;
        }
    }
    return false;
}

using WaitOutcome = std::tuple<SerialWaitResult, std::vector<LineEvent>, int>;

// A device on scripted system calls, opened, with a fake tick.
struct Scripted {
    ScopedFakeTick tick { 100 };
    ScriptedSerialSystem sys;
    LinuxSerialDevice device { Only(1, QString::fromLatin1(sys.Path())), &sys };

    explicit Scripted(QByteArray path = "/dev/ttyFAKE0")
        : sys(std::move(path))
    {
        QCOMPARE(device.Open(1), 0);
    }

    std::future<WaitOutcome> Wait()
    {
        return std::async(std::launch::async, [this] {
            std::vector<LineEvent> events;
            int error = 0;
            const SerialWaitResult r = device.WaitEvents(events, error);
            return WaitOutcome { r, events, error };
        });
    }
};

// The outcome of a wait that must return by itself; one that does not is
// ended with a stop, which the caller sees as Stopped.
WaitOutcome TakeOrStop(std::future<WaitOutcome>& waiting, LinuxSerialDevice& device, int waitMs = 3000)
{
    if (waiting.wait_for(std::chrono::milliseconds(waitMs)) != std::future_status::ready) {
        while (waiting.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            device.RequestStop();
    }
    return waiting.get();
}

std::int64_t WallClockNow()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The signals a thread blocks, from its status line.
quint64 BlockedSignals(pid_t tid)
{
    QFile status(QStringLiteral("/proc/self/task/%1/status").arg(tid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigBlk:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16);
    }
    return 0;
}

quint64 SignalBit(int signal)
{
    return quint64(1) << (signal - 1);
}

WaitOutcome Take(std::future<WaitOutcome>& waiting)
{
    if (waiting.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        qWarning("the wait did not return");
        std::abort(); // a hung watcher cannot be ended from here
    }
    return waiting.get();
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

    void counters_tellHowOftenEachLineChanged()
    {
        LineCounts before;
        before.cts = 4;
        before.dsr = 7;
        before.brk = 1;
        LineCounts after = before;
        after.dsr += 2; // on and off again: same level, still two changes
        after.cts += 1;
        after.errors += 3;
        const LineTransitions t = TransitionsFromCounts(before, after);
        QCOMPARE(t.cts, 1);
        QCOMPARE(t.dsr, 2);
        QCOMPARE(t.ring, 0);
        QCOMPARE(OtherEventsFromCounts(before, after, 0x01FF), EV_ERR);
        QCOMPARE(OtherEventsFromCounts(before, after, EV_CTS | EV_DSR), 0u);
        // The driver's counters wrap; a difference across the wrap still counts.
        before.dsr = INT_MAX;
        after.dsr = INT_MIN;
        QCOMPARE(TransitionsFromCounts(before, after).dsr, 1);
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
        std::vector<LineEvent> events;
        int error = 0;
        QCOMPARE(missing.WaitEvents(events, error), SerialWaitResult::Failed);
        QCOMPARE(error, EBADF);
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
        pty.Write("abc");
        std::vector<LineEvent> events;
        int error = 0;
        QCOMPARE(device.WaitEvents(events, error), SerialWaitResult::Event);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].events, EV_RXCHAR);
        QTRY_COMPARE(device.InQueueCount(), 3);

        // Bytes already waiting are no new event; more bytes are. The waiter
        // notes whether the new bytes had been written when it woke.
        std::atomic<bool> written { false };
        auto again = std::async(std::launch::async, [&] {
            std::vector<LineEvent> ev;
            int err = 0;
            const SerialWaitResult r = device.WaitEvents(ev, err);
            return std::make_tuple(r, ev.empty() ? 0u : ev[0].events, written.load());
        });
        QVERIFY(WaitUntilSleeping(again));
        written = true;
        pty.Write("d");
        QCOMPARE(again.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        const auto [result, mask, afterWrite] = again.get();
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(mask, EV_RXCHAR);
        QVERIFY2(afterWrite, "woke for the bytes that were waiting already");

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
            std::vector<LineEvent> events;
            int error = 0;
            return device.WaitEvents(events, error);
        });
        // Sent again until it lands, as the watcher's owner does.
        while (waiting.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            device.RequestStop();
        QCOMPARE(waiting.get(), SerialWaitResult::Stopped);
        pty.Write("x");
        std::vector<LineEvent> events;
        int error = 0;
        QCOMPARE(device.WaitEvents(events, error), SerialWaitResult::Stopped); // a stop wins over the byte
        QVERIFY(events.empty());
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
            std::vector<LineEvent> events;
            int error = 0;
            return device.WaitEvents(events, error);
        });
        QCOMPARE(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        QCOMPARE(waiting.get(), SerialWaitResult::Failed);
    }

    void hangUp_endsTheWait_asAGoneDevice()
    {
        Pty pty;
        QVERIFY(pty.ok());
        LinuxSerialDevice device(Only(1, pty.path()));
        QCOMPARE(device.Open(1), 0);
        QCOMPARE(device.SetLineSettings(BarrierRecord()), 0);
        QCOMPARE(device.SetEventMask(EV_RXCHAR | EV_CTS), 0);
        std::atomic<bool> hungUp { false };
        auto waiting = std::async(std::launch::async, [&] {
            std::vector<LineEvent> events;
            int error = 0;
            const SerialWaitResult r = device.WaitEvents(events, error);
            return std::make_pair(r, hungUp.load());
        });
        QVERIFY(WaitUntilSleeping(waiting));
        hungUp = true;
        pty.CloseMaster();
        QCOMPARE(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        const auto [result, afterHangUp] = waiting.get();
        QCOMPARE(result, SerialWaitResult::Gone);
        QVERIFY(afterHangUp);
    }

    // The line wait on scripted system calls: TIOCMIWAIT, TIOCGICOUNT and
    // TIOCMGET behave as a driver's, the test moves the lines.

    void edge_isReportedWithTheLevels_stampedWhenTheWaitReturned()
    {
        Scripted s;
        s.sys.SetLine(TIOCM_CTS, true); // on before the mask is set: no event
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        auto waiting = s.Wait();
        QVERIFY(s.sys.WaitUntilWaiting(5000));
        s.tick.set(4711);
        s.sys.SetLine(TIOCM_DSR, true);
        const auto [result, events, error] = Take(waiting);
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].events, EV_DSR);
        QCOMPARE(events[0].levels, MS_CTS_ON | MS_DSR_ON);
        QCOMPARE(events[0].stamp.tick, 4711);
        QVERIFY(!events[0].foundLate);
        // The wall clock, not the time of day: the time zone is left to the
        // thread that shows the time.
        QVERIFY(!events[0].stamp.timeOfDay.isValid());
        QVERIFY(std::llabs(events[0].wallClockMs - WallClockNow()) < 60000);
    }

    void pulseOverBeforeTheLinesAreRead_isStillItsTwoChanges()
    {
        Scripted s;
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        auto waiting = s.Wait();
        QVERIFY(s.sys.WaitUntilWaiting(5000));
        s.tick.set(900);
        s.sys.Pulse(TIOCM_DSR);
        const auto [result, events, error] = Take(waiting);
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(events.size(), size_t(2));
        QCOMPARE(events[0].events, EV_DSR);
        QCOMPARE(events[0].levels, MS_DSR_ON); // the on-edge, with its tick
        QCOMPARE(events[0].stamp.tick, 900);
        QCOMPARE(events[1].levels, 0u);
        QCOMPARE(events[1].stamp.tick, 900);

        // A pulse while the watcher was away is found before it waits again.
        s.tick.set(950);
        s.sys.Pulse(TIOCM_CTS);
        std::vector<LineEvent> found;
        int err = 0;
        QCOMPARE(s.device.WaitEvents(found, err), SerialWaitResult::Event);
        QCOMPARE(found.size(), size_t(2));
        QCOMPARE(found[0].levels, MS_CTS_ON);
        QVERIFY(found[0].foundLate);
        QCOMPARE(found[0].stamp.tick, 950);
    }

    void edgeBetweenTheLastReadingAndTheWait_isFoundWithoutTheNextEdge()
    {
        Scripted s;
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        // The edge lands after the watcher read the counters and before the
        // wait took its snapshot: the wait alone would sleep until the next edge.
        s.sys.BeforeNextSnapshot([&] {
            s.tick.set(12345);
            s.sys.SetLine(TIOCM_DSR, true);
        });
        auto waiting = s.Wait();
        const auto [result, events, error] = Take(waiting);
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].events, EV_DSR);
        QCOMPARE(events[0].levels, MS_DSR_ON);
        QVERIFY(events[0].foundLate);
        QCOMPARE(events[0].stamp.tick, 12345); // the tick at which it was found
        QCOMPARE(s.sys.WaitCalls(), 1);
    }

    // The watcher is held up 3 ms between its last reading of the counters and
    // the wait's snapshot (a busy machine without real-time priority). The
    // guard's first wake-up lands before the wait and is spent; it is sent
    // again until the wait has returned, so the edge does not wait for the
    // next one.
    void edgeInTheWindow_withTheWatcherHeldUp_isReportedAtOnce_data()
    {
        QTest::addColumn<bool>("edgeFirst");
        QTest::addColumn<ScriptedSerialSystem::Driver>("driver");
        for (const auto& [name, driver] : { std::pair { "counting", ScriptedSerialSystem::Driver::Counting },
                 std::pair { "without counters", ScriptedSerialSystem::Driver::WithoutCounters } }) {
            QTest::addRow("edge as the hold-up begins, %s", name) << true << driver;
            QTest::addRow("edge as the hold-up ends, %s", name) << false << driver;
        }
    }
    void edgeInTheWindow_withTheWatcherHeldUp_isReportedAtOnce()
    {
        QFETCH(bool, edgeFirst);
        QFETCH(ScriptedSerialSystem::Driver, driver);
        Scripted s;
        s.sys.ActAs(driver);
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        auto edge = [&] {
            s.tick.set(2500);
            s.sys.SetLine(TIOCM_DSR, true);
        };
        s.sys.BeforeNextSnapshot([&] {
            if (edgeFirst)
                edge();
            std::this_thread::sleep_for(std::chrono::milliseconds(3)); // goes on after a signal
            if (!edgeFirst)
                edge();
        });
        auto waiting = s.Wait();
        const auto [result, events, error] = TakeOrStop(waiting, s.device);
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].levels, MS_DSR_ON);
        QVERIFY(events[0].foundLate);
        QCOMPARE(events[0].stamp.tick, 2500);
        QCOMPARE(s.sys.WaitCalls(), 1);
    }

    void watcherAndGuard_blockEveryProcessSignal_butTheWakeUp()
    {
        Scripted s;
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        auto waiting = s.Wait();
        QVERIFY(s.sys.WaitUntilWaiting(5000));
        QTRY_VERIFY(s.sys.GuardTid() != 0); // the guard has looked where the watcher is
        const quint64 watcher = BlockedSignals(s.sys.WaiterTid());
        const quint64 guard = BlockedSignals(s.sys.GuardTid());
        for (const int signal : { SIGINT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGALRM, SIGRTMIN }) {
            QVERIFY2(watcher & SignalBit(signal), qPrintable(QString::number(signal)));
            QVERIFY2(guard & SignalBit(signal), qPrintable(QString::number(signal)));
        }
        QVERIFY(!(watcher & SignalBit(SIGRTMIN + 4))); // the wake-up
        QVERIFY(!(watcher & SignalBit(SIGSEGV)));
        s.sys.SetLine(TIOCM_CTS, true);
        QCOMPARE(std::get<0>(Take(waiting)), SerialWaitResult::Event);
    }

    void threadWhereabouts_fromItsProcLines()
    {
        const QByteArray sleeping = "4242 (rennzeit (a)) S 1 2 3";
        const QByteArray inWait = "16 0x7 0x545c 0x30 0x0 0x0 0x0 0x7ffd 0x7f12";
        QCOMPARE(ThreadWaitFromProc(sleeping, inWait), ThreadWait::InLineWait);
        QCOMPARE(ThreadWaitFromProc(sleeping, "7 0x7ff 0x1 0xffffffff 0x0 0x0 0x0 0x7ffd 0x7f12"),
            ThreadWait::Elsewhere); // poll
        QCOMPARE(ThreadWaitFromProc("4242 (x) R 1", inWait), ThreadWait::Elsewhere); // inside, not asleep yet
        QCOMPARE(ThreadWaitFromProc("4242 (x) R 1", "running"), ThreadWait::Elsewhere);
        QCOMPARE(ThreadWaitFromProc(sleeping, QByteArray()), ThreadWait::InLineWait); // no syscall line: any sleep
        QCOMPARE(ThreadWaitFromProc(QByteArray(), inWait), ThreadWait::Unknown);
    }

    // An FTDI-like adapter: the level query tells the lines at once, the
    // counters move when the status packet arrives. The levels follow the
    // counters alone, so a pulse is one on- and one off-event however the
    // packets fall, and no arming of the wait asks the lines.
    void pulse_onAnAdapterWhoseLevelsRunAhead_isTwoEvents_data()
    {
        QTest::addColumn<bool>("onePacket");
        QTest::newRow("each edge in its own status packet") << false;
        QTest::newRow("both edges in one status packet") << true;
    }
    void pulse_onAnAdapterWhoseLevelsRunAhead_isTwoEvents()
    {
        QFETCH(bool, onePacket);
        Scripted s;
        s.sys.SetDeliverStatusLate(true);
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        const int baselineReads = s.sys.ModemLineReads();
        std::vector<LineEvent> all;
        for (int round = 0; round < 2; ++round) {
            auto waiting = s.Wait();
            QVERIFY(s.sys.WaitUntilWaiting(5000));
            if (round == 0) {
                s.sys.SetLine(TIOCM_DSR, true);
                if (!onePacket)
                    s.sys.DeliverStatus(); // the off-edge's packet comes in the next round
                s.sys.SetLine(TIOCM_DSR, false); // the level query tells "off" from here on
                if (onePacket)
                    s.sys.DeliverStatus();
            } else {
                s.sys.DeliverStatus();
            }
            const auto [result, events, error] = TakeOrStop(waiting, s.device);
            QCOMPARE(result, SerialWaitResult::Event);
            all.insert(all.end(), events.begin(), events.end());
            if (all.size() >= 2)
                break;
        }
        QCOMPARE(all.size(), size_t(2));
        QCOMPARE(all[0].levels, MS_DSR_ON);
        QCOMPARE(all[1].levels, 0u);
        QVERIFY(!all[0].foundLate);
        QVERIFY(!all[1].foundLate);
        QCOMPARE(s.sys.ModemLineReads(), baselineReads);
        // Nothing more: the next wait sleeps.
        auto next = s.Wait();
        QVERIFY(s.sys.WaitUntilWaiting(5000));
        QCOMPARE(std::get<0>(TakeOrStop(next, s.device, 50)), SerialWaitResult::Stopped);
    }

    // The counters missed a change (a driver that does not count one of its
    // lines): once they have stood still and two level readings agree, the
    // level query puts the levels right, as a change found late.
    void levelsTheCountersMissed_areResynced_afterTheyStoodStill()
    {
        Scripted s;
        s.sys.SetDeliverStatusLate(true); // never delivered: the counters miss it
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        auto waiting = s.Wait();
        QVERIFY(s.sys.WaitUntilWaiting(5000));
        s.tick.set(777);
        s.sys.SetLine(TIOCM_DSR, true);
        const auto [result, events, error] = TakeOrStop(waiting, s.device);
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].events, EV_DSR);
        QCOMPARE(events[0].levels, MS_DSR_ON);
        QVERIFY(events[0].foundLate);
        QCOMPARE(events[0].stamp.tick, 777);
    }

    // A level reading ahead of a status packet that is still on its way is
    // no reason to correct anything: the packet's counters tell the change.
    void levelAheadOfAPacketOnItsWay_isNoResync()
    {
        Scripted s;
        s.sys.SetDeliverStatusLate(true);
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        const int baselineReads = s.sys.ModemLineReads();
        auto waiting = s.Wait();
        QVERIFY(s.sys.WaitUntilWaiting(5000));
        s.sys.SetLine(TIOCM_DSR, true);
        // The guard's first level reading after the quiet second sees "on";
        // the packet arrives before a second one could confirm it.
        QTRY_VERIFY_WITH_TIMEOUT(s.sys.ModemLineReads() > baselineReads, 5000);
        s.sys.DeliverStatus();
        const auto [result, events, error] = TakeOrStop(waiting, s.device);
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].levels, MS_DSR_ON);
        QVERIFY(!events[0].foundLate);
    }

    void cdcAcm_carriesNoCts_soTheStopLineIsNotUsed()
    {
        ScriptedSysfs sysfs;
        sysfs.AddTty(QStringLiteral("ttyACM0"), QStringLiteral("cdc_acm"));
        Scripted s("/dev/ttyACM0");
        s.sys.SetLine(TIOCM_CTS, true); // what cdc_acm always reads
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        QCOMPARE(s.device.ModemStatus(), 0u);
        const SerialAdapter adapter = s.device.Adapter();
        QCOMPARE(adapter.driver, QStringLiteral("cdc_acm"));
        QVERIFY(!adapter.carriesCts);
        auto waiting = s.Wait();
        QVERIFY(s.sys.WaitUntilWaiting(5000));
        s.sys.SetLine(TIOCM_DSR, true);
        const auto [result, events, error] = Take(waiting);
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].events, EV_DSR);
        QCOMPARE(events[0].levels, MS_DSR_ON); // a start, not a stop and a start
    }

    void ftdiLatencyTimer_isSetTo1ms_andReadBack_data()
    {
        QTest::addColumn<int>("writeError");
        QTest::addColumn<int>("expected");
        QTest::newRow("allowed") << 0 << 1;
        QTest::newRow("refused") << EACCES << 16;
    }
    void ftdiLatencyTimer_isSetTo1ms_andReadBack()
    {
        QFETCH(int, writeError);
        QFETCH(int, expected);
        ScriptedSysfs sysfs;
        sysfs.AddTty(QStringLiteral("ttyUSB0"), QStringLiteral("ftdi_sio"), 16);
        Scripted s("/dev/ttyUSB0");
        s.sys.Fail(ScriptedSerialSystem::Call::WriteAttribute, writeError);
        QCOMPARE(s.device.Adapter().latencyMs, 16); // as found at the open
        QCOMPARE(s.device.SetLineSettings(BarrierRecord()), 0);
        const SerialAdapter adapter = s.device.Adapter();
        QCOMPARE(adapter.driver, QStringLiteral("ftdi_sio"));
        QCOMPARE(adapter.tty, QStringLiteral("ttyUSB0"));
        QCOMPARE(adapter.latencyMs, expected);
        QCOMPARE(ReadLatencyTimer(sysfs.LatencyTimerFile(QStringLiteral("ttyUSB0"))), expected);
        QVERIFY(adapter.carriesCts);
    }

    // pl2303 and ch341 keep no counters: the guard compares the levels read
    // before the arming with the level query. An edge in the window between
    // them and the wait's snapshot arrives, and so does the next edge, which
    // brings the level back to what was read before the arming.
    void pulseWithItsEdgeInTheArmingWindow_withoutCounters_isTwoEvents_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::newRow("pl2303") << "pl2303";
        QTest::newRow("ch341") << "ch341-uart";
    }
    void pulseWithItsEdgeInTheArmingWindow_withoutCounters_isTwoEvents()
    {
        QFETCH(QString, driver);
        ScriptedSysfs sysfs;
        sysfs.AddTty(QStringLiteral("ttyUSB0"), driver, -1, 1000);
        Scripted s("/dev/ttyUSB0");
        s.sys.ActAs(ScriptedSerialSystem::Driver::WithoutCounters);
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        constexpr int kPulses = 10;
        std::vector<LineEvent> all;
        for (int i = 0; i < kPulses; ++i) {
            const int line = i % 2 ? TIOCM_CTS : TIOCM_DSR;
            const Tick on = 1000 + 100 * i;
            s.sys.BeforeNextSnapshot([&s, line, on] {
                s.tick.set(on);
                s.sys.SetLine(line, true);
            });
            auto rising = s.Wait();
            auto [result, events, error] = TakeOrStop(rising, s.device);
            QCOMPARE(result, SerialWaitResult::Event);
            all.insert(all.end(), events.begin(), events.end());
            auto falling = s.Wait();
            QVERIFY(s.sys.WaitUntilWaiting(5000));
            s.tick.set(on + 40);
            s.sys.SetLine(line, false);
            std::tie(result, events, error) = TakeOrStop(falling, s.device);
            QCOMPARE(result, SerialWaitResult::Event);
            all.insert(all.end(), events.begin(), events.end());
        }
        QCOMPARE(all.size(), size_t(2 * kPulses));
        for (int i = 0; i < kPulses; ++i) {
            const std::uint32_t line = i % 2 ? MS_CTS_ON : MS_DSR_ON;
            const LineEvent& rising = all[size_t(2 * i)];
            const LineEvent& falling = all[size_t(2 * i + 1)];
            QCOMPARE(rising.events, LineEventsFromStatus(line));
            QCOMPARE(rising.levels, line);
            QVERIFY(rising.foundLate);
            QCOMPARE(rising.stamp.tick, 1000 + 100 * i); // when the guard found it
            QCOMPARE(falling.levels, 0u);
            QCOMPARE(falling.stamp.tick, 1000 + 100 * i + 40);
        }
        const SerialAdapter adapter = s.device.Adapter();
        QCOMPARE(adapter.driver, driver);
        QVERIFY(adapter.waits);
        QVERIFY(!adapter.counts);
        QCOMPARE(adapter.statusIntervalUs, 1000);
    }

    // cp210x answers TIOCMIWAIT with ENOTTY and keeps counters whose modem
    // lines never move: its lines are read every millisecond, and each level
    // change is an edge, stamped at the look that saw it. So is a driver
    // without any counters.
    void driverWithoutTheLineWait_isPolled_eachLevelChangeAnEdge_data()
    {
        QTest::addColumn<bool>("countersStandStill");
        QTest::newRow("cp210x: counters that never move") << true;
        QTest::newRow("no counters at all") << false;
    }
    void driverWithoutTheLineWait_isPolled_eachLevelChangeAnEdge()
    {
        QFETCH(bool, countersStandStill);
        ScriptedSysfs sysfs;
        sysfs.AddTty(QStringLiteral("ttyUSB1"), QStringLiteral("cp210x"));
        Scripted s("/dev/ttyUSB1");
        s.sys.ActAs(ScriptedSerialSystem::Driver::Cp210x);
        if (!countersStandStill)
            s.sys.Fail(ScriptedSerialSystem::Call::GetCounts, ENOTTY);
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        const std::pair<int, bool> edges[] = { { TIOCM_DSR, true }, { TIOCM_CTS, true }, { TIOCM_DSR, false },
            { TIOCM_CTS, false }, { TIOCM_DSR, true }, { TIOCM_DSR, false }, { TIOCM_CTS, true } };
        std::uint32_t levels = 0;
        Tick tick = 5000;
        for (const auto& [line, on] : edges) {
            auto waiting = s.Wait();
            QTRY_VERIFY(s.sys.PollCalls() > 0);
            tick += 37;
            s.tick.set(tick);
            s.sys.SetLine(line, on);
            const auto [result, events, error] = Take(waiting);
            QCOMPARE(result, SerialWaitResult::Event);
            QCOMPARE(events.size(), size_t(1));
            const std::uint32_t bit = line == TIOCM_DSR ? MS_DSR_ON : MS_CTS_ON;
            levels = on ? levels | bit : levels & ~bit;
            QCOMPARE(events[0].events, LineEventsFromStatus(bit));
            QCOMPARE(events[0].levels, levels);
            QCOMPARE(events[0].stamp.tick, tick);
        }
        const SerialAdapter adapter = s.device.Adapter();
        QCOMPARE(adapter.driver, QStringLiteral("cp210x"));
        QVERIFY(adapter.opened);
        QVERIFY(!adapter.waits);
        QVERIFY(!adapter.counts);
        QCOMPARE(adapter.latencyMs, -1);
    }

    // Polling a driver whose counters do move (a selection beyond the modem
    // lines, say): a pulse between two looks is found by its counter, and a
    // counter that catches up with a change the looks saw adds nothing.
    void polledCounters_addThePulsesNoLookSaw_andNoPhantoms()
    {
        Scripted s;
        s.sys.Fail(ScriptedSerialSystem::Call::WaitModemChange, ENOTTY);
        s.sys.SetDeliverStatusLate(true); // the level query runs ahead of the counters
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        auto take = [&s](const std::function<void()>& act) {
            auto waiting = s.Wait();
            act();
            return TakeOrStop(waiting, s.device, 1000);
        };
        s.tick.set(200);
        auto [result, events, error] = take([&] { s.sys.SetLine(TIOCM_DSR, true); });
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].levels, MS_DSR_ON);
        // The counter catches up with the change the look saw, and a pulse
        // no look saw follows: only the pulse is new.
        s.tick.set(300);
        std::tie(result, events, error) = take([&] {
            s.sys.DeliverStatus();
            s.sys.Pulse(TIOCM_CTS);
            s.sys.DeliverStatus();
        });
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(events.size(), size_t(2));
        QCOMPARE(events[0].events, EV_CTS);
        QCOMPARE(events[0].levels, MS_DSR_ON | MS_CTS_ON);
        QCOMPARE(events[1].levels, MS_DSR_ON);
        QCOMPARE(events[1].stamp.tick, 300);
        QVERIFY(s.device.Adapter().counts);
    }

    void openNode_opensExactlyThatNode()
    {
        ScriptedSerialSystem sys("/dev/ttyUSB3");
        // The number would lead to another node by now.
        LinuxSerialDevice device(Only(1, QStringLiteral("/dev/ttyUSB0")), &sys);
        QCOMPARE(device.OpenNode(1, QStringLiteral("/dev/ttyUSB3")), 0);
        QCOMPARE(sys.OpenedPath(), QByteArray("/dev/ttyUSB3"));
        device.Close();
        QCOMPARE(device.OpenNode(1, QString()), ENOENT); // without a node: by the number
        QCOMPARE(sys.OpenedPath(), QByteArray("/dev/ttyUSB0"));
    }

    void foreignSignal_rearmsTheWait_andTheNextEdgeArrives()
    {
        Scripted s;
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        s.sys.InterruptNextWait();
        std::vector<LineEvent> events;
        int error = 0;
        QCOMPARE(s.device.WaitEvents(events, error), SerialWaitResult::Dropped);
        QVERIFY(events.empty());
        auto waiting = s.Wait();
        QVERIFY(s.sys.WaitUntilWaiting(5000));
        s.sys.SetLine(TIOCM_CTS, true);
        const auto [result, changes, err] = Take(waiting);
        QCOMPARE(result, SerialWaitResult::Event);
        QCOMPARE(changes.at(0).levels, MS_CTS_ON);
    }

    void removedAdapter_endsTheWait_asGone_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("whileWaiting");
        QTest::newRow("EIO while waiting") << EIO << true;
        QTest::newRow("ENODEV while waiting") << ENODEV << true;
        QTest::newRow("EIO before waiting") << EIO << false;
    }
    void removedAdapter_endsTheWait_asGone()
    {
        QFETCH(int, error);
        QFETCH(bool, whileWaiting);
        Scripted s;
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        if (!whileWaiting)
            s.sys.Fail(ScriptedSerialSystem::Call::GetCounts, error);
        auto waiting = s.Wait();
        if (whileWaiting) {
            QVERIFY(s.sys.WaitUntilWaiting(5000));
            s.sys.Fail(ScriptedSerialSystem::Call::WaitModemChange, error);
        }
        const auto [result, events, reported] = Take(waiting);
        QCOMPARE(result, SerialWaitResult::Gone);
        QCOMPARE(reported, error);
        QVERIFY(events.empty());
    }

    void stop_endsTheLineWait()
    {
        Scripted s;
        QCOMPARE(s.device.SetEventMask(EV_CTS | EV_DSR), 0);
        auto waiting = s.Wait();
        QVERIFY(s.sys.WaitUntilWaiting(5000));
        while (waiting.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            s.device.RequestStop();
        QCOMPARE(std::get<0>(waiting.get()), SerialWaitResult::Stopped);
    }
};

QTEST_GUILESS_MAIN(TestSerialLinux)
#include "tst_seriallinux.moc"
