// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "stations/Merge.h"

#include "platform/WallClock.h"

#include <algorithm>
#include <cmath>

namespace stations {

TickWallPair TickWallPair::Now()
{
    // The wall clock between two reads of the tick: when both ticks agree,
    // the pair is of one millisecond.
    for (;;) {
        const platform::Tick before = platform::GetTickCount();
        const std::int64_t wall = platform::WallClockNs();
        if (platform::GetTickCount() == before)
            return { before, wall };
    }
}

FinishTime MapToFinish(std::int64_t stationNs, std::int64_t offsetNs, const TickWallPair& pair)
{
    const std::int64_t finishNs = stationNs - offsetNs;
    const double ms = double(finishNs - pair.wallNs) / 1e6;
    const auto tick = static_cast<platform::Tick>(
        static_cast<std::uint32_t>(pair.tick) + static_cast<std::uint32_t>(std::llround(ms)));
    return { finishNs, tick };
}

Merge::Merge(std::int64_t limitNs)
    : m_limitNs(limitNs)
{
    m_confirmed.fill(INT64_MIN);
}

void Merge::SetHolding(Role role, bool holding)
{
    m_holding[int(role)] = holding && role == Role::Start;
}

void Merge::Confirm(Role role, std::int64_t finishNs)
{
    auto& confirmed = m_confirmed[int(role)];
    confirmed = std::max(confirmed, finishNs);
    if (role == Role::Start)
        m_holding[int(role)] = true;
}

void Merge::insert(MergedImpulse impulse)
{
    const auto at = std::upper_bound(m_queue.begin(), m_queue.end(), impulse.at.wallNs,
        [](std::int64_t t, const MergedImpulse& queued) { return t < queued.at.wallNs; });
    m_queue.insert(at, std::move(impulse));
}

void Merge::AddStation(const Impulse& impulse, FinishTime at, std::int64_t nowNs)
{
    MergedImpulse merged;
    merged.fromStation = true;
    merged.station = impulse;
    merged.at = at;
    merged.arrivedNs = nowNs;
    // Its own stream is complete up to it: it comes in order.
    Confirm(impulse.role, at.wallNs);
    if (at.wallNs < m_releasedUpTo) {
        m_late.push_back(merged);
        return;
    }
    insert(std::move(merged));
}

void Merge::AddFinish(std::uint64_t finishId, FinishTime at, std::int64_t nowNs)
{
    MergedImpulse merged;
    merged.finishId = finishId;
    merged.at = at;
    merged.arrivedNs = nowNs;
    insert(std::move(merged));
}

int Merge::awaited(const MergedImpulse& impulse) const
{
    for (int role = 0; role < kRoleCount; ++role) {
        if (!m_holding[role] || (impulse.fromStation && int(impulse.station.role) == role))
            continue;
        if (m_confirmed[role] < impulse.at.wallNs)
            return role;
    }
    return -1;
}

std::vector<MergedImpulse> Merge::Release(std::int64_t nowNs)
{
    std::vector<MergedImpulse> released;
    while (!m_queue.empty()) {
        MergedImpulse& first = m_queue.front();
        if (awaited(first) >= 0) {
            if (nowNs - first.arrivedNs < m_limitNs)
                break;
            first.waitedOut = true;
        }
        m_releasedUpTo = std::max(m_releasedUpTo, first.at.wallNs);
        released.push_back(std::move(first));
        m_queue.pop_front();
    }
    return released;
}

std::vector<MergedImpulse> Merge::TakeLate()
{
    return std::exchange(m_late, {});
}

QString Merge::WaitText(std::int64_t nowNs) const
{
    if (m_queue.empty())
        return {};
    const int role = awaited(m_queue.front());
    if (role < 0)
        return {};
    const auto& first = m_queue.front();
    const QString who = first.fromStation ? QStringLiteral("Station %1").arg(RoleCaption(first.station.role))
                                          : QStringLiteral("Ziel");
    const std::int64_t seconds = std::max<std::int64_t>(0, nowNs - first.arrivedNs) / 1'000'000'000;
    return QStringLiteral("%1 wartet auf Station %2 (%3 s)")
        .arg(who, RoleCaption(static_cast<Role>(role)))
        .arg(seconds);
}

std::int64_t Merge::NextDeadlineNs() const
{
    return m_queue.empty() ? 0 : m_queue.front().arrivedNs + m_limitNs;
}

} // namespace stations
