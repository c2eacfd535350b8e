#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// What the spectators see of a race: the entries of the protocol as they
// stand and the state of the race clock. The window fills one whenever its
// results change; the server and the spectator display only read it.
namespace live {

enum class EntryState { Free, Running, Finished };

struct Entry {
    QString number;
    QString name;
    QString start; // time of day of the start
    QString time; // run-time text, empty until the entry is stopped
    QString split;
    QString place;
    EntryState state = EntryState::Free;
    // The run time of a finished entry whose raw column holds a whole number.
    std::optional<std::int64_t> runMs;
};

// Display colours as #rrggbb, so a browser display looks like the program's.
struct Colours {
    QString background = QStringLiteral("#000000");
    QString digit = QStringLiteral("#ffff00");
    QString dim = QStringLiteral("#404040");
    QString secondRow = QStringLiteral("#00ff00");
};

struct Snapshot {
    std::vector<Entry> entries; // in the table's order
    bool running = false; // the race clock runs
    std::int32_t raceMs = 0; // the race clock when the snapshot was taken
    QString firstStart; // time of day of the race's first start; empty before it
    QString title;
    int accuracy = 2;
    Colours colours;
    std::chrono::steady_clock::time_point takenAt = std::chrono::steady_clock::now();

    // The race clock at `now`: it moves on from raceMs while the race runs.
    std::int64_t RaceMsAt(std::chrono::steady_clock::time_point now) const;
};

// The state of a row from its cells: free while the raw column is empty,
// running while it holds a value and "Zeit" is empty, finished otherwise.
EntryState StateOf(const QString& raw, const QString& time);

// Milliseconds of a time of day as the race writes it ("9:05.07,03"); nothing
// for any other text.
std::optional<std::int64_t> TimeOfDayMs(const QString& text);

// Milliseconds of a run-time text at any accuracy ("1:02.03,04", "1.05,2",
// "5"); nothing for any other text.
std::optional<std::int64_t> RunTimeMs(const QString& text);

// The indices of the entries that finished last, newest first, at most
// `count`. An entry's finish is its split plus its run time, ties broken by
// its start's time of day plus its run time; finished entries whose finish
// cannot be worked out from their texts come after the others, in table order.
std::vector<int> LastFinishers(const Snapshot& snapshot, int count);

} // namespace live
