// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "protocol/ExportText.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class TCellStore;

namespace protocol {

// Where the page's credit link points: the project's home page given at
// build time. Empty: the page credits the program without a link.
extern const QString kCreditLinkTarget;

// The results page of the log (heading "Ergebnisse", one table row per entry
// row, columns "Nr." to "Platz"), ISO-8859-1 with CR LF line ends. `title` is
// the application title. Cell texts are HTML-escaped so a name such as
// "A<B & C" shows as typed; the first "," of a time ("Start", "Zeit",
// "Split") becomes ".", every other cell keeps its commas. Once a class or
// status is in use the entries are listed as ResultGroups has them, each
// class under a heading row, with "Gesamt" after "Platz" when there are
// classes; `classOrder` is the order of the classes (see ResultGroups). A race
// heading names the page after the race and puts its title and date on top.
QByteArray HtmlPageBytes(
    const TCellStore& cells, const QString& title, const QStringList& classOrder = {}, const RaceHeading& heading = {});
// The same with the credit link pointing at `homePage` (none when empty).
QByteArray HtmlPageBytes(const TCellStore& cells, const QString& title, const QString& homePage,
    const QStringList& classOrder = {}, const RaceHeading& heading = {});

// Replaces the page file in one step; false when it cannot be written, with
// the system's reason in `reason` and an older page left as it was. The
// caller tells the operator.
bool WriteHtmlPage(const TCellStore& cells, const QString& fileName, const QString& title, QString* reason = nullptr,
    const QStringList& classOrder = {}, const RaceHeading& heading = {});

// The table behind a results page this program wrote, in the table's own
// texts (a decimal comma stays a comma): the page's title, the header row and
// the entry rows, columns "Nr." to "Platz" ("Gesamt" after it with classes).
// Printing uses it instead of the page's texts, as long as the file holds
// exactly what was written.
struct PageTable {
    QString heading; // "Ergebnisse", or the race's title
    // "Zeitenprotokoll " + the title the page was written with, or the
    // results' date under a race's title
    QString title;
    QStringList header;
    QList<QStringList> rows; // every row after the header, the free row included
    // Rows that are a class's heading: one text across the table.
    QList<int> headings;
};
PageTable PageTableOf(
    const TCellStore& cells, const QString& title, const QStringList& classOrder = {}, const RaceHeading& heading = {});
std::optional<PageTable> WrittenPageTable(const QString& fileName, const QByteArray& bytes);

// The page name the "Als Webseite" and print commands use: the title with
// ".html", without a folder, so it lands in the working folder.
QString HtmlPageFileName(const QString& title);

// The commands behind sbHTML (tag 0: show in the browser) and sbPrint and
// Drucker1 (tag 1: print): write the page under HtmlPageFileName(title) in
// `folder` (the working folder when empty), then hand it to the shell. A page that could not be written is neither
// shown nor printed (an older page of that name stays where it is). Other tags only write the page. `reason` tells why
// the page was not written or printed.
enum class PublishResult { Done, NotWritten, NotPrinted };
PublishResult PublishHtmlPage(const TCellStore& cells, const QString& title, int tag, QString* reason = nullptr,
    const QStringList& classOrder = {}, const RaceHeading& heading = {}, const QString& folder = {});

} // namespace protocol
