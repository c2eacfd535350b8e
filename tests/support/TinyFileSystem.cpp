// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/TinyFileSystem.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

constexpr unsigned long kFlags = MS_NOSUID | MS_NODEV | MS_NOEXEC;

} // namespace

TinyFileSystem::TinyFileSystem()
{
    if (!m_dir.isValid()) {
        m_skipReason = QStringLiteral("no temporary folder: ") + m_dir.errorString();
        return;
    }
    const QByteArray target = QFile::encodeName(m_dir.path());
    if (::mount("tmpfs", target.constData(), "tmpfs", kFlags, "size=64k,mode=0755") != 0) {
        m_skipReason = QStringLiteral("cannot mount a tmpfs (%1); run the tests as root with mount rights")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
}

TinyFileSystem::~TinyFileSystem()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

bool TinyFileSystem::Fill()
{
    if (!m_mounted)
        return false;
    const QByteArray name = QFile::encodeName(filePath(QStringLiteral("filler")));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return false;
    const QByteArray block(4096, 'f');
    int error = 0;
    // Block by block, then byte by byte for a last partial block.
    for (qsizetype size : { qsizetype(4096), qsizetype(1) }) {
        while (::write(fd, block.constData(), static_cast<size_t>(size)) == size) { }
        error = errno;
    }
    ::close(fd);
    return error == ENOSPC;
}

bool TinyFileSystem::MakeReadOnly()
{
    return m_mounted
        && ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", kFlags | MS_REMOUNT | MS_RDONLY,
               "size=64k")
        == 0;
}

QStringList TinyFileSystem::Entries() const
{
    return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}
