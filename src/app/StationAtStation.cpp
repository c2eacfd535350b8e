// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/StationAtStation.h"

#include "platform/BootClock.h"
#include "stations/StationFile.h"

#include <QHostAddress>

#include <algorithm>

namespace {

// How soon a disk that refused an impulse is asked again.
constexpr int kRetryMs = 500;

} // namespace

StationAtStation::StationAtStation(stations::Role role, const QString& code, const QString& storeFile, QObject* parent)
    : QObject(parent)
    , m_role(role)
    , m_code(code)
    , m_store(storeFile, role)
    , m_bootId(platform::BootId())
{
    m_retry.setInterval(kRetryMs);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { store(); });
}

StationAtStation::~StationAtStation() = default;

bool StationAtStation::Start(quint16 port, QString* reason)
{
    QString why;
    const bool opened = m_store.Open(&why);
    m_server = std::make_unique<stations::StationServer>(m_role, m_code);
    connect(m_server.get(), &stations::StationServer::Streams, this, [this](int count) {
        m_streams = count;
        changed();
    });
    connect(m_server.get(), &stations::StationServer::Acknowledged, this, [this](quint64 applied) {
        const std::uint64_t has = std::min<std::uint64_t>(applied, m_store.LastSequence());
        if (has != m_finishHas) {
            m_finishHas = has;
            changed();
        }
    });
    connect(m_server.get(), &stations::StationServer::Refused, this, [this](const QString& text) {
        if (Notice)
            Notice(text, true);
    });
    m_server->Offer(m_store.Impulses());
    // Every address: the finish reaches the station over whatever network
    // joins them.
    QString listenWhy;
    const bool listening = m_server->Listen(QHostAddress::Any, port, &listenWhy);
    if (!opened && reason)
        *reason = QStringLiteral("Impulsdatei %1 nicht lesbar: %2").arg(m_store.FileName(), why);
    else if (!listening && reason)
        *reason = QStringLiteral("Port %1 für das Ziel nicht offen: %2").arg(port).arg(listenWhy);
    changed();
    return opened && listening;
}

quint16 StationAtStation::Port() const
{
    return m_server ? m_server->Port() : 0;
}

void StationAtStation::Take(platform::Tick tick, std::int64_t wallNs, stations::ImpulseKind kind)
{
    // The finish hears of the edge at once, so its heartbeats do not confirm
    // past it before it is on the disk.
    if (m_server)
        m_server->Stamped(wallNs);
    m_waiting.push_back({ tick, wallNs, kind });
    store();
}

void StationAtStation::store()
{
    while (!m_waiting.empty()) {
        const Stamped& next = m_waiting.front();
        QString reason;
        const std::optional<stations::Impulse> kept
            = m_store.Append(next.tick, next.wallNs, m_bootId, next.kind, &reason);
        if (!kept) {
            if (Notice)
                Notice(
                    QStringLiteral("Impuls nicht gespeichert, wird wiederholt: %1\n%2").arg(m_store.FileName(), reason),
                    true);
            m_retry.start();
            changed();
            return;
        }
        if (m_server)
            m_server->Offer(*kept);
        m_waiting.pop_front();
    }
    changed();
}

QString StationAtStation::LinkText() const
{
    const std::uint64_t last = m_store.LastSequence();
    QString text = m_streams > 0 ? QStringLiteral("Ziel verbunden") : QStringLiteral("Ziel nicht verbunden");
    if (last > m_finishHas)
        text += QStringLiteral(", %1 Impuls(e) noch nicht im Ziel").arg(last - m_finishHas);
    else if (last > 0)
        text += QStringLiteral(", Ziel hat alle %1 Impulse").arg(last);
    if (!m_waiting.empty())
        text += QStringLiteral(", %1 noch nicht gespeichert").arg(m_waiting.size());
    return text;
}

bool StationAtStation::SaveFile(const QString& fileName, QString* reason) const
{
    return stations::SaveStationFile(fileName, m_role, m_code, m_store.Impulses(), reason);
}

void StationAtStation::changed()
{
    if (OnChanged)
        OnChanged();
}
