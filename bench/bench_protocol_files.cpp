// Saving and loading a long log, and publishing it as a page. Targets for
// 20,000 entries: text file written and loaded back within 200 ms together,
// page written within 100 ms.
#include "grid/CellStore.h"
#include "grid/CellTable.h"
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
constexpr int kRuns = 7;

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

} // namespace

int main()
{
    QTemporaryDir dir;
    const TCellStore race = raceTable();
    const QString textFile = dir.filePath("race.txt");
    const QString pageFile = dir.filePath("race.html");

    int loadedRows = 0;
    bool ok = true;
    const Figures roundTrip = measure([&] {
        ok = protocol::WriteProtocolText(race, textFile) && ok;
        TCellStore store(7, 2);
        TStoreTable table(store);
        const auto loaded = protocol::LoadProtocolText(textFile);
        ok = loaded && loaded->ok() && ok;
        if (loaded)
            protocol::ApplyLoadedProtocol(table, *loaded);
        loadedRows = store.RowCount() - 1;
    });
    const Figures page
        = measure([&] { ok = protocol::WriteHtmlPage(race, pageFile, QStringLiteral("rennzeit")) && ok; });

    std::printf("entries: %d, runs: %d\n", kEntries, kRuns);
    std::printf("protocol text file: %lld bytes, %d rows loaded back\n",
        static_cast<long long>(QFileInfo(textFile).size()), loadedRows);
    std::printf("  write + load:  best %.1f ms, median %.1f ms (target <= 200 ms)\n", roundTrip.best, roundTrip.median);
    std::printf("results page: %lld bytes\n", static_cast<long long>(QFileInfo(pageFile).size()));
    std::printf("  write:         best %.1f ms, median %.1f ms (target <= 100 ms)\n", page.best, page.median);
    const bool met = ok && loadedRows == kEntries && roundTrip.median <= 200.0 && page.median <= 100.0;
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return met ? 0 : 1;
}
