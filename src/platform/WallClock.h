// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstdint>

namespace platform {

// The time of day in nanoseconds since 1970-01-01 UTC (CLOCK_REALTIME), as
// one station tells another when something happened. A test shifts it to
// make one program's clock run ahead of another's on the same machine.
std::int64_t WallClockNs();
void SetWallClockShiftNs(std::int64_t shift);
std::int64_t WallClockShiftNs();

// What the kernel knows of its own clock (adjtimex): whether an NTP client
// such as chrony disciplines it, and the errors the client last reported.
struct KernelClockState {
    bool known = false; // the kernel answered
    bool synchronised = false;
    std::int64_t maxErrorUs = 0;
    std::int64_t estErrorUs = 0;
};
KernelClockState ReadKernelClock();

// "synchronisiert, max. Fehler 12 ms", "nicht synchronisiert", "unbekannt".
QString DescribeKernelClock(const KernelClockState& state);

} // namespace platform
