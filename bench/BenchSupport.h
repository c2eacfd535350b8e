// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Shared by the benchmark programs: a private home for the main window's
// files, latency summaries, and the machine's own wake-up latency, which a
// latency figure of ours can never beat.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A short run, as CI makes one (RENNZEIT_BENCH_SHORT set): fewer
// repetitions, the figures printed all the same, and the targets not judged,
// so the program fails only when it cannot run at all. Targets are judged by
// a full run.
inline bool ShortRun()
{
    return qEnvironmentVariableIsSet("RENNZEIT_BENCH_SHORT");
}

inline int Scaled(int full, int inShortRun)
{
    return ShortRun() ? inShortRun : full;
}

inline int Verdict(bool targetsMet)
{
    if (ShortRun()) {
        std::printf("short run: targets %s, not judged\n", targetsMet ? "met" : "missed");
        return 0;
    }
    return targetsMet ? 0 : 1;
}

// The main window writes its settings and, when it closes, the backup of the
// log into the working folder; a benchmark keeps both out of the user's way.
class BenchHome {
public:
    BenchHome()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        m_previous = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
    }
    ~BenchHome() { QDir::setCurrent(m_previous); }
    BenchHome(const BenchHome&) = delete;
    BenchHome& operator=(const BenchHome&) = delete;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

struct LatencySummary {
    size_t count = 0;
    double p50 = 0;
    double p99 = 0;
    double max = 0;
    size_t overOneMs = 0;
};

inline LatencySummary Summarize(std::vector<double> us)
{
    LatencySummary s;
    if (us.empty())
        return s;
    std::sort(us.begin(), us.end());
    auto at = [&](double q) { return us[std::min(us.size() - 1, static_cast<size_t>(q * (us.size() - 1) + 0.5))]; };
    s.count = us.size();
    s.p50 = at(0.50);
    s.p99 = at(0.99);
    s.max = us.back();
    s.overOneMs = static_cast<size_t>(us.end() - std::upper_bound(us.begin(), us.end(), 1000.0));
    return s;
}

inline void PrintSummary(const char* what, const LatencySummary& s)
{
    std::printf("  %s: p50 %.1f us, p99 %.1f us, max %.1f us; %zu of %zu over 1 ms\n", what, s.p50, s.p99, s.max,
        s.overOneMs, s.count);
}

// What the machine itself takes to pass a change on the way our line events
// travel: a sleeping thread is woken, and it wakes a second sleeping thread,
// which notes the time. No Qt and no work in between, so whatever this shows
// is the operating system's and the processor's share.
// With `prepareThread`, each of the three threads calls it first (to ask for
// the scheduling the measured threads get).
inline std::vector<double> MachineWakeUpUs(
    int count, std::chrono::microseconds period, const std::function<void()>& prepareThread = {})
{
    using Clock = std::chrono::steady_clock;
    struct Hop {
        std::mutex mutex;
        std::condition_variable cv;
        bool signalled = false;
        void signal()
        {
            {
                std::lock_guard lock(mutex);
                signalled = true;
            }
            cv.notify_one();
        }
        // False once the end is signalled.
        bool wait(const std::atomic<bool>& end)
        {
            std::unique_lock lock(mutex);
            cv.wait(lock, [&] { return signalled; });
            signalled = false;
            return !end.load();
        }
    };
    Hop first, second;
    std::atomic<bool> end { false };
    std::atomic<Clock::rep> changedAt { 0 };
    std::atomic<int> arrived { 0 };
    std::vector<double> us;
    us.reserve(count);

    std::thread watcher([&] {
        if (prepareThread)
            prepareThread();
        while (first.wait(end))
            second.signal();
        second.signal();
    });
    std::thread receiver([&] {
        if (prepareThread)
            prepareThread();
        while (second.wait(end)) {
            const Clock::rep now = Clock::now().time_since_epoch().count();
            us.push_back(std::chrono::duration<double, std::micro>(Clock::duration(now - changedAt.load())).count());
            arrived.fetch_add(1);
        }
    });
    std::thread driver([&] {
        if (prepareThread)
            prepareThread();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i) {
            std::this_thread::sleep_until(start + i * period);
            while (arrived.load() < i)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            changedAt.store(Clock::now().time_since_epoch().count());
            first.signal();
        }
    });
    driver.join();
    while (arrived.load() < count)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    end.store(true);
    first.signal();
    watcher.join();
    receiver.join();
    return us;
}
