// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "race/JournalLine.h"
#include "race/Race.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace race {

// The machine as a recovery finds it: the boot it runs in, its tick and its
// wall clock, read at one moment.
struct ClockNow {
    QString boot;
    platform::Tick tick = 0;
    std::int64_t wall = 0;
    static ClockNow Read();
};

// A wall clock further from the journal's last event than this has been set
// (or has lost its time while the machine was off): it cannot tell how long
// the machine was off.
constexpr std::int64_t kPlausibleGapMs = 24LL * 60 * 60 * 1000;

// A wall clock set by more than this since the journal's last event (in the
// same boot) is named in the recovery question: the ticks still hold, but the
// start times written from now on follow the new clock.
constexpr std::int64_t kClockSetNamedMs = 60 * 1000;

// How the ticks of a recovered journal go on in this boot.
enum class TickMapping {
    SameBoot, // the tick counter went on: the ticks hold as they are
    WallClock, // another boot: carried over through the wall clock, the time the machine was off counts
    ClockBackwards, // another boot, and the wall clock is behind the journal's last event
    ClockJumped, // another boot, and the wall clock more than a day after it (or unknown)
};

// What taking back a journal made of the race, or would make of it.
struct JournalRecovery {
    int used = 0; // events replayed
    std::uint64_t lastSeq = 0; // the last of them, and its time of day
    QTime lastTime;
    QString stop; // why the events after it cannot be used; empty when all could be
    QList<UnusedLine> unused; // those events
    int disagreeing = 0; // events that did not turn out as recorded

    TickMapping mapping = TickMapping::SameBoot;
    std::int64_t gapMs = 0; // on the wall clock, from the journal's last event to now
    std::int32_t shift = 0; // what was added to every tick the race holds
    // In the same boot: how far the wall clock was set between the journal's
    // last event and now (negative: back), beyond what the tick counter ran;
    // 0 when that is no more than kClockSetNamedMs either way.
    std::int64_t clockSetMs = 0;
    QStringList runners; // the entries running without a status, as the official knows them

    QDate day; // the day the journal began
    QString startTime; // the time of day of the race's first start
    int entries = 0; // entry rows with a number, a name or a start
};

// Replays the usable lines of the journal into the race (up to the first
// damaged line, gap, unknown kind or later format), then carries the race's
// ticks into this boot. In the boot the journal was written in they hold as
// they are. In another boot a tick is mapped through the wall clock (its
// event's wall clock time, on this boot's tick counter), so the entries on
// course have run on while the machine was off, as a stopwatch would have;
// run times already taken are durations and never change. A wall clock that
// went back, or forward by more than a day, cannot say how long that was:
// the entries on course run on from the journal's last event, without the
// time the machine was off, and `runners` names them for the official.
JournalRecovery RecoverJournal(Race& race, const JournalContents& contents, const ClockNow& now);

// The same on a race of its own, with the given settings to begin with:
// what the recovery question tells the official before anything changes.
JournalRecovery PreviewJournal(const JournalContents& contents, const ClockNow& now, const RaceSettings& settings);

// Adds `shift` (modulo 2^32) to every tick the race holds: the start ticks
// of the entries on course, the first and the latest start, the lockouts'
// ends, the interim times and the stops the race wrote. The view is made anew for the row.
void ShiftRaceTicks(Race& race, std::int32_t shift, int currentRow);

} // namespace race
