#include "controls/MessageTimer.h"

TMessageTimer::TMessageTimer(QObject* parent, int interval, bool enabled, Qt::TimerType type)
    : QObject(parent)
    , m_interval(interval)
{
    m_timer.setTimerType(type);
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, &TMessageTimer::Fire);
    SetEnabled(enabled);
}

void TMessageTimer::SetEnabled(bool enabled)
{
    if (enabled == m_timer.isActive())
        return;
    // A timer with interval 0 never fires, as with the toolkit's message timers.
    if (enabled && m_interval > 0)
        m_timer.start(m_interval);
    else
        m_timer.stop();
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
