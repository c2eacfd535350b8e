// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <pthread.h>

namespace platform {

// Asks the operating system to run the calling thread ahead of ordinary work
// (the lowest real-time level). For threads that sleep until a line changes
// and then only stamp and queue the change: their wake-up is what a barrier
// time is made of, and they never run for long. It takes an rtprio limit (or
// root); without one the desktop's real-time broker rtkit is asked, which
// bounds the CPU time a real-time thread may take without sleeping. Without
// either the thread stays as it is. Returns whether it was granted.
bool RequestTimingPriority();

// A mutex whose holder runs with the priority of the threads waiting for it,
// so a real-time watcher never waits behind an ordinary thread that was
// preempted while holding it. Use with std::condition_variable_any.
class PiMutex {
public:
    PiMutex();
    ~PiMutex();
    PiMutex(const PiMutex&) = delete;
    PiMutex& operator=(const PiMutex&) = delete;

    void lock();
    void unlock();
    bool try_lock();

private:
    pthread_mutex_t m_mutex;
};

// A doorbell that one thread rings and another hears through its event loop
// (a socket notifier on Fd). Ringing is one write to an eventfd: the ringing
// thread never waits for the listening one, not even for a lock.
class Doorbell {
public:
    Doorbell();
    ~Doorbell();
    Doorbell(const Doorbell&) = delete;
    Doorbell& operator=(const Doorbell&) = delete;

    int Fd() const { return m_fd; }
    void Ring();
    // Called by the listener before it looks at what the ringing was about.
    void Silence();

private:
    int m_fd;
};

} // namespace platform
