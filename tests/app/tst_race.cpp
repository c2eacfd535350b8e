// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindowFixture.h"

#include "app/Application.h"

#include "dialogs/Cfg.h"
#include "gridstore/CellTable.h"
#include "protocol/HtmlPage.h"
#include "protocol/ProtocolFiles.h"
#include "race/Journal.h"
#include "race/JournalRecovery.h"
#include "race/JournalStore.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>

namespace {
constexpr TColor kGreen = 0x008000, kRed = 0x0000FF, kBlue = 0xFF0000, kDarkRed = 0x000090;
}

class TestRace : public QObject {
    Q_OBJECT
private slots:
    void init() { ClearSettingsStore(); }
    void programStart_isReadyWithBothBarriersLocked()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        QVERIFY(w->ui.bSTART->isEnabled() && w->ui.mStart->isEnabled());
        QCOMPARE(w->ui.bSTART->Color(), kGreen);
        QVERIFY(!w->ui.bSTOP->isEnabled() && !w->ui.mStop->isEnabled());
        QVERIFY(!w->ui.bEnd->isEnabled() && !w->ui.bFStopp->isEnabled() && !w->ui.bRESET->isEnabled());
        QCOMPARE(f.current(), 1);
        QVERIFY(w->ui.ImageLSstart->isVisible() && w->ui.ImageLSstop->isVisible());
        QCOMPARE(w->ui.ImageLSstart->Tag, 0);
        QCOMPARE(w->ui.ImageLSstop->Tag, 0);

        // A start-barrier edge does nothing while the barrier is locked ...
        f.lines(0x20);
        QCOMPARE(f.cell(kColRaw, 1), QString());
        f.lines(0x00);
        // ... and starts row 1 once F11 has freed it.
        f.key(Qt::Key_F11);
        QCOMPARE(w->ui.ImageLSstart->Tag, 1);
        f.lines(0x20);
        QCOMPARE(f.cell(kColRaw, 1), QString::number(f.tick.tick().now()));
        QCOMPARE(w->ui.ImageLSstart->Tag, 0); // locked again by the start lockout
    }

    void startOnTheLastRow_appendsAFreeRowAndMovesOn()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        w->ui.SortGrid1->SetCells(0, 1, QStringLiteral("7"));
        w->ui.SortGrid1->SetCells(1, 1, QStringLiteral("Berg"));
        f.start();
        QCOMPARE(w->ui.SortGrid1->RowCount(), 3);
        QCOMPARE(f.cell(kColNr, 1), QStringLiteral("7"));
        QCOMPARE(f.cell(kColName, 1), QStringLiteral("Berg"));
        QCOMPARE(f.cell(kColSplit, 1), QStringLiteral("0,00"));
        QCOMPARE(f.cell(kColPlatz, 1), QStringLiteral("-"));
        QCOMPARE(f.cell(kColRaw, 1), QString::number(100000));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{1,2}:\\d\\d\\.\\d\\d,\\d\\d$"))
                    .match(f.cell(kColStart, 1))
                    .hasMatch());
        QCOMPARE(f.cell(kColPlatz, 2), QStringLiteral("-"));
        QCOMPARE(f.current(), 2);
        QVERIFY(w->ui.bSTART->isEnabled());
        QVERIFY(!w->ui.bSTOP->isEnabled());
        QVERIFY(w->ui.Clock->Enabled());
        QVERIFY(w->ui.bEnd->isEnabled());
        QCOMPARE(w->ui.bEnd->Color(), kBlue);
        QCOMPARE(w->ui.bFStopp->Color(), kDarkRed);
        QVERIFY(!w->ui.bCFG->isEnabled());
        QCOMPARE(w->ui.PanelTimer->Digits[1][DisplayTime::Seconds]->Value(), 0);
    }

    // STOPP is red and available only while the selected row runs; what a
    // stop writes and whom it makes current is the race's (tests/race).
    void stop_isOfferedForTheSelectedRunner()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.start(); // row 1 at 100000
        f.start(1000); // row 2 at 101000
        QVERIFY(!w->ui.bSTOP->isEnabled()); // the free row is current
        op::SelectRow(*w, 1);
        QVERIFY(w->ui.bSTOP->isEnabled());
        QCOMPARE(w->ui.bSTOP->Color(), kRed);
        f.stop(10000); // row 1: 111000 - 100000
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("11,00"));
        QCOMPARE(f.current(), 2); // the next runner, ready for F9
        QVERIFY(w->ui.bSTOP->isEnabled());
    }

    void headerClickBeforeTheFirstStop_placesStillGoByRunTime()
    {
        MainWindowFixture f;
        TSortGrid* g = f.grid();
        f.start(); // entries 1, 2, 3 at 100000, 101000, 102000
        f.start(1000);
        f.start(1000);
        // The operator sorts "Zeit" descending (a right click) before the first stop.
        const QPoint zeit = g->horizontalHeader()->viewport()->mapFrom(g, g->CellRect(3, 0).center());
        QTest::mouseClick(g->horizontalHeader()->viewport(), Qt::RightButton, {}, zeit);
        QCOMPARE(g->SortOptions().SortDirection, sdDescending);
        op::SelectRow(*f.w(), 2);
        f.stop(29390); // entry 2: 30,39
        f.stop(-24850); // the current runner, entry 1: 6,54
        auto rowOf = [&](const QString& nr) { return g->FindRow(0, nr); };
        QCOMPARE(f.cell(kColZeit, rowOf("1")), QStringLiteral("6,54"));
        QCOMPARE(f.cell(kColPlatz, rowOf("1")), QStringLiteral("1"));
        QCOMPARE(f.cell(kColPlatz, rowOf("2")), QStringLiteral("2"));
        // The display keeps the operator's order: the longer time on top.
        QVERIFY(rowOf("2") < rowOf("1"));
        // The next stop goes to the entry still running.
        QCOMPARE(f.current(), rowOf("3"));
        QVERIFY(f.w()->ui.bSTOP->isEnabled());
    }

    void heldKeys_runOneCommandPerPress()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        // A held key: one press, then the keyboard's repeats.
        auto hold = [&](Qt::Key key, int repeats) {
            qt_sendShortcutOverrideEvent(w, 0, key, Qt::NoModifier, QString(), false);
            for (int i = 0; i < repeats; ++i)
                qt_sendShortcutOverrideEvent(w, 0, key, Qt::NoModifier, QString(), true);
        };
        hold(Qt::Key_F5, 20);
        QCOMPARE(f.grid()->RowCount(), 3);
        QCOMPARE(f.cell(kColRaw, 2), QString());
        f.start(1000);
        op::SelectRow(*w, 1);
        f.tick.advance(1000);
        hold(Qt::Key_F9, 20);
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("2,00"));
        QCOMPARE(f.cell(kColZeit, 2), QString()); // the second runner still runs
        hold(Qt::Key_F8, 5);
        QCOMPARE(w->ui.ListBoxStopp->count(), 1);
        hold(Qt::Key_F11, 5);
        QCOMPARE(w->ui.ImageLSstart->Tag, 1);

        // On X11 a repeat may arrive unmarked, as a release and a press with
        // one time stamp; a press by hand comes well after the release.
        op::SelectRow(*w, f.grid()->RowCount() - 1);
        const int rows = f.grid()->RowCount();
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F5, Qt::NoModifier);
        release.setTimestamp(50000);
        QApplication::sendEvent(w, &release);
        qt_sendShortcutOverrideEvent(w, 50000, Qt::Key_F5, Qt::NoModifier, QString(), false);
        QCOMPARE(f.grid()->RowCount(), rows);
        qt_sendShortcutOverrideEvent(w, 50120, Qt::Key_F5, Qt::NoModifier, QString(), false);
        QCOMPARE(f.grid()->RowCount(), rows + 1);
    }

    void startAndStopButtons_neverHandTheFocusToEndeOrReset()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        w->activateWindow();
        f.press(w->ui.bSTART); // on the last row: a row is appended
        QVERIFY(w->ui.bEnd->isEnabled());
        QCOMPARE(QApplication::focusWidget(), w->ui.bSTART);
        // Space now must not end the race.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(w->ui.Clock->Enabled());
        op::SelectRow(*w, 1);
        f.tick.advance(2000);
        f.press(w->ui.bSTOP); // the pressed button turns grey: the focus goes to START
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("2,00"));
        QCOMPARE(QApplication::focusWidget(), w->ui.bSTART);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(w->ui.Clock->Enabled());
    }

    void stopOnAFinishedRow_neverOverwritesIt()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.start();
        op::SelectRow(*w, 1);
        f.stop(12340);
        QCOMPARE(f.current(), 2);
        op::Erase(*w); // the free row stays: START needs it
        QCOMPARE(f.grid()->RowCount(), 3);
        op::SelectRow(*w, 1);
        QVERIFY(!w->ui.bSTOP->isEnabled() && !w->ui.mStop->isEnabled());
        QCOMPARE(w->ui.bSTOP->Color(), clBtnFace);
        f.stop(5000);
        f.stop(5000);
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("12,34"));
        QCOMPARE(f.cell(kColRaw, 1), QStringLiteral("12340"));
    }

    void endeThenStart_makesEndeAvailableAgain_andRowOneFollowsTheSelection()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.start(); // entry 1 at 100000
        f.start(4000); // entry 2 at 104000
        op::SelectRow(*w, 1);
        f.tick.advance(1000);
        op::End(*w);
        QCOMPARE(w->ui.PanelTimer->Digits[1][DisplayTime::Seconds]->Value(), 5); // entry 1: 5 s
        op::SelectRow(*w, 2);
        QCOMPARE(w->ui.PanelTimer->Digits[1][DisplayTime::Seconds]->Value(), 1); // entry 2: 1 s, not entry 1's time
        op::SelectRow(*w, 3);
        f.start(1000);
        QVERIFY(w->ui.Clock->Enabled());
        QVERIFY(w->ui.bEnd->isEnabled());
        QCOMPARE(w->ui.bEnd->Color(), kBlue);
        op::End(*w);
        QVERIFY(!w->ui.Clock->Enabled());
    }

    void reset_leavesStoppGreyOnTheEmptyTable()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.start();
        f.start();
        op::End(*w);
        op::SelectRow(*w, 1);
        QVERIFY(w->ui.bSTOP->isEnabled());
        f.answerNextDialog(6);
        f.press(w->ui.bRESET);
        QCOMPARE(f.grid()->RowCount(), 2);
        QVERIFY(!w->ui.bSTOP->isEnabled() && !w->ui.mStop->isEnabled());
        QCOMPARE(w->ui.bSTOP->Color(), clBtnFace);
        QVERIFY(!w->ui.bEnd->isEnabled());
        QCOMPARE(w->ui.PanelTimer->Digits[1][DisplayTime::Seconds]->ColorOn(), w->Colours().dim);
    }

    void settingsDialog_keepsTheFormatWhileTheClockRuns()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TCfgDialog* d = w->ui.CfgDialog;
        f.start();
        bool enabled = true;
        QString tip;
        dialogs::SetDialogHandler([&](QDialog*) {
            enabled = d->cbDigits->isEnabled();
            tip = d->cbDigits->toolTip();
            d->cbDigits->setCurrentIndex(2);
            d->cbStopFirst->setCurrentIndex(1); // the other settings stay changeable
            return int(QDialog::Accepted);
        });
        QTest::keyClick(w, Qt::Key_E, Qt::AltModifier);
        QVERIFY(!enabled);
        QVERIFY(tip.contains(QStringLiteral("Rennens")));
        QCOMPARE(w->Race().Settings().accuracy, 2);
        QVERIFY(w->Race().Settings().stopFirst);
        op::End(*w);
        dialogs::SetDialogHandler([&](QDialog*) {
            enabled = d->cbDigits->isEnabled();
            d->cbDigits->setCurrentIndex(1);
            return int(QDialog::Accepted);
        });
        w->ui.EinstellunGen1->trigger();
        QVERIFY(enabled);
        QCOMPARE(w->Race().Settings().accuracy, 1);
        dialogs::SetDialogHandler({});
    }

    void stopFirst_theStopBarrierStopsTheEarliestRunnerWhileTheFreeRowIsCurrent()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        SetTiming(w->Race(), &race::RaceSettings::stopFirst, true);
        f.key(Qt::Key_F11);
        f.key(Qt::Key_F12);
        f.lines(0x20); // entry 1 at 100000
        f.lines(0x00);
        w->ui.TimerGesperrtStart->Fire();
        f.tick.advance(1000);
        f.lines(0x20); // entry 2 at 101000
        f.lines(0x00);
        w->ui.TimerGesperrtStart->Fire();
        QCOMPARE(f.current(), 3);
        QVERIFY(w->ui.bSTOP->isEnabled() && w->ui.bSTART->isEnabled());
        QCOMPARE(w->ui.ImageLSstop->Tag, 1);
        f.tick.advance(9000);
        f.lines(0x10); // the stop barrier, with the free row current
        QCOMPARE(f.cell(kColZeit, f.grid()->FindRow(0, "1")), QStringLiteral("10,00"));
        QCOMPARE(f.cell(kColRaw, f.current()), QString()); // the free row is current again
        QCOMPARE(w->ui.ListBoxStopp->count(), 0);
        f.lines(0x00);
        w->ui.TimerGesperrtStop->Fire(); // entry 2 still runs: the stop barrier is freed
        QCOMPARE(w->ui.ImageLSstop->Tag, 1);
        f.tick.advance(500);
        f.lines(0x10);
        QCOMPARE(f.cell(kColZeit, f.grid()->FindRow(0, "2")), QStringLiteral("9,50"));
        // A new entry starts from the same free row.
        f.lines(0x20);
        QCOMPARE(f.cell(kColRaw, f.grid()->FindRow(0, "3")), QString::number(f.tick.tick().now()));
    }

    void stopImpulseWithNothingToStop_isKeptAndCanBeInserted()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        f.key(Qt::Key_F11);
        f.key(Qt::Key_F12);
        f.lines(0x20); // entry 1 at 100000; the free row 2 is current
        f.lines(0x00);
        f.tick.advance(7250);
        f.lines(0x10);
        QCOMPARE(w->ui.ListBoxStopp->count(), 1);
        QCOMPARE(w->ui.ListBoxStopp->currentRow(), 0);
        QCOMPARE(w->ui.ListBoxStopp->item(0)->data(Qt::UserRole).toInt(), 107250);
        QCOMPARE(f.cell(kColZeit, 1), QString());

        // The operator selects the running entry and inserts the time.
        op::SelectRow(*w, 1);
        QVERIFY(w->ui.PastefromFStopp->isVisible());
        op::OpenContextMenu(*w);
        QVERIFY(w->ui.PastefromFStopp->isEnabled());
        w->ui.PastefromFStopp->trigger();
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("7,25"));
        QCOMPARE(f.cell(kColRaw, 1), QStringLiteral("7250"));
        QCOMPARE(f.cell(kColPlatz, 1), QStringLiteral("1"));
        QCOMPARE(w->ui.ListBoxStopp->item(0)->foreground().color(), QColor(Qt::gray));
        QVERIFY(!w->ui.ListBoxStopp->item(0)->isSelected());
        op::SelectRow(*w, 1);
        op::OpenContextMenu(*w);
        QVERIFY(!w->ui.PastefromFStopp->isEnabled());
    }

    void startLockout_isNotExtendedByASecondStart()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        f.key(Qt::Key_F11); // free the start barrier
        f.start();
        QVERIFY(w->ui.TimerGesperrtStart->Enabled());
        QCOMPARE(w->ui.ImageLSstart->Tag, 0);
        f.start(100); // accepted by key, lockout keeps running
        QCOMPARE(f.cell(kColRaw, 2), QString::number(100100));
        // A barrier edge during the lockout is dropped.
        f.lines(0x20);
        QCOMPARE(f.cell(kColRaw, 3), QString());
        f.lines(0x00);
        // The lockout ends: the barrier is freed because START is available.
        w->ui.TimerGesperrtStart->Fire();
        QVERIFY(!w->ui.TimerGesperrtStart->Enabled());
        QCOMPARE(w->ui.ImageLSstart->Tag, 1);
        f.lines(0x20);
        QCOMPARE(f.cell(kColRaw, 3), QString::number(100100));
    }

    void bothLinesOn_dependsOnTheAlgorithm()
    {
        {
            MainWindowFixture f(true);
            TFormMain* w = f.w();
            w->LightBarriers().SetAlgorithm(0); // "Ein": STOPP first, then START
            f.key(Qt::Key_F11);
            f.key(Qt::Key_F12);
            f.start();
            w->ui.TimerGesperrtStart->Fire();
            op::SelectRow(*w, 1);
            f.tick.advance(2000);
            f.lines(0x30);
            QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("2,00"));
            // After the stop the free row 2 became current and was started.
            QCOMPARE(f.cell(kColRaw, 2), QString::number(102000));
        }
        {
            MainWindowFixture f(true);
            TFormMain* w = f.w();
            w->LightBarriers().SetAlgorithm(1); // "Aus": both on triggers nothing
            f.key(Qt::Key_F11);
            f.key(Qt::Key_F12);
            f.start();
            w->ui.TimerGesperrtStart->Fire();
            op::SelectRow(*w, 1);
            f.lines(0x30);
            QCOMPARE(f.cell(kColZeit, 1), QString());
            QCOMPARE(f.cell(kColRaw, 2), QString());
            f.lines(0x10); // CTS alone stops
            QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("0,00"));
        }
    }

    void pulseOverBeforeItIsHandled_stillStarts()
    {
        MainWindowFixture f(true);
        f.key(Qt::Key_F11);
        // A DSR pulse that is over before the GUI thread gets to it: its
        // on-edge is a change of its own and starts the row.
        f.lab.HoldWait(1, true);
        f.lab.Pulse(1, 0x20);
        f.lab.HoldWait(1, false);
        QTRY_COMPARE(f.cell(kColRaw, 1), QString::number(f.tick.tick().now()));
        QTRY_COMPARE(f.w()->LightBarriers().Levels(), 0u); // and its off-edge came after
    }

    void interimStop_beforeTheFirstStart_recordsTheTimeOfDay()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        QVERIFY(!w->ui.bFStopp->isEnabled());
        f.key(Qt::Key_F8);
        QCOMPARE(w->ui.ListBoxStopp->count(), 1);
        QCOMPARE(w->ui.ListBoxStopp->currentRow(), 0);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{1,2}:\\d\\d\\.\\d\\d,\\d\\d$"))
                    .match(w->ui.ListBoxStopp->item(0)->text())
                    .hasMatch());
        QCOMPARE(f.cell(kColRaw, 1), QString());
        QCOMPARE(w->Race().FirstStart().value_or(0), 0);
    }

    void afterEnde_aFreeRowRestartsOnTheOldFirstStart()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.start();
        f.tick.advance(5000);
        op::End(*w);
        QVERIFY(!w->ui.Clock->Enabled());
        QVERIFY(!w->ui.bSTART->isEnabled() && !w->ui.mStart->isEnabled());
        QVERIFY(w->ui.bRESET->isEnabled() && w->ui.mReset->isEnabled());
        QVERIFY(w->ui.bRESET->hasFocus());
        f.start(); // F5 does nothing after ENDE
        QCOMPARE(f.cell(kColRaw, 2), QString());
        op::SelectRow(*w, 2);
        QVERIFY(w->ui.bSTART->isEnabled());
        f.start();
        QCOMPARE(f.cell(kColSplit, 2), QStringLiteral("5,00"));
        QVERIFY(w->ui.Clock->Enabled());
    }

    // ENDE hands the focus to the reset button; Return or Enter there asks
    // the reset question as Space does, once however long the key is held.
    void returnOrEnter_pressTheFocusedButton()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        w->activateWindow();
        QTRY_VERIFY(w->isActiveWindow());
        f.start();
        QCOMPARE(f.cell(kColRaw, 1), QString::number(100000));
        op::End(*w);
        QCOMPARE(QApplication::focusWidget(), w->ui.bRESET);

        int asked = 0;
        dialogs::SetDialogHandler([&](QDialog*) {
            ++asked;
            f.shownDialogText = w->ui.FDlgYesNo->Label1->text();
            return int(TFDlgYesNo::kResultCancel);
        });
        QTest::keyPress(w->ui.bRESET, Qt::Key_Return);
        QCOMPARE(asked, 0); // asked when the key comes up, as with Space
        for (int i = 0; i < 3; ++i)
            QTest::simulateEvent(w->ui.bRESET, true, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QTest::keyRelease(w->ui.bRESET, Qt::Key_Return);
        QCOMPARE(asked, 1);
        QCOMPARE(f.shownDialogText, QStringLiteral("Protokoll wird gelöscht!"));
        QCOMPARE(f.grid()->RowCount(), 3);

        f.answerNextDialog(6);
        QTest::keyClick(w->ui.bRESET, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(f.grid()->RowCount(), 2);
        QCOMPARE(f.cell(kColRaw, 1), QString());
    }

    void reset_answeredCancel_changesOnlyTheCaptions()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.start();
        op::End(*w);
        f.answerNextDialog(2);
        f.press(w->ui.bRESET);
        QCOMPARE(f.shownDialogText, QStringLiteral("Protokoll wird gelöscht!"));
        QCOMPARE(w->ui.FDlgYesNo->OKBtn->text(), QStringLiteral("Ja"));
        QCOMPARE(w->ui.FDlgYesNo->CancelBtn->text(), QStringLiteral("Nein"));
        QCOMPARE(f.grid()->RowCount(), 3);
        QVERIFY(w->Race().FirstStart().value_or(0) != 0);

        f.answerNextDialog(6);
        f.press(w->ui.bRESET);
        QCOMPARE(f.grid()->RowCount(), 2);
        QCOMPARE(f.cell(kColRaw, 1), QString());
        QCOMPARE(w->Race().FirstStart().value_or(0), 0);
        QVERIFY(w->ui.bSTART->isEnabled() && !w->ui.bRESET->isEnabled());
        QCOMPARE(w->ui.bSTART->Color(), kGreen);
        QVERIFY(w->ui.bCFG->isEnabled());
        QCOMPARE(w->ui.FDlgYesNo->OKBtn->text(), QStringLiteral("Ja"));
    }

    // The error is a notice in the header, not a box: the keys go on.
    void stopOnADamagedRawColumn_showsTheErrorAndWritesNothing()
    {
        MainWindowFixture f;
        f.start();
        op::SelectRow(*f.w(), 1);
        f.grid()->SetCells(6, 1, QStringLiteral("12x"));
        f.w()->ui.mStop->setEnabled(true);
        dialogs::TakeShownMessages();
        f.stop(1000);
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QVERIFY(f.w()->ui.LabNotice->isVisible());
        QVERIFY(f.w()->ui.LabNotice->toolTip().contains(QStringLiteral("12x")));
        QCOMPARE(f.cell(kColZeit, 1), QString());
        op::SelectRow(*f.w(), 2);
        f.start(1000);
        QCOMPARE(f.cell(kColNr, 2), QStringLiteral("2"));
        // A click puts the notice away.
        QTest::mouseClick(f.w()->ui.LabNotice, Qt::LeftButton);
        QVERIFY(!f.w()->ui.LabNotice->isVisible());
    }

    // F9 acts on the selected entry only: on one with a status it stops
    // nobody and says why, though "ersten Läufer" is set; the stop barrier
    // still stops the earliest runner.
    void stopKey_neverStopsAnotherRunnerThanTheSelectedOne()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        SetTiming(w->Race(), &race::RaceSettings::stopFirst, true);
        f.start(); // 1
        f.start(1000); // 2
        op::SelectRow(*w, f.grid()->FindRow(0, "2"));
        op::SetStatus(*w, protocol::EntryStatus::DNF);
        op::SelectRow(*w, f.grid()->FindRow(0, "2"));
        QVERIFY(w->ui.mStop->isEnabled()); // the barrier would stop entry 1
        f.stop(5000);
        QCOMPARE(f.cell(kColZeit, f.grid()->FindRow(0, "1")), QString());
        QVERIFY(w->ui.LabNotice->isVisible());
        QCOMPARE(w->ui.LabNotice->toolTip(), QStringLiteral("STOPP: niemand gestoppt\nNr. 2 hat den Status DNF"));
        // Not started: the same.
        op::SelectRow(*w, f.grid()->RowCount() - 1);
        f.stop(100);
        QCOMPARE(w->ui.LabNotice->toolTip(),
            QStringLiteral("STOPP: niemand gestoppt\nDie gewählte Zeile ist nicht gestartet"));
        QCOMPARE(f.cell(kColZeit, f.grid()->FindRow(0, "1")), QString());
        QCOMPARE(w->ui.ImageLSstop->Tag, 1); // freed by the starts: the barrier could stop entry 1
        f.tick.advance(1000);
        f.lines(0x10);
        QCOMPARE(f.cell(kColZeit, f.grid()->FindRow(0, "1")), QStringLiteral("7,10"));
        QVERIFY(!w->ui.LabNotice->isVisible()); // the stop made the note untrue
        // With "gewählte Zeile" STOPP is not even available there; F9 says
        // why all the same.
        SetTiming(w->Race(), &race::RaceSettings::stopFirst, false);
        op::SelectRow(*w, f.grid()->FindRow(0, "2"));
        QVERIFY(!w->ui.mStop->isEnabled());
        f.stop(100);
        QVERIFY(w->ui.LabNotice->isVisible());
        QCOMPARE(w->ui.LabNotice->toolTip(), QStringLiteral("STOPP: niemand gestoppt\nNr. 2 hat den Status DNF"));
        // A stop by key puts the note away as well; a failure would stay.
        op::SelectRow(*w, f.grid()->RowCount() - 1);
        f.start(100);
        QVERIFY(!w->ui.LabNotice->isVisible());
    }

    // "Stopp zurücknehmen" on the wrong runner's stop, the stop given to the
    // runner who finished, Ctrl+Z, and the journal: a recovery builds the
    // same table, and the outputs show it.
    void takeBackStop_givesTheStopToTheRightRunner_throughUndoAndRecovery()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.start(); // 1 at 100000
        f.start(2000); // 2 at 102000
        op::SelectRow(*w, f.grid()->FindRow(0, "2"));
        f.stop(10000); // 2 selected, but 1 crossed the line at 112000
        const int wrong = f.grid()->FindRow(0, "2");
        QCOMPARE(f.cell(kColZeit, wrong), QStringLiteral("10,00"));
        op::SelectRow(*w, wrong);
        op::OpenContextMenu(*w);
        QVERIFY(w->ui.mTakeBackStop->isEnabled());
        QVERIFY(w->ui.PopupMenuList->actions().contains(w->ui.mTakeBackStop));
        op::CloseContextMenu(*w);
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.cell(kColZeit, f.grid()->FindRow(0, "2")), QString());
        QCOMPARE(f.cell(kColRaw, f.grid()->FindRow(0, "2")), QStringLiteral("102000"));
        QCOMPARE(w->ui.ListBoxStopp->count(), 1);
        QCOMPARE(w->ui.ListBoxStopp->currentRow(), 0);

        op::SelectRow(*w, f.grid()->FindRow(0, "1"));
        op::OpenContextMenu(*w);
        QVERIFY(!w->ui.mTakeBackStop->isEnabled()); // runs: no stop to take back
        QVERIFY(w->ui.PastefromFStopp->isEnabled());
        op::CloseContextMenu(*w);
        op::PasteInterim(*w);
        QCOMPARE(f.cell(kColZeit, f.grid()->FindRow(0, "1")), QStringLiteral("12,00"));
        QCOMPARE(f.cell(kColPlatz, f.grid()->FindRow(0, "1")), QStringLiteral("1"));
        // Ctrl+Z: 1 runs again, the time is loose; inserted once more.
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.cell(kColZeit, f.grid()->FindRow(0, "1")), QString());
        op::SelectRow(*w, f.grid()->FindRow(0, "1"));
        w->ui.ListBoxStopp->setCurrentRow(0);
        op::PasteInterim(*w);
        QCOMPARE(f.cell(kColZeit, f.grid()->FindRow(0, "1")), QStringLiteral("12,00"));
        op::SelectRow(*w, f.grid()->FindRow(0, "2"));
        f.stop(3000);
        QCOMPARE(f.cell(kColZeit, f.grid()->FindRow(0, "2")), QStringLiteral("13,00"));

        // After a crash the journal gives back the same race.
        race::RaceJournal& journal = w->Journal().File();
        QVERIFY(journal.WaitDurable(journal.LastSeq(), 10000));
        const std::optional<race::JournalContents> contents = race::ReadJournal(journal.FileName());
        QVERIFY(contents);
        TCellStore store(protocol::kTableColCount, 2);
        for (int c = 0; c < protocol::kTableColCount; ++c)
            store.SetCell(c, 0, protocol::kTableHeaders[static_cast<size_t>(c)]);
        TStoreTable table(store);
        TSortOptions order;
        race::Race recovered(table, order);
        const race::JournalRecovery r = race::RecoverJournal(recovered, *contents, race::ClockNow::Read());
        QCOMPARE(r.disagreeing, 0);
        QVERIFY(r.stop.isEmpty());
        QCOMPARE(recovered.Digest(), w->Race().Digest());
        QCOMPARE(protocol::ProtocolTextBytes(store), protocol::ProtocolTextBytes(f.grid()->Store()));
        QCOMPARE(protocol::HtmlPageBytes(store, QStringLiteral("t")),
            protocol::HtmlPageBytes(f.grid()->Store(), QStringLiteral("t")));
    }

    void exportButtons_followTheRowCount()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        QVERIFY(!w->ui.sbSave->isEnabled() && !w->ui.sbHTML->isEnabled() && !w->ui.sbPrint->isEnabled());
        f.start();
        QVERIFY(w->ui.sbSave->isEnabled() && w->ui.sbHTML->isEnabled() && w->ui.sbExcel->isEnabled());
        QVERIFY(w->ui.sbPrint->isEnabled());
        f.printer.set(false);
        op::LookAtFileBar(*w);
        QVERIFY(!w->ui.sbPrint->isEnabled());
    }
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestRace test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_race.moc"
