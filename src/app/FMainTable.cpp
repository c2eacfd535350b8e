// The protocol table: column layout, the grid's callbacks and the context
// menu's commands.
#include "app/FMain.h"

#include "app/RaceText.h"
#include "grid/SortGrid.h"
#include "protocol/Columns.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>

using namespace protocol;

namespace {
// -2: "Name" takes the rest.
constexpr int kColumnWidths[kProtocolColCount] = { 52, -2, 102, 90, 72, 52, -1 };
} // namespace

void TFormMain::ColumnLayout()
{
    for (int c : { kColNr, kColStart, kColZeit, kColSplit, kColPlatz, kColRaw })
        SortGrid1->SetColWidths(c, kColumnWidths[c]);
    const int rest = SortGrid1->ClientWidth() - SortGrid1->ColWidths(kColNr) - SortGrid1->ColWidths(kColStart)
        - SortGrid1->ColWidths(kColZeit) - SortGrid1->ColWidths(kColSplit) - SortGrid1->ColWidths(kColPlatz)
        - SortGrid1->ColCount();
    SortGrid1->SetColWidths(kColName, rest);
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

void TFormMain::Erase1Click()
{
    // Deleting never asks and never reports: the table stays as far as the
    // steps got.
    try {
        const int r = CurrentRow();
        SortGrid1->DeleteRow(r);
        RankRefresh();
        ColumnLayout();
        const int target = r < SortGrid1->RowCount() ? r : SortGrid1->RowCount() - 1;
        MakeRowCurrent(target);
        SelectWholeRow(target);
    } catch (...) {
    }
    ResultsChanged();
}

void TFormMain::NeueZeile1Click()
{
    try {
        int n = 9999;
        for (int candidate = 1; candidate <= 500; ++candidate) {
            if (SortGrid1->FindRow(kColNr, QString::number(candidate), false) < 0) {
                n = candidate;
                break;
            }
        }
        SortGrid1->InsertRow(CurrentRow());
        const int row = SortGrid1->Row();
        SortGrid1->SetRows(row, QStringList { QString::number(n), QStringLiteral("Neue Zeile") });
        SelectWholeRow(row);
        ColumnLayout();
        ExportButtonRefresh();
    } catch (...) {
    }
    ResultsChanged();
}

void TFormMain::PastefromFStoppClick()
{
    QListWidgetItem* item = ListBoxStopp->currentItem();
    if (!item)
        return;
    SortGrid1->SetCells(kColZeit, CurrentRow(), item->text());
    ResultsChanged();
}

void TFormMain::PopupMenuProtokolPopup()
{
    ExportButtonRefresh();
    PastefromFStopp->setEnabled(ListBoxStopp->currentRow() >= 0);
}
