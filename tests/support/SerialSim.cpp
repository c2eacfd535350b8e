// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/SerialSim.h"

#include "platform/Scheduling.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace platform {

// How often each modem line changed, as a driver's interrupt counters.
struct SimCounts {
    int cts = 0, dsr = 0, ring = 0, rlsd = 0;
    bool operator==(const SimCounts&) const = default;
};

struct SimPort {
    bool present = false;
    bool isChar = true;
    bool open = false;
    QString stablePath;
    SerialAdapter adapter;
    int generation = 0; // moves on when the adapter is pulled
    int openCount = 0;
    std::uint32_t lines = 0;
    SimCounts counts;
    // What the open device has reported so far.
    std::uint32_t seenLines = 0;
    SimCounts seenCounts;
    std::uint32_t otherPending = 0;
    std::uint32_t mask = 0;
    int inQueue = 0;
    bool hold = false;
    bool dropNext = false;
    bool waiting = false;
    int waitCalls = 0;
    int stopsOverPending = 0;
    std::map<SimSerialOp, int> failures;
    SerialLineSettings settings;
    SerialTimeouts timeouts;
    int readQueue = 0;
    int writeQueue = 0;
    std::uint32_t purged = 0;
    std::vector<std::string> calls;

    LineTransitions Transitions() const
    {
        return LineTransitions { counts.cts - seenCounts.cts, counts.dsr - seenCounts.dsr,
            counts.ring - seenCounts.ring, counts.rlsd - seenCounts.rlsd };
    }
    // Selected events not reported yet.
    std::uint32_t Pending() const
    {
        if (!open)
            return 0;
        const LineTransitions t = Transitions();
        std::uint32_t events = otherPending;
        events |= LineEventsFromStatus(lines ^ seenLines);
        if (t.cts)
            events |= EV_CTS;
        if (t.dsr)
            events |= EV_DSR;
        if (t.ring)
            events |= EV_RING;
        if (t.rlsd)
            events |= EV_RLSD;
        return events & mask;
    }
    void MarkSeen()
    {
        seenLines = lines;
        seenCounts = counts;
        otherPending = 0;
    }
    void Toggle(std::uint32_t changed)
    {
        lines ^= changed;
        counts.cts += (changed & MS_CTS_ON) ? 1 : 0;
        counts.dsr += (changed & MS_DSR_ON) ? 1 : 0;
        counts.ring += (changed & MS_RING_ON) ? 1 : 0;
        counts.rlsd += (changed & MS_RLSD_ON) ? 1 : 0;
    }
};

struct SimSerialState {
    // The watcher may run at real-time priority while a test thread changes
    // the lines: the holder of the lock runs at the priority of its waiters,
    // as a driver's wake-up would not wait for the thread that changed a line.
    mutable PiMutex mutex;
    mutable std::condition_variable_any changed;
    std::map<int, SimPort> ports;
};

namespace {

bool IsGoneError(int error)
{
    return error == EIO || error == ENODEV || error == ENXIO;
}

class SimSerialDevice final : public SerialDevice {
public:
    explicit SimSerialDevice(std::shared_ptr<SimSerialState> state)
        : m_state(std::move(state))
    {
    }
    ~SimSerialDevice() override { Close(); }

    int Open(int port) override
    {
        Close();
        std::lock_guard lock(m_state->mutex);
        SimPort& p = m_state->ports[port];
        if (const int error = Failure(p, SimSerialOp::Open))
            return error;
        if (!p.present)
            return ENOENT;
        if (p.open)
            return EBUSY;
        p.open = true;
        ++p.openCount;
        p.mask = 0;
        p.MarkSeen();
        p.purged = 0;
        p.calls = { "Open" };
        m_port = port;
        m_generation = p.generation;
        m_stop = false;
        return 0;
    }

    bool IsCharDevice() const override
    {
        std::lock_guard lock(m_state->mutex);
        const SimPort* p = Attached();
        return p && p->isChar;
    }

    int SetLineSettings(const SerialLineSettings& settings) override
    {
        return Step(SimSerialOp::SetLineSettings, "SetLineSettings", [&](SimPort& p) { p.settings = settings; });
    }

    int GetTimeouts(SerialTimeouts& timeouts) override
    {
        return Step(SimSerialOp::GetTimeouts, "GetTimeouts", [&](SimPort& p) { timeouts = p.timeouts; });
    }

    int SetTimeouts(const SerialTimeouts& timeouts) override
    {
        return Step(SimSerialOp::SetTimeouts, "SetTimeouts", [&](SimPort& p) { p.timeouts = timeouts; });
    }

    int SetupQueues(int readSize, int writeSize) override
    {
        return Step(SimSerialOp::SetupQueues, "SetupQueues", [&](SimPort& p) {
            p.readQueue = readSize;
            p.writeQueue = writeSize;
        });
    }

    int SetEventMask(std::uint32_t mask) override
    {
        std::lock_guard lock(m_state->mutex);
        SimPort* p = Attached();
        if (!p)
            return EIO;
        p->calls.push_back("SetEventMask");
        p->mask = mask;
        p->MarkSeen(); // the lines as they are now produce no event
        return 0;
    }

    SerialWaitResult WaitEvents(std::vector<LineEvent>& events, int& error) override
    {
        error = 0;
        std::unique_lock lock(m_state->mutex);
        SimPort* p = Attached();
        if (!p) {
            error = ENODEV;
            return SerialWaitResult::Gone;
        }
        ++p->waitCalls;
        p->waiting = true;
        m_state->changed.notify_all();
        m_state->changed.wait(lock, [&] {
            return m_stop || !Attached() || p->failures.count(SimSerialOp::Wait) || (!p->hold && p->Pending());
        });
        // The moment of the change, as the real device takes it.
        const EdgeTime stamp = EdgeTime::Now();
        // The stop is looked at first: with a stop and an event both pending,
        // the stop wins.
        if (m_stop) {
            p->waiting = false;
            if (p->Pending())
                ++p->stopsOverPending;
            m_state->changed.notify_all();
            return SerialWaitResult::Stopped;
        }
        if (!Attached()) {
            error = ENODEV;
            return SerialWaitResult::Gone;
        }
        p->waiting = false;
        m_state->changed.notify_all();
        if (const int failure = Failure(*p, SimSerialOp::Wait)) {
            error = failure;
            return IsGoneError(failure) ? SerialWaitResult::Gone : SerialWaitResult::Failed;
        }
        if (p->dropNext) {
            p->dropNext = false;
            p->MarkSeen();
            return SerialWaitResult::Dropped;
        }
        AppendLineChanges(events, p->seenLines, p->lines, p->Transitions(), p->mask, stamp, false, p->otherPending);
        p->MarkSeen();
        return SerialWaitResult::Event;
    }

    void RequestStop() override
    {
        std::lock_guard lock(m_state->mutex);
        m_stop = true;
        m_state->changed.notify_all();
    }

    std::uint32_t ModemStatus() override
    {
        std::lock_guard lock(m_state->mutex);
        const SimPort* p = Attached();
        return p ? p->lines : 0;
    }

    int InQueueCount() override
    {
        std::lock_guard lock(m_state->mutex);
        const SimPort* p = Attached();
        return p ? p->inQueue : 0;
    }

    void Purge(std::uint32_t flags) override
    {
        std::lock_guard lock(m_state->mutex);
        SimPort* p = Attached();
        if (!p)
            return;
        p->calls.push_back("Purge");
        p->purged |= flags;
        if (flags & PURGE_RXCLEAR)
            p->inQueue = 0;
    }

    SerialAdapter Adapter() const override
    {
        std::lock_guard lock(m_state->mutex);
        const SimPort* p = Attached();
        if (!p)
            return {};
        SerialAdapter adapter = p->adapter;
        adapter.opened = true;
        return adapter;
    }

    void Close() override
    {
        if (m_port < 0)
            return;
        std::lock_guard lock(m_state->mutex);
        if (SimPort* p = Attached()) {
            p->calls.push_back("Close");
            p->open = false;
            p->mask = 0;
            p->otherPending = 0;
            p->waiting = false;
        }
        m_port = -1;
        m_state->changed.notify_all();
    }

private:
    // The port while this device holds it and the adapter is still there.
    SimPort* Attached() const
    {
        if (m_port < 0)
            return nullptr;
        auto it = m_state->ports.find(m_port);
        if (it == m_state->ports.end() || it->second.generation != m_generation || !it->second.open)
            return nullptr;
        return &it->second;
    }

    static int Failure(const SimPort& p, SimSerialOp op)
    {
        auto it = p.failures.find(op);
        return it == p.failures.end() ? 0 : it->second;
    }

    template <typename Apply> int Step(SimSerialOp op, const char* name, Apply apply)
    {
        std::lock_guard lock(m_state->mutex);
        SimPort* p = Attached();
        if (!p)
            return EIO;
        p->calls.push_back(name);
        if (const int error = Failure(*p, op))
            return error;
        apply(*p);
        return 0;
    }

    std::shared_ptr<SimSerialState> m_state;
    int m_port = -1;
    int m_generation = 0;
    bool m_stop = false; // guarded by the state's mutex
};

template <typename T, typename Get> T ReadPort(const SimSerialState& state, int port, Get get)
{
    std::lock_guard lock(state.mutex);
    auto it = state.ports.find(port);
    return it == state.ports.end() ? T {} : T(get(it->second));
}

} // namespace

SimSerialLab::SimSerialLab()
    : m_state(std::make_shared<SimSerialState>())
    , m_previous(CurrentSerialDeviceFactory())
    , m_previousLister(CurrentSerialPortLister())
{
    SetSerialDeviceFactory([state = m_state] { return std::make_unique<SimSerialDevice>(state); });
    SetSerialPortLister([state = m_state] {
        std::vector<SerialPortInfo> ports;
        std::lock_guard lock(state->mutex);
        for (const auto& [number, p] : state->ports) {
            // As sysfs would tell: a node that is no port is not offered.
            if (p.present && p.isChar)
                ports.push_back(SerialPortInfo { number, QStringLiteral("/dev/ttySIM%1").arg(number), p.stablePath });
        }
        return ports;
    });
}

SimSerialLab::~SimSerialLab()
{
    SetSerialDeviceFactory(m_previous);
    SetSerialPortLister(m_previousLister);
}

void SimSerialLab::AddPort(int port, const QString& stablePath)
{
    std::lock_guard lock(m_state->mutex);
    SimPort& p = m_state->ports[port];
    p.present = true;
    p.stablePath = stablePath;
}

void SimSerialLab::SetAdapter(int port, const SerialAdapter& adapter)
{
    std::lock_guard lock(m_state->mutex);
    m_state->ports[port].adapter = adapter;
}

void SimSerialLab::RemovePort(int port)
{
    std::lock_guard lock(m_state->mutex);
    m_state->ports[port].present = false;
}

void SimSerialLab::SetCharDevice(int port, bool isChar)
{
    std::lock_guard lock(m_state->mutex);
    m_state->ports[port].isChar = isChar;
}

void SimSerialLab::SetLines(int port, std::uint32_t status)
{
    std::lock_guard lock(m_state->mutex);
    SimPort& p = m_state->ports[port];
    p.Toggle(p.lines ^ status);
    m_state->changed.notify_all();
}

void SimSerialLab::SetLine(int port, std::uint32_t line, bool on)
{
    std::lock_guard lock(m_state->mutex);
    SimPort& p = m_state->ports[port];
    p.Toggle(((on ? p.lines | line : p.lines & ~line)) ^ p.lines);
    m_state->changed.notify_all();
}

void SimSerialLab::Pulse(int port, std::uint32_t lines)
{
    std::lock_guard lock(m_state->mutex);
    SimPort& p = m_state->ports[port];
    p.Toggle(lines);
    p.Toggle(lines);
    m_state->changed.notify_all();
}

void SimSerialLab::Unplug(int port)
{
    std::lock_guard lock(m_state->mutex);
    SimPort& p = m_state->ports[port];
    p.present = false;
    p.open = false;
    p.otherPending = 0;
    p.waiting = false;
    ++p.generation;
    m_state->changed.notify_all();
}

void SimSerialLab::Raise(int port, std::uint32_t events)
{
    std::lock_guard lock(m_state->mutex);
    SimPort& p = m_state->ports[port];
    if (!p.open)
        return;
    // Line events raised this way are counted as changes of their lines.
    const std::uint32_t lineEvents = events & kModemLineEvents;
    if (lineEvents & EV_CTS)
        p.counts.cts += 2;
    if (lineEvents & EV_DSR)
        p.counts.dsr += 2;
    if (lineEvents & EV_RING)
        p.counts.ring += 2;
    if (lineEvents & EV_RLSD)
        p.counts.rlsd += 2;
    p.otherPending |= events & ~kModemLineEvents;
    m_state->changed.notify_all();
}

void SimSerialLab::SetInQueue(int port, int count)
{
    std::lock_guard lock(m_state->mutex);
    m_state->ports[port].inQueue = count;
}

void SimSerialLab::FailWith(int port, SimSerialOp op, int error)
{
    std::lock_guard lock(m_state->mutex);
    SimPort& p = m_state->ports[port];
    if (error)
        p.failures[op] = error;
    else
        p.failures.erase(op);
    m_state->changed.notify_all();
}

void SimSerialLab::DropNextWait(int port)
{
    std::lock_guard lock(m_state->mutex);
    m_state->ports[port].dropNext = true;
}

void SimSerialLab::HoldWait(int port, bool hold)
{
    std::lock_guard lock(m_state->mutex);
    m_state->ports[port].hold = hold;
    m_state->changed.notify_all();
}

bool SimSerialLab::IsOpen(int port) const
{
    return ReadPort<bool>(*m_state, port, [](const SimPort& p) { return p.open; });
}

int SimSerialLab::OpenCount(int port) const
{
    return ReadPort<int>(*m_state, port, [](const SimPort& p) { return p.openCount; });
}

std::uint32_t SimSerialLab::Lines(int port) const
{
    return ReadPort<std::uint32_t>(*m_state, port, [](const SimPort& p) { return p.lines; });
}

std::uint32_t SimSerialLab::EventMask(int port) const
{
    return ReadPort<std::uint32_t>(*m_state, port, [](const SimPort& p) { return p.mask; });
}

std::uint32_t SimSerialLab::PendingEvents(int port) const
{
    return ReadPort<std::uint32_t>(*m_state, port, [](const SimPort& p) { return p.Pending(); });
}

SerialLineSettings SimSerialLab::LineSettings(int port) const
{
    return ReadPort<SerialLineSettings>(*m_state, port, [](const SimPort& p) { return p.settings; });
}

SerialTimeouts SimSerialLab::Timeouts(int port) const
{
    return ReadPort<SerialTimeouts>(*m_state, port, [](const SimPort& p) { return p.timeouts; });
}

int SimSerialLab::ReadQueueSize(int port) const
{
    return ReadPort<int>(*m_state, port, [](const SimPort& p) { return p.readQueue; });
}

int SimSerialLab::WriteQueueSize(int port) const
{
    return ReadPort<int>(*m_state, port, [](const SimPort& p) { return p.writeQueue; });
}

std::uint32_t SimSerialLab::PurgeFlags(int port) const
{
    return ReadPort<std::uint32_t>(*m_state, port, [](const SimPort& p) { return p.purged; });
}

std::vector<std::string> SimSerialLab::Calls(int port) const
{
    return ReadPort<std::vector<std::string>>(*m_state, port, [](const SimPort& p) { return p.calls; });
}

int SimSerialLab::WaitCalls(int port) const
{
    return ReadPort<int>(*m_state, port, [](const SimPort& p) { return p.waitCalls; });
}

bool SimSerialLab::IsWaiting(int port) const
{
    return ReadPort<bool>(*m_state, port, [](const SimPort& p) { return p.waiting; });
}

int SimSerialLab::StopsOverPendingEvents(int port) const
{
    return ReadPort<int>(*m_state, port, [](const SimPort& p) { return p.stopsOverPending; });
}

bool SimSerialLab::WaitUntilWaiting(int port, int timeoutMs) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        auto it = m_state->ports.find(port);
        return it != m_state->ports.end() && it->second.waiting;
    });
}

bool SimSerialLab::WaitUntilSeen(int port, int timeoutMs) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        auto it = m_state->ports.find(port);
        return it != m_state->ports.end() && it->second.waiting && !it->second.Pending();
    });
}

} // namespace platform
