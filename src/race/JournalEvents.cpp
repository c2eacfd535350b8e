// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/JournalEvents.h"

#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "race/Runs.h"

namespace race {

namespace {

const Outcome kOutcomes[] = { Outcome::NotRequested, Outcome::Started, Outcome::Stopped, Outcome::InterimRecorded,
    Outcome::InterimInserted, Outcome::Ended, Outcome::Cleared, Outcome::Refreshed, Outcome::NotAvailable,
    Outcome::Locked, Outcome::LockoutRunning, Outcome::StopTakenBack, Outcome::Run2Begun };

std::optional<Outcome> outcomeNamed(const QString& name)
{
    for (const Outcome o : kOutcomes)
        if (name == QLatin1String(OutcomeName(o)))
            return o;
    return std::nullopt;
}

// Every race command and the kind of its line.
struct CommandKind {
    Command command;
    const QString* kind;
};
const CommandKind kCommandKinds[] = {
    { Command::Start, &kind::Start },
    { Command::Stop, &kind::Stop },
    { Command::InterimStop, &kind::Interim },
    { Command::InsertInterim, &kind::InsertInterim },
    { Command::End, &kind::End },
    { Command::Reset, &kind::Reset },
    { Command::ToggleLock, &kind::Lock },
    { Command::LockoutEnded, &kind::LockoutEnded },
    { Command::BarrierImpulse, &kind::Barrier },
    { Command::RowStateRefresh, &kind::RowState },
    { Command::RankRefresh, &kind::Rank },
    { Command::Loaded, &kind::Loaded },
    { Command::SettingsChanged, &kind::Settings },
    { Command::TakeBackStop, &kind::TakeBackStop },
    { Command::UndoStop, &kind::UndoStop },
    { Command::BeginRun2, &kind::Run2 },
};

QString kindOf(Command command)
{
    for (const CommandKind& c : kCommandKinds)
        if (c.command == command)
            return *c.kind;
    return QStringLiteral("?");
}

std::optional<Command> commandOf(const QString& name)
{
    for (const CommandKind& c : kCommandKinds)
        if (*c.kind == name)
            return c.command;
    return std::nullopt;
}

QString barrierName(Barrier b)
{
    return b == Barrier::Start ? QStringLiteral("start") : QStringLiteral("stopp");
}

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

bool flagOf(const JournalEntry& e, const QString& key)
{
    return e.Field(key) == QLatin1String("1");
}

int intOf(const JournalEntry& e, const QString& key, int fallback)
{
    bool ok = false;
    const int v = e.Field(key).toInt(&ok);
    return ok ? v : fallback;
}

QString timeText(const QTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("HH:mm:ss.zzz")) : QStringLiteral("-");
}

} // namespace

JournalEntry CommandEntry(const CommandRecord& r, const RaceSettings& settings)
{
    JournalEntry e;
    e.kind = kindOf(r.command);
    if (r.stamp) {
        e.tick = r.stamp->tick;
        e.time = r.stamp->timeOfDay;
    } else {
        e.tick = platform::GetTickCount();
    }
    if (r.command != Command::Reset)
        e.Add(QStringLiteral("row"), r.row);
    switch (r.command) {
    case Command::ToggleLock:
    case Command::LockoutEnded:
        e.Add(QStringLiteral("barrier"), barrierName(r.barrier));
        break;
    case Command::InsertInterim:
        e.Add(QStringLiteral("interim"), r.interim);
        break;
    case Command::SettingsChanged:
        AddSettings(e, settings);
        break;
    case Command::BeginRun2:
        if (!r.order.isEmpty())
            e.Add(QStringLiteral("folge"), RowText(r.order));
        break;
    case Command::BarrierImpulse:
        e.Add(QStringLiteral("stop"), flag(r.stopRequested));
        e.Add(QStringLiteral("start"), flag(r.startRequested));
        if (r.stopRequested)
            e.Add(QStringLiteral("stopresult"), QString::fromLatin1(OutcomeName(r.outcome)));
        if (r.startRequested)
            e.Add(QStringLiteral("startresult"), QString::fromLatin1(OutcomeName(r.startOutcome)));
        return e;
    default:
        break;
    }
    e.Add(QStringLiteral("result"), QString::fromLatin1(OutcomeName(r.outcome)));
    return e;
}

void AddSettings(JournalEntry& e, const RaceSettings& s)
{
    e.Add(QStringLiteral("acc"), s.accuracy);
    e.Add(QStringLiteral("stopfirst"), flag(s.stopFirst));
    e.Add(QStringLiteral("startlockout"), s.startLockoutMs);
    e.Add(QStringLiteral("stoplockout"), s.stopLockoutMs);
    // A race of one run writes its lines as before two runs were known.
    if (s.runs == 2) {
        e.Add(QStringLiteral("laeufe"), s.runs);
        e.Add(QStringLiteral("umkehr"), s.runsReverse);
        e.Add(QStringLiteral("wertung"), s.runsScoring);
    }
}

RaceSettings SettingsOf(const JournalEntry& e, const RaceSettings& fallback)
{
    RaceSettings s;
    s.accuracy = intOf(e, QStringLiteral("acc"), fallback.accuracy);
    s.stopFirst = e.HasField(QStringLiteral("stopfirst")) ? flagOf(e, QStringLiteral("stopfirst")) : fallback.stopFirst;
    s.startLockoutMs = intOf(e, QStringLiteral("startlockout"), fallback.startLockoutMs);
    s.stopLockoutMs = intOf(e, QStringLiteral("stoplockout"), fallback.stopLockoutMs);
    // Without them the line is of a race of one run.
    s.runs = intOf(e, QStringLiteral("laeufe"), 1);
    s.runsReverse = intOf(e, QStringLiteral("umkehr"), fallback.runsReverse);
    s.runsScoring = intOf(e, QStringLiteral("wertung"), fallback.runsScoring);
    return s;
}

void AddState(JournalEntry& e, const RaceState& s)
{
    e.Add(QStringLiteral("first"), s.firstStart ? QString::number(*s.firstStart) : QStringLiteral("-"));
    e.Add(QStringLiteral("latest"), s.latestStart);
    e.Add(QStringLiteral("clock"), flag(s.clockRunning));
    e.Add(QStringLiteral("ende"), flag(s.endAvailable));
    e.Add(QStringLiteral("fstopp"), flag(s.interimAvailable));
    e.Add(QStringLiteral("reset"), flag(s.resetAvailable));
    e.Add(QStringLiteral("settings"), flag(s.settingsAvailable));
    e.Add(QStringLiteral("halted"), flag(s.halted));
    e.Add(QStringLiteral("startfree"), flag(s.startFree));
    e.Add(QStringLiteral("startlockoutrunning"), flag(s.startLockoutRunning));
    e.Add(QStringLiteral("stopfree"), flag(s.stopFree));
    e.Add(QStringLiteral("stoplockoutrunning"), flag(s.stopLockoutRunning));
    if (s.startLockoutRunning)
        e.Add(QStringLiteral("startlockoutend"), s.startLockoutEnd);
    if (s.stopLockoutRunning)
        e.Add(QStringLiteral("stoplockoutend"), s.stopLockoutEnd);
    if (!s.clockRunning && s.firstStart)
        e.Add(QStringLiteral("stopped"), s.stoppedMs);
    if (!s.classOrder.isEmpty())
        e.Add(QStringLiteral("klassen"), RowText(s.classOrder));
    for (const Interim& i : s.interims)
        e.Add(QStringLiteral("interim"),
            RowText({ QString::number(i.stamp.tick), timeText(i.stamp.timeOfDay), flag(i.used), i.text }));
    for (const WrittenStop& f : s.finishes)
        e.Add(QStringLiteral("ziel"),
            RowText({ f.startText, f.splitText, f.runText, QString::number(f.start), QString::number(f.stop.tick),
                timeText(f.stop.timeOfDay) }));
}

RaceState StateOf(const JournalEntry& e)
{
    RaceState s;
    bool ok = false;
    const int first = e.Field(QStringLiteral("first")).toInt(&ok);
    if (ok)
        s.firstStart = first;
    s.latestStart = intOf(e, QStringLiteral("latest"), 0);
    s.clockRunning = flagOf(e, QStringLiteral("clock"));
    s.endAvailable = flagOf(e, QStringLiteral("ende"));
    s.interimAvailable = flagOf(e, QStringLiteral("fstopp"));
    s.resetAvailable = flagOf(e, QStringLiteral("reset"));
    s.settingsAvailable = flagOf(e, QStringLiteral("settings"));
    s.halted = flagOf(e, QStringLiteral("halted"));
    s.startFree = flagOf(e, QStringLiteral("startfree"));
    s.startLockoutRunning = flagOf(e, QStringLiteral("startlockoutrunning"));
    s.stopFree = flagOf(e, QStringLiteral("stopfree"));
    s.stopLockoutRunning = flagOf(e, QStringLiteral("stoplockoutrunning"));
    s.startLockoutEnd = intOf(e, QStringLiteral("startlockoutend"), 0);
    s.stopLockoutEnd = intOf(e, QStringLiteral("stoplockoutend"), 0);
    s.stoppedMs = intOf(e, QStringLiteral("stopped"), 0);
    s.classOrder = RowCells(e.Field(QStringLiteral("klassen")));
    for (const auto& [key, value] : e.fields) {
        if (key != QLatin1String("interim"))
            continue;
        const QStringList parts = RowCells(value);
        Interim i;
        i.stamp.tick = parts.value(0).toInt();
        i.stamp.timeOfDay = QTime::fromString(parts.value(1), QStringLiteral("HH:mm:ss.zzz"));
        i.used = parts.value(2) == QLatin1String("1");
        i.text = parts.value(3);
        s.interims.push_back(i);
    }
    for (const auto& [key, value] : e.fields) {
        if (key != QLatin1String("ziel"))
            continue;
        const QStringList parts = RowCells(value);
        WrittenStop f;
        f.startText = parts.value(0);
        f.splitText = parts.value(1);
        f.runText = parts.value(2);
        f.start = parts.value(3).toInt();
        f.stop.tick = parts.value(4).toInt();
        f.stop.timeOfDay = QTime::fromString(parts.value(5), QStringLiteral("HH:mm:ss.zzz"));
        s.finishes.push_back(f);
    }
    return s;
}

QString RowText(const QStringList& cells)
{
    return CommaText(cells);
}

QStringList RowCells(const QString& text)
{
    if (text.isEmpty())
        return {};
    return SplitCommaText(text);
}

void AddRows(JournalEntry& e, const TCellTable& table, int colCount)
{
    const int rows = table.TableRowCount();
    e.Add(QStringLiteral("rows"), rows);
    QStringList cells;
    for (int r = 1; r < rows; ++r) {
        cells.clear();
        for (int c = 0; c < colCount; ++c)
            cells << table.TableCell(c, r);
        e.Add(QStringLiteral("r"), RowText(cells));
    }
}

QList<QStringList> RowsOf(const JournalEntry& e)
{
    QList<QStringList> rows;
    for (const auto& [key, value] : e.fields)
        if (key == QLatin1String("r"))
            rows << RowCells(value);
    return rows;
}

std::optional<RaceView> ReplayCommand(Race& rules, const JournalEntry& e, bool* agrees)
{
    const platform::Stamp stamp { e.tick, e.time };
    const int row = intOf(e, QStringLiteral("row"), 1);
    const Barrier barrier
        = e.Field(QStringLiteral("barrier")) == QLatin1String("start") ? Barrier::Start : Barrier::Stop;
    const std::optional<Outcome> recorded = outcomeNamed(e.Field(QStringLiteral("result")));
    const std::optional<Command> command = commandOf(e.kind);
    if (!command)
        return std::nullopt;
    RaceResult r;
    switch (*command) {
    case Command::Start:
        r = rules.Start(row, stamp);
        break;
    case Command::Stop:
        r = rules.Stop(row, stamp);
        break;
    case Command::InterimStop:
        r = rules.InterimStop(row, stamp);
        break;
    case Command::InsertInterim:
        r = rules.InsertInterim(row, intOf(e, QStringLiteral("interim"), -1));
        break;
    case Command::End:
        r = rules.End(row, stamp);
        break;
    case Command::Reset:
        r = rules.Reset();
        break;
    case Command::ToggleLock:
        r = rules.ToggleLock(barrier, row);
        break;
    case Command::LockoutEnded:
        r = rules.LockoutEnded(barrier, row);
        break;
    case Command::RowStateRefresh:
        r = rules.RowStateRefresh(row);
        break;
    case Command::RankRefresh:
        r = rules.RankRefresh(row);
        break;
    case Command::Loaded:
        r = rules.Loaded(row);
        break;
    case Command::SettingsChanged: {
        const RaceSettings s = SettingsOf(e, rules.Settings());
        rules.SetSettings(s);
        r = rules.SettingsChanged(s, row);
        break;
    }
    case Command::TakeBackStop:
        r = rules.TakeBackStop(row);
        break;
    case Command::UndoStop:
        r.outcome = rules.Undo() >= 1 ? Outcome::Refreshed : Outcome::NotAvailable;
        r.view = rules.View();
        break;
    case Command::BeginRun2:
        r = rules.BeginRun2(row);
        // The start list must come out as it was given out.
        if (agrees && e.HasField(QStringLiteral("folge"))) {
            *agrees = (!recorded || *recorded == r.outcome)
                && RowCells(e.Field(QStringLiteral("folge"))) == rules.StartNumbers();
            return r.view;
        }
        break;
    case Command::BarrierImpulse: {
        const bool stop = flagOf(e, QStringLiteral("stop"));
        const bool start = flagOf(e, QStringLiteral("start"));
        const BarrierResult b = rules.BarrierImpulse(stop, start, row, stamp);
        if (agrees) {
            const auto same = [&](const QString& key, bool requested, Outcome got) {
                return !requested || outcomeNamed(e.Field(key)) == got;
            };
            *agrees = same(QStringLiteral("stopresult"), stop, b.stop)
                && same(QStringLiteral("startresult"), start, b.start);
        }
        return b.view;
    }
    }
    if (agrees)
        *agrees = !recorded || *recorded == r.outcome;
    return r.view;
}

JournalEntry TableEntry(const TableRecord& r)
{
    JournalEntry e;
    e.tick = platform::GetTickCount();
    switch (r.change) {
    case TableChange::Edit:
        e.kind = kind::Edit;
        e.Add(QStringLiteral("col"), r.col).Add(QStringLiteral("row"), r.row);
        e.Add(QStringLiteral("alt"), r.oldText).Add(QStringLiteral("neu"), r.newText);
        break;
    case TableChange::RowRemoved:
        e.kind = kind::RowRemoved;
        e.Add(QStringLiteral("row"), r.row).Add(QStringLiteral("zellen"), RowText(r.cells));
        break;
    case TableChange::RowInserted:
        e.kind = kind::RowInserted;
        e.Add(QStringLiteral("at"), r.at).Add(QStringLiteral("row"), r.row);
        e.Add(QStringLiteral("zellen"), RowText(r.cells));
        break;
    case TableChange::RowBack:
        e.kind = kind::Undo;
        e.Add(QStringLiteral("from"), r.from).Add(QStringLiteral("row"), r.row);
        e.Add(QStringLiteral("zellen"), RowText(r.cells));
        break;
    case TableChange::Loaded:
        e.kind = kind::Load;
        e.Add(QStringLiteral("datei"), r.fileName).Add(QStringLiteral("rows"), r.rows.size());
        for (const QStringList& row : r.rows)
            e.Add(QStringLiteral("r"), RowText(row));
        break;
    case TableChange::Status:
    case TableChange::StatusBack:
        e.kind = r.change == TableChange::Status ? kind::Status : kind::StatusBack;
        e.Add(QStringLiteral("row"), r.row);
        e.Add(QStringLiteral("alt"), r.oldText).Add(QStringLiteral("neu"), r.newText);
        break;
    case TableChange::Sorted:
        e.kind = kind::Sort;
        e.Add(QStringLiteral("col"), r.col);
        e.Add(QStringLiteral("dir"), r.direction == sdAscending ? QStringLiteral("auf") : QStringLiteral("ab"));
        break;
    }
    return e;
}

std::optional<TableRecord> TableRecordOf(const JournalEntry& e)
{
    TableRecord r;
    r.col = intOf(e, QStringLiteral("col"), -1);
    r.row = intOf(e, QStringLiteral("row"), -1);
    r.cells = RowCells(e.Field(QStringLiteral("zellen")));
    if (e.kind == kind::Edit) {
        r.change = TableChange::Edit;
        r.oldText = e.Field(QStringLiteral("alt"));
        r.newText = e.Field(QStringLiteral("neu"));
    } else if (e.kind == kind::RowRemoved) {
        r.change = TableChange::RowRemoved;
    } else if (e.kind == kind::RowInserted) {
        r.change = TableChange::RowInserted;
        r.at = intOf(e, QStringLiteral("at"), 1);
    } else if (e.kind == kind::Undo) {
        r.change = TableChange::RowBack;
        r.from = intOf(e, QStringLiteral("from"), 1);
    } else if (e.kind == kind::Load) {
        r.change = TableChange::Loaded;
        r.fileName = e.Field(QStringLiteral("datei"));
        r.rows = RowsOf(e);
    } else if (e.kind == kind::Status || e.kind == kind::StatusBack) {
        r.change = e.kind == kind::Status ? TableChange::Status : TableChange::StatusBack;
        r.oldText = e.Field(QStringLiteral("alt"));
        r.newText = e.Field(QStringLiteral("neu"));
    } else if (e.kind == kind::Sort) {
        r.change = TableChange::Sorted;
        r.col = intOf(e, QStringLiteral("col"), 0);
        r.direction = e.Field(QStringLiteral("dir")) == QLatin1String("ab") ? sdDescending : sdAscending;
    } else {
        return std::nullopt;
    }
    return r;
}

JournalEntry StateEntry(const Race& race, int currentRow, int port, int algorithm)
{
    JournalEntry e;
    e.kind = kind::State;
    e.tick = platform::GetTickCount();
    AddSettings(e, race.Settings());
    e.Add(QStringLiteral("port"), port);
    e.Add(QStringLiteral("alg"), algorithm);
    const TSortOptions& order = race.DisplayOrder();
    e.Add(QStringLiteral("sortcol"), order.SortCol);
    e.Add(QStringLiteral("sortdir"), order.SortDirection == sdAscending ? QStringLiteral("auf") : QStringLiteral("ab"));
    e.Add(QStringLiteral("sorting"), order.CanSort ? 1 : 0);
    e.Add(QStringLiteral("current"), currentRow);
    AddState(e, race.State());
    AddRows(e, race.Table(), SavedColumns(race.Table().TableStore()));
    return e;
}

namespace {

// Sets the race back to the line a journal began with; false when the line
// does not hold the rows it says it has.
bool replayState(Race& race, TSortOptions& order, const JournalEntry& e)
{
    race.SetSettings(SettingsOf(e, race.Settings()));
    QList<QStringList> rows = RowsOf(e);
    TCellTable& table = race.Table();
    // Run 1 of a race before must not stay in the rows.
    if (UsesRuns(table.TableStore()))
        for (QStringList& row : rows)
            while (row.size() < protocol::kRunsTableColCount)
                row << QString();
    table.SetTableRowCount(std::max(2, static_cast<int>(rows.size()) + 1));
    table.SetTableRow(1, QStringList());
    for (int i = 0; i < rows.size(); ++i)
        table.SetTableRow(i + 1, rows[i]);
    order.SortCol = intOf(e, QStringLiteral("sortcol"), order.SortCol);
    order.SortDirection = e.Field(QStringLiteral("sortdir")) == QLatin1String("ab") ? sdDescending : sdAscending;
    order.CanSort = intOf(e, QStringLiteral("sorting"), order.CanSort ? 1 : 0) != 0;
    race.RestoreState(StateOf(e), intOf(e, QStringLiteral("current"), 1));
    return static_cast<int>(rows.size()) + 1 == std::max(2, intOf(e, QStringLiteral("rows"), 2));
}

} // namespace

ReplayReport ReplayJournal(Race& race, const QList<JournalEntry>& entries)
{
    // Nobody hears of the replayed operations: they are the journal's own.
    struct Quiet {
        Race& race;
        decltype(Race::OnCommand) onCommand = std::exchange(race.OnCommand, nullptr);
        decltype(Race::OnTableChange) onTableChange = std::exchange(race.OnTableChange, nullptr);
        decltype(Race::OnBeforeCommand) onBeforeCommand = std::exchange(race.OnBeforeCommand, nullptr);
        ~Quiet()
        {
            race.OnCommand = std::move(onCommand);
            race.OnTableChange = std::move(onTableChange);
            race.OnBeforeCommand = std::move(onBeforeCommand);
        }
    } quiet { race };

    ReplayReport report;
    TSortOptions& order = race.DisplayOrder();
    for (const JournalEntry& e : entries) {
        bool agrees = true;
        if (e.kind == kind::Begin) {
            // The race as it stood comes with the next line; a journal of a
            // later format may mean other things by the same words.
            const int version = intOf(e, QStringLiteral("version"), 1);
            if (version > kJournalVersion) {
                report.stop = QStringLiteral("Ereignis %1: ein Journal im Format %2 einer neueren Programmversion")
                                  .arg(e.seq)
                                  .arg(version);
                break;
            }
        } else if (e.kind == kind::State) {
            agrees = replayState(race, order, e);
        } else if (e.kind == kind::ClockStep || e.kind == kind::StationStart || e.kind == kind::StationInterim) {
            // A clock step is for the official's record only: the impulses
            // mapped after it are lines of their own. Which entry a station
            // timed is the timing stations' own: the race's table does not
            // hold it (the start itself is the barrier's line before).
        } else if (const std::optional<TableRecord> change = TableRecordOf(e)) {
            agrees = race.ReplayTableChange(*change);
        } else {
            try {
                if (!ReplayCommand(race, e, &agrees)) {
                    report.stop = QStringLiteral("Ereignis %1: unbekannte Art \"%2\"").arg(e.seq).arg(e.kind);
                    break;
                }
            } catch (const RaceError&) {
                agrees = false;
            }
        }
        ++report.used;
        if (!agrees)
            ++report.disagreeing;
        if (e.HasField(QStringLiteral("sum")))
            report.lastSum = e.Field(QStringLiteral("sum"));
    }
    report.currentRow = race.View().currentRow;
    return report;
}

} // namespace race
