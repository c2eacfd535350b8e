// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Tick.h"
#include "race/Race.h"

#include <cstdint>
#include <functional>

namespace race {

// The modem-status bits the barriers are wired to: the start barrier to
// DSR, the stop barrier to CTS.
constexpr std::uint32_t kModemCts = 0x10;
constexpr std::uint32_t kModemDsr = 0x20;

// What the barrier algorithm (0 "Ein", 1 "Aus") asks of a modem-status
// word: STOPP, START or both (STOPP first). "Aus" asks nothing while both
// lines are up; any other algorithm asks nothing at all.
struct BarrierRequests {
    bool stop = false;
    bool start = false;
};
BarrierRequests DecideBarrier(int algorithm, std::uint32_t status);

// What became of one line change or impulse.
struct BarrierStep {
    // The race was asked (a change of the levels, or an impulse); otherwise
    // only lockouts that were over by the edge may have ended.
    bool asked = false;
    // Something the window shows may have changed.
    bool changed = false;
    BarrierResult result; // the outcomes when asked; the view either way
    // A row was written: a start or a stop.
    bool Wrote() const { return result.stop == Outcome::Stopped || result.start == Outcome::Started; }
};

// The light barriers: the one place that decides what a change of the
// barrier lines means for the race. Each change is judged once, in the order
// of its edge: one that leaves the levels as they were asks nothing but ends
// the lockouts that were over by its edge; any other asks the algorithm and
// hands the race its requests with the edge's stamp (the race applies the
// locks and lockouts). The window only wires the port to it.
class LightBarriers final {
public:
    explicit LightBarriers(Race& race);
    LightBarriers(const LightBarriers&) = delete;
    LightBarriers& operator=(const LightBarriers&) = delete;

    // 0 "Ein", 1 "Aus"; a negative value (an administrator's lock of the
    // port list) leaves the barriers without a command.
    int Algorithm() const { return m_algorithm; }
    void SetAlgorithm(int algorithm) { m_algorithm = algorithm; }

    // The levels of the last change judged; unknown at first and after the
    // line was away.
    std::uint32_t Levels() const { return m_levels; }
    // The line was (re)opened: its first change is judged afresh, not
    // against the levels it had before.
    void LevelsUnknown() { m_levels = kUnknownLevels; }

    // Called before the race is asked (an open in-place editor is committed
    // then), and with the lines that changed (the journal notes them).
    std::function<void()> BeforeImpulse;
    std::function<void(std::uint32_t before, std::uint32_t after)> OnEdge;

    // A change of the lines at its edge, with the row the operator selected.
    BarrierStep LineChanged(std::uint32_t levels, const platform::Stamp& stamp, int currentRow);
    // An impulse of one barrier at a stamp on this machine's tick (a timing
    // station's start or interim, mapped to the finish's clock): judged as a
    // change of that barrier's line alone would be.
    BarrierStep Impulse(Barrier barrier, const platform::Stamp& stamp, int currentRow);

private:
    BarrierStep ask(BarrierRequests requests, const platform::Stamp& stamp, int currentRow);

    // No modem-status word has these levels, so the first change counts.
    static constexpr std::uint32_t kUnknownLevels = 0x55555555;

    Race& m_race;
    int m_algorithm = 0;
    std::uint32_t m_levels = kUnknownLevels;
};

} // namespace race
