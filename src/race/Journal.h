// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Tick.h"
#include "race/JournalLine.h"
#include "race/JournalStore.h"
#include "race/JournalWriter.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

namespace race {

// The journal of the race in progress: one append-only file per race in the
// data folder, opened at the first START after start-up or reset (or when a
// loaded table has entries on course, or a race is taken back after a
// crash), one line per event, made durable by the writer thread. The
// session mark names it, so a start after a crash finds it again.
class RaceJournal final {
public:
    RaceJournal(const QString& folder, const QString& title);
    ~RaceJournal(); // Close()
    RaceJournal(const RaceJournal&) = delete;
    RaceJournal& operator=(const RaceJournal&) = delete;

    QString Folder() const { return m_folder; }
    bool IsOpen() const { return m_writer.IsOpen(); }
    QString FileName() const { return m_writer.FileName(); }
    std::uint64_t LastSeq() const { return m_seq; }
    std::uint64_t DurableSeq() const { return m_writer.DurableSeq(); }
    bool WaitDurable(std::uint64_t seq, int timeoutMs) { return m_writer.WaitDurable(seq, timeoutMs); }
    // Lines waiting for the disk, and whether it refuses them now.
    JournalWriter::Backlog Pending() const { return m_writer.Pending(); }
    bool Failing() const { return m_writer.Failing(); }
    QString FailureReason() const { return m_writer.FailureReason(); }

    // A new journal file for a new race. Its first line says so, with the
    // format, the program and the boot the ticks belong to; `fields` are
    // added to it. False only when there is no data folder: a disk that
    // refuses the file makes its lines wait (see JournalWriter).
    bool Begin(
        const platform::Stamp& stamp, const QList<QPair<QString, QString>>& fields = {}, QString* reason = nullptr);
    // Writes the entry with the next sequence number, and the wall clock
    // of its tick; 0 when no journal is open. The entry's own seq is ignored.
    std::uint64_t Record(JournalEntry entry);
    std::uint64_t Record(
        const QString& kind, const platform::Stamp& stamp, const QList<QPair<QString, QString>>& fields = {});
    // The race is over (reset): the file is closed and the mark names no
    // journal any more.
    void Finish();
    // The lines not yet on the disk after waiting up to waitMs for them.
    std::size_t Behind(int waitMs);

    // A complete copy of the journal (its durable lines and the ones that
    // wait) written elsewhere, or why it could not be.
    struct Rescue {
        std::size_t lines = 0; // the lines its own disk has not taken
        QString path; // the copy; empty when there were none or no folder took them
        QString error;
    };
    // Writes the copy into the first of the folders that takes it (see
    // RescueFolders) while the journal goes on; nothing when no line waits.
    Rescue RescueNow(const QStringList& folders);
    // The end of the program: the file is closed and the mark goes. Lines
    // the disk still refuses go into a copy in the first of the folders that
    // takes it; then, and when keepSession asks for it (a backup that could
    // not be written), the mark stays, so the next start offers the race
    // as after a crash.
    Rescue Close(const QStringList& folders = {}, bool keepSession = false);

    // Tests make the disk fail. Set before Begin.
    void SetWriterIo(JournalWriter::Io io) { m_writer.SetIo(std::move(io)); }

    // Called on the writer thread (see JournalWriter). Set before Begin.
    std::function<void(std::uint64_t)> OnDurable;
    std::function<void(const QString&)> OnFailure;
    std::function<void()> OnRecovered;

private:
    static QByteArray copyWith(const QString& journal, long durableSize, const std::vector<QByteArray>& lines);

    QString m_folder;
    QString m_title;
    SessionMark m_mark;
    JournalWriter m_writer;
    std::uint64_t m_seq = 0;
    bool m_sessionKept = false; // the mark stays for the next start
};

} // namespace race
