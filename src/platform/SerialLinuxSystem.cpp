// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The operating system's side of the Linux serial device: each method is one
// system call (two for the low-latency request) and returns 0 or errno.
#include "platform/SerialLinux.h"

#include <QFile>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

int Result(int rc)
{
    return rc == 0 ? 0 : errno;
}

// A small file of /proc in one read, without Qt (the guard runs at real-time
// priority and reads these about once per edge).
QByteArray ReadSmallFile(const char* path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[512];
    const ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    return got > 0 ? QByteArray(buffer, static_cast<int>(got)) : QByteArray();
}

class RealSystem final : public LinuxSerialSystem {
public:
    int Open(const QByteArray& path, int& fd) override
    {
        fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return fd < 0 ? errno : 0;
    }
    void Close(int fd) override { ::close(fd); }
    int LockExclusive(int fd) override { return Result(::flock(fd, LOCK_EX | LOCK_NB)); }
    bool IsTerminal(int fd) override { return ::isatty(fd) != 0; }
    int SetExclusive(int fd, bool on) override { return Result(::ioctl(fd, on ? TIOCEXCL : TIOCNXCL)); }
    bool IsCharDevice(int fd) override
    {
        struct stat st { };
        return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode);
    }
    int GetAttributes(int fd, termios& t) override { return Result(::tcgetattr(fd, &t)); }
    int SetAttributes(int fd, const termios& t) override { return Result(::tcsetattr(fd, TCSANOW, &t)); }
    int SetCustomSpeed(int fd, std::uint32_t speed) override { return SetCustomLineSpeed(fd, speed); }
    int SetModemLine(int fd, int tiocmLine, bool on) override
    {
        return Result(::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &tiocmLine));
    }
    void RequestLowLatency(int fd) override
    {
        serial_struct serial {};
        if (::ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY))
            return;
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    int GetModemLines(int fd, int& tiocm) override { return Result(::ioctl(fd, TIOCMGET, &tiocm)); }
    int GetCounts(int fd, LineCounts& counts) override
    {
        serial_icounter_struct ic {};
        if (::ioctl(fd, TIOCGICOUNT, &ic) != 0)
            return errno;
        counts.cts = ic.cts;
        counts.dsr = ic.dsr;
        counts.rng = ic.rng;
        counts.dcd = ic.dcd;
        counts.brk = ic.brk;
        counts.errors = ic.frame + ic.overrun + ic.parity + ic.buf_overrun;
        return 0;
    }
    int WaitModemChange(int fd, int tiocmMask) override { return Result(::ioctl(fd, TIOCMIWAIT, tiocmMask)); }
    int InQueue(int fd, int& count) override { return Result(::ioctl(fd, FIONREAD, &count)); }
    int Flush(int fd, int queueSelector) override { return Result(::tcflush(fd, queueSelector)); }
    int Poll(int fd, short events, int timeoutMs, short& revents) override
    {
        pollfd p { fd, events, 0 };
        const int rc = ::poll(&p, 1, timeoutMs);
        revents = p.revents;
        return rc < 0 ? errno : 0;
    }
    ThreadWait WaitingIn(pid_t tid) override
    {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/task/%d/stat", static_cast<int>(tid));
        const QByteArray stat = ReadSmallFile(path);
        std::snprintf(path, sizeof path, "/proc/self/task/%d/syscall", static_cast<int>(tid));
        return ThreadWaitFromProc(stat, ReadSmallFile(path));
    }
    int WriteAttribute(const QString& path, const QByteArray& value) override
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return errno;
        const ssize_t written = ::write(fd, value.constData(), static_cast<size_t>(value.size()));
        const int error = written == value.size() ? 0 : (written < 0 ? errno : EIO);
        ::close(fd);
        return error;
    }
};

} // namespace

LinuxSerialSystem& RealLinuxSerialSystem()
{
    static RealSystem system;
    return system;
}

} // namespace platform
