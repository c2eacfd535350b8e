#include "support/SerialSim.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace platform {

struct SimPort {
    bool present = false;
    bool isChar = true;
    bool open = false;
    int generation = 0; // moves on when the adapter is pulled
    int openCount = 0;
    std::uint32_t lines = 0;
    std::uint32_t mask = 0;
    std::uint32_t pending = 0;
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
};

struct SimSerialState {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::map<int, SimPort> ports;

    void AddEvents(SimPort& p, std::uint32_t events)
    {
        if (!p.open)
            return;
        p.pending |= events & p.mask;
        changed.notify_all();
    }
};

namespace {

std::uint32_t LineEvents(std::uint32_t lines)
{
    std::uint32_t events = 0;
    if (lines & MS_CTS_ON)
        events |= EV_CTS;
    if (lines & MS_DSR_ON)
        events |= EV_DSR;
    if (lines & MS_RING_ON)
        events |= EV_RING;
    if (lines & MS_RLSD_ON)
        events |= EV_RLSD;
    return events;
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
        p.pending = 0;
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
        p->pending = 0;
        return 0;
    }

    SerialWaitResult WaitEvent(std::uint32_t& events) override
    {
        events = 0;
        std::unique_lock lock(m_state->mutex);
        SimPort* p = Attached();
        if (!p)
            return SerialWaitResult::Failed;
        ++p->waitCalls;
        p->waiting = true;
        m_state->changed.notify_all();
        m_state->changed.wait(lock,
            [&] { return m_stop || !Attached() || p->failures.count(SimSerialOp::Wait) || (!p->hold && p->pending); });
        p->waiting = false;
        // The stop is looked at first: with a stop and an event both pending,
        // the stop wins.
        if (m_stop) {
            if (p->pending)
                ++p->stopsOverPending;
            return SerialWaitResult::Stopped;
        }
        if (!Attached() || p->failures.count(SimSerialOp::Wait))
            return SerialWaitResult::Failed;
        const std::uint32_t pending = p->pending;
        p->pending = 0;
        if (p->dropNext) {
            p->dropNext = false;
            return SerialWaitResult::Dropped;
        }
        events = pending;
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

    void Close() override
    {
        if (m_port < 0)
            return;
        std::lock_guard lock(m_state->mutex);
        if (SimPort* p = Attached()) {
            p->calls.push_back("Close");
            p->open = false;
            p->mask = 0;
            p->pending = 0;
            p->waiting = false;
        }
        m_port = -1;
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

} // namespace

namespace {

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
{
    SetSerialDeviceFactory([state = m_state] { return std::make_unique<SimSerialDevice>(state); });
}

SimSerialLab::~SimSerialLab()
{
    SetSerialDeviceFactory(m_previous);
}

void SimSerialLab::AddPort(int port)
{
    std::lock_guard lock(m_state->mutex);
    m_state->ports[port].present = true;
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
    const std::uint32_t changed = p.lines ^ status;
    p.lines = status;
    m_state->AddEvents(p, LineEvents(changed));
}

void SimSerialLab::SetLine(int port, std::uint32_t line, bool on)
{
    const std::uint32_t lines = Lines(port);
    SetLines(port, on ? lines | line : lines & ~line);
}

void SimSerialLab::Pulse(int port, std::uint32_t lines)
{
    std::lock_guard lock(m_state->mutex);
    m_state->AddEvents(m_state->ports[port], LineEvents(lines));
}

void SimSerialLab::Unplug(int port)
{
    std::lock_guard lock(m_state->mutex);
    SimPort& p = m_state->ports[port];
    p.present = false;
    p.open = false;
    p.pending = 0;
    p.waiting = false;
    ++p.generation;
    m_state->changed.notify_all();
}

void SimSerialLab::Raise(int port, std::uint32_t events)
{
    std::lock_guard lock(m_state->mutex);
    m_state->AddEvents(m_state->ports[port], events);
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
    return ReadPort<std::uint32_t>(*m_state, port, [](const SimPort& p) { return p.pending; });
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

} // namespace platform
