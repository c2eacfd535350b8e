// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/AtomicFile.h"

#include "platform/FileAccess.h"
#include "platform/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString systemReason(int error)
{
    return SystemReason(error);
}

bool fail(QString* reason, int error)
{
    if (reason)
        *reason = systemReason(error);
    return false;
}

// Writes all bytes, across partial writes and interrupted calls.
bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

void closeKeepingErrno(int fd)
{
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

// A symbolic link keeps pointing at its file: the file at the end of the
// whole chain of links is replaced, every link on the way stays a link. A
// relative link is read from the folder of the link that holds it. A chain
// longer than the system follows gives nothing (ELOOP): no link is replaced.
std::optional<QString> resolvedTarget(const QString& fileName)
{
    constexpr int kMaxLinks = 40;
    QString current = fileName;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        const QByteArray path = QFile::encodeName(current);
        QByteArray target(4096, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), target.data(), static_cast<size_t>(target.size()));
        if (n < 0 || n >= target.size())
            return current; // no link (or one beyond any real path): this is the file
        target.truncate(n);
        const QString next = QFile::decodeName(target);
        current = QDir::isAbsolutePath(next) ? next : QFileInfo(current).absolutePath() + QLatin1Char('/') + next;
    }
    return std::nullopt;
}

bool writeDirectly(const QByteArray& path, const QByteArray& bytes, QString* reason)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return fail(reason, errno);
    if (!writeAll(fd, bytes)) {
        closeKeepingErrno(fd);
        return fail(reason, errno);
    }
    if (::close(fd) != 0)
        return fail(reason, errno);
    return true;
}

} // namespace

QString TemporaryNameBeside(const QString& fileName)
{
    const QFileInfo info(fileName);
    const QString random = QString::number(QRandomGenerator::global()->generate64(), 36);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".") + random
        + QStringLiteral(".tmp");
}

bool WriteFileAtomically(const QString& fileName, const QByteArray& bytes, QString* reason)
{
    if (fileName.isEmpty())
        return fail(reason, ENOENT);
    const std::optional<QString> resolved = resolvedTarget(fileName);
    if (!resolved)
        return fail(reason, ELOOP);
    const QString targetName = *resolved;
    const QByteArray target = QFile::encodeName(targetName);

    struct stat existing { };
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return fail(reason, EISDIR);
    if (exists && !S_ISREG(existing.st_mode))
        return writeDirectly(target, bytes, reason);

    // Created with the usual mode, so the umask applies as for any new file;
    // a file that exists keeps its mode and, where allowed, its owner.
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = QFile::encodeName(TemporaryNameBeside(targetName));
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return fail(reason, errno);
    }
    if (fd < 0)
        return fail(reason, EEXIST);
    if (exists) {
        ::fchmod(fd, existing.st_mode & 07777);
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Only the owner's own files can be given back to them; a file of
            // someone else becomes ours, as with any program that saves.
        }
    }

    const auto discard = [&](int error) {
        ::unlink(temp.constData());
        return fail(reason, error);
    };
    if (!writeAll(fd, bytes) || ::fdatasync(fd) != 0) {
        closeKeepingErrno(fd);
        return discard(errno);
    }
    if (::close(fd) != 0)
        return discard(errno);
    if (::rename(temp.constData(), target.constData()) != 0)
        return discard(errno);
    SyncFolderOf(QFile::decodeName(target));
    return true;
}

bool ReplaceFileAtomically(const QString& writtenFile, const QString& fileName, QString* reason)
{
    const QByteArray written = QFile::encodeName(writtenFile);
    const std::optional<QString> resolved = resolvedTarget(fileName);
    const QByteArray target = QFile::encodeName(resolved.value_or(fileName));
    const auto discard = [&](int error) {
        ::unlink(written.constData());
        return fail(reason, error);
    };
    if (!resolved)
        return discard(ELOOP);
    const int fd = ::open(written.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return discard(errno);
    if (::fdatasync(fd) != 0) {
        closeKeepingErrno(fd);
        return discard(errno);
    }
    ::close(fd);
    if (::rename(written.constData(), target.constData()) != 0)
        return discard(errno);
    SyncFolderOf(QFile::decodeName(target));
    return true;
}

} // namespace platform
