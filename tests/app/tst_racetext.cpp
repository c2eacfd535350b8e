// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/DisplayTime.h"
#include "race/RaceText.h"

#include <QtTest>

class TestRaceText : public QObject {
    Q_OBJECT
private slots:
    void runTimeText_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("a0");
        QTest::addColumn<QString>("a1");
        QTest::addColumn<QString>("a2");
        QTest::newRow("0") << 0 << "0"
                           << "0,0"
                           << "0,00";
        QTest::newRow("50") << 50 << "0"
                            << "0,0"
                            << "0,05";
        QTest::newRow("1050") << 1050 << "1"
                              << "1,0"
                              << "1,05";
        QTest::newRow("5230") << 5230 << "5"
                              << "5,2"
                              << "5,23";
        QTest::newRow("10500") << 10500 << "10"
                               << "10,5"
                               << "10,50";
        QTest::newRow("65230") << 65230 << "1.05"
                               << "1.05,2"
                               << "1.05,23";
        QTest::newRow("3723040") << 3723040 << "1:02.03"
                                 << "1:02.03,0"
                                 << "1:02.03,04";
        QTest::newRow("43200000") << 43200000 << "12:00.00"
                                  << "12:00.00,0"
                                  << "12:00.00,00";
        QTest::newRow("100h 5s") << 360005000 << "5"
                                 << "5,0"
                                 << "5,00";
        QTest::newRow("9,999 truncates") << 9999 << "9"
                                         << "9,9"
                                         << "9,99";
        QTest::newRow("negative") << -1050 << "-1"
                                  << "-1,0"
                                  << "-1,05";
        QTest::newRow("most negative") << int(INT32_MIN) << "-96:31.23"
                                       << "-96:31.23,6"
                                       << "-96:31.23,64";
    }
    void runTimeText()
    {
        QFETCH(int, ms);
        QFETCH(QString, a0);
        QFETCH(QString, a1);
        QFETCH(QString, a2);
        QCOMPARE(RunTimeText(ms, 0), a0);
        QCOMPARE(RunTimeText(ms, 1), a1);
        QCOMPARE(RunTimeText(ms, 2), a2);
    }

    void timeOfDayText_padsWithZeros()
    {
        QCOMPARE(TimeOfDayText(QTime(9, 5, 7, 31)), QStringLiteral("9:05.07,03"));
        QCOMPARE(TimeOfDayText(QTime(14, 30, 0, 500)), QStringLiteral("14:30.00,50"));
        QCOMPARE(TimeOfDayText(QTime(0, 0, 0, 9)), QStringLiteral("0:00.00,00"));
    }

    void timeTextOrder_ranksValuesThenDashThenEmpty()
    {
        QStringList texts { QStringLiteral(""), QStringLiteral("-"), QStringLiteral("1.05,12"), QStringLiteral("12,34"),
            QStringLiteral("9,87"), QStringLiteral(" "), QStringLiteral("10,00") };
        std::stable_sort(
            texts.begin(), texts.end(), [](const QString& a, const QString& b) { return TimeTextOrder(a, b) < 0; });
        QCOMPARE(texts, (QStringList { "9,87", "10,00", "12,34", "1.05,12", "-", "", " " }));
        QCOMPARE(TimeTextOrder(QStringLiteral("9,87"), QStringLiteral("9,87")), 0);
        QCOMPARE(TimeTextOrder(QStringLiteral("9,88"), QStringLiteral("9,87")), 1);
        QCOMPARE(TimeTextOrder(QStringLiteral(" "), QString()), 1); // same rank, then by character
    }

    void displayTime_dimsLeadingZeros()
    {
        // 9:59:59,99 then 10:00:00,00: the hours digit shows 9, then 0 lit.
        DisplayTime d = SplitDisplayTime(35999990, 0);
        QCOMPARE(d.value, (std::array<int, 7> { 9, 5, 9, 5, 9, 9, 9 }));
        QVERIFY(d.lit[DisplayTime::Hours]);
        d = SplitDisplayTime(36000000, 0);
        QCOMPARE(d.value, (std::array<int, 7> { 0, 0, 0, 0, 0, 0, 0 }));
        QVERIFY(d.lit[DisplayTime::Hours] && d.lit[DisplayTime::TensOfMinutes] && d.lit[DisplayTime::Minutes]);

        // Row 0 at zero: only the seconds and the fraction are lit; row 1 is all dim.
        d = SplitDisplayTime(0, 0);
        QCOMPARE(d.lit, (std::array<bool, 7> { false, false, false, false, true, true, true }));
        d = SplitDisplayTime(0, 1);
        QCOMPARE(d.lit, (std::array<bool, 7> { false, false, false, false, false, false, false }));

        // 1:05,23 in row 1: tens of seconds lit because a minute precedes it.
        d = SplitDisplayTime(65230, 1);
        QCOMPARE(d.value, (std::array<int, 7> { 0, 0, 1, 0, 5, 2, 3 }));
        QCOMPARE(d.lit, (std::array<bool, 7> { false, false, true, true, true, true, true }));
        // 0,05 in row 1: a fraction alone lights the seconds and the fraction.
        d = SplitDisplayTime(50, 1);
        QCOMPARE(d.lit, (std::array<bool, 7> { false, false, false, false, true, true, true }));
    }
};

QTEST_GUILESS_MAIN(TestRaceText)
#include "tst_racetext.moc"
