// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/SerialDevice.h"
#include "platform/Settings.h"
#include "race/LightBarriers.h"
#include "race/RaceSnapshot.h"
#include "stations/Impulse.h"
#include "stations/Merge.h"
#include "stations/StationLink.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace race {
class JournalRecorder;
class Race;
} // namespace race

// The finish's side of the timing stations: a link to each station the
// settings name, and the merge that puts the stations' impulses and the
// finish's own barrier changes into the order of their times before the race
// gets them. A start station's impulse is the start barrier's at the
// station's time (its clock's measured difference taken off, mapped onto this
// machine's tick); an interim station's is the interim time of the earliest
// running entry that has none from it yet. A start that arrives after a later
// impulse went into the race is listed for the official, never assigned.
// Which starts came from the start station and the entries' interim times
// are kept by the entry's number and its start's time of day (cells that
// neither STOPP nor a sort changes); they go into the journal after the
// impulse, into the file beside it and into what spectators see.
//
// How far each station's impulses went into the race is kept twice: in the
// race journal (each station impulse's line names station and number, for a
// recovery) and in a small file beside it (for an ordinary restart).
class StationsAtFinish final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationsAtFinish)
public:
    StationsAtFinish(race::Race& race, race::LightBarriers& barriers, race::JournalRecorder* journal, QString stateFile,
        QObject* parent = nullptr);
    ~StationsAtFinish() override;

    // The stations of the settings; links to stations no longer named end,
    // a changed address or code starts the link anew where it was.
    void Configure(const settings::Stations& stations, stations::LinkOptions options = {});
    bool Active() const { return !m_links.empty(); }
    // How long a finish impulse waits for the start station at most.
    void SetWaitLimitNs(std::int64_t limitNs);

    // The finish's own barrier line: while a start station takes part its
    // changes wait in the merge; `Apply` gets them back in time order.
    bool Holds() const;
    void AddFinishLine(const platform::LineEvent& change);

    // A recovered race: its journal says how far each station's impulses
    // went into it (the numbers after those are fetched again), which starts
    // came from the start station and which interim times entries have.
    void ResumeFromJournal(const QString& journalFile);
    std::uint64_t Applied(stations::Role role) const;

    // "Stationsdatei laden": the impulses of the file the race does not have
    // yet go the way the link's would. A German report of what happened.
    QString LoadFile(const QString& fileName);

    // Per station "Start: +2,31 ms ± 0,40 ms · verbunden · synchronisiert ..."
    // and a last line for this machine's clock; empty when no station takes part.
    QStringList HeaderLines() const;
    // Red: a clock step, or an uncertainty above half the display's resolution.
    bool Alarming(int accuracy) const;
    // "Ziel wartet auf Station Start (2 s)" while a finish impulse waits.
    QString WaitText() const;
    // Interim times of the interim stations, newest last ("Zwischenzeit 1:
    // Nr. 7 0.45,12 (10:04:05,120)").
    const QStringList& Interims() const { return m_interims; }
    // The stations taking part, and per entry where its start was taken and
    // its interim times: into a snapshot of the race (nothing without
    // stations).
    void Decorate(race::Snapshot& snapshot) const;
    // Station starts the race did not take (late, or the barrier locked),
    // with their times, for the official to enter.
    const QStringList& Unassigned() const { return m_unassigned; }

    // The window's part: the row the operator has selected, the step to
    // mirror, a finish line change to apply now, a notice for the header
    // (late starts, interim impulses nobody can have, refused lines, clock
    // steps), the header to redraw.
    std::function<int()> CurrentRow;
    std::function<void(const race::BarrierStep& step)> Mirror;
    std::function<void(const platform::LineEvent& change)> ApplyFinishLine;
    std::function<void(const QString& text, bool failure)> Notice;
    std::function<void()> OnStateChanged;
    // A start from the start station or an interim time went to an entry:
    // what spectators see of it changed.
    std::function<void()> OnMarksChanged;

private:
    struct Peer {
        std::unique_ptr<stations::StationLink> link;
        settings::StationPeer setting;
    };
    void arrived(const stations::Impulse& impulse, bool fromFile);
    void release();
    void apply(const stations::MergedImpulse& merged);
    void late(const stations::MergedImpulse& merged);
    void interim(const stations::Impulse& impulse, const platform::Stamp& stamp);
    void markStart(const stations::Impulse& impulse, const platform::Stamp& stamp);
    void noteApplied(stations::Role role, std::uint64_t sequence);
    void readState();
    void writeState();
    std::int64_t offsetOf(stations::Role role) const;

    // What the stations gave an entry, by its number and its start's time
    // of day.
    struct Marks {
        bool startAtStation = false;
        std::array<std::optional<std::int32_t>, race::kInterimStations> interimMs {};
    };

    race::Race& m_race;
    race::LightBarriers& m_barriers;
    race::JournalRecorder* m_journal;
    QString m_stateFile;
    stations::Merge m_merge;
    std::map<int, Peer> m_links; // by role
    std::array<std::uint64_t, stations::kRoleCount> m_applied {};
    std::uint64_t m_nextFinishId = 1;
    std::map<std::uint64_t, platform::LineEvent> m_finishLines;
    QTimer m_release;
    QStringList m_interims;
    std::deque<stations::Impulse> m_early; // arrived before their station's offset was known
    std::map<QString, Marks> m_marks;
    QStringList m_unassigned;
    QString m_lastWait;
};
