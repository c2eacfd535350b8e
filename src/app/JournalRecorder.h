#pragma once

#include "race/Journal.h"
#include "race/JournalEvents.h"
#include "race/Race.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

// Records the race into its journal: every command with its outcome, every
// change of the table, and the barrier impulses with their lines. The
// journal begins with the race's first START (after start-up or reset) and
// a line noting the race as it stood before it; a reset ends it. After an
// unclean end the next start replays it.
class JournalRecorder final {
public:
    JournalRecorder(race::Race& race, const QString& folder, const QString& title);
    ~JournalRecorder();
    JournalRecorder(const JournalRecorder&) = delete;
    JournalRecorder& operator=(const JournalRecorder&) = delete;

    race::RaceJournal& File() { return m_journal; }

    // The barrier line's port and algorithm, for the lines that note them.
    std::function<std::pair<int, int>()> PortAndAlgorithm;
    // Called before each line is handed to the writer, with its sequence
    // number and the digest of the race after that event.
    std::function<void(std::uint64_t seq, const QString& digest)> OnJournalEvent;
    // A journal that cannot be begun or written (on the writer's thread for
    // a write failure: the caller moves it to its own).
    std::function<void(const QString& reason)> OnFailure;

    // The lines of the barrier impulse that comes next: its modem status
    // before and after the change.
    void NoteBarrierEdge(std::uint32_t before, std::uint32_t after);

    // What a recovery made of a journal file.
    struct Recovery {
        bool read = false; // false: the file could not be read (reason says why)
        QString reason;
        QStringList skipped; // lines that had to be passed over
        int disagreeing = 0; // events that did not turn out as recorded
        int currentRow = 1;
    };
    // Replays the journal file into the race and goes on writing it after
    // its last line.
    Recovery Recover(const QString& fileName);

private:
    void onCommand(const race::CommandRecord& record);
    void onTableChange(const race::TableRecord& record);
    void beforeCommand(int currentRow);
    void record(race::JournalEntry entry, const QString& digest = QString());

    race::Race& m_race;
    race::RaceJournal m_journal;
    // The race as it stood before a command that may be its first START:
    // the line the journal begins with, and its digest.
    std::optional<std::pair<race::JournalEntry, QString>> m_pendingState;
    QList<QPair<QString, QString>> m_barrierEdge;
    bool m_beginFailed = false; // told once
};
