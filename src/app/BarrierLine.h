// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "app/DisplayTime.h"
#include "platform/SerialDevice.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class TComPort;
class TMessageTimer;

// The light-barrier line: the chosen serial port, its changes and its
// connection. Each change of the lines is judged once, in the order of its
// edge: a change that leaves the levels as they were asks nothing; any other
// asks the barrier algorithm (kept in the port's Tag) for STOPP and START.
// A chosen port that cannot be opened, whose adapter is pulled out or whose
// watcher has ended, is shown as disconnected and opened again as soon as it
// can be.
class BarrierLine final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BarrierLine)
public:
    explicit BarrierLine(TComPort& port, QObject* parent = nullptr);

    // Every change, with the levels before it and, where they changed, what
    // the algorithm requests.
    std::function<void(const platform::LineEvent& change, std::uint32_t before, const BarrierRequests* requests)>
        OnChange;
    // The connection's state changed (Disconnected, StateText, StateTip).
    std::function<void()> OnStateChanged;

    // A change as the port delivered it.
    void Handle(const platform::LineEvent& change);
    // The levels of the last change judged; unknown (the port was away) at
    // first and after every opening.
    std::uint32_t Levels() const { return m_levels; }

    // Opens the chosen port; a failure is shown as disconnected and watched
    // for, and the exception goes on to the caller.
    void Open();
    // The port has opened (its OnOpen).
    void Opened();
    // The adapter went away (the port's OnLost): the port has closed itself.
    // Returns the operator's message.
    QString Lost(int error);
    // The port's watcher has ended with the port open (its OnWatcherEnded):
    // no change would arrive. The port is closed, shown as disconnected with
    // the reason, and opened again, each time later while the watcher keeps
    // ending (up to half a minute): every opening raises DTR and RTS anew.
    void WatcherEnded(int error);
    // Another port was chosen: the old one is no longer watched for.
    void Forget();

    bool Disconnected() const { return m_disconnected; }
    // "Lichtschranke getrennt" and the port; the tooltip says why.
    QString StateText() const;
    QString StateTip() const { return m_why; }
    // "COMn – device" of the chosen port.
    QString PortName() const;
    // The port and its adapter for the header bar's tooltip (rich text, the
    // warnings in red); empty without a port.
    QString ToolTip() const;

    // The reconnect timer, for tests.
    TMessageTimer* ReconnectTimer() const { return m_reconnect; }

private:
    void showDisconnected(const QString& why);
    void tryReconnect();
    void watchFor(int intervalMs);

    TComPort& m_port;
    TMessageTimer* m_reconnect;
    TMessageTimer* m_proving; // a watcher that ended before: is the new one lasting?
    // No modem-status word has these levels, so the first change counts.
    static constexpr std::uint32_t kUnknownLevels = 0x55555555;
    std::uint32_t m_levels = kUnknownLevels;
    bool m_disconnected = false;
    QString m_why;
    // Watchers that ended since a change last arrived.
    int m_watcherEnds = 0;
};
