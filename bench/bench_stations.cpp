// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A start station and the finish, as the library joins them: the station
// (this program again, as a child process, its clock 2.5 s ahead) on
// 127.0.0.2 keeps and serves its start impulses; the finish pulls them
// through a proxy of this program's own and merges them with its own finish
// impulses. Two phases over the same station process and link:
//
//   loopback   the proxy passes every piece on at once. Here the targets
//              apply: offset error, run time error and impulse to finish.
//   delaying   the proxy holds every piece 0-200 ms (in order) and, for a
//              while, cuts the link, during which the station is killed
//              and started again. A clock offset measured over such a link
//              is known only to within the asymmetry of its best exchanges,
//              so here the errors are set beside the uncertainty the
//              estimator states, and impulse to finish beside the delay the
//              proxy itself put in. Nothing may be lost or doubled, and the
//              starts of the cut must come soon after it ends.
//
// Figures:
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
// answers "stamped <sequence> <station ns> <ns the store took>".
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
            const std::int64_t stored = platform::WallClockNs();
            if (!taken) {
                server.Abandon(wall);
                continue;
            }
            server.Offer(*taken);
            std::printf("stamped %llu %lld %lld\n", static_cast<unsigned long long>(taken->sequence),
                static_cast<long long>(wall), static_cast<long long>(stored - wall));
            std::fflush(stdout);
        }
    });
    return QCoreApplication::exec();
}

// Forwards connections to the station, each piece after a random delay of
// 0 to `maxDelayMs` (in order), and cuts everything while `cut` is set. It
// notes, for each impulse it passes towards the finish, how long it held the
// piece that ended the impulse's "id:" line.
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
                pipe(client, upstream, false);
                pipe(upstream, client, true);
                upstream->connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), m_target);
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    quint16 Port() const { return m_server.serverPort(); }
    void SetDelay(int maxDelayMs) { m_maxDelayMs = maxDelayMs; }
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
    // The hold of the piece that last carried the impulse, in ns; -1 if none did.
    std::int64_t HeldNs(std::uint64_t sequence) const
    {
        const auto it = m_held.find(sequence);
        return it == m_held.end() ? -1 : it->second;
    }

private:
    // One direction of a connection: pieces wait in order, each until its
    // time, on one precise timer (timers of their own could fire out of
    // order and scramble the stream).
    struct Piece {
        std::int64_t due = 0;
        std::int64_t received = 0;
        QByteArray bytes; // empty: the end
    };
    struct Direction {
        QPointer<QTcpSocket> target;
        bool towardsFinish = false;
        std::deque<Piece> queue;
        QByteArray tail; // the end of what went before, for an "id:" line split between pieces
        QTimer timer;
    };

    void noteImpulses(Direction& d, const QByteArray& bytes, std::int64_t heldNs)
    {
        const QByteArray text = d.tail + bytes;
        qsizetype at = 0;
        while ((at = text.indexOf("id: ", at)) >= 0) {
            const qsizetype end = text.indexOf('\n', at);
            if (end < 0)
                break;
            if (end >= d.tail.size() && (at == 0 || text[at - 1] == '\n'))
                m_held[text.mid(at + 4, end - at - 4).toULongLong()] = heldNs;
            at = end;
        }
        d.tail = text.right(32);
    }

    void pipe(QTcpSocket* from, QTcpSocket* to, bool towardsFinish)
    {
        auto* d = new Direction;
        d->target = to;
        d->towardsFinish = towardsFinish;
        d->timer.setSingleShot(true);
        d->timer.setTimerType(Qt::PreciseTimer);
        connect(from, &QObject::destroyed, [d] { delete d; });
        auto flush = [this, d] {
            const std::int64_t now = platform::WallClockNs();
            while (!d->queue.empty() && d->queue.front().due <= now) {
                Piece piece = std::move(d->queue.front());
                d->queue.pop_front();
                if (!d->target || m_cut)
                    continue;
                if (piece.bytes.isEmpty()) {
                    d->target->disconnectFromHost();
                    continue;
                }
                if (d->towardsFinish)
                    noteImpulses(*d, piece.bytes, now - piece.received);
                if (d->target->state() == QAbstractSocket::ConnectedState)
                    d->target->write(piece.bytes);
                else
                    m_early[d->target.data()] += piece.bytes;
            }
            if (!d->queue.empty())
                d->timer.start(int((d->queue.front().due - now + kMs - 1) / kMs));
        };
        connect(&d->timer, &QTimer::timeout, this, flush);
        auto enqueue = [this, d, flush](QByteArray bytes) {
            const std::int64_t now = platform::WallClockNs();
            const std::int64_t last = d->queue.empty() ? now : d->queue.back().due;
            const std::int64_t hold = m_maxDelayMs > 0 ? std::int64_t(m_random.bounded(m_maxDelayMs + 1)) * kMs : 0;
            d->queue.push_back({ std::max(last, now + hold), now, std::move(bytes) });
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
    int m_maxDelayMs = 0;
    bool m_cut = false;
    std::vector<std::pair<QPointer<QTcpSocket>, QPointer<QTcpSocket>>> m_pairs;
    QHash<QTcpSocket*, QByteArray> m_early;
    std::map<std::uint64_t, std::int64_t> m_held;
    QRandomGenerator m_random { 5 };
};

double P99(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(double(values.size()) * 0.99))];
}

enum class Phase { Loopback, Delaying };

// What became of one start impulse.
struct Start {
    Phase phase = Phase::Loopback;
    std::int64_t stationNs = 0; // its stamp, on the station's clock
    std::int64_t storeNs = 0; // what the station's store took before it was offered
    bool duringCut = false;
    std::int64_t arrivedNs = -1; // on the finish's clock
    std::int64_t heldNs = -1; // the proxy's hold of the piece that carried it
    double offsetErrorMs = 0; // at its arrival, as it was mapped
    double uncertaintyMs = 0; // what the estimator stated then
    std::int64_t mappedNs = 0;
    int applied = 0;
    double runErrorMs = -1;
};

// The errors of one phase set beside what the estimator stated.
struct Honesty {
    double errorP99 = 0;
    double statedP99 = 0;
    int beyond = 0;
    int count = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--station")
        return RunStation(quint16(QByteArray(argv[2]).toUInt()), QString::fromLocal8Bit(argv[3]));
    const bool verbose = qEnvironmentVariableIsSet("RENNZEIT_BENCH_VERBOSE");

    const int starts = Scaled(1000, 120);
    const int loopbackStarts = starts / 2;
    const int cutStarts = Scaled(50, 10);
    const int cutMs = Scaled(30000, 3000);
    const int spacingMs = Scaled(20, 20);
    // The delaying phase cuts the link half-way.
    const int firstCut = loopbackStarts + (starts - loopbackStarts) / 2;

    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("start.impulse"));
    QTcpServer probe;
    probe.listen(QHostAddress(QStringLiteral("127.0.0.2")));
    const quint16 stationPort = probe.serverPort();
    probe.close();

    std::unique_ptr<QProcess> station;
    std::map<std::uint64_t, Start> record; // by sequence
    bool ready = false;
    auto startStation = [&] {
        ready = false;
        station = std::make_unique<QProcess>();
        station->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(station.get(), &QProcess::readyReadStandardOutput, station.get(), [&, p = station.get()] {
            while (p->canReadLine()) {
                const QList<QByteArray> parts = p->readLine().trimmed().split(' ');
                if (parts.size() == 4 && parts[0] == "stamped") {
                    Start& s = record[parts[1].toULongLong()];
                    s.stationNs = parts[2].toLongLong();
                    s.storeNs = parts[3].toLongLong();
                }
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
    std::int64_t cutBeganNs = 0, linkBackNs = 0;

    auto release = [&] {
        for (const MergedImpulse& m : merge.Release(platform::WallClockNs())) {
            if (m.fromStation) {
                Start& s = record[m.station.sequence];
                ++s.applied;
                s.mappedNs = m.at.wallNs;
                continue;
            }
            // A finish impulse: its runner is the start of the same number.
            const auto start = record.find(m.finishId);
            if (start == record.end() || start->second.applied == 0)
                continue;
            const double measured = double(m.at.wallNs - start->second.mappedNs);
            const double real = double(m.at.wallNs - (start->second.stationNs - kShift));
            start->second.runErrorMs = std::fabs(measured - real) / 1e6;
        }
    };
    QObject::connect(&link, &StationLink::ImpulseArrived, &link, [&](const Impulse& impulse) {
        const std::int64_t now = platform::WallClockNs();
        Start& s = record[impulse.sequence];
        s.arrivedNs = now;
        s.heldNs = proxy.HeldNs(impulse.sequence);
        const std::int64_t offset = link.Offset().OffsetNs(now);
        s.offsetErrorMs = std::fabs(double(offset - kShift)) / 1e6;
        s.uncertaintyMs = double(link.Offset().UncertaintyNs(now)) / 1e6;
        merge.AddStation(impulse, MapToFinish(impulse.wallNs, offset, TickWallPair::Now()), now);
        release();
    });
    QObject::connect(&link, &StationLink::Confirmed, &link, [&](Role role, qint64 stationNs) {
        merge.Confirm(role, link.Offset().ToFinish(stationNs, platform::WallClockNs()));
        release();
    });
    // A loss is the step from a stream that was up; while it stays lost,
    // every further attempt says so again.
    int losses = 0, attempts = 0;
    StationLink::State before = link.GetState();
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&link, &StationLink::StateChanged, &link, [&](Role, const QString& text) {
        const StationLink::State state = link.GetState();
        if (state == StationLink::State::Lost)
            (before == StationLink::State::Lost ? attempts : losses) += 1;
        before = state;
        if (verbose)
            std::fprintf(stderr, "%8.3f s  %s\n", double(clock.elapsed()) / 1000.0, qPrintable(text));
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
    auto arrivedUpTo = [&](int last) {
        return [&, last] {
            for (int i = 1; i <= last; ++i) {
                const auto it = record.find(std::uint64_t(i));
                if (it == record.end() || it->second.arrivedNs < 0)
                    return false;
            }
            return true;
        };
    };
    std::uint64_t finishes = 0;
    auto scheduleFinish = [&](std::uint64_t sequence, int inMs) {
        QTimer::singleShot(inMs, &link, [&, sequence] {
            const TickWallPair now = TickWallPair::Now();
            merge.AddFinish(sequence, { now.wallNs, now.tick }, now.wallNs);
            ++finishes;
            release();
        });
    };
    auto stamp = [&](int i, Phase phase, bool duringCut) {
        station->write("start\n");
        const std::uint64_t sequence = std::uint64_t(i);
        waitFor([&] { return record.count(sequence) > 0 && record[sequence].stationNs != 0; }, 5000);
        record[sequence].phase = phase;
        record[sequence].duringCut = duringCut;
    };

    // The link is up well before a race; on loopback a few clock exchanges
    // settle the offset.
    waitFor([&] { return link.Offset().Known() && link.GetState() == StationLink::State::Connected; }, 10000);
    waitFor([] { return false; }, Scaled(10000, 3000));

    // Phase 1: loopback.
    for (int i = 1; i <= loopbackStarts; ++i) {
        stamp(i, Phase::Loopback, false);
        scheduleFinish(std::uint64_t(i), 1000);
        waitFor([] { return false; }, spacingMs);
    }
    waitFor(arrivedUpTo(loopbackStarts), 10000);

    // Phase 2: the delaying link. Its figures are its own only once the
    // estimator's window (32 exchanges, one every 2 s) holds none of the
    // loopback's.
    proxy.SetDelay(200);
    if (verbose)
        std::fprintf(stderr, "%8.3f s  the link delays 0-200 ms from now\n", double(clock.elapsed()) / 1000.0);
    waitFor([] { return false; }, Scaled(70000, 4000));
    int cutCount = 0;
    bool cutting = false;
    for (int i = loopbackStarts + 1; i <= starts; ++i) {
        if (i == firstCut) {
            proxy.Cut(true);
            cutting = true;
            cutBeganNs = platform::WallClockNs();
            if (verbose)
                std::fprintf(stderr, "%8.3f s  the link is cut\n", double(clock.elapsed()) / 1000.0);
        }
        stamp(i, Phase::Delaying, cutting);
        if (!cutting) {
            scheduleFinish(std::uint64_t(i), 1000);
            waitFor([] { return false; }, spacingMs);
            continue;
        }
        if (++cutCount < cutStarts) {
            waitFor([] { return false; }, spacingMs);
            continue;
        }
        // The station dies and comes back during the cut.
        station->kill();
        station->waitForFinished();
        startStation();
        waitFor([] { return false; }, cutMs - cutStarts * spacingMs);
        proxy.Cut(false);
        cutting = false;
        linkBackNs = platform::WallClockNs();
        if (verbose)
            std::fprintf(stderr, "%8.3f s  the link is back\n", double(clock.elapsed()) / 1000.0);
        for (const auto& [sequence, s] : record) {
            if (s.duringCut)
                scheduleFinish(sequence, 6000);
        }
    }
    waitFor([&] { return arrivedUpTo(starts)() && finishes >= std::uint64_t(starts); }, 60000);
    waitFor([&] { return !merge.Waiting(); }, 35000);
    release();

    // The cut's starts, and those it caught on their way, are in once the
    // last of them has come; the healthy link is what went before the cut
    // and what was stamped after that.
    std::int64_t cutDoneNs = linkBackNs;
    int caught = 0;
    for (const auto& [sequence, s] : record) {
        const bool caughtOnTheWay = !s.duringCut && s.phase == Phase::Delaying && s.stationNs - kShift < cutBeganNs
            && (s.arrivedNs < 0 || s.arrivedNs >= cutBeganNs);
        caught += caughtOnTheWay ? 1 : 0;
        if ((s.duringCut || caughtOnTheWay) && s.arrivedNs >= 0)
            cutDoneNs = std::max(cutDoneNs, s.arrivedNs);
    }
    const double cutSeconds = double(cutDoneNs - linkBackNs) / 1e9;

    int lost = 0, duplicated = 0, stamped = 0;
    struct Figures {
        std::vector<double> offsetError, uncertainty, runError, toFinish, held, withoutHold, store;
        int offsetBeyond = 0, runBeyond = 0;
    };
    Figures phase[2];
    for (const auto& [sequence, s] : record) {
        stamped += s.stationNs != 0 ? 1 : 0;
        lost += s.applied == 0 ? 1 : 0;
        duplicated += s.applied > 1 ? s.applied - 1 : 0;
        if (s.arrivedNs < 0)
            continue;
        Figures& f = phase[int(s.phase)];
        f.offsetError.push_back(s.offsetErrorMs);
        f.uncertainty.push_back(s.uncertaintyMs);
        f.offsetBeyond += s.offsetErrorMs > s.uncertaintyMs ? 1 : 0;
        if (s.runErrorMs >= 0) {
            f.runError.push_back(s.runErrorMs);
            // The run time owes its error to the offset the start was mapped with.
            f.runBeyond += s.runErrorMs > s.uncertaintyMs + 1e-6 ? 1 : 0;
        }
        const bool healthy = !s.duringCut
            && (s.phase == Phase::Loopback || s.arrivedNs < cutBeganNs || s.stationNs - kShift > cutDoneNs);
        if (!healthy)
            continue;
        const double toFinish = double(s.arrivedNs - (s.stationNs - kShift)) / 1e6;
        f.toFinish.push_back(toFinish);
        f.store.push_back(double(s.storeNs) / 1e6);
        const double held = s.heldNs >= 0 ? double(s.heldNs) / 1e6 : 0;
        f.held.push_back(held);
        f.withoutHold.push_back(toFinish - held);
        if (verbose && toFinish > 250)
            std::fprintf(
                stderr, "start %llu took %.1f ms to the finish\n", static_cast<unsigned long long>(sequence), toFinish);
    }
    const auto late = merge.TakeLate();
    const Figures& loop = phase[int(Phase::Loopback)];
    const Figures& slow = phase[int(Phase::Delaying)];
    const int slowStarts = starts - loopbackStarts;

    std::printf("starts stamped %d, finishes %llu, run times %zu, late %zu, link lost %d times (%d further attempts)\n",
        stamped, static_cast<unsigned long long>(finishes), loop.runError.size() + slow.runError.size(), late.size(),
        losses, attempts);
    std::printf("phase \"loopback\": %d starts, the proxy passes every piece at once\n", loopbackStarts);
    const double offsetP99 = P99(loop.offsetError);
    const double runP99 = P99(loop.runError);
    const double latencyP99 = P99(loop.toFinish);
    std::printf("offset error p99 %.3f ms (target <= 1 ms)\n", offsetP99);
    std::printf("run time error p99 %.3f ms (target <= 1 ms)\n", runP99);
    std::printf("impulse to finish p99 %.1f ms on the healthy link (target <= 200 ms)\n", latencyP99);
    std::printf("  stated uncertainty p99 %.3f ms, offset errors beyond it %d of %zu, run time errors %d of %zu;"
                " of impulse to finish, the station's store took p99 %.1f ms\n",
        P99(loop.uncertainty), loop.offsetBeyond, loop.offsetError.size(), loop.runBeyond, loop.runError.size(),
        P99(loop.store));
    std::printf("phase \"0-200 ms link with the cut\": %d starts, %d of them during the %d s cut, %d caught on their "
                "way when it began\n",
        slowStarts, cutStarts, cutMs / 1000, caught);
    std::printf("  offset error p99 %.3f ms, stated uncertainty p99 %.3f ms, errors beyond it %d of %zu\n",
        P99(slow.offsetError), P99(slow.uncertainty), slow.offsetBeyond, slow.offsetError.size());
    std::printf("  run time error p99 %.3f ms, errors beyond the uncertainty of their start %d of %zu\n",
        P99(slow.runError), slow.runBeyond, slow.runError.size());
    std::printf("  impulse to finish p99 %.1f ms on the healthy link (%zu starts), the proxy's own delay p99 %.1f ms, "
                "the rest p99 %.1f ms\n",
        P99(slow.toFinish), slow.toFinish.size(), P99(slow.held), P99(slow.withoutHold));
    std::printf("lost %d, duplicated %d\n", lost, duplicated);
    std::printf("the %d starts of the %d s cut arrived %.2f s after the link returned (target <= 5 s)\n", cutStarts,
        cutMs / 1000, cutSeconds);
    station->closeWriteChannel();
    station->waitForFinished(3000);
    const bool honest = loop.offsetBeyond == 0 && loop.runBeyond == 0 && slow.offsetBeyond == 0 && slow.runBeyond == 0;
    return Verdict(offsetP99 <= 1.0 && runP99 <= 1.0 && lost == 0 && duplicated == 0 && latencyP99 <= 200.0
        && cutSeconds <= 5.0 && late.empty() && stamped == starts && honest && linkBackNs > 0);
}
