// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;

// Clients for the live-results tests and benchmarks, all on 127.0.0.1.

// One answer of the server as a browser would see it.
struct HttpResult {
    int status = 0; // 0: no answer (connection failed or timed out)
    QByteArray body;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
};

// A request through the manager; waits for the answer up to timeoutMs.
HttpResult Fetch(QNetworkAccessManager& manager, const QUrl& url, const QByteArray& verb = "GET",
    const QByteArray& body = {}, const QList<QPair<QByteArray, QByteArray>>& headers = {}, int timeoutMs = 10000);

// A bare connection that sends exactly the given bytes, for what a browser
// would never send: oversized or unfinished requests, pipelining, silence.
// It comes from 127.0.0.1 unless another loopback address is given
// (127.0.0.2 is a second client).
class RawHttp final : public QObject {
    Q_OBJECT
public:
    explicit RawHttp(quint16 port, QObject* parent = nullptr);
    RawHttp(quint16 port, const QHostAddress& from, QObject* parent = nullptr);
    bool WaitConnected(int timeoutMs = 5000);
    void Send(const QByteArray& bytes);
    // Waits until the received bytes satisfy the test or the timeout passes.
    bool WaitFor(const std::function<bool(const QByteArray&)>& done, int timeoutMs = 5000);
    bool WaitClosed(int timeoutMs = 5000);
    const QByteArray& Received() const { return m_received; }
    bool Closed() const { return m_closed; }
    QTcpSocket& Socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
    bool m_closed = false;
};

// The data of every complete event in a Server-Sent Events body.
QList<QByteArray> SseEvents(const QByteArray& stream);

// The body of an answer (after the header), and the data of a gzip stream
// as far as it has come (no trailer needed); empty on a corrupt stream.
QByteArray HttpBody(const QByteArray& answer);
QByteArray GunzipSoFar(const QByteArray& gz);

// What a page does with an event of the live results: a delta (it has
// "base") applied to the results it held, anything else taken as it is.
// An empty object when the delta does not fit the results.
QJsonObject ApplyLiveEvent(const QJsonObject& held, const QJsonObject& event);

// A port nobody listens on at the moment of asking.
quint16 FreeTcpPort();
