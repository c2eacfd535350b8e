// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/RaceSnapshot.h"

#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "protocol/ResultGroups.h"
#include "race/RaceText.h"
#include "race/Runs.h"

#include <QHash>

#include <algorithm>

using namespace protocol;

namespace race {

namespace {

constexpr std::int64_t kDayMs = 24LL * 60 * 60 * 1000;

// FNV-1a, 64 bits: quick, and stable from one run of the program to the next
// (unlike qHash, which is seeded), so identities survive a restart of the server.
struct Fnv {
    std::uint64_t value = 14695981039346656037ULL;
    void byte(unsigned char b)
    {
        value ^= b;
        value *= 1099511628211ULL;
    }
    void add(std::uint64_t v)
    {
        for (int i = 0; i < 8; ++i)
            byte(static_cast<unsigned char>(v >> (8 * i)));
    }
    // Length first, so no two lists of texts feed the same bytes.
    void add(const QString& text)
    {
        add(static_cast<std::uint64_t>(text.size()));
        for (const QChar c : text) {
            byte(static_cast<unsigned char>(c.unicode() & 0xFF));
            byte(static_cast<unsigned char>(c.unicode() >> 8));
        }
    }
};

void addRuns(SnapshotEntry& e, const TCellStore& cells, int row)
{
    e.run1 = TrimBlanks(cells.Cell(kColLauf1, row));
    e.run1Place = TrimBlanks(cells.Cell(kColLauf1Platz, row));
    e.run1Status = TrimBlanks(cells.Cell(kColLauf1Status, row));
    if (e.run1Status.isEmpty())
        e.run1Ms = RunTimeValue(e.run1);
    if (e.status.isEmpty())
        e.run2Ms = RunTimeValue(TrimBlanks(e.time));
    e.total = TrimBlanks(cells.Cell(kColGesamtzeit, row));
    e.totalMs = RunTimeValue(e.total);
}

// The leader of each class is the entry with the smallest total.
void addBehind(Snapshot& s)
{
    QHash<QString, std::int64_t> leaders;
    for (const SnapshotEntry& e : s.entries) {
        if (!e.totalMs)
            continue;
        const auto found = leaders.constFind(e.klasse);
        if (found == leaders.cend() || *e.totalMs < *found)
            leaders.insert(e.klasse, *e.totalMs);
    }
    for (SnapshotEntry& e : s.entries) {
        if (!e.totalMs)
            continue;
        const std::int64_t behind = *e.totalMs - leaders.value(e.klasse);
        if (behind > 0)
            e.behind = BehindText(behind, s.accuracy);
    }
}

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
    if (clock.running)
        s.clockZero = race.FirstStart();

    const int firstStarter = race.FirstStarter();
    if (firstStarter >= 1)
        s.firstStart = cells.Cell(kColStart, firstStarter);
    s.classes = race.ClassOrder();
    s.runs = race.Settings().runs == 2 ? 2 : 1;
    s.run = race.Run();
    s.startList = s.run == 2 && !race.AnyStarted();
    s.entries.reserve(static_cast<size_t>(std::max(0, cells.RowCount() - 1)));
    // In the order every output lists the results; pages show it as it comes.
    // Between the runs that is run 2's start list, the table's order.
    std::vector<int> rows;
    if (s.startList) {
        for (int r = 1; r < cells.RowCount(); ++r)
            rows.push_back(r);
    } else {
        for (const ResultGroup& group : GroupResults(cells, s.classes))
            rows.insert(rows.end(), group.rows.begin(), group.rows.end());
    }
    for (const int r : rows) {
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
        if (s.run == 2)
            addRuns(e, cells, r);
        s.entries.push_back(std::move(e));
    }
    if (s.run == 2)
        addBehind(s);
    AssignEntryIds(s);
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
    // Newest first; unknown finishes and ties keep the entries' order.
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

const char* StateName(Race::RowState state)
{
    switch (state) {
    case Race::RowState::Running:
        return "running";
    case Race::RowState::Finished:
        return "finished";
    case Race::RowState::Free:
        break;
    }
    return "free";
}

namespace {

// A place as a JSON number's text; empty (null) for no place or a status.
QString placeNumber(const QString& text)
{
    const int place = protocol::PlaceNumber(text);
    return place > 0 ? QString::number(place) : QString();
}

} // namespace

const std::vector<EntryField>& RunEntryFields()
{
    static const auto ms = [](const std::optional<std::int64_t>& v) { return v ? QString::number(*v) : QString(); };
    static const std::vector<EntryField> fields {
        { "run1", false, false, [](const SnapshotEntry& e) { return e.run1; } },
        { "run1Place", true, false, [](const SnapshotEntry& e) { return e.run1Place; } },
        { "run1Status", false, false, [](const SnapshotEntry& e) { return e.run1Status; } },
        { "run1Ms", true, false, [](const SnapshotEntry& e) { return ms(e.run1Ms); } },
        { "run2Ms", true, false, [](const SnapshotEntry& e) { return ms(e.run2Ms); } },
        { "totalMs", true, false, [](const SnapshotEntry& e) { return ms(e.totalMs); } },
        { "total", false, false, [](const SnapshotEntry& e) { return e.total; } },
        { "behind", false, false, [](const SnapshotEntry& e) { return e.behind; } },
    };
    return fields;
}

const std::vector<EntryField>& StationEntryFields()
{
    // The field of each interim station comes from its index; a lambda
    // without captures per station keeps EntryField a plain function pointer.
    static const auto text = [](const SnapshotEntry& e, int i) { return e.interim[static_cast<size_t>(i)]; };
    static const auto ms = [](const SnapshotEntry& e, int i) {
        const auto& v = e.interimMs[static_cast<size_t>(i)];
        return v ? QString::number(*v) : QString();
    };
    static const std::vector<EntryField> fields {
        { "startFrom", false, false, [](const SnapshotEntry& e) { return e.startFrom; } },
        { "interim1", false, false, [](const SnapshotEntry& e) { return text(e, 0); } },
        { "interim2", false, false, [](const SnapshotEntry& e) { return text(e, 1); } },
        { "interim3", false, false, [](const SnapshotEntry& e) { return text(e, 2); } },
        { "interim4", false, false, [](const SnapshotEntry& e) { return text(e, 3); } },
        { "interim1Ms", true, false, [](const SnapshotEntry& e) { return ms(e, 0); } },
        { "interim2Ms", true, false, [](const SnapshotEntry& e) { return ms(e, 1); } },
        { "interim3Ms", true, false, [](const SnapshotEntry& e) { return ms(e, 2); } },
        { "interim4Ms", true, false, [](const SnapshotEntry& e) { return ms(e, 3); } },
    };
    return fields;
}

std::vector<const EntryField*> ExtraEntryFields(const Snapshot& snapshot)
{
    std::vector<const EntryField*> extra;
    if (snapshot.runs == 2 || snapshot.run == 2)
        for (const EntryField& f : RunEntryFields())
            extra.push_back(&f);
    if (!snapshot.stations.isEmpty())
        for (const EntryField& f : StationEntryFields())
            extra.push_back(&f);
    return extra;
}

const std::vector<EntryField>& EntryFields()
{
    static const std::vector<EntryField> fields {
        { "number", false, false, [](const SnapshotEntry& e) { return e.number; } },
        { "name", false, false, [](const SnapshotEntry& e) { return e.name; } },
        { "start", false, false, [](const SnapshotEntry& e) { return e.start; } },
        { "time", false, false, [](const SnapshotEntry& e) { return e.time; } },
        { "split", false, false, [](const SnapshotEntry& e) { return e.split; } },
        { "place", false, true, [](const SnapshotEntry& e) { return e.place; } },
        { "state", false, false, [](const SnapshotEntry& e) { return QString::fromLatin1(StateName(e.state)); } },
        { "runMs", true, false,
            [](const SnapshotEntry& e) { return e.runMs ? QString::number(*e.runMs) : QString(); } },
        { "class", false, false, [](const SnapshotEntry& e) { return e.klasse; } },
        { "status", false, false, [](const SnapshotEntry& e) { return e.status; } },
        // With classes "Platz" is the place in the class and "Gesamt" the
        // overall one; without, "Gesamt" stays empty and "Platz" is overall.
        { "classPlace", true, true,
            [](const SnapshotEntry& e) { return e.overall.isEmpty() ? QString() : placeNumber(e.place); } },
        { "overallPlace", true, true,
            [](const SnapshotEntry& e) { return placeNumber(e.overall.isEmpty() ? e.place : e.overall); } },
    };
    return fields;
}

void AssignEntryIds(Snapshot& snapshot)
{
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
    QHash<QString, int> seen;
    seen.reserve(static_cast<qsizetype>(snapshot.entries.size()));
    for (SnapshotEntry& e : snapshot.entries) {
        Fnv key;
        if (TrimBlanks(e.start).isEmpty()) {
            key.add(std::uint64_t { 'n' });
            key.add(e.number);
            key.add(e.name);
        } else {
            key.add(std::uint64_t { 's' });
            key.add(e.number);
            key.add(e.start);
        }
        QString id(8, Qt::Uninitialized);
        for (int i = 0; i < 8; ++i)
            id[i] = QLatin1Char(kDigits[(key.value >> (5 * i)) & 31]);
        const int n = ++seen[id];
        if (n > 1)
            id += QLatin1Char('~') + QString::number(n);
        e.id = id;
    }
}

std::uint64_t ContentVersion(const Snapshot& snapshot)
{
    Fnv h;
    h.add(snapshot.title);
    h.add(snapshot.firstStart);
    h.add(static_cast<std::uint64_t>(snapshot.classes.size()));
    for (const QString& klasse : snapshot.classes)
        h.add(klasse);
    h.add(static_cast<std::uint64_t>(snapshot.accuracy));
    for (const QString* colour :
        { &snapshot.colours.background, &snapshot.colours.digit, &snapshot.colours.dim, &snapshot.colours.secondRow })
        h.add(*colour);
    h.add(std::uint64_t { snapshot.running });
    if (snapshot.running)
        h.add(static_cast<std::uint64_t>(static_cast<std::uint32_t>(snapshot.clockZero.value_or(0))));
    else
        h.add(static_cast<std::uint64_t>(static_cast<std::uint32_t>(snapshot.raceMs)));
    h.add(static_cast<std::uint64_t>(snapshot.entries.size()));
    const std::vector<EntryField>& fields = EntryFields();
    for (const SnapshotEntry& e : snapshot.entries) {
        for (const EntryField& f : fields)
            h.add(f.value(e));
    }
    // Nothing of this in a race of one run without stations: its version
    // stays as it was.
    if (snapshot.runs == 2 || snapshot.run == 2)
        h.add(static_cast<std::uint64_t>(snapshot.runs * 4 + snapshot.run * 2 + (snapshot.startList ? 1 : 0)));
    if (!snapshot.stations.isEmpty())
        h.add(snapshot.stations.join(QLatin1Char(',')));
    const std::vector<const EntryField*> extra = ExtraEntryFields(snapshot);
    if (!extra.empty()) {
        for (const SnapshotEntry& e : snapshot.entries)
            for (const EntryField* f : extra)
                h.add(f->value(e));
    }
    return h.value;
}

SnapshotDelta Diff(const Snapshot& before, const Snapshot& after)
{
    SnapshotDelta delta;
    QHash<QString, int> earlier;
    earlier.reserve(static_cast<qsizetype>(before.entries.size()));
    for (int i = 0; i < static_cast<int>(before.entries.size()); ++i)
        earlier.insert(before.entries[static_cast<size_t>(i)].id, i);

    const std::vector<EntryField>& fields = EntryFields();
    std::vector<const EntryField*> extra = ExtraEntryFields(after);
    for (const EntryField* f : ExtraEntryFields(before))
        if (std::find(extra.begin(), extra.end(), f) == extra.end())
            extra.push_back(f);
    std::vector<bool> runChanged(fields.size(), false);
    delta.orderChanged = before.entries.size() != after.entries.size();
    for (int i = 0; i < static_cast<int>(after.entries.size()); ++i) {
        const SnapshotEntry& a = after.entries[static_cast<size_t>(i)];
        const auto at = earlier.constFind(a.id);
        if (at == earlier.cend()) {
            delta.orderChanged = true;
            delta.changed.push_back(i);
            continue;
        }
        if (*at != i)
            delta.orderChanged = true;
        const SnapshotEntry& b = before.entries[static_cast<size_t>(*at)];
        bool differs = false;
        for (const EntryField& f : fields) {
            if (!f.byRuns && f.value(a) != f.value(b)) {
                differs = true;
                break;
            }
        }
        // Run 2's and the stations' fields travel with the entry: the time
        // behind the leader moves for many entries only when the leader
        // changes, which moves places too.
        if (!differs) {
            for (const EntryField* f : extra) {
                if (f->value(a) != f->value(b)) {
                    differs = true;
                    break;
                }
            }
        }
        if (differs) {
            delta.changed.push_back(i);
            continue;
        }
        for (size_t k = 0; k < fields.size(); ++k) {
            if (fields[k].byRuns && !runChanged[k] && fields[k].value(a) != fields[k].value(b))
                runChanged[k] = true;
        }
    }
    for (size_t k = 0; k < fields.size(); ++k) {
        if (runChanged[k])
            delta.runFields.push_back(static_cast<int>(k));
    }
    if (!delta.orderChanged)
        return delta;
    for (int i = 0; i < static_cast<int>(after.entries.size()); ++i) {
        const int from = earlier.value(after.entries[static_cast<size_t>(i)].id, -1);
        if (from < 0) {
            delta.order.push_back({ 0, 0, i });
        } else if (!delta.order.empty() && delta.order.back().count > 0
            && delta.order.back().from + delta.order.back().count == from) {
            ++delta.order.back().count;
        } else {
            delta.order.push_back({ from, 1, -1 });
        }
    }
    return delta;
}

} // namespace race
