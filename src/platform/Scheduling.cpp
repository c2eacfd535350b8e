// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/Scheduling.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include <cstdint>

#include <sched.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// rtkit's own limit on the CPU time a real-time thread may take without
// sleeping; it serves only processes that set one no higher.
constexpr rlim_t kRealtimeKitRunLimitUs = 200000;

// The desktop's real-time broker (rtkit) grants the priority to users
// without an rtprio limit, over the system bus. Our timing threads sleep
// between edges, far below its limit.
bool RequestFromRealtimeKit(int priority)
{
    if (!QCoreApplication::instance())
        return false;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    rlimit limit {};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0)
        return false;
    if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > kRealtimeKitRunLimitUs) {
        limit.rlim_cur = limit.rlim_max = kRealtimeKitRunLimitUs;
        if (setrlimit(RLIMIT_RTTIME, &limit) != 0)
            return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.RealtimeKit1"),
        QStringLiteral("/org/freedesktop/RealtimeKit1"), QStringLiteral("org.freedesktop.RealtimeKit1"),
        QStringLiteral("MakeThreadRealtime"));
    call << static_cast<quint64>(::syscall(SYS_gettid)) << static_cast<quint32>(priority);
    return bus.call(call, QDBus::Block, 500).type() == QDBusMessage::ReplyMessage;
}

} // namespace

bool RequestTimingPriority()
{
    sched_param param {};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (sched_setscheduler(0, SCHED_FIFO, &param) == 0)
        return true;
    // Without an rtprio limit the desktop's broker may still grant it.
    return RequestFromRealtimeKit(param.sched_priority);
}

PiMutex::PiMutex()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&m_mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

PiMutex::~PiMutex()
{
    pthread_mutex_destroy(&m_mutex);
}

void PiMutex::lock()
{
    pthread_mutex_lock(&m_mutex);
}

void PiMutex::unlock()
{
    pthread_mutex_unlock(&m_mutex);
}

bool PiMutex::try_lock()
{
    return pthread_mutex_trylock(&m_mutex) == 0;
}

Doorbell::Doorbell()
    : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

Doorbell::~Doorbell()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Doorbell::Ring()
{
    const std::uint64_t one = 1;
    // Fails only when the counter is full, and then it is rung already.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

void Doorbell::Silence()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(m_fd, &count, sizeof count);
}

} // namespace platform
