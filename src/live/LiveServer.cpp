// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/LiveServer.h"

#include "live/LiveHttp.h"

namespace live {

namespace {
QHostAddress& listenAddress()
{
    static QHostAddress address(QHostAddress::Any);
    return address;
}
} // namespace

QHostAddress DefaultListenAddress()
{
    return listenAddress();
}

void SetListenAddressForTests(const QHostAddress& address)
{
    listenAddress() = address;
}

LiveServer::LiveServer(ServerOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    m_thread.setObjectName(QStringLiteral("live-http"));
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

LiveServer::~LiveServer()
{
    // The thread ends only after it has closed everything, whatever else is
    // still queued for it.
    m_running = false;
    QMetaObject::invokeMethod(m_context, [this] {
        delete m_service;
        m_service = nullptr;
        QThread::currentThread()->quit();
    });
    m_thread.wait();
    delete m_context;
}

ListenFailure DescribeListenFailure(quint16 port, QAbstractSocket::SocketError error)
{
    const QString goesOn
        = QStringLiteral("\nDie Zeitmessung läuft weiter; ein anderer Port lässt sich in den Einstellungen wählen.");
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return { QStringLiteral("Port %1 belegt").arg(port),
            QStringLiteral("Ein anderes Programm benutzt den Port %1 schon (vielleicht ein zweites Rennzeit).")
                    .arg(port)
                + goesOn };
    case QAbstractSocket::SocketAccessError:
        return { QStringLiteral("Port %1 gesperrt").arg(port),
            QStringLiteral("Das System gibt den Port %1 nicht frei; Ports unter 1024 bleiben dem Verwalter "
                           "vorbehalten.")
                    .arg(port)
                + goesOn };
    case QAbstractSocket::SocketAddressNotAvailableError:
        return { QStringLiteral("keine Adresse"),
            QStringLiteral("Die Netzwerkadresse für die Live-Ergebnisse gibt es auf diesem Rechner nicht.") + goesOn };
    default:
        return { QStringLiteral("Port %1 Fehler").arg(port),
            QStringLiteral("Der Port %1 lässt sich nicht öffnen (Fehler Nr. %2).").arg(port).arg(int(error)) + goesOn };
    }
}

void LiveServer::Start(quint16 port)
{
    Stop();
    m_running = true;
    m_requestedPort = port;
    const int generation = ++m_generation;
    QMetaObject::invokeMethod(m_context, [this, port, generation, latest = m_latest] {
        auto service = std::make_unique<HttpService>(m_options, m_connections);
        QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
        if (!service->Listen(port, error)) {
            QMetaObject::invokeMethod(this, [this, generation, port, error] {
                if (generation != m_generation)
                    return;
                m_running = false;
                const ListenFailure failure = DescribeListenFailure(port, error);
                emit Failed(failure.headline, failure.reason);
            });
            return;
        }
        if (latest)
            service->Publish(latest);
        const quint16 bound = service->Port();
        m_service = service.release();
        QMetaObject::invokeMethod(this, [this, generation, bound] {
            if (generation != m_generation)
                return;
            m_port = bound;
            emit Listening(bound);
        });
    });
}

void LiveServer::Stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_port = 0;
    ++m_generation;
    QMetaObject::invokeMethod(m_context, [this] {
        delete m_service;
        m_service = nullptr;
    });
}

void LiveServer::Publish(std::shared_ptr<const race::Snapshot> snapshot)
{
    m_latest = snapshot;
    if (!m_running)
        return;
    QMetaObject::invokeMethod(m_context, [this, snapshot = std::move(snapshot)] {
        if (m_service)
            m_service->Publish(snapshot);
    });
}

} // namespace live
