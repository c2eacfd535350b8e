// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Speed and memory of the results grid with 20,000 entries of realistic race
// texts: sorting with a custom comparison, searching every row, writing the
// backup file and the CSV export, and the memory the rows add.

#include "BenchSupport.h"
#include "grid/SortGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRows = 20000;

// The run-time order of the protocol's time columns: shorter texts first,
// "-" after every value and empty cells last.
int timeTextOrder(const QString& a, const QString& b)
{
    auto effective = [](const QString& t) {
        if (t.isEmpty() || t == QLatin1String(" "))
            return qsizetype(20);
        if (t == QLatin1String("-"))
            return qsizetype(19);
        return t.size();
    };
    const qsizetype la = effective(a), lb = effective(b);
    if (la != lb)
        return la < lb ? -1 : 1;
    return a.compare(b);
}

QString runTime(int ms)
{
    const int h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, hs = ms / 10 % 100;
    if (h > 0)
        return QStringLiteral("%1:%2.%3,%4")
            .arg(h)
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(s, 2, 10, QLatin1Char('0'))
            .arg(hs, 2, 10, QLatin1Char('0'));
    if (m > 0)
        return QStringLiteral("%1.%2,%3").arg(m).arg(s, 2, 10, QLatin1Char('0')).arg(hs, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1,%2").arg(s).arg(hs, 2, 10, QLatin1Char('0'));
}

void fill(TSortGrid& grid)
{
    const char* first[] = { "Anna", "Carl", "Eva", "Jonas", "Lena", "Max", "Mia", "Paul", "Sophie", "Tim" };
    const char* last[] = { "Berg", "Fischer", "Hofmann", "Müller", "Roth", "Schmidt", "Wagner", "Zoller" };
    QRandomGenerator random(42);
    grid.BeginUpdate();
    grid.SetRowCount(kRows + 1);
    for (int r = 1; r <= kRows; ++r) {
        const int start = 36000000 + r * 1500;
        const int run = 50000 + static_cast<int>(random.bounded(400000));
        const bool finished = random.bounded(10) != 0;
        grid.SetRows(r,
            { QString::number(r),
                QStringLiteral("%1 %2").arg(
                    QString::fromUtf8(first[random.bounded(10)]), QString::fromUtf8(last[random.bounded(8)])),
                QStringLiteral("%1:%2.%3,%4")
                    .arg(start / 3600000)
                    .arg(start / 60000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(start / 1000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(start / 10 % 100, 2, 10, QLatin1Char('0')),
                finished ? runTime(run) : QString(), runTime(r * 1500),
                finished ? QString::number(r) : QStringLiteral("-"), QString::number(finished ? run : start) });
    }
    grid.EndUpdate();
}

size_t heapInUse()
{
    return mallinfo2().uordblks;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeMs(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    TSortGrid grid;
    grid.SetColCount(7);
    grid.SetRows(0, { "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "*" });
    grid.resize(800, 500);
    grid.show();
    QApplication::processEvents();

    const size_t before = heapInUse();
    fill(grid);
    QApplication::processEvents();
    const double addedMb = static_cast<double>(heapInUse() - before) / (1024.0 * 1024.0);

    grid.OnGetSortStyle = [&](QObject*, int col, TSortStyle& style) {
        if (col >= 2 && col <= 5) {
            grid.SortOptions().SortCompare = timeTextOrder;
            style = ssCustom;
        }
    };
    std::vector<double> sorts;
    for (int i = 0; i < 7; ++i) {
        grid.SortOptions().SortDirection = i % 2 ? sdDescending : sdAscending;
        sorts.push_back(timeMs([&] { grid.SortByColumn(3); }));
    }

    std::vector<double> finds;
    int found = 0;
    for (int i = 0; i < 21; ++i)
        finds.push_back(timeMs([&] { found = grid.FindRow(0, QStringLiteral("nicht da")); }));

    QTemporaryDir dir;
    std::vector<double> backups, csvs;
    for (int i = 0; i < 7; ++i) {
        backups.push_back(timeMs([&] { grid.SaveToFile(dir.filePath(QStringLiteral("rennzeit.txt"))); }));
        csvs.push_back(timeMs([&] { grid.SaveToCsv(dir.filePath(QStringLiteral("protokoll.csv"))); }));
    }

    std::printf("grid with %d data rows x 7 columns (medians)\n", kRows);
    std::printf("SortByColumn, custom comparison: %8.2f ms (target <= 40 ms)\n", median(sorts));
    std::printf("FindRow over all rows:           %8.3f ms (target <= 1 ms)%s\n", median(finds),
        found == -1 ? "" : " [unexpected hit]");
    std::printf("SaveToFile:                      %8.2f ms (target <= 60 ms)\n", median(backups));
    std::printf("SaveToCsv:                       %8.2f ms (target <= 60 ms)\n", median(csvs));
    std::printf("memory added by the rows:        %8.2f MB (target <= 30 MB)\n", addedMb);
    const bool met = median(sorts) <= 40 && median(finds) <= 1 && found == -1 && median(backups) <= 60
        && median(csvs) <= 60 && addedMb <= 30;
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return Verdict(met);
}
