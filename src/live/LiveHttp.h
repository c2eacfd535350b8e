#pragma once

#include "live/Gzip.h"
#include "live/LivePages.h"
#include "live/LiveServer.h"

#include <QtHttpServer/QAbstractHttpServer>

#include <QByteArray>
#include <QHash>
#include <QTcpServer>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class QTcpSocket;

namespace live {

// The HTTP side of the live server; it and every socket live on the server
// thread. Qt HttpServer parses the requests; connection accounting, limits,
// responses and event streams are ours, because its own responder (as of Qt
// 6.4) can neither stream nor limit.
class HttpService final : public QAbstractHttpServer {
public:
    HttpService(const ServerOptions& options, std::atomic<int>& connections);
    ~HttpService() override;
    Q_DISABLE_COPY_MOVE(HttpService)

    // Listens on the port; false with the reason when the port cannot be had.
    bool Listen(quint16 port, QString& error);
    quint16 Port() const;

    void Publish(std::shared_ptr<const race::Snapshot> snapshot);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Connection {
        // The last request or output taken by the client; for a stream, when
        // its waiting output last moved.
        std::chrono::steady_clock::time_point lastActivity;
        qint64 requestBytes = 0; // received since the last complete request
        QByteArray tail; // the last bytes seen, to find the end of a header across reads
        bool headerComplete = false;
        bool stream = false;
        bool closing = false; // answered for the last time; input is dropped
        bool behind = false; // a stream that missed results while its output was full
        bool counted = true; // still holds one of the connections
    };
    class Acceptor;

    void accepted(QTcpSocket* socket);
    void release(QTcpSocket* socket);
    void refuse(QTcpSocket* socket);
    void received(QTcpSocket* socket);
    void written(QTcpSocket* socket);
    void sweep();
    void heartbeat();
    void openStream(QTcpSocket* socket, Connection& c, bool head);
    void sendResults(QTcpSocket* socket, Connection& c);
    void streamWrite(QTcpSocket* socket, Connection& c, const QByteArray& bytes);
    QByteArray clockJson() const;
    // Answers with `front` followed by `rest`, gzipped when the client takes it
    // (the rest compressed once per change of the results).
    void respondResults(QTcpSocket* socket, Connection& c, const QHttpServerRequest& request, bool head,
        const QByteArray& contentType, const QByteArray& front, const QByteArray& rest,
        const DeflatedPart& (HttpService::*compressedRest)(), const QByteArray& extraHeaders);
    const DeflatedPart& compressedJson();
    const DeflatedPart& compressedResultsPage();
    const DeflatedPart& compressedDisplayPage();
    const DeflatedPart& compressed(int which, const std::function<QByteArray()>& data);
    void respond(QTcpSocket* socket, Connection& c, int status, const QByteArray& contentType,
        const QList<QByteArray>& body, bool head, const QByteArray& extraHeaders = {});

    ServerOptions m_options;
    std::atomic<int>& m_connections;
    Acceptor* m_acceptor = nullptr;
    QHash<QTcpSocket*, Connection> m_open;
    int m_refusing = 0;
    int m_streams = 0;
    QTimer m_sweep;
    QTimer m_heartbeat;
    std::shared_ptr<const race::Snapshot> m_snapshot;
    QByteArray m_body; // the results JSON without its clock part
    std::uint64_t m_version;
    // Compressed JSON body, and the body with each page's tail; made on the
    // first request after a change.
    std::array<DeflatedPart, 3> m_compressed;
    std::array<bool, 3> m_compressedFresh {};
};

} // namespace live
