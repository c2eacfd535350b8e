#include "comm/ComThread.h"

#include "comm/Comms.h"

#include <QCoreApplication>
#include <QEvent>

#include <chrono>

namespace {

const QEvent::Type kDispatchEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// How often a stop request is sent again while waiting for the watcher: the
// signal that interrupts the device's wait can arrive just before the watcher
// enters it and then be lost.
constexpr std::chrono::milliseconds kStopResend(1);

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
    m_device->SetEventMask(EventMaskFromEvents(port->Events()));
    start();
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
    if (m_ended) {
        // Also when the device is gone already (a thread deleted later).
        lock.unlock();
        wait();
        return;
    }
    lock.unlock();
    Stop();
    lock.lock();
    while (!m_ended) {
        if (m_pending && !m_dispatching) {
            lock.unlock();
            RunPendingDispatch();
            lock.lock();
            continue;
        }
        if (m_pending) {
            // Closed from inside one of our own handlers: the delivery counts
            // as done, so the watcher can see the stop and end.
            m_pending = false;
            m_cv.notify_all();
        }
        m_cv.wait_for(lock, kStopResend);
        if (!m_ended) {
            lock.unlock();
            m_device->RequestStop();
            lock.lock();
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

bool TComThread::DeliveryPending() const
{
    std::lock_guard lock(m_mutex);
    return m_pending && !m_dispatching;
}

bool TComThread::Dispatching() const
{
    std::lock_guard lock(m_mutex);
    return m_dispatching;
}

void TComThread::run()
{
    for (;;) {
        std::uint32_t events = 0;
        const platform::SerialWaitResult result = m_device->WaitEvent(events);
        if (result == platform::SerialWaitResult::Stopped || result == platform::SerialWaitResult::Failed)
            break;
        if (result == platform::SerialWaitResult::Dropped)
            continue;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                break;
            m_eventMask = events;
            m_pending = true;
        }
        // High priority: a line event must not queue behind repaints, its
        // handler takes the time stamp.
        QCoreApplication::postEvent(this, new QEvent(kDispatchEvent), Qt::HighEventPriority);
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_pending; });
        if (m_stop || m_handlerFailed)
            break;
    }
    m_device->Purge(platform::PURGE_RXABORT | platform::PURGE_RXCLEAR);
    std::lock_guard lock(m_mutex);
    m_ended = true;
    m_cv.notify_all();
}

bool TComThread::event(QEvent* e)
{
    if (e->type() == kDispatchEvent) {
        RunPendingDispatch();
        return true;
    }
    return QThread::event(e);
}

void TComThread::RunPendingDispatch()
{
    {
        std::lock_guard lock(m_mutex);
        // A posted event whose delivery Close has run already finds nothing.
        if (!m_pending || m_dispatching)
            return;
        m_dispatching = true;
    }
    bool failed = false;
    try {
        DispatchEvents();
    } catch (...) {
        // A handler's exception ends the watcher; the operator is not told
        // (the port simply stops reporting until it is reopened).
        failed = true;
    }
    std::lock_guard lock(m_mutex);
    m_dispatching = false;
    m_pending = false;
    m_handlerFailed = m_handlerFailed || failed;
    m_cv.notify_all();
}

// A handler may close or reopen the port; the rest of the delivery then
// belongs to nobody.
bool TComThread::StillCurrent() const
{
    return m_port->m_thread.get() == this && m_port->m_connected;
}

void TComThread::DispatchEvents()
{
    std::uint32_t mask = 0;
    {
        std::lock_guard lock(m_mutex);
        mask = m_eventMask;
    }
    TComPort* port = m_port;
    if (mask & platform::EV_RXCHAR) {
        const TRxCharEvent handler = port->OnRxChar;
        if (handler)
            handler(port, port->InQueueCount());
    }
    for (const DispatchStep& step : kSteps) {
        if (!(mask & step.bit) || !StillCurrent())
            continue;
        // A copy: the handler may assign a new one to the property.
        const TNotifyEvent handler = port->*step.handler;
        if (handler)
            handler(port);
    }
}
