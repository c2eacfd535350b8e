// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace race {

// The program's data folder in the user's home (~/.local/share/<title>):
// race journals, session marks and dated backups. Created when missing;
// empty when it cannot be created.
QString DataFolder(const QString& title);

// A new journal's name in the folder: <title>-yyyy-MM-dd-hh-mm-ss.journal,
// with a number added when that name is taken.
QString NewJournalPath(const QString& folder, const QString& title, const QDateTime& now);

// Marks the session of a running program: a small file in the data folder
// that the program holds locked for as long as it runs and that names the
// journal of the race in progress. The operating system drops the lock when
// the process ends in any way, so a mark that is not locked any more but
// still there belongs to a session that ended without End(): a crash, a
// kill or a power cut.
class SessionMark final {
public:
    explicit SessionMark(const QString& folder);
    ~SessionMark(); // keeps the mark: only End() says the session ended in order
    SessionMark(const SessionMark&) = delete;
    SessionMark& operator=(const SessionMark&) = delete;

    bool IsValid() const { return m_fd >= 0; }
    QString Path() const { return m_path; }
    // Names the journal of the race in progress (empty: none), durably, and
    // the copy of it that holds the lines its disk refused, when there is
    // one; false with the system's reason when the disk refuses it. The mark
    // keeps the room it was made with, so a full disk takes a name that fits.
    bool SetJournal(const QString& journal, const QString& rescued = QString(), QString* reason = nullptr);
    // The orderly end: the mark goes away.
    void End();

private:
    QString m_path;
    int m_fd = -1;
};

// A session that ended without its orderly end, and the journal it named
// (the complete copy of it, when its disk refused lines and the copy went
// elsewhere).
struct AbandonedSession {
    QString mark;
    QString journal;
    QDateTime lastWritten;
};

// The abandoned sessions in the folder whose journal still exists, newest
// first, each journal once. Marks of abandoned sessions without a journal
// are removed; sessions another program has claimed are left alone.
QList<AbandonedSession> FindAbandonedSessions(const QString& folder);
// Whether another program holds a claim on an abandoned session of the
// folder at this moment: it is asking about it or taking it back.
bool SessionClaimedElsewhere(const QString& folder);

// An abandoned session taken by this program from the moment its question
// is asked until it is answered: its mark is held locked, so no other
// program offers or touches it, and a claim file beside it tells them why.
// A claim that is dropped without Forget (no answer, a signal, a crash)
// leaves the session to be offered at the next start.
class SessionClaim final {
public:
    SessionClaim() = default;
    ~SessionClaim(); // Release()
    SessionClaim(SessionClaim&& other) noexcept;
    SessionClaim& operator=(SessionClaim&& other) noexcept;
    SessionClaim(const SessionClaim&) = delete;
    SessionClaim& operator=(const SessionClaim&) = delete;

    // Takes the session; an invalid claim when another program holds it
    // (`elsewhere` says whether it is being recovered there) or it is gone.
    static SessionClaim Take(const AbandonedSession& session, bool* elsewhere = nullptr);

    bool IsValid() const { return m_fd >= 0; }
    const AbandonedSession& Session() const { return m_session; }
    // The operator answered: the session is never offered again (its
    // journal stays on the disk).
    void Forget();
    // No answer: the session stays abandoned.
    void Release();

private:
    AbandonedSession m_session;
    int m_fd = -1;
};

// Where a journal's lines go that its own disk refuses at the end of the
// program: the folder "Rennzeit" of the documents folder, then a folder of
// this user's own in the temporary folder.
QStringList RescueFolders(const QString& title);

// Writes the bytes as <folder>/<name> into the first of the folders that
// takes them (made when missing); the file's path, or empty with each
// folder's reason in `reason`.
QString WriteRescueCopy(const QStringList& folders, const QString& name, const QByteArray& bytes, QString* reason);

// Writes a dated copy of the backup (<title>-yyyy-MM-dd-hh-mm-ss.txt, with
// "-2", "-3", ... when that name is taken; `written` gets its path) into the
// folder and keeps only the newest `keep` of them. False with the reason when the copy cannot be
// written; then nothing is left under its name. Only copies that hold a
// backup count among the kept ones.
bool WriteDatedBackup(const QString& folder, const QString& title, const QDateTime& now, const QByteArray& bytes,
    int keep = 30, QString* reason = nullptr, QString* written = nullptr);

} // namespace race
