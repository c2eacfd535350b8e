// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/HttpProbe.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

HttpResult Fetch(QNetworkAccessManager& manager, const QUrl& url, const QByteArray& verb, const QByteArray& body,
    const QList<QPair<QByteArray, QByteArray>>& headers, int timeoutMs)
{
    QNetworkRequest request(url);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply* reply = verb == "GET" ? manager.get(request)
        : verb == "HEAD"                 ? manager.head(request)
                                         : manager.sendCustomRequest(request, verb, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    HttpResult result;
    if (reply->isFinished()) {
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.body = reply->readAll();
        for (const auto& [name, value] : reply->rawHeaderPairs())
            result.headers.insert(name.toLower(), value);
    } else {
        reply->abort();
    }
    reply->deleteLater();
    return result;
}

RawHttp::RawHttp(quint16 port, QObject* parent)
    : RawHttp(port, QHostAddress::LocalHost, parent)
{
}

RawHttp::RawHttp(quint16 port, const QHostAddress& from, QObject* parent)
    : QObject(parent)
{
    if (from != QHostAddress(QHostAddress::LocalHost))
        m_socket.bind(from);
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] { m_received += m_socket.readAll(); });
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] { m_closed = true; });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            m_closed = true;
    });
    m_socket.connectToHost(QHostAddress::LocalHost, port);
}

bool RawHttp::WaitConnected(int timeoutMs)
{
    return m_socket.state() == QAbstractSocket::ConnectedState || m_socket.waitForConnected(timeoutMs);
}

void RawHttp::Send(const QByteArray& bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

bool RawHttp::WaitFor(const std::function<bool(const QByteArray&)>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done(m_received)) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

bool RawHttp::WaitClosed(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_closed) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

QList<QByteArray> SseEvents(const QByteArray& stream)
{
    QList<QByteArray> events;
    qsizetype from = 0;
    for (qsizetype end = stream.indexOf("\n\n", from); end >= 0; end = stream.indexOf("\n\n", from)) {
        QByteArray data;
        bool any = false;
        for (const QByteArray& line : stream.mid(from, end - from).split('\n')) {
            if (line.startsWith("data:")) {
                if (any)
                    data += '\n';
                data += line.mid(line.startsWith("data: ") ? 6 : 5);
                any = true;
            }
        }
        if (any)
            events << data;
        from = end + 2;
    }
    return events;
}

// The port is taken below the kernel's range for ephemeral ports: from there
// the kernel hands out the ports of every outgoing connection and of every
// listen on port 0, so a port found free there could be gone again before
// the server binds it, while other tests connect and listen beside this one.
quint16 FreeTcpPort(const QHostAddress& address)
{
    int ephemeralFrom = 32768;
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (range.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int from = QString::fromLatin1(range.readAll()).simplified().section(QLatin1Char(' '), 0, 0).toInt(&ok);
        if (ok)
            ephemeralFrom = from;
    }
    constexpr int kLowest = 10000;
    const int highest = std::min(ephemeralFrom, 20000); // the print queue's test ports start at 20000
    for (int attempt = 0; highest > kLowest && attempt < 200; ++attempt) {
        const auto port = quint16(QRandomGenerator::global()->bounded(kLowest, highest));
        QTcpServer server;
        if (server.listen(address, port))
            return port;
    }
    QTcpServer server;
    return server.listen(address, 0) ? server.serverPort() : 0;
}

QByteArray HttpBody(const QByteArray& answer)
{
    const qsizetype end = answer.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : answer.mid(end + 4);
}

QByteArray GunzipSoFar(const QByteArray& gz)
{
    z_stream z {};
    if (inflateInit2(&z, 16 + 15) != Z_OK)
        return {};
    QByteArray out;
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.constData()));
    z.avail_in = static_cast<uInt>(gz.size());
    int result = Z_OK;
    do {
        z.next_out = reinterpret_cast<Bytef*>(chunk.data());
        z.avail_out = static_cast<uInt>(chunk.size());
        result = inflate(&z, Z_SYNC_FLUSH);
        out.append(chunk.constData(), chunk.size() - z.avail_out);
    } while (result == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
    inflateEnd(&z);
    return result == Z_OK || result == Z_STREAM_END || result == Z_BUF_ERROR ? out : QByteArray();
}

QJsonObject ApplyLiveEvent(const QJsonObject& held, const QJsonObject& event)
{
    if (!event.contains("base"))
        return event;
    if (event["base"].toInteger() != held["version"].toInteger())
        return {};
    const QJsonArray old = held["entries"].toArray();
    QHash<QString, QJsonObject> byId;
    for (const QJsonValue& e : old)
        byId.insert(e["id"].toString(), e.toObject());
    for (const QJsonValue& e : event["changed"].toArray())
        byId.insert(e["id"].toString(), e.toObject());
    QList<QJsonObject> entries;
    if (event.contains("order")) {
        for (const QJsonValue& piece : event["order"].toArray()) {
            if (piece.isString()) {
                if (!byId.contains(piece.toString()))
                    return {};
                entries << byId[piece.toString()];
                continue;
            }
            const int from = piece[0].toInt(), count = piece[1].toInt();
            if (from < 0 || count < 1 || from + count > old.size())
                return {};
            for (int i = from; i < from + count; ++i)
                entries << byId[old[i]["id"].toString()];
        }
    } else {
        for (const QJsonValue& e : old)
            entries << byId[e["id"].toString()];
    }
    const QJsonObject runs = event["runs"].toObject();
    for (auto field = runs.begin(); field != runs.end(); ++field) {
        qsizetype k = 0;
        // Runs carry texts; a number field (a number or null in the
        // results) gets its number back, as the phone page does it.
        auto set = [&](const QString& value) {
            if (k < entries.size()) {
                const QJsonValue was = entries[k][field.key()];
                if (was.isDouble() || was.isNull())
                    entries[k][field.key()] = value.isEmpty() ? QJsonValue() : QJsonValue(value.toLongLong());
                else
                    entries[k][field.key()] = value;
            }
            ++k;
        };
        for (const QJsonValue& run : field->toArray()) {
            if (run.isString()) {
                set(run.toString());
            } else {
                for (int i = 0; i < run[0].toInt(); ++i)
                    set(run[1].isString() ? run[1].toString() : QString::number(run[1].toInteger() + i));
            }
        }
        if (k != entries.size())
            return {};
    }
    QJsonObject out = event;
    for (const char* key : { "base", "changed", "order", "runs" })
        out.remove(QLatin1String(key));
    QJsonArray list;
    for (const QJsonObject& e : entries)
        list.append(e);
    out["entries"] = list;
    return out;
}

namespace {

// One connection of the keep-alive load.
struct LoadConnection {
    int fd = -1;
    bool connected = false;
    bool kept = false; // has had an answer: the request goes out on a kept connection
    bool waiting = false; // a request is out (or to go out once connected)
    QByteArray in;
};

int openLoadSocket(const QHostAddress& from, quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(from.toIPv4Address());
    sockaddr_in server {};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0
        || (::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0 && errno != EINPROGRESS)) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

// The status of a whole answer at the start of `in` and its length; 0 while
// it is not whole.
std::pair<int, qsizetype> wholeAnswer(const QByteArray& in, bool& keepAlive)
{
    const qsizetype end = in.indexOf("\r\n\r\n");
    if (end < 0)
        return { 0, 0 };
    const QByteArray head = in.left(end).toLower();
    const qsizetype at = head.indexOf("\r\ncontent-length:");
    const qsizetype length
        = at < 0 ? 0 : head.mid(at + 17, head.indexOf('\r', at + 2) - at - 17).trimmed().toLongLong();
    if (in.size() < end + 4 + length)
        return { 0, 0 };
    keepAlive = head.contains("\r\nconnection: keep-alive");
    return { head.mid(9, 3).toInt(), end + 4 + length };
}

} // namespace

LoadResult KeepAliveLoad(
    quint16 port, const QHostAddress& from, int concurrency, int requests, const QByteArray& path, int timeoutMs)
{
    const QByteArray request = "GET " + path + " HTTP/1.0\r\nConnection: Keep-Alive\r\nHost: 127.0.0.1:"
        + QByteArray::number(port) + "\r\nUser-Agent: ApacheBench/2.3\r\nAccept: */*\r\n\r\n";
    LoadResult result;
    std::vector<LoadConnection> connections(static_cast<size_t>(concurrency));
    int issued = 0, done = 0;
    const auto close = [](LoadConnection& c) {
        ::close(c.fd);
        c = LoadConnection {};
    };
    // A new request on a new connection, or the same one again.
    const auto reopen = [&](LoadConnection& c, bool again) {
        close(c);
        if (!again && issued >= requests)
            return;
        if (!again)
            ++issued;
        c.fd = openLoadSocket(from, port);
        c.waiting = true;
        if (c.fd < 0) {
            ++result.failed;
            ++done;
            c.waiting = false;
        }
    };
    const auto send = [&](LoadConnection& c) {
        if (::send(c.fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) != request.size()) {
            ++result.failed;
            ++done;
            reopen(c, false);
        }
    };
    for (LoadConnection& c : connections)
        reopen(c, false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (done < requests) {
        if (std::chrono::steady_clock::now() > deadline) {
            result.timedOut = true;
            break;
        }
        std::vector<pollfd> fds;
        for (const LoadConnection& c : connections)
            fds.push_back({ c.fd, static_cast<short>(c.connected ? POLLIN : POLLOUT), 0 });
        if (::poll(fds.data(), fds.size(), 100) <= 0)
            continue;
        for (size_t i = 0; i < connections.size(); ++i) {
            LoadConnection& c = connections[i];
            if (c.fd < 0 || fds[i].revents == 0)
                continue;
            if (!c.connected) {
                int error = 0;
                socklen_t size = sizeof error;
                ::getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &size);
                if (error != 0) {
                    ++result.failed;
                    ++done;
                    reopen(c, false);
                    continue;
                }
                c.connected = true;
                send(c);
                continue;
            }
            char buffer[65536];
            const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n < 0) {
                // ECONNRESET above all: what ab gives up on.
                ++result.resets;
                ++result.failed;
                ++done;
                reopen(c, false);
                continue;
            }
            if (n == 0) {
                if (c.in.isEmpty() && c.kept) {
                    ++result.resent; // the kept connection was closed as the request went out
                    reopen(c, true);
                } else {
                    ++result.failed;
                    ++done;
                    reopen(c, false);
                }
                continue;
            }
            c.in.append(buffer, n);
            bool keepAlive = false;
            const auto [status, length] = wholeAnswer(c.in, keepAlive);
            if (length == 0)
                continue;
            ++done;
            ++(status == 200 ? result.answered : result.failed);
            c.in.remove(0, length);
            if (keepAlive && issued < requests) {
                ++issued;
                c.kept = true;
                send(c);
            } else {
                reopen(c, false);
            }
        }
    }
    for (LoadConnection& c : connections) {
        if (c.fd >= 0)
            ::close(c.fd);
    }
    return result;
}

ConnectionHolders::ConnectionHolders(
    quint16 port, int first, int addresses, int perAddress, int dripMs, QObject* parent)
    : QObject(parent)
    , m_port(port)
{
    for (int a = 0; a < addresses; ++a) {
        for (int i = 0; i < perAddress; ++i) {
            m_from.emplace_back(QStringLiteral("127.0.0.%1").arg(first + a));
            m_sent.push_back(0);
            m_sockets.push_back(std::make_unique<QTcpSocket>());
            QTcpSocket* s = m_sockets.back().get();
            const int index = static_cast<int>(m_sockets.size()) - 1;
            connect(s, &QTcpSocket::readyRead, this,
                [this, s] { m_answers += static_cast<int>(s->readAll().count("HTTP/1.1 ")); });
            connect(s, &QTcpSocket::disconnected, this,
                [this, index] { QTimer::singleShot(0, this, [this, index] { open(index); }); });
            connect(s, &QTcpSocket::errorOccurred, this, [this, s, index] {
                if (s->state() == QAbstractSocket::UnconnectedState)
                    QTimer::singleShot(0, this, [this, index] { open(index); });
            });
        }
    }
    for (int i = 0; i < static_cast<int>(m_sockets.size()); ++i)
        open(i);
    if (dripMs > 0) {
        // Short fields with one name: the most a server can be made to join.
        static const QByteArray head
            = "GET /results.json HTTP/1.1\r\nHost: 127.0.0.1\r\n" + QByteArray("X-A: b\r\n").repeated(1000);
        m_drip = new QTimer(this);
        connect(m_drip, &QTimer::timeout, this, [this] {
            for (size_t i = 0; i < m_sockets.size(); ++i) {
                QTcpSocket* s = m_sockets[i].get();
                if (s->state() == QAbstractSocket::ConnectedState && m_sent[i] < head.size())
                    s->write(head.mid(m_sent[i]++, 1));
            }
        });
        m_drip->start(dripMs);
    }
}

ConnectionHolders::~ConnectionHolders()
{
    for (auto& s : m_sockets) {
        s->disconnect(this);
        s->abort();
    }
}

int ConnectionHolders::Connected() const
{
    return static_cast<int>(std::count_if(m_sockets.begin(), m_sockets.end(),
        [](const auto& s) { return s->state() == QAbstractSocket::ConnectedState; }));
}

void ConnectionHolders::open(int index)
{
    QTcpSocket* s = m_sockets[static_cast<size_t>(index)].get();
    if (s->state() != QAbstractSocket::UnconnectedState)
        return;
    ++m_opened;
    m_sent[static_cast<size_t>(index)] = 0;
    s->bind(m_from[static_cast<size_t>(index)]);
    s->connectToHost(QHostAddress::LocalHost, m_port);
}
