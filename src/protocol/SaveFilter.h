// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

namespace protocol {

// The default name of saved logs and Word documents: the local date and time
// as "yyyy-mm-dd-hh-mm".
QString DateStampName(const QDateTime& local);
QString DateStampName();

// Looks up the description of a MIME type; returns the fallback when it knows
// none and may throw when the lookup itself breaks down.
using TypeDescriptionLookup = std::function<QString(const QString& mimeType, const QString& fallback)>;

// The save dialog's filter, "Desc (*.csv)|*.csv|...", with the desktop's
// descriptions of the four types. A lookup that throws leaves the fallbacks
// for every description not yet read.
QString SaveDialogFilter(const TypeDescriptionLookup& lookup);
QString SaveDialogFilter(); // through platform::FileTypeDescription

// What the save command writes for the filter index the user chose.
enum class SaveAction { Csv, Word, Page, Text };
SaveAction SaveActionForFilterIndex(int filterIndex);

// What the save command does with the name from the dialog. A name ending in
// .csv, .docx, .html, .htm or .txt (in any case) is saved as that type
// whatever filter was selected; any other name gets the selected filter's
// extension and is saved as its type. filterIndex is the index of the type
// saved, which the dialog offers next time.
struct SaveTarget {
    QString fileName;
    SaveAction action = SaveAction::Text;
    int filterIndex = 4;
};
SaveTarget SaveTargetFor(const QString& chosenName, int selectedFilterIndex);

// The filter index the save dialog shows the first time.
constexpr int kDefaultSaveFilterIndex = 2;

} // namespace protocol
