// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "comm/ComThread.h"

#include "comm/Comms.h"

#include <QSocketNotifier>

#include <atomic>
#include <chrono>
#include <exception>

namespace {

void warnHandlerFailed(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        qWarning("A handler of the serial port failed, its changes are no longer watched: %s", e.what());
    } catch (...) {
        qWarning("A handler of the serial port failed, its changes are no longer watched");
    }
}

// Changes are numbered across all ports and openings, so a number names one
// change for the life of the program.
std::atomic<std::uint64_t> g_sequence { 0 };

// How often a stop request is sent again while waiting for the watcher: the
// signal that interrupts the device's wait can arrive just before the watcher
// enters it and then be lost.
constexpr std::chrono::milliseconds kStopResend(1);
// How long Open waits for the watcher to have asked for its priority.
constexpr std::chrono::seconds kStartWait(2);

using Member = TNotifyEvent TComPort::*;

struct DispatchStep {
    std::uint32_t bit;
    Member handler;
};

// The fixed firing order of one delivery (after EV_RXCHAR, which carries the
// queue count).
const DispatchStep kSteps[] = {
    { platform::EV_TXEMPTY, &TComPort::OnTxEmpty },
    { platform::EV_BREAK, &TComPort::OnBreak },
    { platform::EV_RING, &TComPort::OnRing },
    { platform::EV_CTS, &TComPort::OnCTS },
    { platform::EV_DSR, &TComPort::OnDSR },
    { platform::EV_RXFLAG, &TComPort::OnRxFlag },
    { platform::EV_RLSD, &TComPort::OnRLSD },
    { platform::EV_ERR, &TComPort::OnError },
};

} // namespace

TComThread::TComThread(TComPort* port)
    : m_port(port)
    , m_device(port->m_device.get())
{
    auto* bell = new QSocketNotifier(m_bell.Fd(), QSocketNotifier::Read, this);
    connect(bell, &QSocketNotifier::activated, this, [this] {
        m_bell.Silence();
        DispatchQueued();
    });
    m_device->SetEventMask(EventMaskFromEvents(port->Events()));
    start();
    // Open returns once the watcher knows its priority, so the port can tell it.
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, kStartWait, [this] { return m_started; });
}

TComThread::~TComThread()
{
    StopAndWait();
}

void TComThread::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_device->RequestStop();
}

void TComThread::StopAndWait()
{
    std::unique_lock lock(m_mutex);
    if (!m_ended) {
        lock.unlock();
        Stop();
        lock.lock();
        while (!m_ended) {
            m_cv.wait_for(lock, kStopResend);
            if (!m_ended) {
                lock.unlock();
                m_device->RequestStop();
                lock.lock();
            }
        }
    }
    lock.unlock();
    wait(); // run() has returned already; this only lets QThread finish its own bookkeeping
}

bool TComThread::Ended() const
{
    std::lock_guard lock(m_mutex);
    return m_ended;
}

size_t TComThread::Queued() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

void TComThread::Detach()
{
    m_detached = true;
}

void TComThread::run()
{
    m_timingPriority = platform::RequestTimingPriority();
    {
        std::lock_guard lock(m_mutex);
        m_started = true;
        m_cv.notify_all();
    }
    std::vector<platform::LineEvent> changes;
    for (;;) {
        changes.clear();
        int error = 0;
        const platform::SerialWaitResult result = m_device->WaitEvents(changes, error);
        if (result == platform::SerialWaitResult::Dropped)
            continue;
        if (result == platform::SerialWaitResult::Failed) {
            // The port stays open, but no change will arrive: the owner thread
            // hears of it once the changes before are dispatched.
            bool post = false;
            {
                std::lock_guard lock(m_mutex);
                m_failed = !m_stop;
                m_failError = error;
                post = m_failed && !m_notified;
                m_notified = m_notified || m_failed;
            }
            if (post)
                m_bell.Ring();
            break;
        }
        if (result != platform::SerialWaitResult::Event && result != platform::SerialWaitResult::Gone)
            break;
        bool post = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                break;
            for (platform::LineEvent& change : changes) {
                change.sequence = ++g_sequence;
                m_queue.push_back(change);
            }
            if (result == platform::SerialWaitResult::Gone) {
                m_lost = true;
                m_lostError = error;
            }
            post = !m_notified;
            m_notified = true;
        }
        if (post)
            m_bell.Ring();
        if (result == platform::SerialWaitResult::Gone)
            break;
    }
    m_device->Purge(platform::PURGE_RXABORT | platform::PURGE_RXCLEAR);
    std::lock_guard lock(m_mutex);
    m_ended = true;
    m_cv.notify_all();
}

void TComThread::DispatchQueued()
{
    if (m_dispatching || m_detached)
        return;
    // A handler may drop the port's hold on this watcher; the dispatch keeps it.
    const std::shared_ptr<TComThread> keep = shared_from_this();
    m_dispatching = true;
    while (!m_detached) {
        platform::LineEvent change;
        bool lost = false;
        bool failed = false;
        int lostError = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty()) {
                m_notified = false;
                lost = m_lost && !m_lostReported;
                lostError = m_lostError;
                m_lostReported = m_lostReported || lost;
                failed = m_failed && !m_failReported;
                m_failReported = m_failReported || failed;
                if (failed)
                    lostError = m_failError;
            } else {
                change = m_queue.front();
                m_queue.pop_front();
            }
        }
        if (lost) {
            // Every change the device delivered before it went has been
            // dispatched; now the port closes itself.
            m_dispatching = false;
            m_port->DeviceLost(lostError);
            return;
        }
        if (failed) {
            m_dispatching = false;
            m_port->WatcherFailed(lostError);
            return;
        }
        if (change.sequence == 0)
            break;
        // The watcher leaves the time zone to this thread.
        platform::LocalizeStamp(change);
        try {
            Dispatch(change);
        } catch (...) {
            // A handler's exception ends the watcher: the port stops reporting
            // until it is reopened, and WatcherRunning() says so. The window's
            // handlers show their own failures and never let one through.
            warnHandlerFailed(std::current_exception());
            m_hasCurrent = false;
            {
                std::lock_guard lock(m_mutex);
                m_queue.clear();
                m_lost = false;
            }
            if (!m_detached)
                StopAndWait();
            break;
        }
    }
    m_dispatching = false;
}

void TComThread::Dispatch(const platform::LineEvent& change)
{
    m_current = change;
    m_hasCurrent = true;
    TComPort* port = m_port;
    if (change.events & platform::EV_RXCHAR) {
        const TRxCharEvent handler = port->OnRxChar;
        if (handler)
            handler(port, port->InQueueCount());
    }
    if (const auto onLineEvent = port->OnLineEvent; onLineEvent && !m_detached)
        onLineEvent(port, change);
    for (const DispatchStep& step : kSteps) {
        // A handler may close or reopen the port; the rest of the delivery
        // then belongs to nobody.
        if (!(change.events & step.bit) || m_detached)
            continue;
        // A copy: the handler may assign a new one to the property.
        const TNotifyEvent handler = port->*step.handler;
        if (handler)
            handler(port);
    }
    m_hasCurrent = false;
}
