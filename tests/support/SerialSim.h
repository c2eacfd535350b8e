#pragma once

#include "platform/SerialDevice.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class SimSerialOp { Open, SetLineSettings, GetTimeouts, SetTimeouts, SetupQueues, Wait };

struct SimSerialState;

// Simulated serial ports for tests and benchmarks. While a lab exists, every
// serial device the program creates is a simulated one attached to it (the
// destructor puts the previous factory back), so no test reaches real hardware.
// Ports are addressed by their number (COMn). Line changes count as events once
// the port is open and its event mask selects them, also while the watcher is
// away delivering; the wait reports them all at its next look.
class SimSerialLab {
public:
    SimSerialLab();
    ~SimSerialLab();
    SimSerialLab(const SimSerialLab&) = delete;
    SimSerialLab& operator=(const SimSerialLab&) = delete;

    // Which ports exist. A port that is not a character device opens but is
    // not found by a scan.
    void AddPort(int port);
    void RemovePort(int port);
    void SetCharDevice(int port, bool isChar);

    // Modem lines (MS_* bits). Each line that differs from its old state is a
    // change of that line.
    void SetLines(int port, std::uint32_t status);
    void SetLine(int port, std::uint32_t line, bool on);
    // Each given line goes on and off again (or off and on): two changes, the
    // status ends as it was.
    void Pulse(int port, std::uint32_t lines);
    // The adapter is pulled: the port vanishes, the open device can neither
    // wait nor read its lines any more.
    void Unplug(int port);
    // Events other than line changes (EV_* bits), and the receive queue.
    void Raise(int port, std::uint32_t events);
    void SetInQueue(int port, int count);

    // The operation fails with the given error number from now on (0 heals it).
    void FailWith(int port, SimSerialOp op, int error);
    // The next completed wait reports a failed result instead of its events.
    void DropNextWait(int port);
    // A held wait does not notice events (a stop still ends it).
    void HoldWait(int port, bool hold);

    bool IsOpen(int port) const;
    int OpenCount(int port) const;
    std::uint32_t Lines(int port) const;
    std::uint32_t EventMask(int port) const;
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
    // Waits that a stop ended while events were pending.
    int StopsOverPendingEvents(int port) const;

private:
    std::shared_ptr<SimSerialState> m_state;
    SerialDeviceFactory m_previous;
};

} // namespace platform
