// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Taking a race back after a crash: the replay of a 20,000-event journal into
// a fresh window, as the start-up does when the operator answers Ja. Target:
// 300 ms. The journal is made by a window timing a race of 1,000 entries with
// the keys and the light barriers (ignored impulses, interim times, lock
// toggles, row changes, stops and their ranking).
#include "BenchSupport.h"

#include "app/FMain.h"
#include "app/LivePublisher.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"
#include "race/Journal.h"
#include "race/JournalRecorder.h"
#include "race/LightBarriers.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const std::uint64_t kEvents = Scaled(20000, 2000);
constexpr int kEntries = 1000;
constexpr double kTargetMs = 300.0;

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir home(QDir::currentPath() + QStringLiteral("/bench-replay-XXXXXX"));
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    dialogs::SetTestMode(true);

    QString journal;
    QString recorded;
    {
        TFormMain w;
        w.createDialogs();
        platform::Tick t = platform::GetTickCount();
        const auto stamp = [&t] {
            t += 7;
            return platform::Stamp { t, QTime::currentTime() };
        };
        for (int i = 0; i < kEntries; ++i) {
            w.ui.mStart->trigger();
            for (int k = 0; k < 8; ++k)
                w.LightBarriers().Impulse(race::Barrier::Start, stamp(), w.ui.SortGrid1->Selection().Top);
            w.ui.FStopp1->trigger();
            w.ui.LockLSStart1->trigger();
            w.ui.LockLSStart1->trigger();
        }
        for (int row = 1; row <= kEntries && w.Journal().File().LastSeq() < kEvents; ++row) {
            w.ui.SortGrid1->SetRow(row);
            w.ui.mStop->trigger();
        }
        while (w.Journal().File().LastSeq() < kEvents)
            w.ui.LockLSStopp1->trigger();
        journal = w.Journal().File().FileName();
        recorded = w.Race().Digest();
        w.Journal().File().WaitDurable(w.Journal().File().LastSeq(), 10000);
        std::printf("journal: %llu events, %lld bytes\n", static_cast<unsigned long long>(w.Journal().File().LastSeq()),
            static_cast<long long>(QFileInfo(journal).size()));
    }

    TFormMain w;
    w.createDialogs();
    QElapsedTimer timer;
    timer.start();
    const bool ok = w.recoverJournal(journal);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const bool same = w.Race().Digest() == recorded;
    std::printf("replay of %llu events: %.1f ms (target <= %.0f ms), race %s\n",
        static_cast<unsigned long long>(kEvents), ms, kTargetMs, same ? "as recorded" : "DIFFERENT");
    return Verdict(ok && same && ms <= kTargetMs);
}
