// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/JournalRecovery.h"

#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "platform/BootClock.h"
#include "protocol/Columns.h"
#include "race/JournalEvents.h"
#include "race/RaceText.h"

using namespace protocol;

namespace race {

namespace {

platform::Tick shifted(platform::Tick tick, std::int32_t shift)
{
    return static_cast<platform::Tick>(static_cast<std::uint32_t>(tick) + static_cast<std::uint32_t>(shift));
}

QString entryName(const TCellTable& table, int row)
{
    QString name = QStringLiteral("Nr. ") + table.TableCell(kColNr, row).trimmed();
    const QString who = table.TableCell(kColName, row).trimmed();
    if (!who.isEmpty())
        name += QLatin1Char(' ') + who;
    const QString start = table.TableCell(kColStart, row).trimmed();
    if (!start.isEmpty())
        name += QStringLiteral(" (Start ") + start + QLatin1Char(')');
    return name;
}

// Where the journal's ticks stand against this boot's, decided from its
// first line (the boot) and its last usable one (tick and wall clock).
void mapTicks(JournalRecovery& result, const JournalEntry& first, const JournalEntry& last, const ClockNow& now)
{
    const QString boot = first.kind == kind::Begin ? first.Field(QStringLiteral("boot")) : QString();
    // The first journals named no boot: their ticks are taken as this boot's.
    if (boot.isEmpty() || now.boot.isEmpty() || boot == now.boot) {
        result.mapping = TickMapping::SameBoot;
        // The tick counter ran on; what the wall clock moved beyond it was
        // set by hand or by a time service.
        if (last.wall > 0 && now.wall > 0) {
            const std::int64_t ticked = static_cast<std::uint32_t>(now.tick) - static_cast<std::uint32_t>(last.tick);
            const std::int64_t set = (now.wall - last.wall) - ticked;
            if (set > kClockSetNamedMs || set < -kClockSetNamedMs)
                result.clockSetMs = set;
        }
        return;
    }
    const std::uint32_t ticksSince = static_cast<std::uint32_t>(now.tick) - static_cast<std::uint32_t>(last.tick);
    result.gapMs = last.wall > 0 ? now.wall - last.wall : 0;
    if (last.wall <= 0 || result.gapMs > kPlausibleGapMs)
        result.mapping = TickMapping::ClockJumped;
    else if (result.gapMs < 0)
        result.mapping = TickMapping::ClockBackwards;
    else
        result.mapping = TickMapping::WallClock;
    // A tick t of the journal's boot happened gapMs + (last.tick - t) ago by
    // the wall clock; on this boot's counter that is t + shift.
    const std::uint32_t gap = result.mapping == TickMapping::WallClock ? static_cast<std::uint32_t>(result.gapMs) : 0;
    result.shift = static_cast<std::int32_t>(ticksSince - gap);
}

} // namespace

ClockNow ClockNow::Read()
{
    ClockNow now;
    now.boot = platform::BootId();
    now.tick = platform::GetTickCount();
    now.wall = platform::WallClockMs();
    return now;
}

void ShiftRaceTicks(Race& race, std::int32_t shift, int currentRow)
{
    TCellTable& table = race.Table();
    for (int row = 1; row < table.TableRowCount(); ++row) {
        if (race.StateOf(row) != Race::RowState::Running)
            continue;
        if (const std::optional<std::int32_t> start = WholeNumber(table.TableCell(kColRaw, row)))
            table.SetTableCell(kColRaw, row, QString::number(shifted(*start, shift)));
    }
    RaceState state = race.State();
    if (state.firstStart)
        state.firstStart = shifted(*state.firstStart, shift);
    state.latestStart = shifted(state.latestStart, shift);
    state.startLockoutEnd = shifted(state.startLockoutEnd, shift);
    state.stopLockoutEnd = shifted(state.stopLockoutEnd, shift);
    for (Interim& interim : state.interims)
        interim.stamp.tick = shifted(interim.stamp.tick, shift);
    for (WrittenStop& finish : state.finishes) {
        finish.start = shifted(finish.start, shift);
        finish.stop.tick = shifted(finish.stop.tick, shift);
    }
    race.RestoreState(state, currentRow);
}

JournalRecovery RecoverJournal(Race& race, const JournalContents& contents, const ClockNow& now)
{
    JournalRecovery result;
    const ReplayReport report = ReplayJournal(race, contents.entries);
    result.used = report.used;
    result.disagreeing = report.disagreeing;
    result.stop = report.stop.isEmpty() ? contents.stop : report.stop;
    // The lines a replay could not read come before those the reading
    // stopped at; their line numbers count from the journal's first line.
    for (int i = report.used; i < contents.entries.size(); ++i)
        result.unused << DescribeEntry(
            contents.entries[i], i + 1, i == report.used ? QStringLiteral("nicht lesbar") : QString());
    result.unused += contents.unused;
    if (result.used == 0)
        return result;

    const JournalEntry& first = contents.entries.first();
    const JournalEntry& last = contents.entries[result.used - 1];
    result.lastSeq = last.seq;
    result.lastTime = last.time;
    result.day = first.date;
    mapTicks(result, first, last, now);
    const int currentRow = race.View().currentRow;
    if (result.shift != 0)
        ShiftRaceTicks(race, result.shift, currentRow);

    const TCellTable& table = race.Table();
    for (int row = 1; row < table.TableRowCount(); ++row) {
        if (!table.TableCell(kColNr, row).trimmed().isEmpty() || !table.TableCell(kColName, row).trimmed().isEmpty()
            || race.StateOf(row) != Race::RowState::Free)
            ++result.entries;
        // DNF, DSQ and DNS entries have a start and no stop, but nobody waits
        // for them at the finish.
        if (race.StateOf(row) == Race::RowState::Running && race.StatusOf(row) == protocol::EntryStatus::None)
            result.runners << entryName(table, row);
    }
    const int starter = race.FirstStarter();
    result.startTime = starter >= 1 ? table.TableCell(kColStart, starter).trimmed()
                                    : first.time.toString(QStringLiteral("HH:mm:ss"));
    return result;
}

JournalRecovery PreviewJournal(const JournalContents& contents, const ClockNow& now, const RaceSettings& settings)
{
    TCellStore store;
    store.SetColCount(kProtocolColCount);
    store.SetRowCount(2);
    TStoreTable table(store);
    TSortOptions order;
    Race race(table, order);
    race.SetSettings(settings);
    return RecoverJournal(race, contents, now);
}

} // namespace race
