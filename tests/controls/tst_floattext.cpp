// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/FloatText.h"

#include <QtTest>

using namespace floattext;

namespace {

const QChar kComma = QLatin1Char(',');

Rules waitRules() // the start lockout field: 1,0 .. 600,0 s with one decimal
{
    return Rules { 1.0L, 600.0L, 1, kComma };
}

KeyResult type(const Rules& r, const QString& text, int start, int length, char c)
{
    return FilterKey(r, text, start, length, QLatin1Char(c));
}

} // namespace

class TestFloatText : public QObject {
    Q_OBJECT
private slots:
    void parse_acceptsTheNumberSyntaxWithTheGivenSeparator()
    {
        QCOMPARE(*Parse(u"3,25", kComma), 3.25L);
        QCOMPARE(*Parse(u"-0,5", kComma), -0.5L);
        QCOMPARE(*Parse(u"12,", kComma), 12.0L);
        QCOMPARE(*Parse(u",5", kComma), 0.5L);
        QCOMPARE(*Parse(u"1e3", kComma), 1000.0L);
        QCOMPARE(*Parse(u"2,5E-1", kComma), 0.25L);
        QCOMPARE(*Parse(u"1e", kComma), 1.0L); // exponent still being typed
        QCOMPARE(*Parse(u"1e-", kComma), 1.0L);
        QCOMPARE(*Parse(u" 7 ", kComma), 7.0L);
        QCOMPARE(*Parse(u"3.25", QLatin1Char('.')), 3.25L);
        QCOMPARE(*Parse(u"1e-99999", kComma), 0.0L);
    }

    void parse_rejectsTextsThatAreNoNumber()
    {
        for (const char* bad :
            { "", "-", ",", "e", "E5", "3.25", "3,2,5", "1e5e", "--1", "1 2", "abc", "0x10", "1e99999", "inf", "nan" })
            QVERIFY2(!Parse(QString::fromLatin1(bad), kComma), bad);
    }

    void format_showsExactlyDigitsDecimals_withTheSeparator()
    {
        QCOMPARE(Format(3.0L, 1, kComma), QStringLiteral("3,0"));
        QCOMPARE(Format(600.0L, 1, kComma), QStringLiteral("600,0"));
        QCOMPARE(Format(2.74L, 1, kComma), QStringLiteral("2,7"));
        QCOMPARE(Format(2.75L, 1, kComma), QStringLiteral("2,8")); // half away from zero
        QCOMPARE(Format(2.25L, 1, kComma), QStringLiteral("2,3"));
        QCOMPARE(Format(-2.25L, 1, kComma), QStringLiteral("-2,3"));
        QCOMPARE(Format(3.95L, 1, kComma), QStringLiteral("4,0"));
        QCOMPARE(Format(9.96L, 1, kComma), QStringLiteral("10,0"));
        QCOMPARE(Format(0.06L, 1, kComma), QStringLiteral("0,1"));
        QCOMPARE(Format(0.04L, 1, kComma), QStringLiteral("0,0"));
        QCOMPARE(Format(-0.04L, 1, kComma), QStringLiteral("0,0"));
        QCOMPARE(Format(0.0L, 0, kComma), QStringLiteral("0"));
        QCOMPARE(Format(7.5L, 0, kComma), QStringLiteral("8"));
        QCOMPARE(Format(1234567.0L, 2, QLatin1Char('.')), QStringLiteral("1234567.00"));
        QCOMPARE(Format(0.000123L, 5, kComma), QStringLiteral("0,00012"));
    }

    void format_keepsAtMost18SignificantDigits()
    {
        QCOMPARE(Format(0.1L, 18, kComma), QStringLiteral("0,100000000000000000"));
        QCOMPARE(Format(123.456L, 18, kComma), QStringLiteral("123,456000000000000000"));
        QCOMPARE(Format(1.0L / 3.0L, 25, kComma), QStringLiteral("0,333333333333333333")); // 18 decimals at most
        QCOMPARE(Format(1e20L, 1, kComma), QStringLiteral("100000000000000000000,0"));
    }

    void repeatedSteps_throughTheText_doNotAccumulateError()
    {
        const Rules r = waitRules();
        QString text = Format(1.0L, 1, kComma);
        for (int i = 0; i < 30; ++i)
            text = Format(ReadValue(r, text) + 0.1L, 1, kComma);
        QCOMPARE(text, QStringLiteral("4,0"));
        const Rules wide { 1.0L, 1000.0L, 1, kComma };
        for (int i = 0; i < 5990; ++i)
            text = Format(ReadValue(wide, text) + 0.1L, 1, kComma);
        QCOMPARE(text, QStringLiteral("603,0"));
        for (int i = 0; i < 6020; ++i)
            text = Format(ReadValue(wide, text) - 0.1L, 1, kComma);
        QCOMPARE(text, QStringLiteral("1,0"));
    }

    void readValue_treatsHalfTypedTextsAsZero_andClamps()
    {
        const Rules r = waitRules();
        QCOMPARE(ReadValue(r, u""), 1.0L); // 0, raised to Min
        QCOMPARE(ReadValue(r, u"-"), 1.0L);
        QCOMPARE(ReadValue(r, u","), 1.0L);
        QCOMPARE(ReadValue(r, u"E"), 1.0L);
        QCOMPARE(ReadValue(r, u"abc"), 1.0L); // not a number: Min
        QCOMPARE(ReadValue(r, u"2,5"), 2.5L);
        QCOMPARE(ReadValue(r, u"6000"), 600.0L);
        const Rules wide { -10.0L, 10.0L, 1, kComma };
        QCOMPARE(ReadValue(wide, u"-"), 0.0L);
        QCOMPARE(ReadValue(wide, u"xyz"), -10.0L);
    }

    void filter_sortsKeysBeforeLookingAtTheText()
    {
        const Rules r = waitRules();
        QCOMPARE(type(r, "3,0", 0, 0, '\r').action, KeyAction::EnterPress);
        QCOMPARE(type(r, "3,0", 0, 0, '\n').action, KeyAction::EnterPress);
        QCOMPARE(type(r, "3,0", 0, 0, 27).action, KeyAction::Escape);
        QCOMPARE(type(r, "3,0", 3, 0, 8).action, KeyAction::PassOn); // Backspace
        QCOMPARE(type(r, "3,0", 0, 0, 127).action, KeyAction::PassOn); // Delete under X11 and Wayland
        for (char c : { 'a', 'E', '+', '.', ' ', 'x' })
            QCOMPARE(type(r, "3", 1, 0, c).action, KeyAction::Consume);
    }

    void filter_allowsOnlyPathsThroughNumbersInRange()
    {
        const Rules r = waitRules();
        QCOMPARE(type(r, "3,0", 0, 3, '7').action, KeyAction::Insert); // over the selected text
        QCOMPARE(type(r, "60", 2, 0, '0').action, KeyAction::Insert);
        QCOMPARE(type(r, "600", 3, 0, '0').action, KeyAction::Consume); // 6000 > 600
        QCOMPARE(type(r, "", 0, 0, '0').action, KeyAction::Consume); // 0 < 1
        QCOMPARE(type(r, "3,2", 3, 0, '5').action, KeyAction::Consume); // a second decimal
        QCOMPARE(type(r, "3", 1, 0, ',').action, KeyAction::Insert);
        QCOMPARE(type(r, "3,2", 1, 0, ',').action, KeyAction::Consume); // two separators
        QCOMPARE(type(r, "3,2", 3, 0, 'e').action, KeyAction::Insert); // 3,2e is 3,2
        QCOMPARE(type(r, "3,2e", 4, 0, '1').action, KeyAction::Insert); // 32, decimals not counted
        QCOMPARE(type(r, "3,2e", 4, 0, '3').action, KeyAction::Consume); // 3200
        QCOMPARE(type(r, "3,2", 0, 0, '-').action, KeyAction::Consume); // below Min
    }

    void filter_turnsALoneSignOrSeparatorIntoANumber()
    {
        const Rules r = waitRules();
        const KeyResult minus = type(Rules { -5.0L, 5.0L, 1, kComma }, "", 0, 0, '-');
        QCOMPARE(minus.action, KeyAction::Replace);
        QCOMPARE(minus.text, QStringLiteral("-0"));
        QCOMPARE(minus.selectionStart, 1);
        QCOMPARE(minus.selectionLength, 1);
        // Not range-checked: 0,0 lies below Min here.
        const KeyResult sep = type(r, "12", 0, 2, ',');
        QCOMPARE(sep.action, KeyAction::Replace);
        QCOMPARE(sep.text, QStringLiteral("0,0"));
        QCOMPARE(sep.selectionStart, 2);
        QCOMPARE(sep.selectionLength, 1);
        QCOMPARE(type(r, "0,0", 2, 1, '5').action, KeyAction::Consume); // 0,5 < 1
    }

    void filter_refusesTheSeparatorWithoutDecimals()
    {
        const Rules r { 0.0L, 100.0L, 0, kComma };
        QCOMPARE(type(r, "5", 1, 0, ',').action, KeyAction::Consume);
        QCOMPARE(type(r, "5", 1, 0, '5').action, KeyAction::Insert);
        const Rules two { 0.0L, 100.0L, 2, kComma };
        QCOMPARE(type(two, "3,2", 3, 0, '5').action, KeyAction::Insert);
        QCOMPARE(type(two, "3,25", 4, 0, '1').action, KeyAction::Consume);
    }
};

QTEST_GUILESS_MAIN(TestFloatText)
#include "tst_floattext.moc"
