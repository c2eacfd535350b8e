// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "live/Gzip.h"
#include "live/HttpRequest.h"
#include "live/LiveFeed.h"
#include "live/LiveServer.h"
#include "live/PeerLimits.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

class QTcpSocket;

namespace live {

// The HTTP side of the live server; it and every socket live on the server
// thread. A RequestReader per connection reads the requests, PeerLimits
// shares the connections out; the connections themselves, the answers and
// the event streams are kept here.
class HttpService final : public QObject {
public:
    HttpService(const ServerOptions& options, std::atomic<int>& connections);
    ~HttpService() override;
    Q_DISABLE_COPY_MOVE(HttpService)

    // Listens on the port; false with the reason when the port cannot be had.
    bool Listen(quint16 port, QAbstractSocket::SocketError& error);
    quint16 Port() const;

    void Publish(std::shared_ptr<const race::Snapshot> snapshot);

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    // A connection takes requests until it becomes an event stream.
    enum class Kind { Requests, ResultsStream, DisplayStream };
    struct Connection {
        QHostAddress peer; // as counted (PeerKey)
        Kind kind = Kind::Requests;
        // The last request or output taken by the client; for a stream, when
        // its waiting output last moved.
        TimePoint lastActivity;
        std::optional<TimePoint> requestSince; // first byte of an unfinished request
        RequestReader reader;
        bool answered = false; // has had an answer
        bool closing = false; // answered for the last time; closes once its output is out
        bool keepAliveSaid = false; // an HTTP/1.0 client asked to keep the connection
        bool halfClosed = false; // our side is closed; input is drained until the client closes
        TimePoint lingerUntil;
        bool behind = false; // a stream that missed results while its output was full
        bool counted = true; // still holds one of the connections
        bool gzip = false; // a stream compressed as a whole
        std::uint64_t sent = 0; // the version a stream's client has
        // Until its request line is in, a connection may be another
        // service's (ServerOptions::handsOver); what came is kept here.
        bool mayHandOver = false;
        QByteArray opening;
    };
    // A connection beyond a limit, waiting for room.
    struct Waiting {
        QTcpSocket* socket = nullptr;
        QHostAddress peer;
        QByteArray seen; // what it has sent so far
        TimePoint since;
        bool refused = false; // has had its 503 and closes
    };
    struct Answer {
        int status = 200;
        QByteArray contentType;
        QList<Part> body;
        QByteArray extraHeaders;
        bool gzip = false;
        QByteArray cacheControl = "no-cache";
    };
    class Acceptor;

    void incoming(QTcpSocket* socket);
    // Whether a new connection is taken, and in place of which one.
    struct Admission {
        PeerLimits::Verdict verdict = PeerLimits::Verdict::Wait;
        QTcpSocket* givingWay = nullptr;
    };
    Admission admissionOf(const QHostAddress& peer) const;
    void take(QTcpSocket* socket, const QHostAddress& peer, const Admission& admission);
    QTcpSocket* givingWay(const QHostAddress& peer) const;
    void accepted(QTcpSocket* socket, const QHostAddress& peer);
    void reclaim(QTcpSocket* socket);
    void release(QTcpSocket* socket);
    void drop(QTcpSocket* socket);
    void wait(QTcpSocket* socket, const QHostAddress& peer);
    void forget(QTcpSocket* socket);
    void admitWaiting();
    void checkWaiting();
    void received(QTcpSocket* socket);
    // True when the connection went to the service sharing the port, or
    // when its request line has not all come yet; otherwise `data` is all
    // that came, for the request reader.
    bool handedOver(QTcpSocket* socket, Connection& c, QByteArray& data);
    void process(QTcpSocket* socket);
    void written(QTcpSocket* socket);
    void sweep();
    void heartbeat();
    void handle(QTcpSocket* socket, Connection& c, const HttpRequest& request);
    void openStream(QTcpSocket* socket, Connection& c, const HttpRequest& request, Kind kind, bool head);
    void sendUpdate(QTcpSocket* socket, Connection& c);
    void streamWrite(QTcpSocket* socket, Connection& c, const QList<Part>& parts);
    void respond(QTcpSocket* socket, Connection& c, const Answer& answer, bool head);
    void refuseRequest(QTcpSocket* socket, Connection& c, int status);
    void closeWhenWritten(QTcpSocket* socket, Connection& c);
    QByteArray clockJson() const;

    ServerOptions m_options;
    std::atomic<int>& m_connections;
    Acceptor* m_acceptor = nullptr;
    QHash<QTcpSocket*, Connection> m_open;
    PeerLimits m_limits;
    QList<Waiting> m_waiting; // in the order they came
    QTimer m_sweep;
    QTimer m_waitTimer;
    QTimer m_heartbeat;
    LiveFeed m_feed;
};

} // namespace live
