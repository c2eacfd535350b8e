// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/SerialDevice.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <sys/types.h>
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
    bool operator==(const LineCounts&) const = default;
};
// How often each line changed between two readings of the counters.
LineTransitions TransitionsFromCounts(const LineCounts& before, const LineCounts& after);
// Selected EV_BREAK and EV_ERR from two readings of the counters.
std::uint32_t OtherEventsFromCounts(const LineCounts& before, const LineCounts& after, std::uint32_t mask);

// Where the watcher thread is, as the guard of its wait sees it.
enum class ThreadWait {
    InLineWait, // asleep in TIOCMIWAIT: the wait has taken its snapshot
    Elsewhere, // running, or asleep in something else
    Unknown, // cannot be told
};

// What an errno of a wait or line query means for the watcher.
enum class WaitErrorKind {
    Interrupted, // EINTR: the stop signal, or another signal
    Unsupported, // ENOTTY, EINVAL: the driver does not offer it
    Gone, // everything else (EIO, ENODEV, ENXIO, ...): the device is lost
};
WaitErrorKind ClassifyWaitError(int error);

// The system calls the Linux device makes, one method each, returning 0 or the
// error number. Tests put a scripted one in place to drive the line waits.
class LinuxSerialSystem {
public:
    virtual ~LinuxSerialSystem() = default;
    // open(2) for reading and writing, no controlling terminal, non-blocking.
    virtual int Open(const QByteArray& path, int& fd) = 0;
    virtual void Close(int fd) = 0;
    virtual int LockExclusive(int fd) = 0; // flock, not waiting
    virtual bool IsTerminal(int fd) = 0;
    virtual int SetExclusive(int fd, bool on) = 0; // TIOCEXCL, TIOCNXCL
    virtual bool IsCharDevice(int fd) = 0;
    virtual int GetAttributes(int fd, termios& t) = 0;
    virtual int SetAttributes(int fd, const termios& t) = 0;
    virtual int SetCustomSpeed(int fd, std::uint32_t speed) = 0;
    virtual int SetModemLine(int fd, int tiocmLine, bool on) = 0; // TIOCMBIS, TIOCMBIC
    virtual void RequestLowLatency(int fd) = 0; // TIOCGSERIAL, TIOCSSERIAL
    virtual int GetModemLines(int fd, int& tiocm) = 0; // TIOCMGET
    virtual int GetCounts(int fd, LineCounts& counts) = 0; // TIOCGICOUNT
    // TIOCMIWAIT: sleeps until a line of the mask changes after the call
    // began; EINTR when a signal arrives.
    virtual int WaitModemChange(int fd, int tiocmMask) = 0;
    virtual int InQueue(int fd, int& count) = 0; // FIONREAD
    virtual int Flush(int fd, int queueSelector) = 0; // tcflush
    // poll(2) on one descriptor; EINTR when a signal arrives.
    virtual int Poll(int fd, short events, int timeoutMs, short& revents) = 0;
    // Where a thread of this process is (/proc/self/task/<tid>).
    virtual ThreadWait WaitingIn(pid_t tid) = 0;
    // Writes a sysfs attribute (the FTDI latency timer).
    virtual int WriteAttribute(const QString& path, const QByteArray& value) = 0;
};
LinuxSerialSystem& RealLinuxSerialSystem();

// Reads where a thread is from its stat and syscall lines: asleep inside the
// TIOCMIWAIT ioctl, or elsewhere; Unknown when the stat line is missing.
// Without the syscall line (a kernel that does not offer it) any sleep counts
// as the wait.
ThreadWait ThreadWaitFromProc(const QByteArray& stat, const QByteArray& syscall);

// Serial device on termios and ioctl. The port number is turned into a
// device path by the resolver (PortMap over /dev and the "Ports" settings
// unless given).
//
// Line changes are waited for with TIOCMIWAIT and counted with TIOCGICOUNT,
// so a pulse that is over before the lines are read still shows as its two
// changes. Where the driver counts, the levels follow from the counters (a
// line that moved an odd number of times flipped): a level query can run
// ahead of the counters (on ftdi_sio it is a live USB read, the counters move
// when a status packet arrives), and mixing the two would turn one pulse into
// two. The level query only sets the baseline, and corrects it once the
// counters have stood still and two readings agree.
//
// TIOCMIWAIT compares with the counters as they are when it starts, so an
// edge between our last reading and that moment would not wake it. A guard
// thread reads the counters again from about a millisecond after the arming
// until it sees the watcher asleep in the wait, and wakes it for such an edge
// (re-sending the wake-up every millisecond until the watcher has left that
// wait: a signal that lands before the watcher is inside is spent). Such an
// edge carries the moment it was found and is marked late. A driver without
// counters (pl2303, ch341: TIOCGICOUNT gives EINVAL) has the guard compare
// the levels read before the arming with the level query instead; otherwise
// the edge would be lost together with the next one, which brings the level
// back to what was read.
//
// A driver that refuses TIOCMIWAIT (cp210x: ENOTTY) has its lines read every
// millisecond, each level change an edge stamped at the look that saw it.
// There the level query is the truth: cp210x keeps counters, but never moves
// those of the modem lines. Counters that do move only add the whole pulses
// they counted beyond the changes the looks saw.
//
// The watcher and the guard read only the tick and the wall clock, and block
// every process signal but the watcher's own wake-up.
class LinuxSerialDevice final : public SerialDevice {
public:
    using Resolver = std::function<QString(int port)>;

    LinuxSerialDevice();
    explicit LinuxSerialDevice(Resolver resolver, LinuxSerialSystem* system = nullptr);
    ~LinuxSerialDevice() override;
    LinuxSerialDevice(const LinuxSerialDevice&) = delete;
    LinuxSerialDevice& operator=(const LinuxSerialDevice&) = delete;

    int Open(int port) override;
    int OpenNode(int port, const QString& node) override;
    bool IsCharDevice() const override;
    int SetLineSettings(const SerialLineSettings& settings) override;
    int GetTimeouts(SerialTimeouts& timeouts) override;
    int SetTimeouts(const SerialTimeouts& timeouts) override;
    int SetupQueues(int readSize, int writeSize) override;
    int SetEventMask(std::uint32_t mask) override;
    SerialWaitResult WaitEvents(std::vector<LineEvent>& events, int& error) override;
    void RequestStop() override;
    std::uint32_t ModemStatus() override;
    int InQueueCount() override;
    void Purge(std::uint32_t flags) override;
    void Close() override;
    SerialAdapter Adapter() const override;

private:
    enum class Mode { LineWait, Polling };
    enum class Reading { Ok, Unsupported, Gone };
    using SteadyTime = std::chrono::steady_clock::time_point;

    // What the guard watches over: one arming of the line wait.
    struct Arming {
        std::uint64_t id = 0;
        LineCounts counts;
        std::uint32_t levels = 0;
        std::uint32_t watched = 0; // MS_* bits of the selected lines
        bool countsWork = false; // else the guard compares the levels
        bool canResync = false; // counters and levels both work
        SteadyTime at;
        pid_t tid = 0;
        pthread_t waiter {};
    };

    int OpenPath(const QString& path);
    void TuneLatencyTimer();
    void SetMode(Mode mode);
    Reading ReadCounts(LineCounts& counts, int& error) const;
    Reading ReadLevels(std::uint32_t& status, int& error) const;
    // Appends the selected changes since the last look, with the given stamp,
    // and moves the baseline on.
    Reading Look(std::vector<LineEvent>& events, const EdgeTime& seen, bool foundLate, std::uint32_t extra, int& error);
    // Puts the levels the level query found in place of those the counters
    // gave, as the changes that makes.
    void Resync(std::vector<LineEvent>& events, std::uint32_t levels, const EdgeTime& seen);
    // Polling: the level query tells each change, the counters add the pulses
    // no look saw.
    Reading LookPolled(std::vector<LineEvent>& events, const EdgeTime& seen, std::uint32_t extra, int& error);
    // The changes of each line to report at a polled look: the one the levels
    // show (MS_* bits in `changed`) and whole pulses counted beyond those seen.
    LineTransitions Unseen(const LineTransitions& counted, std::uint32_t changed);
    SerialWaitResult WaitLineChange(std::vector<LineEvent>& events, int& error);
    SerialWaitResult WaitTick(std::vector<LineEvent>& events, int& error);
    bool EnterWait();
    void LeaveWait();
    void StartGuard();
    void StopGuard();
    void GuardLoop();
    bool StillArmed(const Arming& arming) const;
    // Until the watcher has left the arming: the wake-up, every millisecond.
    void WakeUntilLeft(std::unique_lock<std::mutex>& lock, const Arming& arming);
    // Looks at the counters until the watcher is asleep in the wait; true when
    // it is, with nothing missed.
    bool GuardWindow(std::unique_lock<std::mutex>& lock, const Arming& arming);
    void GuardLevels(std::unique_lock<std::mutex>& lock, const Arming& arming);

    Resolver m_resolver;
    LinuxSerialSystem& m_sys;
    int m_fd = -1;
    bool m_exclusive = false;
    SerialTimeouts m_timeouts;
    std::uint32_t m_mask = 0; // the selected events the adapter can report
    std::uint32_t m_unusable = 0; // MS_* lines the adapter does not carry
    Mode m_mode = Mode::Polling;
    bool m_countsWork = true;
    bool m_levelsWork = true;
    int m_spuriousWakes = 0;
    LineCounts m_counts;
    std::uint32_t m_levels = 0;
    int m_inQueue = 0;
    // Polling: per line (CTS, DSR, RI, DCD), the changes counted minus those
    // the looks saw.
    std::array<int, 4> m_credit {};

    mutable std::mutex m_adapterMutex;
    SerialAdapter m_adapter;
    std::atomic<bool> m_polling { false };
    std::atomic<bool> m_counting { false };
    std::atomic<bool> m_countsMoved { false }; // a counter of a watched line has moved

    std::atomic<bool> m_stop { false };
    // Guards the waiter's identity, the arming the guard watches and what it found.
    std::mutex m_waitMutex;
    std::condition_variable m_guardWake;
    bool m_waiting = false;
    pthread_t m_waiter {};
    pid_t m_waiterTid = 0;
    std::uint64_t m_arming = 0; // moves on with every armed line wait
    bool m_armed = false; // the watcher is in (or about to enter) TIOCMIWAIT
    Arming m_armedState;
    std::uint64_t m_lateArming = 0; // the arming whose window had an edge
    EdgeTime m_lateSeen;
    std::uint64_t m_resyncArming = 0; // the arming whose levels were off
    std::uint32_t m_resyncLevels = 0;
    EdgeTime m_resyncSeen;
    bool m_guardQuit = false;
    std::thread m_guard;
};

// Arbitrary line speeds through termios2 (kept in their own unit because the
// kernel's termios header cannot share one with the C library's).
int SetCustomLineSpeed(int fd, std::uint32_t speed);
// The output speed the driver holds, in bits per second; 0 when unknown.
std::uint32_t ReadLineSpeed(int fd);

} // namespace platform
