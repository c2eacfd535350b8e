// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/ScriptedSerial.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <utility>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kFakeFd = 1000;

} // namespace

ScriptedSerialSystem::ScriptedSerialSystem(QByteArray path)
    : m_path(std::move(path))
    , m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

ScriptedSerialSystem::~ScriptedSerialSystem()
{
    ::close(m_wakeFd);
}

void ScriptedSerialSystem::Wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    m_changed.notify_all();
}

void ScriptedSerialSystem::Count(int tiocmLines, int times)
{
    LineCounts& counts = m_statusLate ? m_undelivered : m_counts;
    counts.cts += (tiocmLines & TIOCM_CTS) ? times : 0;
    counts.dsr += (tiocmLines & TIOCM_DSR) ? times : 0;
    counts.rng += (tiocmLines & TIOCM_RI) ? times : 0;
    counts.dcd += (tiocmLines & TIOCM_CD) ? times : 0;
}

void ScriptedSerialSystem::SetLine(int tiocmLine, bool on)
{
    std::lock_guard lock(m_mutex);
    if (((m_tiocm & tiocmLine) != 0) == on)
        return;
    m_tiocm ^= tiocmLine;
    Count(tiocmLine, 1);
    Wake();
}

void ScriptedSerialSystem::Pulse(int tiocmLine)
{
    std::lock_guard lock(m_mutex);
    Count(tiocmLine, 2);
    Wake();
}

void ScriptedSerialSystem::ActAs(Driver driver)
{
    Fail(Call::GetCounts, driver == Driver::WithoutCounters ? EINVAL : 0);
    Fail(Call::WaitModemChange, driver == Driver::Cp210x ? ENOTTY : 0);
    std::lock_guard lock(m_mutex);
    m_countersStill = driver == Driver::Cp210x;
}

void ScriptedSerialSystem::SetDeliverStatusLate(bool late)
{
    std::lock_guard lock(m_mutex);
    m_statusLate = late;
}

void ScriptedSerialSystem::DeliverStatus()
{
    std::lock_guard lock(m_mutex);
    m_counts.cts += std::exchange(m_undelivered.cts, 0);
    m_counts.dsr += std::exchange(m_undelivered.dsr, 0);
    m_counts.rng += std::exchange(m_undelivered.rng, 0);
    m_counts.dcd += std::exchange(m_undelivered.dcd, 0);
    Wake();
}

void ScriptedSerialSystem::Fail(Call call, int error)
{
    std::lock_guard lock(m_mutex);
    if (error)
        m_failures[call] = error;
    else
        m_failures.erase(call);
    Wake();
}

void ScriptedSerialSystem::BeforeNextSnapshot(std::function<void()> action)
{
    std::lock_guard lock(m_mutex);
    m_beforeSnapshot = std::move(action);
}

void ScriptedSerialSystem::InterruptNextWait()
{
    std::lock_guard lock(m_mutex);
    m_interruptNext = true;
}

bool ScriptedSerialSystem::WaitUntilWaiting(int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_waiting; });
}

int ScriptedSerialSystem::Failure(Call call) const
{
    auto it = m_failures.find(call);
    return it == m_failures.end() ? 0 : it->second;
}

bool ScriptedSerialSystem::Moved(const LineCounts& a, const LineCounts& b, int tiocmMask)
{
    return ((tiocmMask & TIOCM_CTS) && a.cts != b.cts) || ((tiocmMask & TIOCM_DSR) && a.dsr != b.dsr)
        || ((tiocmMask & TIOCM_RI) && a.rng != b.rng) || ((tiocmMask & TIOCM_CD) && a.dcd != b.dcd);
}

int ScriptedSerialSystem::Open(const QByteArray& path, int& fd)
{
    std::lock_guard lock(m_mutex);
    m_openedPath = path;
    if (const int error = Failure(Call::Open))
        return error;
    if (path != m_path)
        return ENOENT;
    if (m_open)
        return EBUSY;
    m_open = true;
    fd = kFakeFd;
    return 0;
}

void ScriptedSerialSystem::Close(int)
{
    std::lock_guard lock(m_mutex);
    m_open = false;
}

int ScriptedSerialSystem::LockExclusive(int)
{
    return 0;
}

bool ScriptedSerialSystem::IsTerminal(int)
{
    return true;
}

int ScriptedSerialSystem::SetExclusive(int, bool)
{
    return 0;
}

bool ScriptedSerialSystem::IsCharDevice(int)
{
    return true;
}

int ScriptedSerialSystem::GetAttributes(int, termios& t)
{
    std::lock_guard lock(m_mutex);
    t = m_tio;
    return 0;
}

int ScriptedSerialSystem::SetAttributes(int, const termios& t)
{
    std::lock_guard lock(m_mutex);
    m_tio = t;
    return 0;
}

int ScriptedSerialSystem::SetCustomSpeed(int, std::uint32_t)
{
    return 0;
}

int ScriptedSerialSystem::SetModemLine(int, int tiocmLine, bool on)
{
    std::lock_guard lock(m_mutex);
    m_tiocm = on ? m_tiocm | tiocmLine : m_tiocm & ~tiocmLine;
    return 0;
}

void ScriptedSerialSystem::RequestLowLatency(int)
{
}

int ScriptedSerialSystem::GetModemLines(int, int& tiocm)
{
    std::lock_guard lock(m_mutex);
    ++m_modemLineReads;
    if (const int error = Failure(Call::GetModemLines))
        return error;
    tiocm = m_tiocm;
    return 0;
}

int ScriptedSerialSystem::GetCounts(int, LineCounts& counts)
{
    std::lock_guard lock(m_mutex);
    if (const int error = Failure(Call::GetCounts))
        return error;
    counts = m_countersStill ? LineCounts {} : m_counts;
    return 0;
}

int ScriptedSerialSystem::WaitModemChange(int, int tiocmMask)
{
    std::unique_lock lock(m_mutex);
    ++m_waitCalls;
    if (const int error = Failure(Call::WaitModemChange))
        return error;
    if (m_interruptNext) {
        m_interruptNext = false;
        return EINTR;
    }
    if (std::function<void()> action = std::exchange(m_beforeSnapshot, {})) {
        lock.unlock();
        action();
        lock.lock();
    }
    const LineCounts snapshot = m_counts;
    m_waiterTid = static_cast<pid_t>(::syscall(SYS_gettid));
    m_waiting = true;
    m_changed.notify_all();
    int result = 0;
    for (;;) {
        if (const int error = Failure(Call::WaitModemChange)) {
            result = error;
            break;
        }
        if (Moved(snapshot, m_counts, tiocmMask))
            break;
        lock.unlock();
        pollfd p { m_wakeFd, POLLIN, 0 };
        const int rc = ::poll(&p, 1, -1);
        const int pollError = rc < 0 ? errno : 0;
        std::uint64_t drained = 0;
        [[maybe_unused]] const ssize_t got = ::read(m_wakeFd, &drained, sizeof drained);
        lock.lock();
        if (pollError == EINTR) {
            result = EINTR;
            break;
        }
    }
    m_waiting = false;
    m_changed.notify_all();
    return result;
}

int ScriptedSerialSystem::InQueue(int, int& count)
{
    count = 0;
    return 0;
}

int ScriptedSerialSystem::Flush(int, int)
{
    return 0;
}

int ScriptedSerialSystem::Poll(int, short, int timeoutMs, short& revents)
{
    {
        std::lock_guard lock(m_mutex);
        ++m_pollCalls;
        if (const int error = Failure(Call::Poll))
            return error;
    }
    revents = 0;
    pollfd p { m_wakeFd, 0, 0 }; // a pure sleep that a signal can end
    return ::poll(&p, 1, timeoutMs) < 0 ? errno : 0;
}

} // namespace platform

namespace platform {

ThreadWait ScriptedSerialSystem::WaitingIn(pid_t tid)
{
    std::lock_guard lock(m_mutex);
    m_guardTid = static_cast<pid_t>(::syscall(SYS_gettid));
    return m_waiting && tid == m_waiterTid ? ThreadWait::InLineWait : ThreadWait::Elsewhere;
}

int ScriptedSerialSystem::WriteAttribute(const QString& path, const QByteArray& value)
{
    {
        std::lock_guard lock(m_mutex);
        if (const int error = Failure(Call::WriteAttribute))
            return error;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return ENOENT;
    return file.write(value) == value.size() ? 0 : EIO;
}

} // namespace platform

namespace platform {

ScriptedSysfs::ScriptedSysfs()
{
    SetSysfsRoot(m_dir.path());
}

ScriptedSysfs::~ScriptedSysfs()
{
    SetSysfsRoot(QString());
}

void ScriptedSysfs::AddTty(const QString& tty, const QString& driver, int latencyMs, int statusIntervalUs)
{
    // As the kernel lays it out: the tty's device links to the device folder,
    // whose driver link leads into the bus's driver folder. A usb-serial port
    // is a device below its USB interface; cdc_acm's tty hangs on the
    // interface itself. The interface carries the endpoints.
    const QDir root(m_dir.path());
    const QString usbInterface = QStringLiteral("devices/usb1/1-%1/1-%1:1.0").arg(++m_usbDevices);
    const bool acm = driver == QLatin1String("cdc_acm");
    const QString device = acm ? usbInterface : usbInterface + QLatin1Char('/') + tty;
    Link(device,
        acm ? QStringLiteral("bus/usb/drivers/cdc_acm") : QStringLiteral("bus/usb-serial/drivers/%1").arg(driver));
    if (statusIntervalUs >= 0) {
        const QString endpoint = usbInterface + QStringLiteral("/ep_81/");
        root.mkpath(endpoint);
        WriteFileBytes(root.filePath(endpoint + QStringLiteral("type")), "Interrupt\n");
        WriteFileBytes(root.filePath(endpoint + QStringLiteral("direction")), "in\n");
        const QByteArray interval = statusIntervalUs % 1000 ? QByteArray::number(statusIntervalUs) + "us\n"
                                                            : QByteArray::number(statusIntervalUs / 1000) + "ms\n";
        WriteFileBytes(root.filePath(endpoint + QStringLiteral("interval")), interval);
        // The bulk endpoints of the data beside it.
        root.mkpath(usbInterface + QStringLiteral("/ep_02"));
        WriteFileBytes(root.filePath(usbInterface + QStringLiteral("/ep_02/type")), "Bulk\n");
    }
    root.mkpath(QStringLiteral("class/tty/") + tty);
    QFile::link(root.filePath(device), root.filePath(QStringLiteral("class/tty/%1/device").arg(tty)));
    if (latencyMs >= 0)
        WriteFileBytes(LatencyTimerFile(tty), QByteArray::number(latencyMs) + '\n');
}

void ScriptedSysfs::AddSerialCoreTty(const QString& tty, const QString& driver, int uartType)
{
    // The UART's own device, then the serial core's controller and port.
    const QDir root(m_dir.path());
    const QString hardware = QStringLiteral("devices/pnp0/00:0%1").arg(++m_uarts);
    const QString controller = hardware + QStringLiteral("/%1:0").arg(QFileInfo(hardware).fileName());
    const QString port = controller + QStringLiteral("/%1:0.0").arg(QFileInfo(hardware).fileName());
    Link(hardware, QStringLiteral("bus/pnp/drivers/%1").arg(driver));
    Link(controller, QStringLiteral("bus/serial-base/drivers/ctrl"));
    Link(port, QStringLiteral("bus/serial-base/drivers/port"));
    root.mkpath(QStringLiteral("class/tty/") + tty);
    QFile::link(root.filePath(port), root.filePath(QStringLiteral("class/tty/%1/device").arg(tty)));
    WriteFileBytes(root.filePath(QStringLiteral("class/tty/%1/type").arg(tty)), QByteArray::number(uartType) + '\n');
}

void ScriptedSysfs::AddPlaceholderTty(const QString& tty, bool withDevice)
{
    // The 8250 driver's ports beyond the UARTs found: their device is the
    // driver's platform device (older kernels) and their type 0, or they have
    // no device at all.
    const QDir root(m_dir.path());
    root.mkpath(QStringLiteral("class/tty/") + tty);
    if (withDevice) {
        const QString platformDevice = QStringLiteral("devices/platform/serial8250");
        Link(platformDevice, QStringLiteral("bus/platform/drivers/serial8250"));
        QFile::link(root.filePath(platformDevice), root.filePath(QStringLiteral("class/tty/%1/device").arg(tty)));
    }
    WriteFileBytes(root.filePath(QStringLiteral("class/tty/%1/type").arg(tty)), "0\n");
}

void ScriptedSysfs::Link(const QString& device, const QString& driverFolder)
{
    const QDir root(m_dir.path());
    root.mkpath(device);
    root.mkpath(driverFolder);
    QFile::link(root.filePath(driverFolder), root.filePath(device + QStringLiteral("/driver")));
}

QString ScriptedSysfs::LatencyTimerFile(const QString& tty) const
{
    return LatencyTimerPath(m_dir.path(), tty);
}

} // namespace platform
