// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Tick.h"

#include <QObject>
#include <QTimer>

#include <functional>

// A timer of the GUI thread with the semantics the race logic relies on:
// enabling a running timer does not restart it, disabling stops it, and a
// new interval takes effect from the next start. Fires OnTimer(Sender).
class TMessageTimer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMessageTimer)
public:
    explicit TMessageTimer(
        QObject* parent = nullptr, int interval = 1000, bool enabled = true, Qt::TimerType type = Qt::CoarseTimer);

    bool Enabled() const { return m_timer.isActive(); }
    void SetEnabled(bool enabled);
    int Interval() const { return m_interval; }
    void SetInterval(int ms);

    // Fires the timer's handler as if the interval had run out (tests).
    void Fire();

    // The tick at which the running timer was enabled (or the tick it was
    // backdated to), and how many times it has been enabled: a handler can
    // tell whether the timer it looks at is still the same run.
    platform::Tick ArmedAt() const { return m_armedAt; }
    int Arming() const { return m_arming; }
    // The running timer counts from the given earlier tick instead: it runs
    // out that much sooner (at once when that is past).
    void Backdate(platform::Tick since);

    std::function<void(TMessageTimer* sender)> OnTimer;

private:
    void Timeout();

    QTimer m_timer;
    int m_interval;
    platform::Tick m_armedAt = 0;
    int m_arming = 0;
};
