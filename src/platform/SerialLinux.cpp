#include "platform/SerialLinux.h"

#include "platform/PortMap.h"

#include <cerrno>
#include <csignal>
#include <mutex>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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
// returns EINTR instead of being restarted by the C library.
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

// Setting an output line on a device without modem lines (a pseudo-terminal)
// is not an error worth refusing the port for.
int SetModemLine(int fd, int line, bool on)
{
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return 0;
    const int error = errno;
    return ClassifyWaitError(error) == WaitErrorKind::Unsupported ? 0 : error;
}

// USB adapters report line changes every 16 ms by default; low latency makes
// it about 1 ms. Drivers that do not know the flag are left as they are.
void RequestLowLatency(int fd)
{
    serial_struct serial {};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY))
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &serial);
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

std::uint32_t EventsFromCounts(const LineCounts& before, const LineCounts& after, std::uint32_t mask)
{
    std::uint32_t events = 0;
    if (after.cts != before.cts)
        events |= EV_CTS;
    if (after.dsr != before.dsr)
        events |= EV_DSR;
    if (after.rng != before.rng)
        events |= EV_RING;
    if (after.dcd != before.dcd)
        events |= EV_RLSD;
    if (after.brk != before.brk)
        events |= EV_BREAK;
    if (after.errors != before.errors)
        events |= EV_ERR;
    return events & mask;
}

std::uint32_t EventsFromLevels(std::uint32_t before, std::uint32_t after, std::uint32_t mask)
{
    const std::uint32_t changed = before ^ after;
    std::uint32_t events = 0;
    if (changed & MS_CTS_ON)
        events |= EV_CTS;
    if (changed & MS_DSR_ON)
        events |= EV_DSR;
    if (changed & MS_RING_ON)
        events |= EV_RING;
    if (changed & MS_RLSD_ON)
        events |= EV_RLSD;
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

LinuxSerialDevice::LinuxSerialDevice(Resolver resolver)
    : m_resolver(std::move(resolver))
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
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // flock keeps out other programs that lock too; TIOCEXCL keeps out every
    // further open (except a privileged one).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return error;
    }
    m_exclusive = ::isatty(fd) && ioctl(fd, TIOCEXCL) == 0;
    m_fd = fd;
    m_stop = false;
    return 0;
}

bool LinuxSerialDevice::IsCharDevice() const
{
    struct stat st { };
    return m_fd >= 0 && ::fstat(m_fd, &st) == 0 && S_ISCHR(st.st_mode);
}

int LinuxSerialDevice::SetLineSettings(const SerialLineSettings& settings)
{
    termios current {};
    if (::tcgetattr(m_fd, &current) != 0)
        return errno;
    LinuxLineSetup setup;
    if (const int error = BuildLinuxLineSetup(settings, current, setup))
        return error;
    if (::tcsetattr(m_fd, TCSANOW, &setup.tio) != 0)
        return errno;
    if (setup.customSpeed) {
        if (const int error = SetCustomLineSpeed(m_fd, setup.speed))
            return error;
    }
    if (const int error = SetModemLine(m_fd, TIOCM_DTR, setup.dtr))
        return error;
    if (const int error = SetModemLine(m_fd, TIOCM_RTS, setup.rts))
        return error;
    RequestLowLatency(m_fd);
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
    // TIOCMIWAIT wakes on the four modem lines only; anything else is watched
    // by the millisecond tick (received bytes, and breaks and line errors
    // through the driver's counters). EV_TXEMPTY and EV_RXFLAG are never
    // reported: nothing is ever written, and the tty layer has no event
    // character.
    const bool linesOnly = (mask & kModemLineEvents) != 0 && (mask & ~kModemLineEvents) == 0;
    m_mode = linesOnly ? Mode::LineWait : Mode::Tick;
    return m_fd < 0 ? EBADF : 0;
}

LinuxSerialDevice::Reading LinuxSerialDevice::ReadCounts(LineCounts& counts, int& error) const
{
    serial_icounter_struct ic {};
    if (ioctl(m_fd, TIOCGICOUNT, &ic) != 0) {
        error = errno;
        return ClassifyWaitError(error) == WaitErrorKind::Gone ? Reading::Gone : Reading::Unsupported;
    }
    counts.cts = ic.cts;
    counts.dsr = ic.dsr;
    counts.rng = ic.rng;
    counts.dcd = ic.dcd;
    counts.brk = ic.brk;
    counts.errors = ic.frame + ic.overrun + ic.parity + ic.buf_overrun;
    return Reading::Ok;
}

LinuxSerialDevice::Reading LinuxSerialDevice::ReadLevels(std::uint32_t& status, int& error) const
{
    int tiocm = 0;
    if (ioctl(m_fd, TIOCMGET, &tiocm) != 0) {
        error = errno;
        return ClassifyWaitError(error) == WaitErrorKind::Gone ? Reading::Gone : Reading::Unsupported;
    }
    status = ModemStatusFromTiocm(tiocm);
    return Reading::Ok;
}

// The selected events since the last look; moves the baseline on.
LinuxSerialDevice::Reading LinuxSerialDevice::ReadChanges(std::uint32_t& events)
{
    events = 0;
    int error = 0;
    if (m_countsWork) {
        LineCounts now;
        const Reading r = ReadCounts(now, error);
        if (r == Reading::Ok) {
            events = EventsFromCounts(m_counts, now, m_mask);
            m_counts = now;
            return r;
        }
        if (r == Reading::Gone)
            return r;
        m_countsWork = false;
    }
    if (m_levelsWork) {
        std::uint32_t now = 0;
        const Reading r = ReadLevels(now, error);
        if (r == Reading::Ok) {
            events = EventsFromLevels(m_levels, now, m_mask);
            m_levels = now;
            return r;
        }
        if (r == Reading::Gone)
            return r;
        m_levelsWork = false;
    }
    return Reading::Unsupported;
}

bool LinuxSerialDevice::EnterWait()
{
    PrepareStopSignal();
    std::lock_guard lock(m_waiterMutex);
    if (m_stop)
        return false;
    m_waiter = pthread_self();
    m_waiting = true;
    return true;
}

void LinuxSerialDevice::LeaveWait()
{
    std::lock_guard lock(m_waiterMutex);
    m_waiting = false;
}

void LinuxSerialDevice::RequestStop()
{
    m_stop = true;
    // The signal can land just before the waiter enters its system call and be
    // lost; the caller sends it again until the waiter has gone.
    std::lock_guard lock(m_waiterMutex);
    if (m_waiting)
        pthread_kill(m_waiter, StopSignal());
}

SerialWaitResult LinuxSerialDevice::WaitEvent(std::uint32_t& events)
{
    events = 0;
    if (m_fd < 0)
        return SerialWaitResult::Failed;
    if (!EnterWait())
        return SerialWaitResult::Stopped;
    const SerialWaitResult result = m_mode == Mode::LineWait ? WaitLineChange(events) : WaitTick(events);
    LeaveWait();
    return result;
}

SerialWaitResult LinuxSerialDevice::WaitLineChange(std::uint32_t& events)
{
    // Changes while the watcher was away (delivering) are in the counters
    // already; TIOCMIWAIT would only wake on the next one.
    std::uint32_t changed = 0;
    if (ReadChanges(changed) == Reading::Gone)
        return SerialWaitResult::Failed;
    if (changed) {
        events = changed;
        return SerialWaitResult::Event;
    }
    if (ioctl(m_fd, TIOCMIWAIT, TiocmWaitMaskFromEvents(m_mask)) != 0) {
        switch (ClassifyWaitError(errno)) {
        case WaitErrorKind::Interrupted:
            return m_stop ? SerialWaitResult::Stopped : SerialWaitResult::Dropped;
        case WaitErrorKind::Unsupported:
            m_mode = Mode::Tick;
            return WaitTick(events);
        case WaitErrorKind::Gone:
            return SerialWaitResult::Failed;
        }
    }
    if (m_stop)
        return SerialWaitResult::Stopped;
    const Reading r = ReadChanges(changed);
    if (r == Reading::Gone)
        return SerialWaitResult::Failed;
    if (!changed && r == Reading::Unsupported) {
        // The driver woke for a watched line but cannot say which: let the
        // handlers read the lines.
        changed = m_mask & kModemLineEvents;
    }
    if (!changed) {
        // A wake without a counted change. A driver that keeps doing that would
        // make this a busy loop: watch it by the tick instead.
        if (++m_spuriousWakes > 100)
            m_mode = Mode::Tick;
        return SerialWaitResult::Dropped;
    }
    m_spuriousWakes = 0;
    events = changed;
    return SerialWaitResult::Event;
}

SerialWaitResult LinuxSerialDevice::WaitTick(std::uint32_t& events)
{
    const bool rx = (m_mask & EV_RXCHAR) != 0;
    std::uint32_t tickEvents = m_mask & (kModemLineEvents | EV_BREAK | EV_ERR);
    if (!m_countsWork)
        tickEvents &= kModemLineEvents;
    if (!m_countsWork && !m_levelsWork)
        tickEvents = 0;
    if (!rx && !tickEvents)
        return SerialWaitResult::Failed; // nothing selected can ever be seen
    for (;;) {
        if (m_stop)
            return SerialWaitResult::Stopped;
        // poll is level-triggered: with bytes already queued it would return at
        // once, so then only the queue's growth counts, looked at every tick.
        const bool queueEmpty = m_inQueue == 0;
        pollfd p { m_fd, static_cast<short>(rx && queueEmpty ? POLLIN : 0), 0 };
        const int timeout = tickEvents || !queueEmpty ? 1 : -1;
        if (::poll(&p, 1, timeout) < 0) {
            if (errno == EINTR)
                continue;
            return SerialWaitResult::Failed;
        }
        if (m_stop)
            return SerialWaitResult::Stopped;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
            return SerialWaitResult::Failed;
        std::uint32_t changed = 0;
        if (tickEvents) {
            const Reading r = ReadChanges(changed);
            if (r == Reading::Gone)
                return SerialWaitResult::Failed;
            if (r == Reading::Unsupported) {
                tickEvents = 0;
                if (!rx)
                    return SerialWaitResult::Failed;
            }
        }
        if (rx) {
            const int queued = InQueueCount();
            if (queued > m_inQueue)
                changed |= EV_RXCHAR;
            m_inQueue = queued;
        }
        if (changed) {
            events = changed;
            return SerialWaitResult::Event;
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
    if (m_fd < 0 || ioctl(m_fd, FIONREAD, &count) != 0)
        return 0;
    return count;
}

void LinuxSerialDevice::Purge(std::uint32_t flags)
{
    // Nothing to abort: the program issues no reads or writes of its own.
    if (m_fd < 0)
        return;
    if (flags & PURGE_RXCLEAR)
        ::tcflush(m_fd, TCIFLUSH);
    if (flags & PURGE_TXCLEAR)
        ::tcflush(m_fd, TCOFLUSH);
    m_inQueue = 0;
}

void LinuxSerialDevice::Close()
{
    if (m_fd < 0)
        return;
    // The exclusive flag outlives our descriptor while others hold the tty.
    if (m_exclusive)
        ioctl(m_fd, TIOCNXCL);
    ::close(m_fd); // also drops the flock
    m_fd = -1;
    m_exclusive = false;
}

} // namespace platform
