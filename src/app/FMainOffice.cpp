// The protocol handed to the word processor and the spreadsheet.
#include "app/FMain.h"

#include "app/UiHelpers.h"
#include "grid/SortGrid.h"
#include "protocol/ExcelExport.h"
#include "protocol/SaveFilter.h"
#include "protocol/WordExport.h"

void TFormMain::WordExport(int mode, const QString& fileName)
{
    QList<int> widths;
    for (int c = 0; c < SortGrid1->ColCount(); ++c)
        widths << SortGrid1->ColWidths(c);
    protocol::WriteFailure failure;
    bool written = false;
    {
        WaitCursor hourglass;
        written = protocol::WordExport(
            mode, fileName, SortGrid1->Store(), widths, TemplatePath, WordEngineFactory, &failure);
    }
    if (!written)
        ShowFileError(
            QStringLiteral("Das Word-Dokument konnte nicht erstellt werden."), failure.fileName, failure.reason);
}

void TFormMain::sbWordClick()
{
    CommitEditor();
    WordExport(protocol::kWordViewMode, protocol::DateStampName() + QStringLiteral(".docx"));
}

void TFormMain::exporttoWord1Click()
{
    sbWordClick();
}

void TFormMain::sbExcelClick()
{
    CommitEditor();
    protocol::WriteFailure failure;
    if (!protocol::ExcelExport(SortGrid1->Store(), &failure))
        ShowFileError(
            QStringLiteral("Die Excel-Arbeitsmappe konnte nicht erstellt werden."), failure.fileName, failure.reason);
}
