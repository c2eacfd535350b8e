// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/Tick.h"

#include <atomic>
#include <ctime>

namespace platform {

namespace {
SystemTickSource g_system;
std::atomic<TickSource*> g_source { &g_system };
} // namespace

Tick SystemTickSource::now()
{
    timespec ts {};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<Tick>(static_cast<std::uint32_t>(ms));
}

Tick GetTickCount()
{
    return g_source.load(std::memory_order_acquire)->now();
}

void SetTickSource(TickSource* source)
{
    g_source.store(source ? source : &g_system, std::memory_order_release);
}

} // namespace platform
