// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/HttpProbe.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <zlib.h>

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

quint16 FreeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
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
