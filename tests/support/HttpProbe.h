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
#include <memory>
#include <vector>

class QNetworkAccessManager;
class QTimer;

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

// A port nobody listens on at the moment of asking, on the address (every
// address when it is Any), outside the range the kernel hands out.
quint16 FreeTcpPort(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost));

// What a keep-alive load counted, as `ab -k` counts it.
struct LoadResult {
    int answered = 0; // answers 200, whole
    // Answers other than 200, answers cut short, and new connections closed
    // before any answer: ab's failed requests.
    int failed = 0;
    int resets = 0; // connections reset by the server: ab stops at the first
    // Requests sent again on a new connection because the server had closed
    // the kept one before a byte of the answer came (no failure for ab).
    int resent = 0;
    bool timedOut = false;
};

// Like `ab -k -c <concurrency> -n <requests>` from a loopback address: each
// connection sends an HTTP/1.0 request with "Connection: Keep-Alive" for
// `path`, reads the whole answer and sends the next on the same connection
// while the server keeps it, otherwise on a new one. Plain sockets, so a
// reset is told apart from an orderly close. Runs in the calling thread; the
// server must run on another.
LoadResult KeepAliveLoad(quint16 port, const QHostAddress& from, int concurrency, int requests,
    const QByteArray& path = "/results.json", int timeoutMs = 60000);

// Clients that hold connections from the loopback addresses 127.0.0.<first>
// on (`addresses` of them, `perAddress` connections each) and open a new one
// at once whenever the server closes one. Silent, or sending a request head
// of many short fields a byte at a time, one byte on every connection each
// `dripMs`.
class ConnectionHolders final : public QObject {
    Q_OBJECT
public:
    ConnectionHolders(
        quint16 port, int first, int addresses, int perAddress, int dripMs = 0, QObject* parent = nullptr);
    ~ConnectionHolders() override;
    int Opened() const { return m_opened; }
    int Connected() const;
    // The status lines they got (408, 503, ...).
    int Answers() const { return m_answers; }

private:
    void open(int index);

    quint16 m_port;
    std::vector<std::unique_ptr<QTcpSocket>> m_sockets;
    std::vector<QHostAddress> m_from;
    std::vector<qsizetype> m_sent;
    QTimer* m_drip = nullptr;
    int m_opened = 0;
    int m_answers = 0;
};
