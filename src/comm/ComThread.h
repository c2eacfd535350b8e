// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Scheduling.h"
#include "platform/SerialDevice.h"

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

class TComPort;

// The watcher of an open port. It sleeps in the device's wait; the device
// stamps each change the moment the wait returns, and the watcher appends the
// changes to a queue, rings a doorbell that the event loop of the thread
// owning the port (this object lives there) hears when the queue was empty,
// and goes straight back to waiting: it never waits for that thread. The
// owner thread dispatches the queued changes one at a time, in order, none
// merged and none dropped.
//
// The port holds the watcher through a shared pointer and a dispatch holds
// one too, so a handler may close, reopen or destroy the port at any depth of
// nested event loops: the dispatch then finds the watcher detached and stops.
class TComThread final : public QThread, public std::enable_shared_from_this<TComThread> {
    Q_OBJECT
public:
    // Sets the event mask on the port's device and starts the thread.
    explicit TComThread(TComPort* port);
    // StopAndWait.
    ~TComThread() override;
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    void Stop();
    // Stops and returns when the thread has ended. Owner thread only.
    void StopAndWait();
    // Fires the port's events for each queued change, in order. Owner thread
    // only. Does nothing while a dispatch of this watcher is running already
    // (a handler's nested event loop: deliveries never overlap) and once the
    // port has let go of the watcher.
    void DispatchQueued();
    // The port lets go: nothing more is dispatched to it. Owner thread only.
    void Detach();

    bool Ended() const;
    size_t Queued() const;
    // The watcher runs ahead of ordinary work (see RequestTimingPriority).
    bool TimingPriority() const { return m_timingPriority; }
    // The change whose handlers are running; nullptr between dispatches.
    const platform::LineEvent* Current() const { return m_hasCurrent ? &m_current : nullptr; }

protected:
    void run() override;

private:
    void Dispatch(const platform::LineEvent& change);

    TComPort* m_port;
    platform::SerialDevice* m_device;
    platform::Doorbell m_bell;

    // Shared with the watcher, which may run at real-time priority.
    mutable platform::PiMutex m_mutex;
    std::condition_variable_any m_cv;
    std::deque<platform::LineEvent> m_queue;
    bool m_notified = false; // the bell rang and no dispatch has emptied the queue since
    bool m_started = false; // the watcher has asked for its priority
    bool m_stop = false;
    bool m_ended = false;
    bool m_lost = false; // the device is gone
    int m_lostError = 0;
    bool m_failed = false; // the wait failed: the watcher ended with the port open
    int m_failError = 0;
    std::atomic<bool> m_timingPriority { false };

    // Owner thread only.
    bool m_dispatching = false;
    bool m_detached = false;
    bool m_lostReported = false;
    bool m_failReported = false;
    bool m_hasCurrent = false;
    platform::LineEvent m_current;
};
