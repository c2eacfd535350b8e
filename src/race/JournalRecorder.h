// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "race/Journal.h"
#include "race/JournalEvents.h"
#include "race/JournalRecovery.h"
#include "race/JournalStore.h"
#include "race/Race.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

namespace race {

// Records the race into its journal: every command with its outcome, every
// change of the table, and the barrier impulses with their lines. The
// journal begins with the race's first START (after start-up or reset) and
// a line noting the race as it stood before it, or with a loaded table that
// has entries on course, or with a race taken back after a crash; a reset
// ends it. After an unclean end the next start replays it.
class JournalRecorder final {
public:
    JournalRecorder(Race& race, const QString& folder, const QString& title);
    ~JournalRecorder();
    JournalRecorder(const JournalRecorder&) = delete;
    JournalRecorder& operator=(const JournalRecorder&) = delete;

    RaceJournal& File() { return m_journal; }

    // The barrier line's port and algorithm, for the lines that note them.
    std::function<std::pair<int, int>()> PortAndAlgorithm;
    // Called before each line is handed to the writer, with its sequence
    // number and the digest of the race after that event.
    std::function<void(std::uint64_t seq, const QString& digest)> OnJournalEvent;
    // The notice may have changed. Called on the writer's thread when the
    // disk starts or stops refusing lines: the caller moves to its own.
    std::function<void()> OnNoticeChanged;

    // The lines of the barrier impulse that comes next: its modem status
    // before and after the change.
    void NoteBarrierEdge(std::uint32_t before, std::uint32_t after);
    // The barrier impulse that comes next is a timing station's: its name
    // ("Start", "Zwischen1" ...) and sequence number, so a recovery knows
    // which of its impulses the race has.
    void NoteStationImpulse(const QString& station, std::uint64_t sequence);
    // A timing station's clock jumped by a step (its offsets before and
    // after, ns), noted when a journal is open.
    void NoteClockStep(const QString& station, std::int64_t fromNs, std::int64_t toNs);
    // A timing station's impulse became an entry's start or interim time:
    // the station, its sequence number, the impulse's stamp, the entry (its
    // number and its start's time of day) and, for an interim time, the run
    // time at the station.
    void NoteStationTime(const QString& station, std::uint64_t sequence, const platform::Stamp& stamp,
        const QString& number, const QString& start, std::optional<std::int32_t> ms);

    // What the header bar shows of the journal: nothing while it is written,
    // a notice while the disk refuses its lines or no journal can be kept,
    // with the reason; the tooltip says what is not yet on the disk. Timing
    // goes on either way.
    struct Notice {
        bool shown = false;
        QString text; // two lines: what, and why
        QString tip;
    };
    Notice WriteNotice() const;

    // What a recovery made of a journal file.
    struct Recovery {
        bool read = false; // false: the file could not be read (reason says why)
        QString reason;
        JournalRecovery result;
    };
    // Replays the journal file into the race and carries its ticks into
    // this boot (see RecoverJournal). The race goes on in a new
    // journal whose first lines name the old one and note the race as it
    // stands; the old file is left as it is.
    Recovery Recover(const QString& fileName);
    // The session the recovered race came from is forgotten as soon as the
    // new journal is on the disk: until then a crash finds the old one.
    void ForgetOnceDurable(SessionClaim claim);

private:
    void onCommand(const CommandRecord& record);
    void onTableChange(const TableRecord& record);
    void beforeCommand(int currentRow);
    void record(JournalEntry entry, const QString& digest = QString());
    bool begin(const platform::Stamp& stamp, const QList<QPair<QString, QString>>& fields);
    // Begins a journal with the race as it stands.
    void beginWithSnapshot(const QList<QPair<QString, QString>>& fields);
    JournalEntry stateEntry(int currentRow) const;
    void forgetRecoveredSession();
    void noticeChanged() const;

    Race& m_race;
    RaceJournal m_journal;
    // The race as it stood before a command that may be its first START:
    // the line the journal begins with, and its digest.
    std::optional<std::pair<JournalEntry, QString>> m_pendingState;
    QList<QPair<QString, QString>> m_barrierEdge;
    QString m_noJournal; // why no journal can be kept
    SessionClaim m_recoveredFrom;
    std::uint64_t m_snapshotSeq = 0; // the new journal's line that holds the recovered race
};

} // namespace race
