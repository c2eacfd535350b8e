// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/MessageTimer.h"

#include <algorithm>

TMessageTimer::TMessageTimer(QObject* parent, int interval, bool enabled, Qt::TimerType type)
    : QObject(parent)
    , m_interval(interval)
{
    m_timer.setTimerType(type);
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, &TMessageTimer::Timeout);
    SetEnabled(enabled);
}

void TMessageTimer::SetEnabled(bool enabled)
{
    if (enabled == m_timer.isActive())
        return;
    // A timer with interval 0 never fires, as with the toolkit's message timers.
    if (enabled && m_interval > 0) {
        m_armedAt = platform::GetTickCount();
        ++m_arming;
        m_timer.start(m_interval);
    } else {
        m_timer.stop();
    }
}

void TMessageTimer::Backdate(platform::Tick since)
{
    if (!m_timer.isActive())
        return;
    m_armedAt = since;
    const int remaining = m_interval - platform::TickDiff(platform::GetTickCount(), since);
    m_timer.start(std::clamp(remaining, 0, m_interval));
}

void TMessageTimer::Timeout()
{
    // After a backdated run the timer goes on with its own interval.
    if (m_timer.interval() != m_interval)
        m_timer.setInterval(m_interval);
    Fire();
}

void TMessageTimer::SetInterval(int ms)
{
    if (ms == m_interval)
        return;
    m_interval = ms;
    const bool running = m_timer.isActive();
    m_timer.stop();
    m_timer.setInterval(ms > 0 ? ms : 0);
    if (running && ms > 0)
        m_timer.start(ms);
}

void TMessageTimer::Fire()
{
    if (OnTimer)
        OnTimer(this);
}
