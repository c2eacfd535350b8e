// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "stations/Impulse.h"

#include <QString>
#include <QStringList>

#include <vector>

// A station's impulses as a file, for a race without a network: saved at the
// station, carried over and loaded at the finish ("Stationsdatei laden"). The
// lines are the signed lines of the live stream, under a first line that
// names the station:
//
//   rennzeit-stationsdatei 1 <role> sig=...
//   impulse 1 1 ... sig=...
namespace stations {

bool SaveStationFile(
    const QString& fileName, Role role, const QString& code, const std::vector<Impulse>& impulses, QString* reason);

struct StationFileContent {
    bool ok = false; // the file was read and its first line holds
    Role role = Role::Start;
    std::vector<Impulse> impulses; // every line whose signature holds, in the file's order
    QStringList problems; // German, one per line refused, or why nothing was read
};
StationFileContent LoadStationFile(const QString& fileName, const QString& code);

// The impulses of the file that follow on from what the gate has applied, in
// order, up to the first missing number (then a problem names it). The gate
// counts them applied; numbers it has already are left out, so loading the
// same file twice, or after the live link brought some, applies nothing twice.
std::vector<Impulse> TakeNew(const StationFileContent& content, SequenceGate& gate, QStringList* problems);

} // namespace stations
