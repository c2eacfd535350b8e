// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SerialLinux.h"

#include "platform/PortMap.h"
#include "platform/Scheduling.h"
#include "platform/SerialAdapter.h"

#include <cerrno>
#include <csignal>
#include <mutex>

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

struct SpeedEntry {
    std::uint32_t rate;
    speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    { 50, B50 },
    { 75, B75 },
    { 110, B110 },
    { 134, B134 },
    { 150, B150 },
    { 200, B200 },
    { 300, B300 },
    { 600, B600 },
    { 1200, B1200 },
    { 1800, B1800 },
    { 2400, B2400 },
    { 4800, B4800 },
    { 9600, B9600 },
    { 19200, B19200 },
    { 38400, B38400 },
    { 57600, B57600 },
    { 115200, B115200 },
    { 230400, B230400 },
    { 460800, B460800 },
    { 500000, B500000 },
    { 576000, B576000 },
    { 921600, B921600 },
    { 1000000, B1000000 },
};

// The stop request wakes the watcher out of its ioctl or poll with this
// signal. The handler is installed without SA_RESTART, so the blocked call
// returns EINTR instead of being restarted by the C library. The guard uses
// the same signal to wake the watcher for an edge its wait cannot see.
int StopSignal()
{
    return SIGRTMIN + 4;
}

void OnStopSignal(int)
{
}

// A timing thread takes no process signal: a handler run on it would end its
// wait, and a new wait starts from a new snapshot. Faults stay deliverable
// (they are the thread's own), and the watcher keeps its wake-up.
void BlockProcessSignals(bool keepWakeUp)
{
    sigset_t set;
    sigfillset(&set);
    for (const int fault : { SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT })
        sigdelset(&set, fault);
    if (keepWakeUp)
        sigdelset(&set, StopSignal());
    pthread_sigmask(SIG_SETMASK, &set, nullptr);
}

void PrepareStopSignal()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action { };
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(StopSignal(), &action, nullptr);
    });
    thread_local bool prepared = false;
    if (!prepared) {
        BlockProcessSignals(true);
        prepared = true;
    }
}

pid_t CurrentTid()
{
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

constexpr std::chrono::milliseconds kGuardDelay(1);
// How often the guard's wake-up is sent again while the watcher has not left
// the wait it was meant for.
constexpr std::chrono::milliseconds kGuardResend(1);
// Without knowing where the watcher is, the guard looks twice, at 1 and at 4 ms.
constexpr int kGuardBlindLooks = 2;
constexpr std::chrono::milliseconds kGuardBlindGap(3);
// The level query may correct the counters' levels only after the counters
// have stood still this long (a status packet is on its way for at most the
// FTDI latency timer, 255 ms at its highest), and when a second reading this
// much later agrees.
constexpr std::chrono::milliseconds kResyncQuiet(1000);
constexpr std::chrono::milliseconds kResyncConfirm(300);
// Polling: how far the changes seen may run ahead of the counters before the
// difference is forgotten (counters that never move would otherwise fall
// behind without end).
constexpr int kCreditFloor = 1 << 20;

int CountDelta(int before, int after)
{
    return static_cast<int>(static_cast<unsigned>(after) - static_cast<unsigned>(before));
}

// The lines that moved an odd number of times, as MS_* bits.
std::uint32_t Flips(const LineTransitions& t)
{
    return (t.cts % 2 ? MS_CTS_ON : 0) | (t.dsr % 2 ? MS_DSR_ON : 0) | (t.ring % 2 ? MS_RING_ON : 0)
        | (t.rlsd % 2 ? MS_RLSD_ON : 0);
}

// Whether a counter of the given MS_* lines moved.
bool LinesMoved(const LineCounts& a, const LineCounts& b, std::uint32_t lines)
{
    return ((lines & MS_CTS_ON) && a.cts != b.cts) || ((lines & MS_DSR_ON) && a.dsr != b.dsr)
        || ((lines & MS_RING_ON) && a.rng != b.rng) || ((lines & MS_RLSD_ON) && a.dcd != b.dcd);
}

std::uint32_t LinesOfEvents(std::uint32_t events)
{
    return ((events & EV_CTS) ? MS_CTS_ON : 0) | ((events & EV_DSR) ? MS_DSR_ON : 0)
        | ((events & EV_RING) ? MS_RING_ON : 0) | ((events & EV_RLSD) ? MS_RLSD_ON : 0);
}

} // namespace

int BuildLinuxLineSetup(const SerialLineSettings& s, const termios& current, LinuxLineSetup& setup)
{
    termios t = current;
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // CLOCAL: a dropped carrier must not hang the port up under the watcher.
    t.c_cflag |= CREAD | CLOCAL;

    switch (s.ByteSize) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    case 8:
        t.c_cflag |= CS8;
        break;
    default:
        return EINVAL;
    }
    switch (s.Parity) {
    case 0:
        break;
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return EINVAL;
    }
    if (s.Flags & SerialLineSettings::kParity)
        t.c_iflag |= INPCK;
    // The UART sends one and a half stop bits for CSTOPB at five data bits.
    switch (s.StopBits) {
    case 0:
        break;
    case 1:
    case 2:
        t.c_cflag |= CSTOPB;
        break;
    default:
        return EINVAL;
    }
    if ((s.Flags & SerialLineSettings::kOutxCtsFlow) || s.RtsControl() == SerialLineSettings::RTS_CONTROL_HANDSHAKE)
        t.c_cflag |= CRTSCTS;
    if (s.Flags & SerialLineSettings::kOutX)
        t.c_iflag |= IXON;
    if (s.Flags & SerialLineSettings::kInX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(s.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.XoffChar);
    // A read returns at once with what is queued. XonLim and XoffLim have no
    // counterpart: the kernel keeps its own thresholds for sending XOFF.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    setup.customSpeed = true;
    for (const SpeedEntry& e : kSpeeds) {
        if (e.rate == s.BaudRate) {
            cfsetispeed(&t, e.code);
            cfsetospeed(&t, e.code);
            setup.customSpeed = false;
            break;
        }
    }
    if (s.BaudRate == 0)
        return EINVAL;
    setup.speed = s.BaudRate;
    setup.tio = t;
    setup.dtr = s.DtrControl() != SerialLineSettings::DTR_CONTROL_DISABLE;
    setup.rts = s.RtsControl() != SerialLineSettings::RTS_CONTROL_DISABLE;
    return 0;
}

std::uint32_t ModemStatusFromTiocm(int tiocm)
{
    std::uint32_t status = 0;
    if (tiocm & TIOCM_CTS)
        status |= MS_CTS_ON;
    if (tiocm & TIOCM_DSR)
        status |= MS_DSR_ON;
    if (tiocm & TIOCM_RI)
        status |= MS_RING_ON;
    if (tiocm & TIOCM_CD)
        status |= MS_RLSD_ON;
    return status;
}

int TiocmWaitMaskFromEvents(std::uint32_t events)
{
    int mask = 0;
    if (events & EV_CTS)
        mask |= TIOCM_CTS;
    if (events & EV_DSR)
        mask |= TIOCM_DSR;
    if (events & EV_RING)
        mask |= TIOCM_RI;
    if (events & EV_RLSD)
        mask |= TIOCM_CD;
    return mask;
}

LineTransitions TransitionsFromCounts(const LineCounts& before, const LineCounts& after)
{
    LineTransitions t;
    t.cts = CountDelta(before.cts, after.cts);
    t.dsr = CountDelta(before.dsr, after.dsr);
    t.ring = CountDelta(before.rng, after.rng);
    t.rlsd = CountDelta(before.dcd, after.dcd);
    return t;
}

std::uint32_t OtherEventsFromCounts(const LineCounts& before, const LineCounts& after, std::uint32_t mask)
{
    std::uint32_t events = 0;
    if (after.brk != before.brk)
        events |= EV_BREAK;
    if (after.errors != before.errors)
        events |= EV_ERR;
    return events & mask;
}

ThreadWait ThreadWaitFromProc(const QByteArray& stat, const QByteArray& syscall)
{
    // The state follows the command name, which is in parentheses and may
    // itself contain them.
    const int close = stat.lastIndexOf(')');
    if (close < 0 || close + 2 >= stat.size())
        return ThreadWait::Unknown;
    const char state = stat.at(close + 2);
    if (state != 'S')
        return ThreadWait::Elsewhere;
    if (syscall.isEmpty())
        return ThreadWait::InLineWait;
    // "<number> <argument 1> <argument 2> ...": ioctl(fd, TIOCMIWAIT, mask).
    const QList<QByteArray> fields = syscall.simplified().split(' ');
    bool numberOk = false;
    bool requestOk = false;
    const long number = fields.value(0).toLong(&numberOk);
    const qulonglong request = fields.size() > 2 ? fields.at(2).toULongLong(&requestOk, 0) : 0;
    return numberOk && requestOk && number == SYS_ioctl && request == TIOCMIWAIT ? ThreadWait::InLineWait
                                                                                 : ThreadWait::Elsewhere;
}

WaitErrorKind ClassifyWaitError(int error)
{
    switch (error) {
    case EINTR:
        return WaitErrorKind::Interrupted;
    case ENOTTY:
    case EINVAL:
        return WaitErrorKind::Unsupported;
    default:
        return WaitErrorKind::Gone;
    }
}

LinuxSerialDevice::LinuxSerialDevice()
    : LinuxSerialDevice([](int port) { return PortMap::FromSettings().DevicePath(port); })
{
}

LinuxSerialDevice::LinuxSerialDevice(Resolver resolver, LinuxSerialSystem* system)
    : m_resolver(std::move(resolver))
    , m_sys(system ? *system : RealLinuxSerialSystem())
{
}

LinuxSerialDevice::~LinuxSerialDevice()
{
    Close();
}

int LinuxSerialDevice::Open(int port)
{
    Close();
    return OpenPath(m_resolver(port));
}

int LinuxSerialDevice::OpenNode(int port, const QString& node)
{
    Close();
    return OpenPath(node.isEmpty() ? m_resolver(port) : node);
}

int LinuxSerialDevice::OpenPath(const QString& path)
{
    if (path.isEmpty())
        return ENOENT;
    int fd = -1;
    if (const int error = m_sys.Open(path.toLocal8Bit(), fd))
        return error;
    // flock keeps out other programs that lock too; TIOCEXCL keeps out every
    // further open (except a privileged one).
    if (const int error = m_sys.LockExclusive(fd)) {
        m_sys.Close(fd);
        return error == EWOULDBLOCK ? EBUSY : error;
    }
    m_exclusive = m_sys.IsTerminal(fd) && m_sys.SetExclusive(fd, true) == 0;
    m_fd = fd;
    m_stop = false;
    SerialAdapter adapter = DescribeSerialNode(path);
    // cdc_acm reads CTS as always on: as a barrier line it would stand for a
    // stop request with every other change. It is not used.
    m_unusable = adapter.carriesCts ? 0 : MS_CTS_ON;
    std::lock_guard lock(m_adapterMutex);
    m_adapter = adapter;
    return 0;
}

void LinuxSerialDevice::TuneLatencyTimer()
{
    QString tty;
    {
        std::lock_guard lock(m_adapterMutex);
        if (m_adapter.driver != QLatin1String("ftdi_sio"))
            return;
        tty = m_adapter.tty;
    }
    // An FTDI adapter reports the lines once per latency period (16 ms
    // unless lowered). Low latency (above) lowers it to 1 ms on ftdi_sio;
    // where it did not, writing the timer needs the right to, which a udev
    // rule or root gives. What counts is what it reads back.
    const QString path = LatencyTimerPath(SysfsRoot(), tty);
    int latency = ReadLatencyTimer(path);
    if (latency > 1 && m_sys.WriteAttribute(path, QByteArrayLiteral("1")) == 0)
        latency = ReadLatencyTimer(path);
    std::lock_guard lock(m_adapterMutex);
    m_adapter.latencyMs = latency;
}

bool LinuxSerialDevice::IsCharDevice() const
{
    return m_fd >= 0 && m_sys.IsCharDevice(m_fd);
}

int LinuxSerialDevice::SetLineSettings(const SerialLineSettings& settings)
{
    termios current {};
    if (const int error = m_sys.GetAttributes(m_fd, current))
        return error;
    LinuxLineSetup setup;
    if (const int error = BuildLinuxLineSetup(settings, current, setup))
        return error;
    if (const int error = m_sys.SetAttributes(m_fd, setup.tio))
        return error;
    if (setup.customSpeed) {
        if (const int error = m_sys.SetCustomSpeed(m_fd, setup.speed))
            return error;
    }
    // Setting an output line on a device without modem lines (a
    // pseudo-terminal) is not an error worth refusing the port for.
    for (const auto& [line, on] : { std::pair { TIOCM_DTR, setup.dtr }, std::pair { TIOCM_RTS, setup.rts } }) {
        const int error = m_sys.SetModemLine(m_fd, line, on);
        if (error && ClassifyWaitError(error) != WaitErrorKind::Unsupported)
            return error;
    }
    // USB adapters report line changes every 16 ms by default; low latency
    // makes it about 1 ms. Drivers that do not know the flag stay as they are.
    m_sys.RequestLowLatency(m_fd);
    TuneLatencyTimer();
    return 0;
}

// Linux has no time-out record: the read behaviour it asks for (return at once
// with what is queued) is VMIN = VTIME = 0 of the line settings, and write
// time-outs do not exist (the program never writes). The record is kept so a
// read gives back what was set.
int LinuxSerialDevice::GetTimeouts(SerialTimeouts& timeouts)
{
    if (m_fd < 0)
        return EBADF;
    timeouts = m_timeouts;
    return 0;
}

int LinuxSerialDevice::SetTimeouts(const SerialTimeouts& timeouts)
{
    if (m_fd < 0)
        return EBADF;
    m_timeouts = timeouts;
    return 0;
}

// The tty layer's buffers have a fixed size; there is nothing to set.
int LinuxSerialDevice::SetupQueues(int, int)
{
    return m_fd < 0 ? EBADF : 0;
}

void LinuxSerialDevice::SetMode(Mode mode)
{
    m_mode = mode;
    m_polling = mode == Mode::Polling;
}

int LinuxSerialDevice::SetEventMask(std::uint32_t mask)
{
    m_mask = mask & ~LineEventsFromStatus(m_unusable);
    int error = 0;
    // The baseline: the counters and the levels as they are now.
    m_countsWork = ReadCounts(m_counts, error) == Reading::Ok;
    m_counting = m_countsWork;
    m_countsMoved = false;
    m_credit = {};
    m_levelsWork = ReadLevels(m_levels, error) == Reading::Ok;
    m_levels &= ~m_unusable;
    m_inQueue = InQueueCount();
    m_spuriousWakes = 0;
    // TIOCMIWAIT wakes on the four modem lines only; anything else is watched
    // by the millisecond tick (received bytes, and breaks and line errors
    // through the driver's counters). EV_TXEMPTY and EV_RXFLAG are never
    // reported: nothing is ever written, and the tty layer has no event
    // character.
    const bool linesOnly = (m_mask & kModemLineEvents) != 0 && (m_mask & ~kModemLineEvents) == 0;
    SetMode(linesOnly && (m_levelsWork || m_countsWork) ? Mode::LineWait : Mode::Polling);
    // The guard is ready before the first wait: a thread just started runs at
    // ordinary priority until it has asked for more.
    if (m_mode == Mode::LineWait && m_fd >= 0)
        StartGuard();
    return m_fd < 0 ? EBADF : 0;
}

LinuxSerialDevice::Reading LinuxSerialDevice::ReadCounts(LineCounts& counts, int& error) const
{
    error = m_sys.GetCounts(m_fd, counts);
    if (!error)
        return Reading::Ok;
    return ClassifyWaitError(error) == WaitErrorKind::Gone ? Reading::Gone : Reading::Unsupported;
}

LinuxSerialDevice::Reading LinuxSerialDevice::ReadLevels(std::uint32_t& status, int& error) const
{
    int tiocm = 0;
    error = m_sys.GetModemLines(m_fd, tiocm);
    if (error)
        return ClassifyWaitError(error) == WaitErrorKind::Gone ? Reading::Gone : Reading::Unsupported;
    status = ModemStatusFromTiocm(tiocm);
    return Reading::Ok;
}

LinuxSerialDevice::Reading LinuxSerialDevice::Look(
    std::vector<LineEvent>& events, const EdgeTime& seen, bool foundLate, std::uint32_t extra, int& error)
{
    LineCounts counts = m_counts;
    std::uint32_t levels = m_levels;
    LineTransitions transitions;
    std::uint32_t other = extra;
    bool looked = false;
    if (m_countsWork) {
        const Reading r = ReadCounts(counts, error);
        if (r == Reading::Gone)
            return r;
        m_countsWork = r == Reading::Ok;
        m_counting = m_countsWork;
        if (m_countsWork) {
            transitions = TransitionsFromCounts(m_counts, counts);
            other |= OtherEventsFromCounts(m_counts, counts, m_mask);
            levels = m_levels ^ Flips(transitions);
            looked = true;
        }
    }
    if (!looked && m_levelsWork) {
        const Reading r = ReadLevels(levels, error);
        if (r == Reading::Gone)
            return r;
        m_levelsWork = r == Reading::Ok;
        looked = m_levelsWork;
    }
    if (!looked && !extra)
        return Reading::Unsupported;
    levels &= ~m_unusable;
    AppendLineChanges(events, m_levels, levels, transitions, m_mask, seen, foundLate, other);
    m_counts = counts;
    m_levels = levels;
    return Reading::Ok;
}

LinuxSerialDevice::Reading LinuxSerialDevice::LookPolled(
    std::vector<LineEvent>& events, const EdgeTime& seen, std::uint32_t extra, int& error)
{
    std::uint32_t levels = m_levels;
    LineCounts counts = m_counts;
    bool levelsRead = false;
    bool countsRead = false;
    if (m_levelsWork) {
        const Reading r = ReadLevels(levels, error);
        if (r == Reading::Gone)
            return r;
        m_levelsWork = levelsRead = r == Reading::Ok;
    }
    if (m_countsWork) {
        const Reading r = ReadCounts(counts, error);
        if (r == Reading::Gone)
            return r;
        m_countsWork = countsRead = r == Reading::Ok;
        m_counting = m_countsWork;
    }
    if (!levelsRead && !countsRead && !extra)
        return Reading::Unsupported;
    LineTransitions transitions; // none counted: the levels alone
    std::uint32_t other = extra;
    if (countsRead) {
        const LineTransitions counted = TransitionsFromCounts(m_counts, counts);
        other |= OtherEventsFromCounts(m_counts, counts, m_mask);
        if (LinesMoved(m_counts, counts, LinesOfEvents(m_mask)))
            m_countsMoved = true;
        if (levelsRead) {
            transitions = Unseen(counted, (levels ^ m_levels) & ~m_unusable);
        } else {
            levels = m_levels ^ Flips(counted);
            transitions = counted;
        }
    }
    levels &= ~m_unusable;
    AppendLineChanges(events, m_levels, levels, transitions, m_mask, seen, false, other);
    m_counts = counts;
    m_levels = levels;
    return Reading::Ok;
}

LineTransitions LinuxSerialDevice::Unseen(const LineTransitions& counted, std::uint32_t changed)
{
    LineTransitions out;
    const std::pair<int LineTransitions::*, std::uint32_t> lines[]
        = { { &LineTransitions::cts, MS_CTS_ON }, { &LineTransitions::dsr, MS_DSR_ON },
              { &LineTransitions::ring, MS_RING_ON }, { &LineTransitions::rlsd, MS_RLSD_ON } };
    for (size_t i = 0; i < std::size(lines); ++i) {
        const auto [count, bit] = lines[i];
        const int seen = (changed & bit) ? 1 : 0;
        int& credit = m_credit[i];
        credit = std::max(credit + counted.*count - seen, -kCreditFloor);
        // Only whole pulses: a single change beyond those seen is the levels'
        // to tell (it may be one the counters have not caught up with).
        const int pulses = credit >= 2 ? credit / 2 * 2 : 0;
        credit -= pulses;
        out.*count = seen + pulses;
    }
    return out;
}

void LinuxSerialDevice::Resync(std::vector<LineEvent>& events, std::uint32_t levels, const EdgeTime& seen)
{
    levels &= ~m_unusable;
    AppendLineChanges(events, m_levels, levels, LineTransitions {}, m_mask, seen, true);
    m_levels = levels;
}

bool LinuxSerialDevice::EnterWait()
{
    PrepareStopSignal();
    std::lock_guard lock(m_waitMutex);
    if (m_stop)
        return false;
    m_waiter = pthread_self();
    m_waiterTid = CurrentTid();
    m_waiting = true;
    return true;
}

void LinuxSerialDevice::LeaveWait()
{
    {
        std::lock_guard lock(m_waitMutex);
        m_waiting = false;
        m_armed = false;
    }
    m_guardWake.notify_all();
}

void LinuxSerialDevice::RequestStop()
{
    m_stop = true;
    // The signal can land just before the waiter enters its system call and be
    // lost; the caller sends it again until the waiter has gone.
    std::lock_guard lock(m_waitMutex);
    if (m_waiting)
        pthread_kill(m_waiter, StopSignal());
    m_guardWake.notify_all();
}

SerialWaitResult LinuxSerialDevice::WaitEvents(std::vector<LineEvent>& events, int& error)
{
    error = 0;
    if (m_fd < 0) {
        error = EBADF;
        return SerialWaitResult::Failed;
    }
    if (!EnterWait())
        return SerialWaitResult::Stopped;
    const SerialWaitResult result = m_mode == Mode::LineWait ? WaitLineChange(events, error) : WaitTick(events, error);
    LeaveWait();
    return result;
}

SerialWaitResult LinuxSerialDevice::WaitLineChange(std::vector<LineEvent>& events, int& error)
{
    // Changes since the last look (while the watcher was handing over) are in
    // the counters already; TIOCMIWAIT would only wake on the next one.
    const size_t before = events.size();
    if (Look(events, EdgeTime::Now(), true, 0, error) == Reading::Gone)
        return SerialWaitResult::Gone;
    if (events.size() > before)
        return SerialWaitResult::Event;

    StartGuard();
    std::uint64_t arming = 0;
    {
        std::lock_guard lock(m_waitMutex);
        arming = ++m_arming;
        m_armedState = Arming { arming, m_counts, m_levels, LinesOfEvents(m_mask), m_countsWork,
            m_countsWork && m_levelsWork, std::chrono::steady_clock::now(), m_waiterTid, m_waiter };
        m_armed = true;
    }
    m_guardWake.notify_all();
    const int waitError = m_sys.WaitModemChange(m_fd, TiocmWaitMaskFromEvents(m_mask));
    const EdgeTime woke = EdgeTime::Now(); // the edge's moment: before anything else
    bool late = false;
    EdgeTime found;
    bool resync = false;
    std::uint32_t resyncLevels = 0;
    EdgeTime resyncSeen;
    {
        std::lock_guard lock(m_waitMutex);
        m_armed = false;
        late = m_lateArming == arming;
        found = m_lateSeen;
        resync = m_resyncArming == arming;
        resyncLevels = m_resyncLevels;
        resyncSeen = m_resyncSeen;
    }
    m_guardWake.notify_all(); // the guard stops sending its wake-up
    if (m_stop)
        return SerialWaitResult::Stopped;
    if (waitError) {
        switch (ClassifyWaitError(waitError)) {
        case WaitErrorKind::Interrupted:
            if (!late && !resync)
                return SerialWaitResult::Dropped; // a wake-up meant for an earlier wait: arm again
            break;
        case WaitErrorKind::Unsupported:
            SetMode(Mode::Polling);
            return WaitTick(events, error);
        case WaitErrorKind::Gone:
            error = waitError;
            return SerialWaitResult::Gone;
        }
    }
    if (resync)
        Resync(events, resyncLevels, resyncSeen);
    const Reading r
        = waitError ? Look(events, late ? found : woke, true, 0, error) : Look(events, woke, false, 0, error);
    if (r == Reading::Gone)
        return SerialWaitResult::Gone;
    if (r == Reading::Unsupported) {
        error = ENOTTY;
        return SerialWaitResult::Failed; // the lines can no longer be read
    }
    if (events.size() == before) {
        // A wake without a counted change. A driver that keeps doing that would
        // make this a busy loop: watch it by the tick instead.
        if (++m_spuriousWakes > 100)
            SetMode(Mode::Polling);
        return SerialWaitResult::Dropped;
    }
    m_spuriousWakes = 0;
    return SerialWaitResult::Event;
}

SerialWaitResult LinuxSerialDevice::WaitTick(std::vector<LineEvent>& events, int& error)
{
    const bool rx = (m_mask & EV_RXCHAR) != 0;
    bool lines = (m_mask & (kModemLineEvents | EV_BREAK | EV_ERR)) != 0 && (m_countsWork || m_levelsWork);
    if (!rx && !lines) {
        error = ENOTTY;
        return SerialWaitResult::Failed; // nothing selected can ever be seen
    }
    const size_t before = events.size();
    for (;;) {
        if (m_stop)
            return SerialWaitResult::Stopped;
        // poll is level-triggered: with bytes already queued it would return at
        // once, so then only the queue's growth counts, looked at every tick.
        const bool queueEmpty = m_inQueue == 0;
        const short wanted = static_cast<short>(rx && queueEmpty ? POLLIN : 0);
        short revents = 0;
        const int pollError = m_sys.Poll(m_fd, wanted, lines || !queueEmpty ? 1 : -1, revents);
        const EdgeTime now = EdgeTime::Now();
        if (pollError == EINTR)
            continue;
        if (pollError) {
            error = pollError;
            return ClassifyWaitError(pollError) == WaitErrorKind::Gone ? SerialWaitResult::Gone
                                                                       : SerialWaitResult::Failed;
        }
        if (m_stop)
            return SerialWaitResult::Stopped;
        if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
            error = EIO;
            return SerialWaitResult::Gone;
        }
        std::uint32_t extra = 0;
        if (rx) {
            const int queued = InQueueCount();
            if (queued > m_inQueue)
                extra |= EV_RXCHAR;
            m_inQueue = queued;
        }
        if (lines || extra) {
            const Reading r = LookPolled(events, now, extra, error);
            if (r == Reading::Gone)
                return SerialWaitResult::Gone;
            if (r == Reading::Unsupported) {
                lines = false;
                if (!rx) {
                    error = ENOTTY;
                    return SerialWaitResult::Failed;
                }
            }
        }
        if (events.size() > before)
            return SerialWaitResult::Event;
    }
}

void LinuxSerialDevice::StartGuard()
{
    if (m_guard.joinable())
        return;
    {
        std::lock_guard lock(m_waitMutex);
        m_guardQuit = false;
    }
    m_guard = std::thread([this] { GuardLoop(); });
}

void LinuxSerialDevice::StopGuard()
{
    if (!m_guard.joinable())
        return;
    {
        std::lock_guard lock(m_waitMutex);
        m_guardQuit = true;
    }
    m_guardWake.notify_all();
    m_guard.join();
}

bool LinuxSerialDevice::StillArmed(const Arming& arming) const
{
    return !m_guardQuit && m_armed && m_arming == arming.id && !m_stop;
}

void LinuxSerialDevice::WakeUntilLeft(std::unique_lock<std::mutex>& lock, const Arming& arming)
{
    while (StillArmed(arming)) {
        // The watcher cannot leave the arming without this lock, so it is alive.
        pthread_kill(arming.waiter, StopSignal());
        m_guardWake.wait_for(lock, kGuardResend, [&] { return !StillArmed(arming); });
    }
}

// Looks at the wait's window: an edge that came after the watcher's last
// reading but before the wait took its own snapshot does not wake the wait.
bool LinuxSerialDevice::GuardWindow(std::unique_lock<std::mutex>& lock, const Arming& arming)
{
    auto due = arming.at + kGuardDelay;
    int blindLooks = 0;
    for (;;) {
        m_guardWake.wait_until(lock, due, [&] { return !StillArmed(arming); });
        if (!StillArmed(arming))
            return false;
        lock.unlock();
        // Where the watcher is, before the counters: asleep in the wait means
        // its snapshot is taken, so this reading sees every edge it cannot.
        const ThreadWait where = m_sys.WaitingIn(arming.tid);
        bool read = false;
        bool moved = false;
        if (arming.countsWork) {
            LineCounts now;
            read = m_sys.GetCounts(m_fd, now) == 0;
            moved = read && LinesMoved(arming.counts, now, arming.watched);
        } else {
            // Without counters (pl2303, ch341) the levels tell: a line that is
            // not as it was before the arming changed in the window. These
            // drivers answer the level query from the last status report, as
            // the wait itself sees it.
            int tiocm = 0;
            read = m_sys.GetModemLines(m_fd, tiocm) == 0;
            moved = read && ((ModemStatusFromTiocm(tiocm) ^ arming.levels) & arming.watched) != 0;
        }
        const EdgeTime found = EdgeTime::Now();
        lock.lock();
        if (!StillArmed(arming) || !read)
            return false;
        if (moved) {
            m_lateArming = arming.id;
            m_lateSeen = found;
            WakeUntilLeft(lock, arming);
            return false;
        }
        if (where == ThreadWait::InLineWait)
            return true;
        if (where == ThreadWait::Unknown && ++blindLooks >= kGuardBlindLooks)
            return false;
        due = std::chrono::steady_clock::now() + (where == ThreadWait::Unknown ? kGuardBlindGap : kGuardDelay);
    }
}

// Once the counters have stood still, compares the levels they gave with the
// level query. Only a difference that two readings agree on, with the
// counters unmoved throughout, is put right.
void LinuxSerialDevice::GuardLevels(std::unique_lock<std::mutex>& lock, const Arming& arming)
{
    auto due = arming.at + kResyncQuiet;
    bool haveCandidate = false;
    std::uint32_t candidate = 0;
    for (;;) {
        m_guardWake.wait_until(lock, due, [&] { return !StillArmed(arming); });
        if (!StillArmed(arming))
            return;
        lock.unlock();
        LineCounts first;
        LineCounts second;
        int tiocm = 0;
        const bool read = m_sys.GetCounts(m_fd, first) == 0 && m_sys.GetModemLines(m_fd, tiocm) == 0
            && m_sys.GetCounts(m_fd, second) == 0;
        const EdgeTime seen = EdgeTime::Now();
        lock.lock();
        if (!StillArmed(arming) || !read || LinesMoved(arming.counts, first, arming.watched)
            || LinesMoved(arming.counts, second, arming.watched))
            return;
        const std::uint32_t levels = ModemStatusFromTiocm(tiocm) & arming.watched;
        if (levels == (arming.levels & arming.watched))
            return;
        if (!haveCandidate || levels != candidate) {
            haveCandidate = true;
            candidate = levels;
            due = std::chrono::steady_clock::now() + kResyncConfirm;
            continue;
        }
        m_resyncArming = arming.id;
        m_resyncLevels = (arming.levels & ~arming.watched) | levels;
        m_resyncSeen = seen;
        WakeUntilLeft(lock, arming);
        return;
    }
}

void LinuxSerialDevice::GuardLoop()
{
    BlockProcessSignals(false);
    RequestTimingPriority(); // its look a millisecond after the arming must not wait behind other work
    std::unique_lock lock(m_waitMutex);
    std::uint64_t guarded = 0;
    while (!m_guardQuit) {
        m_guardWake.wait(lock, [&] { return m_guardQuit || (m_armed && m_arming != guarded); });
        if (m_guardQuit)
            break;
        const Arming arming = m_armedState;
        guarded = arming.id;
        if (GuardWindow(lock, arming) && arming.canResync)
            GuardLevels(lock, arming);
    }
}

std::uint32_t LinuxSerialDevice::ModemStatus()
{
    std::uint32_t status = 0;
    int error = 0;
    if (m_fd < 0 || ReadLevels(status, error) != Reading::Ok)
        return 0;
    return status & ~m_unusable;
}

int LinuxSerialDevice::InQueueCount()
{
    int count = 0;
    if (m_fd < 0 || m_sys.InQueue(m_fd, count) != 0)
        return 0;
    return count;
}

void LinuxSerialDevice::Purge(std::uint32_t flags)
{
    // Nothing to abort: the program issues no reads or writes of its own.
    if (m_fd < 0)
        return;
    if (flags & PURGE_RXCLEAR)
        m_sys.Flush(m_fd, TCIFLUSH);
    if (flags & PURGE_TXCLEAR)
        m_sys.Flush(m_fd, TCOFLUSH);
    m_inQueue = 0;
}

void LinuxSerialDevice::Close()
{
    StopGuard();
    if (m_fd < 0)
        return;
    // The exclusive flag outlives our descriptor while others hold the tty.
    if (m_exclusive)
        m_sys.SetExclusive(m_fd, false);
    m_sys.Close(m_fd); // also drops the flock
    m_fd = -1;
    m_exclusive = false;
    m_unusable = 0;
}

SerialAdapter LinuxSerialDevice::Adapter() const
{
    std::lock_guard lock(m_adapterMutex);
    SerialAdapter adapter = m_adapter;
    adapter.opened = true;
    adapter.waits = !m_polling;
    // Polled counters count only once they have been seen to move: cp210x
    // keeps counters that never do.
    adapter.counts = m_counting && (!m_polling || m_countsMoved);
    return adapter;
}

} // namespace platform
