// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The race commands: START, STOPP, interim stops, ENDE, reset, the barrier
// locks and lockouts, and the barrier impulse that requests them.
#include "race/Race.h"

#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "protocol/Columns.h"
#include "race/RaceText.h"

#include <QSet>

#include <algorithm>

using namespace protocol;

namespace race {

const char* OutcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::NotRequested:
        return "not requested";
    case Outcome::Started:
        return "started";
    case Outcome::Stopped:
        return "stopped";
    case Outcome::InterimRecorded:
        return "interim recorded";
    case Outcome::InterimInserted:
        return "interim inserted";
    case Outcome::Ended:
        return "ended";
    case Outcome::Cleared:
        return "cleared";
    case Outcome::Refreshed:
        return "refreshed";
    case Outcome::NotAvailable:
        return "ignored: command not available";
    case Outcome::Locked:
        return "ignored: barrier locked";
    case Outcome::LockoutRunning:
        return "ignored: lockout running";
    case Outcome::StopTakenBack:
        return "stop taken back";
    case Outcome::Run2Begun:
        return "run 2 begun";
    }
    return "?";
}

const char* CommandName(Command command)
{
    switch (command) {
    case Command::Start:
        return "START";
    case Command::Stop:
        return "STOPP";
    case Command::InterimStop:
        return "F.Stopp";
    case Command::InsertInterim:
        return "insert interim";
    case Command::End:
        return "ENDE";
    case Command::Reset:
        return "reset";
    case Command::ToggleLock:
        return "toggle lock";
    case Command::LockoutEnded:
        return "lockout ended";
    case Command::BarrierImpulse:
        return "barrier";
    case Command::RowStateRefresh:
        return "row-state refresh";
    case Command::RankRefresh:
        return "rank refresh";
    case Command::Loaded:
        return "loaded";
    case Command::SettingsChanged:
        return "settings";
    case Command::TakeBackStop:
        return "take back stop";
    case Command::UndoStop:
        return "undo stop";
    case Command::BeginRun2:
        return "begin run 2";
    }
    return "?";
}

Race::Race(TCellTable& table, TSortOptions& displayOrder)
    : m_table(table)
    , m_displayOrder(displayOrder)
{
}

void Race::record(CommandRecord record) const
{
    if (OnCommand)
        OnCommand(record);
}

int Race::clampRow(int row) const
{
    return std::clamp(row, 1, std::max(1, m_table.TableRowCount() - 1));
}

bool Race::startAvailable(int row) const
{
    return !m_halted && startTarget(row) >= 1;
}

bool Race::stopAvailable(int row) const
{
    return !m_halted && stopTarget(row) >= 1;
}

// START takes a free row; an entry that will not start (a free row with a
// status) passes it on to the next free row below.
int Race::startTarget(int row) const
{
    const int rows = m_table.TableRowCount();
    for (int r = row; r >= 1 && r < rows; ++r) {
        if (StateOf(r) != RowState::Free)
            return -1;
        if (!hasStatus(r))
            return r;
    }
    return -1;
}

// STOPP never applies to an entry with a status.
int Race::stopTarget(int row) const
{
    if (isRunner(row))
        return row;
    return m_settings.stopFirst ? EarliestRunner() : -1;
}

void Race::armLockout(Barrier barrier, platform::Tick at)
{
    Lock& l = lock(barrier);
    const int interval = barrier == Barrier::Start ? m_settings.startLockoutMs : m_settings.stopLockoutMs;
    if (interval > 0 && !l.lockoutRunning) { // a running lockout is not extended
        l.lockoutRunning = true;
        l.lockoutEnd
            = static_cast<platform::Tick>(static_cast<std::uint32_t>(at) + static_cast<std::uint32_t>(interval));
    }
    l.free = false;
}

std::optional<platform::Tick> Race::LockoutEnd(Barrier barrier) const
{
    const Lock& l = lock(barrier);
    if (!l.lockoutRunning)
        return std::nullopt;
    return l.lockoutEnd;
}

void Race::freeWhenAvailable(Barrier barrier, int row)
{
    const bool available = barrier == Barrier::Start ? startAvailable(row) : stopAvailable(row);
    if (available)
        lock(barrier).free = true;
}

RaceResult Race::Start(int currentRow, const platform::Stamp& stamp)
{
    if (OnBeforeCommand)
        OnBeforeCommand(currentRow);
    const int c = clampRow(currentRow);
    RaceResult result;
    if (startAvailable(c))
        result = startRow(startTarget(c), stamp);
    else
        result = { Outcome::NotAvailable, makeView(c) };
    record({ Command::Start, currentRow, stamp, Barrier::Start, -1, false, false, result.outcome });
    return result;
}

RaceResult Race::startRow(int c, const platform::Stamp& stamp)
{
    const platform::Tick t = stamp.tick;
    m_latestStart = t;
    if (!m_firstStart)
        m_firstStart = t;
    const std::int32_t split = platform::TickDiff(t, *m_firstStart);

    // A whole number keeps its plain form ("007" is 7), a number with letters
    // ("12a", "A7") stays as the club gave it; only an entry without one
    // (empty or "0") gets one, the lowest the table does not hold yet. The
    // name always stays.
    const QString given = TrimBlanks(m_table.TableCell(kColNr, c));
    const std::optional<std::int32_t> n = WholeNumber(given);
    if (given.isEmpty() || (n && *n == 0))
        m_table.SetTableCell(kColNr, c, QString::number(LowestFreeNumber()));
    else if (n)
        m_table.SetTableCell(kColNr, c, QString::number(*n));
    else if (given != m_table.TableCell(kColNr, c))
        m_table.SetTableCell(kColNr, c, given);
    m_table.SetTableCell(kColStart, c, TimeOfDayText(stamp.timeOfDay));
    m_table.SetTableCell(kColSplit, c, RunTimeText(split, m_settings.accuracy));
    m_table.SetTableCell(kColPlatz, c, QStringLiteral("-"));
    m_table.SetTableCell(kColRaw, c, QString::number(t));

    if (c == m_table.TableRowCount() - 1)
        appendFreeRow();
    // Entries that will not start are passed over.
    const int next = skipStatusRows(c + 1);
    keepFreeRow();
    m_halted = false;
    m_clockRunning = true;
    m_endAvailable = true; // also after ENDE: a running clock must be stoppable
    if (stopAvailable(next))
        m_stopLock.free = true;
    armLockout(Barrier::Start, t);
    m_settingsAvailable = false;
    m_interimAvailable = true;
    return { Outcome::Started, makeView(next) };
}

int Race::LowestFreeNumber() const
{
    std::vector<bool> taken(static_cast<size_t>(m_table.TableRowCount()) + 1, false);
    for (int r = 1; r < m_table.TableRowCount(); ++r) {
        const std::optional<std::int32_t> n = WholeNumber(m_table.TableCell(kColNr, r));
        if (n && *n >= 1 && *n < static_cast<std::int32_t>(taken.size()))
            taken[static_cast<size_t>(*n)] = true;
    }
    // Among rows + 1 numbers one is always free.
    int free = 1;
    while (taken[static_cast<size_t>(free)])
        ++free;
    return free;
}

int Race::NewRowNumber() const
{
    constexpr int kHighest = 500;
    constexpr int kOverflow = 9999;
    QSet<QString> taken;
    for (int r = 1; r < m_table.TableRowCount(); ++r)
        taken.insert(m_table.TableCell(kColNr, r));
    for (int n = 1; n <= kHighest; ++n) {
        if (!taken.contains(QString::number(n)))
            return n;
    }
    return kOverflow;
}

bool Race::RowHasTimes(int row) const
{
    if (row < 1 || row >= m_table.TableRowCount())
        return false;
    for (const int col : { kColStart, kColZeit, kColRaw }) {
        if (!TrimBlanks(m_table.TableCell(col, row)).isEmpty())
            return true;
    }
    return false;
}

RaceResult Race::Stop(int currentRow, const platform::Stamp& stamp)
{
    const int c = clampRow(currentRow);
    // Only the barrier stops the earliest runner: a key acts on the entry
    // the operator selected or on nobody.
    const int target = !m_halted && isRunner(c) ? c : -1;
    RaceResult result;
    if (target >= 1)
        result = stopRow(target, stamp);
    else
        result = { Outcome::NotAvailable, makeView(c) };
    record({ Command::Stop, currentRow, stamp, Barrier::Stop, -1, false, false, result.outcome });
    return result;
}

QString Race::WhyNotStoppable(int row) const
{
    if (row < 1 || row >= m_table.TableRowCount())
        return QStringLiteral("keine Zeile gewählt");
    const QString nr = TrimBlanks(m_table.TableCell(kColNr, row));
    const QString who = nr.isEmpty() ? QStringLiteral("Die gewählte Zeile") : QStringLiteral("Nr. ") + nr;
    if (hasStatus(row))
        return QStringLiteral("%1 hat den Status %2").arg(who, StatusText(StatusOf(row)));
    switch (StateOf(row)) {
    case RowState::Free:
        return QStringLiteral("%1 ist nicht gestartet").arg(who);
    case RowState::Finished:
        return QStringLiteral("%1 ist schon im Ziel").arg(who);
    case RowState::Running:
        break;
    }
    return m_halted ? QStringLiteral("das Rennen ist beendet (ENDE)") : QString();
}

RaceResult Race::stopRow(int row, const platform::Stamp& stamp)
{
    const QString raw = m_table.TableCell(kColRaw, row);
    const std::optional<std::int32_t> s = WholeNumber(raw);
    if (!s)
        throw RaceError(("'" + raw + "' ist kein gültiger Integerwert").toStdString());
    writeStop(row, *s, stamp);

    const int moved = row < m_table.TableRowCount() - 1 ? row + 1 : row;
    m_halted = false;
    armLockout(Barrier::Stop, stamp.tick);
    if (startAvailable(moved))
        m_startLock.free = true;
    return { Outcome::Stopped, makeView(rank(moved)) };
}

void Race::writeStop(int row, platform::Tick start, const platform::Stamp& stop)
{
    const std::int32_t run = platform::TickDiff(stop.tick, start);
    m_table.SetTableCell(kColZeit, row, RunTimeText(run, m_settings.accuracy));
    m_table.SetTableCell(kColRaw, row, QString::number(run));
    WrittenStop finish = finishOf(row);
    finish.start = start;
    finish.stop = stop;
    forgetFinish(finish);
    m_finishes.push_back(finish);
}

WrittenStop Race::finishOf(int row) const
{
    WrittenStop f;
    f.startText = TrimBlanks(m_table.TableCell(kColStart, row));
    f.splitText = TrimBlanks(m_table.TableCell(kColSplit, row));
    f.runText = TrimBlanks(m_table.TableCell(kColRaw, row));
    return f;
}

void Race::forgetFinish(const WrittenStop& finish)
{
    std::erase_if(m_finishes, [&](const WrittenStop& f) {
        return f.startText == finish.startText && f.splitText == finish.splitText && f.runText == finish.runText;
    });
}

// The stop of a finished entry as the race wrote it; for an entry of a
// loaded protocol the start follows from the first start and "Split", the
// stop's time of day from "Start" and the run time.
std::optional<WrittenStop> Race::knownFinish(int row) const
{
    if (row < 1 || row >= m_table.TableRowCount() || StateOf(row) != RowState::Finished || hasStatus(row))
        return std::nullopt;
    WrittenStop f = finishOf(row);
    const std::optional<std::int32_t> run = WholeNumber(f.runText);
    if (!run)
        return std::nullopt;
    for (auto i = m_finishes.rbegin(); i != m_finishes.rend(); ++i)
        if (i->startText == f.startText && i->splitText == f.splitText && i->runText == f.runText)
            return *i;
    const std::optional<std::int64_t> split = RunTimeValue(f.splitText);
    const std::optional<std::int64_t> startOfDay = TimeOfDayValue(f.startText);
    if (!m_firstStart || !split)
        return std::nullopt;
    f.start = platform::TickDiff(*m_firstStart, static_cast<platform::Tick>(-*split));
    f.stop.tick = platform::TickDiff(f.start, -*run);
    if (startOfDay)
        f.stop.timeOfDay = QTime::fromMSecsSinceStartOfDay(static_cast<int>((*startOfDay + *run) % 86400000));
    return f;
}

bool Race::CanTakeBackStop(int row) const
{
    return knownFinish(row).has_value();
}

RaceResult Race::TakeBackStop(int currentRow)
{
    const int c = clampRow(currentRow);
    RaceResult result;
    if (const std::optional<WrittenStop> finish = knownFinish(c)) {
        forgetFinish(*finish);
        m_table.SetTableCell(kColZeit, c, QString());
        m_table.SetTableCell(kColRaw, c, QString::number(finish->start));
        m_table.SetTableCell(kColPlatz, c, QStringLiteral("-"));
        m_table.SetTableCell(kColGesamt, c, QString());
        m_interims.push_back({ finish->stop, TimeOfDayText(finish->stop.timeOfDay), false });
        UndoStep step;
        step.kind = UndoKind::TakeBack;
        step.entry = entryKey(c);
        step.interim = static_cast<int>(m_interims.size()) - 1;
        step.finish = *finish;
        m_undo = step;
        // The entry is on course again: the race clock runs for it.
        m_halted = false;
        m_clockRunning = true;
        m_endAvailable = true;
        m_interimAvailable = true;
        result = { Outcome::StopTakenBack, makeView(rank(c)) };
    } else {
        result = { Outcome::NotAvailable, makeView(c) };
    }
    record({ Command::TakeBackStop, currentRow, std::nullopt, Barrier::Stop, -1, false, false, result.outcome });
    return result;
}

RaceResult Race::InterimStop(int currentRow, const platform::Stamp& stamp)
{
    m_interims.push_back({ stamp, TimeOfDayText(stamp.timeOfDay), false });
    RaceResult result { Outcome::InterimRecorded, makeView(clampRow(currentRow)) };
    record({ Command::InterimStop, currentRow, stamp, Barrier::Stop, -1, false, false, result.outcome });
    return result;
}

bool Race::CanInsertInterim(int currentRow, int index) const
{
    if (index < 0 || index >= static_cast<int>(m_interims.size()) || m_interims[static_cast<size_t>(index)].used)
        return false;
    const int c = clampRow(currentRow);
    if (!isRunner(c))
        return false;
    const std::optional<std::int32_t> s = WholeNumber(m_table.TableCell(kColRaw, c));
    // An interim time taken before the entry started is not its stop.
    return s && platform::TickDiff(m_interims[static_cast<size_t>(index)].stamp.tick, *s) >= 0;
}

RaceResult Race::InsertInterim(int currentRow, int index)
{
    const int c = clampRow(currentRow);
    RaceResult result;
    if (CanInsertInterim(c, index)) {
        Interim& interim = m_interims[static_cast<size_t>(index)];
        const std::int32_t start = *WholeNumber(m_table.TableCell(kColRaw, c));
        const QStringList entry = entryKey(c);
        writeStop(c, start, interim.stamp);
        interim.used = true;
        UndoStep step;
        step.kind = UndoKind::Insert;
        step.entry = entry;
        step.interim = index;
        step.finish = m_finishes.back();
        m_undo = step;
        m_halted = false;
        result = { Outcome::InterimInserted, makeView(rank(c)) };
    } else {
        result = { Outcome::NotAvailable, makeView(c) };
    }
    record({ Command::InsertInterim, currentRow, std::nullopt, Barrier::Stop, index, false, false, result.outcome });
    return result;
}

RaceResult Race::End(int currentRow, const platform::Stamp& stamp)
{
    const int c = clampRow(currentRow);
    RaceResult result;
    if (m_endAvailable) {
        if (m_clockRunning && m_firstStart)
            m_stoppedMs = platform::TickDiff(stamp.tick, *m_firstStart);
        m_clockRunning = false;
        if (startAvailable(c))
            m_startLock.free = true;
        m_endAvailable = false;
        m_interimAvailable = false;
        m_resetAvailable = true;
        m_halted = true;
        result = { Outcome::Ended, makeView(c) };
    } else {
        result = { Outcome::NotAvailable, makeView(c) };
    }
    record({ Command::End, currentRow, stamp, Barrier::Start, -1, false, false, result.outcome });
    return result;
}

RaceResult Race::Reset()
{
    RaceResult result;
    if (m_resetAvailable) {
        m_table.ClearTable();
        m_clockRunning = false;
        m_stoppedMs = 0;
        m_undo.reset();
        m_classOrder.clear();
        m_firstStart.reset();
        m_latestStart = 0;
        m_endAvailable = false; // nothing has started that could be ended
        m_interimAvailable = false;
        m_resetAvailable = false;
        m_settingsAvailable = true;
        m_halted = false;
        m_interims.clear();
        m_finishes.clear();
        result = { Outcome::Cleared, makeView(1) };
    } else {
        result = { Outcome::NotAvailable, m_view };
    }
    record({ Command::Reset, 1, std::nullopt, Barrier::Start, -1, false, false, result.outcome });
    return result;
}

RaceResult Race::ToggleLock(Barrier barrier, int currentRow)
{
    lock(barrier).free = !lock(barrier).free;
    RaceResult result { Outcome::Refreshed, makeView(clampRow(currentRow)) };
    record({ Command::ToggleLock, currentRow, std::nullopt, barrier, -1, false, false, result.outcome });
    return result;
}

RaceResult Race::LockoutEnded(Barrier barrier, int currentRow)
{
    const int c = clampRow(currentRow);
    lock(barrier).lockoutRunning = false;
    freeWhenAvailable(barrier, c);
    RaceResult result { Outcome::Refreshed, makeView(c) };
    record({ Command::LockoutEnded, currentRow, std::nullopt, barrier, -1, false, false, result.outcome });
    return result;
}

bool Race::CatchUpLockouts(platform::Tick edge, int currentRow)
{
    bool ended = false;
    for (const Barrier barrier : { Barrier::Start, Barrier::Stop }) {
        const Lock& l = lock(barrier);
        if (l.lockoutRunning && platform::TickDiff(edge, l.lockoutEnd) >= 0) {
            LockoutEnded(barrier, currentRow);
            ended = true;
        }
    }
    return ended;
}

BarrierResult Race::BarrierImpulse(
    bool stopRequested, bool startRequested, int currentRow, const platform::Stamp& stamp)
{
    CatchUpLockouts(stamp.tick, currentRow);
    if (OnBeforeCommand)
        OnBeforeCommand(currentRow);
    int c = clampRow(currentRow);
    BarrierResult result;
    if (stopRequested) {
        const int target = m_halted ? -1 : stopTarget(c);
        if (m_stopLock.lockoutRunning) {
            result.stop = Outcome::LockoutRunning;
        } else if (!m_stopLock.free) {
            result.stop = Outcome::Locked;
        } else if (target >= 1) {
            c = stopRow(target, stamp).view.currentRow;
            result.stop = Outcome::Stopped;
        } else {
            // Nobody to stop: the time is kept for the operator to insert.
            m_interims.push_back({ stamp, TimeOfDayText(stamp.timeOfDay), false });
            result.stop = Outcome::InterimRecorded;
        }
    }
    if (startRequested) {
        if (m_startLock.lockoutRunning) {
            result.start = Outcome::LockoutRunning;
        } else if (!m_startLock.free) {
            result.start = Outcome::Locked;
        } else if (startAvailable(c)) {
            c = startRow(startTarget(c), stamp).view.currentRow;
            result.start = Outcome::Started;
        } else {
            result.start = Outcome::NotAvailable;
        }
    }
    result.view = makeView(c);
    record({ Command::BarrierImpulse, currentRow, stamp, Barrier::Stop, -1, stopRequested, startRequested, result.stop,
        result.start });
    return result;
}

RaceClock Race::ClockAt(platform::Tick now) const
{
    if (m_clockRunning && m_firstStart)
        return { true, platform::TickDiff(now, *m_firstStart), m_settings.accuracy };
    return { false, m_firstStart ? m_stoppedMs : 0, m_settings.accuracy };
}

RaceResult Race::SettingsChanged(const RaceSettings& settings, int currentRow)
{
    m_settings = settings;
    RaceResult result { Outcome::Refreshed, makeView(clampRow(currentRow)) };
    record({ Command::SettingsChanged, currentRow, std::nullopt, Barrier::Start, -1, false, false, result.outcome });
    return result;
}

RaceResult Race::RowStateRefresh(int row)
{
    m_halted = false;
    RaceResult result { Outcome::Refreshed, makeView(clampRow(row)) };
    record({ Command::RowStateRefresh, row, std::nullopt, Barrier::Start, -1, false, false, result.outcome });
    return result;
}

RaceResult Race::RankRefresh(int currentRow)
{
    m_halted = false;
    RaceResult result { Outcome::Refreshed, makeView(rank(clampRow(currentRow))) };
    record({ Command::RankRefresh, currentRow, std::nullopt, Barrier::Start, -1, false, false, result.outcome });
    return result;
}

RaceResult Race::Loaded(int currentRow)
{
    const std::optional<platform::Tick> firstStart = FirstStartOfRunners();
    m_firstStart = firstStart;
    const bool started = firstStart.has_value();
    m_clockRunning = started;
    m_endAvailable = started;
    m_interimAvailable = started;
    m_settingsAvailable = !started;
    m_halted = false;
    RaceResult result { Outcome::Refreshed, makeView(rank(clampRow(currentRow))) };
    std::optional<platform::Stamp> stamp;
    if (firstStart)
        stamp = platform::Stamp { *firstStart, QTime() };
    record({ Command::Loaded, currentRow, stamp, Barrier::Start, -1, false, false, result.outcome });
    return result;
}

RaceState Race::State() const
{
    RaceState s;
    s.firstStart = m_firstStart;
    s.latestStart = m_latestStart;
    s.startFree = m_startLock.free;
    s.startLockoutRunning = m_startLock.lockoutRunning;
    s.stopFree = m_stopLock.free;
    s.stopLockoutRunning = m_stopLock.lockoutRunning;
    s.startLockoutEnd = m_startLock.lockoutEnd;
    s.stopLockoutEnd = m_stopLock.lockoutEnd;
    s.clockRunning = m_clockRunning;
    s.stoppedMs = m_stoppedMs;
    s.endAvailable = m_endAvailable;
    s.interimAvailable = m_interimAvailable;
    s.resetAvailable = m_resetAvailable;
    s.settingsAvailable = m_settingsAvailable;
    s.halted = m_halted;
    s.interims = m_interims;
    s.classOrder = m_classOrder;
    s.finishes = m_finishes;
    return s;
}

RaceResult Race::RestoreState(const RaceState& s, int currentRow)
{
    m_firstStart = s.firstStart;
    m_latestStart = s.latestStart;
    m_startLock = { s.startFree, s.startLockoutRunning, s.startLockoutEnd };
    m_stopLock = { s.stopFree, s.stopLockoutRunning, s.stopLockoutEnd };
    m_clockRunning = s.clockRunning;
    m_stoppedMs = s.stoppedMs;
    m_endAvailable = s.endAvailable;
    m_interimAvailable = s.interimAvailable;
    m_resetAvailable = s.resetAvailable;
    m_settingsAvailable = s.settingsAvailable;
    m_halted = s.halted;
    m_interims = s.interims;
    m_classOrder = s.classOrder;
    m_finishes = s.finishes;
    const platform::Tick latest = s.latestStart;
    RaceResult result { Outcome::Refreshed, makeView(clampRow(currentRow)) };
    m_latestStart = latest; // the view of a running row would have set it
    return result;
}

} // namespace race
