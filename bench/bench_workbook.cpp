// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The spreadsheet export of a long log: 20,000 entries with typed cells
// (whole numbers, times of day, durations) written as a workbook, synced and
// put in place. Target: 1.5 s.
#include "BenchSupport.h"
#include "gridstore/CellStore.h"
#include "protocol/ExcelExport.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kEntries = 20000;
const int kRuns = Scaled(3, 1);
constexpr double kTargetMs = 1500.0;

TCellStore raceTable()
{
    TCellStore cells(7, kEntries + 2);
    cells.SetRow(0, { "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "*" });
    for (int i = 1; i <= kEntries; ++i) {
        const QString n = QString::number(i);
        cells.SetRow(i,
            { n, QStringLiteral("Müller-Lüdenscheidt, Teilnehmerin ") + n,
                QStringLiteral("10:%1.%2,%3")
                    .arg(i / 600 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i / 10 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 100, 2, 10, QLatin1Char('0')),
                QStringLiteral("1.%1,%2").arg(i % 60, 2, 10, QLatin1Char('0')).arg(i % 100, 2, 10, QLatin1Char('0')),
                QStringLiteral("%1:%2.%3,00")
                    .arg(i / 3600 + 1)
                    .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 60, 2, 10, QLatin1Char('0')),
                QString::number(i), QString::number(60000 + i * 37) });
    }
    cells.SetRow(kEntries + 1, { "", "", "", "", "", "-", "" });
    return cells;
}

} // namespace

int main()
{
    // The workbooks go into the documents folder: here one of the
    // benchmark's own, named in a configuration folder of its own.
    QTemporaryDir dir(QStringLiteral("bench-workbook-XXXXXX"));
    const QString base = QFileInfo(dir.path()).absoluteFilePath();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(base + QStringLiteral("/config")));
    qputenv("TMPDIR", QFile::encodeName(base));
    platform::RecordingShell shell; // nothing is opened
    platform::SetShell(&shell);
    const TCellStore race = raceTable();

    bool ok = dir.isValid() && UseDocumentsFolder(base);
    std::vector<double> ms;
    qint64 bytes = 0;
    for (int i = 0; i < kRuns; ++i) {
        shell.calls.clear();
        QElapsedTimer t;
        t.start();
        ok = protocol::ExcelExport(race) && ok;
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        ok = shell.calls.size() == 1 && ok;
        if (!shell.calls.isEmpty())
            bytes = QFileInfo(shell.calls.first().mid(5)).size();
    }
    platform::SetShell(nullptr);
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("entries: %d, runs: %d\n", kEntries, kRuns);
    std::printf("workbook: %lld bytes  best %.1f ms, median %.1f ms (target <= %.0f ms)\n",
        static_cast<long long>(bytes), ms.front(), median, kTargetMs);
    const bool met = ok && median <= kTargetMs;
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return Verdict(met);
}
