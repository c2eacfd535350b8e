// Row states, places and the view of the current row.
#include "race/Race.h"

#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "gridstore/SortEngine.h"
#include "protocol/Columns.h"
#include "race/RaceText.h"

#include <algorithm>

using namespace protocol;

namespace race {

namespace {

// What a run time ranks by: its value where the text is a run time, and
// after every value (ordered as time texts) where it is not.
struct RankKey {
    std::optional<std::int64_t> value;
    QString text;
    int row = 0;
};

int compareKeys(const RankKey& a, const RankKey& b)
{
    if (a.value && b.value)
        return *a.value < *b.value ? -1 : (*a.value > *b.value ? 1 : 0);
    if (a.value || b.value)
        return a.value ? -1 : 1;
    return TimeTextOrder(a.text, b.text);
}

} // namespace

Race::RowState Race::StateOf(int row) const
{
    if (TrimBlanks(m_table.TableCell(kColRaw, row)).isEmpty())
        return RowState::Free;
    return TrimBlanks(m_table.TableCell(kColZeit, row)).isEmpty() ? RowState::Running : RowState::Finished;
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
        if (StateOf(r) != RowState::Running)
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
        if (StateOf(r) != RowState::Running)
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
        style = TSortStyle::ssNumeric;
    } else if (col == kColName) {
        style = TSortStyle::ssNormal;
    } else if (col >= kColStart && col <= kColPlatz) {
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
    writePlaces();
    return nextCurrentRow(clampRow(row));
}

// Competition places by run time, whatever order the rows are shown in:
// 10,00, 10,00 and 11,50 get 1, 1 and 3. Rows without a run time keep their
// "Platz".
void Race::writePlaces()
{
    std::vector<RankKey> keys;
    for (int r = 1; r < m_table.TableRowCount(); ++r) {
        const QString zeit = TrimBlanks(m_table.TableCell(kColZeit, r));
        if (!zeit.isEmpty())
            keys.push_back({ RunTimeValue(zeit), zeit, r });
    }
    std::stable_sort(
        keys.begin(), keys.end(), [](const RankKey& a, const RankKey& b) { return compareKeys(a, b) < 0; });
    int place = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i == 0 || compareKeys(keys[i - 1], keys[i]) != 0)
            place = static_cast<int>(i) + 1;
        const QString text = QString::number(place);
        if (m_table.TableCell(kColPlatz, keys[i].row) != text)
            m_table.SetTableCell(kColPlatz, keys[i].row, text);
    }
}

// After a stop the next stop applies to the earliest-started entry still
// running, wherever the display sort has put it. With "stop first" STOPP
// finds that entry by itself, so the row the next START needs stays current.
int Race::nextCurrentRow(int fallback) const
{
    const int rows = m_table.TableRowCount();
    if (m_settings.stopFirst) {
        for (int r = 1; r < rows; ++r)
            if (StateOf(r) == RowState::Free && TrimBlanks(m_table.TableCell(kColZeit, r)).isEmpty())
                return r;
    }
    const int runner = EarliestRunner();
    if (runner >= 1)
        return runner;
    for (int r = 1; r < rows; ++r)
        if (m_table.TableCell(kColZeit, r).isEmpty())
            return r;
    return fallback;
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
    if (state == RowState::Running && raw) {
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
