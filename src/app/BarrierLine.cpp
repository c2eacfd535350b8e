// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/BarrierLine.h"

#include "comm/Comms.h"
#include "controls/MessageTimer.h"
#include "dialogs/Cfg.h"
#include "race/LightBarriers.h"

#include <algorithm>

namespace {

constexpr int kReconnectMs = 500; // how often a chosen port that is away is tried
constexpr int kLongestWatcherRetryMs = 30000;
// After a watcher ended, a reopened line is shown connected once its new
// watcher has lasted this long: one that ends at once (a driver that cannot
// tell the lines at all) must not make the header blink.
constexpr int kWatcherProvenMs = 1000;

QString reasonText(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

} // namespace

BarrierLine::BarrierLine(TComPort& port, race::LightBarriers& barriers, QObject* parent)
    : QObject(parent)
    , m_port(port)
    , m_barriers(barriers)
    , m_reconnect(new TMessageTimer(this, kReconnectMs, false))
    , m_proving(new TMessageTimer(this, kWatcherProvenMs, false))
{
    m_reconnect->OnTimer = [this](TMessageTimer*) { tryReconnect(); };
    m_proving->OnTimer = [this](TMessageTimer*) {
        m_proving->SetEnabled(false);
        if (m_port.Connected() && m_port.WatcherRunning() && std::exchange(m_disconnected, false) && OnStateChanged)
            OnStateChanged();
    };
}

QString BarrierLine::PortName() const
{
    platform::SerialPortInfo device = m_port.Device();
    if (device.number != m_port.Port()) // never opened: only its stable path is known
        device = platform::SerialPortInfo { m_port.Port(), QString(), m_port.StablePath() };
    QString name = QStringLiteral("COM") + QString::number(m_port.Port());
    if (!device.DeviceName().isEmpty())
        name += QStringLiteral(" – ") + device.DeviceName();
    return name;
}

QString BarrierLine::ToolTip() const
{
    if (m_port.Port() == 0)
        return QString();
    QString text = QStringLiteral("<p>Lichtschranke: %1</p>").arg(PortName().toHtmlEscaped());
    if (!m_port.Connected())
        return text + QStringLiteral("<p>nicht verbunden</p>");
    const platform::SerialAdapter adapter = m_port.Adapter();
    const QString line = TCfgDialog::AdapterLine(adapter);
    if (!line.isEmpty())
        text += QStringLiteral("<p>%1</p>").arg(line.toHtmlEscaped());
    for (const QString& warning : TCfgDialog::AdapterWarnings(adapter))
        text += QStringLiteral("<p style=\"color:red\">%1</p>").arg(warning.toHtmlEscaped());
    return text;
}

QString BarrierLine::StateText() const
{
    return m_disconnected ? QStringLiteral("Lichtschranke getrennt\n") + PortName() : QString();
}

void BarrierLine::Open()
{
    m_watcherEnds = 0;
    try {
        m_port.Open();
    } catch (const std::exception& e) {
        showDisconnected(reasonText(e));
        watchFor(kReconnectMs);
        throw;
    }
}

void BarrierLine::Opened()
{
    m_reconnect->SetEnabled(false);
    m_barriers.LevelsUnknown();
    if (m_disconnected && m_watcherEnds > 0) {
        m_proving->SetEnabled(true);
        return;
    }
    if (std::exchange(m_disconnected, false) && OnStateChanged)
        OnStateChanged();
}

QString BarrierLine::Lost(int error)
{
    // Keys and buttons go on timing, and the port is opened again as soon as
    // it is back.
    const QString why = QStringLiteral("Die Lichtschranke an %1 ist nicht mehr verbunden (Fehler %2).\n"
                                       "Tasten und Knöpfe messen weiter; sobald das Gerät wieder angeschlossen "
                                       "ist, wird es von selbst wieder geöffnet.")
                            .arg(PortName())
                            .arg(error);
    showDisconnected(why);
    watchFor(kReconnectMs);
    return why;
}

void BarrierLine::WatcherEnded(int error)
{
    if (!m_port.Connected() || m_port.WatcherRunning())
        return;
    ++m_watcherEnds;
    m_proving->SetEnabled(false);
    // Closed, so the indicators go and the header shows it; the reason stays
    // with the header until the port is open again.
    const QString why = QStringLiteral("Die Leitungen der Lichtschranke an %1 werden nicht mehr beobachtet: Der "
                                       "Treiber meldet sie nicht mehr (Fehler %2).\n"
                                       "Tasten und Knöpfe messen weiter; der Anschluss wird von selbst neu geöffnet.")
                            .arg(PortName())
                            .arg(error);
    m_port.Close();
    showDisconnected(why);
    watchFor(std::min(kLongestWatcherRetryMs, kReconnectMs << std::min(m_watcherEnds - 1, 6)));
}

void BarrierLine::Forget()
{
    m_watcherEnds = 0;
    m_proving->SetEnabled(false);
    m_reconnect->SetEnabled(false);
    if (std::exchange(m_disconnected, false) && OnStateChanged)
        OnStateChanged();
}

void BarrierLine::watchFor(int intervalMs)
{
    m_reconnect->SetEnabled(false);
    m_reconnect->SetInterval(intervalMs);
    m_reconnect->SetEnabled(true);
}

void BarrierLine::showDisconnected(const QString& why)
{
    m_disconnected = true;
    m_why = why;
    if (OnStateChanged)
        OnStateChanged();
}

void BarrierLine::tryReconnect()
{
    if (m_port.Connected() || m_port.Port() == 0) {
        m_reconnect->SetEnabled(false);
        return;
    }
    try {
        m_port.Open(); // OnOpen ends the watching and the disconnected state
    } catch (const std::exception& e) {
        // Still away (or busy, or not allowed): keep watching, say why.
        m_why = reasonText(e);
        if (OnStateChanged)
            OnStateChanged();
    }
}
