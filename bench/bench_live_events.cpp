// An /events client sees each STOPP within 100 ms (p99): STOPPs on a race of
// 2,000 entries while 200 other clients poll /results.json, the stream read
// by a plain socket on a thread of its own.
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

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kEntries = 2000;
constexpr int kRunning = 400;
const int kStops = Scaled(200, 20);
constexpr int kStopEveryMs = 60;

// Reads the event stream and notes when each count of finished entries is
// first seen.
class StreamReader {
public:
    explicit StreamReader(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_ok = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        const char request[] = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n";
        m_ok = m_ok && ::send(m_fd, request, sizeof request - 1, 0) == ssize_t(sizeof request - 1);
        m_thread = std::thread([this] { run(); });
    }
    ~StreamReader()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
    }
    bool ok() const { return m_ok; }
    // The time the stream first showed `finished` finished entries.
    bool seen(int finished, Clock::time_point* at)
    {
        std::lock_guard lock(m_mutex);
        if (finished >= static_cast<int>(m_seen.size()) || m_seen[static_cast<size_t>(finished)] == Clock::time_point())
            return false;
        *at = m_seen[static_cast<size_t>(finished)];
        return true;
    }

private:
    void run()
    {
        std::vector<char> buffer(1 << 20);
        std::string pending;
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                return;
            const Clock::time_point now = Clock::now();
            pending.append(buffer.data(), static_cast<size_t>(n));
            for (size_t end = pending.find("\n\n"); end != std::string::npos; end = pending.find("\n\n")) {
                const std::string event = pending.substr(0, end);
                pending.erase(0, end + 2);
                if (event.find("data: ") == std::string::npos)
                    continue;
                int finished = 0;
                for (size_t at = event.find("\"finished\""); at != std::string::npos;
                     at = event.find("\"finished\"", at + 1))
                    ++finished;
                std::lock_guard lock(m_mutex);
                if (finished >= static_cast<int>(m_seen.size()))
                    m_seen.resize(static_cast<size_t>(finished) + 1);
                if (m_seen[static_cast<size_t>(finished)] == Clock::time_point())
                    m_seen[static_cast<size_t>(finished)] = now;
            }
        }
    }

    int m_fd = -1;
    bool m_ok = false;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_seen;
};

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
    FillLateRace(w, kEntries, kRunning);
    const int finishedBefore = kEntries - kRunning;
    w.Live().Configure(true, FreeTcpPort());
    if (!RunEventsUntil([&] { return w.Live().Server()->Port() != 0; }, 10000)) {
        std::printf("the server did not start\n");
        return 1;
    }
    const quint16 port = w.Live().Server()->Port();
    const int seconds = kStops * kStopEveryMs / 1000 + 6;
    std::unique_ptr<QProcess> pollers = StartPollers(port, 200, 2000, seconds);
    StreamReader reader(port);
    Clock::time_point at;
    if (!reader.ok() || !RunEventsUntil([&] { return reader.seen(finishedBefore, &at); }, 10000)) {
        std::printf("the event stream did not open\n");
        return 1;
    }
    RunEventsFor(2000); // the pollers are all at work

    std::vector<Clock::time_point> stoppedAt;
    QTimer stopper;
    stopper.setInterval(kStopEveryMs);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (static_cast<int>(stoppedAt.size()) == kStops)
            return;
        tick.advance(777);
        stoppedAt.push_back(Clock::now());
        w.ui.mStop->trigger();
    });
    stopper.start();
    if (!RunEventsUntil([&] { return static_cast<int>(stoppedAt.size()) == kStops; }, kStops * kStopEveryMs * 4))
        std::printf("  only %zu of %d stops in time\n", stoppedAt.size(), kStops);
    stopper.stop();
    // The last stop's event, or the time to give up on it.
    (void)RunEventsUntil([&] { return reader.seen(finishedBefore + kStops, &at); }, 5000);

    std::vector<double> us;
    int missing = 0;
    for (int i = 0; i < static_cast<int>(stoppedAt.size()); ++i) {
        if (reader.seen(finishedBefore + i + 1, &at))
            us.push_back(std::chrono::duration<double, std::micro>(at - stoppedAt[static_cast<size_t>(i)]).count());
        else
            ++missing;
    }
    pollers->waitForFinished(30000);
    const LatencySummary s = Summarize(us);
    std::printf("STOPP -> seen on an /events stream (%d entries, 200 clients polling every 2 s, a STOPP every %d ms)\n",
        kEntries, kStopEveryMs);
    PrintSummary("latency", s);
    std::printf(
        "  p99 %.1f ms (target <= 100 ms); stops not seen: %d of %zu\n", s.p99 / 1000.0, missing, stoppedAt.size());
    return Verdict(missing == 0 && s.count == size_t(kStops) && s.p99 <= 100000.0);
}
