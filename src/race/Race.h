// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "gridstore/SortTypes.h"
#include "platform/Settings.h"
#include "platform/Tick.h"
#include "protocol/EntryStatus.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

class TCellTable;

namespace race {

enum class Barrier { Start, Stop };

// What became of a command or of one barrier's impulse.
enum class Outcome {
    NotRequested, // the line change asked nothing of this barrier
    Started,
    Stopped,
    InterimRecorded, // a time went into the interim list (F.Stopp, or a stop impulse STOPP could not take)
    InterimInserted, // an interim time became a running entry's stop
    Ended,
    Cleared,
    Refreshed, // refreshes, lock toggles, lockout ends, a loaded protocol
    NotAvailable, // the command is not available for the current row
    Locked, // the barrier was locked
    LockoutRunning, // the barrier's lockout was running
    StopTakenBack, // a finished entry runs again, its stop is a loose impulse in the interim list
    Run2Begun, // run 1 ended, the table is the start list of run 2
};
const char* OutcomeName(Outcome outcome);

enum class Command {
    Start,
    Stop,
    InterimStop,
    InsertInterim,
    End,
    Reset,
    ToggleLock,
    LockoutEnded,
    BarrierImpulse,
    RowStateRefresh,
    RankRefresh,
    Loaded,
    SettingsChanged,
    TakeBackStop, // "Stopp zurücknehmen"
    UndoStop, // Ctrl+Z took back a taken-back stop or an inserted interim time
    BeginRun2, // "2. Lauf beginnen"
};
const char* CommandName(Command command);

// The settings that govern timing (their keys and defaults are in the
// settings table). The race is their only owner while it runs: the dialog
// and the settings store read them from here.
using RaceSettings = settings::Timing;

// One entry of the interim list: when it was taken, its time-of-day text,
// and whether it has become a row's stop.
struct Interim {
    platform::Stamp stamp;
    QString text;
    bool used = false;
};

// A stop the race wrote: the entry's start tick and the stop's stamp, found
// again by what the entry's row holds after it ("Start", "Split" and the run
// time in "*", which no edit changes). "Stopp zurücknehmen" needs both; the
// table keeps only their difference.
struct WrittenStop {
    QString startText, splitText, runText;
    platform::Tick start = 0;
    platform::Stamp stop;
};

// What the window shows after an operation.
struct RaceView {
    int currentRow = 1;
    bool startAvailable = true;
    bool stopAvailable = false;
    bool endAvailable = false;
    bool interimAvailable = false; // the F.Stopp button; F8 works at any time
    bool resetAvailable = false;
    bool settingsAvailable = true; // the settings button; Alt+E works at any time
    bool clockRunning = false;
    bool raceStarted = false;
    platform::Tick firstStartTick = 0; // meaningful only when raceStarted
    // Display row 1: while the current row runs, the clock shows the time
    // since currentStartTick; otherwise it shows row1Ms (0 for a free row,
    // the run time of a finished one).
    bool currentRowRunning = false;
    platform::Tick currentStartTick = 0;
    std::int32_t row1Ms = 0;
    bool startBarrierFree = false;
    bool stopBarrierFree = false;
    bool startLockoutRunning = false;
    bool stopLockoutRunning = false;
};

struct RaceResult {
    Outcome outcome = Outcome::Refreshed;
    RaceView view;
};

// A barrier impulse asks for STOPP, START or both (STOPP first); each request
// has its own outcome.
struct BarrierResult {
    Outcome stop = Outcome::NotRequested;
    Outcome start = Outcome::NotRequested;
    RaceView view;
};

// One operation as it ran: what a journal records and a replay feeds back.
struct CommandRecord {
    Command command = Command::RowStateRefresh;
    int row = 0; // the current row it was given
    std::optional<platform::Stamp> stamp;
    Barrier barrier = Barrier::Start; // ToggleLock, LockoutEnded
    int interim = -1; // InsertInterim
    bool stopRequested = false, startRequested = false; // BarrierImpulse
    Outcome outcome = Outcome::Refreshed; // BarrierImpulse: the stop request's
    Outcome startOutcome = Outcome::NotRequested; // BarrierImpulse only
    QStringList order = {}; // BeginRun2: the start numbers of run 2, in their order
};

// What the operator did to the table itself, besides the race commands:
// each goes into the journal and is replayed by the race.
enum class TableChange {
    Edit, // a cell committed in place: col, row, oldText, newText
    RowRemoved, // "Zeile entfernen": row, cells
    RowInserted, // "Neue Zeile": at, row, cells
    RowBack, // Ctrl+Z: from (where it was removed), row, cells
    Loaded, // a protocol or start list: fileName, rows
    Sorted, // a header click: col, direction
    Status, // an entry's status set or cleared: row, oldText, newText (status texts)
    StatusBack, // Ctrl+Z took a status back: row, oldText, newText
};

struct TableRecord {
    TableChange change = TableChange::Edit;
    int col = -1;
    int row = -1;
    int at = -1;
    int from = -1;
    QString oldText, newText;
    QStringList cells;
    QString fileName;
    QList<QStringList> rows;
    TSortDirection direction = sdAscending;
};

// The race clock as display row 0 shows it: running from the first start, or
// frozen at ENDE (0 before the first start and after a reset).
struct RaceClock {
    bool running = false;
    std::int32_t ms = 0;
    int accuracy = 2; // the digits it shows
};

// Everything the race keeps besides the table's cells: what a journal notes
// when a race begins and a replay sets back.
struct RaceState {
    std::optional<platform::Tick> firstStart;
    platform::Tick latestStart = 0;
    bool startFree = false, startLockoutRunning = false;
    bool stopFree = false, stopLockoutRunning = false;
    platform::Tick startLockoutEnd = 0, stopLockoutEnd = 0; // while the lockout runs
    bool clockRunning = false;
    std::int32_t stoppedMs = 0; // the race clock frozen at ENDE
    bool endAvailable = false;
    bool interimAvailable = false;
    bool resetAvailable = false;
    bool settingsAvailable = true;
    bool halted = false;
    std::vector<Interim> interims;
    QStringList classOrder; // the classes in the order of their first appearance in the start list
    std::vector<WrittenStop> finishes; // the stops the race wrote, oldest first
};

// A raw column that should hold a whole number and does not.
class RaceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The race over the protocol's cells: START, STOPP, interim stops, ENDE,
// reset, the barrier locks and lockouts, the row-state and the rank refresh,
// and the operator's own changes of the table. The table's cells are the
// only store of the entries; the race keeps everything else (the settings
// that govern timing, first start, the locks and the lockouts' ends, the
// stopped race time, the interim list, the row Ctrl+Z brings back) and
// decides what the window shows. Every operation takes the row the operator
// has selected and returns the view; the window makes view.currentRow its
// current row and mirrors the rest.
class Race {
public:
    // The table and the order it is shown in (the column and direction of
    // the operator's last header click): after every stop the rows are
    // sorted that way, the places are competition places all the same.
    Race(TCellTable& table, TSortOptions& displayOrder);
    Race(const Race&) = delete;
    Race& operator=(const Race&) = delete;

    TCellTable& Table() { return m_table; }
    const TCellTable& Table() const { return m_table; }
    TSortOptions& DisplayOrder() { return m_displayOrder; }
    const TSortOptions& DisplayOrder() const { return m_displayOrder; }

    const RaceSettings& Settings() const { return m_settings; }
    // The settings as the program starts with them (not a command).
    void SetSettings(const RaceSettings& settings) { m_settings = settings; }

    // Called once per operation, after it ran.
    std::function<void(const CommandRecord&)> OnCommand;
    // Called once per change of the table that is not a race command.
    std::function<void(const TableRecord&)> OnTableChange;
    // Called before a command that may be the race's first START, with the
    // row it is given: the race as it stands then.
    std::function<void(int currentRow)> OnBeforeCommand;

    // START on the current row: the row's start data, then the next row.
    RaceResult Start(int currentRow, const platform::Stamp& stamp);
    // STOPP on the current row when it runs: a key or the button never
    // stops an entry the operator did not select (only the barrier's impulse
    // takes the earliest runner with "stop first"). Throws RaceError,
    // writing nothing, when the row's raw column is not a whole number.
    RaceResult Stop(int currentRow, const platform::Stamp& stamp);
    // Why STOPP cannot stop the row ("Nr. 7 hat den Status DNF"); empty
    // when it can.
    QString WhyNotStoppable(int row) const;
    // F.Stopp: a time of day into the interim list.
    RaceResult InterimStop(int currentRow, const platform::Stamp& stamp);
    // Interim index becomes the stop of the current row, which must run and
    // have started before it.
    RaceResult InsertInterim(int currentRow, int index);
    bool CanInsertInterim(int currentRow, int index) const;
    // "Stopp zurücknehmen": the finished entry runs again from its start,
    // and its stop becomes a loose stop impulse at the end of the interim
    // list, for the operator to insert at the entry that really finished.
    // Ctrl+Z takes it back, as it takes back an inserted interim time.
    bool CanTakeBackStop(int row) const;
    RaceResult TakeBackStop(int currentRow);
    // ENDE: the race clock stops at the stamp.
    RaceResult End(int currentRow, const platform::Stamp& stamp);
    // Empties the table and starts over (the window has asked first).
    RaceResult Reset();
    RaceResult ToggleLock(Barrier barrier, int currentRow);
    RaceResult LockoutEnded(Barrier barrier, int currentRow);
    // A barrier's change at its edge: lockouts that were over by then end
    // first (each as LockoutEnded), then the requests are judged.
    BarrierResult BarrierImpulse(bool stopRequested, bool startRequested, int currentRow, const platform::Stamp& stamp);
    // Ends the lockouts that were over at the edge, each as LockoutEnded: a
    // change that waited while the window was busy is judged at its edge.
    // True when one ended.
    bool CatchUpLockouts(platform::Tick edge, int currentRow);
    // The lockout's end while it runs.
    std::optional<platform::Tick> LockoutEnd(Barrier barrier) const;

    // New settings from the dialog; what is available may change with them.
    RaceResult SettingsChanged(const RaceSettings& settings, int currentRow);

    // The lowest whole start number (from 1) that no entry of the table has:
    // what START gives an entry without a number.
    int LowestFreeNumber() const;
    // The number "Neue Zeile" gives its row: the smallest from 1 to 500
    // whose text no entry's "Nr." is exactly ("007" does not take 7), else
    // 9999.
    int NewRowNumber() const;
    // Whether the row holds a start, a run time or a raw time: removing it
    // asks first.
    bool RowHasTimes(int row) const;

    // The row-state refresh: the current row has changed (or was written).
    RaceResult RowStateRefresh(int row);
    // Sorts for display, writes the places and picks the current row. An
    // entry is ranked when it has no status and its "Zeit" is a run time;
    // ties share a place (1, 1, 3). With classes "Platz" is the place within
    // the class and "Gesamt" the overall place; an entry with a status shows
    // the status in "Platz".
    RaceResult RankRefresh(int currentRow);
    // A protocol was loaded into the table. With an entry still running the
    // race runs on from the first start those entries name (start tick less
    // "Split"); without one it counts as not started.
    RaceResult Loaded(int currentRow);
    // The first start the table's running entries name, if any runs.
    std::optional<platform::Tick> FirstStartOfRunners() const;
    // The started row (running or finished) with the shortest split: the
    // race's first starter as the table tells it; -1 before any start.
    int FirstStarter() const;

    // The operator's changes of the table. Each is reported through
    // OnTableChange; RemoveRow and SetStatus keep what Undo takes back.
    // The table always keeps a row that START can take: the free row after
    // the last entry cannot be removed while it is the only one.
    bool CanRemoveRow(int row) const;
    // Returns the row that follows the removed one (the new current row).
    int RemoveRow(int row);
    // The row the new one ended in.
    int InsertRow(int at, const QStringList& cells);
    // Whether the row is an entry that can have a status (it holds a number,
    // a name or a start).
    bool CanSetStatus(int row) const;
    // Sets or clears the entry's status; false (nothing changed) when the
    // row cannot have one or already has it. "Platz" shows the status; the
    // caller ranks afterwards.
    bool SetStatus(int row, protocol::EntryStatus status);
    protocol::EntryStatus StatusOf(int row) const;
    bool CanUndo() const { return m_undo.has_value(); }
    // Takes back the last removed row, status change, taken-back stop or
    // inserted interim time; the row it concerns, or -1.
    int Undo();
    // A loaded protocol's rows replace the table (the row count is
    // max(2, rows + 1), the header row stays).
    void Load(const QList<QStringList>& rows, const QString& fileName);
    // Notes what the table did by itself: a committed edit, a header click.
    void CellEdited(int col, int row, const QString& oldText, const QString& newText);
    void Sorted(int col, TSortDirection direction);
    // Applies a change again (a replay); false when the table did not stand
    // as it did when the change was made.
    bool ReplayTableChange(const TableRecord& record);

    // Two runs. The run the table is in: 2 from "2. Lauf beginnen" on (its
    // entries keep run 1 in their cells), otherwise 1.
    int Run() const;
    // Why run 2 cannot begin ("Nr. 7 ist noch auf der Strecke: ..."); empty
    // when it can.
    QString WhyNotRun2() const;
    // The entries run 2 will give DNS because they did not start in run 1.
    QStringList NotStartedInRun1() const;
    // "2. Lauf beginnen" (the window has asked first): run 1's time, place
    // and status go into each entry's run columns, the table becomes run 2's
    // start list, entries with a status after the others, and the race clock
    // waits for run 2's first start.
    RaceResult BeginRun2(int currentRow);
    // The start numbers of the entry rows in the table's order.
    QStringList StartNumbers() const;

    // The race clock at `now`.
    RaceClock ClockAt(platform::Tick now) const;

    const RaceView& View() const { return m_view; }
    const std::vector<Interim>& Interims() const { return m_interims; }
    // The classes of the entries in the order of their first appearance in
    // the loaded start list, classes that came later after them; empty when
    // no entry has a class.
    QStringList ClassOrder() const;
    std::optional<platform::Tick> FirstStart() const { return m_firstStart; }
    platform::Tick LatestStartTick() const { return m_latestStart; }

    // The race's own values, and setting them back (the view is made anew
    // for the given row).
    RaceState State() const;
    RaceResult RestoreState(const RaceState& state, int currentRow);
    // Every cell of the entry rows, the row count, the race's values and the
    // display order: equal races have equal digests; 16 hex digits.
    QString Digest() const;

    enum class RowState { Free, Running, Finished };
    RowState StateOf(int row) const;
    // A free row without a status: START can take it.
    bool Startable(int row) const;
    // Whether any entry of the table has been started.
    bool AnyStarted() const;
    // The running row with the earliest start tick (ticks compared modulo
    // 2^32), or -1. Rows whose raw column is not a whole number and rows with
    // a status are skipped.
    int EarliestRunner() const;

private:
    struct Lock {
        bool free = false;
        bool lockoutRunning = false;
        platform::Tick lockoutEnd = 0;
    };
    struct RemovedRow {
        int row = 0;
        QStringList cells;
    };
    // What Ctrl+Z takes back: a removed row, an entry's status, a taken-back
    // stop or an inserted interim time (the entry found again by its cells,
    // wherever the ranking has moved it).
    enum class UndoKind { Row, Status, TakeBack, Insert };
    struct UndoStep {
        UndoKind kind = UndoKind::Row;
        RemovedRow removed;
        QString before, after; // the status texts
        QStringList entry; // "Nr.", "Name", "Start", "Klasse" when it changed
        int interim = -1; // TakeBack, Insert: the interim time
        WrittenStop finish; // TakeBack, Insert: the stop as it was written
    };

    int clampRow(int row) const;
    bool startAvailable(int row) const;
    bool stopAvailable(int row) const;
    int stopTarget(int row) const;
    int startTarget(int row) const;
    bool isRunner(int row) const;
    bool hasStatus(int row) const;
    bool isBlank(int row) const;
    int skipStatusRows(int row);
    void appendFreeRow();
    void keepFreeRow();
    void writeStatus(int row, const QString& status);
    int entryRow(const UndoStep& step) const;
    QStringList entryKey(int row) const;
    Lock& lock(Barrier barrier) { return barrier == Barrier::Start ? m_startLock : m_stopLock; }
    const Lock& lock(Barrier barrier) const { return barrier == Barrier::Start ? m_startLock : m_stopLock; }
    void armLockout(Barrier barrier, platform::Tick at);
    void freeWhenAvailable(Barrier barrier, int row);
    void writeStop(int row, platform::Tick start, const platform::Stamp& stop);
    WrittenStop finishOf(int row) const; // the row's texts, ticks not filled in
    std::optional<WrittenStop> knownFinish(int row) const;
    void forgetFinish(const WrittenStop& finish);
    int undoStop(const UndoStep& step);
    int rank(int currentRow);
    // The rows the next command waits for, without a status and a time: the
    // first one, the first free one, the earliest runner (-1: none).
    struct Waiting {
        int first = -1;
        int free = -1;
        int runner = -1;
    };
    // Also notes classes the start list did not name in the class order.
    Waiting writePlaces();
    int nextCurrentRow(int fallback, const Waiting& waiting) const;
    RaceView makeView(int row);
    void record(CommandRecord record) const;
    void recordTable(TableRecord record) const;
    RaceResult startRow(int row, const platform::Stamp& stamp);
    RaceResult stopRow(int row, const platform::Stamp& stamp);
    int putBack(const RemovedRow& removed);
    void applyRows(const QList<QStringList>& rows);

    TCellTable& m_table;
    TSortOptions& m_displayOrder;
    RaceSettings m_settings;
    std::optional<platform::Tick> m_firstStart;
    platform::Tick m_latestStart = 0;
    Lock m_startLock;
    Lock m_stopLock;
    bool m_clockRunning = false;
    std::int32_t m_stoppedMs = 0;
    bool m_endAvailable = false;
    bool m_interimAvailable = false;
    bool m_resetAvailable = false;
    bool m_settingsAvailable = true;
    bool m_halted = false; // after ENDE, until the next row-state refresh
    std::vector<Interim> m_interims;
    std::optional<UndoStep> m_undo; // what Ctrl+Z brings back
    std::vector<WrittenStop> m_finishes;
    QStringList m_classOrder;
    RaceView m_view;
};

// How the protocol's columns compare in the display sort: "Nr." in natural order
// (2, 10, 12, 12a), "Name" as text, the time columns as time texts. The grid's header click
// and the race's sort use it alike.
void ProtocolSortStyle(int col, TSortStyle& style, TSortOptions& options);

} // namespace race
