#pragma once

#include "gridstore/CellStore.h"
#include "protocol/Columns.h"

#include <QStringList>

// A club race of 40 entries as the log holds it after the last stop, ranked
// by run time: names with umlauts, a comma, markup characters and one long
// enough to wrap, and the free row a start leaves at the end.
inline TCellStore ClubRace()
{
    static const QStringList kNames { QStringLiteral("Berg, Anna"), QStringLiteral("Jörg Müller"),
        QStringLiteral("Zielinski"), QStringLiteral("A<B & C"), QStringLiteral("Grüßer, Hans-Peter"),
        QStringLiteral("Özdemir"), QStringLiteral("Ludwig"), QStringLiteral("Schneider, Eva"),
        QStringLiteral("Maximiliane Wilhelmine von Hohenzollern-Sigmaringen zu Lauffen am Neckar"),
        QStringLiteral("Keller") };
    constexpr int kEntries = 40;
    TCellStore cells(protocol::kProtocolColCount, kEntries + 2);
    for (int c = 0; c < protocol::kProtocolColCount; ++c)
        cells.SetCell(c, 0, protocol::kProtocolHeaders[static_cast<size_t>(c)]);
    for (int i = 1; i <= kEntries; ++i) {
        const int run = 61230 + i * 1370; // ms, ranked
        const int split = (i * 7 % kEntries) * 30000;
        const QString name = i <= kNames.size() ? kNames[i - 1] : QStringLiteral("Teilnehmer %1").arg(i);
        cells.SetRow(i,
            { QString::number(100 + i * 7 % 97), name,
                QStringLiteral("10:%1.%2,%3")
                    .arg(split / 60000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(split / 1000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 100, 2, 10, QLatin1Char('0')),
                QStringLiteral("%1.%2,%3")
                    .arg(run / 60000)
                    .arg(run / 1000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(run / 10 % 100, 2, 10, QLatin1Char('0')),
                split == 0
                    ? QStringLiteral("0,00")
                    : QStringLiteral("%1.%2,00").arg(split / 60000).arg(split / 1000 % 60, 2, 10, QLatin1Char('0')),
                QString::number(i), QString::number(run) });
    }
    cells.SetRow(kEntries + 1, { "", "", "", "", "", "-", "" });
    return cells;
}
