// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "race/JournalLine.h"
#include "race/Race.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class TCellTable;

namespace race {

// The kinds of the journal's lines, all in this one list: a line of a kind
// that is not here stops a replay (it may come from a later program). The
// race commands carry the captions of their buttons; the rest name what
// happened to the table. A new command needs its kind here, its row in
// kCommandKinds (JournalEvents.cpp) and its case in ReplayCommand.
namespace kind {
inline const QString Begin = QStringLiteral("BEGIN"); // a new race's journal: version, title, boot
inline const QString State = QStringLiteral("STATE"); // table, settings and race values when it began
inline const QString Start = QStringLiteral("START");
inline const QString Stop = QStringLiteral("STOPP");
inline const QString Interim = QStringLiteral("F.STOPP");
inline const QString InsertInterim = QStringLiteral("F.STOPP-EINSETZEN");
inline const QString End = QStringLiteral("ENDE");
inline const QString Reset = QStringLiteral("RESET");
inline const QString Lock = QStringLiteral("SPERRE"); // a barrier locked or freed by the operator
inline const QString LockoutEnded = QStringLiteral("SPERRZEIT-ENDE");
inline const QString Barrier = QStringLiteral("LICHTSCHRANKE");
inline const QString RowState = QStringLiteral("ZEILE"); // the current row changed
inline const QString Rank = QStringLiteral("RANG");
inline const QString Loaded = QStringLiteral("GELADEN"); // the rules took over a loaded table
inline const QString Settings = QStringLiteral("EINSTELLUNGEN");
inline const QString Edit = QStringLiteral("EDIT");
inline const QString RowRemoved = QStringLiteral("ZEILE-ENTFERNT");
inline const QString RowInserted = QStringLiteral("ZEILE-NEU");
inline const QString Undo = QStringLiteral("RUECKGAENGIG");
inline const QString Load = QStringLiteral("LADEN");
inline const QString Sort = QStringLiteral("SORTIERT");
inline const QString Status = QStringLiteral("STATUS"); // an entry's status set or cleared
inline const QString StatusBack = QStringLiteral("STATUS-RUECKGAENGIG"); // Ctrl+Z took a status back
inline const QString TakeBackStop = QStringLiteral("STOPP-ZURUECK"); // "Stopp zurücknehmen"
inline const QString UndoStop = QStringLiteral("STOPP-RUECKGAENGIG"); // Ctrl+Z: a stop or an inserted time back
inline const QString ClockStep = QStringLiteral("UHRSPRUNG"); // a timing station's clock jumped: a note, no command
inline const QString StationStart = QStringLiteral("STATIONSSTART"); // whose start the start station gave: no command
inline const QString StationInterim = QStringLiteral("ZWISCHENZEIT"); // an interim station's time: no command
inline const QString Run2 = QStringLiteral("LAUF-2"); // "2. Lauf beginnen", with run 2's start order
} // namespace kind

// The line of one operation of the race (its stamp becomes the line's tick
// and time; without one the present moment).
JournalEntry CommandEntry(const CommandRecord& record, const RaceSettings& settings);
// The line of one change of the table by the operator; the record it stands
// for (nothing for a line of another kind).
JournalEntry TableEntry(const TableRecord& record);
std::optional<TableRecord> TableRecordOf(const JournalEntry& entry);

// The line a journal begins with: the race as it stands (its settings and
// values, the display order, the current row, every entry row) and the
// barrier line's port and algorithm.
JournalEntry StateEntry(const Race& race, int currentRow, int port, int algorithm);

void AddSettings(JournalEntry& entry, const RaceSettings& settings);
RaceSettings SettingsOf(const JournalEntry& entry, const RaceSettings& fallback);
void AddState(JournalEntry& entry, const RaceState& state);
RaceState StateOf(const JournalEntry& entry);
// The entry rows 1 .. count-1 as fields "rows" and one "r" per row (the
// row's cells as comma text).
void AddRows(JournalEntry& entry, const TCellTable& table, int colCount);
QList<QStringList> RowsOf(const JournalEntry& entry);
// One row's cells as a field value and back.
QString RowText(const QStringList& cells);
QStringList RowCells(const QString& text);

// Runs the race command of the line again, with the line's row, stamp,
// barrier, interim index and requests. nullopt when the line is no race
// command. `agrees` says whether the outcome is the recorded one.
std::optional<RaceView> ReplayCommand(Race& race, const JournalEntry& entry, bool* agrees = nullptr);

// What a replay of a journal made of it.
struct ReplayReport {
    int used = 0; // lines replayed: all of them, or those before `stop`
    QString stop; // why the replay ended before the last line; empty when it did not
    int disagreeing = 0; // lines that did not turn out as recorded (or could not be read)
    QString lastSum; // the digest the last replayed line recorded
    int currentRow = 1; // the row the last line left current
};

// Replays the lines into the race and its table, as the race and the
// operator did them, up to the first one this program cannot read: a kind
// it does not know, or a journal of a later format. The race reports
// nothing while it replays: what it does is in the journal already.
ReplayReport ReplayJournal(Race& race, const QList<JournalEntry>& entries);

} // namespace race
