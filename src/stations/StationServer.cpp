// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "stations/StationServer.h"

#include "live/HttpRequest.h"
#include "platform/Sockets.h"
#include "platform/WallClock.h"
#include "stations/Signature.h"

#include <QHash>
#include <QMutex>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <atomic>
#include <map>

namespace stations {

class StationService final : public QObject {
public:
    StationService(StationServer& owner, Role role, QString code, StationServerOptions options)
        : m_owner(owner)
        , m_role(role)
        , m_code(code)
        , m_options(options)
        , m_guard(std::move(code))
        , m_ownerTurnNs(now())
    {
        m_heartbeat.setInterval(m_options.heartbeat);
        connect(&m_heartbeat, &QTimer::timeout, this, [this] { heartbeat(); });
        m_heartbeat.start();
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                take(socket, {});
        });
    }

    bool Listen(const QHostAddress& address, quint16 port, QString* reason, quint16* bound)
    {
        if (!m_server.listen(address, port)) {
            if (reason)
                *reason = m_server.errorString();
            return false;
        }
        *bound = m_server.serverPort();
        return true;
    }

    void Offer(const std::vector<Impulse>& impulses)
    {
        for (const Impulse& impulse : impulses) {
            {
                const QMutexLocker lock(&m_pendingLock);
                m_pending.erase(impulse.wallNs);
            }
            if (impulse.sequence != lastSequence() + 1)
                continue; // offered before, or out of the run the store keeps
            m_lines.push_back(SignedLine(m_code, CanonicalText(impulse)));
            m_lastWallNs = std::max(m_lastWallNs, impulse.wallNs);
        }
        for (auto it = m_open.begin(); it != m_open.end(); ++it) {
            if (it->stream)
                sendFrom(it.key(), *it);
        }
    }

    // Any thread, at once: a heartbeat this thread makes a moment later must
    // already hold back, however late this thread gets to run.
    void Stamped(std::int64_t wallNs)
    {
        const QMutexLocker lock(&m_pendingLock);
        ++m_pending[wallNs];
    }
    void Abandon(std::int64_t wallNs)
    {
        const QMutexLocker lock(&m_pendingLock);
        auto it = m_pending.find(wallNs);
        if (it != m_pending.end() && --it->second <= 0)
            m_pending.erase(it);
    }

    // Any thread: the owner's thread has had a turn of its event loop. An
    // edge stamped elsewhere reaches Stamped through that thread, so while it
    // is held up (a slow disk under the store) heartbeats must not run ahead.
    void OwnerTurn() { m_ownerTurnNs.store(now(), std::memory_order_relaxed); }

    void SetCode(const QString& code)
    {
        // Lines signed under the old code would be refused by the finish.
        m_code = code;
        m_guard.SetCode(code);
        std::vector<QByteArray> resigned;
        for (const QByteArray& line : m_lines)
            resigned.push_back(SignedLine(code, line.first(line.lastIndexOf(" sig="))));
        m_lines = std::move(resigned);
        const auto sockets = m_open.keys();
        for (QTcpSocket* socket : sockets)
            socket->abort();
    }

    void Adopt(qintptr descriptor, const QByteArray& received)
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            platform::CloseDescriptor(descriptor);
            return;
        }
        take(socket, received);
    }

private:
    struct Connection {
        live::RequestReader reader { 8192 };
        bool stream = false;
        std::uint64_t sent = 0; // the last sequence a stream has sent
        std::int64_t receivedNs = 0; // when the bytes of the current request came
    };

    std::uint64_t lastSequence() const { return m_lines.size(); }
    std::int64_t now() const { return m_options.clock ? m_options.clock() : platform::WallClockNs(); }

    void take(QTcpSocket* socket, const QByteArray& early)
    {
        if (m_open.size() >= m_options.maxConnections) {
            socket->write("HTTP/1.1 503 Service Unavailable\r\nRetry-After: 1\r\nContent-Length: 0\r\n"
                          "Connection: close\r\n\r\n");
            closeWhenWritten(socket);
            return;
        }
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_open.insert(socket, Connection {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { received(socket, socket->readAll()); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            auto it = m_open.find(socket);
            if (it != m_open.end() && it->stream)
                sendFrom(socket, *it);
        });
        if (!early.isEmpty())
            received(socket, early);
        if (socket->bytesAvailable() > 0)
            received(socket, socket->readAll());
    }

    void forget(QTcpSocket* socket)
    {
        auto it = m_open.find(socket);
        if (it == m_open.end())
            return;
        const bool stream = it->stream;
        m_open.erase(it);
        socket->deleteLater();
        if (stream)
            emit m_owner.Streams(streamCount());
    }

    int streamCount() const
    {
        int count = 0;
        for (const Connection& c : m_open)
            count += c.stream ? 1 : 0;
        return count;
    }

    void received(QTcpSocket* socket, const QByteArray& bytes)
    {
        auto it = m_open.find(socket);
        if (it == m_open.end() || it->stream)
            return; // a stream's client has nothing more to say
        // The receive time of the clock exchange: as close to the arrival as
        // this thread sees it.
        it->receivedNs = now();
        it->reader.Append(bytes);
        for (;;) {
            it = m_open.find(socket);
            if (it == m_open.end() || it->stream)
                return;
            const live::ParsedRequest parsed = it->reader.Next();
            if (parsed.result == live::ParsedRequest::Result::NeedMore)
                return;
            if (parsed.result == live::ParsedRequest::Result::Refused) {
                answer(socket, parsed.status, {}, true);
                return;
            }
            handle(socket, *it, parsed.request);
        }
    }

    void handle(QTcpSocket* socket, Connection& c, const live::HttpRequest& request)
    {
        if (request.method != "GET") {
            answer(socket, 405, {}, true);
            return;
        }
        const bool events = request.path == "/station/events";
        const bool clock = request.path == "/station/clock";
        if (!events && !clock) {
            answer(socket, 404, {}, !request.KeepAlive());
            return;
        }
        RequestSignature signature;
        signature.timeMs = ParseInteger(request.Field(QByteArray(kTimeHeader).toLower())).value_or(0);
        signature.nonce = request.Field(QByteArray(kNonceHeader).toLower());
        signature.signature = request.Field(QByteArray(kSignatureHeader).toLower());
        const auto verdict = m_guard.Check(request.method, request.target, signature, now() / 1000000, !clock);
        if (verdict != RequestGuard::Verdict::Accepted) {
            emit m_owner.Refused(refusal(verdict, socket->peerAddress()));
            answer(socket, 403, "Kopplung fehlt\n", true);
            return;
        }
        if (clock) {
            const auto t1 = ParseInteger(request.QueryValue("t1"));
            if (!t1) {
                answer(socket, 400, {}, true);
                return;
            }
            if (const auto applied = ParseInteger(request.QueryValue("applied")); applied && *applied >= 0)
                emit m_owner.Acknowledged(quint64(*applied));
            const platform::KernelClockState state = platform::ReadKernelClock();
            const std::int64_t t3 = now();
            const QByteArray text = "clock " + QByteArray::number(int(m_role)) + ' ' + QByteArray::number(*t1) + ' '
                + QByteArray::number(c.receivedNs) + ' ' + QByteArray::number(t3) + ' '
                + (state.synchronised ? '1' : '0') + ' ' + QByteArray::number(state.maxErrorUs) + ' '
                + QByteArray::number(state.estErrorUs);
            answer(socket, 200, SignedLine(m_code, text) + '\n', !request.KeepAlive());
            return;
        }
        std::uint64_t from = 0;
        const QByteArray last
            = request.HasField("last-event-id") ? request.Field("last-event-id") : request.QueryValue("from");
        if (!last.isEmpty()) {
            const auto n = ParseInteger(last);
            if (!n || *n < 0) {
                answer(socket, 400, {}, true);
                return;
            }
            from = std::uint64_t(*n);
            emit m_owner.Acknowledged(quint64(from));
        }
        c.stream = true;
        c.sent = std::min<std::uint64_t>(from, lastSequence());
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                      "Connection: close\r\n\r\n");
        sendFrom(socket, c);
        socket->write(heartbeatEvent());
        emit m_owner.Streams(streamCount());
    }

    QString refusal(RequestGuard::Verdict verdict, const QHostAddress& peer) const
    {
        const QString from = peer.toString();
        switch (verdict) {
        case RequestGuard::Verdict::Stale:
            return QStringLiteral("Anfrage von %1 abgelehnt: Zeitstempel zu alt").arg(from);
        case RequestGuard::Verdict::Replayed:
            return QStringLiteral("Anfrage von %1 abgelehnt: wiederholte Anfrage").arg(from);
        default:
            return QStringLiteral("Anfrage von %1 abgelehnt: falscher Kopplungscode").arg(from);
        }
    }

    void sendFrom(QTcpSocket* socket, Connection& c)
    {
        // A client that reads slowly gets the rest as it reads; what waits
        // stays bounded.
        while (c.sent < lastSequence() && socket->bytesToWrite() < m_options.maxQueuedOutput) {
            const std::uint64_t sequence = c.sent + 1;
            socket->write("id: " + QByteArray::number(quint64(sequence))
                + "\nevent: impulse\ndata: " + m_lines[sequence - 1] + "\n\n");
            c.sent = sequence;
        }
    }

    QByteArray heartbeatEvent() const
    {
        const std::int64_t seen = std::min(now(), m_ownerTurnNs.load(std::memory_order_relaxed));
        std::int64_t upTo = seen - std::int64_t(m_options.settle.count()) * 1000000;
        {
            const QMutexLocker lock(&m_pendingLock);
            if (!m_pending.empty())
                upTo = std::min(upTo, m_pending.begin()->first - 1);
        }
        // Never behind an impulse already sent: the stream holds it.
        upTo = std::max(upTo, m_lastWallNs);
        const QByteArray text = "heartbeat " + QByteArray::number(int(m_role)) + ' '
            + QByteArray::number(quint64(lastSequence())) + ' ' + QByteArray::number(upTo);
        return "event: heartbeat\ndata: " + SignedLine(m_code, text) + "\n\n";
    }

    void heartbeat()
    {
        QByteArray event;
        for (auto it = m_open.begin(); it != m_open.end(); ++it) {
            if (!it->stream)
                continue;
            // A heartbeat confirms only what the stream has sent.
            if (it->sent < lastSequence())
                continue;
            if (event.isEmpty())
                event = heartbeatEvent();
            it.key()->write(event);
        }
    }

    void answer(QTcpSocket* socket, int status, const QByteArray& body, bool close)
    {
        static const QHash<int, QByteArray> reasons { { 200, "OK" }, { 400, "Bad Request" }, { 403, "Forbidden" },
            { 404, "Not Found" }, { 405, "Method Not Allowed" }, { 413, "Content Too Large" },
            { 431, "Request Header Fields Too Large" }, { 505, "HTTP Version Not Supported" } };
        QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasons.value(status, "Error") + "\r\n";
        head += "Content-Type: text/plain; charset=utf-8\r\nCache-Control: no-store\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n";
        if (status == 405)
            head += "Allow: GET\r\n";
        if (close)
            head += "Connection: close\r\n";
        socket->write(head + "\r\n" + body);
        if (close) {
            m_open.remove(socket);
            closeWhenWritten(socket);
        }
    }

    void closeWhenWritten(QTcpSocket* socket)
    {
        socket->disconnect(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // Ending only our side lets the client read the answer before it
        // sees the end.
        socket->flush();
        platform::ShutdownSending(socket->socketDescriptor());
        QTimer::singleShot(5000, socket, [socket] { socket->abort(); });
    }

    StationServer& m_owner;
    Role m_role;
    QString m_code;
    StationServerOptions m_options;
    RequestGuard m_guard;
    QTcpServer m_server;
    QHash<QTcpSocket*, Connection> m_open;
    std::vector<QByteArray> m_lines; // signed, index = sequence - 1
    mutable QMutex m_pendingLock;
    std::map<std::int64_t, int> m_pending; // stamped, not offered yet
    std::atomic<std::int64_t> m_ownerTurnNs;
    std::int64_t m_lastWallNs = INT64_MIN;
    QTimer m_heartbeat;
};

StationServer::StationServer(Role role, const QString& code, StationServerOptions options, QObject* parent)
    : QObject(parent)
{
    m_thread.setObjectName(QStringLiteral("station-http"));
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.start();
    // Made on its thread, so its timer and sockets belong there from the start.
    QMetaObject::invokeMethod(
        m_context, [&] { m_service = new StationService(*this, role, code, options); }, Qt::BlockingQueuedConnection);
    m_ownerTurn.setInterval(std::min<std::chrono::milliseconds>(options.heartbeat / 2, std::chrono::milliseconds(50)));
    connect(&m_ownerTurn, &QTimer::timeout, this, [this] { m_service->OwnerTurn(); });
    m_ownerTurn.start();
}

StationServer::~StationServer()
{
    m_ownerTurn.stop();
    QMetaObject::invokeMethod(m_context, [this] {
        delete m_service;
        m_service = nullptr;
        QThread::currentThread()->quit();
    });
    m_thread.wait();
    delete m_context;
}

bool StationServer::Listen(const QHostAddress& address, quint16 port, QString* reason)
{
    bool ok = false;
    QString why;
    quint16 bound = 0;
    QMetaObject::invokeMethod(
        m_service, [&] { ok = m_service->Listen(address, port, &why, &bound); }, Qt::BlockingQueuedConnection);
    if (ok)
        m_port = bound;
    if (!ok && reason)
        *reason = why;
    return ok;
}

void StationServer::Offer(const std::vector<Impulse>& impulses)
{
    QMetaObject::invokeMethod(m_service, [service = m_service, impulses] { service->Offer(impulses); });
}

void StationServer::Stamped(std::int64_t wallNs)
{
    m_service->Stamped(wallNs);
}

void StationServer::Abandon(std::int64_t wallNs)
{
    m_service->Abandon(wallNs);
}

void StationServer::SetCode(const QString& code)
{
    QMetaObject::invokeMethod(m_service, [service = m_service, code] { service->SetCode(code); });
}

void StationServer::Adopt(qintptr descriptor, const QByteArray& received)
{
    QMetaObject::invokeMethod(
        m_service, [service = m_service, descriptor, received] { service->Adopt(descriptor, received); });
}

bool StationServer::IsStationPath(QByteArrayView path)
{
    return path.startsWith("/station/");
}

} // namespace stations
