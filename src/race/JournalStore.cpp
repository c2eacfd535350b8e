// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/JournalStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace race {

namespace {

const QString kMarkPrefix = QStringLiteral("session-");
const QString kMarkSuffix = QStringLiteral(".mark");

QByteArray readAllFrom(int fd)
{
    QByteArray bytes;
    char buffer[4096];
    ::lseek(fd, 0, SEEK_SET);
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

} // namespace

QString DataFolder(const QString& title)
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return {};
    const QString folder = base + QLatin1Char('/') + title;
    if (!QDir().mkpath(folder))
        return {};
    return folder;
}

QString NewJournalPath(const QString& folder, const QString& title, const QDateTime& now)
{
    const QString stem = folder + QLatin1Char('/') + title + now.toString(QStringLiteral("-yyyy-MM-dd-hh-mm-ss"));
    QString path = stem + QStringLiteral(".journal");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + QStringLiteral("-%1.journal").arg(n);
    return path;
}

SessionMark::SessionMark(const QString& folder)
{
    if (folder.isEmpty())
        return;
    // Process numbers come back after a reboot: the start time keeps the
    // name of a new mark apart from the abandoned one of an earlier session.
    const QString stem = folder + QLatin1Char('/') + kMarkPrefix + QString::number(QCoreApplication::applicationPid())
        + QLatin1Char('-') + QString::number(QDateTime::currentMSecsSinceEpoch());
    int fd = -1;
    // A second mark of this process within the same millisecond takes a
    // number.
    for (int n = 1; fd < 0 && n < 100; ++n) {
        m_path = stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + kMarkSuffix;
        fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST)
            return;
    }
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

SessionMark::~SessionMark()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SessionMark::SetJournal(const QString& journal, QString* reason)
{
    if (m_fd < 0)
        return true; // a program without a mark cannot be found after a crash either way
    // Written in place: the lock belongs to this file, a replacement would
    // be a mark nobody holds.
    const QByteArray bytes = journal.isEmpty() ? QByteArray() : QFile::encodeName(journal) + '\n';
    if (::pwrite(m_fd, bytes.constData(), static_cast<size_t>(bytes.size()), 0) == bytes.size()
        && ::ftruncate(m_fd, bytes.size()) == 0 && ::fdatasync(m_fd) == 0)
        return true;
    if (reason)
        *reason = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

void SessionMark::End()
{
    if (m_fd < 0)
        return;
    QFile::remove(m_path);
    ::close(m_fd);
    m_fd = -1;
}

namespace {

QString claimPath(const QString& mark)
{
    return mark + QStringLiteral(".claim");
}

QStringList markFiles(const QString& folder)
{
    QStringList marks;
    if (folder.isEmpty())
        return marks;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({ kMarkPrefix + QLatin1Char('*') + kMarkSuffix }, QDir::Files))
        marks << dir.filePath(name);
    return marks;
}

// The mark opened and locked: nobody else holds it, so its session is over.
// -1 when another program holds it.
int lockMark(const QString& mark)
{
    const int fd = ::open(QFile::encodeName(mark).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
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

} // namespace

QList<AbandonedSession> FindAbandonedSessions(const QString& folder)
{
    QList<AbandonedSession> sessions;
    QStringList journals;
    for (const QString& mark : markFiles(folder)) {
        const int fd = lockMark(mark);
        if (fd < 0)
            continue;
        const QString journal = QFile::decodeName(readAllFrom(fd).split('\n').value(0).trimmed());
        const QFileInfo info(journal);
        // A mark that names no journal any more, or one another mark names
        // too (a crash while a recovered race changed journals), is
        // removed while it is held, so nobody takes it in between.
        const QString canonical = info.exists() ? info.canonicalFilePath() : QString();
        if (journal.isEmpty() || canonical.isEmpty() || journals.contains(canonical)) {
            QFile::remove(mark);
            QFile::remove(claimPath(mark));
            ::close(fd);
            continue;
        }
        ::close(fd);
        journals << canonical;
        sessions.append({ mark, journal, info.lastModified() });
    }
    std::sort(sessions.begin(), sessions.end(),
        [](const AbandonedSession& a, const AbandonedSession& b) { return a.lastWritten > b.lastWritten; });
    return sessions;
}

bool SessionClaimedElsewhere(const QString& folder)
{
    for (const QString& mark : markFiles(folder)) {
        if (!QFileInfo::exists(claimPath(mark)))
            continue;
        const int fd = lockMark(mark);
        if (fd < 0)
            return true; // held, and claimed: a question or a recovery runs
        ::close(fd); // a claim whose program has gone
    }
    return false;
}

SessionClaim::~SessionClaim()
{
    Release();
}

SessionClaim::SessionClaim(SessionClaim&& other) noexcept
    : m_session(std::move(other.m_session))
    , m_fd(std::exchange(other.m_fd, -1))
{
}

SessionClaim& SessionClaim::operator=(SessionClaim&& other) noexcept
{
    if (this != &other) {
        Release();
        m_session = std::move(other.m_session);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

SessionClaim SessionClaim::Take(const AbandonedSession& session, bool* elsewhere)
{
    SessionClaim claim;
    if (elsewhere)
        *elsewhere = false;
    const int fd = lockMark(session.mark);
    if (fd < 0) {
        if (elsewhere)
            *elsewhere = QFileInfo::exists(claimPath(session.mark));
        return claim;
    }
    QFile file(claimPath(session.mark));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n');
    claim.m_session = session;
    claim.m_fd = fd;
    return claim;
}

void SessionClaim::Forget()
{
    if (m_fd < 0)
        return;
    QFile::remove(m_session.mark);
    Release();
}

void SessionClaim::Release()
{
    if (m_fd < 0)
        return;
    QFile::remove(claimPath(m_session.mark));
    ::close(m_fd);
    m_fd = -1;
}

namespace {

// A dated copy's name without the title: its moment and the number added
// when that name was taken; the copies sort by it. Names of the minute
// have no seconds.
struct DatedName {
    QString stamp;
    int number = 1;
    bool operator<(const DatedName& other) const
    {
        return stamp != other.stamp ? stamp < other.stamp : number < other.number;
    }
};

std::optional<DatedName> datedName(const QRegularExpression& pattern, const QString& name)
{
    const QRegularExpressionMatch m = pattern.match(name);
    if (!m.hasMatch())
        return std::nullopt;
    const QString seconds = m.captured(2).isEmpty() ? QStringLiteral("-00") : m.captured(2);
    return DatedName { m.captured(1) + seconds, m.captured(3).isEmpty() ? 1 : m.captured(3).mid(1).toInt() };
}

} // namespace

bool WriteDatedBackup(const QString& folder, const QString& title, const QDateTime& now, const QByteArray& bytes,
    int keep, QString* reason)
{
    if (folder.isEmpty()) {
        if (reason)
            *reason = QStringLiteral("kein Datenordner");
        return false;
    }
    const QDir dir(folder);
    const QString stem = title + now.toString(QStringLiteral("-yyyy-MM-dd-hh-mm-ss"));
    QString name = stem + QStringLiteral(".txt");
    for (int n = 2; QFileInfo::exists(dir.filePath(name)); ++n)
        name = stem + QStringLiteral("-%1.txt").arg(n);
    QSaveFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(title)
        + QStringLiteral("(-\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d)(-\\d\\d)?(-\\d+)?\\.txt$"));
    QList<std::pair<DatedName, QString>> copies;
    for (const QString& entry : dir.entryList(QDir::Files))
        if (const std::optional<DatedName> dated = datedName(pattern, entry))
            copies.append({ *dated, entry });
    std::sort(copies.begin(), copies.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (qsizetype i = 0; i + keep < copies.size(); ++i)
        QFile::remove(dir.filePath(copies[i].second));
    return true;
}

} // namespace race
