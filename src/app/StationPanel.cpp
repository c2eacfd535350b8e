// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/StationPanel.h"

#include "app/StationAtStation.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

TStationPanel::TStationPanel(QWidget* parent)
    : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    LabStation = new QLabel(this);
    QFont big = LabStation->font();
    big.setPixelSize(20);
    big.setBold(true);
    LabStation->setFont(big);
    bSaveFile = new QPushButton(QStringLiteral("Stationsdatei speichern"), this);
    bSaveFile->setObjectName(QStringLiteral("bSaveStationFile"));
    bSaveFile->setToolTip(QStringLiteral("Die Impulse dieser Station als Datei, für ein Ziel ohne Netz"));
    top->addWidget(LabStation, 1);
    top->addWidget(bSaveFile);
    column->addLayout(top);
    LabLink = new QLabel(this);
    QFont link = LabLink->font();
    link.setPixelSize(16);
    LabLink->setFont(link);
    column->addWidget(LabLink);
    Impulses = new QTableWidget(0, 4, this);
    Impulses->setHorizontalHeaderLabels(
        { QStringLiteral("Nr."), QStringLiteral("Uhrzeit"), QStringLiteral("Auslöser"), QStringLiteral("im Ziel") });
    Impulses->verticalHeader()->hide();
    Impulses->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Impulses->setSelectionMode(QAbstractItemView::NoSelection);
    Impulses->setFocusPolicy(Qt::NoFocus); // the keys F5 and F8 stay the window's
    Impulses->horizontalHeader()->setStretchLastSection(true);
    QFont rows = Impulses->font();
    rows.setFamily(QStringLiteral("Liberation Mono"));
    rows.setPixelSize(16);
    Impulses->setFont(rows);
    Impulses->setColumnWidth(0, 80);
    Impulses->setColumnWidth(1, 160);
    Impulses->setColumnWidth(2, 160);
    column->addWidget(Impulses, 1);
}

void TStationPanel::Show(const StationAtStation& station)
{
    LabStation->setText(QStringLiteral("Station %1 · Code %2 · Port %3")
                            .arg(stations::RoleCaption(station.GetRole()), station.Code())
                            .arg(station.Port()));
    LabLink->setText(station.LinkText());
    const auto& impulses = station.Impulses();
    Impulses->setRowCount(int(impulses.size()));
    // The newest at the top, where the official looks.
    for (int i = 0; i < int(impulses.size()); ++i) {
        const stations::Impulse& impulse = impulses[impulses.size() - 1 - i];
        const QString time
            = QDateTime::fromMSecsSinceEpoch(impulse.wallNs / 1'000'000).toString(QStringLiteral("HH:mm:ss,zzz"));
        const QString how = impulse.kind == stations::ImpulseKind::Barrier
            ? QStringLiteral("Lichtschranke")
            : (station.GetRole() == stations::Role::Start ? QStringLiteral("Taste F5") : QStringLiteral("Taste F8"));
        const bool has = impulse.sequence <= station.FinishHas();
        const QStringList cells = { QString::number(impulse.sequence), time, how,
            has ? QStringLiteral("ja") : QStringLiteral("noch nicht") };
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = Impulses->item(i, c);
            if (!item) {
                item = new QTableWidgetItem;
                Impulses->setItem(i, c, item);
            }
            item->setText(cells[c]);
            item->setTextAlignment(c == 0 ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
            item->setForeground(has || c != 3 ? QColor(Qt::black) : QColor(Qt::red));
        }
    }
}
