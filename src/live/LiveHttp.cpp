#include "live/LiveHttp.h"

#include "live/LiveJson.h"
#include "live/LivePages.h"

#include <QtHttpServer/QHttpServerRequest>

#include <QDateTime>
#include <QTcpSocket>
#include <QTime>

#include <unistd.h>

namespace live {

namespace {

using SteadyClock = std::chrono::steady_clock;

// A stream gets new results only while less than this waits in its output;
// otherwise it catches up with the newest results once it has read.
constexpr qint64 kStreamBacklog = 64 * 1024;
// Connections turned away with 503 at the same time; beyond that a new one is
// closed without an answer.
constexpr int kMaxRefusing = 64;
constexpr std::chrono::milliseconds kRefuseTimeout { 2000 };

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 304:
        return "Not Modified";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Content Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

QByteArray header(const QHttpServerRequest& request, const QByteArray& name)
{
    for (const auto& [key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

const QByteArray kTextPlain = "text/plain; charset=utf-8";

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
        if (m_service.m_connections.load() >= m_service.m_options.maxConnections) {
            m_service.refuse(socket);
            return;
        }
        m_service.accepted(socket);
        addPendingConnection(socket);
    }

private:
    HttpService& m_service;
};

HttpService::HttpService(const ServerOptions& options, std::atomic<int>& connections)
    : m_options(options)
    , m_connections(connections)
    , m_version(static_cast<std::uint64_t>(QDateTime::currentMSecsSinceEpoch()))
{
    m_sweep.setInterval(
        std::min<std::chrono::milliseconds>(std::chrono::milliseconds(1000), m_options.idleTimeout / 4));
    QObject::connect(&m_sweep, &QTimer::timeout, this, [this] { sweep(); });
    m_heartbeat.setInterval(m_options.heartbeat);
    QObject::connect(&m_heartbeat, &QTimer::timeout, this, [this] { heartbeat(); });
    m_snapshot = std::make_shared<const race::Snapshot>();
    m_body = ResultsJsonBody(*m_snapshot, m_version);
}

const DeflatedPart& HttpService::compressed(int which, const std::function<QByteArray()>& data)
{
    auto& part = m_compressed[static_cast<size_t>(which)];
    if (!m_compressedFresh[static_cast<size_t>(which)]) {
        part = Deflate(data());
        m_compressedFresh[static_cast<size_t>(which)] = true;
    }
    return part;
}

const DeflatedPart& HttpService::compressedJson()
{
    return compressed(0, [this] { return m_body; });
}

const DeflatedPart& HttpService::compressedResultsPage()
{
    return compressed(1, [this] { return m_body + PageTail(Page::Results); });
}

const DeflatedPart& HttpService::compressedDisplayPage()
{
    return compressed(2, [this] { return m_body + PageTail(Page::Display); });
}

HttpService::~HttpService()
{
    // Sockets go first, while the bookkeeping their ends report to still exists.
    const QList<QTcpSocket*> sockets = m_open.keys();
    for (QTcpSocket* socket : sockets)
        delete socket;
    delete m_acceptor;
}

bool HttpService::Listen(quint16 port, QString& error)
{
    m_acceptor = new Acceptor(*this);
    if (!m_acceptor->listen(m_options.address, port)) {
        error = m_acceptor->errorString();
        delete m_acceptor;
        m_acceptor = nullptr;
        return false;
    }
    bind(m_acceptor);
    return true;
}

quint16 HttpService::Port() const
{
    return m_acceptor ? m_acceptor->serverPort() : 0;
}

void HttpService::Publish(std::shared_ptr<const race::Snapshot> snapshot)
{
    m_snapshot = std::move(snapshot);
    m_body = ResultsJsonBody(*m_snapshot, ++m_version);
    m_compressedFresh.fill(false);
    for (auto it = m_open.begin(); it != m_open.end(); ++it) {
        if (it->stream && it->counted)
            sendResults(it.key(), *it);
    }
}

QByteArray HttpService::clockJson() const
{
    return ResultsJsonClock(*m_snapshot, SteadyClock::now(), QTime::currentTime().msecsSinceStartOfDay());
}

void HttpService::accepted(QTcpSocket* socket)
{
    ++m_connections;
    Connection c;
    c.lastActivity = SteadyClock::now();
    m_open.insert(socket, c);
    // An idle server does nothing: the sweep and the heartbeat run while
    // connections are open.
    if (!m_sweep.isActive()) {
        m_sweep.start();
        m_heartbeat.start();
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Connected before Qt HttpServer takes the socket, so the limits see every
    // read before its parser does.
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { received(socket); });
    QObject::connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { written(socket); });
    // The connection is free again as soon as it is closed; the socket
    // object goes later.
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] { release(socket); });
    QObject::connect(socket, &QObject::destroyed, this, [this, socket] {
        release(socket);
        m_open.remove(socket);
    });
}

void HttpService::release(QTcpSocket* socket)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end() || !it->counted)
        return;
    it->counted = false;
    if (it->stream)
        --m_streams;
    --m_connections;
}

void HttpService::refuse(QTcpSocket* socket)
{
    if (m_refusing >= kMaxRefusing) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_refusing;
    // The answer waits for the request, so the client reads a 503 rather than
    // a reset connection.
    auto answered = std::make_shared<bool>(false);
    auto answer = [socket, answered] {
        if (*answered)
            return;
        *answered = true;
        const QByteArray body = "Zu viele Verbindungen, bitte gleich noch einmal versuchen.\n";
        socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Type: " + kTextPlain + "\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\nRetry-After: 5\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    };
    auto seen = std::make_shared<QByteArray>();
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, seen, answer] {
        *seen += socket->readAll();
        if (seen->contains("\r\n\r\n") || seen->size() > 8192)
            answer();
        seen->resize(std::min<qsizetype>(seen->size(), 8192));
    });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QObject::destroyed, this, [this] { --m_refusing; });
    QTimer::singleShot(kRefuseTimeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void HttpService::received(QTcpSocket* socket)
{
    auto it = m_open.find(socket);
    if (it == m_open.end())
        return;
    Connection& c = *it;
    if (c.stream || c.closing) {
        // Nothing more is expected here; the parser never sees it.
        socket->readAll();
        return;
    }
    const qint64 available = socket->bytesAvailable();
    if (!c.headerComplete) {
        const QByteArray probe = c.tail + socket->peek(std::min(available, m_options.maxRequestBytes + 4));
        c.headerComplete = probe.contains("\r\n\r\n");
        c.tail = probe.right(3);
    }
    c.requestBytes += available;
    if (c.requestBytes > m_options.maxRequestBytes) {
        socket->readAll();
        c.closing = true;
        respond(socket, c, c.headerComplete ? 413 : 431, kTextPlain, { "Anfrage zu gross.\n" }, false);
    }
}

void HttpService::written(QTcpSocket* socket)
{
    auto it = m_open.find(socket);
    if (it == m_open.end())
        return;
    it->lastActivity = SteadyClock::now();
    if (it->stream && it->behind && socket->bytesToWrite() < kStreamBacklog)
        sendResults(socket, *it);
}

void HttpService::sweep()
{
    if (m_open.isEmpty()) {
        m_sweep.stop();
        m_heartbeat.stop();
        return;
    }
    const auto now = SteadyClock::now();
    QList<QTcpSocket*> idle;
    for (auto it = m_open.cbegin(); it != m_open.cend(); ++it) {
        // A stream is idle when its client has stopped reading: output waits
        // and none of it has gone for the whole time. Any other connection is
        // idle when it has neither asked nor read for that time.
        const bool waiting = !it->stream || it.key()->bytesToWrite() > 0;
        if (waiting && now - it->lastActivity >= m_options.idleTimeout)
            idle << it.key();
    }
    for (QTcpSocket* socket : idle)
        socket->abort();
}

void HttpService::heartbeat()
{
    for (auto it = m_open.begin(); it != m_open.end(); ++it) {
        if (it->stream && it->counted && !it->behind)
            streamWrite(it.key(), *it, ":\n\n");
    }
}

bool HttpService::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    auto it = m_open.find(socket);
    if (it == m_open.end())
        return true;
    Connection& c = *it;
    if (c.stream || c.closing)
        return true;
    c.requestBytes = 0;
    c.headerComplete = false;
    c.tail.clear();
    c.lastActivity = SteadyClock::now();
    if (socket->bytesToWrite() > m_options.maxQueuedOutput) {
        // It asks and asks and does not read.
        socket->abort();
        return true;
    }
    if (header(request, "Connection").compare("close", Qt::CaseInsensitive) == 0
        || m_connections.load() > m_options.maxConnections / 2)
        c.closing = true;

    const auto method = request.method();
    const bool head = method == QHttpServerRequest::Method::Head;
    if (method != QHttpServerRequest::Method::Get && !head) {
        respond(socket, c, 405, kTextPlain, { "Nur GET und HEAD.\n" }, false, "Allow: GET, HEAD\r\n");
        return true;
    }
    const QString path = request.url().path();
    if (path == QLatin1String("/") || path == QLatin1String("/index.html")) {
        respondResults(socket, c, request, head, "text/html; charset=utf-8",
            PageHead(Page::Results, m_snapshot->title) + clockJson(), m_body + PageTail(Page::Results),
            &HttpService::compressedResultsPage, "Content-Security-Policy: " + PagePolicy(Page::Results) + "\r\n");
    } else if (path == QLatin1String("/display")) {
        respondResults(socket, c, request, head, "text/html; charset=utf-8",
            PageHead(Page::Display, m_snapshot->title) + clockJson(), m_body + PageTail(Page::Display),
            &HttpService::compressedDisplayPage, "Content-Security-Policy: " + PagePolicy(Page::Display) + "\r\n");
    } else if (path == QLatin1String("/results.json")) {
        // Weak: the clock part differs from one answer to the next.
        const QByteArray etag = "W/\"" + QByteArray::number(static_cast<qulonglong>(m_version)) + '"';
        const QByteArray extra = "ETag: " + etag + "\r\n";
        if (header(request, "If-None-Match") == etag)
            respond(socket, c, 304, {}, {}, true, extra);
        else
            respondResults(socket, c, request, head, "application/json; charset=utf-8", clockJson(), m_body,
                &HttpService::compressedJson, extra);
    } else if (path == QLatin1String("/events")) {
        openStream(socket, c, head);
    } else {
        respond(socket, c, 404, kTextPlain, { "Nicht gefunden.\n" }, head);
    }
    return true;
}

void HttpService::respondResults(QTcpSocket* socket, Connection& c, const QHttpServerRequest& request, bool head,
    const QByteArray& contentType, const QByteArray& front, const QByteArray& rest,
    const DeflatedPart& (HttpService::*compressedRest)(), const QByteArray& extraHeaders)
{
    const QByteArray vary = "Vary: Accept-Encoding\r\n";
    if (AcceptsGzip(header(request, "Accept-Encoding"))) {
        const DeflatedPart& part = (this->*compressedRest)();
        if (!part.deflated.isEmpty()) {
            const GzipPieces gz = GzipAfter(front, part);
            respond(socket, c, 200, contentType, { gz.front, gz.rest, gz.back }, head,
                extraHeaders + vary + "Content-Encoding: gzip\r\n");
            return;
        }
    }
    respond(socket, c, 200, contentType, { front, rest }, head, extraHeaders + vary);
}

void HttpService::missingHandler(const QHttpServerRequest&, QTcpSocket* socket)
{
    // Qt HttpServer comes here after handleRequest only for a WebSocket
    // upgrade, which this server does not offer; it deletes the socket once
    // closed.
    socket->abort();
}

void HttpService::respond(QTcpSocket* socket, Connection& c, int status, const QByteArray& contentType,
    const QList<QByteArray>& body, bool head, const QByteArray& extraHeaders)
{
    qsizetype length = 0;
    for (const QByteArray& piece : body)
        length += piece.size();
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    if (!contentType.isEmpty())
        out += "Content-Type: " + contentType + "\r\n";
    if (status != 304)
        out += "Content-Length: " + QByteArray::number(length) + "\r\n";
    out += "Cache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n";
    out += extraHeaders;
    if (c.closing)
        out += "Connection: close\r\n";
    out += "\r\n";
    socket->write(out);
    if (!head && status != 304) {
        for (const QByteArray& piece : body)
            socket->write(piece);
    }
    if (c.closing)
        socket->disconnectFromHost();
}

void HttpService::openStream(QTcpSocket* socket, Connection& c, bool head)
{
    c.closing = true;
    if (!head && m_streams >= m_options.maxStreams) {
        // The page falls back to polling.
        respond(socket, c, 503, kTextPlain, { "Zu viele Live-Verbindungen.\n" }, false, "Retry-After: 30\r\n");
        return;
    }
    QByteArray out = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream; charset=utf-8\r\n"
                     "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n";
    if (head) {
        socket->write(out);
        socket->disconnectFromHost();
        return;
    }
    // The body runs until either side closes, so no length.
    out += "retry: 3000\n\n";
    socket->write(out);
    c.stream = true;
    ++m_streams;
    sendResults(socket, c);
}

void HttpService::sendResults(QTcpSocket* socket, Connection& c)
{
    if (socket->bytesToWrite() >= kStreamBacklog) {
        c.behind = true;
        return;
    }
    c.behind = false;
    streamWrite(socket, c, "id: " + QByteArray::number(static_cast<qulonglong>(m_version)) + "\ndata: " + clockJson());
    streamWrite(socket, c, m_body);
    streamWrite(socket, c, "\n\n");
}

void HttpService::streamWrite(QTcpSocket* socket, Connection& c, const QByteArray& bytes)
{
    // Output that starts after a quiet spell has been waiting from now on.
    if (socket->bytesToWrite() == 0)
        c.lastActivity = SteadyClock::now();
    socket->write(bytes);
}

} // namespace live
