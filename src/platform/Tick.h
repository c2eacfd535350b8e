// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QTime>

#include <cstdint>

namespace platform {

// A millisecond tick that keeps counting through a suspend, held as 32-bit
// signed like an uptime tick. Run times are differences of two ticks taken
// modulo 2^32, so they stay right across a wrap of the counter.
using Tick = std::int32_t;

class TickSource {
public:
    virtual ~TickSource() = default;
    virtual Tick now() = 0;
};

// Reads the tick through the installed source (the system clock by default).
Tick GetTickCount();

// Replaces the tick source; nullptr puts the system clock back. The caller
// keeps ownership. Tests install a fake tick.
void SetTickSource(TickSource* source);

// Difference a - b modulo 2^32, as 32-bit signed.
inline std::int32_t TickDiff(Tick a, Tick b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// When something happened: the tick (what run times are made of) and the
// local time of day (what the "Start" column and the interim list show).
// Keys and buttons take it when their command runs; a light barrier's edge
// carries the one taken when the line changed.
struct Stamp {
    Tick tick = 0;
    QTime timeOfDay;
    static Stamp Now() { return { GetTickCount(), QTime::currentTime() }; }
};

// The milliseconds of CLOCK_BOOTTIME, truncated to 32 bits.
class SystemTickSource final : public TickSource {
public:
    Tick now() override;
};

} // namespace platform
