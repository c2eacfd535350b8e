// The operator's own changes of the table (edits, rows removed, inserted and
// brought back, loads, header clicks), their replay, and the race's digest.
#include "race/Race.h"

#include "gridstore/CellTable.h"
#include "gridstore/SortEngine.h"
#include "protocol/Columns.h"
#include "protocol/ProtocolFiles.h"

#include <algorithm>

using namespace protocol;

namespace race {

namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

struct Fnv {
    std::uint64_t h = kFnvOffset;
    void unit(std::uint32_t u)
    {
        h ^= u;
        h *= kFnvPrime;
    }
    void text(const QString& s)
    {
        for (const QChar c : s)
            unit(c.unicode());
        unit(0x10000u); // ends the text: "ab","c" differs from "a","bc"
    }
    void number(std::int64_t v)
    {
        unit(static_cast<std::uint32_t>(v));
        unit(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32));
    }
};

} // namespace

void Race::recordTable(TableRecord record) const
{
    if (OnTableChange)
        OnTableChange(record);
}

int Race::RemoveRow(int row)
{
    const QStringList cells = m_table.TableStore().Row(row);
    m_table.DeleteTableRow(row);
    m_lastRemoved = RemovedRow { row, cells };
    TableRecord r;
    r.change = TableChange::RowRemoved;
    r.row = row;
    r.cells = cells;
    recordTable(r);
    return row < m_table.TableRowCount() ? row : m_table.TableRowCount() - 1;
}

int Race::InsertRow(int at, const QStringList& cells)
{
    const int row = m_table.InsertTableRow(at);
    m_table.SetTableRow(row, cells);
    TableRecord r;
    r.change = TableChange::RowInserted;
    r.at = at;
    r.row = row;
    r.cells = cells;
    recordTable(r);
    return row;
}

int Race::putBack(const RemovedRow& removed)
{
    int row = 1;
    if (m_table.TableRowCount() == 2 && m_table.TableStore().IsEmptyRow(1)) {
        // The only row was emptied, not removed: it takes the texts back.
    } else {
        // Inserting at the last row appends after it; the row goes back to
        // its own place all the same.
        row = std::clamp(removed.row, 1, m_table.TableRowCount());
        const int inserted = m_table.InsertTableRow(row);
        if (inserted != row)
            m_table.MoveTableRow(inserted, row);
    }
    m_table.SetTableRow(row, removed.cells);
    return row;
}

int Race::UndoRemove()
{
    if (!m_lastRemoved)
        return -1;
    const RemovedRow removed = *std::exchange(m_lastRemoved, std::nullopt);
    const int row = putBack(removed);
    TableRecord r;
    r.change = TableChange::RowBack;
    r.from = removed.row;
    r.row = row;
    r.cells = removed.cells;
    recordTable(r);
    return row;
}

void Race::applyRows(const QList<QStringList>& rows)
{
    LoadedProtocol loaded;
    loaded.rows.assign(rows.begin(), rows.end());
    ApplyLoadedProtocol(m_table, loaded);
    m_lastRemoved.reset();
}

void Race::Load(const QList<QStringList>& rows, const QString& fileName)
{
    applyRows(rows);
    TableRecord r;
    r.change = TableChange::Loaded;
    r.fileName = fileName;
    r.rows = rows;
    recordTable(r);
}

void Race::CellEdited(int col, int row, const QString& oldText, const QString& newText)
{
    TableRecord r;
    r.change = TableChange::Edit;
    r.col = col;
    r.row = row;
    r.oldText = oldText;
    r.newText = newText;
    recordTable(r);
}

void Race::Sorted(int col, TSortDirection direction)
{
    TableRecord r;
    r.change = TableChange::Sorted;
    r.col = col;
    r.direction = direction;
    recordTable(r);
}

bool Race::ReplayTableChange(const TableRecord& r)
{
    const int rows = m_table.TableRowCount();
    switch (r.change) {
    case TableChange::Edit: {
        if (r.col < 0 || r.col >= kProtocolColCount || r.row < 1 || r.row >= rows)
            return false;
        const bool same = m_table.TableCell(r.col, r.row) == r.oldText;
        m_table.SetTableCell(r.col, r.row, r.newText);
        return same;
    }
    case TableChange::RowRemoved: {
        if (r.row < 1 || r.row >= rows)
            return false;
        const bool same = m_table.TableStore().Row(r.row).mid(0, r.cells.size()) == r.cells;
        m_table.DeleteTableRow(r.row);
        m_lastRemoved = RemovedRow { r.row, r.cells };
        return same;
    }
    case TableChange::RowInserted: {
        const int row = m_table.InsertTableRow(r.at);
        m_table.SetTableRow(row, r.cells);
        return row == r.row;
    }
    case TableChange::RowBack:
        m_lastRemoved.reset();
        return putBack({ r.from, r.cells }) == r.row;
    case TableChange::Loaded:
        applyRows(r.rows);
        return true;
    case TableChange::Sorted:
        // As the header click: the direction turns, and the rows are sorted
        // when sorting is on.
        m_displayOrder.SortDirection = r.direction;
        if (m_displayOrder.CanSort) {
            m_displayOrder.SortCol = r.col;
            SortTableForDisplay(
                m_table, m_displayOrder,
                [this](int col, TSortStyle& style) { ProtocolSortStyle(col, style, m_displayOrder); }, 1);
        }
        return true;
    }
    return false;
}

QString Race::Digest() const
{
    Fnv f;
    const int rows = m_table.TableRowCount();
    f.number(rows);
    for (int r = 1; r < rows; ++r)
        for (int c = 0; c < kProtocolColCount; ++c)
            f.text(m_table.TableCell(c, r));
    const RaceState state = State();
    f.number(state.firstStart ? 1 : 0);
    f.number(state.firstStart.value_or(0));
    f.number(state.latestStart);
    for (const bool b :
        { state.startFree, state.startLockoutRunning, state.stopFree, state.stopLockoutRunning, state.clockRunning,
            state.endAvailable, state.interimAvailable, state.resetAvailable, state.settingsAvailable, state.halted })
        f.number(b ? 1 : 0);
    f.number(state.startLockoutRunning ? state.startLockoutEnd : 0);
    f.number(state.stopLockoutRunning ? state.stopLockoutEnd : 0);
    f.number(state.stoppedMs);
    f.number(static_cast<std::int64_t>(state.interims.size()));
    for (const Interim& i : state.interims) {
        f.number(i.stamp.tick);
        f.text(i.text);
        f.number(i.used ? 1 : 0);
    }
    f.number(m_displayOrder.SortCol);
    f.number(m_displayOrder.SortDirection + (m_displayOrder.CanSort ? 2 : 0));
    return QStringLiteral("%1").arg(f.h, 16, 16, QLatin1Char('0'));
}

} // namespace race
