// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/SerialDevice.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class SimSerialOp { Open, SetLineSettings, GetTimeouts, SetTimeouts, SetupQueues, Wait };

struct SimSerialState;

// Simulated serial ports for tests and benchmarks. While a lab exists, every
// serial device the program creates is a simulated one attached to it and the
// system's port list is the lab's (the destructor puts the previous ones back),
// so no test reaches real hardware. Ports are addressed by their number (COMn).
//
// Like a real driver, the lab keeps the levels of the modem lines and counts
// every change of each line. The open device's wait wakes when a selected
// line's count moves, stamps the moment (through the tick source) and reports
// the changes since its last look, a pulse that is over as its two changes.
class SimSerialLab {
public:
    SimSerialLab();
    ~SimSerialLab();
    SimSerialLab(const SimSerialLab&) = delete;
    SimSerialLab& operator=(const SimSerialLab&) = delete;

    // Which ports exist; a stable path (/dev/serial/by-id/...) names the
    // adapter however it is numbered. A port that is not a character device
    // (or a ttyS node without a UART) opens but is not offered by the port list.
    void AddPort(int port, const QString& stablePath = {});
    void RemovePort(int port);
    void SetCharDevice(int port, bool isChar);
    // What the open device tells about its adapter.
    void SetAdapter(int port, const SerialAdapter& adapter);

    // Modem lines (MS_* bits). Each line that differs from its old state
    // changes once.
    void SetLines(int port, std::uint32_t status);
    void SetLine(int port, std::uint32_t line, bool on);
    // Each given line goes on and off again (or off and on): two changes, the
    // status ends as it was.
    void Pulse(int port, std::uint32_t lines);
    // The adapter is pulled: the port vanishes, the open device's wait ends
    // with ENODEV and its lines can no longer be read. AddPort plugs it in.
    void Unplug(int port);
    // Events other than line changes (EV_* bits), and the receive queue.
    void Raise(int port, std::uint32_t events);
    void SetInQueue(int port, int count);

    // The operation fails with the given error number from now on (0 heals it).
    // A wait failing with EIO, ENODEV or ENXIO reports the device gone.
    void FailWith(int port, SimSerialOp op, int error);
    // The next completed wait reports a failed result instead of its events.
    void DropNextWait(int port);
    // A held wait does not notice events (a stop still ends it).
    void HoldWait(int port, bool hold);

    bool IsOpen(int port) const;
    int OpenCount(int port) const;
    std::uint32_t Lines(int port) const;
    std::uint32_t EventMask(int port) const;
    // Selected EV_* events the open device has not reported yet.
    std::uint32_t PendingEvents(int port) const;
    SerialLineSettings LineSettings(int port) const;
    SerialTimeouts Timeouts(int port) const;
    int ReadQueueSize(int port) const;
    int WriteQueueSize(int port) const;
    std::uint32_t PurgeFlags(int port) const;
    // Calls of the open device, by name ("Open", "SetLineSettings", ...).
    std::vector<std::string> Calls(int port) const;
    int WaitCalls(int port) const;
    bool IsWaiting(int port) const;
    bool WaitUntilWaiting(int port, int timeoutMs) const;
    // Until the open device has reported every change and waits again (so the
    // watcher has queued them): the point at which a test may move the tick on.
    bool WaitUntilSeen(int port, int timeoutMs) const;
    // Waits that a stop ended while events were pending.
    int StopsOverPendingEvents(int port) const;

private:
    std::shared_ptr<SimSerialState> m_state;
    SerialDeviceFactory m_previous;
    SerialPortLister m_previousLister;
};

} // namespace platform
