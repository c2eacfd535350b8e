// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The protocol handed to the word processor and the spreadsheet.
#include "app/FMain.h"

#include "app/UiHelpers.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"
#include "platform/AppInfo.h"
#include "protocol/Excel.h"
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
        written = protocol::WordExport(mode, fileName, ui.SortGrid1->Store(), widths, files.templatePath,
            WordEngineFactory, &failure, m_event.title, m_race->ClassOrder());
    }
    if (!written)
        showNotice(FileFailureText(
            QStringLiteral("Das Word-Dokument konnte nicht erstellt werden."), failure.fileName, failure.reason));
}

void TFormMain::sbWordClick()
{
    commitEditor();
    // A document made earlier in the same minute, perhaps edited since,
    // keeps its name: this one gets the next free one.
    const QString folder = platform::OutputFolder();
    QString reason;
    if (!platform::MakeOutputFolder(&reason)) {
        showNotice(FileFailureText(QStringLiteral("Das Word-Dokument konnte nicht erstellt werden."), folder, reason));
        return;
    }
    wordExport(
        protocol::kWordViewMode, platform::UnusedFileName(folder, protocol::DateStampName(), QStringLiteral(".docx")));
}

void TFormMain::exporttoWord1Click()
{
    sbWordClick();
}

void TFormMain::sbExcelClick()
{
    commitEditor();
    protocol::WriteFailure failure;
    protocol::ExcelReport report;
    if (!protocol::ExcelExport(ui.SortGrid1->Store(), &failure, &report, m_event.title, m_race->ClassOrder())) {
        showNotice(FileFailureText(
            QStringLiteral("Die Excel-Arbeitsmappe konnte nicht erstellt werden."), failure.fileName, failure.reason));
        return;
    }
    const QString saved = QStringLiteral("Die Arbeitsmappe ist gespeichert unter\n") + report.workbook;
    if (!report.cut.isEmpty()) {
        dialogs::ShowMessage(this, dialogs::Icon::Warning, files.title,
            saved
                + QStringLiteral("\n\nZu lange Texte sind auf %1 Zeichen gekürzt, am Ende \u201E\u2026\u201C:\n")
                      .arg(TExcel::kMaxCellText)
                + report.cut.join(QLatin1Char('\n')));
    } else {
        // The spreadsheet opens on top; the note only says where the file is.
        dialogs::ShowNoteWithoutWaiting(this, saved);
    }
}
