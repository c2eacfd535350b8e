// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "protocol/EntryStatus.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class TCellStore;

// The rules of a race of two runs: who starts run 2 in which order, and how
// both runs make one result. The race applies them to its table.
namespace race {

// How two runs make the result: "Summe" ranks by run 1 + run 2 and needs
// both, "Bester Lauf" by the better run and needs one.
enum class RunsScoring { Sum = 0, Best = 1 };

// The header of a run column ("Lauf 1", "Platz 1", "Status 1", "Gesamtzeit");
// empty for any other column.
QString RunsHeader(int col);

// Whether the table is in its second run: an entry row holds something of
// its first.
bool UsesRuns(const TCellStore& cells);
// The columns a file or the journal keeps of each row: the run columns up to
// "Status 1" in the second run, otherwise as a race of one run keeps them.
int SavedColumns(const TCellStore& cells);

// What counts of an entry's two runs: a run time counts when it is one and
// its run has no status. `status` is the entry's status now: run 1's carried
// into run 2, or one given in run 2.
struct EntryRuns {
    std::optional<std::int64_t> run1, run2;
    protocol::EntryStatus status1 = protocol::EntryStatus::None;
    protocol::EntryStatus status = protocol::EntryStatus::None;
};

// The value an entry is ranked by, or the status it shows instead; neither
// while it waits for what it lacks. With "Summe" both runs must count and
// any status is the result's; with "Bester Lauf" the better counting run
// ranks the entry even when the other has a status.
struct RunsScore {
    std::optional<std::int64_t> value;
    protocol::EntryStatus status = protocol::EntryStatus::None;
};
RunsScore ScoreRuns(const EntryRuns& runs, RunsScoring scoring);

// An entry as run 1 left it.
struct Run1Entry {
    int row = 0;
    int group = 0; // its class's position in the results' class order; entries without a class after the last
    int place = 0; // its place in run 1 within its class; 0 without one
    protocol::EntryStatus status = protocol::EntryStatus::None;
    std::int64_t startedAt = 0; // its split in run 1: who started earlier, for equal places
};

// The start list of run 2, class by class in their order: the best
// `reverse` places of run 1 in reverse (everyone tied on the last of them
// with them), the rest in the order of run 1's results, entries without a
// place after them in the order given; then, not to start, the entries with
// a status of run 1, class by class, DNF, DSQ, DNS. `reverse` 0 keeps run 1's
// order. Returns the rows in their new order.
std::vector<int> Run2Order(const std::vector<Run1Entry>& entries, int reverse);

// "+0,84": how far a total lies behind the leader's, at the accuracy.
QString BehindText(std::int64_t ms, int accuracy);

} // namespace race
