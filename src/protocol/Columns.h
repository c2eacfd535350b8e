// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <array>

// The columns of the log, in order. The first seven are the log's own; "*"
// holds the raw milliseconds (the start tick while an entry runs, the run time
// after its stop) and is never shown, but saved and loaded with the others.
// "Klasse" and "Status" follow them and are saved only when an entry has one;
// "Gesamt", the overall place beside the class place, is worked out by the
// ranking and never saved.
namespace protocol {

constexpr int kColNr = 0;
constexpr int kColName = 1;
constexpr int kColStart = 2;
constexpr int kColZeit = 3;
constexpr int kColSplit = 4;
constexpr int kColPlatz = 5;
constexpr int kColRaw = 6;
constexpr int kProtocolColCount = 7;
constexpr int kColKlasse = 7;
constexpr int kColStatus = 8;
constexpr int kColGesamt = 9;
// The columns a file holds when a class or status is in use.
constexpr int kClassColCount = 9;
constexpr int kTableColCount = 10;
// A race of two runs keeps each entry's first run after them: its time, its
// place and its status ("Lauf 1", "Platz 1", "Status 1", saved with the
// others), and "Gesamtzeit", the time it is ranked by (the sum or the better
// run), worked out by the ranking and never saved. A race of one run has none.
constexpr int kColLauf1 = 10;
constexpr int kColLauf1Platz = 11;
constexpr int kColLauf1Status = 12;
constexpr int kColGesamtzeit = 13;
constexpr int kRunsSavedColCount = 13;
constexpr int kRunsTableColCount = 14;

extern const std::array<QString, kProtocolColCount> kProtocolHeaders; // "Nr.", "Name", ..., "*"
extern const std::array<QString, kTableColCount> kTableHeaders; // the seven, "Klasse", "Status", "Gesamt"

} // namespace protocol
