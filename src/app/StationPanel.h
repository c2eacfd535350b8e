// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;
class StationAtStation;

// What a timing station's window shows in place of the race table: which
// station it is, its pairing code and port, whether the finish is connected
// and has every impulse, and the impulses taken, newest first (time of day,
// number, how it came, whether the finish has it).
class TStationPanel final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TStationPanel)
public:
    explicit TStationPanel(QWidget* parent = nullptr);

    void Show(const StationAtStation& station);

    QLabel* LabStation = nullptr;
    QLabel* LabLink = nullptr;
    QTableWidget* Impulses = nullptr;
    QPushButton* bSaveFile = nullptr; // "Stationsdatei speichern"
};
