// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Row states, places and the view of the current row.
#include "race/Race.h"

#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "gridstore/SortCompare.h"
#include "gridstore/SortEngine.h"
#include "protocol/Columns.h"
#include "race/RaceText.h"
#include "race/Ranking.h"
#include "race/Runs.h"

#include <QHash>
#include <QSet>

#include <algorithm>

using namespace protocol;

namespace race {

namespace {

// What an entry row is to the ranking.
enum class RowRank {
    Waiting, // no time yet: its "Platz" stays
    Status, // shows its status instead of a place
    NoRunTime, // a time that is no run time: "-"
    Ranked,
};

// Empty, or nothing but blanks and control characters.
bool blank(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 32; });
}

// Whether the text is the decimal form of n (n >= 1), read without making
// the text of n.
bool holdsNumber(const QString& text, int n)
{
    qsizetype i = text.size();
    for (; n > 0; n /= 10) {
        if (i == 0 || text[--i] != QLatin1Char(static_cast<char>('0' + n % 10)))
            return false;
    }
    return i == 0;
}

// Whether the text is the run time `ms` at the accuracy. Reading a time is
// cheaper than making its text, and the totals of a ranking mostly stay.
bool holdsRunTime(const QString& text, std::int64_t ms, int accuracy)
{
    const qsizetype comma = text.lastIndexOf(QLatin1Char(','));
    const qsizetype decimals = comma < 0 ? 0 : text.size() - comma - 1;
    if (decimals != accuracy)
        return false;
    const std::optional<std::int64_t> held = RunTimeValue(text);
    return held && *held == ms;
}

// Writes what the ranking found, a cell only when its text changes.
void writeRanking(TCellTable& table, const std::vector<RankInput>& inputs, const std::vector<RowRank>& kinds,
    const std::vector<RankPlaces>& places, bool classes, bool runs, int accuracy)
{
    const TCellStore& cells = table.TableStore();
    const auto put = [&table, &cells](int col, int row, const QString& text) {
        if (cells.CellRef(col, row) != text)
            table.SetTableCell(col, row, text);
    };
    const auto putPlace = [&table, &cells](int col, int row, int place) {
        if (!holdsNumber(cells.CellRef(col, row), place))
            table.SetTableCell(col, row, QString::number(place));
    };
    for (int r = 1; r <= static_cast<int>(kinds.size()); ++r) {
        const size_t i = static_cast<size_t>(r - 1);
        switch (kinds[i]) {
        case RowRank::Status:
            put(kColPlatz, r, StatusText(inputs[i].status));
            put(kColGesamt, r, QString());
            break;
        case RowRank::Waiting:
            put(kColGesamt, r, QString());
            break;
        case RowRank::NoRunTime:
            put(kColPlatz, r, QStringLiteral("-"));
            put(kColGesamt, r, QString());
            break;
        case RowRank::Ranked:
            if (classes) {
                putPlace(kColPlatz, r, places[i].inGroup);
                putPlace(kColGesamt, r, places[i].overall);
            } else {
                putPlace(kColPlatz, r, places[i].overall);
                put(kColGesamt, r, QString());
            }
            break;
        }
        if (runs) {
            if (kinds[i] != RowRank::Ranked)
                put(kColGesamtzeit, r, QString());
            else if (!holdsRunTime(cells.CellRef(kColGesamtzeit, r), *inputs[i].value, accuracy))
                table.SetTableCell(
                    kColGesamtzeit, r, RunTimeText(static_cast<std::int32_t>(*inputs[i].value), accuracy));
        }
    }
}

// What row `r` is ranked by, and how its place is shown. `scoring` is given
// in a race of two runs, where the two runs' times and statuses decide.
RowRank classify(const TCellStore& cells, int r, EntryStatus status, const RunsScoring* scoring, RankInput& input)
{
    const QString& zeit = cells.CellRef(kColZeit, r);
    std::optional<std::int64_t> value;
    if (!blank(zeit)) {
        value = RunTimeValue(zeit);
        if (!value)
            value = RunTimeValue(TrimBlanks(zeit));
    }
    if (scoring) {
        const EntryRuns entry { RunTimeValue(TrimBlanks(cells.CellRef(kColLauf1, r))), value,
            StatusOfCell(cells.CellRef(kColLauf1Status, r)), status };
        const RunsScore score = ScoreRuns(entry, *scoring);
        input.value = score.value;
        input.status = score.status;
        if (score.value)
            return RowRank::Ranked;
        if (score.status != EntryStatus::None)
            return RowRank::Status;
        return blank(zeit) ? RowRank::Waiting : RowRank::NoRunTime;
    }
    input.status = status;
    input.value = value;
    if (status != EntryStatus::None)
        return RowRank::Status;
    if (blank(zeit))
        return RowRank::Waiting;
    return value ? RowRank::Ranked : RowRank::NoRunTime;
}

} // namespace

Race::RowState Race::StateOf(int row) const
{
    const TCellStore& cells = m_table.TableStore();
    if (blank(cells.CellRef(kColRaw, row)))
        return RowState::Free;
    return blank(cells.CellRef(kColZeit, row)) ? RowState::Running : RowState::Finished;
}

bool Race::hasStatus(int row) const
{
    return StatusOf(row) != EntryStatus::None;
}

EntryStatus Race::StatusOf(int row) const
{
    return StatusOfCell(m_table.TableStore().CellRef(kColStatus, row));
}

bool Race::isRunner(int row) const
{
    return StateOf(row) == RowState::Running && !hasStatus(row);
}

bool Race::Startable(int row) const
{
    return StateOf(row) == RowState::Free && !hasStatus(row);
}

bool Race::AnyStarted() const
{
    for (int r = 1; r < m_table.TableRowCount(); ++r)
        if (StateOf(r) != RowState::Free)
            return true;
    return false;
}

int Race::EarliestRunner() const
{
    int best = -1;
    platform::Tick bestTick = 0;
    for (int r = 1; r < m_table.TableRowCount(); ++r) {
        if (!isRunner(r))
            continue;
        const std::optional<std::int32_t> s = WholeNumber(m_table.TableCell(kColRaw, r));
        if (!s)
            continue;
        if (best < 0 || platform::TickDiff(*s, bestTick) < 0) {
            best = r;
            bestTick = *s;
        }
    }
    return best;
}

std::optional<platform::Tick> Race::FirstStartOfRunners() const
{
    // The runner with the shortest split names it most precisely (the first
    // starter exactly); a split that is no run time is passed over, and
    // without any readable split the earliest runner's start stands in.
    std::optional<platform::Tick> first;
    std::int64_t shortest = 0;
    for (int r = 1; r < m_table.TableRowCount(); ++r) {
        if (!isRunner(r))
            continue;
        const std::optional<std::int32_t> start = WholeNumber(m_table.TableCell(kColRaw, r));
        const std::optional<std::int64_t> split = RunTimeValue(TrimBlanks(m_table.TableCell(kColSplit, r)));
        if (!start || !split || *split < 0)
            continue;
        if (!first || *split < shortest) {
            shortest = *split;
            first = platform::TickDiff(*start, static_cast<platform::Tick>(*split));
        }
    }
    if (!first) {
        const int runner = EarliestRunner();
        if (runner >= 1)
            first = WholeNumber(m_table.TableCell(kColRaw, runner));
    }
    return first;
}

void ProtocolSortStyle(int col, TSortStyle& style, TSortOptions& options)
{
    if (col == kColNr) {
        // "12a" and "A7" are start numbers too.
        options.SortCompare = NaturalNumberOrder;
        style = TSortStyle::ssCustom;
    } else if (col == kColName || col == kColKlasse) {
        style = TSortStyle::ssNormal;
    } else if ((col >= kColStart && col <= kColPlatz) || col == kColGesamt) {
        options.SortCompare = TimeTextOrder;
        style = TSortStyle::ssCustom;
    }
}

int Race::FirstStarter() const
{
    // A split that is no run time counts after every one that is.
    int best = -1;
    std::optional<std::int64_t> bestSplit;
    QString bestText;
    for (int r = 1; r < m_table.TableRowCount(); ++r) {
        if (StateOf(r) == RowState::Free || TrimBlanks(m_table.TableCell(kColStart, r)).isEmpty())
            continue;
        const QString text = TrimBlanks(m_table.TableCell(kColSplit, r));
        const std::optional<std::int64_t> split = RunTimeValue(text);
        const bool better = best < 0 || (split && (!bestSplit || *split < *bestSplit))
            || (!split && !bestSplit && TimeTextOrder(text, bestText) < 0);
        if (better) {
            best = r;
            bestSplit = split;
            bestText = text;
        }
    }
    return best;
}

int Race::rank(int currentRow)
{
    // The rows are shown in the operator's order: the column and direction
    // of the last header click, "Zeit" ascending until then. From the first
    // ranking on, a header click sorts too.
    m_displayOrder.CanSort = true;
    const int row = SortTableForDisplay(
        m_table, m_displayOrder, [this](int col, TSortStyle& style) { ProtocolSortStyle(col, style, m_displayOrder); },
        currentRow);
    const Waiting waiting = writePlaces();
    return nextCurrentRow(clampRow(row), waiting);
}

// Competition places by run time, whatever order the rows are shown in:
// 10,00, 10,00 and 11,50 get 1, 1 and 3. With classes each class counts its
// own places into "Platz" and the overall place goes into "Gesamt". An entry
// with a status shows it instead of a place; a time that is no run time (a
// loaded "verletzt") is never ranked. Rows without a time keep their "Platz".
// In run 2 the places go by the result of both runs, and "Gesamtzeit" shows
// the time they go by.
Race::Waiting Race::writePlaces()
{
    Waiting waiting;
    platform::Tick runnerTick = 0;
    // Read in place: a copy of every cell of a large table costs more than
    // the ranking itself.
    const TCellStore& cells = m_table.TableStore();
    const int rows = m_table.TableRowCount();
    const bool runs = UsesRuns(cells);
    const RunsScoring scoring = m_settings.runsScoring == 1 ? RunsScoring::Best : RunsScoring::Sum;
    const size_t entries = static_cast<size_t>(std::max(0, rows - 1));
    std::vector<RankInput> inputs(entries);
    std::vector<RowRank> kinds(entries, RowRank::Waiting);
    QHash<QString, int> groups;
    QStringList seen; // the classes in the table's order
    for (int r = 1; r < rows; ++r) {
        RankInput& input = inputs[static_cast<size_t>(r - 1)];
        const QString& klasseText = cells.CellRef(kColKlasse, r);
        if (!blank(klasseText)) {
            const bool trimmed = klasseText.front().unicode() > 32 && klasseText.back().unicode() > 32;
            const QString& klasse = trimmed ? klasseText : TrimBlanks(klasseText);
            auto found = groups.constFind(klasse);
            if (found == groups.cend()) {
                found = groups.insert(klasse, static_cast<int>(groups.size()) + 1);
                seen << klasse;
            }
            input.group = found.value();
        }
        const EntryStatus status = StatusOfCell(cells.CellRef(kColStatus, r));
        const QString& zeit = cells.CellRef(kColZeit, r);
        if (status == EntryStatus::None && blank(zeit)) {
            // Who the next stop or start is for, found on the way.
            if (waiting.first < 0)
                waiting.first = r;
            const QString& raw = cells.CellRef(kColRaw, r);
            if (blank(raw)) {
                if (waiting.free < 0)
                    waiting.free = r;
            } else if (const std::optional<std::int32_t> tick = WholeNumber(raw)) {
                if (waiting.runner < 0 || platform::TickDiff(*tick, runnerTick) < 0) {
                    waiting.runner = r;
                    runnerTick = *tick;
                }
            }
        }
        kinds[static_cast<size_t>(r - 1)] = classify(cells, r, status, runs ? &scoring : nullptr, input);
    }
    const std::vector<RankPlaces> places = RankEntries(inputs);
    const bool classes = !seen.isEmpty();
    // Classes that came after the start list follow it in the table's order.
    for (const QString& klasse : std::as_const(seen))
        if (!m_classOrder.contains(klasse))
            m_classOrder << klasse;
    writeRanking(m_table, inputs, kinds, places, classes, runs, m_settings.accuracy);
    return waiting;
}

// After a stop the next stop applies to the earliest-started entry still
// running, wherever the display sort has put it. With "stop first" STOPP
// finds that entry by itself, so the row the next START needs stays current.
int Race::nextCurrentRow(int fallback, const Waiting& waiting) const
{
    if (m_settings.stopFirst && waiting.free >= 1)
        return waiting.free;
    if (waiting.runner >= 1)
        return waiting.runner;
    // Entries with a status wait for nothing.
    return waiting.first >= 1 ? waiting.first : fallback;
}

int Race::skipStatusRows(int row)
{
    int r = row;
    while (r < m_table.TableRowCount() && StateOf(r) == RowState::Free && hasStatus(r))
        ++r;
    if (r == m_table.TableRowCount())
        appendFreeRow();
    return r;
}

void Race::appendFreeRow()
{
    const int row = m_table.TableRowCount();
    m_table.SetTableRowCount(row + 1);
    QStringList fresh(kProtocolColCount);
    fresh[kColPlatz] = QStringLiteral("-");
    m_table.SetTableRow(row, fresh);
}

// A table whose every row is started or out of the race gets a free row at
// its end: START must always find one.
void Race::keepFreeRow()
{
    const int rows = m_table.TableRowCount();
    if (Startable(rows - 1))
        return;
    for (int r = 1; r < rows - 1; ++r)
        if (Startable(r))
            return;
    appendFreeRow();
}

QStringList Race::ClassOrder() const
{
    QStringList order;
    QSet<QString> present;
    for (int r = 1; r < m_table.TableRowCount(); ++r) {
        const QString klasse = TrimBlanks(m_table.TableCell(kColKlasse, r));
        if (!klasse.isEmpty())
            present.insert(klasse);
    }
    for (const QString& klasse : m_classOrder)
        if (present.remove(klasse))
            order << klasse;
    // Classes that came after the start list, in the table's order.
    for (int r = 1; r < m_table.TableRowCount() && !present.isEmpty(); ++r) {
        const QString klasse = TrimBlanks(m_table.TableCell(kColKlasse, r));
        if (present.remove(klasse))
            order << klasse;
    }
    return order;
}

RaceView Race::makeView(int row)
{
    RaceView v;
    v.currentRow = row;
    const RowState state = StateOf(row);
    v.startAvailable = startAvailable(row);
    v.stopAvailable = stopAvailable(row);
    v.endAvailable = m_endAvailable;
    v.interimAvailable = m_interimAvailable;
    v.resetAvailable = m_resetAvailable;
    v.settingsAvailable = m_settingsAvailable;
    v.clockRunning = m_clockRunning;
    v.raceStarted = m_firstStart.has_value();
    v.firstStartTick = m_firstStart.value_or(0);
    const std::optional<std::int32_t> raw = WholeNumber(m_table.TableCell(kColRaw, row));
    // An entry out of the race (a status) runs no clock.
    if (state == RowState::Running && raw && !hasStatus(row)) {
        m_latestStart = *raw;
        v.currentRowRunning = true;
        v.currentStartTick = *raw;
    } else if (state == RowState::Finished && raw) {
        v.row1Ms = *raw; // the run time
    }
    v.startBarrierFree = m_startLock.free;
    v.stopBarrierFree = m_stopLock.free;
    v.startLockoutRunning = m_startLock.lockoutRunning;
    v.stopLockoutRunning = m_stopLock.lockoutRunning;
    m_view = v;
    return v;
}

} // namespace race
