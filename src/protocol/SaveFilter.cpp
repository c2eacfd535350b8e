// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/SaveFilter.h"

#include "platform/FileTypes.h"

#include <QLatin1Char>
#include <QtGlobal>

#include <array>
#include <exception>

namespace protocol {

QString DateStampName(const QDateTime& local)
{
    // Blanks come from formats that pad with spaces; the name must not hold any.
    return local.toString(QStringLiteral("yyyy-MM-dd-hh-mm")).replace(QLatin1Char(' '), QLatin1Char('0'));
}

QString DateStampName()
{
    return DateStampName(QDateTime::currentDateTime());
}

QString SaveDialogFilter(const TypeDescriptionLookup& lookup)
{
    enum { Excel, Word, Html, Text };
    struct Type {
        const char* mimeType;
        QString description;
    };
    std::array<Type, 4> types { {
        { "text/csv", QStringLiteral("MS Excel") },
        { "application/vnd.openxmlformats-officedocument.wordprocessingml.document", QStringLiteral("MS Word") },
        { "text/html", QStringLiteral("Webseite") },
        { "text/plain", QStringLiteral("Textdatei") },
    } };
    try {
        for (int i : { Html, Text, Word, Excel }) {
            Type& t = types[static_cast<size_t>(i)];
            t.description = lookup(QString::fromLatin1(t.mimeType), t.description);
        }
    } catch (const std::exception& e) {
        // A broken lookup is no reason to refuse saving: the descriptions not
        // read so far keep their fallbacks, and the log says why.
        qWarning("Dateitypen nicht gelesen: %s", e.what());
    }
    return types[Excel].description + QStringLiteral(" (*.csv)|*.csv|") + types[Word].description
        + QStringLiteral(" (*.docx)|*.docx|") + types[Html].description + QStringLiteral(" (*.html)|*.html|")
        + types[Text].description + QStringLiteral(" (*.txt)|*.txt");
}

QString SaveDialogFilter()
{
    return SaveDialogFilter(&platform::FileTypeDescription);
}

SaveTarget SaveTargetFor(const QString& chosenName, int selectedFilterIndex)
{
    struct Typed {
        const char* suffix;
        int filterIndex;
    };
    static constexpr Typed kTyped[] = { { ".csv", 1 }, { ".docx", 2 }, { ".html", 3 }, { ".htm", 3 }, { ".txt", 4 } };
    for (const Typed& typed : kTyped) {
        const QLatin1String suffix(typed.suffix);
        if (chosenName.size() > suffix.size() && chosenName.endsWith(suffix, Qt::CaseInsensitive))
            return { chosenName, SaveActionForFilterIndex(typed.filterIndex), typed.filterIndex };
    }
    static constexpr const char* kFilterSuffix[] = { ".csv", ".docx", ".html", ".txt" };
    const int index = selectedFilterIndex >= 1 && selectedFilterIndex <= 3 ? selectedFilterIndex : 4;
    return { chosenName + QLatin1String(kFilterSuffix[index - 1]), SaveActionForFilterIndex(index), index };
}

SaveAction SaveActionForFilterIndex(int filterIndex)
{
    switch (filterIndex) {
    case 1:
        return SaveAction::Csv;
    case 2:
        return SaveAction::Word;
    case 3:
        return SaveAction::Page;
    default:
        return SaveAction::Text;
    }
}

} // namespace protocol
