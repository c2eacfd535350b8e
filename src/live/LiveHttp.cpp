// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/LiveHttp.h"

#include "live/LiveJson.h"
#include "live/LivePages.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTime>

#include <sys/socket.h>
#include <unistd.h>

namespace live {

namespace {

using SteadyClock = std::chrono::steady_clock;

// A stream gets new results only while less than this waits in its output;
// otherwise it catches up with the newest results once it has read.
constexpr qint64 kStreamBacklog = 64 * 1024;
// The kernel's send buffer of a stream (it doubles the figure): a client
// that stops reading holds no more there than the backlog above, instead of
// the megabytes the kernel would otherwise grow it to.
constexpr int kStreamSendBuffer = 16 * 1024;
// A client beyond a limit waits this long for a connection to come free (a
// burst of requests is served in turn), then gets 503 and, this long later,
// is closed. At most so many wait, half of them from one address; beyond
// that a new connection is closed at once. Waiting costs a socket and a few
// bytes; a connection closed at once costs more, as a client that connects
// again at once keeps the server busy accepting.
constexpr std::chrono::milliseconds kWaitForRoom { 1000 };
constexpr std::chrono::milliseconds kRefuseTimeout { 2000 };
constexpr int kMaxWaiting = 300;
constexpr int kMaxWaitingPerPeer = kMaxWaiting / 2;
// After the last answer our side closes first; what the client still sends
// is read and dropped for this long, so its close does not reset the
// connection before the answer has been read.
constexpr std::chrono::milliseconds kLinger { 2000 };

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

QByteArray errorText(int status)
{
    switch (status) {
    case 400:
        return "Fehlerhafte Anfrage.\n";
    case 408:
        return "Die Anfrage kam nicht rechtzeitig vollständig an.\n";
    case 413:
    case 431:
        return "Anfrage zu gross.\n";
    case 501:
        return "Diese Übertragungsart wird nicht unterstützt.\n";
    case 505:
        return "Nur HTTP/1.0 und HTTP/1.1.\n";
    default:
        return "Fehler.\n";
    }
}

const QByteArray kTextPlain = "text/plain; charset=utf-8";

// IPv4 clients of a dual-stack socket arrive as ::ffff:a.b.c.d; one client
// is one address either way.
QHostAddress peerOf(const QTcpSocket* socket)
{
    const QHostAddress address = socket->peerAddress();
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip) : address;
}

std::uint64_t versionNamed(const QByteArray& text)
{
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok);
    return ok ? v : 0;
}

} // namespace

class HttpService::Acceptor final : public QTcpServer {
public:
    explicit Acceptor(HttpService& service)
        : m_service(service)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            ::close(static_cast<int>(descriptor));
            return;
        }
        m_service.incoming(socket);
    }

private:
    HttpService& m_service;
};

HttpService::HttpService(const ServerOptions& options, std::atomic<int>& connections)
    : m_options(options)
    , m_connections(connections)
{
    using std::chrono::milliseconds;
    m_sweep.setInterval(std::min({ milliseconds(1000), m_options.idleTimeout / 4, m_options.requestTimeout / 4 }));
    QObject::connect(&m_sweep, &QTimer::timeout, this, [this] { sweep(); });
    m_heartbeat.setInterval(m_options.heartbeat);
    QObject::connect(&m_heartbeat, &QTimer::timeout, this, [this] { heartbeat(); });
    m_waitTimer.setInterval(std::chrono::milliseconds(100));
    QObject::connect(&m_waitTimer, &QTimer::timeout, this, [this] { checkWaiting(); });
}

HttpService::~HttpService()
{
    // Sockets go first, while the bookkeeping their ends report to still exists.
    const QList<QTcpSocket*> sockets = m_open.keys();
    for (QTcpSocket* socket : sockets)
        delete socket;
    delete m_acceptor;
}

bool HttpService::Listen(quint16 port, QAbstractSocket::SocketError& error)
{
    m_acceptor = new Acceptor(*this);
    if (!m_acceptor->listen(m_options.address, port)) {
        error = m_acceptor->serverError();
        delete m_acceptor;
        m_acceptor = nullptr;
        return false;
    }
    return true;
}

quint16 HttpService::Port() const
{
    return m_acceptor ? m_acceptor->serverPort() : 0;
}

void HttpService::Publish(std::shared_ptr<const race::Snapshot> snapshot)
{
    if (!m_feed.Publish(std::move(snapshot)))
        return;
    for (auto it = m_open.begin(); it != m_open.end(); ++it) {
        if (it->kind != Kind::Requests && it->counted)
            sendUpdate(it.key(), *it);
    }
}

QByteArray HttpService::clockJson() const
{
    return ResultsJsonClock(m_feed.Current(), SteadyClock::now(), QTime::currentTime().msecsSinceStartOfDay());
}

void HttpService::incoming(QTcpSocket* socket)
{
    const QHostAddress peer = peerOf(socket);
    if (hasRoom(peer) || (m_connections.load() < m_options.maxConnections && reclaimIdle(peer)))
        accepted(socket, peer);
    else
        wait(socket, peer);
}

bool HttpService::hasRoom(const QHostAddress& peer) const
{
    return m_connections.load() < m_options.maxConnections
        && m_peers.value(peer).connections < m_options.maxConnectionsPerPeer;
}

void HttpService::accepted(QTcpSocket* socket, const QHostAddress& peer)
{
    ++m_connections;
    ++m_peers[peer].connections;
    Connection c;
    c.peer = peer;
    c.lastActivity = SteadyClock::now();
    m_open.insert(socket, c);
    // An idle server does nothing: the sweep and the heartbeat run while
    // connections are open.
    if (!m_sweep.isActive()) {
        m_sweep.start();
        m_heartbeat.start();
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { received(socket); });
    QObject::connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { written(socket); });
    // The connection is free again as soon as it is closed; the socket
    // object goes later.
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        release(socket);
        socket->deleteLater();
    });
    QObject::connect(socket, &QObject::destroyed, this, [this, socket] {
        release(socket);
        m_open.remove(socket);
    });
}

bool HttpService::reclaimIdle(const QHostAddress& peer)
{
    // A connection kept open after an answer for a next request that has not
    // come is the client's to give up: its newest connection is worth more.
    // Closing it between requests is allowed; a browser asks again on a new
    // one.
    QTcpSocket* newest = nullptr;
    TimePoint since;
    for (auto it = m_open.cbegin(); it != m_open.cend(); ++it) {
        const Connection& c = *it;
        if (c.peer != peer || !c.counted || c.kind != Kind::Requests || !c.answered || c.closing || c.requestSince
            || it.key()->bytesAvailable() > 0 || it.key()->bytesToWrite() > 0)
            continue;
        // The one used last: a client that polls is furthest from its next
        // request on it.
        if (!newest || c.lastActivity > since) {
            newest = it.key();
            since = c.lastActivity;
        }
    }
    if (!newest)
        return false;
    release(newest);
    newest->disconnectFromHost();
    return true;
}

void HttpService::release(QTcpSocket* socket)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end() || !it->counted)
        return;
    it->counted = false;
    --m_connections;
    if (it->kind != Kind::Requests)
        --m_streams;
    const auto peer = m_peers.find(it->peer);
    if (peer == m_peers.end())
        return;
    if (it->kind != Kind::Requests)
        --peer->streams;
    if (--peer->connections == 0 && peer->waiting == 0)
        m_peers.erase(peer);
    // A client waiting for a connection may have one now; after this call,
    // since it may come while connections are being walked.
    if (!m_waiting.isEmpty())
        QMetaObject::invokeMethod(
            this, [this] { admitWaiting(); }, Qt::QueuedConnection);
}

void HttpService::drop(QTcpSocket* socket)
{
    release(socket);
    socket->abort();
    socket->deleteLater();
}

void HttpService::wait(QTcpSocket* socket, const QHostAddress& peer)
{
    Peer& counts = m_peers[peer];
    if (m_waiting.size() >= kMaxWaiting || counts.waiting >= kMaxWaitingPerPeer) {
        if (counts.connections == 0 && counts.waiting == 0)
            m_peers.remove(peer);
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++counts.waiting;
    m_waiting.append({ socket, peer, {}, SteadyClock::now(), false });
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        for (Waiting& w : m_waiting) {
            if (w.socket == socket) {
                // Kept for when a connection comes free; beyond a request's size
                // it is answered with its 503 all the same.
                if (!w.refused && w.seen.size() <= m_options.maxRequestBytes)
                    w.seen += socket->readAll();
                else
                    socket->readAll();
            }
        }
    });
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        forget(socket);
        socket->deleteLater();
    });
    if (!m_waitTimer.isActive())
        m_waitTimer.start();
}

void HttpService::forget(QTcpSocket* socket)
{
    for (qsizetype i = 0; i < m_waiting.size(); ++i) {
        if (m_waiting[i].socket != socket)
            continue;
        const auto peer = m_peers.find(m_waiting[i].peer);
        if (peer != m_peers.end() && --peer->waiting == 0 && peer->connections == 0)
            m_peers.erase(peer);
        m_waiting.removeAt(i);
        return;
    }
}

void HttpService::admitWaiting()
{
    for (qsizetype i = 0; i < m_waiting.size();) {
        const Waiting w = m_waiting[i];
        if (w.refused || !hasRoom(w.peer)) {
            ++i;
            continue;
        }
        forget(w.socket);
        QObject::disconnect(w.socket, nullptr, this, nullptr);
        accepted(w.socket, w.peer);
        Connection& c = m_open[w.socket];
        c.input = w.seen;
        if (!c.input.isEmpty())
            c.requestSince = w.since;
        process(w.socket);
    }
}

void HttpService::checkWaiting()
{
    admitWaiting();
    const auto now = SteadyClock::now();
    QList<QTcpSocket*> late;
    for (Waiting& w : m_waiting) {
        if (!w.refused && now - w.since >= kWaitForRoom) {
            // No connection came free in time: the client hears so and may
            // try again, rather than finding its connection reset.
            const QByteArray body = "Zu viele Verbindungen, bitte gleich noch einmal versuchen.\n";
            w.socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Type: " + kTextPlain + "\r\nContent-Length: "
                + QByteArray::number(body.size()) + "\r\nRetry-After: 5\r\nConnection: close\r\n\r\n" + body);
            w.socket->disconnectFromHost();
            w.refused = true;
            w.since = now;
        } else if (w.refused && now - w.since >= kRefuseTimeout) {
            late << w.socket;
        }
    }
    for (QTcpSocket* socket : late) {
        forget(socket);
        QObject::disconnect(socket, nullptr, this, nullptr);
        socket->abort();
        socket->deleteLater();
    }
    if (m_waiting.isEmpty())
        m_waitTimer.stop();
}

void HttpService::received(QTcpSocket* socket)
{
    auto it = m_open.find(socket);
    if (it == m_open.end())
        return;
    Connection& c = *it;
    const QByteArray data = socket->readAll();
    if (c.kind != Kind::Requests || c.closing)
        return; // nothing more is expected here
    if (c.input.isEmpty() && !data.isEmpty())
        c.requestSince = SteadyClock::now();
    c.input += data;
    process(socket);
}

void HttpService::process(QTcpSocket* socket)
{
    // Pipelined requests are read and answered one by one, each within the
    // limits on its own.
    for (;;) {
        const auto it = m_open.find(socket);
        if (it == m_open.end())
            return;
        Connection& c = *it;
        if (c.input.isEmpty() || c.kind != Kind::Requests || c.closing)
            return;
        if (socket->bytesToWrite() > m_options.maxQueuedOutput) {
            drop(socket); // it asks and asks and does not read
            return;
        }
        const ParsedRequest parsed = ParseRequest(c.input, m_options.maxRequestBytes);
        if (parsed.result == ParsedRequest::Result::NeedMore)
            return;
        if (parsed.result == ParsedRequest::Result::Refused) {
            refuseRequest(socket, c, parsed.status);
            return;
        }
        c.input.remove(0, parsed.length);
        c.requestSince.reset();
        if (!c.input.isEmpty())
            c.requestSince = SteadyClock::now();
        handle(socket, c, parsed.request);
    }
}

void HttpService::written(QTcpSocket* socket)
{
    auto it = m_open.find(socket);
    if (it == m_open.end())
        return;
    Connection& c = *it;
    c.lastActivity = SteadyClock::now();
    if (c.closing && !c.halfClosed && socket->bytesToWrite() == 0)
        closeWhenWritten(socket, c);
    if (c.kind != Kind::Requests && c.behind && socket->bytesToWrite() < kStreamBacklog)
        sendUpdate(socket, c);
}

void HttpService::closeWhenWritten(QTcpSocket* socket, Connection& c)
{
    c.closing = true;
    c.input.clear();
    if (c.halfClosed || socket->bytesToWrite() > 0)
        return; // written() comes back once the output is out
    c.halfClosed = true;
    c.lingerUntil = SteadyClock::now() + kLinger;
    // Our side ends; the client sees the end of the answer and closes, which
    // ends the connection (disconnected) without a reset.
    ::shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
}

void HttpService::sweep()
{
    if (m_open.isEmpty()) {
        m_sweep.stop();
        m_heartbeat.stop();
        return;
    }
    const auto now = SteadyClock::now();
    QList<QTcpSocket*> gone, late, idle;
    for (auto it = m_open.begin(); it != m_open.end(); ++it) {
        const Connection& c = *it;
        const bool waiting = it.key()->bytesToWrite() > 0;
        const bool quiet = now - c.lastActivity >= m_options.idleTimeout;
        if (c.halfClosed) {
            if (now >= c.lingerUntil)
                gone << it.key();
        } else if (c.kind != Kind::Requests || c.closing || waiting) {
            // Output waits and none of it has gone for the whole time.
            if (waiting && quiet)
                gone << it.key();
        } else if (c.requestSince && now - *c.requestSince >= m_options.requestTimeout) {
            late << it.key();
        } else if (!c.requestSince && quiet) {
            idle << it.key();
        }
    }
    for (QTcpSocket* socket : gone)
        drop(socket);
    for (QTcpSocket* socket : late)
        refuseRequest(socket, m_open[socket], 408);
    for (QTcpSocket* socket : idle) {
        release(socket);
        socket->disconnectFromHost();
    }
}

void HttpService::heartbeat()
{
    for (auto it = m_open.begin(); it != m_open.end(); ++it) {
        if (it->kind != Kind::Requests && it->counted && !it->behind && !it->closing)
            streamWrite(it.key(), *it, { Part { ":\n\n", {} } });
    }
}

void HttpService::handle(QTcpSocket* socket, Connection& c, const HttpRequest& request)
{
    c.lastActivity = SteadyClock::now();
    // With most connections open, in all or from this address, answers do not
    // keep theirs.
    const bool keep = request.KeepAlive() && m_connections.load() <= m_options.maxConnections / 2
        && m_peers.value(c.peer).connections <= m_options.maxConnectionsPerPeer / 2;
    c.closing = !keep;
    c.keepAliveSaid = keep && request.minor == 0;

    const bool head = request.method == "HEAD";
    if (request.method != "GET" && !head) {
        respond(socket, c, { 405, kTextPlain, { Part { "Nur GET und HEAD.\n", {} } }, "Allow: GET, HEAD\r\n", false },
            false);
        return;
    }
    const QByteArray& path = request.path;
    const bool gzip = AcceptsGzip(request.Field("accept-encoding"));
    const QByteArray vary = "Vary: Accept-Encoding\r\n";
    if (path == "/" || path == "/index.html" || path == "/display") {
        const Page page = path == "/display" ? Page::Display : Page::Results;
        const Part data = page == Page::Results ? m_feed.Results(gzip) : m_feed.Display(gzip);
        respond(socket, c,
            { 200, "text/html; charset=utf-8",
                { Part { PageHead(page, m_feed.Current().title) + clockJson(), {} }, data,
                    LiveFeed::PageTail(page, gzip) },
                "Content-Security-Policy: " + PagePolicy(page) + "\r\n" + vary, gzip },
            head);
    } else if (path == kResultsPath || path == kDisplayDataPath) {
        const bool results = path == kResultsPath;
        // Weak: the clock part differs from one answer to the next.
        const QByteArray etag = (results ? "W/\"" : "W/\"d")
            + QByteArray::number(static_cast<qulonglong>(results ? m_feed.Version() : m_feed.DisplayVersion())) + '"';
        const QByteArray extra = "ETag: " + etag + "\r\n" + vary;
        if (NoneMatchHits(request.Field("if-none-match"), etag)) {
            respond(socket, c, { 304, {}, {}, extra, false }, head);
            return;
        }
        respond(socket, c,
            { 200, "application/json; charset=utf-8",
                { Part { clockJson(), {} }, results ? m_feed.Results(gzip) : m_feed.Display(gzip) }, extra, gzip },
            head);
    } else if (path == kEventsPath || path == kDisplayEventsPath) {
        openStream(socket, c, request, path == kEventsPath ? Kind::ResultsStream : Kind::DisplayStream, head);
    } else {
        respond(socket, c, { 404, kTextPlain, { Part { "Nicht gefunden.\n", {} } }, {}, false }, head);
    }
}

void HttpService::refuseRequest(QTcpSocket* socket, Connection& c, int status)
{
    c.closing = true;
    c.keepAliveSaid = false;
    respond(socket, c, { status, kTextPlain, { Part { errorText(status), {} } }, {}, false }, false);
}

void HttpService::respond(QTcpSocket* socket, Connection& c, const Answer& answer, bool head)
{
    QByteArray body;
    if (answer.gzip) {
        GzipTally tally;
        body = GzipHeader();
        for (const Part& part : answer.body) {
            if (part.packed.deflated.isEmpty()) {
                body += StoredBlocks(part.plain);
                tally.Add(part.plain);
            } else {
                body += part.packed.deflated;
                tally.Add(part.packed);
            }
        }
        body += tally.Trailer();
    } else {
        for (const Part& part : answer.body)
            body += part.plain;
    }
    QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + reason(answer.status) + "\r\n";
    if (!answer.contentType.isEmpty())
        out += "Content-Type: " + answer.contentType + "\r\n";
    if (answer.status != 304)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (answer.gzip)
        out += "Content-Encoding: gzip\r\n";
    out += "Cache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n";
    out += answer.extraHeaders;
    if (c.closing)
        out += "Connection: close\r\n";
    else if (c.keepAliveSaid)
        out += "Connection: keep-alive\r\n";
    out += "\r\n";
    if (!head && answer.status != 304)
        out += body;
    socket->write(out);
    c.answered = true;
    if (c.closing)
        closeWhenWritten(socket, c);
}

void HttpService::openStream(QTcpSocket* socket, Connection& c, const HttpRequest& request, Kind kind, bool head)
{
    Peer& peer = m_peers[c.peer];
    if (!head && (m_streams >= m_options.maxStreams || peer.streams >= m_options.maxStreamsPerPeer)) {
        // The page falls back to polling.
        c.closing = true;
        respond(socket, c,
            { 503, kTextPlain, { Part { "Zu viele Live-Verbindungen.\n", {} } }, "Retry-After: 30\r\n", false }, false);
        return;
    }
    c.gzip = !head && AcceptsGzip(request.Field("accept-encoding"));
    QByteArray out = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream; charset=utf-8\r\n"
                     "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nVary: Accept-Encoding\r\n";
    if (c.gzip)
        out += "Content-Encoding: gzip\r\n";
    // The body runs until either side closes, so no length.
    out += "Connection: close\r\n\r\n";
    if (head) {
        c.closing = true;
        socket->write(out);
        closeWhenWritten(socket, c);
        return;
    }
    c.kind = kind;
    c.closing = false;
    c.input.clear();
    c.requestSince.reset();
    ++m_streams;
    ++peer.streams;
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kStreamSendBuffer);
    if (c.gzip)
        out += GzipHeader();
    socket->write(out);
    streamWrite(socket, c, { Part { "retry: 3000\n\n", {} } });
    // What the client has: the last event it got before it reconnected, or
    // the version its page came with.
    const QByteArray lastEvent = request.Field("last-event-id");
    c.sent = versionNamed(lastEvent.isEmpty() ? request.QueryValue("since") : lastEvent);
    sendUpdate(socket, c);
}

void HttpService::sendUpdate(QTcpSocket* socket, Connection& c)
{
    if (socket->bytesToWrite() >= kStreamBacklog) {
        c.behind = true;
        return;
    }
    c.behind = false;
    std::optional<Part> body;
    if (c.kind == Kind::DisplayStream) {
        if (c.sent != m_feed.DisplayVersion()) {
            body = m_feed.Display(c.gzip);
            c.sent = m_feed.DisplayVersion();
        }
    } else {
        body = m_feed.EventFrom(c.sent, c.gzip);
        c.sent = m_feed.Version();
    }
    if (!body)
        return;
    streamWrite(socket, c,
        { Part { "id: " + QByteArray::number(static_cast<qulonglong>(c.sent)) + "\ndata: " + clockJson(), {} }, *body,
            Part { "\n\n", {} } });
}

void HttpService::streamWrite(QTcpSocket* socket, Connection& c, const QList<Part>& parts)
{
    // Output that starts after a quiet spell has been waiting from now on.
    if (socket->bytesToWrite() == 0)
        c.lastActivity = SteadyClock::now();
    for (const Part& part : parts) {
        if (!c.gzip) {
            socket->write(part.plain);
        } else if (part.packed.deflated.isEmpty()) {
            socket->write(StoredBlocks(part.plain));
        } else {
            socket->write(part.packed.deflated);
        }
    }
}

} // namespace live
