// The protocol table: column layout, the grid's callbacks and the context
// menu's commands.
#include "app/FMain.h"

#include "controls/ModalResult.h"
#include "dialogs/DlgYesNo.h"
#include "grid/GridCommaText.h"
#include "grid/SortGrid.h"
#include "protocol/Columns.h"
#include "race/JournalEvents.h"
#include "race/RaceText.h"

#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>

#include <algorithm>
#include <utility>

using namespace protocol;

namespace {
// -2: "Name" takes the rest.
constexpr int kColumnWidths[kProtocolColCount] = { 52, -2, 102, 90, 72, 52, -1 };
// "Name" gives way to long times down to this width.
constexpr int kMinNameWidth = 100;
// A right-aligned text starts 2 pixels from the right edge; 3 more keep it
// off the neighbouring column's text.
constexpr int kTextPadding = 5;

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

void TFormMain::ColumnLayout()
{
    for (int c : { kColNr, kColPlatz, kColRaw })
        SortGrid1->SetColWidths(c, kColumnWidths[c]);
    // A time is never cut: its column grows, "Name" gives the room.
    for (int c : { kColStart, kColZeit, kColSplit })
        SortGrid1->SetColWidths(c, std::max(kColumnWidths[c], timeColumnWidth(*SortGrid1, c)));
    const int rest = SortGrid1->ClientWidth() - SortGrid1->ColWidths(kColNr) - SortGrid1->ColWidths(kColStart)
        - SortGrid1->ColWidths(kColZeit) - SortGrid1->ColWidths(kColSplit) - SortGrid1->ColWidths(kColPlatz)
        - SortGrid1->ColCount();
    SortGrid1->SetColWidths(kColName, std::max(kMinNameWidth, rest));
}

void TFormMain::SortGrid1SelectCell(int acol, int arow, bool& canSelect)
{
    if (acol > kColName) {
        TGridOptions options = SortGrid1->Options();
        options.setFlag(goEditing, false);
        options.setFlag(goRowSelect, true);
        SortGrid1->SetOptions(options);
        canSelect = false;
        SelectWholeRow(arow);
    } else {
        TGridOptions options = SortGrid1->Options();
        options.setFlag(goEditing, true);
        options.setFlag(goRowSelect, false);
        SortGrid1->SetOptions(options);
    }
    // Inside a race operation the grid moves its current cell as the
    // operation writes; the operation's own view follows.
    // Nor do the grid's own steps of a sort or of a row inserted or removed:
    // the command refreshes once it is done, so the journal holds the whole
    // step before the refresh.
    if (!m_raceBusy && !m_gridWork && !SortGrid1->Sorting())
        RowStateRefresh(arow);
}

void TFormMain::SortGrid1GetSortStyle(int col, TSortStyle& style)
{
    if (col == kColNr) {
        style = TSortStyle::ssNumeric;
    } else if (col == kColName) {
        style = TSortStyle::ssNormal;
    } else if (col >= kColStart && col <= kColPlatz) {
        SortGrid1->SortOptions().SortCompare = TimeTextOrder;
        style = TSortStyle::ssCustom;
    }
}

void TFormMain::SortGrid1GetCellFormat(int col, int row, TFormatOptions& format)
{
    if (row == 0)
        format.AlignmentHorz = taCenter;
    else if (col == kColName)
        format.AlignmentHorz = taLeftJustify;
}

void TFormMain::CommitEditor()
{
    if (SortGrid1->EditorMode())
        SortGrid1->HideEditor();
}

bool TFormMain::LogHoldsStart() const
{
    for (int r = 1; r < SortGrid1->RowCount(); ++r)
        if (!TrimBlanks(SortGrid1->Cells(kColRaw, r)).isEmpty())
            return true;
    return false;
}

void TFormMain::Erase1Click()
{
    CommitEditor();
    const int r = CurrentRow();
    const QStringList cells = SortGrid1->Rows(r);
    const bool timed = !TrimBlanks(cells.value(kColStart)).isEmpty() || !TrimBlanks(cells.value(kColZeit)).isEmpty()
        || !TrimBlanks(cells.value(kColRaw)).isEmpty();
    if (timed) {
        FDlgYesNo->Label1->setText(QStringLiteral("Zeile mit Zeiten entfernen?"));
        FDlgYesNo->SetActiveControl(FDlgYesNo->CancelBtn);
        if (FDlgYesNo->ShowModal() != mrYes)
            return;
    }
    // Deleting reports nothing: the table stays as far as the steps got.
    try {
        {
            const QScopedValueRollback work(m_gridWork, true);
            SortGrid1->DeleteRow(r);
        }
        m_lastRemoved = RemovedRow { r, cells };
        JournalTableEvent(race::kind::RowRemoved,
            { { QStringLiteral("row"), QString::number(r) }, { QStringLiteral("zellen"), race::RowText(cells) } });
        RankRefresh();
        ColumnLayout();
        const int target = r < SortGrid1->RowCount() ? r : SortGrid1->RowCount() - 1;
        MakeRowCurrent(target);
        SelectWholeRow(target);
    } catch (...) {
    }
    ResultsChanged();
}

void TFormMain::mUndoClick()
{
    if (!m_lastRemoved)
        return;
    CommitEditor();
    const RemovedRow removed = *std::exchange(m_lastRemoved, std::nullopt);
    const int row = PutBackRow(removed);
    JournalTableEvent(race::kind::Undo,
        { { QStringLiteral("from"), QString::number(removed.row) }, { QStringLiteral("row"), QString::number(row) },
            { QStringLiteral("zellen"), race::RowText(removed.cells) } });
    MakeRowCurrent(row);
    SelectWholeRow(row);
    RankRefresh();
    ColumnLayout();
}

int TFormMain::PutBackRow(const RemovedRow& removed)
{
    const QScopedValueRollback work(m_gridWork, true);
    int row = 1;
    if (SortGrid1->RowCount() == 2 && SortGrid1->IsEmptyRow(1)) {
        // The only row was emptied, not removed: it takes the texts back.
    } else {
        // Inserting at the last row appends after it; the row goes back to
        // its own place all the same.
        row = std::clamp(removed.row, 1, SortGrid1->RowCount());
        SortGrid1->InsertRow(row);
        if (SortGrid1->Row() != row)
            SortGrid1->MoveRow(SortGrid1->Row(), row);
    }
    SortGrid1->SetRows(row, removed.cells);
    return row;
}

int TFormMain::InsertRowWith(int at, const QStringList& cells)
{
    const QScopedValueRollback work(m_gridWork, true);
    SortGrid1->InsertRow(at);
    const int row = SortGrid1->Row();
    SortGrid1->SetRows(row, cells);
    return row;
}

void TFormMain::NeueZeile1Click()
{
    CommitEditor();
    try {
        int n = 9999;
        for (int candidate = 1; candidate <= 500; ++candidate) {
            if (SortGrid1->FindRow(kColNr, QString::number(candidate), false) < 0) {
                n = candidate;
                break;
            }
        }
        const int at = CurrentRow();
        const QStringList cells { QString::number(n), QStringLiteral("Neue Zeile") };
        const int row = InsertRowWith(at, cells);
        JournalTableEvent(race::kind::RowInserted,
            { { QStringLiteral("at"), QString::number(at) }, { QStringLiteral("row"), QString::number(row) },
                { QStringLiteral("zellen"), race::RowText(cells) } });
        RowStateRefresh(row);
        SelectWholeRow(row);
        ColumnLayout();
        ExportButtonRefresh();
    } catch (...) {
    }
    ResultsChanged();
}

void TFormMain::PastefromFStoppClick()
{
    // The selected interim time becomes the stop of the current running
    // entry, as if STOPP had been pressed then, and the table is ranked.
    CommitEditor();
    const int index = ListBoxStopp->currentRow();
    if (RunRace([&] { return m_race->InsertInterim(CurrentRow(), index); }, RowFollow::WholeRow)
        == race::Outcome::InterimInserted) {
        // Unselected, the used time shows grey; it cannot be inserted twice.
        ListBoxStopp->setCurrentItem(nullptr);
        ListBoxStopp->clearSelection();
        ColumnLayout();
    }
}

void TFormMain::PopupMenuProtokolPopup()
{
    ExportButtonRefresh();
    PastefromFStopp->setEnabled(m_race->CanInsertInterim(CurrentRow(), ListBoxStopp->currentRow()));
}
