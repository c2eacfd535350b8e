// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/WordExport.h"

#include "gridstore/CellStore.h"
#include "platform/AppInfo.h"
#include "platform/Shell.h"
#include "protocol/ExportText.h"
#include "protocol/ResultGroups.h"

#include <QDir>

namespace protocol {

namespace {

constexpr int kConvertFromTabs = 1;
constexpr int kExtendSelection = 1;

} // namespace

QString WordTemplatePath()
{
    return platform::ExecutableFolder() + QStringLiteral("Protokollvorlage.docx");
}

QString DocumentTitle(const QString& raceTitle, const QDate& raceDate)
{
    if (!raceTitle.isEmpty())
        return raceTitle;
    return QStringLiteral("Rennen vom ") + raceDate.toString(QStringLiteral("dd.MM.yyyy"));
}

bool WordExport(int mode, const QString& fileName, const TCellStore& cells, const QList<int>& colWidths,
    const QString& templatePath, const WordBasicFactory& createEngine, WriteFailure* failure, const QString& title,
    const QStringList& classOrder)
{
    // The file a failure is about: the template until it is open, then the
    // document being made.
    QString current = templatePath;
    const auto failed = [&](const QString& file, const QString& reason) {
        if (failure)
            *failure = WriteFailure { file.isEmpty() ? current : file, reason };
        return false;
    };
    try {
        const std::unique_ptr<TWordBasic> word = createEngine ? createEngine() : CreateDocxWordBasic();
        if (!word)
            return failed(QString(), QStringLiteral("No document engine"));
        if (mode == kWordViewMode)
            word->AppMaximize();
        else
            word->AppMinimize();
        word->FileOpen(templatePath);
        current = fileName;
        if (!GroupsResults(cells)) {
            const WordExportText text = BuildWordExportText(cells, colWidths);
            word->Insert(text.text);
            word->LineUp(cells.RowCount(), kExtendSelection);
            word->TextToTable(kConvertFromTabs, text.columns);
        } else {
            // Class by class: the heading becomes a paragraph, the table's
            // text (one paragraph) its table.
            for (const WordExportPart& part : BuildGroupedWordExport(cells, colWidths, classOrder)) {
                if (part.heading.isEmpty()) {
                    word->Insert(part.table.text);
                    word->LineUp(part.rows, kExtendSelection);
                } else {
                    word->Insert(part.heading + QStringLiteral("\r\n") + part.table.text);
                }
                word->TextToTable(kConvertFromTabs, part.table.columns);
            }
        }
        word->FileSummaryInfo(DocumentTitle(title, QDate::currentDate()));
        word->FileSaveAs(fileName);
        if (mode != kWordViewMode)
            word->AppClose();
        else
            platform::CurrentShell().open(QDir::current().absoluteFilePath(fileName));
        return true;
    } catch (const EWordBasic& e) {
        return failed(e.FileName(), e.Reason().isEmpty() ? QString::fromStdString(e.what()) : e.Reason());
    } catch (const std::exception& e) {
        return failed(QString(), QString::fromStdString(e.what()));
    }
}

} // namespace protocol
