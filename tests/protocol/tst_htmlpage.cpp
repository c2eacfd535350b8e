// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/ClubRace.h"
#include "gridstore/CellStore.h"
#include "protocol/Columns.h"
#include "protocol/HtmlPage.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kTitle = QStringLiteral("rennzeit");
const QByteArray kFree = "@@FREE@@";

TCellStore headerOnly(int rowCount)
{
    TCellStore cells(7, rowCount);
    cells.SetRow(0, { "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "*" });
    return cells;
}

// Two finished entries, one running, and the free row a start leaves behind.
TCellStore raceTable()
{
    TCellStore cells = headerOnly(5);
    cells.SetRow(1, { "3", "Berg", "10:05.03,12", "1.05,12", "0,00", "1", "65120" });
    cells.SetRow(2, { "7", QStringLiteral("Müller, Anna, €"), "10:05.20,40", "", "0.17,28", "-", "1234567" });
    cells.SetRow(3, { "9", "A<B & C", "10:05.30,00", "1.10,00", "0.26,88", "2", "70000" });
    cells.SetRow(4, { "", "", "", "", "", "-", "" });
    return cells;
}

QList<QByteArray> linesOf(const QByteArray& page)
{
    QList<QByteArray> lines = page.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QList<QByteArray> dataLines(const QByteArray& page)
{
    QList<QByteArray> lines;
    for (const QByteArray& line : linesOf(page))
        if (line.startsWith("<tr><td>"))
            lines << line.chopped(1);
    return lines;
}

} // namespace

class TestHtmlPage : public QObject {
    Q_OBJECT
private slots:
    void page_matchesTheExpectedFileLineForLine()
    {
        const QByteArray page = protocol::HtmlPageBytes(raceTable(), kTitle);
        QVERIFY(page.endsWith("\r\n"));
        QList<QByteArray> lines = linesOf(page);
        for (const QByteArray& line : lines)
            QVERIFY2(line.endsWith('\r'), line.constData());
        QCOMPARE(lines.size(), 37);

        // The comment, the description and the credit link are ours to word;
        // only their form is fixed.
        QByteArray& comment = lines[3];
        QVERIFY(comment.startsWith("<!-- ") && comment.endsWith(" -->\r"));
        QCOMPARE(comment.count("-->"), 1);
        QByteArray& description = lines[6];
        QVERIFY(description.startsWith("<META name=description content=\"") && description.endsWith("\">\r"));
        QCOMPARE(description.count('"'), 2);
        QByteArray& credit = lines.last();
        QVERIFY(credit.startsWith("</table><P align=right"));
        QVERIFY(credit.endsWith("</P></DIV></body></html>\r"));
        QVERIFY(credit.contains(" title=\"rennzeit\""));
        // A link only to the home page the build was given.
        if (protocol::kCreditLinkTarget.isEmpty())
            QVERIFY(!credit.contains("<A "));
        else
            QVERIFY(credit.contains(" href=\"" + protocol::kCreditLinkTarget.toLatin1() + '"'));
        comment = description = credit = kFree + '\r';

        QCOMPARE(lines.join('\n') + '\n', ReadFileBytes(TestDataPath("race.page.html")));
    }

    // The table's own columns after "*" change nothing while no entry has a
    // class or status.
    void tableWithoutClassesOrStatuses_givesThePageAsAlways()
    {
        TCellStore wide = raceTable();
        wide.SetColCount(protocol::kTableColCount);
        for (int c = protocol::kProtocolColCount; c < protocol::kTableColCount; ++c)
            wide.SetCell(c, 0, protocol::kTableHeaders[static_cast<size_t>(c)]);
        QCOMPARE(protocol::HtmlPageBytes(wide, kTitle, kClassOrder), protocol::HtmlPageBytes(raceTable(), kTitle));
    }

    void classes_eachUnderItsHeading_rankedFirstThenDnfDsqDns()
    {
        const QByteArray page = protocol::HtmlPageBytes(ClassRace(), kTitle, kClassOrder);
        QList<QByteArray> rows;
        for (const QByteArray& line : linesOf(page))
            if (line.startsWith("<tr><td>") || line.startsWith("<tr class=klasse>"))
                rows << line.chopped(1);
        QCOMPARE(rows,
            QList<QByteArray>({ "<tr class=klasse><th colspan=7 align=left bgcolor=#D6E3FF>Damen</tr>",
                "<tr><td>1<td>Anna<td>9:00.00.00<td>10.00<td>0.00<td>1<td>2</tr>",
                "<tr><td>6<td>Fred<td>9:00.40.00<td>11.00<td>0.40<td>2<td>3</tr>",
                "<tr><td>3<td>Cora<td>9:00.20.00<td><td>0.20<td>DNF<td></tr>",
                "<tr><td>5<td>Eva<td><td><td><td>DNS<td></tr>",
                "<tr class=klasse><th colspan=7 align=left bgcolor=#D6E3FF>Herren</tr>",
                "<tr><td>2<td>Bert<td>9:00.10.00<td>9.00<td>0.10<td>1<td>1</tr>",
                "<tr><td>4<td>Dirk<td>9:00.30.00<td>8.00<td>0.30<td>DSQ<td></tr>" }));
        QVERIFY(page.contains("<th width=8%>Gesamt\r\n"));
        QVERIFY(!page.contains("Klasse") && !page.contains(">Status"));
        // The table behind the page for printing: the same rows and headings.
        const protocol::PageTable table = protocol::PageTableOf(ClassRace(), kTitle, kClassOrder);
        QCOMPARE(table.header, QStringList({ "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "Gesamt" }));
        QCOMPARE(table.headings, QList<int>({ 0, 5 }));
        QCOMPARE(table.rows.value(5), QStringList({ "Herren" }));
        QCOMPARE(table.rows.value(7).value(5), QStringLiteral("DSQ"));

        // Statuses without classes: one list, ranked first, no heading and no
        // "Gesamt".
        TCellStore cells = ClassRace();
        for (int r = 1; r < cells.RowCount(); ++r)
            cells.SetCell(protocol::kColKlasse, r, QString());
        const QList<QByteArray> lines = dataLines(protocol::HtmlPageBytes(cells, kTitle));
        QCOMPARE(lines.size(), 6);
        QVERIFY(lines[0].startsWith("<tr><td>2<td>Bert"));
        QVERIFY(lines[3].endsWith("<td>DNF</tr>"));
        QVERIFY(lines[4].endsWith("<td>DSQ</tr>"));
        QVERIFY(lines[5].endsWith("<td>DNS</tr>"));
    }

    // A browser's parser finds nothing to repair in the page, with classes,
    // a race title and names full of markup: it has a document type and
    // every element it opens ends (cells and rows end where HTML lets the
    // next one end them).
    void page_isAValidHtml5Document_html5libReportsNoError()
    {
        TCellStore cells = ClassRace();
        cells.SetCell(protocol::kColName, 1, QStringLiteral("</DIV><b>\"Anna\" & 'Co'</table>"));
        cells.SetCell(protocol::kColKlasse, 2, QStringLiteral("Jugend' <U18>"));
        const QByteArray page = protocol::HtmlPageBytes(
            cells, kTitle, kClassOrder, { QStringLiteral("Lauf <1> & \"2\""), QDate(2027, 6, 14) });
        QVERIFY(page.startsWith("<!DOCTYPE html>\r\n<HTML>\r\n"));
        QCOMPARE(page.count("<DIV"), 1);
        QCOMPARE(page.count("</DIV>"), 1);
        QVERIFY(page.indexOf("</DIV>") > page.indexOf("</table>"));

        // Debian's own interpreter, the one its html5lib package serves.
        QString python = QStandardPaths::findExecutable(QStringLiteral("python3"), { QStringLiteral("/usr/bin") });
        if (python.isEmpty())
            python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            QSKIP("python3 is not installed (scripts/install-deps.sh --tests installs it with html5lib)");
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("seite.html"));
        QVERIFY(WriteFileBytes(file, page));
        QProcess parser;
        parser.start(python,
            { QStringLiteral("-c"),
                QStringLiteral("import sys\n"
                               "try:\n    import html5lib\nexcept ImportError:\n    sys.exit(3)\n"
                               "p = html5lib.HTMLParser(strict=False)\n"
                               "p.parse(open(sys.argv[1], 'rb'), transport_encoding='iso-8859-1')\n"
                               "for pos, code, data in p.errors:\n    print(pos, code, data)\n"
                               "sys.exit(1 if p.errors else 0)\n"),
                file });
        QVERIFY(parser.waitForFinished(30000));
        if (parser.exitCode() == 3)
            QSKIP("python3-html5lib is not installed (scripts/install-deps.sh --tests installs it)");
        QVERIFY2(parser.exitCode() == 0, parser.readAllStandardOutput().constData());
    }

    void creditLink_pointsAtTheHomePageGiven_noneWithoutOne()
    {
        const QByteArray linked
            = linesOf(protocol::HtmlPageBytes(raceTable(), kTitle, "https://rennzeit.invalid/a?b&c")).last();
        QCOMPARE(linked,
            QByteArray("</table><P align=right><A href=\"https://rennzeit.invalid/a?b&amp;c\" title=\"rennzeit\" "
                       "style=\"color:#2B4BA2\">Rennzeit</A></P></DIV></body></html>\r"));
        const QByteArray plain = linesOf(protocol::HtmlPageBytes(raceTable(), kTitle, QString())).last();
        QCOMPARE(plain, QByteArray("</table><P align=right title=\"rennzeit\">Rennzeit</P></DIV></body></html>\r"));
    }

    void dataLines_coverEveryRowUpToTheFreeRow()
    {
        const QList<QByteArray> lines = dataLines(protocol::HtmlPageBytes(raceTable(), kTitle));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.last(), QByteArray("<tr><td><td><td><td><td><td>-</tr>"));

        // Alt+D on a fresh table: one empty data line.
        QCOMPARE(dataLines(protocol::HtmlPageBytes(headerOnly(2), kTitle)),
            QList<QByteArray>({ "<tr><td><td><td><td><td><td></tr>" }));
    }

    void rowsParkedBeyondTheRowCount_areNotPublished()
    {
        TCellStore cells = raceTable();
        cells.SetRowCount(3);
        const QList<QByteArray> lines = dataLines(protocol::HtmlPageBytes(cells, kTitle));
        QCOMPARE(lines.size(), 2);
        QVERIFY(!protocol::HtmlPageBytes(cells, kTitle).contains("A&lt;B"));
    }

    void onlyTheFirstCommaOfATimeBecomesAPoint()
    {
        TCellStore cells = headerOnly(2);
        cells.SetRow(1, { "1,2", "Berg, Anna, Bea", ",", ",,", "1,2,3", "x,y" });
        QCOMPARE(dataLines(protocol::HtmlPageBytes(cells, kTitle)),
            QList<QByteArray>({ "<tr><td>1,2<td>Berg, Anna, Bea<td>.<td>.,<td>1.2,3<td>x,y</tr>" }));
    }

    void markupInCellsIsEscaped()
    {
        TCellStore cells = headerOnly(2);
        cells.SetCell(1, 0, "Name <&>");
        cells.SetRow(1, { "1", "<b>fett</b> & \"Co\"", "</table>" });
        const QByteArray page = protocol::HtmlPageBytes(cells, kTitle);
        QVERIFY(page.contains("<th width=40% nowrap>Name &lt;&amp;&gt;\r\n"));
        QCOMPARE(dataLines(page),
            QList<QByteArray>(
                { "<tr><td>1<td>&lt;b&gt;fett&lt;/b&gt; &amp; \"Co\"<td>&lt;/table&gt;<td><td><td></tr>" }));
        QCOMPARE(page.count("</table>"), 1);
    }

    void rawColumnIsNeverWritten()
    {
        const QByteArray page = protocol::HtmlPageBytes(raceTable(), kTitle);
        QVERIFY(!page.contains("65120"));
        QVERIFY(!page.contains("1234567"));
        QVERIFY(!page.contains("70000"));
        QVERIFY(!page.contains(">*"));
        QCOMPARE(page.count("<th "), 6);
        for (const QByteArray& line : dataLines(page))
            QCOMPARE(line.count("<td>"), 6);
    }

    void titleAppearsInTitleKeywordsAndLink()
    {
        const QByteArray page = protocol::HtmlPageBytes(headerOnly(2), QStringLiteral("Zeit \"Süd\""));
        QVERIFY(page.contains("<TITLE>Zeitenprotokoll Zeit &quot;S\xFC"
                              "d&quot;</TITLE>\r\n"));
        QVERIFY(page.contains("<META name=keywords content=\"Zeitenprotokoll Zeit &quot;S\xFC"
                              "d&quot;\">\r\n"));
        QVERIFY(page.contains(" title=\"Zeit &quot;S\xFC"
                              "d&quot;\""));
    }

    // With the race's title the page is named after the race and carries its
    // title and date on top; the credit still names the program, the table
    // is the same. Without one the page is byte for byte the program's own
    // (page_matchesTheExpectedFileLineForLine).
    void raceHeading_namesThePage_andHeadsIt()
    {
        const protocol::RaceHeading heading { QStringLiteral("Meisterschaft <Süd> & \"Nord\""), QDate(2027, 6, 14) };
        const QByteArray page = protocol::HtmlPageBytes(raceTable(), kTitle, QString(), {}, heading);
        QVERIFY(page.contains("<TITLE>Zeitenprotokoll Meisterschaft &lt;S\xFC"
                              "d&gt; &amp; &quot;Nord&quot;</TITLE>\r\n"));
        QVERIFY(page.contains("<META name=keywords content=\"Zeitenprotokoll Meisterschaft &lt;S\xFC"
                              "d&gt;"));
        QVERIFY(page.contains("<H1>Meisterschaft &lt;S\xFC"
                              "d&gt; &amp; \"Nord\"</H1>\r\n<H5>Ergebnisse vom 14.06.2027</H5>\r\n"));
        QVERIFY(!page.contains("<H5>Ergebnisse</H5>"));
        QCOMPARE(linesOf(page).last(),
            QByteArray("</table><P align=right title=\"rennzeit\">Rennzeit</P></DIV></body></html>\r"));
        QCOMPARE(dataLines(page), dataLines(protocol::HtmlPageBytes(raceTable(), kTitle)));
        QCOMPARE(
            protocol::HtmlPageBytes(raceTable(), kTitle, {}, protocol::RaceHeading { QString(), QDate(2027, 6, 14) }),
            protocol::HtmlPageBytes(raceTable(), kTitle));

        // The printout takes the race's title as its heading, the day under it.
        const protocol::PageTable table = protocol::PageTableOf(raceTable(), kTitle, {}, heading);
        QCOMPARE(table.heading, heading.title);
        QCOMPARE(table.title, QStringLiteral("Ergebnisse vom 14.06.2027"));
        const protocol::PageTable plain = protocol::PageTableOf(raceTable(), kTitle);
        QCOMPARE(plain.heading, QStringLiteral("Ergebnisse"));
        QCOMPARE(plain.title, QStringLiteral("Zeitenprotokoll rennzeit"));
        QCOMPARE(table.rows, plain.rows);
    }

    void writer_createsOrTruncatesTheFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("page.html");
        QVERIFY(WriteFileBytes(file, QByteArray(100000, 'x')));
        QVERIFY(protocol::WriteHtmlPage(raceTable(), file, kTitle));
        QCOMPARE(ReadFileBytes(file), protocol::HtmlPageBytes(raceTable(), kTitle));
    }

    void writer_reportsAFileItCannotCreate()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("missing/page.html");
        QString reason;
        QVERIFY(!protocol::WriteHtmlPage(raceTable(), file, kTitle, &reason));
        QVERIFY(!reason.isEmpty());
        QVERIFY(!QFile::exists(file));
    }

    void publish_writesTheTitledPageAndHandsItToTheShell()
    {
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        platform::RecordingShell shell;
        platform::SetShell(&shell);

        QCOMPARE(protocol::HtmlPageFileName(kTitle), QStringLiteral("rennzeit.html"));
        protocol::PublishHtmlPage(raceTable(), kTitle, 0);
        QCOMPARE(ReadFileBytes(dir.filePath("rennzeit.html")), protocol::HtmlPageBytes(raceTable(), kTitle));
        protocol::PublishHtmlPage(headerOnly(2), kTitle, 1);
        QCOMPARE(ReadFileBytes(dir.filePath("rennzeit.html")), protocol::HtmlPageBytes(headerOnly(2), kTitle));
        protocol::PublishHtmlPage(raceTable(), kTitle, 2);
        QCOMPARE(shell.calls, QStringList({ "open rennzeit.html", "print rennzeit.html" }));

        // A page that could not be written is not handed on.
        QVERIFY(QDir(dir.path()).mkpath("alt/rennzeit.html")); // a folder blocks the name
        QString reason;
        QCOMPARE(protocol::PublishHtmlPage(raceTable(), QStringLiteral("alt/rennzeit"), 1, &reason),
            protocol::PublishResult::NotWritten);
        QVERIFY(!reason.isEmpty());
        QCOMPARE(shell.calls.size(), 2);

        // A failed print is told with the printer's reason.
        shell.printFailure = QStringLiteral("Drucker aus");
        QCOMPARE(protocol::PublishHtmlPage(raceTable(), kTitle, 1, &reason), protocol::PublishResult::NotPrinted);
        QCOMPARE(reason, QStringLiteral("Drucker aus"));
        QCOMPARE(protocol::PublishHtmlPage(raceTable(), kTitle, 0, &reason), protocol::PublishResult::Done);

        platform::SetShell(nullptr);
        QVERIFY(QDir::setCurrent(previous));
    }
};

QTEST_GUILESS_MAIN(TestHtmlPage)
#include "tst_htmlpage.moc"
