// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/ClubRace.h"
#include "gridstore/CellStore.h"
#include "gridstore/GridCommaText.h"
#include "platform/SystemError.h"
#include "protocol/Columns.h"
#include "protocol/Excel.h"
#include "protocol/ExcelExport.h"
#include "protocol/ExportText.h"
#include "protocol/SaveFilter.h"
#include "protocol/SheetName.h"
#include "protocol/WordExport.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include "ZipEntry.h"

#include <zip.h>

#include <cerrno>

namespace {

// A sheet as a reader of the workbook finds it: cell references ("B2") with
// their values (QString for texts, double for numbers), the number format
// code of each numeric cell ("General" when it has none) and the column
// widths by column number.
struct Sheet {
    QMap<QString, QVariant> cells;
    QMap<QString, QString> formats;
    QMap<int, double> widths;
    bool valid = false;
};

// The number format code of each cell style (xf) of the workbook.
QStringList styleFormats(const QByteArray& xml)
{
    QMap<int, QString> codes { { 0, QStringLiteral("General") } };
    QStringList styles;
    bool inCellXfs = false;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("numFmt"))
            codes[reader.attributes().value("numFmtId").toInt()] = reader.attributes().value("formatCode").toString();
        else if (reader.isStartElement() && reader.name() == QLatin1String("cellXfs"))
            inCellXfs = true;
        else if (reader.isEndElement() && reader.name() == QLatin1String("cellXfs"))
            inCellXfs = false;
        else if (inCellXfs && reader.isStartElement() && reader.name() == QLatin1String("xf"))
            styles << codes.value(reader.attributes().value("numFmtId").toInt(), QStringLiteral("?"));
    }
    return styles;
}

// The names of the workbook's sheets, in their order.
QStringList sheetNames(const QString& workbook)
{
    QStringList names;
    QXmlStreamReader reader(ReadZipEntry(workbook, "xl/workbook.xml"));
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("sheet"))
            names << reader.attributes().value("name").toString();
    }
    return names;
}

Sheet readSheet(const QString& workbook, int number = 1)
{
    const QStringList strings = XlsxSharedStrings(ReadZipEntry(workbook, "xl/sharedStrings.xml"));
    const QStringList styles = styleFormats(ReadZipEntry(workbook, "xl/styles.xml"));
    Sheet sheet;
    QXmlStreamReader reader(ReadZipEntry(workbook, QStringLiteral("xl/worksheets/sheet%1.xml").arg(number)));
    QString ref;
    QString type;
    int style = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        const auto attrs = reader.attributes();
        if (reader.name() == QLatin1String("col")) {
            for (int c = attrs.value("min").toInt(); c <= attrs.value("max").toInt(); ++c)
                sheet.widths[c] = attrs.value("width").toDouble();
        } else if (reader.name() == QLatin1String("c")) {
            ref = attrs.value("r").toString();
            type = attrs.value("t").toString();
            style = attrs.value("s").toInt();
        } else if (reader.name() == QLatin1String("v")) {
            const QString v = reader.readElementText();
            sheet.cells[ref] = type == "s" ? QVariant(strings.value(v.toInt())) : QVariant(v.toDouble());
            if (type != "s")
                sheet.formats[ref] = styles.value(style, QStringLiteral("?"));
        }
    }
    sheet.valid = !reader.hasError() && !strings.contains("XML error");
    return sheet;
}

TCellStore protocolTable()
{
    TCellStore cells(7, 4);
    cells.SetRow(0, { "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "*" });
    cells.SetRow(1, { "7", QStringLiteral("Jürgen & Söhne <GmbH>"), "9:05.12,30", "9,87", "0,00", "1", "9870" });
    cells.SetRow(2, { "12", QStringLiteral("Größ"), "9:05.14,00", "1.05,12", "12,34", "2", "65120" });
    cells.SetRow(3, { "", "", "", "", "", "-", "" });
    return cells;
}

double days(qint64 ms)
{
    return static_cast<double>(ms) / 86400000.0;
}

} // namespace

class TestExcelExport : public QObject {
    Q_OBJECT
private:
    platform::RecordingShell m_shell;
    QTemporaryDir m_tmp;

    QString openedWorkbook() const
    {
        if (m_shell.calls.size() != 1 || !m_shell.calls.first().startsWith("open "))
            return {};
        return m_shell.calls.first().mid(5);
    }

private slots:
    void init()
    {
        QVERIFY(m_tmp.isValid());
        QVERIFY(UseDocumentsFolder(m_tmp.path()));
        platform::SetShell(&m_shell);
        m_shell.calls.clear();
    }
    void cleanup()
    {
        platform::SetShell(nullptr);
        QVERIFY(UseDocumentsFolder(QString()));
    }

    void delimitedText_isSplitLikeAStringList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("quoted") << "\"a\",\"b c\",\"\"" << QStringList { "a", "b c", "" };
        QTest::newRow("blanks separate plain items") << "a b,c" << QStringList { "a", "b", "c" };
        QTest::newRow("doubled quote") << "\"x\"\"y\",z" << QStringList { "x\"y", "z" };
        QTest::newRow("delimiter at the end") << "a," << QStringList { "a", "" };
        QTest::newRow("quote never closed") << "\"offen, bleibt" << QStringList { "offen, bleibt" };
        QTest::newRow("blanks around items") << "  \"a\" , \"b\"  " << QStringList { "a", "b" };
        QTest::newRow("empty") << "" << QStringList {};
        QTest::newRow("empty items between delimiters") << "a,,b" << QStringList { "a", "", "b" };
    }
    void delimitedText_isSplitLikeAStringList()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, items);
        QCOMPARE(SplitDelimitedText(text, ',', '"'), items);
    }

    void numberReading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        QTest::newRow("9.87") << "9.87" << true << 9.87;
        QTest::newRow("0.00") << "0.00" << true << 0.0;
        QTest::newRow("leading zeros") << "007" << true << 7.0;
        QTest::newRow("point first") << ".5" << true << 0.5;
        QTest::newRow("12,34") << "12,34" << false << 0.0;
        QTest::newRow("1.05,12") << "1.05,12" << false << 0.0;
        QTest::newRow("two points") << "1.2.3" << false << 0.0;
        QTest::newRow("dash") << "-" << false << 0.0;
        QTest::newRow("sign") << "-5" << false << 0.0;
        QTest::newRow("exponent") << "1e5" << false << 0.0;
        QTest::newRow("blank") << " 5" << false << 0.0;
        QTest::newRow("point only") << "." << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("other digits") << QStringLiteral("١٢") << false << 0.0;
        QTest::newRow("16 digits") << "1234567890123456" << false << 0.0;
        QTest::newRow("15 digits") << "123456789012345" << true << 123456789012345.0;
    }
    void numberReading()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(double, value);
        double read = -1;
        QCOMPARE(TExcel::ReadsAsNumber(text, &read), isNumber);
        if (isNumber)
            QCOMPARE(read, value);
    }

    void export_fillsTheSheet_withTypedCells()
    {
        QVERIFY(protocol::ExcelExport(protocolTable()));
        const QString workbook = openedWorkbook();
        QVERIFY2(workbook.startsWith(m_tmp.path() + "/Rennzeit/"), qPrintable(m_shell.calls.join('|')));
        QVERIFY(workbook.endsWith(".xlsx"));
        const Sheet sheet = readSheet(workbook);
        QVERIFY(sheet.valid);

        const QStringList header { "Nr.", "Name", "Start", "Zeit", "Split", "Platz" };
        for (int c = 0; c < header.size(); ++c)
            QCOMPARE(sheet.cells.value(QString(QChar('A' + c)) + "1"), QVariant(header[c]));
        QVERIFY(!sheet.cells.contains("G1"));

        QCOMPARE(sheet.cells.value("A2"), QVariant(7.0));
        QCOMPARE(sheet.formats.value("A2"), QStringLiteral("General"));
        QCOMPARE(sheet.cells.value("B2"), QVariant(QStringLiteral("Jürgen & Söhne <GmbH>")));
        // The time of day and the run times as the table shows them.
        QCOMPARE(sheet.cells.value("C2").toDouble(), days(((9 * 60 + 5) * 60 + 12) * 1000 + 300));
        QCOMPARE(sheet.formats.value("C2"), QStringLiteral("h:mm:ss.00"));
        QCOMPARE(sheet.cells.value("D2").toDouble(), days(9870));
        QCOMPARE(sheet.formats.value("D2"), QStringLiteral("mm:ss.00"));
        QCOMPARE(sheet.cells.value("E2").toDouble(), 0.0);
        QCOMPARE(sheet.cells.value("F2"), QVariant(1.0));
        QCOMPARE(sheet.cells.value("B3"), QVariant(QStringLiteral("Größ")));
        QCOMPARE(sheet.cells.value("D3").toDouble(), days(65120));
        QCOMPARE(sheet.cells.value("E3").toDouble(), days(12340));
        // The trailing free row stays out: its "Nr." is empty.
        QCOMPARE(sheet.cells.size(), 18);
        // Titled with the date of the race when the caller gives no title.
        QVERIFY(ReadZipEntry(workbook, "docProps/core.xml")
                    .contains("<dc:title>" + protocol::DocumentTitle(QString(), QDate::currentDate()).toUtf8()));

        // Every used column is fitted to its longest text.
        QCOMPARE(sheet.widths.keys(), (QList<int> { 1, 2, 3, 4, 5, 6 }));
        QVERIFY(sheet.widths[2] >= QStringLiteral("Jürgen & Söhne <GmbH>").size());
        QVERIFY(sheet.widths[3] >= QStringLiteral("9:05:12,30").size());
        QVERIFY(sheet.widths[1] >= 3 && sheet.widths[1] < sheet.widths[3]);
        QVERIFY(sheet.widths[3] < sheet.widths[2]);
    }

    void export_byClass_theOverallSheetThenOneSheetPerClass()
    {
        QVERIFY(protocol::ExcelExport(ClassRace(), nullptr, nullptr, QString(), kClassOrder));
        const QString workbook = openedWorkbook();
        QCOMPARE(sheetNames(workbook), QStringList({ "Gesamt", "Damen", "Herren" }));
        const auto column = [](const Sheet& sheet, QChar col, int rows) {
            QList<QVariant> values;
            for (int r = 1; r <= rows + 1; ++r)
                values << sheet.cells.value(col + QString::number(r));
            return values;
        };
        // Overall: by the overall place, with the class; the statuses below.
        const Sheet overall = readSheet(workbook, 1);
        QCOMPARE(column(overall, 'B', 6), QList<QVariant>({ "Name", "Bert", "Anna", "Fred", "Cora", "Dirk", "Eva" }));
        QCOMPARE(column(overall, 'C', 6),
            QList<QVariant>({ "Klasse", "Herren", "Damen", "Damen", "Damen", "Herren", "Damen" }));
        QCOMPARE(column(overall, 'G', 6), QList<QVariant>({ "Platz", 1.0, 1.0, 2.0, "DNF", "DSQ", "DNS" }));
        QCOMPARE(column(overall, 'H', 6), QList<QVariant>({ "Gesamt", 1.0, 2.0, 3.0, {}, {}, {} }));
        QCOMPARE(overall.cells.value("E6").toDouble(), days(8000)); // the disqualified time stays
        // Each class: ranked by class place, then DNF, DSQ, DNS.
        const Sheet damen = readSheet(workbook, 2);
        QCOMPARE(column(damen, 'B', 4), QList<QVariant>({ "Name", "Anna", "Fred", "Cora", "Eva" }));
        QCOMPARE(column(damen, 'G', 4), QList<QVariant>({ "Gesamt", 2.0, 3.0, {}, {} }));
        QVERIFY(!damen.cells.contains("H1"));
        const Sheet herren = readSheet(workbook, 3);
        QCOMPARE(column(herren, 'B', 2), QList<QVariant>({ "Name", "Bert", "Dirk" }));
        QCOMPARE(column(herren, 'F', 2), QList<QVariant>({ "Platz", 1.0, "DSQ" }));
    }

    void sheetName_isOneTheWriterTakes_data()
    {
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("name");
        const QString emoji = QString::fromUtf8("\xF0\x9F\x8F\x83"); // two UTF-16 units
        const QString base29 = QString(29, QLatin1Char('K'));
        QTest::newRow("trailing apostrophe") << "Jugend'" << QStringList() << "Jugend";
        QTest::newRow("apostrophes and blanks at both ends") << " ''Senioren' " << QStringList() << "Senioren";
        QTest::newRow("apostrophe inside stays") << "D'Artagnan" << QStringList() << "D'Artagnan";
        QTest::newRow("forbidden characters") << "U12 [m/w]: *?\\" << QStringList() << "U12 _m_w__ ___";
        QTest::newRow("cut before an emoji that would be split")
            << base29 + QLatin1Char('x') + emoji + QStringLiteral("yz") << QStringList() << base29 + QLatin1Char('x');
        QTest::newRow("emoji that fits stays") << base29 + emoji << QStringList() << base29 + emoji;
        QTest::newRow("cut before a letter's combining mark")
            << base29 + QLatin1Char('x') + QStringLiteral("e\u0301\u0323z") << QStringList()
            << base29 + QLatin1Char('x');
        QTest::newRow("cut leaves an apostrophe at the end")
            << base29 + QStringLiteral(" 'abc") << QStringList() << base29;
        QTest::newRow("nothing left") << "''" << QStringList() << "Tabelle";
        QTest::newRow("taken, whatever the case") << "damen" << QStringList { "Gesamt", "Damen" } << "damen (2)";
        QTest::newRow("taken twice, long")
            << QString(31, QLatin1Char('L'))
            << QStringList { QString(31, QLatin1Char('L')), QString(27, QLatin1Char('L')) + " (2)" }
            << QString(27, QLatin1Char('L')) + " (3)";
    }

    void sheetName_isOneTheWriterTakes()
    {
        QFETCH(QString, wanted);
        QFETCH(QStringList, taken);
        QFETCH(QString, name);
        QCOMPARE(protocol::SheetName(wanted, taken), name);
        QVERIFY(name.size() <= protocol::kMaxSheetName);
    }

    // Classes named as clubs name them all reach the workbook; each sheet
    // keeps its header in view and on every printed page, and one long name
    // wraps in its cell instead of widening its column to the page's width.
    void export_hostileClassNames_headerHeld_longNamesWrap()
    {
        const QString emoji = QString::fromUtf8("\xF0\x9F\x8F\x83");
        const QString longClass = QString(30, QLatin1Char('K')) + emoji;
        TCellStore cells(protocol::kTableColCount, 5);
        for (int c = 0; c < protocol::kTableColCount; ++c)
            cells.SetCell(c, 0, protocol::kTableHeaders[static_cast<size_t>(c)]);
        cells.SetRow(1,
            { "1", QString(200, QLatin1Char('N')), "9:00.00,00", "1.00,00", "0,00", "1", "60000", "Jugend'", "", "1" });
        cells.SetRow(2, { "2", "Bert", "9:00.01,00", "1.10,00", "0,01", "1", "70000", longClass, "", "2" });
        cells.SetRow(3, { "3", "Cora", "9:00.02,00", "1.20,00", "0,02", "1", "80000", "Gesamt", "", "3" });
        protocol::WriteFailure failure;
        QVERIFY2(
            protocol::ExcelExport(cells, &failure, nullptr, QStringLiteral("Lauf"), {}), qPrintable(failure.reason));
        const QString workbook = openedWorkbook();
        QCOMPARE(
            sheetNames(workbook), QStringList({ "Gesamt", "Jugend", QString(30, QLatin1Char('K')), "Gesamt (2)" }));
        const QString book = QString::fromUtf8(ReadZipEntry(workbook, "xl/workbook.xml"));
        for (int n = 1; n <= 4; ++n) {
            const QString xml
                = QString::fromUtf8(ReadZipEntry(workbook, QStringLiteral("xl/worksheets/sheet%1.xml").arg(n)));
            // The title and the day take rows 1 and 2, the header row 4.
            QVERIFY2(xml.contains(QStringLiteral("ySplit=\"4\"")) && xml.contains(QStringLiteral("state=\"frozen\"")),
                qPrintable(xml.left(800)));
            QVERIFY2(
                xml.contains(QStringLiteral("fitToWidth=\"1\"")) || xml.contains(QStringLiteral("fitToPage=\"1\"")),
                qPrintable(xml.left(800)));
            QVERIFY2(book.contains(QStringLiteral("localSheetId=\"%1\"").arg(n - 1))
                    && book.contains(QStringLiteral("$4:$4")),
                qPrintable(book));
            // The row of the long name is as high as its wrapped lines.
            if (n <= 2)
                QVERIFY2(QRegularExpression(QStringLiteral("<row r=\"5\"[^>]* ht=\"90\"")).match(xml).hasMatch(),
                    qPrintable(xml));
            const Sheet sheet = readSheet(workbook, n);
            for (const double width : sheet.widths)
                QVERIFY2(width < 41.0, qPrintable(QString::number(width)));
        }
        QVERIFY(QString::fromUtf8(ReadZipEntry(workbook, "xl/styles.xml")).contains(QStringLiteral("wrapText=\"1\"")));
        QCOMPARE(readSheet(workbook, 2).cells.value("B5"), QVariant(QString(200, QLatin1Char('N'))));
        // Kept where RENNZEIT_SCREENSHOT_DIR names a folder, to print it.
        const QString keep = qEnvironmentVariable("RENNZEIT_SCREENSHOT_DIR");
        if (!keep.isEmpty()) {
            QFile::remove(keep + QStringLiteral("/hostile-classes.xlsx"));
            QVERIFY(QFile::copy(workbook, keep + QStringLiteral("/hostile-classes.xlsx")));
        }
    }

    // What each column's texts become: type, value and number format. A
    // text the column does not expect stays exactly the text it was.
    void export_cellTypes_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("format"); // empty for a text cell
        const auto text = [](const char* t) { return QVariant(QString::fromUtf8(t)); };
        QTest::newRow("Nr. whole") << 0 << "12" << QVariant(12.0) << "General";
        QTest::newRow("Nr. leading zeros") << 0 << "007" << text("007") << "";
        QTest::newRow("Nr. with letter") << 0 << "12a" << text("12a") << "";
        QTest::newRow("Nr. decimal") << 0 << "1.5" << text("1.5") << "";
        QTest::newRow("Platz zero") << 5 << "0" << QVariant(0.0) << "General";
        QTest::newRow("Platz dash") << 5 << "-" << text("-") << "";
        QTest::newRow("Name of digits") << 1 << "2024" << text("2024") << "";
        QTest::newRow("Name with comma") << 1 << "Berg, Anna" << text("Berg, Anna") << "";
        QTest::newRow("short name with comma") << 1 << "A,B" << text("A,B") << "";
        QTest::newRow("Start") << 2 << "10:05.03,12" << QVariant(days(36303120)) << "h:mm:ss.00";
        QTest::newRow("Start after 24 h") << 2 << "24:00.00,00" << text("24:00.00,00") << "";
        QTest::newRow("Zeit whole seconds") << 3 << "1.50" << QVariant(days(110000)) << "mm:ss";
        QTest::newRow("Zeit tenths") << 3 << "1.05,2" << QVariant(days(65200)) << "mm:ss.0";
        QTest::newRow("Zeit hundredths") << 3 << "1,05" << QVariant(days(1050)) << "mm:ss.00";
        QTest::newRow("Zeit seconds only") << 3 << "5" << QVariant(days(5000)) << "mm:ss";
        QTest::newRow("Zeit hours") << 3 << "1:02.03,45" << QVariant(days(3723450)) << "[h]:mm:ss.00";
        QTest::newRow("Zeit two-digit hours") << 3 << "12:00.00" << QVariant(days(43200000)) << "[h]:mm:ss";
        QTest::newRow("Zeit 60 seconds") << 3 << "1.60,00" << text("1.60,00") << "";
        QTest::newRow("Zeit one-digit seconds after minutes") << 3 << "1.5,00" << text("1.5,00") << "";
        QTest::newRow("Zeit negative") << 3 << "-1,00" << text("-1,00") << "";
        QTest::newRow("Split zero") << 4 << "0,00" << QVariant(0.0) << "mm:ss.00";
        QTest::newRow("Split three fraction digits") << 4 << "1,234" << text("1,234") << "";
        QTest::newRow("Split other digits") << 4 << QStringLiteral("١,٠٠") << QVariant(QStringLiteral("١,٠٠")) << "";
    }
    void export_cellTypes()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QVariant, value);
        QFETCH(QString, format);
        TCellStore cells = protocolTable();
        cells.SetCell(column, 1, text);
        QVERIFY(protocol::ExcelExport(cells));
        const Sheet sheet = readSheet(openedWorkbook());
        QVERIFY(sheet.valid);
        const QString ref = QString(QChar('A' + column)) + "2";
        const QVariant found = sheet.cells.value(ref);
        QCOMPARE(found.typeId(), value.typeId());
        if (value.typeId() == QMetaType::Double)
            QVERIFY2(qAbs(found.toDouble() - value.toDouble()) < 1e-12, qPrintable(found.toString()));
        else
            QCOMPARE(found, value);
        QCOMPARE(sheet.formats.value(ref), format);
    }

    void export_replacesCharactersXmlForbids_andKeepsEveryLaterText()
    {
        TCellStore cells = protocolTable();
        cells.SetCell(1, 1, QStringLiteral("Ab") + QChar(0xFFFF) + QStringLiteral("cd"));
        cells.SetCell(1, 2, QStringLiteral("Ef") + QChar(0) + QStringLiteral("gh") + QChar(0x1B));
        cells.SetCell(0, 3, QStringLiteral("9"));
        cells.SetCell(1, 3, QStringLiteral("Zoë") + QChar(0xD800));
        QVERIFY(protocol::ExcelExport(cells));
        const Sheet sheet = readSheet(openedWorkbook());
        QVERIFY(sheet.valid);
        QCOMPARE(sheet.cells.value("B2"), QVariant(QStringLiteral("Ab\uFFFDcd")));
        QCOMPARE(sheet.cells.value("B3"), QVariant(QStringLiteral("Ef\uFFFDgh\uFFFD")));
        QCOMPARE(sheet.cells.value("B4"), QVariant(QStringLiteral("Zoë\uFFFD")));
        QCOMPARE(sheet.cells.value("F4"), QVariant(QStringLiteral("-")));
    }

    void export_sendsTheLastRow_whenItHasANumber()
    {
        TCellStore cells = protocolTable();
        cells.SetCell(0, 3, "5");
        protocol::ExcelExport(cells);
        const Sheet sheet = readSheet(openedWorkbook());
        QCOMPARE(sheet.cells.value("A4"), QVariant(5.0));
        QCOMPARE(sheet.cells.value("F4"), QVariant(QStringLiteral("-")));
    }

    // A race title names the workbook and heads its sheet, the day under it;
    // the table follows a row apart, its columns as wide as without it.
    void export_titleGiven_isTheWorkbooksTitle_andHeadsTheSheet()
    {
        const QString title = QStringLiteral("Stadtlauf <5 km> über die lange Strecke am Fluss entlang");
        QVERIFY(protocol::ExcelExport(protocolTable(), nullptr, nullptr, title));
        QVERIFY(ReadZipEntry(openedWorkbook(), "docProps/core.xml")
                    .contains("<dc:title>Stadtlauf &lt;5 km&gt; über die lange Strecke am Fluss entlang</dc:title>"));
        const Sheet titled = readSheet(openedWorkbook());
        QCOMPARE(titled.cells.value("A1"), QVariant(title));
        QCOMPARE(titled.cells.value("A2"), QVariant(protocol::ResultsOfDay(QDate::currentDate())));
        QVERIFY(!titled.cells.contains("A3"));
        QCOMPARE(titled.cells.value("A4"), QVariant(QStringLiteral("Nr.")));
        QCOMPARE(titled.cells.value("B5"), QVariant(QStringLiteral("Jürgen & Söhne <GmbH>")));

        m_shell.calls.clear();
        QVERIFY(protocol::ExcelExport(protocolTable()));
        const Sheet plain = readSheet(openedWorkbook());
        QCOMPARE(plain.cells.value("A1"), QVariant(QStringLiteral("Nr.")));
        QCOMPARE(titled.widths, plain.widths);
        QCOMPARE(titled.cells.size(), plain.cells.size() + 2);
    }

    void export_withoutItsFolder_namesTheFolder()
    {
        QTemporaryDir documents;
        QVERIFY(UseDocumentsFolder(documents.path()));
        QVERIFY(WriteFileBytes(documents.filePath("Rennzeit"), "kein Ordner"));
        protocol::WriteFailure failure;
        QVERIFY(!protocol::ExcelExport(protocolTable(), &failure));
        QVERIFY(m_shell.calls.isEmpty());
        QCOMPARE(failure.fileName, documents.filePath("Rennzeit"));
        QCOMPARE(failure.reason, platform::SystemReason(ENOTDIR));
    }

    // A spreadsheet cell holds at most 32767 characters: a longer name is
    // cut with "…", the export goes on and says which cell was cut.
    void export_cellOverTheLimit_isCutAndListed()
    {
        TCellStore cells = protocolTable();
        cells.SetCell(1, 2, QString(40000, QLatin1Char('x')));
        cells.SetCell(1, 1, QString(32767, QLatin1Char('y'))); // fits exactly
        protocol::WriteFailure failure;
        protocol::ExcelReport report;
        QVERIFY2(protocol::ExcelExport(cells, &failure, &report), qPrintable(failure.reason));
        QCOMPARE(report.workbook, openedWorkbook());
        QCOMPARE(report.cut, QStringList { "Zeile 2 (Nr. 12), Spalte Name: 40000 Zeichen" });
        const Sheet sheet = readSheet(openedWorkbook());
        QVERIFY(sheet.valid);
        QCOMPARE(sheet.cells.value("B3").toString(), QString(32766, QLatin1Char('x')) + QChar(0x2026));
        QCOMPARE(sheet.cells.value("B2").toString(), QString(32767, QLatin1Char('y')));
        QCOMPARE(sheet.cells.value("D3").toDouble(), days(65120)); // the rest of the row is there

        // Below a race's title the table starts lower; the report names the
        // same table row.
        m_shell.calls.clear();
        protocol::ExcelReport titled;
        QVERIFY(protocol::ExcelExport(cells, &failure, &titled, QStringLiteral("Stadtlauf")));
        QCOMPARE(titled.cut, report.cut);
        const Sheet below = readSheet(openedWorkbook());
        QVERIFY(below.valid);
        QCOMPARE(below.cells.value("B6").toString(), sheet.cells.value("B3").toString());
    }

    // The spreadsheet's own Save writes into the workbook's folder: nothing
    // there is removed, and a second export never replaces the first.
    void workbooks_stayWithTheUsersFiles()
    {
        QTemporaryDir documents;
        QVERIFY(UseDocumentsFolder(documents.path()));
        QVERIFY(protocol::ExcelExport(protocolTable()));
        const QString first = openedWorkbook();
        const QString folder = QFileInfo(first).absolutePath();
        QCOMPARE(folder, documents.filePath("Rennzeit"));
        QVERIFY(QFileInfo(first).fileName().startsWith(protocol::DateStampName().left(10)));
        QVERIFY(WriteFileBytes(folder + "/bearbeitet.xlsx", "meine Fassung"));
        m_shell.calls.clear();
        QVERIFY(protocol::ExcelExport(protocolTable()));
        const QString second = openedWorkbook();
        QVERIFY(second != first);
        QVERIFY(readSheet(first).valid);
        QCOMPARE(ReadFileBytes(folder + "/bearbeitet.xlsx"), QByteArray("meine Fassung"));
        // Nothing but the workbooks and the user's file: no half-written file.
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 3);
    }

    // A workbook that was never shown goes again, and with it the folder the
    // export made, but only while nothing else is in it.
    void unshownWorkbook_goesWithTheFolderItMade()
    {
        QTemporaryDir documents;
        QVERIFY(UseDocumentsFolder(documents.path()));
        QString folder;
        {
            TExcel excel;
            QVERIFY(excel.Connect());
            excel.AddWorkbook();
            excel.SetValues({ "a" });
            excel.WriteLine();
            folder = excel.Folder();
            QVERIFY(QFileInfo(folder).isDir());
        }
        QVERIFY(!QFileInfo::exists(folder));
        {
            TExcel excel;
            QVERIFY(excel.Connect());
            excel.AddWorkbook();
            QVERIFY(WriteFileBytes(excel.Folder() + "/fremd.txt", "bleibt"));
        }
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { "fremd.txt" });
        QVERIFY(QDir(folder).removeRecursively());
    }

    void writeLine_transposed_andCountingLines()
    {
        TExcel excel;
        QVERIFY(excel.Connect());
        excel.AddWorkbook();
        excel.SetHorizontal(false);
        excel.SetValues({ "a", "b", "c" });
        excel.WriteLine();
        excel.SetValues({});
        excel.WriteLine(); // writes nothing, moves on
        QCOMPARE(excel.line(), 3);
        excel.SetValues({ "d" });
        excel.WriteLine();
        excel.AutoFitColumns();
        excel.Show();
        const Sheet sheet = readSheet(excel.WorkbookPath());
        QCOMPARE(sheet.cells.value("A1"), QVariant("a"));
        QCOMPARE(sheet.cells.value("A3"), QVariant("c"));
        QCOMPARE(sheet.cells.value("C1"), QVariant("d"));
        QCOMPARE(sheet.cells.size(), 4);
        QCOMPARE(sheet.widths.keys(), (QList<int> { 1, 3 }));
        QCOMPARE(m_shell.calls, QStringList { "open " + excel.WorkbookPath() });
    }

    void addWorkbook_startsAgainAtLineOne_andEachWorkbookIsOpened()
    {
        TExcel excel;
        QVERIFY(excel.Connect());
        excel.AddWorkbook();
        excel.SetValues({ "erste" });
        excel.WriteLine();
        const QString first = excel.WorkbookPath();
        excel.AddWorkbook();
        QCOMPARE(excel.line(), 1);
        excel.SetValues({ "zweite" });
        excel.WriteLine();
        excel.Show();
        QVERIFY(first != excel.WorkbookPath());
        QCOMPARE(m_shell.calls, (QStringList { "open " + first, "open " + excel.WorkbookPath() }));
        QCOMPARE(readSheet(first).cells.value("A1"), QVariant("erste"));
        QCOMPARE(readSheet(excel.WorkbookPath()).cells.value("A1"), QVariant("zweite"));
    }

    void callsOutOfOrder_throw()
    {
        TExcel excel;
        QVERIFY_THROWS_EXCEPTION(EExcel, excel.AddWorkbook());
        QVERIFY(excel.Connect());
        QVERIFY_THROWS_EXCEPTION(EExcel, excel.WriteLine());
        excel.AddWorkbook();
        excel.SetLine(0);
        excel.SetValues({ "x" });
        QVERIFY_THROWS_EXCEPTION(EExcel, excel.WriteLine());
    }
};

QTEST_MAIN(TestExcelExport)
#include "tst_excelexport.moc"
