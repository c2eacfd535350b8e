// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Settings.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

// "Stationen": the timing stations a finish reads, each with the address of
// its computer ("host:port", the station's live port) and the six-digit code
// the station shows. An empty address leaves the station out of the race.
class TStationsDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TStationsDialog)
public:
    using Peers = std::array<settings::StationPeer, settings::kStationPeers>;

    explicit TStationsDialog(QWidget* owner);

    void Load(const Peers& peers);
    Peers Chosen() const;
    // What keeps the entries from being taken, in German; empty when they can be.
    QString Problem() const;
    int ShowModal();

    std::array<QLineEdit*, settings::kStationPeers> eAddress {};
    std::array<QLineEdit*, settings::kStationPeers> eCode {};
    QLabel* LabProblem = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
};
