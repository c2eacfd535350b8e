// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/LiveHttp.h"

#include "live/Favicon.h"
#include "live/HttpAnswer.h"
#include "live/LiveJson.h"
#include "live/LivePages.h"
#include "platform/Sockets.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTime>

#include <algorithm>

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
// After the last answer our side closes first; what the client still sends
// is read and dropped for this long, so its close does not reset the
// connection before the answer has been read.
constexpr std::chrono::milliseconds kLinger { 2000 };
// A request head that has been coming for this long is no browser's: when
// connections are short, it gives way as an idle connection does.
constexpr std::chrono::milliseconds kStalledHead { 2000 };
// A new connection's first request may still be on its way for a moment
// (the client connects, then writes): until then it is not idle.
constexpr std::chrono::milliseconds kFirstRequestGrace { 1000 };

const QByteArray kTextPlain = "text/plain; charset=utf-8";

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
            platform::CloseDescriptor(descriptor);
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
    , m_limits({ options.maxConnections, options.maxConnectionsPerPeer, options.maxStreams, options.maxStreamsPerPeer })
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
    const QHostAddress peer = PeerKey(socket->peerAddress());
    const Admission admission = admissionOf(peer);
    if (admission.verdict == PeerLimits::Verdict::Wait)
        wait(socket, peer);
    else
        take(socket, peer, admission);
}

HttpService::Admission HttpService::admissionOf(const QHostAddress& peer) const
{
    // The connection that gives way is the one found when the limits asked
    // whether its address has one.
    QTcpSocket* found = nullptr;
    const PeerLimits::Admission admission = m_limits.Admit(peer, [this, &found](const QHostAddress& holder) {
        found = givingWay(holder);
        return found != nullptr;
    });
    return { admission.verdict, admission.verdict == PeerLimits::Verdict::Reclaim ? found : nullptr };
}

void HttpService::take(QTcpSocket* socket, const QHostAddress& peer, const Admission& admission)
{
    if (admission.givingWay)
        reclaim(admission.givingWay);
    accepted(socket, peer);
}

QTcpSocket* HttpService::givingWay(const QHostAddress& peer) const
{
    // The idle connection used least recently: a client that keeps several
    // open is furthest from its next request on that one. A connection with
    // a request on its way (in the kernel's buffer, coming in briskly or
    // being answered) never gives way. A head that has been trickling in for
    // seconds is no browser's: it does, the oldest first, once no connection
    // is idle.
    const auto now = SteadyClock::now();
    QTcpSocket* idle = nullptr;
    QTcpSocket* stalled = nullptr;
    TimePoint idleSince, stalledSince;
    for (auto it = m_open.cbegin(); it != m_open.cend(); ++it) {
        const Connection& c = *it;
        QTcpSocket* socket = it.key();
        if (c.peer != peer || !c.counted || c.kind != Kind::Requests || c.closing || socket->bytesToWrite() > 0)
            continue;
        if (c.requestSince) {
            if (now - *c.requestSince >= kStalledHead && (!stalled || *c.requestSince < stalledSince)) {
                stalled = socket;
                stalledSince = *c.requestSince;
            }
        } else if ((c.answered || now - c.lastActivity >= kFirstRequestGrace) && socket->bytesAvailable() == 0
            && (!idle || c.lastActivity < idleSince) && platform::UnreadBytes(socket->socketDescriptor()) == 0) {
            idle = socket;
            idleSince = c.lastActivity;
        }
    }
    return idle ? idle : stalled;
}

void HttpService::accepted(QTcpSocket* socket, const QHostAddress& peer)
{
    m_limits.Open(peer);
    ++m_connections;
    Connection c;
    c.peer = peer;
    c.lastActivity = SteadyClock::now();
    c.reader = RequestReader(m_options.maxRequestBytes);
    c.mayHandOver = m_options.handsOver && m_options.handOver;
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

void HttpService::reclaim(QTcpSocket* socket)
{
    Connection& c = m_open[socket];
    release(socket);
    // Our side closes first and what the client still sends is drained, so
    // a request it sent at this moment meets the end of the stream, not a
    // reset: browsers and ab send it again on a new connection.
    if (c.reader.HasPartial()) {
        refuseRequest(socket, c, 408);
    } else {
        c.closing = true;
        closeWhenWritten(socket, c);
    }
}

void HttpService::release(QTcpSocket* socket)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end() || !it->counted)
        return;
    it->counted = false;
    --m_connections;
    m_limits.Close(it->peer);
    if (it->kind != Kind::Requests)
        m_limits.CloseStream(it->peer);
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
    if (!m_limits.MayWait(peer, kMaxWaiting)) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_limits.StartWaiting(peer);
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
        m_limits.StopWaiting(m_waiting[i].peer);
        m_waiting.removeAt(i);
        return;
    }
}

void HttpService::admitWaiting()
{
    // Those whose address holds fewest connections first, each address in
    // the order its connections came.
    QList<Waiting> turn;
    for (const Waiting& w : std::as_const(m_waiting)) {
        if (!w.refused)
            turn << w;
    }
    std::stable_sort(turn.begin(), turn.end(), [this](const Waiting& a, const Waiting& b) {
        return m_limits.ConnectionsOf(a.peer) < m_limits.ConnectionsOf(b.peer);
    });
    for (const Waiting& w : std::as_const(turn)) {
        const Admission admission = admissionOf(w.peer);
        if (admission.verdict == PeerLimits::Verdict::Wait)
            continue;
        forget(w.socket);
        QObject::disconnect(w.socket, nullptr, this, nullptr);
        take(w.socket, w.peer, admission);
        Connection& c = m_open[w.socket];
        QByteArray seen = w.seen;
        if (!seen.isEmpty())
            c.requestSince = w.since;
        if (c.mayHandOver && !seen.isEmpty() && handedOver(w.socket, c, seen))
            continue;
        c.reader.Append(seen);
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
            w.socket->write("HTTP/1.1 503 Service Unavailable\r\n" + DateField() + "Content-Type: " + kTextPlain
                + "\r\nContent-Length: " + QByteArray::number(body.size())
                + "\r\nRetry-After: 5\r\nConnection: close\r\n\r\n" + body);
            w.socket->flush();
            if (w.socket->bytesToWrite() > 0 || !platform::ShutdownSending(w.socket->socketDescriptor()))
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
    QByteArray data = socket->readAll();
    if (c.kind != Kind::Requests || c.closing)
        return; // nothing more is expected here
    if (!c.reader.HasPartial() && c.opening.isEmpty() && !data.isEmpty())
        c.requestSince = SteadyClock::now();
    if (c.mayHandOver && handedOver(socket, c, data))
        return;
    c.reader.Append(data);
    process(socket);
}

bool HttpService::handedOver(QTcpSocket* socket, Connection& c, QByteArray& data)
{
    c.opening += data;
    const qsizetype lineEnd = c.opening.indexOf('\n');
    // A request line longer than this is none of the other service's.
    constexpr qsizetype kLongestLine = 512;
    if (lineEnd < 0 && c.opening.size() < kLongestLine)
        return true; // the rest of the line is awaited
    c.mayHandOver = false;
    data = std::exchange(c.opening, {});
    const QList<QByteArray> words = data.left(lineEnd < 0 ? data.size() : lineEnd).split(' ');
    if (words.size() < 2 || !m_options.handsOver(words[1]))
        return false;
    const qintptr copy = platform::DuplicateDescriptor(socket->socketDescriptor());
    release(socket);
    m_open.remove(socket);
    socket->disconnect(this);
    socket->abort(); // closes our descriptor only; the copy keeps the connection
    socket->deleteLater();
    if (copy >= 0)
        m_options.handOver(copy, data);
    return true;
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
        if (!c.reader.HasPartial() || c.kind != Kind::Requests || c.closing)
            return;
        if (socket->bytesToWrite() > m_options.maxQueuedOutput) {
            drop(socket); // it asks and asks and does not read
            return;
        }
        const ParsedRequest parsed = c.reader.Next();
        if (parsed.result == ParsedRequest::Result::NeedMore) {
            // The head is in and the client waits for a word before its body.
            if (c.reader.TakeContinue())
                socket->write("HTTP/1.1 100 Continue\r\n" + DateField() + "\r\n");
            return;
        }
        if (parsed.result == ParsedRequest::Result::Refused) {
            refuseRequest(socket, c, parsed.status);
            return;
        }
        c.requestSince.reset();
        if (c.reader.HasPartial())
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
    c.reader.Clear();
    if (c.halfClosed || socket->bytesToWrite() > 0)
        return; // written() comes back once the output is out
    c.halfClosed = true;
    c.lingerUntil = SteadyClock::now() + kLinger;
    // Our side ends; the client sees the end of the answer and closes, which
    // ends the connection (disconnected) without a reset.
    platform::ShutdownSending(socket->socketDescriptor());
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
    // Closed as a reclaimed one is: a request sent at this moment meets the
    // end of the stream, not a reset.
    for (QTcpSocket* socket : idle)
        reclaim(socket);
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
    const bool keep = request.KeepAlive() && m_limits.KeepsAlive(c.peer);
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
    } else if (path == "/favicon.ico") {
        // The icon changes only with the program: a browser may keep it a day.
        Answer icon { 200, "image/x-icon", { Part { FaviconIco(), {} } }, {}, false };
        icon.cacheControl = "max-age=86400";
        respond(socket, c, icon, head);
    } else {
        respond(socket, c, { 404, kTextPlain, { Part { "Nicht gefunden.\n", {} } }, {}, false }, head);
    }
}

void HttpService::refuseRequest(QTcpSocket* socket, Connection& c, int status)
{
    c.closing = true;
    c.keepAliveSaid = false;
    respond(socket, c, { status, kTextPlain, { Part { ErrorText(status), {} } }, {}, false }, false);
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
    QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + ReasonPhrase(answer.status) + "\r\n";
    out += DateField();
    if (!answer.contentType.isEmpty())
        out += "Content-Type: " + answer.contentType + "\r\n";
    if (answer.status != 304)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (answer.gzip)
        out += "Content-Encoding: gzip\r\n";
    out += "Cache-Control: " + answer.cacheControl
        + "\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n";
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
    if (!head && !m_limits.StreamRoom(c.peer)) {
        // The page falls back to polling.
        c.closing = true;
        respond(socket, c,
            { 503, kTextPlain, { Part { "Zu viele Live-Verbindungen.\n", {} } }, "Retry-After: 30\r\n", false }, false);
        return;
    }
    c.gzip = !head && AcceptsGzip(request.Field("accept-encoding"));
    QByteArray out = "HTTP/1.1 200 OK\r\n" + DateField()
        + "Content-Type: text/event-stream; charset=utf-8\r\n"
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
    c.reader.Clear();
    c.requestSince.reset();
    m_limits.OpenStream(c.peer);
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
