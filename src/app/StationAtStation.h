// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Tick.h"
#include "stations/Impulse.h"
#include "stations/ImpulseStore.h"
#include "stations/StationServer.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

// A timing station (the start hut, an interim point): no race, only its
// impulses. Each edge of its barrier and each press of its key is stamped,
// kept on its own disk and then offered to the finish, which reads them over
// the network on the live port. A disk that refuses an impulse keeps it
// waiting with its stamp until it takes it.
class StationAtStation final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationAtStation)
public:
    StationAtStation(stations::Role role, const QString& code, const QString& storeFile, QObject* parent = nullptr);
    ~StationAtStation() override;

    // Reads the impulses kept before and listens on the port; false with the
    // reason when either fails (the station still takes impulses when only
    // the port failed).
    bool Start(quint16 port, QString* reason);
    stations::Role GetRole() const { return m_role; }
    QString Code() const { return m_code; }
    quint16 Port() const;

    // An impulse at its edge: the barrier's change or the key.
    void Take(platform::Tick tick, std::int64_t wallNs, stations::ImpulseKind kind);

    const std::vector<stations::Impulse>& Impulses() const { return m_store.Impulses(); }
    // Impulses stamped that the disk has not taken yet.
    int Waiting() const { return int(m_waiting.size()); }
    // Up to which number the finish has them in its race (as it said).
    std::uint64_t FinishHas() const { return m_finishHas; }
    int Streams() const { return m_streams; }
    // "Ziel verbunden" / "Ziel nicht verbunden", with what is still to go.
    QString LinkText() const;
    // "Stationsdatei speichern".
    bool SaveFile(const QString& fileName, QString* reason) const;

    std::function<void()> OnChanged;
    std::function<void(const QString& text, bool failure)> Notice;

private:
    struct Stamped {
        platform::Tick tick;
        std::int64_t wallNs;
        stations::ImpulseKind kind;
    };
    void store();
    void changed();

    stations::Role m_role;
    QString m_code;
    stations::ImpulseStore m_store;
    std::unique_ptr<stations::StationServer> m_server;
    std::deque<Stamped> m_waiting;
    QTimer m_retry;
    QString m_bootId;
    std::uint64_t m_finishHas = 0;
    int m_streams = 0;
};
