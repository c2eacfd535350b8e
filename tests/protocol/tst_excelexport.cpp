#include "grid/CellStore.h"
#include "grid/GridCommaText.h"
#include "protocol/Excel.h"
#include "protocol/ExcelExport.h"
#include "protocol/ExportText.h"
#include "support/RecordingShell.h"

#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include "ZipEntry.h"

#include <zip.h>

namespace {

// A sheet as a reader of the workbook finds it: cell references ("B2") with
// their values (QString for texts, double for numbers) and the column widths
// by column number.
struct Sheet {
    QMap<QString, QVariant> cells;
    QMap<int, double> widths;
    bool valid = false;
};

QStringList sharedStrings(const QByteArray& xml)
{
    QStringList strings;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("si"))
            strings << QString();
        else if (reader.isStartElement() && reader.name() == QLatin1String("t"))
            strings.last() += reader.readElementText();
    }
    return reader.hasError() ? QStringList { "XML error" } : strings;
}

Sheet readSheet(const QString& workbook)
{
    const QStringList strings = sharedStrings(ReadZipEntry(workbook, "xl/sharedStrings.xml"));
    Sheet sheet;
    QXmlStreamReader reader(ReadZipEntry(workbook, "xl/worksheets/sheet1.xml"));
    QString ref;
    QString type;
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
        } else if (reader.name() == QLatin1String("v")) {
            const QString v = reader.readElementText();
            sheet.cells[ref] = type == "s" ? QVariant(strings.value(v.toInt())) : QVariant(v.toDouble());
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

} // namespace

class TestExcelExport : public QObject {
    Q_OBJECT
private:
    platform::RecordingShell m_shell;
    QTemporaryDir m_tmp;
    QByteArray m_previousTmp;

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
        m_previousTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        platform::SetShell(&m_shell);
        m_shell.calls.clear();
    }
    void cleanup()
    {
        platform::SetShell(nullptr);
        qputenv("TMPDIR", m_previousTmp);
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

    void exportLine_turnsShortCommasIntoPoints_andLeavesRawColumnOut()
    {
        const TCellStore cells = protocolTable();
        QCOMPARE(protocol::BuildExcelExportLine(cells, 1),
            QStringLiteral("\"7\",\"Jürgen & Söhne <GmbH>\",\"9:05.12,30\",\"9.87\",\"0.00\",\"1\""));
        QCOMPARE(protocol::BuildExcelExportLine(cells, 2),
            QStringLiteral("\"12\",\"Größ\",\"9:05.14,00\",\"1.05,12\",\"12,34\",\"2\""));
        TCellStore odd(7, 1);
        odd.SetRow(0, { "1,2,", "a,b", ",", "" });
        QCOMPARE(protocol::BuildExcelExportLine(odd, 0), QStringLiteral("\"1.2,\",\"a.b\",\".\",\"\",\"\",\"\""));
    }

    void exportLine_keepsQuotesAndCommasInsideACell()
    {
        TCellStore cells(7, 1);
        cells.SetRow(0, { "3", "Max \"Blitz\" Meier, jun.", "", "", "", "-" });
        const QStringList values = SplitDelimitedText(protocol::BuildExcelExportLine(cells, 0), ',', '"');
        QCOMPARE(values, (QStringList { "3", "Max \"Blitz\" Meier, jun.", "", "", "", "-" }));
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

    void export_fillsTheSheet_withNumbersAndTexts()
    {
        protocol::ExcelExport(protocolTable());
        const QString workbook = openedWorkbook();
        QVERIFY2(workbook.startsWith(m_tmp.path() + "/"), qPrintable(m_shell.calls.join('|')));
        QVERIFY(workbook.endsWith(".xlsx"));
        const Sheet sheet = readSheet(workbook);
        QVERIFY(sheet.valid);

        const QStringList header { "Nr.", "Name", "Start", "Zeit", "Split", "Platz" };
        for (int c = 0; c < header.size(); ++c)
            QCOMPARE(sheet.cells.value(QString(QChar('A' + c)) + "1"), QVariant(header[c]));
        QVERIFY(!sheet.cells.contains("G1"));

        QCOMPARE(sheet.cells.value("A2"), QVariant(7.0));
        QCOMPARE(sheet.cells.value("B2"), QVariant(QStringLiteral("Jürgen & Söhne <GmbH>")));
        QCOMPARE(sheet.cells.value("C2"), QVariant(QStringLiteral("9:05.12,30")));
        QCOMPARE(sheet.cells.value("D2"), QVariant(9.87));
        QCOMPARE(sheet.cells.value("E2"), QVariant(0.0));
        QCOMPARE(sheet.cells.value("F2"), QVariant(1.0));
        QCOMPARE(sheet.cells.value("B3"), QVariant(QStringLiteral("Größ")));
        QCOMPARE(sheet.cells.value("D3"), QVariant(QStringLiteral("1.05,12")));
        QCOMPARE(sheet.cells.value("E3"), QVariant(QStringLiteral("12,34")));
        // The trailing free row stays out: its "Nr." is empty.
        QCOMPARE(sheet.cells.size(), 18);

        // Every used column is fitted to its longest text.
        QCOMPARE(sheet.widths.keys(), (QList<int> { 1, 2, 3, 4, 5, 6 }));
        QVERIFY(sheet.widths[2] >= QStringLiteral("Jürgen & Söhne <GmbH>").size());
        QVERIFY(sheet.widths[3] >= QStringLiteral("9:05.12,30").size());
        QVERIFY(sheet.widths[1] >= 3 && sheet.widths[1] < sheet.widths[3]);
        QVERIFY(sheet.widths[3] < sheet.widths[2]);
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

    void export_withoutTemporaryFolder_endsQuietly()
    {
        qputenv("TMPDIR", QFile::encodeName(m_tmp.filePath("gibt/es/nicht")));
        protocol::ExcelExport(protocolTable());
        QVERIFY(m_shell.calls.isEmpty());
    }

    void export_laterFailure_isThrown_andLeavesNoFolder()
    {
        // A spreadsheet cell holds at most 32767 characters.
        TCellStore cells = protocolTable();
        cells.SetCell(1, 2, QString(40000, QLatin1Char('x')));
        const QStringList before = QDir(m_tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QVERIFY_THROWS_EXCEPTION(EExcel, protocol::ExcelExport(cells));
        QVERIFY(m_shell.calls.isEmpty());
        QCOMPARE(QDir(m_tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
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
