#include "race/RaceSnapshot.h"

#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "race/RaceText.h"

#include <algorithm>

using namespace protocol;

namespace race {

namespace {

constexpr std::int64_t kDayMs = 24LL * 60 * 60 * 1000;

} // namespace

std::int64_t Snapshot::RaceMsAt(std::chrono::steady_clock::time_point now) const
{
    if (!running)
        return raceMs;
    const auto moved = std::chrono::duration_cast<std::chrono::milliseconds>(now - takenAt).count();
    return raceMs + std::max<std::int64_t>(0, moved);
}

Snapshot TakeSnapshot(const Race& race, platform::Tick now, const QString& title, const SnapshotColours& colours)
{
    const TCellStore& cells = race.Table().TableStore();
    Snapshot s;
    const RaceClock clock = race.ClockAt(now);
    s.running = clock.running;
    s.raceMs = clock.ms;
    s.title = title;
    s.accuracy = race.Settings().accuracy;
    s.colours = colours;

    const int firstStarter = race.FirstStarter();
    if (firstStarter >= 1)
        s.firstStart = cells.Cell(kColStart, firstStarter);
    s.classes = race.ClassOrder();
    s.entries.reserve(static_cast<size_t>(std::max(0, cells.RowCount() - 1)));
    for (int r = 1; r < cells.RowCount(); ++r) {
        SnapshotEntry e;
        e.number = cells.Cell(kColNr, r);
        e.name = cells.Cell(kColName, r);
        e.state = race.StateOf(r);
        if (e.state == Race::RowState::Free && TrimBlanks(e.number).isEmpty() && TrimBlanks(e.name).isEmpty())
            continue; // the free row a start leaves at the end
        e.start = cells.Cell(kColStart, r);
        e.time = cells.Cell(kColZeit, r);
        e.split = cells.Cell(kColSplit, r);
        e.place = cells.Cell(kColPlatz, r);
        e.klasse = TrimBlanks(cells.Cell(kColKlasse, r));
        e.status = StatusText(race.StatusOf(r));
        e.overall = cells.Cell(kColGesamt, r);
        if (e.state == Race::RowState::Finished) {
            if (const std::optional<std::int32_t> run = WholeNumber(TrimBlanks(cells.Cell(kColRaw, r))))
                e.runMs = *run;
        }
        s.entries.push_back(std::move(e));
    }
    return s;
}

std::vector<int> LastFinishers(const Snapshot& snapshot, int count, const QString& klasse)
{
    const auto& entries = snapshot.entries;
    const std::optional<std::int64_t> reference = TimeOfDayValue(snapshot.firstStart);

    // When an entry came in, as far as its texts tell: its split plus its run
    // time, both from the tick, so a clock changed during the race (daylight
    // saving, a time server) or midnight changes nothing. The start's time of
    // day, which always has hundredths, separates finishes that the split's
    // accuracy cannot.
    struct Finish {
        int index;
        std::optional<std::int64_t> bySplit;
        std::optional<std::int64_t> byStart;
    };
    std::vector<Finish> finishes;
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const SnapshotEntry& e = entries[static_cast<size_t>(i)];
        if (e.state != Race::RowState::Finished || !e.status.isEmpty() || (!klasse.isEmpty() && e.klasse != klasse))
            continue;
        Finish f { i, {}, {} };
        const std::optional<std::int64_t> run = e.runMs ? e.runMs : RunTimeValue(TrimBlanks(e.time));
        if (run) {
            if (const std::optional<std::int64_t> split = RunTimeValue(TrimBlanks(e.split)))
                f.bySplit = *split + *run;
            if (const std::optional<std::int64_t> start = TimeOfDayValue(e.start))
                f.byStart = (((*start - reference.value_or(0)) % kDayMs + kDayMs) % kDayMs) + *run;
        }
        finishes.push_back(f);
    }
    // Newest first; unknown finishes and ties keep the table's order.
    std::stable_sort(finishes.begin(), finishes.end(), [](const Finish& a, const Finish& b) {
        const bool aKnown = a.bySplit || a.byStart, bKnown = b.bySplit || b.byStart;
        if (aKnown != bKnown)
            return aKnown;
        if (a.bySplit && b.bySplit && *a.bySplit != *b.bySplit)
            return *a.bySplit > *b.bySplit;
        if (a.byStart && b.byStart && *a.byStart != *b.byStart)
            return *a.byStart > *b.byStart;
        return false;
    });
    std::vector<int> indices;
    for (const Finish& f : finishes) {
        if (static_cast<int>(indices.size()) >= count)
            break;
        indices.push_back(f.index);
    }
    return indices;
}

} // namespace race
