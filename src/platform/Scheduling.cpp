#include "platform/Scheduling.h"

#include <cstdint>

#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

bool RequestTimingPriority()
{
    sched_param param {};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    return sched_setscheduler(0, SCHED_FIFO, &param) == 0;
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
