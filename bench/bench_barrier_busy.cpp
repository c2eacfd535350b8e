// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Light-barrier starts while the window is busy: 2,000 start impulses at
// random intervals of 5 to 50 ms go to the main window through the simulated
// port while its GUI thread is blocked for 50 ms and 200 ms in turn every
// second. The tick counts microseconds here, so the tick each START writes
// into the log shows how far its stamp is from the true edge. Then the adapter
// is pulled and plugged in again: the time until the indicators are back, and
// what the program costs while it waits for the adapter.
#include "BenchSupport.h"
#include "app/Application.h"
#include "app/FMain.h"
#include "comm/Comms.h"
#include "controls/Dialogs.h"
#include "controls/Image.h"
#include "controls/MessageTimer.h"
#include "grid/SortGrid.h"
#include "platform/Scheduling.h"
#include "support/SerialSim.h"
#include "support/Timing.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int kEdges = Scaled(2000, 200);
constexpr int kRawColumn = 6;

// Microseconds since the benchmark began, as the tick.
class MicrosecondTick final : public platform::TickSource {
public:
    platform::Tick now() override
    {
        return static_cast<platform::Tick>(
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_start).count());
    }

private:
    Clock::time_point m_start = Clock::now();
};

double ProcessCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

void RunFor(int ms)
{
    QEventLoop pause;
    QTimer::singleShot(ms, Qt::PreciseTimer, &pause, &QEventLoop::quit);
    pause.exec();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchHome home;
    TApplication app(argc, argv);
    dialogs::SetTestMode(true);
    // First what the machine itself allows: a sleeping thread woken by another,
    // with the scheduling the watcher asks for.
    const LatencySummary machine = Summarize(
        MachineWakeUpUs(kEdges, std::chrono::microseconds(2000), [] { platform::RequestTimingPriority(); }));
    MicrosecondTick tick;
    platform::SetTickSource(&tick);
    platform::SimSerialLab lab;
    lab.AddPort(1);

    auto w = std::make_unique<TFormMain>();
    w->createDialogs();
    w->show();
    w->ui.ComPort->SetPort(1);
    w->ui.ComPort->Open();
    QElapsedTimer started;
    started.start();
    while (started.elapsed() < 1000 && !w->ui.ComPort->WatcherTimingPriority())
        RunFor(1);
    const bool timingPriority = w->ui.ComPort->WatcherTimingPriority();
    // Shorter than any gap between two impulses (the tick counts microseconds).
    SetTiming(w->Race(), &race::RaceSettings::startLockoutMs, 1);
    w->ui.LockLSStart1->trigger(); // F11: the start barrier locked

    // The GUI thread is blocked 50 ms and 200 ms in turn, once a second.
    int blocks = 0;
    QTimer blocker;
    blocker.setInterval(1000);
    QObject::connect(&blocker, &QTimer::timeout,
        [&] { std::this_thread::sleep_for(std::chrono::milliseconds(blocks++ % 2 == 0 ? 50 : 200)); });
    blocker.start();

    std::vector<platform::Tick> trueTicks;
    trueTicks.reserve(kEdges);
    std::atomic<bool> driven { false };
    std::thread driver([&] {
        // The driver stands in for the barrier's hardware: it must change the
        // line at the moment it notes as the true edge, ahead of other work.
        platform::RequestTimingPriority();
        std::mt19937 random(20240611);
        std::uniform_int_distribution<int> gapUs(5000, 50000);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Clock::time_point next = Clock::now();
        for (int i = 0; i < kEdges; ++i) {
            next += std::chrono::microseconds(gapUs(random));
            std::this_thread::sleep_until(next);
            trueTicks.push_back(tick.now());
            lab.SetLine(1, platform::MS_DSR_ON, true);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            lab.SetLine(1, platform::MS_DSR_ON, false);
        }
        driven = true;
    });
    while (!driven)
        RunFor(50);
    driver.join();
    blocker.stop();
    // Whatever is still queued is served now.
    QElapsedTimer settle;
    settle.start();
    // Every change still queued is applied before anything counts as lost.
    while (settle.elapsed() < 10000
        && (w->ui.ComPort->QueuedChanges() > 0 || w->ui.SortGrid1->Cells(kRawColumn, kEdges).isEmpty()))
        RunFor(20);
    const qint64 settleMs = settle.elapsed();
    RunFor(50);

    // Row k holds the START of impulse k: its raw column is the recorded tick.
    // Each START belongs to the edge before it: a lost edge leaves its gap
    // empty and does not shift the errors of the edges after it. The ticks
    // stay far below the tick's wrap here.
    std::vector<platform::Tick> recorded;
    for (int row = 1; row < w->ui.SortGrid1->RowCount(); ++row) {
        bool ok = false;
        const platform::Tick t = w->ui.SortGrid1->Cells(kRawColumn, row).toUInt(&ok);
        if (ok)
            recorded.push_back(t);
    }
    std::sort(recorded.begin(), recorded.end());
    std::vector<double> errorUs;
    std::vector<int> lostEdges;
    int duplicated = 0;
    const int negative = static_cast<int>(
        std::count_if(recorded.begin(), recorded.end(), [&](platform::Tick t) { return t < trueTicks.front(); }));
    for (size_t i = 0; i < trueTicks.size(); ++i) {
        const auto from = std::lower_bound(recorded.begin(), recorded.end(), trueTicks[i]);
        const auto to
            = i + 1 < trueTicks.size() ? std::lower_bound(from, recorded.end(), trueTicks[i + 1]) : recorded.end();
        if (from == to) {
            lostEdges.push_back(static_cast<int>(i));
            continue;
        }
        errorUs.push_back(static_cast<double>(*from - trueTicks[i]));
        duplicated += static_cast<int>(to - from) - 1;
    }
    const int lost = static_cast<int>(lostEdges.size());

    // The adapter is pulled and plugged in again. The race clock is stopped
    // first, so the CPU figure is what waiting for the adapter costs.
    w->ui.Clock->SetEnabled(false);
    lab.Unplug(1);
    QElapsedTimer away;
    away.start();
    while (away.elapsed() < 2000 && w->ui.ComPort->Connected())
        RunFor(5);
    const bool closed = !w->ui.ComPort->Connected() && w->ui.LabLineState->isVisible();
    const double cpuBefore = ProcessCpuMs();
    RunFor(1000);
    const double awayCpuMs = ProcessCpuMs() - cpuBefore;
    lab.AddPort(1);
    QElapsedTimer back;
    back.start();
    while (back.elapsed() < 5000 && !w->ui.ImageLSstart->isVisible())
        RunFor(5);
    const qint64 backMs = w->ui.ImageLSstart->isVisible() ? back.elapsed() : -1;

    w.reset();
    platform::SetTickSource(nullptr);

    const LatencySummary s = Summarize(errorUs);
    std::printf("bench_barrier_busy: %d start impulses at 5-50 ms, GUI thread blocked 50/200 ms every second (%d "
                "blocks)\n",
        kEdges, blocks);
    std::printf("stamp error p99 %.0f us max %.0f us lost %d\n", s.p99, s.max, lost);
    std::printf("  watcher on real-time scheduling: %s\n", timingPriority ? "yes" : "no (not permitted)");
    std::printf("  queue applied %lld ms after the last edge\n", static_cast<long long>(settleMs));
    for (int i : lostEdges) {
        std::printf("  lost edge %d at %u us, %u us after the edge before\n", i, trueTicks[static_cast<size_t>(i)],
            i > 0 ? trueTicks[static_cast<size_t>(i)] - trueTicks[static_cast<size_t>(i) - 1] : 0u);
    }
    std::printf("  p50 %.0f us; %zu of %zu over 1 ms; duplicated %d; stamped before the edge %d\n", s.p50, s.overOneMs,
        s.count, duplicated, negative);
    PrintSummary("the machine alone, two real-time threads woken in turn", machine);
    std::printf("  unplugged: port closed and shown %s; CPU while away %.1f ms in 1000 ms; indicators back %lld ms "
                "after the replug\n",
        closed ? "yes" : "NO", awayCpuMs, static_cast<long long>(backMs));
    // The stamp cannot be better than the machine's own wake-up: the targets
    // are 1 ms and 2 ms, or what the machine alone takes where it is slower.
    const double p99Target = std::max(1000.0, machine.p99);
    const double maxTarget = std::max(2000.0, machine.max);
    std::printf("  targets: p99 <= %.0f us, max <= %.0f us (1 ms and 2 ms, or the machine alone where it is slower), "
                "0 lost, 0 duplicated; back within 2000 ms, CPU while away < 20 ms\n",
        p99Target, maxTarget);
    const bool met = s.count > 0 && s.p99 <= p99Target && s.max <= maxTarget && lost == 0 && duplicated == 0
        && negative == 0 && closed && backMs >= 0 && backMs <= 2000 && awayCpuMs < 20;
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return Verdict(met);
}
