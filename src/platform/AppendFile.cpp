// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/AppendFile.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<int> g_injected { 0 };

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

AppendFile::~AppendFile()
{
    Close();
}

void AppendFile::InjectErrorForTests(int error)
{
    g_injected.store(error);
}

bool AppendFile::Open(const QString& fileName, qint64 keepBytes, QString* reason)
{
    Close();
    const QByteArray name = QFile::encodeName(fileName);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (reason)
            *reason = systemReason(errno);
        return false;
    }
    if (keepBytes >= 0 && ::ftruncate(fd, keepBytes) != 0) {
        if (reason)
            *reason = systemReason(errno);
        ::close(fd);
        return false;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || ::fdatasync(fd) != 0) {
        if (reason)
            *reason = systemReason(errno);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_size = st.st_size;
    return true;
}

bool AppendFile::Append(const QByteArray& bytes, QString* reason)
{
    if (m_fd < 0) {
        if (reason)
            *reason = QStringLiteral("Datei nicht geöffnet");
        return false;
    }
    if (const int injected = g_injected.load()) {
        if (reason)
            *reason = systemReason(injected);
        return false;
    }
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // Should the cut fail too, the piece stays torn on the disk: the
            // reader ignores a torn last line and the next Open cuts it off.
            if (done > 0 && ::ftruncate(m_fd, m_size) != 0)
                qWarning("AppendFile: a torn piece stays at the end (cut failed: %s)", std::strerror(errno));
            if (reason)
                *reason = systemReason(error);
            return false;
        }
        done += n;
    }
    if (::fdatasync(m_fd) != 0) {
        const int error = errno;
        // What fdatasync could not confirm may or may not be on the disk: take
        // it back, so the caller's retry does not write it twice.
        if (::ftruncate(m_fd, m_size) != 0)
            qWarning("AppendFile: an unconfirmed piece stays at the end (cut failed: %s)", std::strerror(errno));
        if (reason)
            *reason = systemReason(error);
        return false;
    }
    m_size += bytes.size();
    return true;
}

void AppendFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace platform
