// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A start station and the finish over loopback, as the library joins them:
// the station (this program again, as a child process, its clock 2.5 s
// ahead) on 127.0.0.2 keeps and serves its start impulses; the finish pulls
// them through a proxy of this program's own that delays every piece by
// 0-200 ms and, for a while, cuts the link, during which the station is
// killed and started again. The finish merges the starts with its own
// finish impulses and measures:
//   offset error p99        the estimated offset against the real 2.5 s
//   run time error p99      finish minus mapped start against the true run time
//   lost, duplicated        starts stamped at the station against those applied
//   impulse to finish p99   stamp to arrival at the finish, healthy link
//   after the cut           how long the starts of the cut took once it ended
#include "BenchSupport.h"

#include "platform/BootClock.h"
#include "platform/WallClock.h"
#include "stations/ImpulseStore.h"
#include "stations/Merge.h"
#include "stations/StationLink.h"
#include "stations/StationServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <deque>
#include <iostream>
#include <map>
#include <set>

#include <unistd.h>

using namespace stations;

namespace {

const QString kCode = QStringLiteral("271828");
constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kShift = 2500 * kMs;

// The station: reads "start" lines on stdin, stamps, stores, offers, and
// answers "stamped <sequence> <station ns>".
int RunStation(quint16 port, const QString& store)
{
    platform::SetWallClockShiftNs(kShift);
    ImpulseStore impulses(store, Role::Start);
    QString reason;
    if (!impulses.Open(&reason)) {
        std::fprintf(stderr, "station store: %s\n", qPrintable(reason));
        return 2;
    }
    StationServer server(Role::Start, kCode);
    if (!server.Listen(QHostAddress(QStringLiteral("127.0.0.2")), port, &reason)) {
        std::fprintf(stderr, "station listen: %s\n", qPrintable(reason));
        return 2;
    }
    server.Offer(impulses.Impulses());
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &input, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            pending.remove(0, end + 1);
            const std::int64_t wall = platform::WallClockNs();
            server.Stamped(wall);
            const auto taken
                = impulses.Append(platform::GetTickCount(), wall, platform::BootId(), ImpulseKind::Barrier, nullptr);
            if (!taken) {
                server.Abandon(wall);
                continue;
            }
            server.Offer(*taken);
            std::printf(
                "stamped %llu %lld\n", static_cast<unsigned long long>(taken->sequence), static_cast<long long>(wall));
            std::fflush(stdout);
        }
    });
    return QCoreApplication::exec();
}

// Forwards connections to the station, each piece after a random delay of
// 0-200 ms (in order), and cuts everything while `cut` is set.
class Proxy final : public QObject {
public:
    explicit Proxy(quint16 target)
        : m_target(target)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = m_server.nextPendingConnection()) {
                if (m_cut) {
                    client->abort();
                    client->deleteLater();
                    continue;
                }
                auto* upstream = new QTcpSocket(this);
                client->setParent(this);
                m_pairs.push_back({ client, upstream });
                pipe(client, upstream);
                pipe(upstream, client);
                upstream->connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), m_target);
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    quint16 Port() const { return m_server.serverPort(); }
    void Cut(bool cut)
    {
        m_cut = cut;
        if (!cut)
            return;
        for (auto& [a, b] : m_pairs) {
            if (a)
                a->abort();
            if (b)
                b->abort();
        }
        m_pairs.clear();
    }

private:
    // One direction of a connection: pieces wait in order, each until its
    // time, on one precise timer (timers of their own could fire out of
    // order and scramble the stream).
    struct Direction {
        QPointer<QTcpSocket> target;
        std::deque<std::pair<std::int64_t, QByteArray>> queue; // due, bytes (empty: the end)
        QTimer timer;
    };

    void pipe(QTcpSocket* from, QTcpSocket* to)
    {
        auto* d = new Direction;
        d->target = to;
        d->timer.setSingleShot(true);
        d->timer.setTimerType(Qt::PreciseTimer);
        connect(from, &QObject::destroyed, [d] { delete d; });
        auto flush = [this, d] {
            const std::int64_t now = platform::WallClockNs();
            while (!d->queue.empty() && d->queue.front().first <= now) {
                auto [due, bytes] = std::move(d->queue.front());
                d->queue.pop_front();
                if (!d->target || m_cut)
                    continue;
                if (bytes.isEmpty())
                    d->target->disconnectFromHost();
                else if (d->target->state() == QAbstractSocket::ConnectedState)
                    d->target->write(bytes);
                else
                    m_early[d->target.data()] += bytes;
            }
            if (!d->queue.empty())
                d->timer.start(int((d->queue.front().first - now + kMs - 1) / kMs));
        };
        connect(&d->timer, &QTimer::timeout, this, flush);
        auto enqueue = [this, d, flush](QByteArray bytes) {
            const std::int64_t now = platform::WallClockNs();
            const std::int64_t last = d->queue.empty() ? now : d->queue.back().first;
            d->queue.emplace_back(std::max(last, now + std::int64_t(m_random.bounded(201)) * kMs), std::move(bytes));
            if (!d->timer.isActive())
                flush();
        };
        connect(from, &QTcpSocket::readyRead, this, [from, enqueue] { enqueue(from->readAll()); });
        // The end goes after the last piece, as on the wire.
        connect(from, &QTcpSocket::disconnected, this, [enqueue] { enqueue(QByteArray()); });
        connect(to, &QTcpSocket::connected, this, [this, to] { to->write(m_early.take(to)); });
    }

    QTcpServer m_server;
    quint16 m_target;
    bool m_cut = false;
    std::vector<std::pair<QPointer<QTcpSocket>, QPointer<QTcpSocket>>> m_pairs;
    QHash<QTcpSocket*, QByteArray> m_early;
    QRandomGenerator m_random { 5 };
};

double P99(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(double(values.size()) * 0.99))];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--station")
        return RunStation(quint16(QByteArray(argv[2]).toUInt()), QString::fromLocal8Bit(argv[3]));

    const int starts = Scaled(1000, 120);
    const int cutStarts = Scaled(50, 10);
    const int cutMs = Scaled(30000, 3000);
    const int spacingMs = Scaled(20, 20);
    const int firstCut = starts / 2;

    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("start.impulse"));
    QTcpServer probe;
    probe.listen(QHostAddress(QStringLiteral("127.0.0.2")));
    const quint16 stationPort = probe.serverPort();
    probe.close();

    std::unique_ptr<QProcess> station;
    std::map<std::uint64_t, std::int64_t> stamped; // sequence -> station ns
    bool ready = false;
    auto startStation = [&] {
        ready = false;
        station = std::make_unique<QProcess>();
        station->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(station.get(), &QProcess::readyReadStandardOutput, station.get(), [&, p = station.get()] {
            while (p->canReadLine()) {
                const QList<QByteArray> parts = p->readLine().trimmed().split(' ');
                if (parts.size() == 3 && parts[0] == "stamped")
                    stamped[parts[1].toULongLong()] = parts[2].toLongLong();
                ready = ready || parts.value(0) == "ready";
            }
        });
        station->start(QCoreApplication::applicationFilePath(),
            { QStringLiteral("--station"), QString::number(stationPort), store });
        station->waitForStarted();
        QElapsedTimer waited;
        waited.start();
        while (!ready && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };
    startStation();

    Proxy proxy(stationPort);
    StationLink link(LinkConfig { Role::Start, QStringLiteral("127.0.0.1"), proxy.Port(), kCode }, 0);
    // Finishes taken while the link is cut wait for the start's word; the
    // limit is set beyond the cut so none of them is released before the
    // starts of the cut have come (with the default of 30 s and a cut of
    // 30 s, those starts would be listed as late, as they should be).
    Merge merge(std::int64_t(cutMs + 30000) * kMs);
    std::map<std::uint64_t, std::int64_t> arrivedAt; // finish ns
    std::map<std::uint64_t, int> applyCount;
    std::map<std::uint64_t, std::int64_t> mappedStart; // finish ns of each released start
    std::vector<double> offsetErrors, runErrors, latencies;
    std::int64_t linkBackNs = 0;
    std::set<std::uint64_t> cutSequences;
    bool cutting = false;

    auto release = [&] {
        for (const MergedImpulse& m : merge.Release(platform::WallClockNs())) {
            if (m.fromStation) {
                ++applyCount[m.station.sequence];
                mappedStart[m.station.sequence] = m.at.wallNs;
                continue;
            }
            // A finish impulse: its runner is the start of the same number.
            const auto start = mappedStart.find(m.finishId);
            const auto truth = stamped.find(m.finishId);
            if (start == mappedStart.end() || truth == stamped.end())
                continue;
            const double measured = double(m.at.wallNs - start->second);
            const double real = double(m.at.wallNs - (truth->second - kShift));
            runErrors.push_back(std::fabs(measured - real) / 1e6);
        }
    };
    QObject::connect(&link, &StationLink::ImpulseArrived, &link, [&](const Impulse& impulse) {
        const std::int64_t now = platform::WallClockNs();
        arrivedAt[impulse.sequence] = now;
        const std::int64_t offset = link.Offset().OffsetNs(now);
        offsetErrors.push_back(std::fabs(double(offset - kShift)) / 1e6);
        merge.AddStation(impulse, MapToFinish(impulse.wallNs, offset, TickWallPair::Now()), now);
        release();
    });
    QObject::connect(&link, &StationLink::Confirmed, &link, [&](Role role, qint64 stationNs) {
        merge.Confirm(role, link.Offset().ToFinish(stationNs, platform::WallClockNs()));
        release();
    });
    int reconnects = 0;
    QObject::connect(&link, &StationLink::StateChanged, &link, [&](Role, const QString& text) {
        reconnects += text.contains(QStringLiteral("keine Verbindung")) ? 1 : 0;
        if (qEnvironmentVariableIsSet("RENNZEIT_BENCH_VERBOSE"))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QTimer releaseTimer;
    QObject::connect(&releaseTimer, &QTimer::timeout, &link, release);
    releaseTimer.start(100);
    link.Start();

    auto waitFor = [&](auto done, int ms) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };
    // The first clock answers before the race.
    waitFor([&] { return link.Offset().Known() && link.GetState() == StationLink::State::Connected; }, 10000);
    // The link is up well before a race: a minute of clock exchanges fills
    // the window (through the delaying link too).
    waitFor([] { return false; }, Scaled(60000, 5000));

    std::uint64_t finishIds = 0;
    auto scheduleFinish = [&](std::uint64_t sequence, int inMs) {
        QTimer::singleShot(inMs, &link, [&, sequence] {
            const TickWallPair now = TickWallPair::Now();
            merge.AddFinish(sequence, { now.wallNs, now.tick }, now.wallNs);
            ++finishIds;
            release();
        });
    };

    for (int i = 1; i <= starts; ++i) {
        if (i == firstCut) {
            proxy.Cut(true);
            cutting = true;
        }
        station->write("start\n");
        const std::uint64_t sequence = std::uint64_t(i);
        waitFor([&] { return stamped.count(sequence) > 0; }, 5000);
        if (cutting)
            cutSequences.insert(sequence);
        else
            scheduleFinish(sequence, 1000);
        if (cutting && int(cutSequences.size()) == cutStarts) {
            // The station dies and comes back during the cut.
            station->kill();
            station->waitForFinished();
            startStation();
            waitFor([] { return false; }, cutMs - cutStarts * spacingMs);
            proxy.Cut(false);
            cutting = false;
            linkBackNs = platform::WallClockNs();
            for (std::uint64_t s : cutSequences)
                scheduleFinish(s, 6000);
            continue;
        }
        waitFor([] { return false; }, spacingMs);
    }
    waitFor([&] { return int(arrivedAt.size()) >= starts && finishIds >= std::uint64_t(starts); }, 60000);
    waitFor([&] { return !merge.Waiting(); }, 35000);
    release();

    for (const auto& [sequence, wall] : stamped) {
        const auto arrived = arrivedAt.find(sequence);
        // The healthy link: before the cut (after it, the link is found
        // again first).
        if (sequence < std::uint64_t(firstCut) && arrived != arrivedAt.end())
            latencies.push_back(double(arrived->second - (wall - kShift)) / 1e6);
    }
    std::int64_t cutArrival = 0;
    for (std::uint64_t s : cutSequences) {
        const auto it = arrivedAt.find(s);
        if (it != arrivedAt.end())
            cutArrival = std::max(cutArrival, it->second - linkBackNs);
    }
    int lost = 0, duplicated = 0;
    for (const auto& [sequence, wall] : stamped) {
        Q_UNUSED(wall);
        const int n = applyCount.count(sequence) ? applyCount[sequence] : 0;
        lost += n == 0 ? 1 : 0;
        duplicated += n > 1 ? n - 1 : 0;
    }
    const auto late = merge.TakeLate();
    const double offsetP99 = P99(offsetErrors);
    const double runP99 = P99(runErrors);
    const double latencyP99 = P99(latencies);
    const double cutSeconds = double(cutArrival) / 1e9;
    std::printf("starts stamped %zu, finishes %llu, run times %zu, late %zu, link lost %d times\n", stamped.size(),
        static_cast<unsigned long long>(finishIds), runErrors.size(), late.size(), reconnects);
    std::printf("offset error p99 %.3f ms (target <= 1 ms)\n", offsetP99);
    std::printf("run time error p99 %.3f ms (target <= 1 ms)\n", runP99);
    std::printf("lost %d, duplicated %d\n", lost, duplicated);
    std::printf("impulse to finish p99 %.1f ms on the healthy link (target <= 200 ms)\n", latencyP99);
    std::printf("the %d starts of the %d s cut arrived %.2f s after the link returned (target <= 5 s)\n",
        int(cutSequences.size()), cutMs / 1000, cutSeconds);
    station->closeWriteChannel();
    station->waitForFinished(3000);
    return Verdict(offsetP99 <= 1.0 && runP99 <= 1.0 && lost == 0 && duplicated == 0 && latencyP99 <= 200.0
        && cutSeconds <= 5.0 && late.empty() && stamped.size() == size_t(starts));
}
