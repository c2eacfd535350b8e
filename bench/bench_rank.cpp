// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// STOPP on a running entry -> table ranked, places written, current row chosen,
// with 2,000 and 20,000 entries in the protocol, without classes and with 20
// classes (places per class and overall), and in run 2 of a race of two runs
// (places by the sum of both runs).
#include "BenchSupport.h"
#include "RaceBench.h"
#include "app/Application.h"
#include "app/FMain.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"
#include "protocol/Columns.h"
#include "support/SerialSim.h"
#include "support/TestSupport.h"

#include <QAction>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

double measure(int entries, int classes, bool run2 = false)
{
    ScopedFakeTick tick(1000000);
    platform::SimSerialLab lab;
    TFormMain w;
    w.createDialogs();
    // Every entry started; all but the last hundred finished, as late in a race.
    FillLateRace(w, entries, 100, classes);
    if (run2) {
        // Every entry brings its time of run 1.
        TSortGrid* g = w.ui.SortGrid1;
        g->BeginUpdate();
        for (int r = 1; r <= entries; ++r) {
            g->SetCells(protocol::kColLauf1, r,
                QStringLiteral("1.%1,%2").arg(r % 50 + 10).arg(r % 100, 2, 10, QLatin1Char('0')));
            g->SetCells(protocol::kColLauf1Platz, r, QString::number(r));
        }
        g->EndUpdate();
        (void)w.Race().RankRefresh(w.ui.SortGrid1->Selection().Top); // as a table edit ranks
    }

    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        tick.advance(1234);
        const auto t0 = std::chrono::steady_clock::now();
        w.ui.mStop->trigger();
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchHome home;
    TApplication app(argc, argv);
    dialogs::SetTestMode(true);
    const double small = measure(2000, 0);
    const double large = measure(20000, 0);
    const double smallClasses = measure(2000, 20);
    const double largeClasses = measure(20000, 20);
    const double largeRun2 = measure(20000, 20, true);
    std::printf("STOPP -> ranked, placed, current row chosen (median of 20 stops)\n");
    std::printf("  2,000 entries: %.2f ms (target <= 5 ms)\n", small);
    std::printf("  20,000 entries: %.2f ms (target <= 60 ms)\n", large);
    std::printf("  2,000 entries in 20 classes: %.2f ms (target <= 5 ms)\n", smallClasses);
    std::printf("  20,000 entries in 20 classes: %.2f ms (target <= 60 ms)\n", largeClasses);
    std::printf("  20,000 entries in 20 classes, run 2 of two: %.2f ms (target <= 60 ms)\n", largeRun2);
    return Verdict(small <= 5 && large <= 60 && smallClasses <= 5 && largeClasses <= 60 && largeRun2 <= 60);
}
