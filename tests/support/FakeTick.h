#pragma once

#include "platform/Tick.h"

namespace platform {

// A tick that moves only when told to.
class FakeTickSource final : public TickSource {
public:
    explicit FakeTickSource(Tick start = 1000)
        : m_now(start)
    {
    }
    Tick now() override { return m_now; }
    void set(Tick t) { m_now = t; }
    void advance(std::int32_t ms) { m_now = TickDiff(m_now, -ms); }

private:
    Tick m_now;
};

} // namespace platform
