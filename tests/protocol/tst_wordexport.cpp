// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/ClubRace.h"
#include "gridstore/CellStore.h"
#include "platform/SystemError.h"
#include "protocol/ExportText.h"
#include "protocol/WordBasic.h"
#include "protocol/WordExport.h"
#include "support/RecordingShell.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include "ZipEntry.h"

#include <zip.h>

#include <cerrno>

namespace {

const QList<int> kWidths { 52, 300, 102, 90, 72, 52, -1 };

// The protocol after two finished entries: header, two rows, the free row
// the last start appended.
TCellStore protocolTable()
{
    TCellStore cells(7, 4);
    cells.SetRow(0, { "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "*" });
    cells.SetRow(1, { "7", QStringLiteral("Jürgen & Söhne <GmbH>"), "9:05.12,30", "9,87", "0,00", "1", "9870" });
    cells.SetRow(2, { "12", QStringLiteral("Größ"), "9:05.14,00", "1.05,12", "1,70", "2", "65120" });
    cells.SetRow(3, { "", "", "", "", "", "-", "" });
    return cells;
}

const QString kTableText = QStringLiteral("Nr.\tName\tStart\tZeit\tSplit\tPlatz\t"
                                          "7\tJürgen & Söhne <GmbH>\t9:05.12,30\t9,87\t0,00\t1\t"
                                          "12\tGröß\t9:05.14,00\t1.05,12\t1,70\t2\t"
                                          "\t\t\t\t\t-");

QStringList zipNames(const QString& path)
{
    QStringList names;
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive)
        return names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
        names << QString::fromUtf8(zip_get_name(archive, static_cast<zip_uint64_t>(i), 0));
    zip_discard(archive);
    return names;
}

bool wellFormed(const QByteArray& xml)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

// What a reader of document.xml finds in the body: the names of the body's
// children in order, and the texts of every table's cells row by row (a tab
// inside a cell reads as "\t").
struct Body {
    QStringList blocks;
    QList<QList<QStringList>> tables;
};

Body readBody(const QByteArray& xml)
{
    const QLatin1String w("http://schemas.openxmlformats.org/wordprocessingml/2006/main");
    Body body;
    QXmlStreamReader reader(xml);
    int depth = 0;
    int bodyDepth = -1;
    int tableDepth = 0;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (reader.namespaceUri() != w)
                continue;
            const auto name = reader.name();
            if (name == QLatin1String("body"))
                bodyDepth = depth;
            else if (depth == bodyDepth + 1)
                body.blocks << name.toString();
            if (name == QLatin1String("tbl") && tableDepth++ == 0)
                body.tables.append(QList<QStringList>());
            else if (name == QLatin1String("tr") && tableDepth == 1)
                body.tables.last().append(QStringList());
            else if (name == QLatin1String("tc") && tableDepth == 1)
                body.tables.last().last().append(QString());
            else if (name == QLatin1String("t") && tableDepth == 1)
                body.tables.last().last().last() += reader.readElementText();
            else if (name == QLatin1String("tab") && tableDepth == 1)
                body.tables.last().last().last() += QLatin1Char('\t');
            if (token == QXmlStreamReader::StartElement && reader.isEndElement())
                --depth; // readElementText consumed the end tag
        } else if (token == QXmlStreamReader::EndElement) {
            if (reader.name() == QLatin1String("tbl") && reader.namespaceUri() == w)
                --tableDepth;
            --depth;
        }
    }
    if (reader.hasError())
        body.blocks << QStringLiteral("XML error: ") + reader.errorString();
    return body;
}

// Stands in for the document engine and writes down every call.
class RecordingWordBasic final : public TWordBasic {
public:
    RecordingWordBasic(QStringList& calls, QString failAt)
        : m_calls(calls)
        , m_failAt(std::move(failAt))
    {
    }
    void AppMaximize() override { record(QStringLiteral("AppMaximize")); }
    void AppMinimize() override { record(QStringLiteral("AppMinimize")); }
    void FileOpen(const QString& name) override { record(QStringLiteral("FileOpen ") + name); }
    void Insert(const QString& text) override { record(QStringLiteral("Insert ") + text); }
    void LineUp(int count, int extend) override { record(QStringLiteral("LineUp %1 %2").arg(count).arg(extend)); }
    void TextToTable(int ConvertFrom, int NumColumns) override
    {
        record(QStringLiteral("TextToTable ConvertFrom=%1 NumColumns=%2").arg(ConvertFrom).arg(NumColumns));
    }
    void FileSummaryInfo(const QString& title) override { record(QStringLiteral("FileSummaryInfo ") + title); }
    void FileSaveAs(const QString& name) override { record(QStringLiteral("FileSaveAs ") + name); }
    void AppClose() override { record(QStringLiteral("AppClose")); }

private:
    void record(const QString& call)
    {
        m_calls << call;
        if (!m_failAt.isEmpty() && call.startsWith(m_failAt))
            throw EWordBasic(call + QStringLiteral(" failed"));
    }
    QStringList& m_calls;
    QString m_failAt;
};

} // namespace

class TestWordExport : public QObject {
    Q_OBJECT
private:
    platform::RecordingShell m_shell;
    QTemporaryDir m_dir;
    QString m_previousFolder;
    QStringList m_calls;

    WordBasicFactory recorder(const QString& failAt = QString())
    {
        return [this, failAt]() { return std::make_unique<RecordingWordBasic>(m_calls, failAt); };
    }
    QString templatePath() const { return QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx"); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_previousFolder = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        platform::SetShell(&m_shell);
        m_shell.calls.clear();
        m_calls.clear();
    }
    void cleanup()
    {
        platform::SetShell(nullptr);
        QDir::setCurrent(m_previousFolder);
    }

    void exportText_leavesHiddenColumnOut_andDropsFinalTab()
    {
        const protocol::WordExportText text = protocol::BuildWordExportText(protocolTable(), kWidths);
        QCOMPARE(text.text, kTableText);
        QCOMPARE(text.columns, 6);
        // Without a width list every column counts.
        QCOMPARE(protocol::BuildWordExportText(protocolTable(), {}).columns, 7);
    }

    void classes_giveATablePerClassAfterItsName()
    {
        const QList<int> widths { 52, 300, 102, 90, 72, 52, -1, 72, -1, 64 };
        QVERIFY(protocol::WordExport(protocol::kWordSaveMode, "klassen.docx", ClassRace(), widths,
            "/opt/rz/Protokollvorlage.docx", recorder(), nullptr, QString(), kClassOrder));
        const QString header = QStringLiteral("Nr.\tName\tStart\tZeit\tSplit\tPlatz\tGesamt\t");
        const QStringList expected {
            "AppMinimize",
            "FileOpen /opt/rz/Protokollvorlage.docx",
            "Insert Damen\r\n" + header + "1\tAnna\t9:00.00,00\t10,00\t0,00\t1\t2\t"
                + "6\tFred\t9:00.40,00\t11,00\t0,40\t2\t3\t3\tCora\t9:00.20,00\t\t0,20\tDNF\t\t"
                + "5\tEva\t\t\t\tDNS\t",
            "TextToTable ConvertFrom=1 NumColumns=7",
            "Insert Herren\r\n" + header + "2\tBert\t9:00.10,00\t9,00\t0,10\t1\t1\t"
                + "4\tDirk\t9:00.30,00\t8,00\t0,30\tDSQ\t",
            "TextToTable ConvertFrom=1 NumColumns=7",
            "FileSummaryInfo " + protocol::DocumentTitle(QString(), QDate::currentDate()),
            "FileSaveAs klassen.docx",
            "AppClose",
        };
        QCOMPARE(m_calls, expected);
    }

    void viewMode_maximizes_savesAndOpensTheDocument()
    {
        QVERIFY(protocol::WordExport(protocol::kWordViewMode, "2024-05-01-10-15.docx", protocolTable(), kWidths,
            "/opt/rz/Protokollvorlage.docx", recorder()));
        const QStringList expected {
            "AppMaximize",
            "FileOpen /opt/rz/Protokollvorlage.docx",
            "Insert " + kTableText,
            "LineUp 4 1",
            "TextToTable ConvertFrom=1 NumColumns=6",
            "FileSummaryInfo " + protocol::DocumentTitle(QString(), QDate::currentDate()),
            "FileSaveAs 2024-05-01-10-15.docx",
        };
        QCOMPARE(m_calls, expected);
        QCOMPARE(protocol::DocumentTitle(QString(), QDate(2025, 5, 17)), QStringLiteral("Rennen vom 17.05.2025"));
        QCOMPARE(protocol::DocumentTitle("Stadtlauf", QDate(2025, 5, 17)), QStringLiteral("Stadtlauf"));
        QCOMPARE(m_shell.calls, QStringList { "open " + path("2024-05-01-10-15.docx") });
    }

    void saveMode_minimizes_savesAndCloses_withoutOpening()
    {
        QVERIFY(protocol::WordExport(
            protocol::kWordSaveMode, "/data/lauf.docx", protocolTable(), kWidths, "t.docx", recorder()));
        QCOMPARE(m_calls.first(), QStringLiteral("AppMinimize"));
        QCOMPARE(m_calls.mid(m_calls.size() - 2), (QStringList { "FileSaveAs /data/lauf.docx", "AppClose" }));
        QCOMPARE(m_calls.size(), 8);
        QVERIFY(m_shell.calls.isEmpty());
    }

    void failingCall_endsTheExport_data()
    {
        QTest::addColumn<QString>("failAt");
        QTest::addColumn<int>("callsMade");
        QTest::newRow("FileOpen") << "FileOpen" << 2;
        QTest::newRow("Insert") << "Insert" << 3;
        QTest::newRow("TextToTable") << "TextToTable" << 5;
        QTest::newRow("FileSaveAs") << "FileSaveAs" << 7;
    }
    void failingCall_endsTheExport()
    {
        QFETCH(QString, failAt);
        QFETCH(int, callsMade);
        protocol::WriteFailure failure;
        QVERIFY(!protocol::WordExport(
            protocol::kWordViewMode, "x.docx", protocolTable(), kWidths, "t.docx", recorder(failAt), &failure));
        QCOMPARE(m_calls.size(), callsMade);
        QVERIFY(m_shell.calls.isEmpty());
        // Until the template is open the failure is about the template.
        QCOMPARE(failure.fileName, failAt == "FileOpen" ? QStringLiteral("t.docx") : QStringLiteral("x.docx"));
        QVERIFY(failure.reason.endsWith(" failed"));
    }

    void missingEngine_endsQuietly()
    {
        QVERIFY(!protocol::WordExport(protocol::kWordViewMode, "x.docx", protocolTable(), kWidths, "t.docx",
            [] { return std::unique_ptr<TWordBasic>(); }));
    }

    void realEngine_writesTheTableIntoTheTemplate()
    {
        QVERIFY(QFileInfo::exists(templatePath()));
        QVERIFY(protocol::WordExport(
            protocol::kWordViewMode, "2024-05-01-10-15.docx", protocolTable(), kWidths, templatePath()));
        const QString saved = path("2024-05-01-10-15.docx");
        QCOMPARE(m_shell.calls, QStringList { "open " + saved });

        // Every part of the template is there, and every XML part is sound.
        const QStringList names = zipNames(saved);
        QCOMPARE(names, zipNames(templatePath()));
        for (const QString& name : names) {
            if (name.endsWith(".xml") || name.endsWith(".rels"))
                QVERIFY2(wellFormed(ReadZipEntry(saved, name)), qPrintable(name));
        }

        const Body body = readBody(ReadZipEntry(saved, "word/document.xml"));
        QCOMPARE(body.blocks, (QStringList { "tbl", "p", "sectPr" }));
        QCOMPARE(body.tables.size(), 1);
        const QList<QStringList> rows = body.tables.first();
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0], (QStringList { "Nr.", "Name", "Start", "Zeit", "Split", "Platz" }));
        QCOMPARE(
            rows[1], (QStringList { "7", QStringLiteral("Jürgen & Söhne <GmbH>"), "9:05.12,30", "9,87", "0,00", "1" }));
        QCOMPARE(rows[2], (QStringList { "12", QStringLiteral("Größ"), "9:05.14,00", "1.05,12", "1,70", "2" }));
        QCOMPARE(rows[3], (QStringList { "", "", "", "", "", "-" }));
        // The raw milliseconds never reach the document.
        QVERIFY(!ReadZipEntry(saved, "word/document.xml").contains("65120"));

        // The template's own content is kept as it was.
        for (const char* part : { "word/styles.xml", "word/footer1.xml", "[Content_Types].xml" })
            QCOMPARE(ReadZipEntry(saved, part), ReadZipEntry(templatePath(), part));
        // Its header carries the race's title (here: its date) where the
        // template has a title field, and "Ergebnisse" below it.
        const QByteArray title = protocol::DocumentTitle(QString(), QDate::currentDate()).toUtf8();
        const QByteArray header = ReadZipEntry(saved, "word/header1.xml");
        QVERIFY2(header.contains(" TITLE ") && header.contains(">" + title + "</w:t></w:r></w:fldSimple>"),
            header.constData());
        QVERIFY(header.contains("<w:t>Ergebnisse</w:t>"));
        QVERIFY(ReadZipEntry(saved, "docProps/core.xml").contains("<dc:title>" + title + "</dc:title>"));
    }

    void realEngine_titleIsEscapedInHeaderAndProperties()
    {
        QVERIFY(protocol::WordExport(protocol::kWordSaveMode, path("titel.docx"), protocolTable(), kWidths,
            templatePath(), {}, nullptr, QStringLiteral("Lauf \\1 <A & B>")));
        const QByteArray header = ReadZipEntry(path("titel.docx"), "word/header1.xml");
        QVERIFY2(header.contains(">Lauf \\1 &lt;A &amp; B&gt;</w:t>"), header.constData());
        QVERIFY(wellFormed(header));
        QVERIFY(ReadZipEntry(path("titel.docx"), "docProps/core.xml")
                    .contains("<dc:title>Lauf \\1 &lt;A &amp; B&gt;</dc:title>"));
    }

    void realEngine_saveMode_writesWithoutOpening()
    {
        QVERIFY(
            protocol::WordExport(protocol::kWordSaveMode, path("lauf.docx"), protocolTable(), kWidths, templatePath()));
        QVERIFY(m_shell.calls.isEmpty());
        QCOMPARE(readBody(ReadZipEntry(path("lauf.docx"), "word/document.xml")).tables.value(0).size(), 4);
    }

    void realEngine_missingTemplate_isNamedWithTheReason()
    {
        protocol::WriteFailure failure;
        QVERIFY(!protocol::WordExport(
            protocol::kWordViewMode, "x.docx", protocolTable(), kWidths, path("nicht-da.docx"), {}, &failure));
        QVERIFY(!QFileInfo::exists(path("x.docx")));
        QVERIFY(m_shell.calls.isEmpty());
        QCOMPARE(failure.fileName, path("nicht-da.docx"));
        QCOMPARE(failure.reason, platform::SystemReason(ENOENT));
    }

    void realEngine_unwritableTarget_isNamedWithTheReason_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("missing folder") << "kein/ordner/x.docx";
        QTest::newRow("target is a folder") << "ordner.docx";
    }
    void realEngine_unwritableTarget_isNamedWithTheReason()
    {
        QFETCH(QString, target);
        QVERIFY(QDir(m_dir.path()).mkpath("ordner.docx"));
        protocol::WriteFailure failure;
        QVERIFY(!protocol::WordExport(
            protocol::kWordSaveMode, target, protocolTable(), kWidths, templatePath(), {}, &failure));
        QVERIFY(!QFileInfo(path(target)).isFile());
        QCOMPARE(failure.fileName, path(target));
        QCOMPARE(failure.reason, platform::SystemReason(target.startsWith("kein") ? ENOENT : EISDIR));
    }

    void realEngine_brokenTemplate_isReported_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not a container") << "text";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("no document part") << "no document";
        QTest::newRow("damaged document XML") << "damaged";
        QTest::newRow("document without body") << "no body";
    }
    void realEngine_brokenTemplate_isReported()
    {
        QFETCH(QString, kind);
        const QString broken = path("kaputt.docx");
        const QByteArray rels = ReadZipEntry(templatePath(), "_rels/.rels");
        const QByteArray w = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
        if (kind == "text" || kind == "empty") {
            QFile file(broken);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(kind == "text" ? "Dies ist keine Vorlage." : "");
        } else if (kind == "no document") {
            QVERIFY(WriteZip(broken, { { "_rels/.rels", rels }, { "a.txt", "hallo" } }));
        } else if (kind == "damaged") {
            QVERIFY(WriteZip(broken,
                { { "_rels/.rels", rels }, { "word/document.xml", "<w:document " + w + "><w:body><w:p></w:body>" } }));
        } else {
            QVERIFY(WriteZip(broken, { { "_rels/.rels", rels }, { "word/document.xml", "<w:document " + w + "/>" } }));
        }
        protocol::WriteFailure failure;
        QVERIFY(
            !protocol::WordExport(protocol::kWordViewMode, "x.docx", protocolTable(), kWidths, broken, {}, &failure));
        QCOMPARE(failure.fileName, broken);
        QVERIFY(!failure.reason.isEmpty());
        QVERIFY(!QFileInfo::exists(path("x.docx")));
        QVERIFY(m_shell.calls.isEmpty());
    }
};

QTEST_MAIN(TestWordExport)
#include "tst_wordexport.moc"
