#include "race/JournalStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
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
    m_path = folder + QLatin1Char('/') + kMarkPrefix + QString::number(QCoreApplication::applicationPid())
        + QLatin1Char('-') + QString::number(QDateTime::currentMSecsSinceEpoch()) + kMarkSuffix;
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
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

void SessionMark::SetJournal(const QString& journal)
{
    if (m_fd < 0)
        return;
    const QByteArray bytes = QFile::encodeName(journal) + '\n';
    if (::ftruncate(m_fd, 0) != 0)
        return;
    if (::pwrite(m_fd, bytes.constData(), static_cast<size_t>(bytes.size()), 0) == bytes.size())
        ::fdatasync(m_fd);
}

void SessionMark::End()
{
    if (m_fd < 0)
        return;
    QFile::remove(m_path);
    ::close(m_fd);
    m_fd = -1;
}

QList<AbandonedSession> FindAbandonedSessions(const QString& folder)
{
    QList<AbandonedSession> sessions;
    if (folder.isEmpty())
        return sessions;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({ kMarkPrefix + QLatin1Char('*') + kMarkSuffix }, QDir::Files)) {
        const QString mark = dir.filePath(name);
        const int fd = ::open(QFile::encodeName(mark).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A mark we can lock belongs to no running program.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        const QString journal = QFile::decodeName(readAllFrom(fd).trimmed());
        ::close(fd);
        const QFileInfo info(journal);
        if (journal.isEmpty() || !info.exists()) {
            QFile::remove(mark);
            continue;
        }
        sessions.append({ mark, journal, info.lastModified() });
    }
    std::sort(sessions.begin(), sessions.end(),
        [](const AbandonedSession& a, const AbandonedSession& b) { return a.lastWritten > b.lastWritten; });
    return sessions;
}

void ForgetSessions(const QList<AbandonedSession>& sessions)
{
    for (const AbandonedSession& session : sessions)
        QFile::remove(session.mark);
}

bool WriteDatedBackup(const QString& folder, const QString& title, const QDateTime& now, const QByteArray& bytes,
    int keep, QString* reason)
{
    if (folder.isEmpty()) {
        if (reason)
            *reason = QStringLiteral("kein Datenordner");
        return false;
    }
    const QDir dir(folder);
    QSaveFile file(dir.filePath(title + now.toString(QStringLiteral("-yyyy-MM-dd-hh-mm")) + QStringLiteral(".txt")));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    const QRegularExpression dated(QLatin1Char('^') + QRegularExpression::escape(title)
        + QStringLiteral("-\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.txt$"));
    QStringList copies;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        if (dated.match(name).hasMatch())
            copies << name;
    // The names sort by their date.
    for (qsizetype i = 0; i + keep < copies.size(); ++i)
        QFile::remove(dir.filePath(copies[i]));
    return true;
}

} // namespace race
