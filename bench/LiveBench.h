// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Shared by the live-results benchmarks: a race late in its course, the
// polling clients (run in a child process so their work is not counted as
// the server's) and the CPU time of one thread of this process.

#include "RaceBench.h"
#include "app/FMain.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// CPU seconds (user and system) of this process's thread with the given name,
// from /proc; -1 when there is none.
inline double ThreadCpuSeconds(const QByteArray& name)
{
    const long ticks = sysconf(_SC_CLK_TCK);
    for (const QString& tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(tid));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        // Fields after the name: state is the first; utime and stime are 12th and 13th.
        return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(ticks);
    }
    return -1;
}

// The address the polling clients come from: all of them from one, as if
// behind one router (the server keeps its per-address limits), and another
// than the benchmark's own streams and attackers.
inline const QHostAddress& PollerAddress()
{
    static const QHostAddress address(QStringLiteral("127.0.0.2"));
    return address;
}

// The polling clients: `count` clients, each asking for /results.json every
// `periodMs` (spread evenly over the period) and reading the whole answer,
// for `seconds`. Like a browser, a client keeps its connection while the
// server keeps it open and connects anew when the server has closed it; a
// request sent on a kept connection that the server closed before a byte of
// the answer came is sent again on a new one, as browsers do with GET.
// Prints "answers N failures M bytes B": a failure is an answer other than
// 200 or a poll whose previous answer had not come within the period.
inline int RunPollers(quint16 port, int count, int periodMs, int seconds)
{
    struct Poller {
        std::unique_ptr<QTcpSocket> socket;
        QByteArray buffer;
        qint64 expected = -1; // body bytes still to come after the header
        int status = 0;
        bool waiting = false;
        bool sendWhenConnected = false;
        bool reused = false; // the request went out on a connection that had answered before
        bool answering = false; // a byte of the answer has come
    };
    // What a browser's fetch() sends.
    static const QByteArray request = qEnvironmentVariableIsSet("RENNZEIT_BENCH_IDENTITY")
        ? QByteArray("GET /results.json HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n")
        : QByteArray("GET /results.json HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\nAccept-Encoding: gzip, deflate, "
                     "br\r\n\r\n");
    std::vector<Poller> pollers(static_cast<size_t>(count));
    long answers = 0, failures = 0, late = 0, refused = 0, cut = 0;
    qint64 bytes = 0;
    auto ask = [&](Poller& p) {
        if (p.waiting) {
            ++failures;
            ++late;
            return;
        }
        p.waiting = true;
        p.answering = false;
        if (p.socket->state() == QAbstractSocket::ConnectedState) {
            p.reused = true;
            p.socket->write(request);
        } else {
            p.reused = false;
            p.sendWhenConnected = true;
            if (p.socket->state() == QAbstractSocket::UnconnectedState) {
                p.socket->bind(PollerAddress());
                p.socket->connectToHost(QHostAddress::LocalHost, port);
            }
        }
    };
    for (int i = 0; i < count; ++i) {
        Poller& p = pollers[static_cast<size_t>(i)];
        p.socket = std::make_unique<QTcpSocket>();
        QTcpSocket* s = p.socket.get();
        QObject::connect(s, &QTcpSocket::connected, s, [&p] {
            if (std::exchange(p.sendWhenConnected, false))
                p.socket->write(request);
        });
        QObject::connect(s, &QTcpSocket::disconnected, s, [&p, &failures, &cut, port] {
            p.buffer.clear();
            p.expected = -1;
            if (!p.waiting || p.sendWhenConnected)
                return;
            if (p.reused && !p.answering) {
                // The server closed the kept connection as the request went
                // out: sent again, once, on a new one.
                p.reused = false;
                p.sendWhenConnected = true;
                QTimer::singleShot(0, p.socket.get(), [&p, port] {
                    p.socket->bind(PollerAddress());
                    p.socket->connectToHost(QHostAddress::LocalHost, port);
                });
                return;
            }
            ++failures; // closed before the answer was complete
            ++cut;
            p.waiting = false;
        });
        QObject::connect(s, &QTcpSocket::readyRead, s, [&p, &answers, &failures, &refused, &bytes] {
            p.buffer += p.socket->readAll();
            p.answering = true;
            for (;;) {
                if (p.expected < 0) {
                    const qsizetype end = p.buffer.indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const QByteArray head = p.buffer.left(end).toLower();
                    p.status = head.mid(9, 3).toInt();
                    const qsizetype at = head.indexOf("content-length:");
                    p.expected
                        = at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
                    p.buffer.remove(0, end + 4);
                }
                if (p.buffer.size() < p.expected)
                    return;
                bytes += p.expected;
                p.buffer.remove(0, p.expected);
                p.expected = -1;
                p.waiting = false;
                if (p.status == 200) {
                    ++answers;
                } else {
                    ++failures;
                    ++refused;
                }
            }
        });
        auto* timer = new QTimer(s);
        timer->setInterval(periodMs);
        QObject::connect(timer, &QTimer::timeout, s, [&p, &ask] { ask(p); });
        QTimer::singleShot(periodMs * i / count, s, [timer, &p, &ask] {
            ask(p);
            timer->start();
        });
    }
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    // Closed while the counters and buffers their handlers touch still exist.
    for (Poller& p : pollers) {
        p.socket->disconnect();
        p.socket.reset();
    }
    std::printf("answers %ld failures %ld bytes %lld late %ld refused %ld cut %ld\n", answers, failures,
        static_cast<long long>(bytes), late, refused, cut);
    std::fflush(stdout);
    return 0;
}

// Runs the event loop, as the program does, until `done` holds or the time
// is up (QTest's waits sleep between rounds of events, which would add their
// sleep to every figure). True when `done` holds.
inline bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return done();
}

inline void RunEventsFor(int ms)
{
    (void)RunEventsUntil([] { return false; }, ms);
}

// Starts this program again as the polling clients.
inline std::unique_ptr<QProcess> StartPollers(quint16 port, int count, int periodMs, int seconds)
{
    auto child = std::make_unique<QProcess>();
    child->setProgram(QCoreApplication::applicationFilePath());
    child->setArguments({ QStringLiteral("--pollers"), QString::number(port), QString::number(count),
        QString::number(periodMs), QString::number(seconds) });
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start();
    child->waitForStarted(10000);
    return child;
}

// What the pollers counted, from their last line, which is also printed.
struct PollerCounts {
    long answers = 0;
    long failures = 0;
    long refused = 0; // answers other than 200 (503 above all)
};
inline PollerCounts PollerResults(QProcess& child)
{
    const QByteArray line = child.readAllStandardOutput().trimmed();
    std::printf("  pollers: %s\n", line.constData());
    const QList<QByteArray> words = line.split(' ');
    return { words.value(1).toLong(), words.value(3).toLong(), words.value(9).toLong() };
}

// One client that holds `count` connections from 127.0.0.1 and sends each a
// request one byte every 3 s, never finishing it, and connects again
// whenever one is closed, for `seconds`. Prints "opened N answered M": the
// connections it made and the answers it got (a 503 or a 408).
inline int RunSlowClient(quint16 port, int count, int seconds)
{
    static const QByteArray request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + QByteArray(4096, 's');
    struct Slow {
        std::unique_ptr<QTcpSocket> socket;
        qsizetype sent = 0;
    };
    std::vector<Slow> clients(static_cast<size_t>(count));
    long opened = 0, answered = 0;
    for (Slow& c : clients) {
        c.socket = std::make_unique<QTcpSocket>();
        QTcpSocket* s = c.socket.get();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, &answered] {
            if (s->readAll().startsWith("HTTP/1.1 "))
                ++answered;
        });
        QObject::connect(s, &QTcpSocket::disconnected, s, [&c, &opened, port] {
            c.sent = 0;
            QTimer::singleShot(0, c.socket.get(), [&c, &opened, port] {
                ++opened;
                c.socket->connectToHost(QHostAddress::LocalHost, port);
            });
        });
        ++opened;
        s->connectToHost(QHostAddress::LocalHost, port);
    }
    QTimer drip;
    drip.setInterval(3000);
    QObject::connect(&drip, &QTimer::timeout, [&clients] {
        for (Slow& c : clients) {
            if (c.socket->state() == QAbstractSocket::ConnectedState && c.sent < request.size())
                c.socket->write(request.mid(c.sent++, 1));
        }
    });
    drip.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    for (Slow& c : clients) {
        c.socket->disconnect();
        c.socket.reset();
    }
    std::printf("opened %ld answered %ld\n", opened, answered);
    std::fflush(stdout);
    return 0;
}

inline std::unique_ptr<QProcess> StartSlowClient(quint16 port, int count, int seconds)
{
    auto child = std::make_unique<QProcess>();
    child->setProgram(QCoreApplication::applicationFilePath());
    child->setArguments(
        { QStringLiteral("--slow"), QString::number(port), QString::number(count), QString::number(seconds) });
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start();
    child->waitForStarted(10000);
    return child;
}
