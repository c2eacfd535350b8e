// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The change from run 1 to run 2.
#include "race/Race.h"

#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "protocol/Columns.h"
#include "protocol/ResultGroups.h"
#include "race/RaceText.h"
#include "race/Runs.h"

#include <limits>

using namespace protocol;

namespace race {

int Race::Run() const
{
    return UsesRuns(m_table.TableStore()) ? 2 : 1;
}

QStringList Race::StartNumbers() const
{
    QStringList numbers;
    for (int r = 1; r < m_table.TableRowCount(); ++r)
        if (!isBlank(r))
            numbers << TrimBlanks(m_table.TableCell(kColNr, r));
    return numbers;
}

QStringList Race::NotStartedInRun1() const
{
    QStringList numbers;
    if (Run() != 1)
        return numbers;
    for (int r = 1; r < m_table.TableRowCount(); ++r)
        if (!isBlank(r) && Startable(r))
            numbers << TrimBlanks(m_table.TableCell(kColNr, r));
    return numbers;
}

QString Race::WhyNotRun2() const
{
    if (m_settings.runs != 2)
        return QStringLiteral("Das Rennen hat einen Lauf (Einstellung \u201eL\u00e4ufe\u201c)");
    if (Run() == 2)
        return QStringLiteral("Der 2. Lauf hat schon begonnen");
    QStringList running;
    bool entries = false;
    for (int r = 1; r < m_table.TableRowCount(); ++r) {
        entries = entries || !isBlank(r);
        if (isRunner(r))
            running << QStringLiteral("Nr. ") + TrimBlanks(m_table.TableCell(kColNr, r));
    }
    if (!running.isEmpty())
        return QStringLiteral("Noch auf der Strecke: %1. Erst stoppen oder den Status DNF geben.")
            .arg(running.join(QStringLiteral(", ")));
    if (!entries)
        return QStringLiteral("Lauf 1 hat keine Eintr\u00e4ge");
    return {};
}

RaceResult Race::BeginRun2(int currentRow)
{
    RaceResult result;
    if (!WhyNotRun2().isEmpty()) {
        result = { Outcome::NotAvailable, makeView(clampRow(currentRow)) };
        record({ Command::BeginRun2, currentRow, std::nullopt, Barrier::Start, -1, false, false, result.outcome });
        return result;
    }
    // Run 1's places as they stand now, whatever a late edit left.
    writePlaces();
    const QStringList classes = ClassOrder();
    const int rows = m_table.TableRowCount();
    std::vector<Run1Entry> entries;
    std::vector<QStringList> cells(static_cast<size_t>(rows));
    for (int r = 1; r < rows; ++r) {
        if (isBlank(r))
            continue;
        Run1Entry e;
        e.row = r;
        const QString klasse = TrimBlanks(m_table.TableCell(kColKlasse, r));
        const qsizetype group = klasse.isEmpty() ? -1 : classes.indexOf(klasse);
        e.group = group < 0 ? static_cast<int>(classes.size()) : static_cast<int>(group);
        e.status = StatusOf(r);
        // Who never started in run 1 did not start the race.
        if (e.status == EntryStatus::None && StateOf(r) == RowState::Free)
            e.status = EntryStatus::DNS;
        if (e.status == EntryStatus::None)
            e.place = PlaceNumber(TrimBlanks(m_table.TableCell(kColPlatz, r)));
        const std::optional<std::int64_t> split = RunTimeValue(TrimBlanks(m_table.TableCell(kColSplit, r)));
        e.startedAt = split.value_or(std::numeric_limits<std::int64_t>::max());
        entries.push_back(e);

        QStringList row(kRunsTableColCount);
        row[kColNr] = m_table.TableCell(kColNr, r);
        row[kColName] = m_table.TableCell(kColName, r);
        row[kColPlatz] = QStringLiteral("-");
        row[kColKlasse] = m_table.TableCell(kColKlasse, r);
        row[kColStatus] = StatusText(e.status);
        row[kColLauf1] = TrimBlanks(m_table.TableCell(kColZeit, r));
        row[kColLauf1Platz] = e.place > 0 ? QString::number(e.place) : QString();
        row[kColLauf1Status] = StatusText(e.status);
        cells[static_cast<size_t>(r)] = row;
    }
    const std::vector<int> order = Run2Order(entries, std::max(0, m_settings.runsReverse));
    m_table.SetTableRowCount(static_cast<int>(order.size()) + 1);
    for (size_t i = 0; i < order.size(); ++i)
        m_table.SetTableRow(static_cast<int>(i) + 1, cells[static_cast<size_t>(order[i])]);
    keepFreeRow();

    // Run 2 is a race of its own until its first start: its clock starts
    // then. The loose times of run 1 stay in the interim list; they belong
    // to no entry of run 2.
    m_firstStart.reset();
    m_latestStart = 0;
    m_clockRunning = false;
    m_stoppedMs = 0;
    m_halted = false;
    m_endAvailable = false;
    m_interimAvailable = false;
    m_resetAvailable = true;
    m_settingsAvailable = true;
    m_undo.reset();
    m_finishes.clear();
    m_stopLock.free = false;
    writePlaces();
    const int first = std::max(1, startTarget(1));
    freeWhenAvailable(Barrier::Start, first);
    result = { Outcome::Run2Begun, makeView(first) };
    CommandRecord done { Command::BeginRun2, currentRow, std::nullopt, Barrier::Start, -1, false, false,
        result.outcome };
    done.order = StartNumbers();
    record(done);
    return result;
}

} // namespace race
