#include "protocol/WordExport.h"

#include "grid/CellStore.h"
#include "platform/AppInfo.h"
#include "platform/Shell.h"
#include "protocol/ExportText.h"

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

bool WordExport(int mode, const QString& fileName, const TCellStore& cells, const QList<int>& colWidths,
    const QString& templatePath, const WordBasicFactory& createEngine)
{
    try {
        const std::unique_ptr<TWordBasic> word = createEngine ? createEngine() : CreateDocxWordBasic();
        if (!word)
            return false;
        if (mode == kWordViewMode)
            word->AppMaximize();
        else
            word->AppMinimize();
        word->FileOpen(templatePath);
        const WordExportText text = BuildWordExportText(cells, colWidths);
        word->Insert(text.text);
        word->LineUp(cells.RowCount(), kExtendSelection);
        word->TextToTable(kConvertFromTabs, text.columns);
        word->FileSaveAs(fileName);
        if (mode != kWordViewMode)
            word->AppClose();
        else
            platform::CurrentShell().open(QDir::current().absoluteFilePath(fileName));
        return true;
    } catch (...) {
        // The export has no error report of its own; the operator sees that
        // no document appeared and can save the protocol another way.
        return false;
    }
}

} // namespace protocol
