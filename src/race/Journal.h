#pragma once

#include "platform/Tick.h"
#include "race/JournalLine.h"
#include "race/JournalStore.h"
#include "race/JournalWriter.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace race {

// The journal of the race in progress: one append-only file per race in the
// data folder, opened at the first START after start-up or reset, one line
// per event, made durable by the writer thread. The session mark names it,
// so a start after a crash finds it again.
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

    // A new journal file for a new race; its first line says so.
    bool Begin(const platform::Stamp& stamp, QString* reason = nullptr);
    // Goes on writing an existing journal after its last sequence number (a
    // race taken back after a crash).
    bool Resume(const QString& fileName, std::uint64_t lastSeq, QString* reason = nullptr);
    // Writes the entry with the next sequence number; 0 when no journal is
    // open. The entry's own seq is ignored.
    std::uint64_t Record(JournalEntry entry);
    std::uint64_t Record(
        const QString& kind, const platform::Stamp& stamp, const QList<QPair<QString, QString>>& fields = {});
    // The race is over (reset): the file is closed and the mark names no
    // journal any more.
    void Finish();
    // The orderly end of the program: the file is closed and the mark goes.
    void Close();

    // Called on the writer thread (see JournalWriter). Set before Begin.
    std::function<void(std::uint64_t)> OnDurable;
    std::function<void(const QString&)> OnFailure;

private:
    bool OpenFile(const QString& fileName, QString* reason);

    QString m_folder;
    QString m_title;
    SessionMark m_mark;
    JournalWriter m_writer;
    std::uint64_t m_seq = 0;
};

} // namespace race
