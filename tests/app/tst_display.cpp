// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindowFixture.h"

#include "app/Application.h"
#include "controls/Udigit.h"

#include <QLabel>

class TestDisplay : public QObject {
    Q_OBJECT

    static QList<int> values(TFormMain* w, int row)
    {
        QList<int> v;
        for (TDigit* d : w->ui.PanelTimer->Digits[row])
            v << d->Value();
        return v;
    }
    static QList<bool> lit(TFormMain* w, int row)
    {
        const TColor on = row == 0 ? w->Colours().digit : w->Colours().secondRow;
        QList<bool> v;
        for (TDigit* d : w->ui.PanelTimer->Digits[row])
            v << (d->ColorOn() == on);
        return v;
    }

private slots:
    void init() { ClearSettingsStore(); }
    void startUp_showsZeroWithOnlyTheRaceClockFractionLit()
    {
        MainWindowFixture f;
        QCOMPARE(values(f.w(), 0), (QList<int> { 0, 0, 0, 0, 0, 0, 0 }));
        QCOMPARE(lit(f.w(), 0), (QList<bool> { false, false, false, false, true, true, true }));
        QCOMPARE(lit(f.w(), 1), (QList<bool> { false, false, false, false, false, false, false }));
        QCOMPARE(f.w()->ui.PanelTimer->Digits[1][0]->ColorOn(), f.w()->Colours().dim);
        QCOMPARE(f.w()->ui.PanelTimer->width(), 444);
    }

    void raceClock_runsFromTheFirstStart_andRowOneFollowsTheCurrentEntry()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.start();
        f.tick.advance(65230);
        w->ui.Clock->Fire();
        QCOMPARE(values(w, 0), (QList<int> { 0, 0, 1, 0, 5, 2, 3 }));
        QCOMPARE(lit(w, 0), (QList<bool> { false, false, true, true, true, true, true }));
        // Row 2 is free and current: row 1 of the display is dim zero.
        QCOMPARE(values(w, 1), (QList<int> { 0, 0, 0, 0, 0, 0, 0 }));
        QCOMPARE(lit(w, 1), (QList<bool> { false, false, false, false, false, false, false }));
        // Selecting the running row makes the clock show its running time.
        op::SelectRow(*w, 1);
        w->ui.Clock->Fire();
        QCOMPARE(values(w, 1), (QList<int> { 0, 0, 1, 0, 5, 2, 3 }));
        f.stop(770); // 66,00
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("1.06,00"));
        // The finished row shows its run time once selected again.
        op::SelectRow(*w, 1);
        QCOMPARE(values(w, 1), (QList<int> { 0, 0, 1, 0, 6, 0, 0 }));
        QCOMPARE(lit(w, 1), (QList<bool> { false, false, true, true, true, true, true }));
    }

    void raceClock_atTenHours_showsALitZeroHour()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        w->ui.PanelTimer->ShowRow(0, 35999990);
        QCOMPARE(values(w, 0), (QList<int> { 9, 5, 9, 5, 9, 9, 9 }));
        QCOMPARE(w->ui.PanelTimer->Digits[0][0]->ColorOn(), w->Colours().digit);
        w->ui.PanelTimer->ShowRow(0, 36000000);
        QCOMPARE(values(w, 0), (QList<int> { 0, 0, 0, 0, 0, 0, 0 }));
        QCOMPARE(lit(w, 0), (QList<bool> { true, true, true, true, true, true, true }));
        QCOMPARE(w->ui.PanelTimer->LabHour->palette().color(QPalette::WindowText), ToQColor(w->Colours().digit));
        w->ui.PanelTimer->ShowRow(0, 5000);
        QCOMPARE(w->ui.PanelTimer->LabHour->palette().color(QPalette::WindowText), ToQColor(w->Colours().dim));
        QCOMPARE(w->ui.PanelTimer->LabSec->palette().color(QPalette::WindowText), ToQColor(w->Colours().digit));
    }

    void accuracy_hidesDigitsAndResizesThePanel()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        w->ui.PanelTimer->SetAccuracy(0);
        QCOMPARE(w->ui.PanelTimer->width(), 316);
        QVERIFY(w->ui.PanelTimer->Digits[0][DisplayTime::Tenths]->isHidden()
            && w->ui.PanelTimer->Digits[1][DisplayTime::Hundredths]->isHidden());
        QVERIFY(w->ui.PanelTimer->LabSec->isHidden() && w->ui.PanelTimer->LabSec2->isHidden()
            && w->ui.PanelTimer->Lab_100->isHidden());
        w->ui.PanelTimer->SetAccuracy(1);
        QCOMPARE(w->ui.PanelTimer->width(), 399);
        QVERIFY(!w->ui.PanelTimer->Digits[0][DisplayTime::Tenths]->isHidden());
        QVERIFY(w->ui.PanelTimer->Digits[0][DisplayTime::Hundredths]->isHidden());
        QCOMPARE(w->ui.PanelTimer->Lab_100->text(), QStringLiteral("1/10"));
        QCOMPARE(w->ui.PanelTimer->Lab_100->x(), 346);
        QVERIFY(!w->ui.PanelTimer->Lab_100->isHidden());
        w->ui.PanelTimer->SetAccuracy(7); // unknown: width unchanged
        QCOMPARE(w->ui.PanelTimer->width(), 399);
        w->ui.PanelTimer->SetAccuracy(2);
        QCOMPARE(w->ui.PanelTimer->width(), 444);
        QCOMPARE(w->ui.PanelTimer->Lab_100->text(), QStringLiteral("1/100"));
        QCOMPARE(w->ui.PanelTimer->Lab_100->x(), 366);
    }

    void accuracy_decidesTheRunTimeTexts()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        SetTiming(w->Race(), &race::RaceSettings::accuracy, 1);
        f.start();
        f.start(1050);
        op::SelectRow(*w, 1);
        f.stop(65230 - 1050);
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("1.05,2"));
        QCOMPARE(f.cell(kColSplit, 2), QStringLiteral("1,0"));
    }

    void timeOfDay_usesTheShortLocaleFormats()
    {
        MainWindowFixture f;
        const QString text = f.w()->ui.PanelDate->text();
        QVERIFY2(
            QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d\\d   \\d\\d:\\d\\d$")).match(text).hasMatch(),
            qPrintable(text));
    }
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestDisplay test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_display.moc"
