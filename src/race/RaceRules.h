#pragma once

#include "platform/Tick.h"

#include <QString>

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
};
const char* CommandName(Command command);

struct RaceSettings {
    int accuracy = 2; // run-time texts: 0 whole seconds, 1 tenths, 2 hundredths
    bool stopFirst = false; // STOPP takes the earliest runner when the current row does not run
    int startLockoutMs = 3000;
    int stopLockoutMs = 500;
};

// One entry of the interim list: when it was taken, its time-of-day text,
// and whether it has become a row's stop.
struct Interim {
    platform::Stamp stamp;
    QString text;
    bool used = false;
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
};

// Everything the rules keep besides the table's cells: what a journal notes
// when a race begins and a replay sets back.
struct RaceState {
    std::optional<platform::Tick> firstStart;
    platform::Tick latestStart = 0;
    bool startFree = false, startLockoutRunning = false;
    bool stopFree = false, stopLockoutRunning = false;
    bool clockRunning = false;
    bool endAvailable = false;
    bool interimAvailable = false;
    bool resetAvailable = false;
    bool settingsAvailable = true;
    bool halted = false;
    std::vector<Interim> interims;
};

// A raw column that should hold a whole number and does not.
class RaceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The rules of a race over the protocol's cells: START, STOPP, interim
// stops, ENDE, reset, the barrier locks and lockouts, the row-state and the
// rank refresh. The table's cells are the only store of the entries; the
// rules keep the race values (first start, the locks, whether the clock
// runs) and decide what the window shows. Every operation takes the row the
// operator has selected and returns the view; the window makes
// view.currentRow its current row and mirrors the rest.
class RaceRules {
public:
    // Sorts the entry rows for display, by the operator's column and
    // direction, and returns the index the given row moved to.
    using DisplaySort = std::function<int(int row)>;
    // Empties the table to its header and one free row.
    using ClearTable = std::function<void()>;

    explicit RaceRules(TCellTable& table);

    void SetDisplaySort(DisplaySort sort) { m_displaySort = std::move(sort); }
    void SetClearTable(ClearTable clear) { m_clearTable = std::move(clear); }
    void SetSettings(const RaceSettings& settings) { m_settings = settings; }
    const RaceSettings& Settings() const { return m_settings; }
    // Called once per operation, after it ran.
    std::function<void(const CommandRecord&)> OnCommand;

    // START on the current row: the row's start data, then the next row.
    RaceResult Start(int currentRow, const platform::Stamp& stamp);
    // STOPP on the current row when it runs (with "stop first", on the
    // earliest runner when it does not). Throws RaceError, writing nothing,
    // when the row's raw column is not a whole number.
    RaceResult Stop(int currentRow, const platform::Stamp& stamp);
    // F.Stopp: a time of day into the interim list.
    RaceResult InterimStop(int currentRow, const platform::Stamp& stamp);
    // Interim index becomes the stop of the current row, which must run and
    // have started before it.
    RaceResult InsertInterim(int currentRow, int index);
    bool CanInsertInterim(int currentRow, int index) const;
    RaceResult End(int currentRow);
    // Empties the table and starts over (the window has asked first).
    RaceResult Reset();
    RaceResult ToggleLock(Barrier barrier, int currentRow);
    RaceResult LockoutEnded(Barrier barrier, int currentRow);
    BarrierResult BarrierImpulse(bool stopRequested, bool startRequested, int currentRow, const platform::Stamp& stamp);

    // New settings from the dialog; what is available may change with them.
    RaceResult SettingsChanged(const RaceSettings& settings, int currentRow);

    // The row-state refresh: the current row has changed (or was written).
    RaceResult RowStateRefresh(int row);
    // Sorts for display, writes the places and picks the current row.
    RaceResult RankRefresh(int currentRow);
    // A protocol was loaded into the table. With an entry still running the
    // race runs on from the first start those entries name (start tick less
    // "Split"); without one it counts as not started.
    RaceResult Loaded(int currentRow);
    // The first start the table's running entries name, if any runs.
    std::optional<platform::Tick> FirstStartOfRunners() const;

    const RaceView& View() const { return m_view; }
    const std::vector<Interim>& Interims() const { return m_interims; }
    std::optional<platform::Tick> FirstStart() const { return m_firstStart; }
    platform::Tick LatestStartTick() const { return m_latestStart; }

    // The rules' own values, and setting them back (the view is made anew
    // for the given row).
    RaceState State() const;
    RaceResult RestoreState(const RaceState& state, int currentRow);

    enum class RowState { Free, Running, Finished };
    RowState StateOf(int row) const;
    // The running row with the earliest start tick (ticks compared modulo
    // 2^32), or -1. Rows whose raw column is not a whole number are skipped.
    int EarliestRunner() const;

private:
    struct Lock {
        bool free = false;
        bool lockoutRunning = false;
    };

    int clampRow(int row) const;
    bool startAvailable(int row) const;
    bool stopAvailable(int row) const;
    int stopTarget(int row) const;
    Lock& lock(Barrier barrier) { return barrier == Barrier::Start ? m_startLock : m_stopLock; }
    void armLockout(Barrier barrier);
    void freeWhenAvailable(Barrier barrier, int row);
    void writeStop(int row, std::int32_t run);
    int rank(int currentRow);
    void writePlaces();
    int nextCurrentRow(int fallback) const;
    RaceView makeView(int row);
    void record(CommandRecord record) const;
    RaceResult startRow(int row, const platform::Stamp& stamp);
    RaceResult stopRow(int row, const platform::Stamp& stamp);

    TCellTable& m_table;
    DisplaySort m_displaySort;
    ClearTable m_clearTable;
    RaceSettings m_settings;
    std::optional<platform::Tick> m_firstStart;
    platform::Tick m_latestStart = 0;
    Lock m_startLock;
    Lock m_stopLock;
    bool m_clockRunning = false;
    bool m_endAvailable = false;
    bool m_interimAvailable = false;
    bool m_resetAvailable = false;
    bool m_settingsAvailable = true;
    bool m_halted = false; // after ENDE, until the next row-state refresh
    std::vector<Interim> m_interims;
    RaceView m_view;
};

} // namespace race
