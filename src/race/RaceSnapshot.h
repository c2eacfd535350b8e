// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Tick.h"
#include "race/Race.h"

#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// What the spectators see of a race: the entries of the protocol as they
// stand and the state of the race clock. Taken from the race whenever its
// results change; the live server and the spectator display only read it.
namespace race {

// Timing stations besides the finish that give interim times.
constexpr int kInterimStations = 4;

struct SnapshotEntry {
    QString number;
    QString name;
    QString start; // time of day of the start
    QString time; // run-time text, empty until the entry is stopped
    QString split;
    QString place; // the place within the class when there are classes
    Race::RowState state = Race::RowState::Free;
    // The run time of a finished entry whose raw column holds a whole number.
    std::optional<std::int64_t> runMs;
    QString klasse;
    QString status; // "DNS", "DNF", "DSQ" or empty
    QString overall; // the overall place ("Gesamt") when there are classes
    // Who the entry is from one snapshot to the next (AssignEntryIds).
    QString id;
    // In run 2 of a race of two runs, empty otherwise: run 1 as the entry
    // keeps it ("Lauf 1", its place and status), the run times that count
    // (run 2's also while it is the only one), the time the result goes by
    // (the sum, or the better run: "Gesamtzeit") and how far it lies behind
    // the leader of its class ("+0,84"; empty for the leader and for entries
    // without a result). "place" and "overall" are then places by that time.
    QString run1 = {};
    QString run1Place = {};
    QString run1Status = {};
    std::optional<std::int64_t> run1Ms = {};
    std::optional<std::int64_t> run2Ms = {};
    std::optional<std::int64_t> totalMs = {};
    QString total = {};
    QString behind = {};
    // With timing stations, empty otherwise: where the start was taken
    // ("Start" for the start station, "Ziel" for the finish's own line or
    // keys; empty before the start), and the run time at each interim station
    // (Zwischenzeit 1 to 4) as text and in milliseconds, while it has one.
    QString startFrom = {};
    std::array<QString, kInterimStations> interim = {};
    std::array<std::optional<std::int64_t>, kInterimStations> interimMs = {};
};

// Display colours as #rrggbb, so a browser display looks like the program's.
struct SnapshotColours {
    QString background = QStringLiteral("#000000");
    QString digit = QStringLiteral("#ffff00");
    QString dim = QStringLiteral("#404040");
    QString secondRow = QStringLiteral("#00ff00");
    bool operator==(const SnapshotColours&) const = default;
};

struct Snapshot {
    // In the order the results list them (protocol::GroupResults): class by
    // class, ranked entries by place, the others, then DNF, DSQ, DNS.
    std::vector<SnapshotEntry> entries;
    // The classes in the order of their first appearance in the start list;
    // empty without classes.
    QStringList classes;
    bool running = false; // the race clock runs
    std::int32_t raceMs = 0; // the race clock when the snapshot was taken
    // The tick the running clock counts from; it decides what the clock
    // shows as much as raceMs does while the clock stands.
    std::optional<platform::Tick> clockZero;
    QString firstStart; // time of day of the race's first start; empty before it
    QString title;
    int accuracy = 2;
    int runs = 1; // the race's runs (1 or 2)
    int run = 1; // the run the race is in
    // Run 2 has begun and nobody has started in it: the entries stand in
    // their start order, not in the results' order.
    bool startList = false;
    // The timing stations that take part ("Start", "Zwischen1" ...), empty
    // in a race without them: only then do the entries carry where their
    // times came from.
    QStringList stations;
    SnapshotColours colours;
    std::chrono::steady_clock::time_point takenAt = std::chrono::steady_clock::now();

    // The race clock at `now`: it moves on from raceMs while the race runs.
    std::int64_t RaceMsAt(std::chrono::steady_clock::time_point now) const;
};

// The race as spectators see it at `now`: every entry row that holds a
// start, a number or a name, in the results' order, with its state, run time
// and identity, and the race clock. Title and colours are the program's.
Snapshot TakeSnapshot(const Race& race, platform::Tick now, const QString& title, const SnapshotColours& colours);

// The indices of the entries that finished last, newest first, at most
// `count`. An entry's finish is its split plus its run time, ties broken by
// its start's time of day plus its run time; finished entries whose finish
// cannot be worked out from their texts come after the others, in the entries' order.
// With a class only entries of that class count; an entry with a status is no
// finisher.
std::vector<int> LastFinishers(const Snapshot& snapshot, int count, const QString& klasse = QString());

// "free", "running" or "finished".
const char* StateName(Race::RowState state);

// One field of an entry as spectators get it. The JSON, the content version
// and the deltas all walk EntryFields(), so a field added there reaches each
// of them.
struct EntryField {
    const char* name; // its key in the JSON
    bool number; // a JSON number (null while empty); otherwise a string
    // Deltas carry this field's whole column as runs along the entries'
    // order instead of entry by entry: a STOPP moves the place of every
    // slower finisher by one, which a run says in a few bytes.
    bool byRuns;
    QString (*value)(const SnapshotEntry& entry);
};
const std::vector<EntryField>& EntryFields();
// The fields of run 2 ("run1", "run1Place", "run1Status", "run1Ms", "run2Ms",
// "totalMs", "total", "behind"): the content version and the deltas walk them
// besides EntryFields() in run 2 only, so a race of one run is seen as before.
const std::vector<EntryField>& RunEntryFields();
// The fields of a race with timing stations ("startFrom", "interim1" ..
// "interim4", "interim1Ms" .. "interim4Ms"), walked like run 2's while the
// snapshot names stations.
const std::vector<EntryField>& StationEntryFields();
// The extra fields a snapshot's entries carry: run 2's, the stations', both
// or none.
std::vector<const EntryField*> ExtraEntryFields(const Snapshot& snapshot);

// Gives every entry its identity. The table keeps no row id and its rows
// are sorted and moved, so an entry is known by what stays put while it
// races: a started entry by its number and the time of day of its start
// (written by START, left alone by STOPP and every sort), an entry without a
// start by its number and its name. The key is hashed into eight letters and
// digits. Entries with the same key (one number started twice within a
// hundredth, two unstarted entries with the same number and name) are told
// apart by their order in the snapshot: the second gets "~2" appended, the third
// "~3". A START, or an edit of the number, the name or the start, gives an
// entry a new identity: spectators see one entry go and another come.
void AssignEntryIds(Snapshot& snapshot);

// Everything spectators see as one number: equal for snapshots that show
// the same, different (a 64-bit hash) when a shown field of an entry, the
// order, the classes, the title, the accuracy, the colours, the first start, or the
// clock's running or stopped state changes. The moving clock and the moment
// of taking are left out, and so is anything not shown (the current row,
// the selection, the lockouts).
std::uint64_t ContentVersion(const Snapshot& snapshot);

// How a later snapshot differs from an earlier one, by entry identity.
struct SnapshotDelta {
    // One piece of the later order: `count` entries that stood together from
    // index `from` in the earlier order, or (count 0) the later entry `entry`.
    struct Piece {
        int from = 0;
        int count = 0;
        int entry = -1;
    };
    bool orderChanged = false; // the identities or their order differ
    std::vector<Piece> order; // the later order, when it changed
    // Later entries that are new or whose fields differ (by-runs fields
    // aside); they travel whole.
    std::vector<int> changed;
    // By-runs fields (indices into EntryFields()) that differ in an entry not
    // in `changed`; their columns travel as runs.
    std::vector<int> runFields;
};
SnapshotDelta Diff(const Snapshot& before, const Snapshot& after);

} // namespace race
