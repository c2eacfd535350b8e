// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/DocxWordBasic.h"

#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include "ZipEntry.h"

#include <zip.h>

namespace {

const QByteArray kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
const QByteArray kRels = "<?xml version=\"1.0\"?><Relationships "
                         "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
                         "Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                         "officeDocument\" Target=\"/word/main.xml\"/></Relationships>";

QByteArray document(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<w:document xmlns:w=\"" + kW + "\">" + body + "</w:document>";
}

// The body as a reader finds it: its children in order (a paragraph as
// "p:" and its text, a tab as "\t"), and each table's rows of cell texts.
struct Body {
    QStringList blocks;
    QList<QList<QStringList>> tables;
    QList<int> gridWidths;
    QString error;
};

Body readBody(const QByteArray& xml)
{
    Body body;
    QXmlStreamReader reader(xml);
    int depth = 0;
    int bodyDepth = -1;
    int tableDepth = 0;
    QString* text = nullptr;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (reader.name() == QLatin1String("tbl"))
                --tableDepth;
            if (--depth < bodyDepth)
                break;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++depth;
        if (reader.namespaceUri() != QLatin1String(kW)) {
            body.error = "element outside the WordprocessingML namespace: " + reader.qualifiedName().toString();
            break;
        }
        const auto name = reader.name();
        if (name == QLatin1String("body")) {
            bodyDepth = depth;
            continue;
        }
        if (depth == bodyDepth + 1) {
            body.blocks << (name == QLatin1String("p") ? QStringLiteral("p:") : name.toString());
            if (name == QLatin1String("p"))
                text = &body.blocks.last();
            if (name == QLatin1String("tbl"))
                body.tables.append(QList<QStringList>());
        }
        if (name == QLatin1String("tbl"))
            ++tableDepth;
        else if (name == QLatin1String("gridCol"))
            body.gridWidths << reader.attributes().value(QLatin1String(kW), QLatin1String("w")).toInt();
        else if (name == QLatin1String("tr") && tableDepth == 1)
            body.tables.last().append(QStringList());
        else if (name == QLatin1String("tc") && tableDepth == 1) {
            body.tables.last().last().append(QString());
            text = &body.tables.last().last().last();
        } else if (name == QLatin1String("t") && text) {
            *text += reader.readElementText();
            --depth;
        } else if (name == QLatin1String("tab") && text) {
            *text += QLatin1Char('\t');
        }
    }
    if (reader.hasError())
        body.error = reader.errorString();
    return body;
}

} // namespace

class TestDocxWordBasic : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString makeTemplate(
        const QByteArray& mainXml, const QString& name = "vorlage.docx", const QByteArray& contentTypes = QByteArray())
    {
        const QString path = m_dir.filePath(name);
        QList<QPair<QString, QByteArray>> parts { { "_rels/.rels", kRels }, { "word/main.xml", mainXml } };
        if (!contentTypes.isEmpty())
            parts.prepend({ "[Content_Types].xml", contentTypes });
        return WriteZip(path, parts) ? path : QString();
    }
    QString simpleTemplate()
    {
        return makeTemplate(document("<w:body><w:p><w:r><w:t>Vorlage</w:t></w:r></w:p><w:sectPr/></w:body>"));
    }
    Body saveAndRead(TDocxWordBasic& word)
    {
        const QString out = m_dir.filePath("ergebnis.docx");
        QFile::remove(out);
        word.FileSaveAs(out);
        return readBody(ReadZipEntry(out, "word/main.xml"));
    }

private slots:
    void lineUp_movesToTheSameColumnOfTheLineAbove()
    {
        TDocxWordBasic word;
        word.FileOpen(simpleTemplate());
        word.Insert("ab\tc\rdefgh\rij");
        QCOMPARE(word.SelectionStart(), 13);
        word.LineUp(1, 1);
        QCOMPARE(word.SelectionStart(), 7); // "defgh", column 2
        QCOMPARE(word.SelectionEnd(), 13);
        word.LineUp(1, 1);
        QCOMPARE(word.SelectionStart(), 2);
        word.LineUp(5, 1); // the first line ends at its start
        QCOMPARE(word.SelectionStart(), 0);
        QCOMPARE(word.SelectionEnd(), 13);
        word.Insert("x\nyz"); // typing replaces the selection; LF is a paragraph mark
        QCOMPARE(word.PendingText(), QStringLiteral("x\ryz"));
        word.LineUp(1, 0); // a short line above caps the column
        QCOMPARE(word.SelectionStart(), 1);
        QCOMPARE(word.SelectionEnd(), 1);
    }

    void textToTable_takesWholeSelectedParagraphs_andKeepsTheRest()
    {
        TDocxWordBasic word;
        word.FileOpen(simpleTemplate());
        word.Insert("Kopf\rx\ty\rz\tw");
        word.LineUp(1, 1); // from the middle of "z\tw" into the middle of "x\ty"
        word.TextToTable(1, 0);
        QVERIFY(word.PendingText().isEmpty());
        const Body body = saveAndRead(word);
        QVERIFY2(body.error.isEmpty(), qPrintable(body.error));
        QCOMPARE(body.blocks, (QStringList { "p:Kopf", "tbl", "p:Vorlage", "sectPr" }));
        QCOMPARE(body.tables.first(), (QList<QStringList> { { "x", "y" }, { "z", "w" } }));
    }

    void textToTable_selectionEndingAfterAMark_leavesTheNextParagraph()
    {
        TDocxWordBasic word;
        word.FileOpen(simpleTemplate());
        word.Insert("vorher\ra\tb\r");
        word.LineUp(1, 1); // from the empty last line to the start of "a\tb"
        word.TextToTable(1, 2);
        word.Insert("danach");
        const Body body = saveAndRead(word);
        QCOMPARE(body.blocks, (QStringList { "p:vorher", "tbl", "p:danach", "p:Vorlage", "sectPr" }));
        QCOMPARE(body.tables.first(), (QList<QStringList> { { "a", "b" } }));
    }

    void textToTable_fillsColumnsRowByRow_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("convertFrom");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::newRow("tabs, two columns")
            << "1\t2\t3\t4\t5" << 1 << 2 << QList<QStringList> { { "1", "2" }, { "3", "4" }, { "5", "" } };
        QTest::newRow("each paragraph a new row")
            << "1\t2\t3\r4" << 1 << 2 << QList<QStringList> { { "1", "2" }, { "3", "" }, { "4", "" } };
        QTest::newRow("paragraphs") << "a\rb\rc" << 0 << 2 << QList<QStringList> { { "a", "b" }, { "c", "" } };
        QTest::newRow("commas, widest paragraph")
            << "a,b\rc" << 2 << 0 << QList<QStringList> { { "a", "b" }, { "c", "" } };
        QTest::newRow("empty cells stay") << "\t\t-" << 1 << 3 << QList<QStringList> { { "", "", "-" } };
    }
    void textToTable_fillsColumnsRowByRow()
    {
        QFETCH(QString, text);
        QFETCH(int, convertFrom);
        QFETCH(int, columns);
        QFETCH(QList<QStringList>, rows);
        TDocxWordBasic word;
        word.FileOpen(simpleTemplate());
        word.Insert(text);
        word.LineUp(10, 1);
        word.TextToTable(convertFrom, columns);
        const Body body = saveAndRead(word);
        QCOMPARE(body.tables.size(), 1);
        QCOMPARE(body.tables.first(), rows);
        QCOMPARE(body.gridWidths.size(), rows.first().size());
    }

    // Numbers and times get the room their texts need, the name column what
    // is left of the section's text width; the heading row repeats on every
    // page.
    void columnWidths_followTheTexts_theNameTakesTheRest()
    {
        TDocxWordBasic word;
        word.FileOpen(makeTemplate(document("<w:body><w:p/><w:sectPr><w:pgSz w:w=\"16838\" w:h=\"11906\"/>"
                                            "<w:pgMar w:left=\"1000\" w:right=\"838\"/></w:sectPr></w:body>")));
        word.Insert("Nr.\tName\tZeit\r12\tMaximiliane von Hohenzollern\t1.05,12\r7\tBerg\t9,87");
        word.LineUp(2, 1);
        word.TextToTable(1, 3);
        const QList<int> widths = saveAndRead(word).gridWidths;
        QCOMPARE(widths.size(), 3);
        QCOMPARE(widths[0], 3 * 112 + 216);
        QCOMPARE(widths[2], 7 * 112 + 216);
        QCOMPARE(widths[0] + widths[1] + widths[2], 15000);

        // Without a "Name" heading the widest column takes the rest.
        TDocxWordBasic other;
        other.FileOpen(simpleTemplate());
        other.Insert("1\tlange Bezeichnung\tx");
        other.LineUp(0, 1);
        other.TextToTable(1, 3);
        const QList<int> otherWidths = saveAndRead(other).gridWidths;
        QVERIFY(otherWidths[1] > otherWidths[0] * 10);

        const QByteArray xml = ReadZipEntry(m_dir.filePath("ergebnis.docx"), "word/main.xml");
        QCOMPARE(xml.count("<w:tblHeader/>"), 1);
        QVERIFY(xml.indexOf("<w:tblHeader/>") < xml.indexOf("</w:tr>"));
        QVERIFY(xml.contains("<w:tblLayout w:type=\"fixed\"/>"));
    }

    void textNeverConverted_isSavedAsParagraphs()
    {
        TDocxWordBasic word;
        word.FileOpen(simpleTemplate());
        word.Insert("a\tb\rc\r");
        QCOMPARE(saveAndRead(word).blocks, (QStringList { "p:a\tb", "p:c", "p:Vorlage", "sectPr" }));
    }

    void tableAtTheEndOfTheBody_getsAParagraphAfterIt_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("blocks");
        QTest::newRow("section only") << QByteArray("<w:body><w:sectPr/></w:body>")
                                      << QStringList { "tbl", "p:", "sectPr" };
        QTest::newRow("empty body") << QByteArray("<w:body/>") << QStringList { "tbl", "p:" };
        QTest::newRow("table first") << QByteArray("<w:body><w:tbl/><w:p/></w:body>")
                                     << QStringList { "tbl", "p:", "tbl", "p:" };
    }
    void tableAtTheEndOfTheBody_getsAParagraphAfterIt()
    {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, blocks);
        TDocxWordBasic word;
        word.FileOpen(makeTemplate(document(body)));
        word.Insert("a\tb");
        word.LineUp(1, 1);
        word.TextToTable(1, 2);
        const Body saved = saveAndRead(word);
        QVERIFY2(saved.error.isEmpty(), qPrintable(saved.error));
        QCOMPARE(saved.blocks, blocks);
    }

    void templateWithOtherPrefix_getsTablesInTheRightNamespace()
    {
        TDocxWordBasic word;
        word.FileOpen(makeTemplate(
            "<?xml version=\"1.0\"?><document xmlns=\"" + kW + "\"><body><p><r><t>Kopf</t></r></p></body></document>"));
        word.Insert("Nr.\tName");
        word.LineUp(1, 1);
        word.TextToTable(1, 2);
        const Body body = saveAndRead(word);
        QVERIFY2(body.error.isEmpty(), qPrintable(body.error));
        QCOMPARE(body.blocks, (QStringList { "tbl", "p:Kopf" }));
        QCOMPARE(body.tables.first(), (QList<QStringList> { { "Nr.", "Name" } }));
    }

    void markupAndControlCharacters_stayText()
    {
        TDocxWordBasic word;
        word.FileOpen(simpleTemplate());
        // Characters XML forbids show as U+FFFD; a NUL does not cut the cell.
        word.Insert(QStringLiteral("<b>&amp;\tÄ\x01ß\U0001F3C3") + QChar(0xFFFF) + QChar(0) + QStringLiteral("z")
            + QChar(0xDC00));
        word.LineUp(1, 1);
        word.TextToTable(1, 2);
        const Body body = saveAndRead(word);
        QVERIFY2(body.error.isEmpty(), qPrintable(body.error));
        QCOMPARE(body.tables.first(),
            (QList<QStringList> { { "<b>&amp;", QStringLiteral("Ä\uFFFDß\U0001F3C3\uFFFD\uFFFDz\uFFFD") } }));
    }

    void documentFromATemplate_isSavedAsADocument()
    {
        const QByteArray types = "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                                 "<Override PartName=\"/word/main.xml\" ContentType=\"application/"
                                 "vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml\"/></Types>";
        TDocxWordBasic word;
        word.FileOpen(makeTemplate(document("<w:body><w:p/></w:body>"), "vorlage.dotx", types));
        word.FileSaveAs(m_dir.filePath("aus-vorlage.docx"));
        const QByteArray saved = ReadZipEntry(m_dir.filePath("aus-vorlage.docx"), "[Content_Types].xml");
        QVERIFY(saved.contains("wordprocessingml.document.main+xml"));
        QVERIFY(!saved.contains("template"));
    }

    void callsWithoutADocument_orWithBadArguments_throw()
    {
        TDocxWordBasic word;
        word.AppMaximize();
        QCOMPARE(word.Window(), TDocxWordBasic::WindowState::Maximized);
        QVERIFY_THROWS_EXCEPTION(EWordBasic, word.Insert("x"));
        QVERIFY_THROWS_EXCEPTION(EWordBasic, word.LineUp(1, 1));
        QVERIFY_THROWS_EXCEPTION(EWordBasic, word.TextToTable(1, 1));
        QVERIFY_THROWS_EXCEPTION(EWordBasic, word.FileSaveAs(m_dir.filePath("x.docx")));
        QVERIFY_THROWS_EXCEPTION(EWordBasic, word.FileOpen(m_dir.filePath("fehlt.docx")));

        word.FileOpen(simpleTemplate());
        QVERIFY_THROWS_EXCEPTION(EWordBasic, word.TextToTable(1, 2)); // no text
        word.Insert("a\tb");
        word.LineUp(1, 1);
        QVERIFY_THROWS_EXCEPTION(EWordBasic, word.TextToTable(3, 2));
        QVERIFY_THROWS_EXCEPTION(EWordBasic, word.TextToTable(1, 64));
        QVERIFY_THROWS_EXCEPTION(EWordBasic, word.TextToTable(1, -1));
        word.AppClose();
        QVERIFY(!word.HasDocument());
        QVERIFY_THROWS_EXCEPTION(EWordBasic, word.Insert("x"));
        QVERIFY(!QFileInfo::exists(m_dir.filePath("x.docx")));
    }

    void failedOpen_keepsTheDocumentOpenBefore()
    {
        TDocxWordBasic word;
        word.FileOpen(simpleTemplate());
        word.Insert("bleibt");
        QFile broken(m_dir.filePath("kaputt.docx"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("kein ZIP");
        broken.close();
        QVERIFY_THROWS_EXCEPTION(EWordBasic, word.FileOpen(broken.fileName()));
        QVERIFY(word.HasDocument());
        QCOMPARE(saveAndRead(word).blocks.first(), QStringLiteral("p:bleibt"));
    }
};

QTEST_MAIN(TestDocxWordBasic)
#include "tst_docxwordbasic.moc"
