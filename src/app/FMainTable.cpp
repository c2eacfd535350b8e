// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The protocol table: column layout, the grid's callbacks and the context
// menu's commands.
#include "app/FMain.h"

#include "app/Application.h"
#include "app/LivePublisher.h"
#include "app/NoteBar.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "gridstore/GridCommaText.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "race/Race.h"
#include "race/Runs.h"

#include <QAction>
#include <QFontMetrics>
#include <QListWidget>
#include <QMenu>
#include <QScopeGuard>
#include <QScopedValueRollback>

#include <algorithm>

using namespace protocol;

namespace {

// -2: "Name" takes the rest; -1: hidden. "Klasse" and "Gesamt" show only
// while an entry has a class, "Status" never (an entry's "Platz" shows it).
constexpr int kColumnWidths[kTableColCount] = { 52, -2, 102, 90, 72, 52, -1, 72, -1, 64 };
const QColor kStatusColour(0xB0, 0x00, 0x00);
// "Name" gives way to long times down to this width.
constexpr int kMinNameWidth = 100;
// A right-aligned text starts 2 pixels from the right edge; 3 more keep it
// off the neighbouring column's text.
constexpr int kTextPadding = 5;

// The width the longest text of a column needs. The grid's font is
// monospaced, so the longest text stands for all of them; in the time
// columns, which carry no leading zeros, its digits are read as 0.
int textColumnWidth(const TSortGrid& grid, int col, bool digitsAsZero)
{
    QString longest;
    const TCellStore& cells = grid.Store();
    for (int r = 1; r < grid.RowCount(); ++r) {
        const QString& text = cells.CellRef(col, r);
        if (text.size() > longest.size()) {
            const QString trimmed = TrimBlanks(text);
            if (trimmed.size() > longest.size())
                longest = trimmed;
        }
    }
    if (digitsAsZero) {
        for (QChar& c : longest)
            if (c.isDigit())
                c = QLatin1Char('0');
    }
    return longest.isEmpty() ? 0 : QFontMetrics(grid.font()).horizontalAdvance(longest) + kTextPadding;
}

} // namespace

void TFormMain::columnLayout()
{
    TSortGrid& grid = *ui.SortGrid1;
    // The run columns come with run 2 and go with it (a reset, a load).
    const int cols = UsesRunColumns(grid.Store()) ? kRunsTableColCount : kTableColCount;
    if (grid.ColCount() != cols) {
        for (int c = kTableColCount; c < kRunsTableColCount; ++c)
            grid.SetCells(c, 0, QString());
        grid.SetColCount(cols);
        for (int c = kTableColCount; c < cols; ++c)
            grid.SetCells(c, 0, race::RunsHeader(c));
    }
    if (cols == kRunsTableColCount) {
        // Run 1's time and the total beside the running run; run 1's place
        // and status stay in the files only.
        grid.SetColWidths(kColLauf1Platz, -1);
        grid.SetColWidths(kColLauf1Status, -1);
        for (int c : { kColLauf1, kColGesamtzeit }) {
            const int header = QFontMetrics(grid.font()).horizontalAdvance(race::RunsHeader(c)) + kTextPadding;
            grid.SetColWidths(c, std::max({ kColumnWidths[kColZeit], header, textColumnWidth(grid, c, true) }));
        }
    }
    for (int c : { kColNr, kColPlatz, kColRaw, kColStatus })
        grid.SetColWidths(c, kColumnWidths[c]);
    // A time is never cut: its column grows, "Name" gives the room.
    for (int c : { kColStart, kColZeit, kColSplit })
        grid.SetColWidths(c, std::max(kColumnWidths[c], textColumnWidth(grid, c, true)));
    // A class of nothing but blanks is none.
    const int classWidth = textColumnWidth(grid, kColKlasse, false);
    const bool classes = classWidth > 0;
    grid.SetColWidths(kColKlasse, classes ? std::max(kColumnWidths[kColKlasse], classWidth) : -1);
    grid.SetColWidths(kColGesamt, classes ? kColumnWidths[kColGesamt] : -1);
    // One pixel of grid line per column of the log, and per shown column
    // after it.
    int rest = grid.ClientWidth() - kProtocolColCount;
    for (int c = 0; c < grid.ColCount(); ++c) {
        if (c != kColName && grid.ColWidths(c) >= 0)
            rest -= grid.ColWidths(c) + (c >= kProtocolColCount ? 1 : 0);
    }
    grid.SetColWidths(kColName, std::max(kMinNameWidth, rest));
    // The last class gone hides "Gesamt": a current cell there would leave
    // the current row without a highlight.
    if (grid.ColWidths(grid.Col()) < 0)
        selectWholeRow(grid.Row());
}

void TFormMain::SortGrid1SelectCell(int acol, int arow, bool& canSelect)
{
    TSortGrid& grid = *ui.SortGrid1;
    TGridOptions options = grid.Options();
    const bool editable = acol <= kColName || acol == kColKlasse;
    options.setFlag(goEditing, editable);
    options.setFlag(goRowSelect, !editable);
    grid.SetOptions(options);
    if (!editable) {
        canSelect = false;
        selectWholeRow(arow);
    }
    // Inside a race operation the grid moves its current cell as the
    // operation writes; the operation's own view follows. Nor do the grid's
    // own steps of a sort or of a row inserted or removed: the command
    // refreshes once it is done, so the journal holds the whole step before
    // the refresh.
    if (!m_raceBusy && !m_gridWork && !grid.Sorting())
        rowStateRefresh(arow);
}

void TFormMain::SortGrid1GetSortStyle(int col, TSortStyle& style)
{
    race::ProtocolSortStyle(col, style, ui.SortGrid1->SortOptions());
}

void TFormMain::SortGrid1GetCellFormat(int col, int row, TFormatOptions& format)
{
    if (row == 0)
        format.AlignmentHorz = taCenter;
    else if (col == kColName || col == kColKlasse)
        format.AlignmentHorz = taLeftJustify;
    // An entry out of the ranking shows its status in "Platz", in red.
    if (row > 0 && col == kColPlatz && !ui.SortGrid1->Store().CellRef(kColStatus, row).isEmpty())
        format.FontColor = kStatusColour;
}

void TFormMain::SortGrid1CellCommitted(int col, int row, const QString& oldText, const QString& newText)
{
    m_race->CellEdited(col, row, oldText, newText);
    // Ranked once the grid has finished the edit.
    if (col == kColKlasse)
        QMetaObject::invokeMethod(this, GuardedSlot(this, &TFormMain::classEdited), Qt::QueuedConnection);
}

void TFormMain::SortGrid1HeaderClick(int col)
{
    if (m_raceBusy)
        return;
    m_race->Sorted(col, ui.SortGrid1->SortOptions().SortDirection);
    // The current row has moved with its data.
    rowStateRefresh(currentRow());
}

void TFormMain::commitEditor()
{
    if (ui.SortGrid1->EditorMode())
        ui.SortGrid1->HideEditor();
}

void TFormMain::Erase1Click()
{
    commitEditor();
    int r = currentRow();
    // The free row START needs stays.
    if (!m_race->CanRemoveRow(r))
        return;
    const QStringList cells = ui.SortGrid1->Rows(r);
    if (m_race->RowHasTimes(r)) {
        if (!ui.FDlgYesNo->Ask(QStringLiteral("Zeile mit Zeiten entfernen?"), TFDlgYesNo::Focus::Cancel))
            return;
        // The race went on while the question was open: the entry the
        // operator asked about may have moved with a stop, or have stopped.
        r = entryRowOf(cells, r);
        if (r < 1 || !m_race->CanRemoveRow(r))
            return;
    }
    // The spectators see the table as far as the steps got, also when one
    // fails (the failure is the handler's notice).
    const auto published = qScopeGuard([this] { m_live->ResultsChanged(); });
    int target = 1;
    {
        const QScopedValueRollback work(m_gridWork, true);
        target = m_race->RemoveRow(r);
    }
    rankRefresh();
    columnLayout();
    makeRowCurrent(target);
    selectWholeRow(target);
}

int TFormMain::entryRowOf(const QStringList& cells, int was) const
{
    const TSortGrid& grid = *ui.SortGrid1;
    const auto same = [&](int row, std::initializer_list<int> cols) {
        for (const int c : cols)
            if (TrimBlanks(grid.Cells(c, row)) != TrimBlanks(cells.value(c)))
                return false;
        return true;
    };
    // The entry where it was, else where the ranking put it: by its number,
    // name and start, which a stop leaves as they are.
    if (was >= 1 && was < grid.RowCount() && grid.Rows(was) == cells)
        return was;
    for (int row = 1; row < grid.RowCount(); ++row)
        if (same(row, { kColNr, kColName, kColStart, kColKlasse }))
            return row;
    return -1;
}

void TFormMain::mUndoClick()
{
    if (!m_race->CanUndo())
        return;
    commitEditor();
    int row = 1;
    {
        const QScopedValueRollback work(m_gridWork, true);
        row = m_race->Undo();
    }
    if (row >= 1) {
        makeRowCurrent(row);
        selectWholeRow(row);
    }
    rankRefresh();
    columnLayout();
}

void TFormMain::statusClick(EntryStatus status)
{
    commitEditor();
    bool changed = false;
    {
        const QScopedValueRollback work(m_gridWork, true);
        changed = m_race->SetStatus(currentRow(), status);
    }
    // The entry leaves the ranking (or comes back to it); the places of the
    // others follow.
    if (changed) {
        rankRefresh();
        columnLayout();
    }
}

void TFormMain::classEdited()
{
    // A class changes places; a first class, or the last one gone, the
    // columns shown.
    rankRefresh();
    columnLayout();
}

void TFormMain::NeueZeile1Click()
{
    commitEditor();
    const auto published = qScopeGuard([this] { m_live->ResultsChanged(); });
    int row = 1;
    {
        const QScopedValueRollback work(m_gridWork, true);
        row = m_race->InsertRow(
            currentRow(), { QString::number(m_race->NewRowNumber()), QStringLiteral("Neue Zeile") });
    }
    rowStateRefresh(row);
    selectWholeRow(row);
    columnLayout();
    exportButtonRefresh();
}

void TFormMain::PastefromFStoppClick()
{
    // The selected interim time becomes the stop of the current running
    // entry, as if STOPP had been pressed then, and the table is ranked.
    commitEditor();
    const int index = ui.ListBoxStopp->currentRow();
    if (runRace([&] { return m_race->InsertInterim(currentRow(), index); }, RowFollow::WholeRow)
        == race::Outcome::InterimInserted) {
        // Unselected, the used time shows grey; it cannot be inserted twice.
        ui.ListBoxStopp->setCurrentItem(nullptr);
        ui.ListBoxStopp->clearSelection();
        columnLayout();
    }
}

void TFormMain::PopupMenuProtokolPopup()
{
    exportButtonRefresh();
    const int row = currentRow();
    ui.PastefromFStopp->setEnabled(m_race->CanInsertInterim(row, ui.ListBoxStopp->currentRow()));
    ui.mTakeBackStop->setEnabled(m_race->CanTakeBackStop(row));
    ui.Erase1->setEnabled(m_race->CanRemoveRow(row));
    // "2. Lauf beginnen" belongs to races of two runs; when it cannot be
    // done, its tooltip says why.
    if (m_race->Settings().runs == 2) {
        const QString why = m_race->WhyNotRun2();
        if (!ui.PopupMenuList->actions().contains(ui.mRun2))
            ui.PopupMenuList->insertAction(ui.PopupMenuList->actions().value(0), ui.mRun2);
        ui.mRun2->setEnabled(why.isEmpty());
        ui.mRun2->setToolTip(why.isEmpty() ? QStringLiteral("Lauf 1 beenden, Startliste des 2. Laufs (F7)") : why);
    } else {
        ui.PopupMenuList->removeAction(ui.mRun2);
    }
    const EntryStatus status = m_race->StatusOf(row);
    const bool settable = m_race->CanSetStatus(row);
    const std::pair<QAction*, EntryStatus> items[]
        = { { ui.mStatusDNS, EntryStatus::DNS }, { ui.mStatusDNF, EntryStatus::DNF },
              { ui.mStatusDSQ, EntryStatus::DSQ }, { ui.mStatusNone, EntryStatus::None } };
    for (const auto& [item, itemStatus] : items) {
        item->setEnabled(settable && status != itemStatus);
        item->setChecked(itemStatus != EntryStatus::None && status == itemStatus);
    }
}

void TFormMain::mRun2Click()
{
    commitEditor();
    const QString why = m_race->WhyNotRun2();
    if (!why.isEmpty()) {
        showNotice(QStringLiteral("2. Lauf beginnen: nicht möglich\n") + why, false);
        return;
    }
    QString question = QStringLiteral("2. Lauf beginnen?");
    const QStringList notStarted = m_race->NotStartedInRun1();
    if (!notStarted.isEmpty())
        question += QStringLiteral("\nOhne Start im 1. Lauf (DNS): Nr. ") + notStarted.join(QStringLiteral(", "));
    if (!ui.FDlgYesNo->Ask(question, TFDlgYesNo::Focus::Cancel))
        return;
    {
        const QScopedValueRollback work(m_gridWork, true);
        runRace([&] { return m_race->BeginRun2(currentRow()); }, RowFollow::WholeRow);
    }
    columnLayout();
    selectWholeRow(currentRow());
    ui.PanelLoadNote->Clear(); // it spoke of run 1's rows
}

void TFormMain::popupMenuHidden()
{
    // Their keys work on whatever row is current then.
    for (QAction* item :
        { ui.Erase1, ui.mTakeBackStop, ui.mStatusDNS, ui.mStatusDNF, ui.mStatusDSQ, ui.mStatusNone, ui.mRun2 })
        item->setEnabled(true);
}
