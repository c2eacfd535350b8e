// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "protocol/WordBasic.h"
#include "protocol/WriteFailure.h"

#include <QDate>
#include <QList>
#include <QString>

class TCellStore;

namespace protocol {

// Modes of the Word export.
constexpr int kWordViewMode = 0; // maximized, saved and left open for the user
constexpr int kWordSaveMode = 1; // minimized, saved and closed

// The template next to the executable.
QString WordTemplatePath();

// Hands the protocol table to the document engine as a table in a document
// made from the template and saves it under fileName (a name without folder
// lands in the working folder). View mode then opens the saved document with
// the default application.
//
// Callers in the main window:
//   sbWordClick and exporttoWord1Click: view mode, the date-stamp name +
//     ".docx", no folder;
//   the save command with the Word type: save mode, the chosen path.
//
// Any failure (template missing or damaged, target not writable) ends it
// with false and leaves an older document of that name as it was; `failure`
// then names the file concerned (the template or the document) and the
// reason, and the caller tells the operator. createEngine defaults to the
// DOCX engine. The document's title (shown in the template's header) is
// `title`, or the date of the race (today) when that is empty.
// With classes or statuses the document holds a table per class, each after
// a paragraph with the class's name (see BuildGroupedWordExport); classOrder
// is the order of the classes.
bool WordExport(int mode, const QString& fileName, const TCellStore& cells, const QList<int>& colWidths,
    const QString& templatePath, const WordBasicFactory& createEngine = {}, WriteFailure* failure = nullptr,
    const QString& title = QString(), const QStringList& classOrder = {});

// The title a document gets: the race title, else the date of the race.
QString DocumentTitle(const QString& raceTitle, const QDate& raceDate);

} // namespace protocol
