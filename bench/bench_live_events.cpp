// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What an /events client gets per STOPP, and how soon: a race of 2,000
// entries, all out on the course, finishing in random order, while 200 other
// clients poll /results.json. Two streams are read by plain sockets on
// threads of their own: one gzip-compressed as a browser asks for it, one
// without. Targets: bytes per STOPP on the compressed stream median <= 2 KB
// and max <= 20 KB; STOPP -> seen p99 <= 100 ms.
#include "BenchSupport.h"
#include "LiveBench.h"
#include "app/Application.h"
#include "app/LivePublisher.h"
#include "controls/Dialogs.h"
#include "live/LiveServer.h"
#include "support/HttpProbe.h"
#include "support/SerialSim.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kEntries = 2000;
const int kStops = Scaled(1500, 30);
constexpr int kStopEveryMs = 50;

// Reads an event stream and notes, for each entry number reported finished,
// when it was first seen and how many bytes came over the wire for that event.
class StreamReader {
public:
    StreamReader(quint16 port, bool gzip)
        : m_gzip(gzip)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_ok = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        const std::string request
            = std::string("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n")
            + (gzip ? "Accept-Encoding: gzip, deflate, br\r\n" : "") + "\r\n";
        m_ok = m_ok && ::send(m_fd, request.data(), request.size(), 0) == ssize_t(request.size());
        inflateInit2(&m_z, 16 + 15);
        m_thread = std::thread([this] { run(); });
    }
    ~StreamReader()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
        inflateEnd(&m_z);
    }
    bool ok() const { return m_ok; }
    bool seen(const QString& number, Clock::time_point* at, qint64* bytes)
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_seen.find(number);
        if (it == m_seen.end())
            return false;
        *at = it->second.first;
        *bytes = it->second.second;
        return true;
    }
    int events()
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

private:
    void run()
    {
        std::vector<char> buffer(1 << 20);
        QByteArray head, text;
        bool inBody = false;
        qint64 wire = 0; // since the last event
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                return;
            const Clock::time_point now = Clock::now();
            QByteArray bytes(buffer.data(), n);
            if (!inBody) {
                head += bytes;
                const qsizetype end = head.indexOf("\r\n\r\n");
                if (end < 0)
                    continue;
                bytes = head.mid(end + 4);
                inBody = true;
            }
            wire += bytes.size();
            text += m_gzip ? inflated(bytes) : bytes;
            for (qsizetype end = text.indexOf("\n\n"); end >= 0; end = text.indexOf("\n\n")) {
                const QByteArray event = text.left(end);
                text.remove(0, end + 2);
                const qsizetype data = event.indexOf("data: ");
                if (data < 0)
                    continue;
                const QJsonObject o = QJsonDocument::fromJson(event.mid(data + 6)).object();
                std::lock_guard lock(m_mutex);
                ++m_events;
                for (const QJsonValue& e : o["changed"].toArray()) {
                    if (e["state"].toString() == QLatin1String("finished"))
                        m_seen.emplace(e["number"].toString(), std::make_pair(now, wire));
                }
                wire = 0;
            }
        }
    }
    QByteArray inflated(const QByteArray& bytes)
    {
        QByteArray out;
        char chunk[65536];
        m_z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
        m_z.avail_in = static_cast<uInt>(bytes.size());
        do {
            m_z.next_out = reinterpret_cast<Bytef*>(chunk);
            m_z.avail_out = sizeof chunk;
            if (inflate(&m_z, Z_SYNC_FLUSH) < 0)
                return out;
            out.append(chunk, static_cast<qsizetype>(sizeof chunk - m_z.avail_out));
        } while (m_z.avail_in > 0 || m_z.avail_out == 0);
        return out;
    }

    bool m_gzip;
    z_stream m_z {};
    int m_fd = -1;
    bool m_ok = false;
    std::thread m_thread;
    std::mutex m_mutex;
    std::map<QString, std::pair<Clock::time_point, qint64>> m_seen;
    int m_events = 0;
};

double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * (v.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && QByteArray(argv[1]) == "--pollers") {
        QCoreApplication app(argc, argv);
        return RunPollers(static_cast<quint16>(atoi(argv[2])), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchHome home;
    TApplication app(argc, argv);
    dialogs::SetTestMode(true);
    live::SetListenAddressForTests(QHostAddress::LocalHost);
    ScopedFakeTick tick(1000000);
    platform::SimSerialLab lab;

    TFormMain w;
    w.createDialogs();
    FillLateRace(w, kEntries, kEntries); // everyone out on the course
    tick.advance(100000); // the last of them started a while ago
    w.Live().Configure(true, FreeTcpPort());
    if (!RunEventsUntil([&] { return w.Live().Server()->Port() != 0; }, 10000)) {
        std::printf("the server did not start\n");
        return 1;
    }
    const quint16 port = w.Live().Server()->Port();
    const int seconds = kStops * kStopEveryMs / 1000 + 8;
    std::unique_ptr<QProcess> pollers = StartPollers(port, 200, 2000, seconds);
    StreamReader zipped(port, true), plain(port, false);
    if (!zipped.ok() || !plain.ok()
        || !RunEventsUntil([&] { return zipped.events() >= 1 && plain.events() >= 1; }, 10000)) {
        std::printf("the event streams did not open\n");
        return 1;
    }
    RunEventsFor(2000); // the pollers are all at work

    // Each STOPP on a runner picked at random, some time after the last.
    QRandomGenerator random(2028);
    QStringList out;
    for (int i = 1; i <= kEntries; ++i)
        out << QString::number(i);
    std::vector<std::pair<QString, Clock::time_point>> stopped;
    TSortGrid* g = w.ui.SortGrid1;
    QTimer stopper;
    stopper.setInterval(kStopEveryMs);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (static_cast<int>(stopped.size()) == kStops)
            return;
        const QString number = out.takeAt(random.bounded(static_cast<int>(out.size())));
        w.ui.SortGrid1->SetRow(g->FindRow(0, number, false));
        tick.advance(100 + random.bounded(900));
        stopped.emplace_back(number, Clock::now());
        w.ui.mStop->trigger();
    });
    stopper.start();
    if (!RunEventsUntil([&] { return static_cast<int>(stopped.size()) == kStops; }, kStops * kStopEveryMs * 4))
        std::printf("  only %zu of %d stops in time\n", stopped.size(), kStops);
    stopper.stop();
    Clock::time_point at;
    qint64 bytes = 0;
    (void)RunEventsUntil([&] { return zipped.seen(stopped.back().first, &at, &bytes); }, 5000);
    RunEventsFor(200);

    std::vector<double> us, zippedBytes, plainBytes;
    int missing = 0;
    for (const auto& [number, when] : stopped) {
        qint64 plainSize = 0;
        if (zipped.seen(number, &at, &bytes) && plain.seen(number, &at, &plainSize)) {
            us.push_back(std::chrono::duration<double, std::micro>(at - when).count());
            zippedBytes.push_back(double(bytes));
            plainBytes.push_back(double(plainSize));
        } else {
            ++missing;
        }
    }
    pollers->waitForFinished(30000);
    (void)PollerResults(*pollers);
    const LatencySummary s = Summarize(us);
    std::printf("Per STOPP on an /events stream: %d entries, runners finishing in random order, 200 clients polling "
                "every 2 s, a STOPP every %d ms\n",
        kEntries, kStopEveryMs);
    std::printf("  bytes per STOPP, gzip (as browsers ask): median %.0f, p99 %.0f, max %.0f (targets: median <= 2048, "
                "max <= 20480; before: about 304 KB, whole results every time)\n",
        percentile(zippedBytes, 0.5), percentile(zippedBytes, 0.99), percentile(zippedBytes, 1.0));
    std::printf("  bytes per STOPP, uncompressed: median %.0f, p99 %.0f, max %.0f\n", percentile(plainBytes, 0.5),
        percentile(plainBytes, 0.99), percentile(plainBytes, 1.0));
    PrintSummary("STOPP -> seen", s);
    std::printf(
        "  p99 %.1f ms (target <= 100 ms); stops not seen: %d of %zu\n", s.p99 / 1000.0, missing, stopped.size());
    const bool met = missing == 0 && s.count == size_t(kStops) && s.p99 <= 100000.0
        && percentile(zippedBytes, 0.5) <= 2048 && percentile(zippedBytes, 1.0) <= 20480;
    return Verdict(met);
}
