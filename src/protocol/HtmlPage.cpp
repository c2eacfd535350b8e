// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/HtmlPage.h"

#include "gridstore/CellStore.h"
#include "platform/AtomicFile.h"
#include "platform/HomePage.h"
#include "platform/HtmlText.h"
#include "platform/Shell.h"
#include "platform/TextCodec.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "protocol/ResultGroups.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <algorithm>
#include <map>
#include <vector>

namespace protocol {

const QString kCreditLinkTarget = QString::fromLatin1(platform::kHomePage);

namespace {

constexpr int kPageColCount = 6; // the raw column "*" never reaches the page

// The columns the page shows: "Nr." to "Platz", "Gesamt" with classes, and
// in the second run of two run 1's time and the total; grouped once a class
// or status is in use.
struct PageColumns {
    std::vector<int> cols;
    bool grouped = false;
    bool overall = false;
    bool runs = false;
};

PageColumns pageColumns(const TCellStore& cells)
{
    PageColumns columns;
    for (int c = 0; c < kPageColCount; ++c)
        columns.cols.push_back(c);
    columns.grouped = GroupsResults(cells);
    columns.overall = UsesClasses(cells);
    if (columns.overall)
        columns.cols.push_back(kColGesamt);
    columns.runs = UsesRunColumns(cells);
    if (columns.runs) {
        columns.cols.push_back(kColLauf1);
        columns.cols.push_back(kColGesamtzeit);
    }
    return columns;
}

QString escaped(const QString& text, bool inAttribute = false)
{
    return platform::EscapeHtml(text, inAttribute ? platform::HtmlQuotes::Double : platform::HtmlQuotes::None);
}

bool isTimeColumn(int col)
{
    return col == kColStart || col == kColZeit || col == kColSplit || col == kColLauf1 || col == kColGesamtzeit;
}

// The decimal comma of a time becomes a point (only the first comma, as the
// page always had it). Names and numbers are published as typed: "Berg, Anna"
// must not become "Berg. Anna".
QString cellText(const TCellStore& cells, int col, int row)
{
    QString text = cells.Cell(col, row);
    if (isTimeColumn(col)) {
        const qsizetype comma = text.indexOf(QLatin1Char(','));
        if (comma >= 0)
            text[comma] = QLatin1Char('.');
    }
    return escaped(text);
}

void line(QByteArray& out, const QString& text)
{
    out += platform::EncodeLatin1WithReferences(text);
    out += "\r\n";
}

void line(QByteArray& out, const char* ascii)
{
    out += ascii;
    out += "\r\n";
}

} // namespace

QByteArray HtmlPageBytes(
    const TCellStore& cells, const QString& title, const QStringList& classOrder, const RaceHeading& heading)
{
    return HtmlPageBytes(cells, title, kCreditLinkTarget, classOrder, heading);
}

QByteArray HtmlPageBytes(const TCellStore& cells, const QString& title, const QString& homePage,
    const QStringList& classOrder, const RaceHeading& heading)
{
    // The credit names the program; the page itself is named after the race
    // once it has a title.
    const QString t = escaped(title, true);
    const QString named = heading.isEmpty() ? t : escaped(heading.title, true);
    QByteArray out;
    out.reserve(2048 + cells.RowCount() * 96);
    // A document type, so browsers render the page by the standard, not in
    // their quirks mode.
    line(out, "<!DOCTYPE html>");
    line(out, "<HTML>");
    line(out, "<HEAD>");
    line(out, QStringLiteral("<!-- Rennzeit, Zeitmessung mit Lichtschranken -->"));
    line(out, QStringLiteral("<TITLE>Zeitenprotokoll ") + named + QStringLiteral("</TITLE>"));
    line(out, QStringLiteral("<META name=keywords content=\"Zeitenprotokoll ") + named + QStringLiteral("\">"));
    line(out,
        QStringLiteral("<META name=description content=\"Ergebnisse eines Rennens, erstellt von Rennzeit, "
                       "der Zeitmessung f\u00FCr Rennen mit Lichtschranken\">"));
    line(out, "<META http-equiv=Content-Type content=\"text/html; charset=iso-8859-1\">");
    line(out, "<STYLE type=text/css>");
    line(out, "\tbody {font-family:Arial; color:#2B4BA2; background-color:#ECF5FF}");
    line(out, "\th1 {background:#FFFFFF; text-align: center;");
    line(out, "\tborder-bottom:4px double; padding-bottom:2px; font-size:14pt}");
    line(out, "\ttd {font-size:14px; padding-right: 4px}");
    line(out, "\ta:link {text-decoration:none}");
    line(out, "\ta:visited {text-decoration:none}");
    line(out, "\tA:hover {text-decoration:none; font-weight:bold}");
    line(out, "</STYLE></HEAD>");
    line(out, "<BODY>");
    line(out, "<DIV style=\"FILTER: Blur(direction=225, strength=6); WIDTH:100%\">");
    if (heading.isEmpty()) {
        line(out, "<H5>Ergebnisse</H5>");
    } else {
        line(out, QStringLiteral("<H1>") + escaped(heading.title) + QStringLiteral("</H1>"));
        line(out, QStringLiteral("<H5>") + ResultsOfDay(heading.date) + QStringLiteral("</H5>"));
    }
    line(out,
        "<table style=\"BORDER-COLLAPSE: collapse\" bgcolor=#FFFFFF borderColor=#808080 border=1 cellpadding=4 "
        "width=100%>");
    const PageColumns columns = pageColumns(cells);
    line(out, "<colgroup valign=top> <col align=right> <col><col align=right><col align=right><col align=right>");
    if (columns.runs)
        line(out,
            columns.overall ? "<col align=right> <col align=right> <col align=right> <col align=right> <col "
                              "align=right> </colgroup>"
                            : "<col align=right> <col align=right> <col align=right> <col align=right> </colgroup>");
    else
        line(out,
            columns.overall ? "<col align=right> <col align=right> <col align=right> </colgroup>"
                            : "<col align=right> <col align=right> </colgroup>");
    line(out, "<thead align=left bgcolor=#91B5FF>");
    line(out, "<tr>");
    static const char* const kHeaderCells[kPageColCount] = { "<th width=8%>", "<th width=40% nowrap>", "<th width=15%>",
        "<th width=15%>", "<th width=15%>", "<th width=8%>" };
    // "Gesamt" takes its width from the name.
    static const char* const kClassHeaderCells[kPageColCount + 1] = { "<th width=8%>", "<th width=32% nowrap>",
        "<th width=15%>", "<th width=15%>", "<th width=15%>", "<th width=8%>", "<th width=8%>" };
    // With two runs the name gives the room of run 1's time and the total.
    static const char* const kRunsHeaderCells[kPageColCount] = { "<th width=6%>", "<th width=28% nowrap>",
        "<th width=12%>", "<th width=12%>", "<th width=12%>", "<th width=6%>" };
    for (size_t i = 0; i < columns.cols.size(); ++i) {
        const char* cell = "<th width=12%>";
        if (i < static_cast<size_t>(kPageColCount))
            cell = columns.runs ? kRunsHeaderCells[i] : columns.overall ? kClassHeaderCells[i] : kHeaderCells[i];
        else if (columns.cols[i] == kColGesamt)
            cell = columns.runs ? "<th width=6%>" : kClassHeaderCells[i];
        line(out, QLatin1String(cell) + escaped(cells.Cell(columns.cols[i], 0)));
    }
    line(out, "</tr></thead>");
    const auto entryRow = [&](int r) {
        QString row = QStringLiteral("<tr>");
        for (const int c : columns.cols)
            row += QLatin1String("<td>") + cellText(cells, c, r);
        row += QLatin1String("</tr>");
        line(out, row);
    };
    if (!columns.grouped) {
        for (int r = 1; r < cells.RowCount(); ++r)
            entryRow(r);
    } else {
        const bool classes = UsesClasses(cells);
        for (const ResultGroup& group : GroupResults(cells, classOrder)) {
            if (classes)
                line(out,
                    QStringLiteral("<tr class=klasse><th colspan=%1 align=left bgcolor=#D6E3FF>%2</tr>")
                        .arg(columns.cols.size())
                        .arg(escaped(ClassHeading(group.className))));
            for (const int r : group.rows)
                entryRow(r);
        }
    }
    if (homePage.isEmpty()) {
        line(out,
            QStringLiteral("</table><P align=right title=\"") + t
                + QStringLiteral("\">Rennzeit</P></DIV></body></html>"));
    } else {
        line(out,
            QStringLiteral("</table><P align=right><A href=\"") + escaped(homePage, true)
                + QStringLiteral("\" title=\"") + t
                + QStringLiteral("\" style=\"color:#2B4BA2\">Rennzeit</A></P></DIV></body></html>"));
    }
    return out;
}

namespace {

// The last page written to each file, by its bytes.
struct WrittenPage {
    QByteArray hash;
    PageTable table;
};

std::map<QString, WrittenPage>& writtenPages()
{
    static std::map<QString, WrittenPage> pages;
    return pages;
}

QByteArray hashOf(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

} // namespace

PageTable PageTableOf(
    const TCellStore& cells, const QString& title, const QStringList& classOrder, const RaceHeading& heading)
{
    PageTable table;
    if (heading.isEmpty()) {
        table.heading = QStringLiteral("Ergebnisse");
        table.title = QStringLiteral("Zeitenprotokoll ") + title;
    } else {
        table.heading = heading.title;
        table.title = ResultsOfDay(heading.date);
    }
    const PageColumns columns = pageColumns(cells);
    for (const int c : columns.cols)
        table.header << cells.Cell(c, 0);
    const auto entryRow = [&](int r) {
        QStringList row;
        for (const int c : columns.cols)
            row << cells.Cell(c, r);
        table.rows << row;
    };
    if (!columns.grouped) {
        for (int r = 1; r < cells.RowCount(); ++r)
            entryRow(r);
        return table;
    }
    const bool classes = UsesClasses(cells);
    for (const ResultGroup& group : GroupResults(cells, classOrder)) {
        if (classes) {
            table.headings << static_cast<int>(table.rows.size());
            table.rows << QStringList { ClassHeading(group.className) };
        }
        for (const int r : group.rows)
            entryRow(r);
    }
    return table;
}

bool WriteHtmlPage(const TCellStore& cells, const QString& fileName, const QString& title, QString* reason,
    const QStringList& classOrder, const RaceHeading& heading)
{
    const QByteArray bytes = HtmlPageBytes(cells, title, classOrder, heading);
    const QString key = QFileInfo(fileName).absoluteFilePath();
    writtenPages().erase(key);
    if (!platform::WriteFileAtomically(fileName, bytes, reason))
        return false;
    writtenPages()[key] = WrittenPage { hashOf(bytes), PageTableOf(cells, title, classOrder, heading) };
    return true;
}

std::optional<PageTable> WrittenPageTable(const QString& fileName, const QByteArray& bytes)
{
    const auto found = writtenPages().find(QFileInfo(fileName).absoluteFilePath());
    if (found == writtenPages().end() || found->second.hash != hashOf(bytes))
        return std::nullopt;
    return found->second.table;
}

QString HtmlPageFileName(const QString& title)
{
    return title + QStringLiteral(".html");
}

PublishResult PublishHtmlPage(const TCellStore& cells, const QString& title, int tag, QString* reason,
    const QStringList& classOrder, const RaceHeading& heading, const QString& folder)
{
    const QString fileName = (folder.isEmpty() ? QString() : folder + QLatin1Char('/')) + HtmlPageFileName(title);
    // An older page of the same name is never shown or printed in place of
    // the one that could not be written.
    if (!WriteHtmlPage(cells, fileName, title, reason, classOrder, heading))
        return PublishResult::NotWritten;
    if (tag == 0) {
        // Without an application for the verb nothing visible happens, as on
        // any desktop; the page is written and can be opened by hand.
        platform::CurrentShell().open(fileName);
    } else if (tag == 1) {
        if (!platform::CurrentShell().print(fileName, reason))
            return PublishResult::NotPrinted;
    }
    return PublishResult::Done;
}

} // namespace protocol
