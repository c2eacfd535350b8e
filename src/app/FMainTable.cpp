// The protocol table: column layout, the grid's callbacks and the context
// menu's commands.
#include "app/FMain.h"

#include "app/LivePublisher.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "gridstore/GridCommaText.h"
#include "protocol/Columns.h"

#include <QAction>
#include <QFontMetrics>
#include <QListWidget>
#include <QScopedValueRollback>

#include <algorithm>

using namespace protocol;

namespace {

// -2: "Name" takes the rest.
constexpr int kColumnWidths[kProtocolColCount] = { 52, -2, 102, 90, 72, 52, -1 };
// "Name" gives way to long times down to this width.
constexpr int kMinNameWidth = 100;
// A right-aligned text starts 2 pixels from the right edge; 3 more keep it
// off the neighbouring column's text.
constexpr int kTextPadding = 5;
// The lowest free start number "Neue Zeile" gives; beyond it 9999.
constexpr int kHighestNewNumber = 500;
constexpr int kOverflowNumber = 9999;

// The width the longest text of a time column needs. Time texts carry no
// leading zeros and the grid's digits are equally wide, so the longest text,
// its digits read as 0, stands for all of them.
int timeColumnWidth(const TSortGrid& grid, int col)
{
    QString longest;
    for (int r = 1; r < grid.RowCount(); ++r) {
        const QString text = grid.Cells(col, r);
        if (text.size() > longest.size())
            longest = text;
    }
    for (QChar& c : longest)
        if (c.isDigit())
            c = QLatin1Char('0');
    return longest.isEmpty() ? 0 : QFontMetrics(grid.font()).horizontalAdvance(longest) + kTextPadding;
}

} // namespace

void TFormMain::columnLayout()
{
    TSortGrid& grid = *ui.SortGrid1;
    for (int c : { kColNr, kColPlatz, kColRaw })
        grid.SetColWidths(c, kColumnWidths[c]);
    // A time is never cut: its column grows, "Name" gives the room.
    for (int c : { kColStart, kColZeit, kColSplit })
        grid.SetColWidths(c, std::max(kColumnWidths[c], timeColumnWidth(grid, c)));
    const int rest = grid.ClientWidth() - grid.ColWidths(kColNr) - grid.ColWidths(kColStart) - grid.ColWidths(kColZeit)
        - grid.ColWidths(kColSplit) - grid.ColWidths(kColPlatz) - grid.ColCount();
    grid.SetColWidths(kColName, std::max(kMinNameWidth, rest));
}

void TFormMain::SortGrid1SelectCell(int acol, int arow, bool& canSelect)
{
    TSortGrid& grid = *ui.SortGrid1;
    TGridOptions options = grid.Options();
    const bool editable = acol <= kColName;
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
    else if (col == kColName)
        format.AlignmentHorz = taLeftJustify;
}

void TFormMain::commitEditor()
{
    if (ui.SortGrid1->EditorMode())
        ui.SortGrid1->HideEditor();
}

void TFormMain::Erase1Click()
{
    commitEditor();
    const int r = currentRow();
    const QStringList cells = ui.SortGrid1->Rows(r);
    const bool timed = !TrimBlanks(cells.value(kColStart)).isEmpty() || !TrimBlanks(cells.value(kColZeit)).isEmpty()
        || !TrimBlanks(cells.value(kColRaw)).isEmpty();
    if (timed && !ui.FDlgYesNo->Ask(QStringLiteral("Zeile mit Zeiten entfernen?"), TFDlgYesNo::Focus::Cancel))
        return;
    // Deleting reports nothing: the table stays as far as the steps got.
    try {
        int target = 1;
        {
            const QScopedValueRollback work(m_gridWork, true);
            target = m_race->RemoveRow(r);
        }
        rankRefresh();
        columnLayout();
        makeRowCurrent(target);
        selectWholeRow(target);
    } catch (...) {
    }
    m_live->ResultsChanged();
}

void TFormMain::mUndoClick()
{
    if (!m_race->CanUndoRemove())
        return;
    commitEditor();
    int row = 1;
    {
        const QScopedValueRollback work(m_gridWork, true);
        row = m_race->UndoRemove();
    }
    makeRowCurrent(row);
    selectWholeRow(row);
    rankRefresh();
    columnLayout();
}

void TFormMain::NeueZeile1Click()
{
    commitEditor();
    try {
        int n = kOverflowNumber;
        for (int candidate = 1; candidate <= kHighestNewNumber; ++candidate) {
            if (ui.SortGrid1->FindRow(kColNr, QString::number(candidate), false) < 0) {
                n = candidate;
                break;
            }
        }
        int row = 1;
        {
            const QScopedValueRollback work(m_gridWork, true);
            row = m_race->InsertRow(currentRow(), { QString::number(n), QStringLiteral("Neue Zeile") });
        }
        rowStateRefresh(row);
        selectWholeRow(row);
        columnLayout();
        exportButtonRefresh();
    } catch (...) {
    }
    m_live->ResultsChanged();
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
    ui.PastefromFStopp->setEnabled(m_race->CanInsertInterim(currentRow(), ui.ListBoxStopp->currentRow()));
}
