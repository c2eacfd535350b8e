// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Saving and loading a long log, and publishing it as a page. Every save
// replaces its file in one step, synced to the disk. Targets for 20,000
// entries: protocol text file, CSV export and page each saved within 250 ms;
// the text file loaded back within 200 ms.
#include "BenchSupport.h"
#include "grid/GridFiles.h"
#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "protocol/HtmlPage.h"
#include "protocol/ProtocolFiles.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kEntries = 20000;
const int kRuns = Scaled(7, 1);
constexpr double kSaveTargetMs = 250.0;
constexpr double kLoadTargetMs = 200.0;

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
                i == 1 ? QStringLiteral("0,00")
                       : QStringLiteral("%1.%2,00").arg(i / 60).arg(i % 60, 2, 10, QLatin1Char('0')),
                QString::number(i), QString::number(60000 + i * 37) });
    }
    cells.SetRow(kEntries + 1, { "", "", "", "", "", "-", "" });
    return cells;
}

struct Figures {
    double best;
    double median;
};

template <typename F> Figures measure(F&& run)
{
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return { ms.front(), ms[ms.size() / 2] };
}

void print(const char* what, const QString& file, const Figures& f, double target)
{
    std::printf("%-20s %9lld bytes  best %6.1f ms, median %6.1f ms (target <= %.0f ms)\n", what,
        static_cast<long long>(QFileInfo(file).size()), f.best, f.median, target);
}

} // namespace

int main()
{
    // Beside the build, on the disk a user's files are on, not in a RAM
    // folder: the sync to the disk is part of every save.
    QTemporaryDir dir(QStringLiteral("bench-files-XXXXXX"));
    const TCellStore race = raceTable();
    const QString textFile = dir.filePath("race.txt");
    const QString csvFile = dir.filePath("race.csv");
    const QString pageFile = dir.filePath("race.html");

    bool ok = dir.isValid();
    const Figures text = measure([&] { ok = protocol::WriteProtocolText(race, textFile) && ok; });
    const Figures csv = measure([&] { ok = WriteGridFile(csvFile, GridCsvBytes(race)) && ok; });
    const Figures page
        = measure([&] { ok = protocol::WriteHtmlPage(race, pageFile, QStringLiteral("rennzeit")) && ok; });
    int loadedRows = 0;
    const Figures load = measure([&] {
        TCellStore store(7, 2);
        TStoreTable table(store);
        const auto loaded = protocol::LoadProtocolText(textFile);
        ok = loaded && loaded->ok() && ok;
        if (loaded)
            protocol::ApplyLoadedProtocol(table, *loaded);
        loadedRows = store.RowCount() - 1;
    });

    std::printf("entries: %d, runs: %d, folder: %s\n", kEntries, kRuns, qPrintable(dir.path()));
    print("save protocol text", textFile, text, kSaveTargetMs);
    print("save CSV export", csvFile, csv, kSaveTargetMs);
    print("save results page", pageFile, page, kSaveTargetMs);
    print("load protocol text", textFile, load, kLoadTargetMs);
    std::printf("rows loaded back: %d\n", loadedRows);
    const bool met = ok && loadedRows == kEntries && text.median <= kSaveTargetMs && csv.median <= kSaveTargetMs
        && page.median <= kSaveTargetMs && load.median <= kLoadTargetMs;
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return Verdict(met);
}
