// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "stations/Impulse.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <functional>
#include <vector>

// The station's side of the link, on a thread of its own so the stamps of
// the clock exchange are taken when the request arrives, whatever the window
// is doing. Two paths, each only for a request signed under the pairing code
// (anything else: 403):
//
//   GET /station/events   Server-Sent Events: every impulse after the one
//                         the finish names (Last-Event-ID, or ?from=<n>),
//                         then each new one as it is offered, and a heartbeat
//                         that says up to which station time the stream is
//                         complete: "heartbeat <role> <last sequence> <ns>"
//   GET /station/clock?t1=<ns>
//                         the station's receive and answer times beside the
//                         finish's send time, and the kernel's clock state:
//                         "clock <role> <t1> <t2> <t3> <sync> <max µs> <est µs>"
//
// Every line sent is signed ("... sig=<hex>").
namespace stations {

struct StationServerOptions {
    std::chrono::milliseconds heartbeat { 250 };
    // How long an edge may take from its stamp to Offer when the caller does
    // not announce it with Stamped: heartbeats confirm no later time than
    // this before now, nor before the last turn of the event loop of the
    // thread the server was made on (where the edges come in to be stamped:
    // while it is held up, they may be on their way).
    std::chrono::milliseconds settle { 100 };
    int maxConnections = 16;
    // The station's wall clock (ns); empty: the system's. Tests run a
    // station whose clock is ahead in the same process.
    std::function<std::int64_t()> clock;
    qint64 maxQueuedOutput = 4 << 20;
};

class StationService;

class StationServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationServer)

public:
    StationServer(Role role, const QString& code, StationServerOptions options = {}, QObject* parent = nullptr);
    ~StationServer() override;

    // Listens on a port of its own (0: any free one). Returns once it
    // listens or has failed, with the reason.
    bool Listen(const QHostAddress& address, quint16 port, QString* reason = nullptr);
    quint16 Port() const { return m_port; }

    // Any thread. The impulses the store already has, at start-up, then each
    // new one once it is on the disk.
    void Offer(const std::vector<Impulse>& impulses);
    void Offer(const Impulse& impulse) { Offer(std::vector<Impulse> { impulse }); }
    // Any thread. An edge was stamped at this time and is on its way to the
    // store: heartbeats confirm nothing from it on until it is offered (or
    // Abandon says it will not come).
    void Stamped(std::int64_t wallNs);
    void Abandon(std::int64_t wallNs);
    void SetCode(const QString& code);

    // Any thread. A connection another server accepted and read the start of
    // (the live server hands over requests for /station/): the server takes
    // the descriptor and goes on with the bytes already received.
    void Adopt(qintptr descriptor, const QByteArray& received);

    // Whether a request path is the station's.
    static bool IsStationPath(QByteArrayView path);

signals:
    // A request was refused for its signature, time or nonce (German).
    void Refused(const QString& reason);
    // A finish opened or lost an event stream; how many are open.
    void Streams(int count);
    // The finish says it has every impulse up to this number in its race.
    void Acknowledged(quint64 applied);

private:
    QThread m_thread;
    QObject* m_context = nullptr; // lives on m_thread
    StationService* m_service = nullptr; // lives on m_thread
    QTimer m_ownerTurn; // on the owner's thread
    quint16 m_port = 0;
};

} // namespace stations
