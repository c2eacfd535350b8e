// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/WallClock.h"
#include "stations/Impulse.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <optional>

// How far a station's clock is from the finish's, from exchanges of four
// time stamps as NTP makes them: the finish sends at t1, the station
// receives at t2 and answers at t3, the finish receives at t4 (t1, t4 on the
// finish's clock, t2, t3 on the station's).
//
//   offset = ((t2 - t1) + (t3 - t4)) / 2     station minus finish
//   delay  = (t4 - t1) - (t3 - t2)            the round trip on the wire
//
// Whatever way the delay splits between the two directions, the true offset
// lies within offset ± delay / 2, that is between t3 - t4 and t2 - t1
// (clocks drifting apart widen that by the drift since). The estimate is the
// middle of where the intervals of the sliding window's samples overlap; a
// new sample whose interval lies outside it proves the station's clock has
// been stepped.
namespace stations {

struct ClockSample {
    std::int64_t t1 = 0;
    std::int64_t t2 = 0;
    std::int64_t t3 = 0;
    std::int64_t t4 = 0;
    std::int64_t Offset() const { return ((t2 - t1) + (t3 - t4)) / 2; }
    std::int64_t Delay() const { return (t4 - t1) - (t3 - t2); }
};

struct ClockStep {
    std::int64_t fromNs = 0;
    std::int64_t toNs = 0;
};

class ClockOffset final {
public:
    // `window` samples are kept (an exchange every 2 s: about a minute);
    // clocks are taken to drift apart by at most `driftPpm`.
    explicit ClockOffset(int window = 32, double driftPpm = 15.0);

    enum class Result { Taken, Step, Refused };
    // Refused: a sample that cannot be (a negative round trip: a clock was
    // set during the exchange). Step: the window starts again from this one.
    Result Add(const ClockSample& sample);
    std::optional<ClockStep> LastStep() const { return m_lastStep; }
    bool StepSeen() const { return m_stepSeen; }
    // The official has seen it (or the journal has it): the text goes back to
    // normal once the uncertainty allows.
    void ClearStep() { m_stepSeen = false; }

    bool Known() const { return !m_samples.empty(); }
    std::int64_t OffsetNs(std::int64_t nowNs) const;
    std::int64_t UncertaintyNs(std::int64_t nowNs) const;
    // The station's time of a moment in the finish's time, and back.
    std::int64_t ToFinish(std::int64_t stationNs, std::int64_t nowNs) const { return stationNs - OffsetNs(nowNs); }

    // The station's kernel clock state of the last answer.
    void SetStationClock(const platform::KernelClockState& state) { m_stationClock = state; }
    platform::KernelClockState StationClock() const { return m_stationClock; }

    // "Start: +2,31 ms ± 0,40 ms"; "Start: Uhrvergleich läuft" before the first
    // sample.
    QString Text(Role role, std::int64_t nowNs) const;
    // Red: the uncertainty exceeds half the display resolution, or a step
    // was seen.
    bool Alarming(std::int64_t nowNs, std::int64_t resolutionNs) const;

private:
    struct Interval {
        std::int64_t low = 0;
        std::int64_t high = 0;
    };
    Interval interval(std::int64_t nowNs) const;
    std::int64_t boundNs(const ClockSample& sample, std::int64_t nowNs) const;
    const ClockSample* best(std::int64_t nowNs) const;

    int m_window;
    double m_drift;
    std::deque<ClockSample> m_samples;
    std::optional<ClockStep> m_lastStep;
    bool m_stepSeen = false;
    platform::KernelClockState m_stationClock;
};

// "+2,31 ms" with a German decimal comma and always a sign.
QString FormatMilliseconds(std::int64_t ns, bool sign);

} // namespace stations
