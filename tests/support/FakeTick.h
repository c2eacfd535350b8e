// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Tick.h"

#include <atomic>

namespace platform {

// A tick that moves only when told to. The watcher thread reads it while the
// test moves it, hence atomic.
class FakeTickSource final : public TickSource {
public:
    explicit FakeTickSource(Tick start = 1000)
        : m_now(start)
    {
    }
    Tick now() override { return m_now.load(); }
    void set(Tick t) { m_now.store(t); }
    void advance(std::int32_t ms) { m_now.store(TickDiff(m_now.load(), -ms)); }

private:
    std::atomic<Tick> m_now;
};

} // namespace platform
