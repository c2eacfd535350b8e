// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/JournalStore.h"

#include "platform/AppInfo.h"
#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "protocol/ProtocolFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>

namespace race {

namespace {

const QString kMarkPrefix = QStringLiteral("session-");
const QString kMarkSuffix = QStringLiteral(".mark");

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
        fd = platform::CreateNew(m_path);
        if (fd < 0 && errno != EEXIST)
            return;
    }
    if (fd < 0)
        return;
    if (!platform::LockFile(fd)) {
        platform::CloseFile(fd);
        return;
    }
    m_fd = fd;
    // The mark's room is taken now, while the disk has some: a disk that
    // fills during the race still takes the names it is given later.
    SetJournal(QString());
}

SessionMark::~SessionMark()
{
    platform::CloseFile(m_fd);
}

bool SessionMark::SetJournal(const QString& journal, const QString& rescued, QString* reason)
{
    if (m_fd < 0)
        return true; // a program without a mark cannot be found after a crash either way
    // Written in place: the lock belongs to this file, a replacement would
    // be a mark nobody holds. Never emptied, so it keeps its first block.
    QByteArray bytes = QFile::encodeName(journal) + '\n';
    if (!rescued.isEmpty())
        bytes += QFile::encodeName(rescued) + '\n';
    return platform::RewriteInPlace(m_fd, bytes, reason);
}

void SessionMark::End()
{
    if (m_fd < 0)
        return;
    QFile::remove(m_path);
    platform::CloseFile(m_fd);
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
    return platform::OpenLocked(mark);
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
        const QList<QByteArray> names = platform::ReadAllFrom(fd).split('\n');
        QString journal = QFile::decodeName(names.value(0).trimmed());
        // The copy that holds what the journal's disk refused has every line.
        const QString rescued = QFile::decodeName(names.value(1).trimmed());
        if (!journal.isEmpty() && !rescued.isEmpty() && QFileInfo(rescued).isFile())
            journal = rescued;
        const QFileInfo info(journal);
        // A mark that names no journal any more, or one another mark names
        // too (a crash while a recovered race changed journals), is
        // removed while it is held, so nobody takes it in between.
        const QString canonical = info.exists() ? info.canonicalFilePath() : QString();
        if (journal.isEmpty() || canonical.isEmpty() || journals.contains(canonical)) {
            QFile::remove(mark);
            QFile::remove(claimPath(mark));
            platform::CloseFile(fd);
            continue;
        }
        platform::CloseFile(fd);
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
        platform::CloseFile(fd); // a claim whose program has gone
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
    platform::CloseFile(m_fd);
    m_fd = -1;
}

QStringList RescueFolders(const QString& title)
{
    QStringList folders;
    const QString documents = platform::DocumentsFolder();
    if (!documents.isEmpty())
        folders << documents + QStringLiteral("/Rennzeit");
    folders << QDir::tempPath() + QLatin1Char('/') + title + QLatin1Char('-') + QString::number(platform::UserId());
    return folders;
}

namespace {

// A folder for the copy: made when missing; in the shared temporary folder
// only one of this user's own that nobody else can write to.
bool prepareRescueFolder(const QString& folder, QString* reason)
{
    const bool shared = QFileInfo(folder).absolutePath() == QDir(QDir::tempPath()).absolutePath();
    if (!shared) {
        if (QDir().mkpath(folder))
            return true;
        *reason = QStringLiteral("kann nicht angelegt werden");
        return false;
    }
    return platform::MakeFolder(folder, true, reason);
}

} // namespace

QString WriteRescueCopy(const QStringList& folders, const QString& name, const QByteArray& bytes, QString* reason)
{
    QStringList reasons;
    for (const QString& folder : folders) {
        QString why;
        const QString path = folder + QLatin1Char('/') + name;
        if (prepareRescueFolder(folder, &why) && platform::WriteFileAtomically(path, bytes, &why))
            return path;
        reasons << QStringLiteral("%1: %2").arg(folder, why);
    }
    if (reason)
        *reason = reasons.join(QStringLiteral("; "));
    return {};
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

bool isReadableBackup(const QString& path)
{
    QFile file(path);
    // The settings lines and the header row fit well within this.
    return file.open(QIODevice::ReadOnly) && protocol::IsGridBackup(file.read(64 * 1024));
}

} // namespace

bool WriteDatedBackup(const QString& folder, const QString& title, const QDateTime& now, const QByteArray& bytes,
    int keep, QString* reason, QString* written)
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
    // Nothing of a copy the disk refuses is left under its name: it would
    // count as a kept copy and push out a good one.
    if (!platform::WriteFileAtomically(dir.filePath(name), bytes, reason))
        return false;
    if (written)
        *written = dir.filePath(name);
    const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(title)
        + QStringLiteral("(-\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d)(-\\d\\d)?(-\\d+)?\\.txt$"));
    QList<std::pair<DatedName, QString>> copies;
    for (const QString& entry : dir.entryList(QDir::Files)) {
        const std::optional<DatedName> dated = datedName(pattern, entry);
        // Only a copy that holds a backup counts among the kept ones: an
        // empty or unreadable one (an older version's failed save) never
        // pushes out a good one, and is left for the operator to look at.
        if (dated && isReadableBackup(dir.filePath(entry)))
            copies.append({ *dated, entry });
    }
    std::sort(copies.begin(), copies.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (qsizetype i = 0; i + keep < copies.size(); ++i)
        QFile::remove(dir.filePath(copies[i].second));
    return true;
}

} // namespace race
