// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The live server under the abuse a public network brings:
// - one connection sends a 6 KB request head a byte at a time: the server
//   thread's CPU for it (target: at most twice what a thread that only reads
//   the same bytes takes, plus 0.02 s);
// - 13 addresses (127.0.0.10 to 127.0.0.22) hold 8 silent connections each
//   and open a new one whenever the server closes one: a polite client from
//   127.0.0.2 asks 40 times (target: 40 answers 200);
// - 12 addresses trickle heads on 8 connections each (a byte every 10 ms on
//   each): how long a change takes to reach an open event stream (target:
//   median <= 50 ms);
// - `ab -k -c 8 -n 5000` (apache2-utils), when it is installed: its failed
//   requests (target: ab completes, none failed).
#include "BenchSupport.h"
#include "LiveBench.h"
#include "live/LiveServer.h"
#include "support/HttpProbe.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kHolderAddresses = 13;
constexpr int kHeldPerAddress = 8;
const int kPoliteRequests = Scaled(40, 10);

// Results of 200 finishers; each round renames the first.
std::shared_ptr<const race::Snapshot> someResults(int round = 0)
{
    auto s = std::make_shared<race::Snapshot>();
    s->title = QStringLiteral("Bergrennen");
    for (int i = 0; i < 200; ++i)
        s->entries.push_back({ QString::number(i + 1),
            i == 0 && round > 0 ? QStringLiteral("Runde %1").arg(round) : QStringLiteral("Teilnehmer %1").arg(i),
            "10:00.00,00", "1.00,00", "0,00", QString::number(i + 1), race::Race::RowState::Finished,
            std::int64_t(60000), {}, {}, {}, QStringLiteral("e%1").arg(i) });
    return s;
}

// A head of about 6 KB: many short fields with one name, or fewer long ones.
QByteArray trickledHead(bool shortFields)
{
    QByteArray head = "GET /results.json HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    while (head.size() < 6000)
        head += shortFields ? QByteArray("X-A: b\r\n")
                            : "X-Long-" + QByteArray::number(head.size()) + ": " + QByteArray(100, 'v') + "\r\n";
    return head + "\r\n";
}

// Sends the head a byte at a time, each on its own, and returns the status
// of the answer (0: none). Stops sending when the server has answered early.
int trickle(quint16 port, const QByteArray& head)
{
    int status = 0;
    std::thread client([&] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (!s.waitForConnected(5000))
            return;
        s.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QByteArray answer;
        for (const char c : head) {
            if (s.state() != QAbstractSocket::ConnectedState || s.bytesAvailable() > 0)
                break;
            s.write(&c, 1);
            s.waitForBytesWritten(1000);
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
        answer += s.readAll();
        while (!answer.contains("\r\n") && s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(5000))
            answer += s.readAll();
        status = answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
    });
    client.join();
    return status;
}

// The machine alone: a server thread that only reads what comes and drops
// it. Its CPU for the same trickle is what reading byte by byte costs
// anyway; ours cannot be less.
class Sink final : public QTcpServer {
public:
    Sink()
    {
        m_thread.setObjectName(QStringLiteral("sink"));
        moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            this, [this] { listen(QHostAddress::LocalHost); }, Qt::BlockingQueuedConnection);
    }
    ~Sink() override
    {
        QMetaObject::invokeMethod(
            this,
            [this] {
                close();
                moveToThread(QCoreApplication::instance()->thread());
            },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    QThread m_thread;
};

// The holders (run in a child process, so their work is not the server's):
// addresses from 127.0.0.10 on with connections that are silent or send a
// head a byte every `dripMs`, a closed one opened again at once. Prints
// "opened N".
int runHolders(quint16 port, int addresses, int perAddress, int seconds, int dripMs)
{
    ConnectionHolders holders(port, 10, addresses, perAddress, dripMs);
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    std::printf("opened %d\n", holders.Opened());
    std::fflush(stdout);
    return 0;
}

struct Polite {
    int ok = 0;
    int refused = 0;
    int none = 0;
    double worstMs = 0;
};

// Requests from 127.0.0.2, one connection each, one after the other.
Polite askPolitely(quint16 port, int count)
{
    Polite p;
    const QHostAddress from(QStringLiteral("127.0.0.2"));
    for (int i = 0; i < count; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        RawHttp raw(port, from);
        int status = 0;
        if (raw.WaitConnected()) {
            raw.Send("GET /results.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
            raw.WaitClosed(8000);
            status = raw.Received().startsWith("HTTP/1.1 ") ? raw.Received().mid(9, 3).toInt() : 0;
        }
        p.worstMs = std::max(
            p.worstMs, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        (status == 200 ? p.ok : status == 0 ? p.none : p.refused)++;
        RunEventsFor(100);
    }
    return p;
}

struct AbResult {
    bool ran = false;
    bool completed = false;
    long complete = 0;
    long failed = 0;
    QByteArray note;
};

AbResult runAb(quint16 port)
{
    AbResult r;
    const QString ab = QStandardPaths::findExecutable(QStringLiteral("ab"));
    if (ab.isEmpty())
        return r;
    r.ran = true;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ab,
        { QStringLiteral("-k"), QStringLiteral("-c"), QStringLiteral("8"), QStringLiteral("-n"),
            QString::number(Scaled(5000, 1000)), QStringLiteral("http://127.0.0.1:%1/results.json").arg(port) });
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.note = "ab did not finish in 120 s";
        return r;
    }
    const QString out = QString::fromLocal8Bit(p.readAll());
    const auto number = [&out](const QString& label) {
        const QRegularExpressionMatch m = QRegularExpression(label + QStringLiteral(":\\s+(\\d+)")).match(out);
        return m.hasMatch() ? m.captured(1).toLong() : -1L;
    };
    r.complete = number(QStringLiteral("Complete requests"));
    r.failed = number(QStringLiteral("Failed requests"));
    r.completed = p.exitCode() == 0 && r.complete >= 0;
    if (!r.completed) {
        const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& line : lines)
            if (line.contains(QLatin1String("apr_")) || line.contains(QLatin1String("Total of")))
                r.note += line.trimmed().toUtf8() + ' ';
    }
    return r;
}

std::unique_ptr<QProcess> startHolders(quint16 port, int addresses, int seconds, int dripMs)
{
    auto holders = std::make_unique<QProcess>();
    holders->setProgram(QCoreApplication::applicationFilePath());
    holders->setArguments({ QStringLiteral("--holders"), QString::number(port), QString::number(addresses),
        QString::number(kHeldPerAddress), QString::number(seconds), QString::number(dripMs) });
    holders->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holders->start();
    holders->waitForStarted(10000);
    return holders;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 7 && QByteArray(argv[1]) == "--holders") {
        QCoreApplication app(argc, argv);
        return runHolders(
            static_cast<quint16>(atoi(argv[2])), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), atoi(argv[6]));
    }
    QCoreApplication app(argc, argv);
    live::ServerOptions options;
    options.address = QHostAddress::LocalHost;
    live::LiveServer server(options);
    server.Publish(someResults());
    QSignalSpy listening(&server, &live::LiveServer::Listening);
    server.Start(0);
    if (!listening.wait(10000)) {
        std::printf("the server did not start\n");
        return 1;
    }
    const quint16 port = server.Port();
    RunEventsFor(100);

    std::printf("Live server under abuse\n");
    bool met = true;
    double alone = 0;
    {
        Sink sink;
        const double cpu0 = ThreadCpuSeconds("sink");
        trickle(sink.serverPort(), trickledHead(false));
        RunEventsFor(50);
        alone = ThreadCpuSeconds("sink") - cpu0;
        std::printf("  the machine alone: a thread that reads a 6 KB trickle and drops it, CPU %.3f s\n", alone);
    }
    for (const bool shortFields : { true, false }) {
        const QByteArray head = trickledHead(shortFields);
        const double cpu0 = ThreadCpuSeconds("live-http");
        const auto wall0 = std::chrono::steady_clock::now();
        const int status = trickle(port, head);
        RunEventsFor(50);
        const double cpu = ThreadCpuSeconds("live-http") - cpu0;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        std::printf("  a %lld-byte head of %s sent a byte at a time over %.1f s: server thread CPU %.3f s, answer %d "
                    "(target <= twice the machine alone + 0.02 s)\n",
            static_cast<long long>(head.size()), shortFields ? "short fields with one name" : "50 long fields", wall,
            cpu, status);
        met = met && cpu >= 0 && cpu <= 2 * alone + 0.02;
    }

    const int holdSeconds = 8 + kPoliteRequests / 5;
    std::unique_ptr<QProcess> holders = startHolders(port, kHolderAddresses, holdSeconds, 0);
    RunEventsFor(3000);
    const int heldConnections = server.ConnectionCount();
    const Polite polite = askPolitely(port, kPoliteRequests);
    holders->waitForFinished(holdSeconds * 1000 + 20000);
    std::printf("  %d addresses holding %d silent connections each (%s; %d open at the server): a polite client got "
                "%d answers 200, %d refused, %d without an answer of %d requests, the slowest after %.0f ms "
                "(target: all 200)\n",
        kHolderAddresses, kHeldPerAddress, holders->readAllStandardOutput().trimmed().constData(), heldConnections,
        polite.ok, polite.refused, polite.none, kPoliteRequests, polite.worstMs);
    met = met && polite.ok == kPoliteRequests;
    RunEventsFor(500);

    // A change reaches an open event stream while 12 addresses trickle heads
    // on 8 connections each.
    const int changes = Scaled(20, 5);
    holders = startHolders(port, 12, 8 + changes / 4, 10);
    RunEventsFor(2500);
    RawHttp stream(port, QHostAddress(QStringLiteral("127.0.0.2")));
    std::vector<double> delays;
    const double streamCpu0 = ThreadCpuSeconds("live-http");
    const auto streamWall0 = std::chrono::steady_clock::now();
    if (stream.WaitConnected()) {
        stream.Send("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        RunEventsUntil([&] { return SseEvents(stream.Received()).size() == 1; }, 5000);
        for (int i = 0; i < changes; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            server.Publish(someResults(i + 1));
            if (!RunEventsUntil([&] { return SseEvents(stream.Received()).size() == i + 2; }, 5000))
                break;
            delays.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
            RunEventsFor(200);
        }
    }
    const double streamShare = (ThreadCpuSeconds("live-http") - streamCpu0)
        / std::chrono::duration<double>(std::chrono::steady_clock::now() - streamWall0).count() * 100.0;
    holders->waitForFinished(30000);
    std::sort(delays.begin(), delays.end());
    const double median = delays.empty() ? -1 : delays[delays.size() / 2], worst = delays.empty() ? -1 : delays.back();
    std::printf("  12 addresses trickling heads on 8 connections each: a change reached an open stream after %.1f ms "
                "(median), %.1f ms at most, %zu of %d; server thread CPU %.1f %% (target: median <= 50 ms)\n",
        median, worst, delays.size(), changes, streamShare);
    met = met && static_cast<int>(delays.size()) == changes && median <= 50;
    RunEventsFor(500);

    const AbResult ab = runAb(port);
    if (!ab.ran) {
        std::printf("  ab -k -c 8: not installed (apache2-utils), not measured\n");
    } else {
        std::printf("  ab -k -c 8 -n %d: %s, %ld complete, %ld failed %s(target: completes, none failed)\n",
            Scaled(5000, 1000), ab.completed ? "completed" : "ABORTED", ab.complete, ab.failed, ab.note.constData());
        met = met && ab.completed && ab.failed == 0;
    }
    return Verdict(met);
}
