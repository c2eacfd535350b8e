#include "support/HttpProbe.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

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
    : QObject(parent)
{
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
