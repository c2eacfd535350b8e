// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ClubRace.h"

#include "app/ResultsPrint.h"
#include "protocol/HtmlPage.h"
#include "support/PdfWords.h"

#include <QGuiApplication>
#include <QPdfWriter>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

// The printed protocol as the layout draws it into a PDF file, read back
// word by word. The same layout goes to the printer (tst_print).
namespace {

// What the print command prints: the table behind the page it wrote.
PrintedResults clubResults()
{
    return ResultsOfTable(protocol::PageTableOf(ClubRace(), QStringLiteral("rennzeit")));
}

// A page written elsewhere is read back from its HTML.
PrintedResults clubPageRead()
{
    const QByteArray page = protocol::HtmlPageBytes(ClubRace(), QStringLiteral("rennzeit"));
    return ReadResultsPage(QStringDecoder(QStringDecoder::Latin1).decode(page));
}

// The printed results on A4 with 15 mm margins, as PDF pages.
QList<PdfPage> printed(const PrintedResults& results, const QString& pdf, int* pageCount = nullptr)
{
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(600);
        const int pages = PaintResults(writer, results, QDateTime(QDate(2025, 5, 17), QTime(14, 3)));
        if (pageCount)
            *pageCount = pages;
    }
    QString error;
    const QList<PdfPage> pages = ReadPdfWords(pdf, &error);
    if (pages.isEmpty())
        qWarning("%s", qPrintable(error));
    return pages;
}

} // namespace

class TestResultsPrint : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void table_isPrintedInItsOwnTexts()
    {
        const PrintedResults results = clubResults();
        QCOMPARE(results.heading, QStringLiteral("Ergebnisse"));
        QCOMPARE(results.title, QStringLiteral("Zeitenprotokoll rennzeit"));
        QCOMPARE(results.header, (QStringList { "Nr.", "Name", "Start", "Zeit", "Split", "Platz" }));
        QCOMPARE(results.rows.size(), 40);
        QCOMPARE(results.rows[0], (QStringList { "107", "Berg, Anna", "10:03.30,01", "1.02,60", "3.30,00", "1" }));
    }

    void page_isReadBackAsItsTable()
    {
        const PrintedResults results = clubPageRead();
        QCOMPARE(results.heading, QStringLiteral("Ergebnisse"));
        QCOMPARE(results.title, QStringLiteral("Zeitenprotokoll rennzeit"));
        QCOMPARE(results.header, (QStringList { "Nr.", "Name", "Start", "Zeit", "Split", "Platz" }));
        // The free row at the end shows nothing but its "-" and is left out.
        QCOMPARE(results.rows.size(), 40);
        QCOMPARE(results.rows[0], (QStringList { "107", "Berg, Anna", "10:03.30.01", "1.02.60", "3.30.00", "1" }));
        QCOMPARE(results.rows[3][1], QStringLiteral("A<B & C"));
        QCOMPARE(results.rows[1][1], QStringLiteral("Jörg Müller"));
    }

    void clubRace_readsLikeAResultsList()
    {
        int pageCount = 0;
        const QString pdf = m_dir.filePath("club.pdf");
        const QList<PdfPage> pages = printed(clubResults(), pdf, &pageCount);
        const QString keep = qEnvironmentVariable("RENNZEIT_SCREENSHOT_DIR");
        if (!keep.isEmpty() && QDir().mkpath(keep)) {
            QFile::remove(QDir(keep).filePath(QStringLiteral("results-print.pdf")));
            QFile::copy(pdf, QDir(keep).filePath(QStringLiteral("results-print.pdf")));
        }
        QCOMPARE(pages.size(), 2);
        QCOMPARE(pageCount, 2);
        for (int p = 0; p < pages.size(); ++p) {
            const PdfPage& page = pages[p];
            // Heading, title and date on top, the page number at the bottom.
            QVERIFY(page.HasLine(QStringLiteral("Ergebnisse Stand: 17.05.2025, 14:03 Uhr")));
            QVERIFY(page.HasLine(QStringLiteral("Zeitenprotokoll rennzeit")));
            const QList<PdfWord> seite = page.Find(QStringLiteral("Seite"));
            QCOMPARE(seite.size(), 1);
            QCOMPARE(page.LineOf(seite[0]), QStringLiteral("Seite %1 von 2").arg(p + 1));
            QVERIFY(seite[0].box.top() > page.size.height() * 0.9);
            // The header row on every page, the table across the page.
            const QList<PdfWord> platz = page.Find(QStringLiteral("Platz"));
            QCOMPARE(platz.size(), 1);
            QCOMPARE(page.LineOf(platz[0]), QStringLiteral("Nr. Name Start Zeit Split Platz"));
            const qreal rightMargin = page.size.width() - 15 / 25.4 * 72;
            QVERIFY2(platz[0].box.right() > rightMargin - 12 && platz[0].box.right() <= rightMargin,
                qPrintable(QString::number(platz[0].box.right())));
        }
        // Every entry once, in a size to read from a step away.
        const QList<PdfWord> first = pages[0].Find(QStringLiteral("Anna"));
        QCOMPARE(first.size(), 1);
        QCOMPARE(pages[0].LineOf(first[0]), QStringLiteral("107 Berg, Anna 10:03.30,01 1.02,60 3.30,00 1"));
        int entries = 0;
        for (const PdfPage& page : pages) {
            for (const PdfWord& word : page.words) {
                if (word.text.startsWith(QLatin1String("10:"))) {
                    ++entries;
                    QVERIFY2(word.box.height() >= 10, qPrintable(QString::number(word.box.height())));
                }
            }
        }
        QCOMPARE(entries, 40);
        // The long name wraps between its words instead of running into the
        // next column or breaking a word.
        QVERIFY(!pages[0].HasLine(QStringLiteral("Neckar 10:")));
        for (const char* word : { "Maximiliane", "Wilhelmine", "Lauffen", "Neckar" })
            QVERIFY2(pages[0].Find(QLatin1String(word)).size() == 1, word);
    }

    // A race's title heads every page, its day under it; a title too long for
    // one line wraps clear of the date and pushes the table down.
    void raceTitle_headsEveryPage_aLongOneWraps()
    {
        const protocol::RaceHeading heading { QStringLiteral("Vereinsmeisterschaft Slalom 2027"), QDate(2027, 6, 14) };
        const PrintedResults results
            = ResultsOfTable(protocol::PageTableOf(ClubRace(), QStringLiteral("rennzeit"), {}, heading));
        QCOMPARE(results.heading, heading.title);
        const QList<PdfPage> pages = printed(results, m_dir.filePath("titled.pdf"));
        QCOMPARE(pages.size(), 2);
        for (const PdfPage& page : pages) {
            QVERIFY(page.HasLine(QStringLiteral("Vereinsmeisterschaft Slalom 2027 Stand: 17.05.2025, 14:03 Uhr")));
            QVERIFY(page.HasLine(QStringLiteral("Ergebnisse vom 14.06.2027")));
            QVERIFY(!page.HasLine(QStringLiteral("Zeitenprotokoll rennzeit")));
        }

        const protocol::RaceHeading longOne { QStringLiteral("Offene Vereinsmeisterschaft im Riesenslalom der "
                                                             "Skiabteilung mit Gästen aus den Nachbarvereinen 2027"),
            QDate(2027, 6, 14) };
        const QList<PdfPage> wrapped
            = printed(ResultsOfTable(protocol::PageTableOf(ClubRace(), QStringLiteral("rennzeit"), {}, longOne)),
                m_dir.filePath("long.pdf"));
        QVERIFY(!wrapped.isEmpty());
        const QList<PdfWord> stand = wrapped[0].Find(QStringLiteral("Stand:"));
        QCOMPARE(stand.size(), 1);
        for (const QString& word : longOne.title.split(QLatin1Char(' '))) {
            const QList<PdfWord> found = wrapped[0].Find(word);
            QVERIFY2(found.size() == 1, qPrintable(word));
            QVERIFY2(found[0].box.right() < stand[0].box.left() || found[0].box.top() > stand[0].box.bottom(),
                qPrintable(word));
        }
        const QList<PdfWord> day = wrapped[0].Find(QStringLiteral("14.06.2027"));
        const QList<PdfWord> last = wrapped[0].Find(QStringLiteral("2027"));
        QCOMPARE(day.size(), 1);
        QCOMPARE(last.size(), 1);
        QVERIFY(day[0].box.top() > last[0].box.bottom()); // the day under the whole title
        const QList<PdfWord> platz = wrapped[0].Find(QStringLiteral("Platz"));
        QCOMPARE(platz.size(), 1);
        QVERIFY(platz[0].box.top() > day[0].box.bottom());
    }

    // Only a word longer than its column is broken inside, and it stays in
    // the column.
    void overlongWord_breaksInsideItsColumn()
    {
        TCellStore cells = ClubRace();
        const QString word = QString(60, QLatin1Char('Q'));
        cells.SetCell(1, 1, QStringLiteral("Kurz ") + word);
        const QList<PdfPage> pages = printed(
            ResultsOfTable(protocol::PageTableOf(cells, QStringLiteral("rennzeit"))), m_dir.filePath("w.pdf"));
        QVERIFY(!pages.isEmpty());
        QCOMPARE(pages[0].Find(QStringLiteral("Kurz")).size(), 1);
        const QList<PdfWord> start = pages[0].Find(QStringLiteral("10:03.30,01"));
        QCOMPARE(start.size(), 1);
        QString pieces;
        for (const PdfWord& w : pages[0].words) {
            if (w.text.startsWith(QLatin1Char('Q'))) {
                pieces += w.text;
                QVERIFY(w.box.right() <= start[0].box.left());
            }
        }
        QCOMPARE(pieces, word);
        QVERIFY(pages[0].Find(word).isEmpty()); // it did not fit one line
    }

    // With classes each class is printed under its heading, the ranked
    // entries first and DNF, DSQ, DNS below; a page never ends on a heading.
    void classes_printedUnderTheirHeadings_aHeadingGoesWithItsFirstRow()
    {
        const PrintedResults results = ResultsOfTable(protocol::PageTableOf(ClassRace(), "rennzeit", kClassOrder));
        const PrintedResults read = ReadResultsPage(
            QStringDecoder(QStringDecoder::Latin1)
                .decode(protocol::HtmlPageBytes(ClassRace(), QStringLiteral("rennzeit"), kClassOrder)));
        QCOMPARE(read.headings, results.headings);
        QCOMPARE(read.rows.value(results.headings.value(1)), QStringList({ "Herren" }));
        const QList<PdfPage> one = printed(results, m_dir.filePath("classes.pdf"));
        QCOMPARE(one.size(), 1);
        qreal above = -1;
        for (const char* word : { "Damen", "Anna", "Fred", "Cora", "Eva", "Herren", "Bert", "Dirk" }) {
            const QList<PdfWord> found = one[0].Find(QLatin1String(word));
            QVERIFY2(found.size() == 1, word);
            QVERIFY2(found[0].box.top() > above, word);
            above = found[0].box.top();
        }
        QVERIFY(one[0].HasLine(QStringLiteral("Nr. Name Start Zeit Split Platz Gesamt")));
        QVERIFY(one[0].HasLine(QStringLiteral("Damen")));

        // Classes of one to four entries over several pages, the first class
        // shorter by `shift`, so that headings fall on every line of a page.
        for (const int size : { 1, 2, 3, 4 }) {
            for (int shift = 0; shift < size; ++shift) {
                TCellStore cells = ClubRace();
                cells.SetColCount(protocol::kTableColCount);
                cells.SetCell(protocol::kColKlasse, 0, QStringLiteral("Klasse"));
                for (int r = 1; r + 1 < cells.RowCount(); ++r)
                    cells.SetCell(protocol::kColKlasse, r, QStringLiteral("K%1").arg((r - 1 + shift) / size + 1));
                const QList<PdfPage> pages = printed(ResultsOfTable(protocol::PageTableOf(cells, "rennzeit")),
                    m_dir.filePath(QStringLiteral("classes%1-%2.pdf").arg(size).arg(shift)));
                QVERIFY(pages.size() >= 2);
                int headings = 0;
                for (const PdfPage& page : pages) {
                    for (const PdfWord& h : page.words) {
                        if (!QRegularExpression(QStringLiteral("^K\\d+$")).match(h.text).hasMatch())
                            continue;
                        ++headings;
                        bool rowBelow = false;
                        for (const PdfWord& w : page.words)
                            rowBelow
                                |= w.box.top() > h.box.bottom() && !page.LineOf(w).startsWith(QLatin1String("Seite"));
                        QVERIFY2(rowBelow,
                            qPrintable(QStringLiteral("%1 ends a page (classes of %2)").arg(h.text).arg(size)));
                    }
                }
                QCOMPARE(headings, (40 + shift + size - 1) / size);
            }
        }
    }

    void emptyTable_printsTheHeaderAlone()
    {
        TCellStore cells(7, 2);
        for (int c = 0; c < 7; ++c)
            cells.SetCell(c, 0, protocol::kProtocolHeaders[static_cast<size_t>(c)]);
        const QByteArray page = protocol::HtmlPageBytes(cells, QStringLiteral("rennzeit"));
        const PrintedResults results = ReadResultsPage(QStringDecoder(QStringDecoder::Latin1).decode(page));
        QVERIFY(results.rows.isEmpty());
        const QList<PdfPage> pages = printed(results, m_dir.filePath("empty.pdf"));
        QCOMPARE(pages.size(), 1);
        QVERIFY(pages[0].HasLine(QStringLiteral("Nr. Name Start Zeit Split Platz")));
        QVERIFY(pages[0].HasLine(QStringLiteral("Seite 1 von 1")));
    }
};

QTEST_MAIN(TestResultsPrint)
#include "tst_resultsprint.moc"
