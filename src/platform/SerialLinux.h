#pragma once

#include "platform/SerialDevice.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include <pthread.h>
#include <termios.h>

namespace platform {

// What the Linux device makes of a line-settings record: the termios to set,
// a speed that needs the arbitrary-rate interface, and the output lines.
struct LinuxLineSetup {
    termios tio {};
    bool customSpeed = false; // BaudRate has no B-constant
    std::uint32_t speed = 0;
    bool dtr = false;
    bool rts = false;
};

// Builds the setup from the record on top of the current termios. Returns 0 or
// EINVAL for a record the line cannot take (byte size, parity, stop bits).
int BuildLinuxLineSetup(const SerialLineSettings& settings, const termios& current, LinuxLineSetup& setup);

// TIOCM_* bits to the MS_* bits of the modem-status word.
std::uint32_t ModemStatusFromTiocm(int tiocm);
// EV_* line events to the TIOCM_* bits TIOCMIWAIT watches.
int TiocmWaitMaskFromEvents(std::uint32_t events);

// The interrupt counters the driver keeps (TIOCGICOUNT), reduced to what the
// events need.
struct LineCounts {
    int cts = 0, dsr = 0, rng = 0, dcd = 0;
    int brk = 0;
    int errors = 0; // frame + overrun + parity + buffer overrun
};
// Selected EV_* events whose counter moved. A pulse that is already over moves
// its counter twice and still counts as a change.
std::uint32_t EventsFromCounts(const LineCounts& before, const LineCounts& after, std::uint32_t mask);
// Selected line events from two modem-status words (for drivers without
// counters; a pulse between the two readings is lost).
std::uint32_t EventsFromLevels(std::uint32_t before, std::uint32_t after, std::uint32_t mask);

// What an errno of a wait or line query means for the watcher.
enum class WaitErrorKind {
    Interrupted, // EINTR: the stop signal, or another signal
    Unsupported, // ENOTTY, EINVAL: the driver does not offer it
    Gone, // everything else (EIO, ENODEV, ENXIO, ...): the device is lost
};
WaitErrorKind ClassifyWaitError(int error);

// Serial device on termios and ioctl. The port number is turned into a
// device path by the resolver (PortMap over /dev and the "Ports" settings
// unless given).
class LinuxSerialDevice final : public SerialDevice {
public:
    using Resolver = std::function<QString(int port)>;

    LinuxSerialDevice();
    explicit LinuxSerialDevice(Resolver resolver);
    ~LinuxSerialDevice() override;

    int Open(int port) override;
    bool IsCharDevice() const override;
    int SetLineSettings(const SerialLineSettings& settings) override;
    int GetTimeouts(SerialTimeouts& timeouts) override;
    int SetTimeouts(const SerialTimeouts& timeouts) override;
    int SetupQueues(int readSize, int writeSize) override;
    int SetEventMask(std::uint32_t mask) override;
    SerialWaitResult WaitEvent(std::uint32_t& events) override;
    void RequestStop() override;
    std::uint32_t ModemStatus() override;
    int InQueueCount() override;
    void Purge(std::uint32_t flags) override;
    void Close() override;

    int Handle() const { return m_fd; }

private:
    enum class Mode { LineWait, Tick };
    enum class Reading { Ok, Unsupported, Gone };

    Reading ReadCounts(LineCounts& counts, int& error) const;
    Reading ReadLevels(std::uint32_t& status, int& error) const;
    Reading ReadChanges(std::uint32_t& events);
    SerialWaitResult WaitLineChange(std::uint32_t& events);
    SerialWaitResult WaitTick(std::uint32_t& events);
    bool EnterWait();
    void LeaveWait();

    Resolver m_resolver;
    int m_fd = -1;
    bool m_exclusive = false;
    SerialTimeouts m_timeouts;
    std::uint32_t m_mask = 0;
    Mode m_mode = Mode::Tick;
    bool m_countsWork = true;
    bool m_levelsWork = true;
    int m_spuriousWakes = 0;
    LineCounts m_counts;
    std::uint32_t m_levels = 0;
    int m_inQueue = 0;

    std::atomic<bool> m_stop { false };
    std::mutex m_waiterMutex;
    bool m_waiting = false;
    pthread_t m_waiter {};
};

// Arbitrary line speeds through termios2 (kept in their own unit because the
// kernel's termios header cannot share one with the C library's).
int SetCustomLineSpeed(int fd, std::uint32_t speed);
// The output speed the driver holds, in bits per second; 0 when unknown.
std::uint32_t ReadLineSpeed(int fd);

} // namespace platform
