// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Tick.h"
#include "stations/Impulse.h"

#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

// The finish's impulses and the stations' in one order, the order of their
// times rather than of their arrival. Everything is in the finish's wall
// clock (ns); the caller maps a station's time with its measured offset
// (MapToFinish) and says what the time is now.
//
// An impulse waits until every start station that holds the line has
// confirmed its stream up to the impulse's time (its heartbeat), or until it
// has waited the limit. A station impulse that comes with a time before an
// impulse already released is not applied but listed as late: the official
// assigns it, nothing is guessed.
namespace stations {

// The finish's tick and wall clock of one moment, so a time of day becomes a
// tick the race can use.
struct TickWallPair {
    platform::Tick tick = 0;
    std::int64_t wallNs = 0;
    static TickWallPair Now();
};

struct FinishTime {
    std::int64_t wallNs = 0;
    platform::Tick tick = 0;
};

// A station's time of day on the finish's clock and tick: station time minus
// offset, then through the pair (the tick counts milliseconds; the rest is
// rounded).
FinishTime MapToFinish(std::int64_t stationNs, std::int64_t offsetNs, const TickWallPair& pair);

struct MergedImpulse {
    bool fromStation = false;
    Impulse station; // when fromStation
    std::uint64_t finishId = 0; // the caller's number of a finish impulse
    FinishTime at;
    std::int64_t arrivedNs = 0;
    bool waitedOut = false; // released by the limit, not by the heartbeats
};

class Merge final {
public:
    explicit Merge(std::int64_t limitNs = 30'000'000'000);

    // Whether a station's confirmation is awaited. A start station holds the
    // line from its first word (impulse or heartbeat) until the caller takes
    // it out of the race; while its link is down it still holds, for at most
    // the limit, because that is when its starts can be missing.
    void SetHolding(Role role, bool holding);
    bool Holding(Role role) const { return m_holding[int(role)]; }
    // The station's stream is complete up to this finish time.
    void Confirm(Role role, std::int64_t finishNs);

    void AddStation(const Impulse& impulse, FinishTime at, std::int64_t nowNs);
    void AddFinish(std::uint64_t finishId, FinishTime at, std::int64_t nowNs);

    // What may be applied now, in the order of time.
    std::vector<MergedImpulse> Release(std::int64_t nowNs);
    // Station impulses that came after a later one was applied.
    std::vector<MergedImpulse> TakeLate();

    // "Ziel wartet auf Station Start (2 s)" while the first in line waits;
    // empty otherwise.
    QString WaitText(std::int64_t nowNs) const;
    // When Release should be called again at the latest (the first waiting
    // impulse's limit); 0 when nothing waits.
    std::int64_t NextDeadlineNs() const;
    bool Waiting() const { return !m_queue.empty(); }

private:
    // The holding station the impulse still waits for, or -1.
    int awaited(const MergedImpulse& impulse) const;
    void insert(MergedImpulse impulse);

    std::int64_t m_limitNs;
    std::array<bool, kRoleCount> m_holding {};
    std::array<std::int64_t, kRoleCount> m_confirmed;
    std::deque<MergedImpulse> m_queue; // by time, then arrival
    std::vector<MergedImpulse> m_late;
    std::int64_t m_releasedUpTo = INT64_MIN;
};

} // namespace stations
