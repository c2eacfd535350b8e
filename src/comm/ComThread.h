#pragma once

#include "platform/SerialDevice.h"

#include <QThread>

#include <condition_variable>
#include <cstdint>
#include <mutex>

class TComPort;

// The watcher of an open port. It sleeps in the device's wait, and hands each
// event mask to the thread that owns the port: it posts one event to itself
// (the object lives on that thread), then blocks until DispatchEvents has run
// there. Stopping waits for the thread to end and meanwhile runs a pending
// dispatch itself, because the watcher cannot see the stop while it is blocked
// in a hand-over. A plain blocking queued call plus QThread::wait would
// deadlock exactly there.
class TComThread final : public QThread {
    Q_OBJECT
public:
    // Sets the event mask on the port's device and starts the thread.
    explicit TComThread(TComPort* port);
    // StopAndWait.
    ~TComThread() override;

    void Stop();
    // Stops and returns when the thread has ended. Owner thread only.
    void StopAndWait();
    // Fires the port's events for the current mask. Owner thread only.
    void DispatchEvents();

    bool Ended() const;
    bool DeliveryPending() const;
    bool Dispatching() const;

protected:
    void run() override;
    bool event(QEvent* e) override;

private:
    void RunPendingDispatch();
    bool StillCurrent() const;

    TComPort* m_port;
    platform::SerialDevice* m_device;

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::uint32_t m_eventMask = 0;
    bool m_stop = false;
    bool m_pending = false;
    bool m_dispatching = false;
    bool m_handlerFailed = false;
    bool m_ended = false;
};
