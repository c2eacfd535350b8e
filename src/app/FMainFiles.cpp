// Saving and loading the protocol, and the results page.
#include "app/FMain.h"

#include "controls/Dialogs.h"
#include "grid/SortGrid.h"
#include "protocol/HtmlPage.h"
#include "protocol/ProtocolFiles.h"
#include "protocol/SaveFilter.h"
#include "protocol/WordExport.h"
#include "race/JournalEvents.h"

#include <QFileInfo>
#include <QScopedValueRollback>

namespace {

// The file as the operator can find it again: a name without a folder is
// in the working folder, which the message names as well.
QString fullPath(const QString& fileName)
{
    return fileName.isEmpty() ? fileName : QFileInfo(fileName).absoluteFilePath();
}

// A failure as the operator reads it: what failed, the file, and why.
QString failureText(const QString& what, const QString& fileName, const QString& reason)
{
    return what + QLatin1Char('\r') + fullPath(fileName) + QLatin1Char('\r') + reason;
}

} // namespace

void TFormMain::sbSaveClick()
{
    CommitEditor();
    dialogs::FileDialogRequest request;
    request.caption = QStringLiteral("Protokoll speichern unter");
    request.folder = SaveFolder;
    request.fileName = protocol::DateStampName();
    request.filter = SaveFilter;
    request.filterIndex = FilterIndex;
    request.defaultSuffix = QStringLiteral("csv");
    const dialogs::FileDialogResult chosen = dialogs::GetSaveFileName(this, request);
    if (chosen.fileName.isEmpty())
        return;
    RememberDialogFolder(chosen.fileName);
    // A typed extension decides the type, whatever filter is selected.
    const protocol::SaveTarget target = protocol::SaveTargetFor(chosen.fileName, chosen.filterIndex);
    // The dialog asked about the name it saw; a name that got its extension
    // only here was never asked about.
    const QFileInfo appended(target.fileName);
    if (target.fileName != chosen.fileName && (appended.exists() || appended.isSymLink())
        && !dialogs::AskReplaceFile(this, Title, appended.absoluteFilePath()))
        return;
    FilterIndex = target.filterIndex;
    switch (target.action) {
    case protocol::SaveAction::Csv:
        SortGrid1->SaveToCsv(target.fileName); // reports its own failure
        break;
    case protocol::SaveAction::Word:
        WordExport(protocol::kWordSaveMode, target.fileName);
        break;
    case protocol::SaveAction::Page: {
        QString reason;
        if (!protocol::WriteHtmlPage(SortGrid1->Store(), target.fileName, Title, &reason))
            ShowPageWriteError(target.fileName, reason);
        break;
    }
    case protocol::SaveAction::Text: {
        QString reason;
        if (!protocol::WriteProtocolText(SortGrid1->Store(), target.fileName, &reason))
            ShowFileError(QStringLiteral("Das Protokoll konnte nicht gespeichert werden."), target.fileName, reason);
        break;
    }
    }
}

void TFormMain::sbLoadClick()
{
    CommitEditor();
    if (LogHoldsStart() && !ConfirmReplaceLog())
        return;
    dialogs::FileDialogRequest request;
    request.caption = QStringLiteral("Startliste öffnen");
    request.folder = SaveFolder;
    request.filter = QStringLiteral("Text file (*.txt)|*.txt|Alle Dateien (*)|*");
    request.filterIndex = 1;
    request.defaultSuffix = QStringLiteral("txt");
    const dialogs::FileDialogResult chosen = dialogs::GetOpenFileName(this, request);
    if (!chosen.fileName.isEmpty()) {
        RememberDialogFolder(chosen.fileName);
        LoadProtocol(chosen.fileName);
    }
}

void TFormMain::RememberDialogFolder(const QString& chosenFile)
{
    SaveFolder = QFileInfo(chosenFile).absolutePath();
}

void TFormMain::LoadProtocol(const QString& fileName)
{
    // The whole file is read before anything of the table changes: a file
    // that is no protocol leaves the table as it was.
    QString openError;
    const std::optional<protocol::LoadedProtocol> loaded = protocol::LoadProtocolText(fileName, &openError);
    if (!loaded || !loaded->ok()) {
        const QString why
            = loaded ? QStringLiteral("Zeile %1: %2").arg(loaded->errorLine).arg(loaded->error) : openError;
        dialogs::ShowMessage(this, dialogs::Icon::Critical, Title,
            QStringLiteral("Die Datei kann nicht als Protokoll oder Startliste geladen werden:\n") + fileName
                + QStringLiteral("\n") + why);
        return;
    }
    {
        const QScopedValueRollback work(m_gridWork, true);
        protocol::ApplyLoadedProtocol(*SortGrid1, *loaded);
    }
    m_lastRemoved.reset();
    {
        QList<QPair<QString, QString>> fields { { QStringLiteral("datei"), fileName },
            { QStringLiteral("rows"), QString::number(loaded->rows.size()) } };
        for (const QStringList& row : loaded->rows)
            fields.append({ QStringLiteral("r"), race::RowText(row) });
        JournalTableEvent(race::kind::Load, std::move(fields));
    }
    RunRace([&] { return m_race->Loaded(CurrentRow()); }, RowFollow::WholeRow);
    ColumnLayout();
}

void TFormMain::sbHTMLClick(int tag)
{
    CommitEditor();
    QString reason;
    const QString fileName = protocol::HtmlPageFileName(Title);
    switch (protocol::PublishHtmlPage(SortGrid1->Store(), Title, tag, &reason)) {
    case protocol::PublishResult::Done:
        break;
    case protocol::PublishResult::NotWritten:
        ShowPageWriteError(fileName, reason);
        break;
    case protocol::PublishResult::NotPrinted:
        ShowFileError(QStringLiteral("Das Protokoll konnte nicht gedruckt werden."), fileName, reason);
        break;
    }
}

void TFormMain::ShowPageWriteError(const QString& fileName, const QString& reason)
{
    dialogs::ShowMessage(this, dialogs::Icon::Critical, Title,
        QStringLiteral("Der Schreibfehler der Datei: ") + fullPath(fileName) + QLatin1Char('\r') + reason);
}

void TFormMain::ShowFileError(const QString& what, const QString& fileName, const QString& reason)
{
    dialogs::ShowMessage(this, dialogs::Icon::Critical, Title, failureText(what, fileName, reason));
}
