// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/SortCompare.h"

#include <QTest>

class TestSortCompare : public QObject {
    Q_OBJECT

private slots:
    void foldAscii_foldsOnlyAsciiLetters()
    {
        QCOMPARE(FoldAscii(QStringLiteral("ZEBRA Äpfel äÖ")), QStringLiteral("zebra Äpfel äÖ"));
        const QString lower = QStringLiteral("schon klein");
        QCOMPARE(FoldAscii(lower), lower);
    }

    void compareNormal_followsUtf8ByteOrder()
    {
        QVERIFY(CompareNormal(QStringLiteral("Z"), QStringLiteral("a")) < 0);
        QVERIFY(CompareNormal(QStringLiteral("Berg"), QStringLiteral("Bergmann")) < 0);
        QVERIFY(CompareNormal(QStringLiteral("Bergmann"), QStringLiteral("Berg")) > 0);
        QCOMPARE(CompareNormal(QString(), QString()), 0);
        QVERIFY(CompareNormal(QStringLiteral("z"), QStringLiteral("é")) < 0);
        // A character beyond the basic plane has larger UTF-8 bytes than U+FFFD,
        // although its first UTF-16 unit is smaller.
        QVERIFY(CompareNormal(QString::fromUcs4(U"\U0001F600"), QStringLiteral("\uFFFD")) > 0);
        QVERIFY(CompareNormal(QStringLiteral("\uFFFD"), QString::fromUcs4(U"\U0001F600")) < 0);
    }

    void numericExtended_comparesEmbeddedNumbers_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");
        QTest::newRow("lap") << "Lap 9"
                             << "Lap 10" << -1;
        QTest::newRow("lap reversed") << "Lap 10"
                                      << "Lap 9" << 1;
        QTest::newRow("trailing text") << "Runde 2a"
                                       << "Runde 10a" << -1;
        QTest::newRow("equal") << "Lauf 3"
                               << "Lauf 3" << 0;
        QTest::newRow("no numbers") << "Berg"
                                    << "Anna" << 1;
        QTest::newRow("empty first") << ""
                                     << "Lap 1" << -1;
        QTest::newRow("empty second") << "Lap 1"
                                      << "" << 1;
        QTest::newRow("both empty") << ""
                                    << "" << 0;
    }
    void numericExtended_comparesEmbeddedNumbers()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        QCOMPARE(CompareNumericExtended(a, b), expected);
    }

    // Start numbers as clubs write them; the order is total (a sort needs
    // it): texts of one value still compare by their bytes.
    void naturalNumberOrder_ordersStartNumbers()
    {
        const QStringList sorted { "2", "007", "7", "10", "12", "12a", "12B", "12c", "101", "A7", "a10", "Staffel 2",
            "Staffel 10", "" };
        for (int i = 0; i < sorted.size(); ++i) {
            QCOMPARE(NaturalNumberOrder(sorted[i], sorted[i]), 0);
            for (int j = i + 1; j < sorted.size(); ++j) {
                QVERIFY2(NaturalNumberOrder(sorted[i], sorted[j]) < 0, qPrintable(sorted[i] + " < " + sorted[j]));
                QVERIFY2(NaturalNumberOrder(sorted[j], sorted[i]) > 0, qPrintable(sorted[j] + " > " + sorted[i]));
            }
        }
        // Blanks around a number do not count; an empty cell is last.
        QVERIFY(NaturalNumberOrder(QStringLiteral(" 9 "), QStringLiteral("10")) < 0);
        QCOMPARE(NaturalNumberOrder(QStringLiteral(" "), QString()), 0);
        QVERIFY(
            NaturalNumberOrder(QStringLiteral("99999999999999999999"), QStringLiteral("100000000000000000000")) < 0);
    }

    void numericExtended_reduction()
    {
        QString ra, rb;
        ReduceNumericExtended(QStringLiteral("Lap 9"), QStringLiteral("Lap 10"), ra, rb);
        QCOMPARE(ra, QStringLiteral("9"));
        QCOMPARE(rb, QStringLiteral("10"));
        ReduceNumericExtended(QStringLiteral("Runde 2a"), QStringLiteral("Runde 10a"), ra, rb);
        QCOMPARE(ra, QStringLiteral("2"));
        QCOMPARE(rb, QStringLiteral("10"));
    }

    void numericExtended_staysAntisymmetricForEqualValues()
    {
        const int ab = CompareNumericExtended(QStringLiteral("Nr 09"), QStringLiteral("Nr 9"));
        const int ba = CompareNumericExtended(QStringLiteral("Nr 9"), QStringLiteral("Nr 09"));
        QVERIFY(ab != 0);
        QCOMPARE(ab, -ba);
    }

    void numbers_useTheLocaleDecimalSeparator()
    {
        const TSortConversions german(QLocale(QLocale::German, QLocale::Germany));
        double v = 0;
        QVERIFY(german.ToNumber(QStringLiteral("9,5"), v));
        QCOMPARE(v, 9.5);
        QVERIFY(CompareTexts(ssNumeric, QStringLiteral("9,5"), QStringLiteral("10,25"), german) < 0);
        QVERIFY(CompareTexts(ssNumeric, QStringLiteral("-3"), QStringLiteral("2"), german) < 0);
        // Text against a number falls back to byte order: "1" < "a".
        QVERIFY(CompareTexts(ssNumeric, QStringLiteral("abc"), QStringLiteral("10"), german) > 0);
        QVERIFY(!german.ToNumber(QStringLiteral("nan"), v));
        QVERIFY(!german.ToNumber(QString(), v));
        const TSortConversions english(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(CompareTexts(ssNumeric, QStringLiteral("9.5"), QStringLiteral("10.25"), english) < 0);
    }

    void numbers_followTheSystemLocaleUnderTest()
    {
        if (QLocale::system().decimalPoint() != QLatin1String(","))
            QSKIP("runs with a German system locale (ctest sets one)");
        double v = 0;
        QVERIFY(TSortConversions().ToNumber(QStringLiteral("12,75"), v));
        QCOMPARE(v, 12.75);
    }

    void datesAndTimes_inGermanFormats()
    {
        const TSortConversions german(QLocale(QLocale::German, QLocale::Germany));
        double a = 0, b = 0;
        QVERIFY(german.ToDateTime(QStringLiteral("24.12.2023"), a));
        QVERIFY(german.ToDateTime(QStringLiteral("1.1.24"), b));
        QVERIFY(a < b);
        QVERIFY(german.ToDateTime(QStringLiteral("01.01.2024 13:05"), a));
        QVERIFY(b < a);
        QVERIFY(!german.ToDateTime(QStringLiteral("31.02.2024"), a));
        QVERIFY(!german.ToDateTime(QStringLiteral("Berg"), a));
        QVERIFY(german.ToTime(QStringLiteral("9:05"), a));
        QVERIFY(german.ToTime(QStringLiteral("12:30:15,5"), b));
        QCOMPARE(b, ((12 * 60 + 30) * 60 + 15) * 1000.0 + 500);
        QVERIFY(CompareTexts(ssTime, QStringLiteral("9:05"), QStringLiteral("12:30"), german) < 0);
        QVERIFY(!german.ToTime(QStringLiteral("25:00"), a));
        QVERIFY(!german.ToTime(QStringLiteral("12"), a));
        const TSortConversions english(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(english.ToDateTime(QStringLiteral("12/24/2023"), a));
        QVERIFY(english.ToDateTime(QStringLiteral("1/2/2024"), b));
        QVERIFY(a < b);
    }

    void failedConversions_compareAsText()
    {
        const TSortConversions german(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(CompareTexts(ssDateTime, QStringLiteral("b"), QStringLiteral("a"), german) > 0);
        QVERIFY(CompareTexts(ssTime, QStringLiteral("-"), QStringLiteral("9:00"), german) < 0);
        QVERIFY(CompareTexts(ssAutomatic, QStringLiteral("10"), QStringLiteral("9"), german) < 0);
        QVERIFY(CompareTexts(ssCustom, QStringLiteral("10"), QStringLiteral("9"), german) < 0);
        const TSortCompare byLength = [](const QString& x, const QString& y) { return int(x.size() - y.size()); };
        QVERIFY(CompareTexts(ssCustom, QStringLiteral("10"), QStringLiteral("9"), german, byLength) > 0);
    }

    void detectSortStyle_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("expected");
        QTest::newRow("numbers") << QStringList { "3", "10,5", "-2" } << int(ssNumeric);
        QTest::newRow("no rows") << QStringList {} << int(ssNumeric);
        QTest::newRow("dates") << QStringList { "24.12.2023", "1.1.24 10:00" } << int(ssDateTime);
        QTest::newRow("times") << QStringList { "9:05", "12:30:15" } << int(ssTime);
        QTest::newRow("one empty cell") << QStringList { "3", "" } << int(ssNormal);
        QTest::newRow("names") << QStringList { "Berg", "Anna" } << int(ssNormal);
    }
    void detectSortStyle()
    {
        QFETCH(QStringList, texts);
        QFETCH(int, expected);
        QCOMPARE(int(DetectSortStyle(texts, TSortConversions(QLocale(QLocale::German, QLocale::Germany)))), expected);
    }
};

QTEST_GUILESS_MAIN(TestSortCompare)
#include "tst_sortcompare.moc"
