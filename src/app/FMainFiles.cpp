// Saving and loading the protocol, and the results page.
#include "app/FMain.h"

#include "controls/Dialogs.h"
#include "grid/SortGrid.h"
#include "platform/AppInfo.h"
#include "protocol/HtmlPage.h"
#include "protocol/ProtocolFiles.h"
#include "protocol/SaveFilter.h"

#include <QDir>

void TFormMain::sbSaveClick()
{
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
    FilterIndex = chosen.filterIndex;
    SaveFolder = QFileInfo(chosen.fileName).absolutePath();
    switch (protocol::SaveActionForFilterIndex(FilterIndex)) {
    case protocol::SaveAction::Csv:
        SortGrid1->SaveToCsv(chosen.fileName);
        break;
    case protocol::SaveAction::Word:
        WordExport(1, chosen.fileName);
        break;
    case protocol::SaveAction::Page:
        if (!protocol::WriteHtmlPage(SortGrid1->Store(), chosen.fileName, Title))
            ShowPageWriteError(chosen.fileName);
        break;
    case protocol::SaveAction::Text:
        // The text writer is silent by design when the file cannot be created.
        protocol::WriteProtocolText(SortGrid1->Store(), chosen.fileName);
        break;
    }
}

void TFormMain::sbLoadClick()
{
    dialogs::FileDialogRequest request;
    request.caption = QStringLiteral("Startliste öffnen");
    request.folder = platform::ExecutableFolder();
    request.filter = QStringLiteral("Text file (*.txt)|*.txt|Alle Dateien (*)|*");
    request.filterIndex = 1;
    request.defaultSuffix = QStringLiteral("txt");
    const dialogs::FileDialogResult chosen = dialogs::GetOpenFileName(this, request);
    if (!chosen.fileName.isEmpty())
        LoadProtocol(chosen.fileName);
}

void TFormMain::LoadProtocol(const QString& fileName)
{
    const std::optional<protocol::LoadedProtocol> loaded = protocol::LoadProtocolText(fileName);
    if (!loaded)
        return;
    protocol::ApplyLoadedProtocol(*SortGrid1, *loaded);
    FirstStartTick = loaded->firstStartTick;
    ResultsChanged();
    if (!loaded->completed)
        return;
    RankRefresh();
    ColumnLayout();
}

void TFormMain::sbHTMLClick(int tag)
{
    if (!protocol::PublishHtmlPage(SortGrid1->Store(), Title, tag))
        ShowPageWriteError(protocol::HtmlPageFileName(Title));
}

void TFormMain::ShowPageWriteError(const QString& fileName)
{
    dialogs::ShowMessage(
        this, dialogs::Icon::Critical, Title, QStringLiteral("Der Schreibfehler der Datei: ") + fileName);
}
