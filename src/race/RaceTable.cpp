// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The operator's own changes of the table (edits, rows removed, inserted and
// brought back, loads, header clicks), their replay, and the race's digest.
#include "race/Race.h"

#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "gridstore/SortEngine.h"
#include "protocol/Columns.h"
#include "protocol/ProtocolFiles.h"
#include "race/RaceText.h"
#include "race/Runs.h"

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

bool Race::isBlank(int row) const
{
    // The free row a start leaves at the end carries only its "-".
    for (int c = 0; c < kTableColCount; ++c) {
        const QString text = TrimBlanks(m_table.TableCell(c, row));
        if (!text.isEmpty() && !(c == kColPlatz && text == QLatin1String("-")))
            return false;
    }
    return true;
}

bool Race::CanRemoveRow(int row) const
{
    if (row < 1 || row >= m_table.TableRowCount())
        return false;
    if (!isBlank(row) || !Startable(row))
        return true;
    for (int r = 1; r < m_table.TableRowCount(); ++r)
        if (r != row && Startable(r))
            return true;
    return false;
}

int Race::RemoveRow(int row)
{
    if (!CanRemoveRow(row))
        return clampRow(row);
    QStringList cells = SavedCells(m_table.TableStore().Row(row));
    // In run 2 Ctrl+Z brings the entry back with its run 1.
    if (UsesRuns(m_table.TableStore()))
        for (int c = static_cast<int>(cells.size()); c < kRunsSavedColCount; ++c)
            cells << m_table.TableCell(c, row);
    m_table.DeleteTableRow(row);
    keepFreeRow();
    m_undo = UndoStep { UndoKind::Row, RemovedRow { row, cells }, {}, {}, {}, -1, {} };
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

QStringList Race::entryKey(int row) const
{
    QStringList key;
    for (const int c : { kColNr, kColName, kColStart, kColKlasse })
        key << TrimBlanks(m_table.TableCell(c, row));
    return key;
}

int Race::entryRow(const UndoStep& step) const
{
    const int rows = m_table.TableRowCount();
    const auto matches = [&](int r) {
        if (entryKey(r) != step.entry)
            return false;
        switch (step.kind) {
        case UndoKind::Status:
            return StatusOf(r) == StatusOfCell(step.after);
        case UndoKind::TakeBack: // on course again, from the same start
            return isRunner(r) && WholeNumber(m_table.TableCell(kColRaw, r)) == step.finish.start;
        case UndoKind::Insert: // finished with the inserted time
            return StateOf(r) == RowState::Finished && !hasStatus(r)
                && TrimBlanks(m_table.TableCell(kColRaw, r)) == step.finish.runText;
        case UndoKind::Row:
            break;
        }
        return false;
    };
    if (step.removed.row >= 1 && step.removed.row < rows && matches(step.removed.row))
        return step.removed.row;
    for (int r = 1; r < rows; ++r)
        if (matches(r))
            return r;
    return -1;
}

int Race::Undo()
{
    if (!m_undo)
        return -1;
    const UndoStep step = *std::exchange(m_undo, std::nullopt);
    if (step.kind == UndoKind::TakeBack || step.kind == UndoKind::Insert)
        return undoStop(step);
    TableRecord r;
    if (step.kind == UndoKind::Status) {
        const int row = entryRow(step);
        if (row < 0)
            return -1;
        writeStatus(row, step.before);
        keepFreeRow();
        r.change = TableChange::StatusBack;
        r.row = row;
        r.oldText = step.after;
        r.newText = step.before;
        recordTable(r);
        return row;
    }
    const int row = putBack(step.removed);
    r.change = TableChange::RowBack;
    r.from = step.removed.row;
    r.row = row;
    r.cells = step.removed.cells;
    recordTable(r);
    return row;
}

// A taken-back stop is written again and its loose impulse leaves the
// interim list; an inserted interim time is loose again and its entry runs.
// Only while the entry and the interim time stand as the step left them.
int Race::undoStop(const UndoStep& step)
{
    const int row = entryRow(step);
    const size_t index = static_cast<size_t>(step.interim);
    const bool interimAsLeft = step.interim >= 0 && index < m_interims.size()
        && m_interims[index].stamp.tick == step.finish.stop.tick
        && m_interims[index].used == (step.kind == UndoKind::Insert);
    Outcome outcome = Outcome::NotAvailable;
    if (row >= 1 && interimAsLeft) {
        if (step.kind == UndoKind::TakeBack) {
            writeStop(row, step.finish.start, step.finish.stop);
            m_interims.erase(m_interims.begin() + step.interim);
        } else {
            forgetFinish(step.finish);
            m_table.SetTableCell(kColZeit, row, QString());
            m_table.SetTableCell(kColRaw, row, QString::number(step.finish.start));
            m_table.SetTableCell(kColPlatz, row, QStringLiteral("-"));
            m_table.SetTableCell(kColGesamt, row, QString());
            m_interims[index].used = false;
        }
        m_halted = false;
        outcome = Outcome::Refreshed;
    }
    record({ Command::UndoStop, row, std::nullopt, Barrier::Stop, -1, false, false, outcome });
    return outcome == Outcome::Refreshed ? row : -1;
}

bool Race::CanSetStatus(int row) const
{
    return row >= 1 && row < m_table.TableRowCount() && !isBlank(row);
}

void Race::writeStatus(int row, const QString& status)
{
    m_table.SetTableCell(kColStatus, row, status);
    m_table.SetTableCell(kColGesamt, row, QString());
    // Without a status the entry waits for its place again; the ranking
    // writes it.
    if (!status.isEmpty())
        m_table.SetTableCell(kColPlatz, row, status);
    else
        m_table.SetTableCell(kColPlatz, row, StateOf(row) == RowState::Free ? QString() : QStringLiteral("-"));
}

bool Race::SetStatus(int row, EntryStatus status)
{
    if (!CanSetStatus(row) || StatusOf(row) == status)
        return false;
    const QString before = StatusText(StatusOf(row));
    const QString after = StatusText(status);
    writeStatus(row, after);
    keepFreeRow();
    m_undo = UndoStep { UndoKind::Status, RemovedRow { row, {} }, before, after, entryKey(row), -1, {} };
    TableRecord r;
    r.change = TableChange::Status;
    r.row = row;
    r.oldText = before;
    r.newText = after;
    recordTable(r);
    return true;
}

void Race::applyRows(const QList<QStringList>& rows)
{
    LoadedProtocol loaded;
    loaded.rows.assign(rows.begin(), rows.end());
    // A time that names a status ("DNF", "aufg.") becomes that status, as
    // does a place of a results list ("DNF" where the place would be); any
    // other time that is no run time stays as it is and is never ranked.
    for (QStringList& row : loaded.rows) {
        const QString given = row.value(kColStatus);
        EntryStatus status = StatusNamedBy(given);
        if (status == EntryStatus::None && !given.isEmpty())
            continue; // a status text of its own stays as it is
        const QString zeit = row.value(kColZeit);
        const EntryStatus inZeit = zeit.isEmpty() || RunTimeValue(zeit) ? EntryStatus::None : StatusNamedBy(zeit);
        if (inZeit != EntryStatus::None)
            row[kColZeit].clear();
        if (status == EntryStatus::None)
            status = inZeit != EntryStatus::None ? inZeit : StatusNamedBy(row.value(kColPlatz));
        if (status == EntryStatus::None)
            continue;
        while (row.size() <= kColStatus)
            row << QString();
        row[kColStatus] = StatusText(status);
    }
    // Run 1 of a race before must not stay in the rows of the loaded one.
    if (UsesRuns(m_table.TableStore()))
        for (QStringList& row : loaded.rows)
            while (row.size() < kRunsTableColCount)
                row << QString();
    ApplyLoadedProtocol(m_table, loaded);
    m_undo.reset();
    m_finishes.clear();
    m_classOrder.clear();
    for (const QStringList& row : loaded.rows) {
        const QString klasse = TrimBlanks(row.value(kColKlasse));
        if (!klasse.isEmpty() && !m_classOrder.contains(klasse))
            m_classOrder << klasse;
    }
    keepFreeRow();
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
        if (r.col < 0 || r.col >= kRunsTableColCount || r.row < 1 || r.row >= rows)
            return false;
        const bool same = m_table.TableCell(r.col, r.row) == r.oldText;
        m_table.SetTableCell(r.col, r.row, r.newText);
        return same;
    }
    case TableChange::RowRemoved: {
        if (r.row < 1 || r.row >= rows)
            return false;
        bool same = true;
        for (qsizetype c = 0; c < r.cells.size() && same; ++c)
            same = m_table.TableCell(static_cast<int>(c), r.row) == r.cells[c];
        m_table.DeleteTableRow(r.row);
        keepFreeRow();
        m_undo = UndoStep { UndoKind::Row, RemovedRow { r.row, r.cells }, {}, {}, {}, -1, {} };
        return same;
    }
    case TableChange::Status:
    case TableChange::StatusBack: {
        if (r.row < 1 || r.row >= rows)
            return false;
        const bool same = StatusOf(r.row) == StatusOfCell(r.oldText);
        writeStatus(r.row, r.newText);
        keepFreeRow();
        if (r.change == TableChange::Status)
            m_undo = UndoStep { UndoKind::Status, RemovedRow { r.row, {} }, r.oldText, r.newText, entryKey(r.row), -1,
                {} };
        else
            m_undo.reset();
        return same;
    }
    case TableChange::RowInserted: {
        const int row = m_table.InsertTableRow(r.at);
        m_table.SetTableRow(row, r.cells);
        return row == r.row;
    }
    case TableChange::RowBack:
        m_undo.reset();
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
        for (int c = 0; c < kClassColCount; ++c) // "Gesamt" follows from the others
            f.text(m_table.TableCell(c, r));
    // Run 1 as the entries keep it in run 2 ("Gesamtzeit" follows from it).
    if (UsesRuns(m_table.TableStore()))
        for (int r = 1; r < rows; ++r)
            for (const int c : { kColLauf1, kColLauf1Platz, kColLauf1Status })
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
    for (const QString& klasse : state.classOrder)
        f.text(klasse);
    f.number(static_cast<std::int64_t>(state.finishes.size()));
    for (const WrittenStop& finish : state.finishes) {
        for (const QString* text : { &finish.startText, &finish.splitText, &finish.runText })
            f.text(*text);
        f.number(finish.start);
        f.number(finish.stop.tick);
    }
    f.number(m_displayOrder.SortCol);
    f.number(m_displayOrder.SortDirection + (m_displayOrder.CanSort ? 2 : 0));
    return QStringLiteral("%1").arg(f.h, 16, 16, QLatin1Char('0'));
}

} // namespace race
