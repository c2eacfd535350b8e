// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "stations/StationLink.h"

#include "platform/WallClock.h"
#include "stations/Signature.h"

#include <QHostAddress>
#include <QList>

namespace stations {

std::optional<LinkConfig> ParseStationAddress(Role role, const QString& address, const QString& code)
{
    const QString text = address.trimmed();
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return std::nullopt;
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || host.isEmpty() || !IsPairingCode(code))
        return std::nullopt;
    return LinkConfig { role, host, quint16(port), code };
}

StationLink::StationLink(LinkConfig config, std::uint64_t applied, LinkOptions options, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_options(std::move(options))
    , m_gate(applied)
    , m_nextRetry(m_options.firstRetry)
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { connectStream(); });
    m_silence.setSingleShot(true);
    m_silence.setInterval(m_options.silence);
    connect(&m_silence, &QTimer::timeout, this, [this] { streamLost(); });
    m_clockTimer.setInterval(m_options.clockInterval);
    connect(&m_clockTimer, &QTimer::timeout, this, [this] { exchangeClock(); });
    m_clockTimeout.setSingleShot(true);
    m_clockTimeout.setInterval(m_options.clockTimeout);
    connect(&m_clockTimeout, &QTimer::timeout, this, [this] { endClock(); });
}

StationLink::~StationLink()
{
    Stop();
}

std::int64_t StationLink::now() const
{
    return m_options.clock ? m_options.clock() : platform::WallClockNs();
}

void StationLink::Start()
{
    if (m_running)
        return;
    m_running = true;
    exchangeClock();
    m_clockTimer.start();
    connectStream();
}

void StationLink::SetApplied(std::uint64_t applied)
{
    if (applied > m_gate.Applied())
        m_gate.SetApplied(applied);
}

void StationLink::Stop()
{
    m_running = false;
    m_retry.stop();
    m_silence.stop();
    m_clockTimer.stop();
    m_clockTimeout.stop();
    if (m_stream) {
        m_stream->disconnect(this);
        m_stream->abort();
        m_stream->deleteLater();
    }
    endClock();
    m_state = State::Idle;
}

QString StationLink::StateText() const
{
    const QString who = RoleCaption(m_config.role);
    const QString where = QStringLiteral("%1:%2").arg(m_config.host).arg(m_config.port);
    switch (m_state) {
    case State::Idle:
        return QStringLiteral("%1: nicht verbunden").arg(who);
    case State::Connecting:
        return QStringLiteral("%1: verbinde mit %2 …").arg(who, where);
    case State::Connected:
        return QStringLiteral("%1: verbunden").arg(who);
    case State::Lost:
        return QStringLiteral("%1: keine Verbindung zu %2 (neuer Versuch in %3 s)")
            .arg(who, where)
            .arg(QString::number(double(m_nextRetry.count()) / 1000.0, 'f', 1)
                     .replace(QLatin1Char('.'), QLatin1Char(',')));
    case State::CodeRefused:
        return QStringLiteral("%1: Station lehnt ab – Kopplungscode prüfen").arg(who);
    case State::BadSignature:
        return QStringLiteral("%1: Impuls mit ungültiger Signatur abgewiesen").arg(who);
    }
    return who;
}

void StationLink::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit StateChanged(m_config.role, StateText());
}

QByteArray StationLink::requestHead(const QByteArray& target, const QByteArray& extra) const
{
    // The time as the station's clock reads it, so far as the finish knows.
    const std::int64_t stationMs = (now() + m_offset.OffsetNs(now())) / 1000000;
    const RequestSignature signature = SignRequest(m_config.code, "GET", target, stationMs);
    QByteArray host = m_config.host.toUtf8();
    if (host.contains(':'))
        host = '[' + host + ']';
    return "GET " + target + " HTTP/1.1\r\nHost: " + host + ':' + QByteArray::number(m_config.port) + "\r\n"
        + kTimeHeader + ": " + QByteArray::number(qint64(signature.timeMs)) + "\r\n" + kNonceHeader + ": "
        + signature.nonce + "\r\n" + kSignatureHeader + ": " + signature.signature + "\r\n" + extra + "\r\n";
}

void StationLink::connectStream()
{
    if (!m_running)
        return;
    if (m_stream) {
        m_stream->disconnect(this);
        m_stream->abort();
        m_stream->deleteLater();
    }
    m_buffer.clear();
    m_headRead = false;
    m_eventName.clear();
    m_eventId.clear();
    m_eventData.clear();
    if (m_state != State::CodeRefused && m_state != State::BadSignature)
        setState(m_state == State::Lost ? State::Lost : State::Connecting);
    m_stream = new QTcpSocket(this);
    connect(m_stream, &QTcpSocket::connected, this, [this] { streamConnected(); });
    connect(m_stream, &QTcpSocket::readyRead, this, [this] { streamRead(); });
    connect(m_stream, &QTcpSocket::disconnected, this, [this] { streamLost(); });
    connect(m_stream, &QTcpSocket::errorOccurred, this, [this] { streamLost(); });
    m_silence.start();
    m_stream->connectToHost(m_config.host, m_config.port);
}

void StationLink::streamConnected()
{
    m_stream->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_stream->write(requestHead("/station/events",
        "Accept: text/event-stream\r\nLast-Event-ID: " + QByteArray::number(quint64(m_gate.Applied())) + "\r\n"));
}

void StationLink::streamLost(bool retrySoon)
{
    if (!m_running || !m_stream)
        return;
    QTcpSocket* gone = m_stream;
    m_stream = nullptr;
    gone->disconnect(this);
    gone->abort();
    gone->deleteLater();
    m_silence.stop();
    if (retrySoon)
        m_nextRetry = m_options.firstRetry;
    // The retry says so, once, with when it comes.
    if (m_state == State::Connected || m_state == State::Connecting)
        m_state = State::Lost;
    scheduleRetry();
}

void StationLink::scheduleRetry()
{
    m_retry.start(m_nextRetry);
    emit StateChanged(m_config.role, StateText());
    m_nextRetry = std::min(m_nextRetry * 2, m_options.longestRetry);
}

void StationLink::streamRead()
{
    m_buffer += m_stream->readAll();
    m_silence.start();
    if (!m_headRead) {
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_buffer.size() > 16384)
                streamLost();
            return;
        }
        const QByteArray statusLine = m_buffer.left(m_buffer.indexOf("\r\n"));
        const QList<QByteArray> parts = statusLine.split(' ');
        const int status = parts.size() >= 2 ? parts[1].toInt() : 0;
        m_buffer.remove(0, end + 4);
        if (status != 200) {
            if (status == 403) {
                setState(State::CodeRefused);
                emit Refused(m_config.role,
                    QStringLiteral("Station %1 lehnt die Anfrage ab (Kopplungscode falsch?)")
                        .arg(RoleCaption(m_config.role)));
            }
            streamLost();
            return;
        }
        m_headRead = true;
        m_nextRetry = m_options.firstRetry;
        setState(State::Connected);
    }
    // Server-Sent Events: fields until an empty line ends the event.
    qsizetype at = 0;
    while (m_stream) {
        const qsizetype end = m_buffer.indexOf('\n', at);
        if (end < 0)
            break;
        QByteArray line = m_buffer.mid(at, end - at);
        at = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty()) {
            if (!m_eventData.isEmpty() || !m_eventName.isEmpty())
                event(std::exchange(m_eventName, {}), std::exchange(m_eventId, {}), std::exchange(m_eventData, {}));
            continue;
        }
        if (line.startsWith(':'))
            continue;
        const qsizetype colon = line.indexOf(':');
        const QByteArray field = colon < 0 ? line : line.left(colon);
        QByteArray value = colon < 0 ? QByteArray() : line.mid(colon + 1);
        if (value.startsWith(' '))
            value.remove(0, 1);
        if (field == "event")
            m_eventName = value;
        else if (field == "id")
            m_eventId = value;
        else if (field == "data")
            m_eventData += (m_eventData.isEmpty() ? QByteArray() : QByteArray("\n")) + value;
    }
    if (m_stream)
        m_buffer.remove(0, at);
}

void StationLink::event(const QByteArray& name, const QByteArray& id, const QByteArray& data)
{
    const auto text = VerifiedText(m_config.code, data);
    if (!text) {
        setState(State::BadSignature);
        emit Refused(m_config.role,
            QStringLiteral("Station %1: Zeile mit ungültiger Signatur abgewiesen: %2")
                .arg(RoleCaption(m_config.role), QString::fromLatin1(data.left(120))));
        // Perhaps spoilt on the way: asked for again, from the same number.
        streamLost();
        return;
    }
    if (name == "impulse") {
        const auto impulse = ParseCanonical(*text);
        if (!impulse || impulse->role != m_config.role || QByteArray::number(quint64(impulse->sequence)) != id) {
            emit Refused(m_config.role,
                QStringLiteral("Station %1: unlesbarer Impuls abgewiesen").arg(RoleCaption(m_config.role)));
            streamLost();
            return;
        }
        switch (m_gate.Judge(impulse->sequence)) {
        case SequenceGate::Verdict::Duplicate:
            return;
        case SequenceGate::Verdict::Gap:
            // Never skipped: ask again from the first missing number.
            streamLost(true);
            return;
        case SequenceGate::Verdict::Next:
            emit ImpulseArrived(*impulse);
            m_gate.Take(impulse->sequence);
            return;
        }
    }
    if (name == "heartbeat") {
        const QList<QByteArray> parts = text->split(' ');
        if (parts.size() != 4 || parts[0] != "heartbeat" || ParseInteger(parts[1]) != int(m_config.role))
            return;
        const auto last = ParseInteger(parts[2]);
        const auto upTo = ParseInteger(parts[3]);
        if (!last || !upTo || *last < 0)
            return;
        m_stationLast = std::uint64_t(*last);
        if (m_stationLast < m_gate.Applied() && !m_fewerReported) {
            // Its store was replaced or lost: what it numbers anew would be
            // taken for what the finish has, so the official must know.
            m_fewerReported = true;
            emit Refused(m_config.role,
                QStringLiteral("Station %1 kennt nur %2 Impulse, das Ziel hat schon %3 übernommen – "
                               "Impulsdatei der Station ersetzt?")
                    .arg(RoleCaption(m_config.role))
                    .arg(m_stationLast)
                    .arg(m_gate.Applied()));
        }
        // It confirms only what has been applied here.
        if (m_gate.Applied() < m_stationLast) {
            streamLost(true);
            return;
        }
        m_confirmedNs = std::max(m_confirmedNs, *upTo);
        emit Confirmed(m_config.role, m_confirmedNs);
    }
}

void StationLink::exchangeClock()
{
    if (!m_running || m_clock)
        return;
    m_clockBuffer.clear();
    m_t4 = 0;
    m_clock = new QTcpSocket(this);
    QTcpSocket* socket = m_clock;
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_t1 = now();
        // The number the finish has applied rides along, so the station can
        // show the official which impulses the finish has.
        socket->write(requestHead(
            "/station/clock?t1=" + QByteArray::number(m_t1) + "&applied=" + QByteArray::number(quint64(m_acknowledged)),
            "Connection: close\r\n"));
    });
    connect(socket, &QTcpSocket::readyRead, this, [this] { clockRead(); });
    connect(socket, &QTcpSocket::disconnected, this, [this] { endClock(); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this] { endClock(); });
    m_clockTimeout.start();
    socket->connectToHost(m_config.host, m_config.port);
}

void StationLink::endClock()
{
    m_clockTimeout.stop();
    QTcpSocket* socket = m_clock;
    m_clock = nullptr;
    if (!socket)
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void StationLink::clockRead()
{
    if (m_t4 == 0)
        m_t4 = now();
    m_clockBuffer += m_clock->readAll();
    const qsizetype end = m_clockBuffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const qsizetype lengthAt = m_clockBuffer.toLower().indexOf("content-length:");
    if (lengthAt < 0 || lengthAt > end)
        return;
    const qsizetype lengthEnd = m_clockBuffer.indexOf("\r\n", lengthAt);
    const int length = m_clockBuffer.mid(lengthAt + 15, lengthEnd - lengthAt - 15).trimmed().toInt();
    if (m_clockBuffer.size() < end + 4 + length)
        return;
    const int status = m_clockBuffer.mid(9, 3).toInt();
    const QByteArray body = m_clockBuffer.mid(end + 4, length).trimmed();
    endClock();
    if (status == 403) {
        setState(State::CodeRefused);
        return;
    }
    if (status != 200)
        return;
    const auto text = VerifiedText(m_config.code, body);
    if (!text) {
        emit Refused(m_config.role,
            QStringLiteral("Station %1: Uhrantwort mit ungültiger Signatur abgewiesen")
                .arg(RoleCaption(m_config.role)));
        return;
    }
    const QList<QByteArray> parts = text->split(' ');
    if (parts.size() != 8 || parts[0] != "clock" || ParseInteger(parts[1]) != int(m_config.role)
        || ParseInteger(parts[2]) != m_t1)
        return; // not the answer to this exchange
    const auto t2 = ParseInteger(parts[3]);
    const auto t3 = ParseInteger(parts[4]);
    const auto maxError = ParseInteger(parts[6]);
    const auto estError = ParseInteger(parts[7]);
    if (!t2 || !t3 || !maxError || !estError)
        return;
    platform::KernelClockState state;
    state.known = true;
    state.synchronised = parts[5] == "1";
    state.maxErrorUs = *maxError;
    state.estErrorUs = *estError;
    m_offset.SetStationClock(state);
    const ClockOffset::Result result = m_offset.Add(ClockSample { m_t1, *t2, *t3, m_t4 });
    if (result == ClockOffset::Result::Step) {
        const ClockStep step = *m_offset.LastStep();
        emit ClockStepped(m_config.role, step.fromNs, step.toNs);
    }
    if (result != ClockOffset::Result::Refused)
        emit OffsetChanged(m_config.role);
}

} // namespace stations
