#pragma once

#include "platform/Tick.h"
#include "race/Race.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// What the spectators see of a race: the entries of the protocol as they
// stand and the state of the race clock. Taken from the race whenever its
// results change; the live server and the spectator display only read it.
namespace race {

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
};

// Display colours as #rrggbb, so a browser display looks like the program's.
struct SnapshotColours {
    QString background = QStringLiteral("#000000");
    QString digit = QStringLiteral("#ffff00");
    QString dim = QStringLiteral("#404040");
    QString secondRow = QStringLiteral("#00ff00");
};

struct Snapshot {
    std::vector<SnapshotEntry> entries; // in the table's order
    // The classes in the order of their first appearance in the start list;
    // empty without classes.
    QStringList classes;
    bool running = false; // the race clock runs
    std::int32_t raceMs = 0; // the race clock when the snapshot was taken
    QString firstStart; // time of day of the race's first start; empty before it
    QString title;
    int accuracy = 2;
    SnapshotColours colours;
    std::chrono::steady_clock::time_point takenAt = std::chrono::steady_clock::now();

    // The race clock at `now`: it moves on from raceMs while the race runs.
    std::int64_t RaceMsAt(std::chrono::steady_clock::time_point now) const;
};

// The race as spectators see it at `now`: every entry row that holds a
// start, a number or a name, in the table's order, with its state and run
// time, and the race clock. Title and colours are the program's.
Snapshot TakeSnapshot(const Race& race, platform::Tick now, const QString& title, const SnapshotColours& colours);

// The indices of the entries that finished last, newest first, at most
// `count`. An entry's finish is its split plus its run time, ties broken by
// its start's time of day plus its run time; finished entries whose finish
// cannot be worked out from their texts come after the others, in table order.
// With a class only entries of that class count; an entry with a status is no
// finisher.
std::vector<int> LastFinishers(const Snapshot& snapshot, int count, const QString& klasse = QString());

} // namespace race
