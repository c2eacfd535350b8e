// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/SerialDevice.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class TComPort;
class TMessageTimer;
namespace race {
class LightBarriers;
}

// The light-barrier line: the chosen serial port and its connection (what
// its changes mean is the light barriers' to decide). A chosen port that
// cannot be opened, whose adapter is pulled out or whose watcher has ended,
// is shown as disconnected and opened again as soon as it can be.
class BarrierLine final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BarrierLine)
public:
    // The barriers learn when the line was away (their levels are unknown).
    BarrierLine(TComPort& port, race::LightBarriers& barriers, QObject* parent = nullptr);

    // The connection's state changed (Disconnected, StateText, StateTip).
    std::function<void()> OnStateChanged;

    // A change arrived: the port's watcher works.
    void Changed() { m_watcherEnds = 0; }

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
    race::LightBarriers& m_barriers;
    TMessageTimer* m_reconnect;
    TMessageTimer* m_proving; // a watcher that ended before: is the new one lasting?
    bool m_disconnected = false;
    QString m_why;
    // Watchers that ended since a change last arrived.
    int m_watcherEnds = 0;
};
