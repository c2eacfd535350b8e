// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

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

// A race with two classes in the order "Damen", "Herren" as the log holds it
// after the last stop: places per class with the overall place in "Gesamt",
// one entry that gave up, one disqualified (with her time), one that did not
// start, and the free row at the end.
inline TCellStore ClassRace()
{
    TCellStore cells(protocol::kTableColCount, 8);
    for (int c = 0; c < protocol::kTableColCount; ++c)
        cells.SetCell(c, 0, protocol::kTableHeaders[static_cast<size_t>(c)]);
    // Nr., Name, Start, Zeit, Split, Platz, *, Klasse, Status, Gesamt
    cells.SetRow(1, { "4", "Dirk", "9:00.30,00", "8,00", "0,30", "DSQ", "8000", "Herren", "DSQ", "" });
    cells.SetRow(2, { "2", "Bert", "9:00.10,00", "9,00", "0,10", "1", "9000", "Herren", "", "1" });
    cells.SetRow(3, { "1", "Anna", "9:00.00,00", "10,00", "0,00", "1", "10000", "Damen", "", "2" });
    cells.SetRow(4, { "6", "Fred", "9:00.40,00", "11,00", "0,40", "2", "11000", "Damen", "", "3" });
    cells.SetRow(5, { "3", "Cora", "9:00.20,00", "", "0,20", "DNF", "20000", "Damen", "DNF", "" });
    cells.SetRow(6, { "5", "Eva", "", "", "", "DNS", "", "Damen", "DNS", "" });
    cells.SetRow(7, { "", "", "", "", "", "-", "" });
    return cells;
}

inline const QStringList kClassOrder { QStringLiteral("Damen"), QStringLiteral("Herren") };
