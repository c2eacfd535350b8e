// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/FileAccess.h"

#include "platform/SystemError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileHandle OpenForAppend(const QString& fileName, long* size, QString* reason)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (reason)
            *reason = SystemReason(errno);
        return -1;
    }
    struct stat info { };
    ::fstat(fd, &info);
    SyncFolderOf(fileName);
    if (size)
        *size = static_cast<long>(info.st_size);
    return fd;
}

FileHandle CreateNew(const QString& fileName)
{
    return ::open(QFile::encodeName(fileName).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
}

FileHandle OpenLocked(const QString& fileName)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (!LockFile(fd)) {
        ::close(fd);
        return -1;
    }
    // Removed by its last holder while this one waited for it.
    struct stat info { };
    if (::fstat(fd, &info) != 0 || info.st_nlink == 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool LockFile(FileHandle file)
{
    return ::flock(file, LOCK_EX | LOCK_NB) == 0;
}

void CloseFile(FileHandle file)
{
    if (file >= 0)
        ::close(file);
}

long WriteSome(FileHandle file, const char* data, std::size_t size)
{
    return ::write(file, data, size);
}

int SyncData(FileHandle file)
{
    return ::fdatasync(file);
}

int TruncateFile(FileHandle file, long size)
{
    return ::ftruncate(file, size);
}

bool RewriteInPlace(FileHandle file, const QByteArray& bytes, QString* reason)
{
    if (::pwrite(file, bytes.constData(), static_cast<size_t>(bytes.size()), 0) == bytes.size()
        && ::ftruncate(file, bytes.size()) == 0 && ::fdatasync(file) == 0)
        return true;
    if (reason)
        *reason = SystemReason(errno);
    return false;
}

QByteArray ReadAllFrom(FileHandle file)
{
    QByteArray bytes;
    char buffer[4096];
    ::lseek(file, 0, SEEK_SET);
    for (;;) {
        const ssize_t n = ::read(file, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

bool ReadWholeFile(const QString& fileName, QByteArray* bytes, QString* reason)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
    struct stat info { };
    int error = fd < 0 ? errno : 0;
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode))
        error = EISDIR;
    if (error == 0) {
        QByteArray read;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                error = errno;
            if (n <= 0)
                break;
            read.append(buffer, n);
        }
        if (error == 0 && bytes)
            *bytes = std::move(read);
    }
    CloseFile(fd);
    if (error != 0 && reason)
        *reason = SystemReason(error);
    return error == 0;
}

void SyncFolderOf(const QString& fileName)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(fileName).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool MakeFolder(const QString& folder, bool privateToUser, QString* reason)
{
    const QByteArray path = QFile::encodeName(folder);
    const int made = ::mkdir(path.constData(), privateToUser ? 0700 : 0777);
    if (made != 0 && (!privateToUser || errno != EEXIST)) {
        if (reason)
            *reason = SystemReason(errno);
        return false;
    }
    if (!privateToUser)
        return true;
    struct stat info { };
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()
        || (info.st_mode & 0022) != 0) {
        if (reason)
            *reason = QStringLiteral("gehört nicht diesem Benutzer allein");
        return false;
    }
    return true;
}

unsigned UserId()
{
    return ::getuid();
}

} // namespace platform
