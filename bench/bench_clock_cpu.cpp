// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The race clock running for 10 s offscreen: CPU share of the whole process.
#include "BenchSupport.h"
#include "app/Application.h"
#include "app/FMain.h"
#include "controls/Dialogs.h"
#include "support/SerialSim.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {
double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchHome home;
    TApplication app(argc, argv);
    dialogs::SetTestMode(true);
    platform::SimSerialLab lab;
    TFormMain w;
    w.createDialogs();
    w.show();
    // Let the window settle, then start the clock and let the event loop run
    // as the program's own does: sleeping between timer ticks.
    auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    };
    runFor(500);
    w.ui.mStart->trigger();

    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runFor(Scaled(10000, 1000));
    const double cpu = cpuSeconds() - cpu0;
    const double share = 100.0 * cpu / (wall.elapsed() / 1000.0);
    std::printf(
        "race clock for %.1f s: %.3f s CPU, %.2f%% of one core (target <= 2%%)\n", wall.elapsed() / 1000.0, cpu, share);
    return Verdict(share <= 2.0);
}
