// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "race/RaceSnapshot.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

// The live-results server: HTTP on its own thread, so neither a flood of
// requests nor a slow phone ever holds up the race on the GUI thread. The
// window publishes a snapshot after every change; the server takes it only
// when spectators would see something new, turns it into JSON once and hands
// it to every page, poller and event stream.
//
//   GET /                results page for phones and desktop browsers
//   GET /results.json    the results as JSON
//   GET /events          Server-Sent Events: the whole results first (or what
//                        changed since ?since=<version> or Last-Event-ID),
//                        then after each change only what changed
//   GET /display         race clock and the last five finishers for a big screen
//   GET /display.json    what the display shows, as JSON
//   GET /display/events  the display's data after each change of it
//
//   GET /favicon.ico     the program's icon
//
// Read-only: GET and HEAD only (others 405), unknown paths 404, no file
// system access. Requests are read as RFC 9112 says (malformed ones 400,
// other major versions 505), heads as they arrive, at most 100 field lines.
// Limits: request size, connections and event streams in total and per
// client address (an IPv6 client by its /64 network; more get 503 with
// Retry-After), idle connections, unfinished requests, and the output queued
// for a client that does not read. Beyond four fifths of the connections a
// newcomer is served in place of an idle connection of the address holding
// most, so no group of addresses locks the others out.
namespace live {

// Where a server listens by default: every interface. Tests keep their
// servers on the loopback interface.
QHostAddress DefaultListenAddress();
void SetListenAddressForTests(const QHostAddress& address);

struct ServerOptions {
    QHostAddress address = DefaultListenAddress();
    int maxConnections = 100;
    // Event streams hold their connection for good: at most this many, so
    // page loads and polls always find a connection. Once half the
    // connections are open, answers close theirs instead of keeping it for
    // the client's next request; so many more clients than connections can
    // poll.
    int maxStreams = 80;
    // What one client address may hold, so a single visitor cannot lock out
    // the rest; a family's phones behind one router share an address. Its
    // connection used least recently that has no request in flight gives way
    // to the address's next one.
    int maxConnectionsPerPeer = 8;
    int maxStreamsPerPeer = 4;
    // A connection is idle while it completes no request and takes no
    // output; an event stream while its client reads none of what waits.
    std::chrono::milliseconds idleTimeout { 60000 };
    // A request must be complete this long after its first byte (408).
    std::chrono::milliseconds requestTimeout { 10000 };
    // Request line, headers and body of one request.
    qint64 maxRequestBytes = 8192;
    // An event stream sends a comment this often, so proxies and phones keep
    // it open and a client that has gone shows up as one that reads nothing.
    std::chrono::milliseconds heartbeat { 15000 };
    // Output queued for one client beyond which it gets nothing more until it
    // has read (a stream then skips to the newest results; a client that
    // requests without reading is closed).
    qint64 maxQueuedOutput = 1 << 20;
    // A connection whose first request is for a path `handsOver` accepts
    // belongs to another service sharing the port (a timing station's link):
    // `handOver` gets a copy of its descriptor, which it then owns, and the
    // bytes read so far, on the server thread. Empty: every path is ours.
    std::function<bool(QByteArrayView path)> handsOver;
    std::function<void(qintptr descriptor, const QByteArray& received)> handOver;
};

// Why the server could not listen, in German: a few words for the header
// bar ("Port 8080 belegt") and the reason with what to do for its tooltip.
struct ListenFailure {
    QString headline;
    QString reason;
};
ListenFailure DescribeListenFailure(quint16 port, QAbstractSocket::SocketError error);

class HttpService;

class LiveServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LiveServer)
public:
    explicit LiveServer(ServerOptions options = {}, QObject* parent = nullptr);
    ~LiveServer() override;

    // Starts listening on the port (0: any free port); a running server is
    // stopped first. Returns at once; Listening or Failed follows.
    void Start(quint16 port);
    void Stop();
    bool Running() const { return m_running; }
    // The port listened on; 0 until Listening.
    quint16 Port() const { return m_port; }
    // The port of the last Start.
    quint16 RequestedPort() const { return m_requestedPort; }

    // Hands the results to the server thread; the newest one is served.
    void Publish(std::shared_ptr<const race::Snapshot> snapshot);

    // Open connections (any thread).
    int ConnectionCount() const { return m_connections.load(); }

signals:
    void Listening(quint16 port);
    // headline and reason as DescribeListenFailure gives them.
    void Failed(const QString& headline, const QString& reason);

private:
    ServerOptions m_options;
    QThread m_thread;
    QObject* m_context = nullptr; // lives on m_thread; everything there runs through it
    HttpService* m_service = nullptr; // touched only on m_thread
    std::shared_ptr<const race::Snapshot> m_latest;
    std::atomic<int> m_connections { 0 };
    int m_generation = 0;
    bool m_running = false;
    quint16 m_port = 0;
    quint16 m_requestedPort = 0;
};

} // namespace live
