// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/SerialLinux.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

namespace platform {

// The Linux device's system calls with a scripted adapter behind one path.
// The test sets the modem lines; each change moves the line's interrupt
// counter as a driver's would, and a pulse moves it twice. TIOCMIWAIT behaves
// like the kernel's: it takes a snapshot of the counters when it begins and
// sleeps (interruptibly, so the device's stop signal ends it with EINTR) until
// a watched line's counter differs from that snapshot.
//
// Like ftdi_sio, the adapter can deliver its status late: the level query
// then tells the lines as they are, while the counters move only when the
// test (or a status thread) delivers the status.
class ScriptedSerialSystem final : public LinuxSerialSystem {
public:
    enum class Call { Open, GetModemLines, GetCounts, WaitModemChange, Poll, WriteAttribute };
    // How the driver behind the port answers, as the kernel's drivers do.
    enum class Driver {
        Counting, // 8250, ftdi_sio: TIOCMIWAIT, counters that move, levels
        WithoutCounters, // pl2303, ch341: TIOCGICOUNT gives EINVAL
        Cp210x, // TIOCMIWAIT gives ENOTTY; TIOCGICOUNT works, but the modem
                // lines' counters stay at zero; TIOCMGET tells the levels
    };

    explicit ScriptedSerialSystem(QByteArray path = "/dev/ttyFAKE0");
    ~ScriptedSerialSystem() override;
    ScriptedSerialSystem(const ScriptedSerialSystem&) = delete;
    ScriptedSerialSystem& operator=(const ScriptedSerialSystem&) = delete;

    QByteArray Path() const { return m_path; }

    void ActAs(Driver driver);

    // TIOCM_* lines.
    void SetLine(int tiocmLine, bool on);
    void Pulse(int tiocmLine);
    // The call fails with the error number from now on (0 heals it).
    void Fail(Call call, int error);
    // Runs inside the next TIOCMIWAIT just before it takes its snapshot: an
    // edge there falls between the watcher's last reading and the wait.
    void BeforeNextSnapshot(std::function<void()> action);
    // The next TIOCMIWAIT returns EINTR at once, as for a signal of another kind.
    void InterruptNextWait();
    // Counters move only at DeliverStatus (the level query is live).
    void SetDeliverStatusLate(bool late);
    void DeliverStatus();

    bool WaitUntilWaiting(int timeoutMs) const; // a thread sleeps in TIOCMIWAIT
    int WaitCalls() const { return Locked(m_waitCalls); }
    int PollCalls() const { return Locked(m_pollCalls); }
    bool IsOpen() const { return Locked(m_open); }
    int ModemLineReads() const { return Locked(m_modemLineReads); } // TIOCMGET calls
    QByteArray OpenedPath() const { return Locked(m_openedPath); } // the path the last open asked for
    // The thread that sleeps (or slept last) in TIOCMIWAIT, and the thread that
    // asked where it was.
    pid_t WaiterTid() const { return Locked(m_waiterTid); }
    pid_t GuardTid() const { return Locked(m_guardTid); }

    int Open(const QByteArray& path, int& fd) override;
    void Close(int fd) override;
    int LockExclusive(int fd) override;
    bool IsTerminal(int fd) override;
    int SetExclusive(int fd, bool on) override;
    bool IsCharDevice(int fd) override;
    int GetAttributes(int fd, termios& t) override;
    int SetAttributes(int fd, const termios& t) override;
    int SetCustomSpeed(int fd, std::uint32_t speed) override;
    int SetModemLine(int fd, int tiocmLine, bool on) override;
    void RequestLowLatency(int fd) override;
    int GetModemLines(int fd, int& tiocm) override;
    int GetCounts(int fd, LineCounts& counts) override;
    int WaitModemChange(int fd, int tiocmMask) override;
    int InQueue(int fd, int& count) override;
    int Flush(int fd, int queueSelector) override;
    int Poll(int fd, short events, int timeoutMs, short& revents) override;
    ThreadWait WaitingIn(pid_t tid) override;
    int WriteAttribute(const QString& path, const QByteArray& value) override;

private:
    template <typename T> T Locked(const T& value) const
    {
        std::lock_guard lock(m_mutex);
        return value;
    }
    int Failure(Call call) const;
    void Wake();
    void Count(int tiocmLines, int times);
    static bool Moved(const LineCounts& a, const LineCounts& b, int tiocmMask);

    const QByteArray m_path;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    int m_wakeFd = -1; // an eventfd the sleeping calls poll, so signals reach them
    bool m_open = false;
    int m_tiocm = 0;
    LineCounts m_counts;
    bool m_statusLate = false;
    bool m_countersStill = false; // TIOCGICOUNT answers, its line counters never move
    LineCounts m_undelivered; // changes the late status has not delivered yet
    QByteArray m_openedPath;
    int m_modemLineReads = 0;
    pid_t m_waiterTid = 0;
    pid_t m_guardTid = 0;
    termios m_tio {};
    std::map<Call, int> m_failures;
    std::function<void()> m_beforeSnapshot;
    bool m_interruptNext = false;
    bool m_waiting = false;
    int m_waitCalls = 0;
    int m_pollCalls = 0;
};

// A scripted sysfs tree in a temporary folder, put in place of /sys while the
// object lives: each tty with the link to its driver and, for FTDI adapters,
// the latency timer.
class ScriptedSysfs {
public:
    ScriptedSysfs();
    ~ScriptedSysfs();
    ScriptedSysfs(const ScriptedSysfs&) = delete;
    ScriptedSysfs& operator=(const ScriptedSysfs&) = delete;

    // A USB adapter's tty; latencyMs < 0: no latency timer; statusIntervalUs
    // >= 0: the interface's interrupt endpoint that carries the line status.
    void AddTty(const QString& tty, const QString& driver, int latencyMs = -1, int statusIntervalUs = -1);
    // A UART's tty behind the serial core's own port and controller devices,
    // with the serial core's port type (4: a 16550A; 0: no UART answered).
    void AddSerialCoreTty(const QString& tty, const QString& driver, int uartType = 4);
    // A ttyS the 8250 driver makes without a UART behind it: type 0 on its
    // platform device, or without a device.
    void AddPlaceholderTty(const QString& tty, bool withDevice);
    QString LatencyTimerFile(const QString& tty) const;
    QString Root() const { return m_dir.path(); }

private:
    void Link(const QString& device, const QString& driverFolder);

    QTemporaryDir m_dir;
    int m_usbDevices = 0;
    int m_uarts = 0;
};

} // namespace platform
