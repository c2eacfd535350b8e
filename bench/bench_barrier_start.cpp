// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A light-barrier edge on DSR -> the tick read by START, with the race clock
// running and 2,000 rows in the protocol.
#include "BenchSupport.h"
#include "app/Application.h"
#include "app/FMain.h"
#include "comm/Comms.h"
#include "controls/Dialogs.h"
#include "controls/Image.h"
#include "controls/MessageTimer.h"
#include "grid/SortGrid.h"
#include "support/SerialSim.h"
#include "support/Timing.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The system tick, remembering when it was first read after a reset: the
// barrier dispatch stamps the edge with that reading, and START takes the
// stamp's tick.
class StampingTick final : public platform::TickSource {
public:
    platform::Tick now() override
    {
        long long unread = 0;
        lastRead.compare_exchange_strong(unread, Clock::now().time_since_epoch().count(), std::memory_order_acq_rel);
        return m_system.now();
    }
    std::atomic<long long> lastRead { 0 };

private:
    platform::SystemTickSource m_system;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchHome home;
    TApplication app(argc, argv);
    dialogs::SetTestMode(true);
    StampingTick tick;
    platform::SetTickSource(&tick);
    platform::SimSerialLab lab;
    lab.AddPort(1);

    TFormMain w;
    w.createDialogs();
    w.show();
    w.ui.ComPort->SetPort(1);
    w.ui.ComPort->Open();
    SetTiming(w.Race(), &race::RaceSettings::startLockoutMs, 1); // the lockout must not swallow the next edge
    w.ui.LockLSStart1->trigger();
    w.ui.SortGrid1->SetRowCount(2001);
    w.ui.SortGrid1->SetRow(1);

    // The event loop sleeps between events, as the program's own does; a
    // START, which moves the current row on, quits it.
    QEventLoop loop;
    w.ui.SortGrid1->OnRowSelected = [&loop](QObject*) { loop.quit(); };
    auto runFor = [](int ms) {
        QEventLoop pause;
        QTimer::singleShot(ms, Qt::PreciseTimer, &pause, &QEventLoop::quit);
        pause.exec();
    };

    QTimer giveUp; // never wait forever for a START
    giveUp.setSingleShot(true);
    giveUp.setInterval(1000);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);

    const int kEdges = Scaled(400, 100);
    std::vector<double> us;
    us.reserve(kEdges);
    int missed = 0;
    for (int i = 0; i < kEdges && w.ui.SortGrid1->Row() < w.ui.SortGrid1->RowCount() - 1; ++i) {
        // Line off, a pause with the clock running, the barrier freed again.
        lab.SetLines(1, 0);
        runFor(7 + i % 5);
        w.ui.TimerGesperrtStart->Fire();
        if (w.ui.ImageLSstart->Tag == 0)
            w.ui.LockLSStart1->trigger();
        tick.lastRead.store(0);
        giveUp.start();
        const long long before = Clock::now().time_since_epoch().count();
        lab.SetLines(1, 0x20);
        loop.exec();
        const long long read = tick.lastRead.load();
        giveUp.stop();
        if (read > before)
            us.push_back(std::chrono::duration<double, std::micro>(std::chrono::nanoseconds(read - before)).count());
        else
            ++missed;
    }
    platform::SetTickSource(nullptr);
    if (us.empty()) {
        std::printf("no START was triggered\n");
        return 1;
    }
    // The same number of hand-overs at the same pace, without the program.
    const LatencySummary machine
        = Summarize(MachineWakeUpUs(static_cast<int>(us.size()), std::chrono::milliseconds(9)));
    const LatencySummary ours = Summarize(us);
    std::printf("DSR edge -> tick read by START, clock running, %d rows: %zu starts\n", w.ui.SortGrid1->RowCount() - 1,
        us.size());
    PrintSummary("edge -> START's tick", ours);
    PrintSummary("the machine alone, same pace, two threads woken in turn", machine);
    std::printf("  edges without a START within 1 s: %d\n", missed);
    std::printf("  targets: p99 <= 300 us, max < 1000 us\n");
    return Verdict(missed == 0 && ours.p99 <= 300 && ours.max < 1000);
}
