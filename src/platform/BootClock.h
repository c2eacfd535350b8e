// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace platform {

// The boot the program runs in, as the kernel names it
// (/proc/sys/kernel/random/boot_id): new at every start of the machine, so
// a tick of another boot is known for one. Empty when the system does not
// say.
QString BootId();

// The wall clock: milliseconds since 1970-01-01 UTC. Unlike the tick it
// goes on while the machine is off, and it can be set back or forward.
std::int64_t WallClockMs();

// Test programs put another boot or another clock in place; an empty
// function brings the system's back. Set them before the program reads
// them, on the thread that reads them.
void SetBootIdSource(std::function<QString()> source);
void SetWallClockSource(std::function<std::int64_t()> source);

} // namespace platform
