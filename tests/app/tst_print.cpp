// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ClubRace.h"

#include "app/Printing.h"
#include "controls/Dialogs.h"
#include "gridstore/CellStore.h"
#include "protocol/HtmlPage.h"
#include "support/PdfWords.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

// Prints through a real print queue: CTest's fixture starts a private CUPS
// server whose default printer writes PDF files (scripts/cups-test-server.sh)
// and points CUPS_SERVER at it.
namespace {

TCellStore raceTable()
{
    TCellStore cells(7, 4);
    cells.SetRow(0, { "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "*" });
    cells.SetRow(1, { "3", "Berg", "10:05.03,12", "1.05,12", "0,00", "1", "65120" });
    cells.SetRow(2, { "7", QStringLiteral("Jörg Müller"), "10:05.20,40", "7,74", "0.17,28", "2", "1234567" });
    cells.SetRow(3, { "", "", "", "", "", "-", "" });
    return cells;
}

QString pdfText(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), { QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-") });
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The words of the next PDF the queue writes (a name not in `before`), once
// the file is complete enough to read the page numbers on its last page.
QList<PdfPage> nextPrintedPdf(const QDir& pdfDir, const QStringList& before, QString* name)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 180000) {
        for (const QString& pdf : pdfDir.entryList({ "*.pdf" }, QDir::Files)) {
            if (before.contains(pdf))
                continue;
            const QList<PdfPage> pages = ReadPdfWords(pdfDir.filePath(pdf));
            if (!pages.isEmpty() && !pages.last().Find(QStringLiteral("Seite")).isEmpty()) {
                *name = pdf;
                return pages;
            }
        }
        QTest::qWait(250);
    }
    return {};
}

} // namespace

class TestPrint : public QObject {
    Q_OBJECT
private:
    QString m_pdfDir;

private slots:
    void initTestCase()
    {
        dialogs::SetTestMode(true);
        const QString cupsDir = qEnvironmentVariable("RENNZEIT_CUPS_DIR");
        if (cupsDir.isEmpty())
            QSKIP("run through ctest: its fixture starts the private print server");
        QFile unavailable(cupsDir + QStringLiteral("/unavailable"));
        if (unavailable.open(QIODevice::ReadOnly))
            QSKIP(qPrintable(
                QStringLiteral("no private print server: ") + QString::fromUtf8(unavailable.readAll()).trimmed()));
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
            "pdftotext is missing (Debian package poppler-utils)");
        m_pdfDir = cupsDir + QStringLiteral("/pdf");
    }

    void defaultPrinter_isThePrivatePdfQueue()
    {
        QTRY_VERIFY(SystemPrinterPresence().HasPrinter()); // answered in the background
        QCOMPARE(QPrinterInfo::defaultPrinterName(), QStringLiteral("RennzeitPDF"));
    }

    void printedPage_comesOutAsPdfWithTheResults()
    {
        QDir pdfDir(m_pdfDir);
        for (const QString& old : pdfDir.entryList({ "*.pdf" }, QDir::Files))
            QVERIFY(pdfDir.remove(old));

        // Written with the race's title, as the window writes it once the
        // settings name the race.
        const QString page = QDir::current().filePath(protocol::HtmlPageFileName("rennzeit"));
        const protocol::RaceHeading heading { QStringLiteral("Stadtmeisterschaft Ülm 2027"), QDate(2027, 6, 14) };
        QVERIFY(protocol::WriteHtmlPage(raceTable(), page, QStringLiteral("rennzeit"), nullptr, {}, heading));
        QVERIFY(PrintHtmlFile(page));

        // The queue converts the job and writes the PDF some time later.
        QString text;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 180000) {
            const QStringList pdfs = pdfDir.entryList({ "*.pdf" }, QDir::Files);
            if (!pdfs.isEmpty()) {
                text = pdfText(pdfDir.filePath(pdfs.first()));
                if (text.contains(QLatin1String("Ergebnisse")))
                    break;
            }
            QTest::qWait(250);
        }
        QVERIFY2(text.contains(QLatin1String("Ergebnisse")), "no printed page arrived within three minutes");
        QVERIFY2(text.contains(QLatin1String("Berg")), qPrintable(text));
        // The page is Latin-1; a wrong decoding would garble the umlauts.
        QVERIFY2(text.contains(QStringLiteral("Jörg Müller")), qPrintable(text));
        // Printed from the table: its decimal commas, not the page's points.
        QVERIFY2(text.contains(QLatin1String("10:05.03,12")), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("1.05,12")), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("7,74")), qPrintable(text));
        QVERIFY2(!text.contains(QLatin1String("65120")), qPrintable(text));
        QVERIFY2(text.contains(heading.title), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("Ergebnisse vom 14.06.2027")), qPrintable(text));
        QVERIFY2(!text.contains(QLatin1String("Zeitenprotokoll")), qPrintable(text));
    }

    // What the club pins on the wall: the data at 10 pt or more (measured on
    // the PDF the queue made, so any scaling on the way counts), the header
    // on every page, the title and date on top and page numbers below.
    void clubRace_isPrintedReadably()
    {
        const QDir pdfDir(m_pdfDir);
        const QStringList before = pdfDir.entryList({ "*.pdf" }, QDir::Files);
        const QString page = QDir::current().filePath(QStringLiteral("club.html"));
        QVERIFY(protocol::WriteHtmlPage(ClubRace(), page, QStringLiteral("rennzeit")));
        QString reason;
        QVERIFY2(PrintHtmlFile(page, &reason), qPrintable(reason));

        QString pdf;
        const QList<PdfPage> pages = nextPrintedPdf(pdfDir, before, &pdf);
        QVERIFY2(!pages.isEmpty(), "no printed results arrived within three minutes");
        const QString keep = qEnvironmentVariable("RENNZEIT_SCREENSHOT_DIR");
        if (!keep.isEmpty() && QDir().mkpath(keep)) {
            QFile::remove(QDir(keep).filePath(QStringLiteral("results-queue.pdf")));
            QFile::copy(pdfDir.filePath(pdf), QDir(keep).filePath(QStringLiteral("results-queue.pdf")));
        }

        QCOMPARE(pages.size(), 2);
        int entries = 0;
        for (int p = 0; p < pages.size(); ++p) {
            const PdfPage& sheet = pages[p];
            QVERIFY(sheet.HasLine(QStringLiteral("Ergebnisse Stand:")));
            QVERIFY(sheet.HasLine(QStringLiteral("Zeitenprotokoll rennzeit")));
            QVERIFY(sheet.HasLine(QStringLiteral("Nr. Name Start Zeit Split Platz")));
            QVERIFY(sheet.HasLine(QStringLiteral("Seite %1 von 2").arg(p + 1)));
            for (const PdfWord& word : sheet.words) {
                // The start times, one per entry; their box is the font's height.
                // (The page's "Stand" time of day is no start, even between 10 and 11.)
                static const QRegularExpression startTime(QStringLiteral("^10:\\d\\d\\.\\d\\d,\\d\\d$"));
                if (!startTime.match(word.text).hasMatch())
                    continue;
                ++entries;
                QVERIFY2(word.box.height() >= 9.0,
                    qPrintable(QStringLiteral("%1 printed %2 pt high").arg(word.text).arg(word.box.height())));
            }
            // The table reaches across the page: the places end at the right margin.
            const QList<PdfWord> platz = sheet.Find(QStringLiteral("Platz"));
            QCOMPARE(platz.size(), 1);
            QVERIFY2(
                platz[0].box.right() > sheet.size.width() * 0.85, qPrintable(QString::number(platz[0].box.right())));
        }
        QCOMPARE(entries, 40);
        // The long name wraps between its words; each word comes out whole.
        for (const char* word : { "Maximiliane", "Wilhelmine", "Lauffen", "Neckar" })
            QVERIFY2(pages[0].Find(QLatin1String(word)).size() == 1, word);
        QVERIFY(pages[0].HasLine(QStringLiteral("107 Berg, Anna 10:03.30,01 1.02,60 3.30,00 1")));
    }

    void missingFile_isNotPrinted()
    {
        QString reason;
        QVERIFY(!PrintHtmlFile(QDir::current().filePath("no-such-page.html"), &reason));
        QVERIFY(!reason.isEmpty());
    }
};

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
