#include "platform/SerialLinux.h"

#include "platform/PortMap.h"
#include "platform/Scheduling.h"

#include <QFile>

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
    // A thread inherits its creator's signal mask; the waiter must see the signal.
    thread_local bool unblocked = false;
    if (!unblocked) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, StopSignal());
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        unblocked = true;
    }
}

pid_t CurrentTid()
{
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

// The scheduler state of a thread of this process ('S' sleeping, 'R' running
// or runnable, ...), 0 when it cannot be read.
char ThreadState(pid_t tid)
{
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.read(512);
    const int close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : 0;
}

constexpr std::chrono::milliseconds kGuardDelay(1);
// Without the thread state the guard looks twice, at 1 and at 4 ms.
constexpr int kGuardBlindLooks = 2;
constexpr std::chrono::milliseconds kGuardBlindGap(3);

int CountDelta(int before, int after)
{
    return static_cast<int>(static_cast<unsigned>(after) - static_cast<unsigned>(before));
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
    const QString path = m_resolver(port);
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
    return 0;
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

int LinuxSerialDevice::SetEventMask(std::uint32_t mask)
{
    m_mask = mask;
    int error = 0;
    m_countsWork = ReadCounts(m_counts, error) == Reading::Ok;
    m_levelsWork = ReadLevels(m_levels, error) == Reading::Ok;
    m_inQueue = InQueueCount();
    m_spuriousWakes = 0;
    // TIOCMIWAIT wakes on the four modem lines only; anything else is watched
    // by the millisecond tick (received bytes, and breaks and line errors
    // through the driver's counters). EV_TXEMPTY and EV_RXFLAG are never
    // reported: nothing is ever written, and the tty layer has no event
    // character.
    const bool linesOnly = (mask & kModemLineEvents) != 0 && (mask & ~kModemLineEvents) == 0;
    m_mode = linesOnly && m_levelsWork ? Mode::LineWait : Mode::Polling;
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
    std::vector<LineEvent>& events, const Stamp& stamp, bool foundLate, std::uint32_t extra, int& error)
{
    LineCounts counts = m_counts;
    bool haveCounts = false;
    if (m_countsWork) {
        const Reading r = ReadCounts(counts, error);
        if (r == Reading::Gone)
            return r;
        haveCounts = r == Reading::Ok;
        m_countsWork = haveCounts;
    }
    std::uint32_t levels = m_levels;
    bool haveLevels = false;
    if (m_levelsWork) {
        const Reading r = ReadLevels(levels, error);
        if (r == Reading::Gone)
            return r;
        haveLevels = r == Reading::Ok;
        m_levelsWork = haveLevels;
    }
    if (!haveCounts && !haveLevels && !extra)
        return Reading::Unsupported;
    LineTransitions transitions;
    std::uint32_t other = extra;
    if (haveCounts) {
        transitions = TransitionsFromCounts(m_counts, counts);
        other |= OtherEventsFromCounts(m_counts, counts, m_mask);
        if (!haveLevels) {
            // Only the counters: a line that moved an odd number of times flipped.
            const std::uint32_t flips = (transitions.cts % 2 ? MS_CTS_ON : 0) | (transitions.dsr % 2 ? MS_DSR_ON : 0)
                | (transitions.ring % 2 ? MS_RING_ON : 0) | (transitions.rlsd % 2 ? MS_RLSD_ON : 0);
            levels = m_levels ^ flips;
        }
    }
    AppendLineChanges(events, m_levels, levels, transitions, m_mask, stamp, foundLate, other);
    m_counts = counts;
    m_levels = levels;
    return Reading::Ok;
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
    std::lock_guard lock(m_waitMutex);
    m_waiting = false;
    m_armed = false;
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
    if (Look(events, Stamp::Now(), true, 0, error) == Reading::Gone)
        return SerialWaitResult::Gone;
    if (events.size() > before)
        return SerialWaitResult::Event;

    StartGuard();
    std::uint64_t arming = 0;
    {
        std::lock_guard lock(m_waitMutex);
        arming = ++m_arming;
        m_armed = true;
        m_armedCounts = m_counts;
        m_armedAt = std::chrono::steady_clock::now();
    }
    m_guardWake.notify_all();
    const int waitError = m_sys.WaitModemChange(m_fd, TiocmWaitMaskFromEvents(m_mask));
    const Stamp woke = Stamp::Now(); // the edge's moment: before anything else
    bool late = false;
    Stamp found;
    {
        std::lock_guard lock(m_waitMutex);
        m_armed = false;
        late = m_lateArming == arming;
        found = m_lateStamp;
    }
    if (m_stop)
        return SerialWaitResult::Stopped;
    if (waitError) {
        switch (ClassifyWaitError(waitError)) {
        case WaitErrorKind::Interrupted:
            if (!late)
                return SerialWaitResult::Dropped; // another signal: arm again
            break;
        case WaitErrorKind::Unsupported:
            m_mode = Mode::Polling;
            return WaitTick(events, error);
        case WaitErrorKind::Gone:
            error = waitError;
            return SerialWaitResult::Gone;
        }
    }
    const Reading r = waitError ? Look(events, found, true, 0, error) : Look(events, woke, false, 0, error);
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
            m_mode = Mode::Polling;
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
        const Stamp now = Stamp::Now();
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
            const Reading r = Look(events, now, false, extra, error);
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

// Looks at the counters once the watcher sleeps in TIOCMIWAIT. An edge that
// came after the watcher's last reading but before the wait took its own
// snapshot would not wake the wait; the guard wakes the watcher for it.
void LinuxSerialDevice::GuardLoop()
{
    RequestTimingPriority(); // its look a millisecond after the arming must not wait behind other work
    std::unique_lock lock(m_waitMutex);
    std::uint64_t guarded = 0;
    while (!m_guardQuit) {
        m_guardWake.wait(lock, [&] { return m_guardQuit || (m_armed && m_arming != guarded); });
        if (m_guardQuit)
            break;
        const std::uint64_t arming = m_arming;
        guarded = arming;
        const LineCounts base = m_armedCounts;
        const pid_t tid = m_waiterTid;
        const pthread_t waiter = m_waiter;
        auto due = m_armedAt + kGuardDelay;
        int blindLooks = 0;
        for (;;) {
            auto stillArmed = [&] { return !m_guardQuit && m_armed && m_arming == arming && !m_stop; };
            m_guardWake.wait_until(lock, due, [&] { return !stillArmed(); });
            if (!stillArmed())
                break;
            lock.unlock();
            // Sleeping means inside the wait, with its snapshot taken: a
            // reading from now on sees every edge the wait cannot.
            const char state = ThreadState(tid);
            LineCounts now;
            const bool read = m_sys.GetCounts(m_fd, now) == 0;
            const Stamp found = Stamp::Now();
            lock.lock();
            if (!stillArmed())
                break;
            if (read && !(now == base)) {
                m_lateArming = arming;
                m_lateStamp = found;
                pthread_kill(waiter, StopSignal());
                break;
            }
            if (!read || state == 'S' || (state == 0 && ++blindLooks >= kGuardBlindLooks))
                break;
            due = std::chrono::steady_clock::now() + (state == 0 ? kGuardBlindGap : kGuardDelay);
        }
    }
}

std::uint32_t LinuxSerialDevice::ModemStatus()
{
    std::uint32_t status = 0;
    int error = 0;
    if (m_fd < 0 || ReadLevels(status, error) != Reading::Ok)
        return 0;
    return status;
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
}

} // namespace platform
