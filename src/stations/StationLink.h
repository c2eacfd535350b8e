// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "stations/ClockOffset.h"
#include "stations/Impulse.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

// The finish's puller of one station: it reads the station's event stream,
// checks every signature, hands on each impulse once and in the order of its
// numbers, and asks again from the first missing one after a gap, a lost
// connection or a restart of either side (the caller keeps the last number
// applied in the race journal and gives it back at start). Every 2 s it
// exchanges time stamps with the station and keeps the clock offset.
namespace stations {

struct LinkConfig {
    Role role = Role::Start;
    QString host;
    quint16 port = 0;
    QString code;
};

// "host:port" as the finish keeps it in [Stations]; IPv6 in brackets.
std::optional<LinkConfig> ParseStationAddress(Role role, const QString& address, const QString& code);

struct LinkOptions {
    std::chrono::milliseconds clockInterval { 2000 };
    std::chrono::milliseconds clockTimeout { 1500 };
    // The stream counts as lost when nothing, not even a heartbeat, came for
    // this long.
    std::chrono::milliseconds silence { 3000 };
    std::chrono::milliseconds firstRetry { 200 };
    std::chrono::milliseconds longestRetry { 2000 };
    // The finish's wall clock (ns); empty: the system's.
    std::function<std::int64_t()> clock;
};

class StationLink final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationLink)

public:
    enum class State { Idle, Connecting, Connected, Lost, CodeRefused, BadSignature };

    StationLink(LinkConfig config, std::uint64_t applied, LinkOptions options = {}, QObject* parent = nullptr);
    ~StationLink() override;

    void Start();
    void Stop();

    Role GetRole() const { return m_config.role; }
    std::uint64_t Applied() const { return m_gate.Applied(); }
    // Impulses the finish took another way (the station file): the link goes
    // on after them and hands none of them on again. Never moves back.
    void SetApplied(std::uint64_t applied);
    // The number up to which the race has the station's impulses (handed
    // on is not yet in the race): told to the station with each clock exchange.
    void SetAcknowledged(std::uint64_t applied) { m_acknowledged = applied; }
    State GetState() const { return m_state; }
    // In German, for the header and the settings dialog:
    // "Start: verbunden", "Start: keine Verbindung (neuer Versuch in 2 s)" ...
    QString StateText() const;
    const ClockOffset& Offset() const { return m_offset; }
    ClockOffset& Offset() { return m_offset; }
    // The latest confirmation of the station: its stream is complete up to
    // this station time (INT64_MIN before the first).
    std::int64_t ConfirmedStationNs() const { return m_confirmedNs; }
    // The station's last sequence number, as its last heartbeat said.
    std::uint64_t StationLast() const { return m_stationLast; }

signals:
    // The next impulse, verified. Emitted once per number, in order; the
    // receiver records it (the number is counted applied when it returns).
    void ImpulseArrived(const stations::Impulse& impulse);
    // The station's stream is complete up to this station time.
    void Confirmed(stations::Role role, qint64 stationNs);
    void OffsetChanged(stations::Role role);
    // The station's clock jumped (a clock step): for the race journal.
    void ClockStepped(stations::Role role, qint64 fromNs, qint64 toNs);
    // A line whose signature did not hold was refused (German).
    void Refused(stations::Role role, const QString& reason);
    void StateChanged(stations::Role role, const QString& text);

private:
    std::int64_t now() const;
    void setState(State state);
    void connectStream();
    void streamConnected();
    void streamRead();
    void streamLost(bool retrySoon = false);
    void event(const QByteArray& name, const QByteArray& id, const QByteArray& data);
    void exchangeClock();
    void clockRead();
    void endClock();
    void scheduleRetry();
    QByteArray requestHead(const QByteArray& target, const QByteArray& extra) const;

    LinkConfig m_config;
    LinkOptions m_options;
    SequenceGate m_gate;
    ClockOffset m_offset;
    State m_state = State::Idle;
    bool m_running = false;

    QPointer<QTcpSocket> m_stream;
    QByteArray m_buffer;
    bool m_headRead = false;
    QByteArray m_eventName, m_eventId, m_eventData;
    QTimer m_retry;
    QTimer m_silence;
    std::chrono::milliseconds m_nextRetry;

    QPointer<QTcpSocket> m_clock;
    QByteArray m_clockBuffer;
    std::int64_t m_t1 = 0;
    std::int64_t m_t4 = 0;
    QTimer m_clockTimer;
    QTimer m_clockTimeout;

    std::int64_t m_confirmedNs = INT64_MIN;
    std::uint64_t m_stationLast = 0;
    bool m_fewerReported = false;
    std::uint64_t m_acknowledged = 0;
};

} // namespace stations
