#pragma once

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

    std::function<void(TMessageTimer* sender)> OnTimer;

private:
    QTimer m_timer;
    int m_interval;
};
