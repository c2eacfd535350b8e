// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/LightBarriers.h"

namespace race {

BarrierRequests DecideBarrier(int algorithm, std::uint32_t status)
{
    const bool cts = status & kModemCts;
    const bool dsr = status & kModemDsr;
    BarrierRequests r;
    if (algorithm == 0) {
        r.stop = cts;
        r.start = dsr;
    } else if (algorithm == 1 && !(cts && dsr)) {
        r.stop = cts;
        r.start = dsr;
    }
    return r;
}

LightBarriers::LightBarriers(Race& race)
    : m_race(race)
{
}

BarrierStep LightBarriers::LineChanged(std::uint32_t levels, const platform::Stamp& stamp, int currentRow)
{
    const std::uint32_t before = m_levels;
    if (levels == before) {
        // A lockout may still have ended by this edge.
        BarrierStep step;
        step.changed = m_race.CatchUpLockouts(stamp.tick, currentRow);
        step.result.view = m_race.View();
        return step;
    }
    m_levels = levels;
    if (OnEdge)
        OnEdge(before, levels);
    return ask(DecideBarrier(m_algorithm, levels), stamp, currentRow);
}

BarrierStep LightBarriers::Impulse(Barrier barrier, const platform::Stamp& stamp, int currentRow)
{
    const std::uint32_t line = barrier == Barrier::Start ? kModemDsr : kModemCts;
    return ask(DecideBarrier(m_algorithm, line), stamp, currentRow);
}

BarrierStep LightBarriers::ask(BarrierRequests requests, const platform::Stamp& stamp, int currentRow)
{
    if (BeforeImpulse)
        BeforeImpulse();
    BarrierStep step;
    step.asked = true;
    step.changed = true;
    step.result = m_race.BarrierImpulse(requests.stop, requests.start, currentRow, stamp);
    return step;
}

} // namespace race
