// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Saving and loading the protocol, and the results page.
#include "app/FMain.h"

#include "app/NoteBar.h"
#include "app/UiHelpers.h"
#include "controls/Dialogs.h"
#include "dialogs/DlgYesNo.h"
#include "grid/GridFiles.h"
#include "grid/SortGrid.h"
#include "platform/AppInfo.h"
#include "protocol/EntryStatus.h"
#include "protocol/HtmlPage.h"
#include "protocol/ProtocolFiles.h"
#include "protocol/ResultsCsv.h"
#include "protocol/SaveFilter.h"
#include "protocol/WordExport.h"
#include "race/RaceBackups.h"

#include <QFileInfo>
#include <QScopedValueRollback>

namespace {

QString pageWriteError(const QString& fileName, const QString& reason)
{
    return QStringLiteral("Der Schreibfehler der Datei: ") + FullPath(fileName) + QLatin1Char('\r') + reason;
}

// The race's title over the page and its printout, dated the day it is made.
protocol::RaceHeading headingOf(const settings::Event& event)
{
    return { event.title, QDate::currentDate() };
}

// The save and open dialogs start in the folder last used.
QString folderOf(const QString& chosenFile)
{
    return QFileInfo(chosenFile).absolutePath();
}

} // namespace

void TFormMain::sbSaveClick()
{
    commitEditor();
    dialogs::FileDialogRequest request;
    request.caption = QStringLiteral("Protokoll speichern unter");
    request.folder = m_fileChoices.saveFolder;
    request.fileName = protocol::DateStampName();
    request.filter = files.saveFilter;
    request.filterIndex = m_fileChoices.filterIndex;
    request.defaultSuffix = QStringLiteral("csv");
    const dialogs::FileDialogResult chosen = dialogs::GetSaveFileName(this, request);
    if (chosen.fileName.isEmpty())
        return;
    m_fileChoices.saveFolder = folderOf(chosen.fileName);
    // A typed extension decides the type, whatever filter is selected.
    const protocol::SaveTarget target = protocol::SaveTargetFor(chosen.fileName, chosen.filterIndex);
    // The dialog asked about the name it saw; a name that got its extension
    // only here was never asked about.
    const QFileInfo appended(target.fileName);
    if (target.fileName != chosen.fileName && (appended.exists() || appended.isSymLink())
        && !dialogs::AskReplaceFile(this, files.title, appended.absoluteFilePath()))
        return;
    m_fileChoices.filterIndex = target.filterIndex;
    switch (target.action) {
    case protocol::SaveAction::Csv: {
        QString reason;
        if (!protocol::WriteResultsCsv(ui.SortGrid1->Store(), m_race->ClassOrder(), target.fileName, &reason))
            showNotice(FileFailureText(
                QStringLiteral("Die CSV-Datei konnte nicht gespeichert werden."), target.fileName, reason));
        break;
    }
    case protocol::SaveAction::Word:
        wordExport(protocol::kWordSaveMode, target.fileName);
        break;
    case protocol::SaveAction::Page: {
        QString reason;
        if (!protocol::WriteHtmlPage(
                ui.SortGrid1->Store(), target.fileName, files.title, &reason, m_race->ClassOrder(), headingOf(m_event)))
            showNotice(pageWriteError(target.fileName, reason));
        break;
    }
    case protocol::SaveAction::Text: {
        QString reason;
        if (!protocol::WriteProtocolText(ui.SortGrid1->Store(), target.fileName, &reason))
            showNotice(FileFailureText(
                QStringLiteral("Das Protokoll konnte nicht gespeichert werden."), target.fileName, reason));
        break;
    }
    }
}

void TFormMain::sbLoadClick()
{
    commitEditor();
    if (m_race->AnyStarted()
        && !ui.FDlgYesNo->Ask(QStringLiteral("Protokoll wird ersetzt!"), TFDlgYesNo::Focus::Cancel,
            QStringLiteral("OK"), QStringLiteral("Abbrechen")))
        return;
    dialogs::FileDialogRequest request;
    request.caption = QStringLiteral("Startliste öffnen");
    request.folder = m_fileChoices.saveFolder;
    request.filter = QStringLiteral("Text file (*.txt)|*.txt|Alle Dateien (*)|*");
    request.filterIndex = 1;
    request.defaultSuffix = QStringLiteral("txt");
    const dialogs::FileDialogResult chosen = dialogs::GetOpenFileName(this, request);
    if (!chosen.fileName.isEmpty()) {
        m_fileChoices.saveFolder = folderOf(chosen.fileName);
        loadProtocol(chosen.fileName);
    }
}

void TFormMain::loadProtocol(const QString& fileName)
{
    // The whole file is read before anything of the table changes: a file
    // that is no protocol (binary data) leaves the table as it was.
    QString openError;
    const std::optional<protocol::LoadedProtocol> loaded = protocol::LoadProtocolText(fileName, &openError);
    if (!loaded || !loaded->ok()) {
        const QString why
            = loaded ? QStringLiteral("Zeile %1: %2").arg(loaded->errorLine).arg(loaded->error) : openError;
        showNotice(QStringLiteral("Die Datei kann nicht als Protokoll oder Startliste geladen werden:\n") + fileName
            + QStringLiteral("\n") + why);
        return;
    }
    {
        const QScopedValueRollback work(m_gridWork, true);
        m_race->Load(QList<QStringList>(loaded->rows.begin(), loaded->rows.end()), fileName);
    }
    runRace([&] { return m_race->Loaded(currentRow()); }, RowFollow::WholeRow);
    columnLayout();
    m_backups->NewRace();
    // Lines that loaded only changed, and numbers that entries share, are
    // named without stopping the operator.
    ui.PanelLoadNote->ShowNote(protocol::LoadNote(*loaded),
        QFileInfo(fileName).fileName() + QLatin1Char('\n') + protocol::LoadNoteDetails(*loaded));
}

void TFormMain::sbHTMLClick(int tag)
{
    commitEditor();
    QString reason;
    const QString folder = platform::OutputFolder();
    const QString fileName = folder + QLatin1Char('/') + protocol::HtmlPageFileName(files.title);
    if (!platform::MakeOutputFolder(&reason)) {
        showNotice(pageWriteError(fileName, reason));
        return;
    }
    switch (protocol::PublishHtmlPage(
        ui.SortGrid1->Store(), files.title, tag, &reason, m_race->ClassOrder(), headingOf(m_event), folder)) {
    case protocol::PublishResult::Done:
        break;
    case protocol::PublishResult::NotWritten:
        showNotice(pageWriteError(fileName, reason));
        break;
    case protocol::PublishResult::NotPrinted:
        showNotice(FileFailureText(QStringLiteral("Das Protokoll konnte nicht gedruckt werden."), fileName, reason));
        break;
    }
}
