// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A protocol late in a race, for the benchmarks that measure what a stop
// costs.
#include "app/FMain.h"
#include "grid/SortGrid.h"
#include "race/Race.h"

#include <QString>

// Ranks the table as an edit of it does, and puts the cursor where the window
// then puts it: on the earliest runner, ready for STOPP.
inline void RankTable(TFormMain& w)
{
    const race::RaceResult ranked = w.Race().RankRefresh(w.ui.SortGrid1->Selection().Top);
    w.ui.SortGrid1->SetRow(ranked.view.currentRow);
}

// Entries 1..entries started, all but the last `running` finished, ranked;
// with `classes` > 0 the entries take turns in that many classes.
inline void FillLateRace(TFormMain& w, int entries, int running, int classes = 0)
{
    TSortGrid* g = w.ui.SortGrid1;
    g->BeginUpdate();
    g->SetRowCount(entries + 2);
    for (int r = 1; r <= entries; ++r) {
        const int start = 1000000 + r * 37;
        g->SetCells(0, r, QString::number(r));
        g->SetCells(1, r, QStringLiteral("Teilnehmer %1").arg(r));
        g->SetCells(2, r,
            QStringLiteral("10:%1.%2,00")
                .arg(r / 60 % 60, 2, 10, QLatin1Char('0'))
                .arg(r % 60, 2, 10, QLatin1Char('0')));
        g->SetCells(4, r, QStringLiteral("%1,00").arg(r % 60));
        if (classes > 0)
            g->SetCells(7, r, QStringLiteral("Klasse %1").arg(r % classes + 1));
        if (r <= entries - running) {
            const int run = 60000 + (r * 7919) % 600000;
            g->SetCells(3, r,
                QStringLiteral("%1.%2,%3")
                    .arg(run / 60000)
                    .arg(run / 1000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(run / 10 % 100, 2, 10, QLatin1Char('0')));
            g->SetCells(5, r, QString::number(r));
            g->SetCells(6, r, QString::number(run));
        } else {
            g->SetCells(5, r, QStringLiteral("-"));
            g->SetCells(6, r, QString::number(start));
        }
    }
    g->SetCells(5, entries + 1, QStringLiteral("-"));
    g->EndUpdate();
    RankTable(w);
}
