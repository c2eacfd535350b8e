// The protocol handed to the word processor and the spreadsheet.
#include "app/FMain.h"

#include "app/UiHelpers.h"
#include "grid/SortGrid.h"
#include "protocol/ExcelExport.h"
#include "protocol/SaveFilter.h"
#include "protocol/WordExport.h"

void TFormMain::wordExport(int mode, const QString& fileName)
{
    QList<int> widths;
    for (int c = 0; c < ui.SortGrid1->ColCount(); ++c)
        widths << ui.SortGrid1->ColWidths(c);
    protocol::WriteFailure failure;
    bool written = false;
    {
        WaitCursor hourglass;
        written = protocol::WordExport(
            mode, fileName, ui.SortGrid1->Store(), widths, files.templatePath, WordEngineFactory, &failure);
    }
    if (!written)
        ShowFileFailure(this, files.title, QStringLiteral("Das Word-Dokument konnte nicht erstellt werden."),
            failure.fileName, failure.reason);
}

void TFormMain::sbWordClick()
{
    commitEditor();
    wordExport(protocol::kWordViewMode, protocol::DateStampName() + QStringLiteral(".docx"));
}

void TFormMain::exporttoWord1Click()
{
    sbWordClick();
}

void TFormMain::sbExcelClick()
{
    commitEditor();
    protocol::WriteFailure failure;
    if (!protocol::ExcelExport(ui.SortGrid1->Store(), &failure))
        ShowFileFailure(this, files.title, QStringLiteral("Die Excel-Arbeitsmappe konnte nicht erstellt werden."),
            failure.fileName, failure.reason);
}
