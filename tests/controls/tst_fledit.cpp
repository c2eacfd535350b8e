// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/Dialogs.h"
#include "controls/FlEdit.h"
#include "controls/MessageTimer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

namespace {

// A window with the start lockout field as the settings dialog sets it up and
// a second field to move the focus to.
struct Form {
    QWidget window;
    TSpinFloatEdit* edit;
    QLineEdit* other;

    Form()
    {
        auto* layout = new QVBoxLayout(&window);
        edit = new TSpinFloatEdit(&window);
        other = new QLineEdit(&window);
        layout->addWidget(edit);
        layout->addWidget(other);
        edit->SetIncrement(0.1L);
        edit->SetDigits(1);
        edit->SetValue(3.0L);
        edit->SetMin(1.0L);
        edit->SetMax(600.0L);
    }

    bool show()
    {
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        edit->setFocus(Qt::TabFocusReason);
        return edit->hasFocus();
    }
};

void type(QWidget* w, const char* keys)
{
    QTest::keyClicks(w, QString::fromLatin1(keys));
}

} // namespace

class TestFloatEdit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { dialogs::SetTestMode(true); }
    void init() { dialogs::SetTestMode(true); }

    void newField_showsMinWithTheLocaleSeparator()
    {
        TSpinFloatEdit edit;
        QCOMPARE(edit.DecimalSeparator(), QLatin1Char(',')); // CTest runs in German
        QCOMPARE(edit.text(), QStringLiteral("0,0"));
        QCOMPARE(edit.Value(), 0.0L);
        QCOMPARE(edit.Max(), 100.0L);
        QCOMPARE(edit.Increment(), 1.0L);
        QCOMPARE(edit.Alignment(), Qt::Alignment(Qt::AlignRight));
        QVERIFY(edit.EditorEnabled());
        QVERIFY(edit.AutoSelect());
        Form f;
        QCOMPARE(f.edit->text(), QStringLiteral("3,0"));
    }

    void typingOverTheSelection_thenLeaving_formatsTheNumber()
    {
        Form f;
        QVERIFY(f.show());
        QCOMPARE(f.edit->selectedText(), QStringLiteral("3,0"));
        type(f.edit, "7");
        QCOMPARE(f.edit->text(), QStringLiteral("7"));
        QTest::keyClick(f.edit, Qt::Key_Tab);
        QVERIFY(f.other->hasFocus());
        QCOMPARE(f.edit->text(), QStringLiteral("7,0"));
        QCOMPARE(f.edit->Value(), 7.0L);
    }

    void typing_refusesEveryPrefixOutOfRange()
    {
        Form f;
        QVERIFY(f.show());
        type(f.edit, "60");
        QCOMPARE(f.edit->text(), QStringLiteral("60"));
        type(f.edit, "0");
        QCOMPARE(f.edit->text(), QStringLiteral("600"));
        type(f.edit, "0");
        QCOMPARE(f.edit->text(), QStringLiteral("600"));
        QTest::keyClick(f.edit, Qt::Key_A, Qt::ControlModifier);
        type(f.edit, "0x+.");
        QCOMPARE(f.edit->text(), QStringLiteral("600"));
        type(f.edit, "-"); // a lone sign is not range-checked
        QCOMPARE(f.edit->text(), QStringLiteral("-0"));
        QCOMPARE(f.edit->selectedText(), QStringLiteral("0"));
        type(f.edit, "5");
        QCOMPARE(f.edit->text(), QStringLiteral("-0"));
        QTest::keyClick(f.edit, Qt::Key_A, Qt::ControlModifier);
        type(f.edit, "3,25");
        QCOMPARE(f.edit->text(), QStringLiteral("3,2"));
        QTest::keyClick(f.edit, Qt::Key_Backspace);
        QCOMPARE(f.edit->text(), QStringLiteral("3,"));
    }

    void separatorIntoAnEmptyField_givesZeroWithTheLastDigitSelected()
    {
        Form f;
        QVERIFY(f.show());
        QTest::keyClick(f.edit, Qt::Key_Backspace);
        QCOMPARE(f.edit->text(), QString());
        QCOMPARE(f.edit->Value(), 1.0L); // empty reads as 0, raised to Min
        type(f.edit, ",");
        QCOMPARE(f.edit->text(), QStringLiteral("0,0"));
        QCOMPARE(f.edit->selectionStart(), 2);
        QCOMPARE(f.edit->selectedText(), QStringLiteral("0"));
        type(f.edit, "5"); // 0,5 is below Min
        QCOMPARE(f.edit->text(), QStringLiteral("0,0"));

        // Leaving with 0,0 below Min: the value at entry comes back, the focus stays.
        f.edit->SetErrorMessage(QStringLiteral("Bitte 1 bis 600 Sekunden"));
        QTest::keyClick(f.edit, Qt::Key_Tab);
        QVERIFY(f.edit->hasFocus());
        QVERIFY(!f.other->hasFocus());
        QCOMPARE(f.edit->text(), QStringLiteral("3,0"));
        QCOMPARE(f.edit->selectedText(), QStringLiteral("3,0"));
        const auto shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("Bitte 1 bis 600 Sekunden"));

        type(f.edit, "5");
        QTest::keyClick(f.edit, Qt::Key_Tab);
        QVERIFY(f.other->hasFocus());
        QCOMPARE(f.edit->text(), QStringLiteral("5,0"));
    }

    void leavingWithAPastedTextOutOfRange_restoresTheValueAtEntry()
    {
        Form f;
        QVERIFY(f.show());
        type(f.edit, "12");
        QTest::keyClick(f.edit, Qt::Key_Tab);
        QCOMPARE(f.edit->text(), QStringLiteral("12,0"));
        f.edit->setFocus(Qt::TabFocusReason); // value at entry now 12
        QGuiApplication::clipboard()->setText(QStringLiteral("700"));
        QTest::keyClick(f.edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f.edit->text(), QStringLiteral("700"));
        f.other->setFocus(Qt::MouseFocusReason);
        QVERIFY(f.edit->hasFocus());
        QCOMPARE(f.edit->text(), QStringLiteral("12,0"));
        QCOMPARE(dialogs::TakeShownMessages().size(), 0); // no ErrorMessage set

        QGuiApplication::clipboard()->setText(QStringLiteral("zwölf"));
        QTest::keyClick(f.edit, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(f.edit, Qt::Key_Tab);
        QVERIFY(f.edit->hasFocus());
        QCOMPARE(f.edit->text(), QStringLiteral("12,0"));
    }

    void escape_restoresTheValueAtEntry_andEnterKeepsTheValue()
    {
        Form f;
        int enters = 0;
        f.edit->OnEnterPress = [&](QObject* sender, QChar& key) {
            QCOMPARE(sender, f.edit);
            QCOMPARE(key, QLatin1Char('\r'));
            ++enters;
        };
        QVERIFY(f.show());
        type(f.edit, "45");
        QTest::keyClick(f.edit, Qt::Key_Return);
        QCOMPARE(enters, 1);
        QCOMPARE(f.edit->text(), QStringLiteral("45"));
        QTest::keyClick(f.edit, Qt::Key_Up);
        QCOMPARE(f.edit->text(), QStringLiteral("45,1"));
        QTest::keyClick(f.edit, Qt::Key_Escape);
        QCOMPARE(f.edit->text(), QStringLiteral("3,0"));
        QCOMPARE(f.edit->selectedText(), QStringLiteral("3,0"));
        QVERIFY(f.edit->hasFocus());
    }

    void thirtyStepsOfATenth_fromOne_readExactlyFour()
    {
        Form f;
        f.edit->SetValue(1.0L);
        QVERIFY(f.show());
        for (int i = 0; i < 30; ++i)
            QTest::keyClick(f.edit, Qt::Key_Up);
        QCOMPARE(f.edit->text(), QStringLiteral("4,0"));
        QCOMPARE(f.edit->Value(), 4.0L);
    }

    void steps_stopAtTheBounds()
    {
        Form f;
        f.edit->SetValue(1.0L);
        QVERIFY(f.show());
        QTest::keyClick(f.edit, Qt::Key_Down);
        QCOMPARE(f.edit->text(), QStringLiteral("1,0"));
        f.edit->SetValue(599.9L);
        QTest::keyClick(f.edit, Qt::Key_Up);
        QCOMPARE(f.edit->text(), QStringLiteral("600,0"));
        QTest::keyClick(f.edit, Qt::Key_Up);
        QCOMPARE(f.edit->text(), QStringLiteral("600,0"));
    }

    void valueWrites_areClamped_withTheErrorMessageWhenSet()
    {
        Form f;
        f.edit->SetValue(700.0L);
        QCOMPARE(f.edit->text(), QStringLiteral("600,0"));
        QCOMPARE(dialogs::TakeShownMessages().size(), 0);
        f.edit->SetErrorMessage(QStringLiteral("Ungültiger Wert"));
        f.edit->SetValue(0.5L);
        QCOMPARE(f.edit->text(), QStringLiteral("1,0"));
        f.edit->SetValue(2.74L);
        QCOMPARE(f.edit->text(), QStringLiteral("2,7"));
        const auto shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("Ungültiger Wert"));
    }

    void inconsistentBounds_raiseAndLeaveTheBoundsUnchanged()
    {
        Form f;
        try {
            f.edit->SetMin(700.0L);
            QFAIL("no error for Min above Max");
        } catch (const EFloatEditError& e) {
            QCOMPARE(e.Message(), QStringLiteral("Minimum value must not be greater than maximum value !"));
        }
        try {
            f.edit->SetMax(0.5L);
            QFAIL("no error for Max below Min");
        } catch (const EFloatEditError& e) {
            QCOMPARE(e.Message(), QStringLiteral("Maximum value must not be less than minimum value !"));
        }
        QCOMPARE(f.edit->Min(), 1.0L);
        QCOMPARE(f.edit->Max(), 600.0L);
        f.edit->SetMin(5.0L); // rewrites the value silently
        QCOMPARE(f.edit->text(), QStringLiteral("5,0"));
        f.edit->SetValue(300.0L);
        f.edit->SetMax(200.0L);
        QCOMPARE(f.edit->text(), QStringLiteral("200,0"));
        QCOMPARE(dialogs::TakeShownMessages().size(), 0);
    }

    void digits_reformatTheText_upTo18()
    {
        Form f;
        f.edit->SetDigits(2);
        QCOMPARE(f.edit->text(), QStringLiteral("3,00"));
        f.edit->SetDigits(0);
        QCOMPARE(f.edit->text(), QStringLiteral("3"));
        f.edit->SetDigits(40);
        QCOMPARE(f.edit->Digits(), 18);
        QCOMPARE(f.edit->text(), QStringLiteral("3,000000000000000000"));
    }

    void loading_appliesTheValueAfterTheFinalBounds()
    {
        TSpinFloatEdit edit;
        edit.BeginLoading();
        edit.SetIncrement(0.1L);
        edit.SetDigits(1);
        edit.SetValue(300.0L);
        edit.SetMin(1.0L);
        edit.SetMax(600.0L);
        edit.EndLoading();
        QCOMPARE(edit.text(), QStringLiteral("300,0"));

        TSpinFloatEdit unloaded; // the same writes outside loading clamp to the first Max
        unloaded.SetValue(300.0L);
        unloaded.SetMax(600.0L);
        QCOMPARE(unloaded.text(), QStringLiteral("100,0"));
    }

    void disabledEditor_blocksTyping_butTheButtonsStillStep()
    {
        Form f;
        f.edit->SetEditorEnabled(false);
        QVERIFY(f.show());
        type(f.edit, "7");
        QTest::keyClick(f.edit, Qt::Key_Backspace);
        QTest::keyClick(f.edit, Qt::Key_Delete);
        QTest::keyClick(f.edit, Qt::Key_Up);
        QGuiApplication::clipboard()->setText(QStringLiteral("5"));
        QTest::keyClick(f.edit, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(f.edit, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(f.edit->text(), QStringLiteral("3,0"));
        QTest::mouseClick(f.edit->UpButton(), Qt::LeftButton);
        QCOMPARE(f.edit->text(), QStringLiteral("3,1"));
    }

    void readOnly_orAComputedIncrement_replaceTheStep()
    {
        Form f;
        f.edit->SetReadOnly(true);
        f.edit->StepUp();
        QCOMPARE(f.edit->text(), QStringLiteral("3,0"));
        f.edit->SetReadOnly(false);
        QList<bool> calls;
        f.edit->OnComputedIncrement = [&](QObject* sender, bool up) {
            QCOMPARE(sender, f.edit);
            calls << up;
        };
        f.edit->StepUp();
        f.edit->StepDown();
        QCOMPARE(calls, QList<bool>({ true, false }));
        QCOMPARE(f.edit->text(), QStringLiteral("3,0"));
    }

    void arrowButtons_stepOncePerClick_andTakeTheFocus()
    {
        Form f;
        QVERIFY(f.show());
        f.other->setFocus();
        QTest::mouseClick(f.edit->UpButton(), Qt::LeftButton);
        QVERIFY(f.edit->hasFocus());
        QCOMPARE(f.edit->text(), QStringLiteral("3,1"));
        QTest::mouseClick(f.edit->DownButton(), Qt::LeftButton);
        QTest::mouseClick(f.edit->DownButton(), Qt::LeftButton);
        QCOMPARE(f.edit->text(), QStringLiteral("2,9"));
        QVERIFY(!f.edit->RepeatTimer()->Enabled());
    }

    void heldArrowButton_repeatsItsStep_firstAfter400ThenEvery100Ms()
    {
        Form f;
        QVERIFY(f.show());
        TMessageTimer* repeat = f.edit->RepeatTimer();
        QTest::mousePress(f.edit->UpButton(), Qt::LeftButton);
        QCOMPARE(f.edit->text(), QStringLiteral("3,0")); // the press alone does not step
        QVERIFY(repeat->Enabled());
        QCOMPARE(repeat->Interval(), 400);
        repeat->Fire();
        QCOMPARE(f.edit->text(), QStringLiteral("3,1"));
        QCOMPARE(repeat->Interval(), 100);
        repeat->Fire();
        repeat->Fire();
        QCOMPARE(f.edit->text(), QStringLiteral("3,3"));
        QTest::mouseRelease(f.edit->UpButton(), Qt::LeftButton);
        QCOMPARE(f.edit->text(), QStringLiteral("3,4")); // the click of the release
        QVERIFY(!repeat->Enabled());
        repeat->Fire(); // a tick already on its way after the release adds nothing
        QCOMPARE(f.edit->text(), QStringLiteral("3,4"));

        // Held down, the next press waits the long delay again; the down
        // button repeats downwards.
        QTest::mousePress(f.edit->DownButton(), Qt::LeftButton);
        QCOMPARE(repeat->Interval(), 400);
        repeat->Fire();
        QCOMPARE(f.edit->text(), QStringLiteral("3,3"));
        QTest::mouseRelease(f.edit->DownButton(), Qt::LeftButton);
        QCOMPARE(f.edit->text(), QStringLiteral("3,2"));
    }

    void heldArrowButton_repeatsOnItsOwn()
    {
        Form f;
        QVERIFY(f.show());
        QTest::mousePress(f.edit->UpButton(), Qt::LeftButton);
        QTRY_VERIFY(f.edit->Value() >= 3.2L); // at least two repeats while held
        QTest::mouseRelease(f.edit->UpButton(), Qt::LeftButton);
        QVERIFY(!f.edit->RepeatTimer()->Enabled());
    }

    void deleteKey_withTheTextX11Sends_deletesTheCharacter()
    {
        Form f;
        QVERIFY(f.show());
        f.edit->setCursorPosition(0);
        // X11 and Wayland deliver Delete with the text DEL (U+007F).
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)));
        QApplication::sendEvent(f.edit, &press);
        QCOMPARE(f.edit->text(), QStringLiteral(",0"));
        f.edit->selectAll();
        QKeyEvent again(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)));
        QApplication::sendEvent(f.edit, &again);
        QCOMPARE(f.edit->text(), QString());

        // A disabled editor still refuses it.
        f.edit->SetValue(3.0L);
        f.edit->SetEditorEnabled(false);
        f.edit->setCursorPosition(0);
        QKeyEvent blocked(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)));
        QApplication::sendEvent(f.edit, &blocked);
        QCOMPARE(f.edit->text(), QStringLiteral("3,0"));
    }

    void mouseWheel_stepsOncePerNotch_withinMinAndMax()
    {
        Form f;
        QVERIFY(f.show());
        auto wheel = [&](int delta) {
            const QPointF at = f.edit->rect().center();
            QWheelEvent e(at, f.edit->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
            QApplication::sendEvent(f.edit, &e);
            return e.isAccepted();
        };
        QVERIFY(wheel(120));
        QCOMPARE(f.edit->text(), QStringLiteral("3,1"));
        wheel(240); // two notches at once
        QCOMPARE(f.edit->text(), QStringLiteral("3,3"));
        wheel(-120);
        QCOMPARE(f.edit->text(), QStringLiteral("3,2"));
        // A fine-grained wheel steps once its small turns add up to a notch.
        wheel(60);
        QCOMPARE(f.edit->text(), QStringLiteral("3,2"));
        wheel(60);
        QCOMPARE(f.edit->text(), QStringLiteral("3,3"));

        f.edit->SetValue(1.1L);
        wheel(-360);
        QCOMPARE(f.edit->text(), QStringLiteral("1,0"));
        f.edit->SetValue(599.9L);
        wheel(240);
        QCOMPARE(f.edit->text(), QStringLiteral("600,0"));

        // Read-only: the wheel goes on to the window (to scroll it), nothing steps.
        f.edit->SetReadOnly(true);
        QVERIFY(!wheel(120));
        QCOMPARE(f.edit->text(), QStringLiteral("600,0"));
    }

    void buttons_sitAtTheRightEdge_andTheHeightHasAFloor()
    {
        TSpinFloatEdit edit;
        const int h = std::max(25, edit.MinHeight());
        edit.resize(121, h);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        // Inside a 2-pixel frame, one pixel clear of it at the right and the bottom.
        const int pair = h - 5;
        QCOMPARE(edit.UpButton()->geometry(), QRect(103, 2, 15, pair / 2));
        QCOMPARE(edit.DownButton()->geometry(), QRect(103, 2 + pair / 2 - 1, 15, pair - pair / 2 + 1));
        edit.setFrame(false);
        edit.resize(121, h + 1);
        QCOMPARE(edit.UpButton()->geometry(), QRect(106, 1, 15, (h - 2) / 2));

        const int floor = edit.MinHeight();
        QVERIFY(floor > QFontMetrics(edit.font()).height());
        edit.resize(121, 5);
        QCOMPARE(edit.height(), floor);
        QFont large = edit.font();
        large.setPointSize(large.pointSize() * 3);
        edit.setFont(large);
        QVERIFY(edit.MinHeight() > floor);
        QCOMPARE(edit.height(), edit.MinHeight());
    }

    void entering_selectsAllUnlessByMouse()
    {
        Form f;
        QVERIFY(f.show());
        f.other->setFocus(Qt::TabFocusReason);
        f.edit->setFocus(Qt::MouseFocusReason);
        QVERIFY(f.edit->selectedText().isEmpty());
        f.other->setFocus(Qt::TabFocusReason);
        QTest::keyClick(f.other, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(f.edit->hasFocus());
        QCOMPARE(f.edit->selectedText(), QStringLiteral("3,0"));
    }
};

QTEST_MAIN(TestFloatEdit)
#include "tst_fledit.moc"
