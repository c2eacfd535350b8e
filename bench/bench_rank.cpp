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
#include "controls/ModalResult.h"
#include "grid/SortGrid.h"
#include "protocol/Columns.h"
#include "race/Race.h"
#include "support/SerialSim.h"
#include "support/TestSupport.h"
#include "support/Timing.h"

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
    if (!run2) {
        // Every entry started; all but the last hundred finished, as late in a race.
        FillLateRace(w, entries, 100, classes);
    } else {
        // Run 1 over, run 2 begun ("2. Lauf beginnen"), the first hundred of
        // its start list on course.
        FillLateRace(w, entries, 0, classes);
        SetTiming(w.Race(), &race::RaceSettings::runs, 2);
        dialogs::SetDialogHandler([](QDialog*) { return int(mrYes); });
        w.ui.mRun2->trigger();
        dialogs::SetDialogHandler({});
        w.ui.SortGrid1->SetRow(1);
        for (int i = 0; i < 100; ++i) {
            tick.advance(100);
            w.ui.mStart->trigger();
        }
        RankTable(w);
    }
    const auto timed = [&w] {
        int n = 0;
        for (int r = 1; r < w.ui.SortGrid1->RowCount(); ++r)
            n += w.ui.SortGrid1->Cells(protocol::kColZeit, r).trimmed().isEmpty() ? 0 : 1;
        return n;
    };
    const int before = timed();

    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        tick.advance(1234);
        const auto t0 = std::chrono::steady_clock::now();
        w.ui.mStop->trigger();
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    // A stop that found nobody to stop measures nothing: then the figure is
    // not given.
    const bool stopped = timed() - before == static_cast<int>(ms.size());
    return stopped ? ms[ms.size() / 2] : 1e9;
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
    const auto show = [](const char* what, double ms, int target) {
        if (ms >= 1e9)
            std::printf("  %s: not measured, a stop found nobody to stop (target <= %d ms)\n", what, target);
        else
            std::printf("  %s: %.2f ms (target <= %d ms)\n", what, ms, target);
    };
    show("2,000 entries", small, 5);
    show("20,000 entries", large, 60);
    show("2,000 entries in 20 classes", smallClasses, 5);
    show("20,000 entries in 20 classes", largeClasses, 60);
    show("20,000 entries in 20 classes, run 2 of two", largeRun2, 60);
    return Verdict(small <= 5 && large <= 60 && smallClasses <= 5 && largeClasses <= 60 && largeRun2 <= 60);
}
