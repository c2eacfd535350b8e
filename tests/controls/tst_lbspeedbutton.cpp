// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// TLbSpeedButton driven as a user would: mouse over it, press, release,
// accelerator keys; what the button shows is read back from its pixels.

// Mouse events go through the window, as real ones do, so entering and
// leaving a button is reported the way the window system reports it.
#define QTEST_QPA_MOUSE_HANDLING

#include "controls/ColorValue.h"
#include "controls/LbSpeedButton.h"

#include <QAction>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace {

QImage Strip(const QList<QColor>& colors, int size)
{
    QImage strip(size * int(colors.size()), size, QImage::Format_RGB32);
    strip.fill(Qt::magenta); // lower-left pixel: the transparent colour
    for (int i = 0; i < colors.size(); ++i)
        for (int y = 4; y < size - 4; ++y)
            for (int x = 4; x < size - 4; ++x)
                strip.setPixelColor(i * size + x, y, colors[i]);
    return strip;
}

void SetBackground(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// A shown window with a coloured background for the buttons.
struct Stage {
    QWidget window;
    Stage()
    {
        window.resize(300, 120);
        SetBackground(&window, QColor(0x20, 0x40, 0x60));
    }
    // Shown with the mouse in the lower right corner, away from the buttons.
    bool show()
    {
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return false;
        // Two moves: a move to where the last test left the mouse is dropped.
        QTest::mouseMove(&window, QPoint(280, 100));
        QTest::mouseMove(&window, QPoint(290, 110));
        return true;
    }
    // What the screen shows, straight from the window's backing store.
    QColor pixel(QWidget* w, QPoint p) { return window.grab().toImage().pixelColor(w->mapTo(&window, p)); }
};

void Enter(TLbSpeedButton* button)
{
    QTest::mouseMove(button, QPoint(button->width() / 2, button->height() / 2));
}

void Leave(Stage& stage)
{
    QTest::mouseMove(&stage.window, QPoint(290, 110));
}

} // namespace

class TestLbSpeedButton : public QObject {
    Q_OBJECT

private slots:
    void glyph_128x32GivesFourImages();
    void colorStyleRed_setsThePresetAndReadsCustom();
    void parentColor_followsTheParentUntilAColourIsSet();
    void shapeButton_showsTheImageOfEachStateOnTheBackground();
    void hotTracking_firesEnterAndExitOnlyWhenEnabled();
    void hotTrackColor_andHotTrackFontFollowTheMouse();
    void slowDecease_fadesIn8StepsOf30msAndRestartsOnReentry();
    void slowDeceaseOff_dropsTheHotLevelAndStopsTheFade();
    void flat_showsNoFrameAwayFromTheMouse();
    void press_showsDownAndClicksOnReleaseInside();
    void doubleClick_actsAsASecondPress();
    void grouping_keepsOneButtonDownPerGroup();
    void allowAllUp_letsTheDownButtonComeUp();
    void popupMenu_opensBelowTheButtonBeforeOnClick();
    void accelerator_clicksTheButton();
    void action_givesCaptionStateAndClick();
};

void TestLbSpeedButton::glyph_128x32GivesFourImages()
{
    TLbSpeedButton button;
    QCOMPARE(button.size(), QSize(100, 23));
    button.SetGlyph(QImage(128, 32, QImage::Format_RGB32));
    QCOMPARE(button.NumGlyphs(), 4);
    button.SetGlyph(QImage(100, 32, QImage::Format_RGB32));
    QCOMPARE(button.NumGlyphs(), 3);
    button.SetGlyph(QImage());
    QCOMPARE(button.NumGlyphs(), 0);
}

void TestLbSpeedButton::colorStyleRed_setsThePresetAndReadsCustom()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    button->resize(100, 64);
    button->SetFlat(true);
    button->SetColorStyle(lcsRed);
    QCOMPARE(button->ColorStyle(), lcsCustom);
    QCOMPARE(button->Color(), TColor(0x0000FF));
    QCOMPARE(button->LightColor(), TColor(0xC0C0FF));
    QCOMPARE(button->ShadowColor(), TColor(0x0000C0));
    QCOMPARE(button->ColorWhenDown(), clNone);
    QCOMPARE(button->HotTrackColor(), clNone);
    QCOMPARE(button->FontColor(), clBlack);
    QCOMPARE(button->Flat(), false);
    QCOMPARE(button->Style(), bsModern);
    QCOMPARE(button->ParentColor(), false);
    QVERIFY(stage.show());
    // Red where the gradient turns (below the top quarter), lighter above and below.
    QCOMPARE(stage.pixel(button, QPoint(50, 16)), QColor(0xFF, 0, 0));
    QCOMPARE(stage.pixel(button, QPoint(50, 60)).red(), 0xFF);
    QVERIFY(stage.pixel(button, QPoint(50, 60)).green() > 0xA0);

    button->SetColorStyle(lcsCustom);
    QCOMPARE(button->Style(), bsModern);
    button->SetColorStyle(lcsUltraFlat1);
    QCOMPARE(button->Color(), clBtnFace);
    QCOMPARE(button->Flat(), true);
    QCOMPARE(button->Style(), bsNormal);
    QCOMPARE(button->ColorWhenDown(), TColor(0xB59284));
}

void TestLbSpeedButton::parentColor_followsTheParentUntilAColourIsSet()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    QVERIFY(button->ParentColor());
    QCOMPARE(button->Color(), RGBColor(0x20, 0x40, 0x60));
    QVERIFY(stage.show());
    QCOMPARE(stage.pixel(button, QPoint(50, 10)), QColor(0x20, 0x40, 0x60));
    SetBackground(&stage.window, QColor(0x10, 0x10, 0x10));
    QCOMPARE(stage.pixel(button, QPoint(50, 10)), QColor(0x10, 0x10, 0x10));
    button->SetColor(clYellow);
    QVERIFY(!button->ParentColor());
    QCOMPARE(stage.pixel(button, QPoint(50, 10)), QColor(Qt::yellow));
}

void TestLbSpeedButton::shapeButton_showsTheImageOfEachStateOnTheBackground()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    button->setGeometry(10, 10, 40, 40);
    button->SetStyle(bsShape);
    button->SetGlyph(Strip({ Qt::red, Qt::green, Qt::blue, Qt::yellow }, 32));
    QVERIFY(stage.show());
    const QPoint middle(20, 20);
    const QColor background(0x20, 0x40, 0x60);

    QCOMPARE(stage.pixel(button, middle), QColor(Qt::red));
    QCOMPARE(stage.pixel(button, QPoint(1, 1)), background);
    QCOMPARE(stage.pixel(button, QPoint(5, 5)), background); // the glyph's own background is keyed out

    Enter(button);
    QTRY_VERIFY(button->Hot());
    QCOMPARE(stage.pixel(button, middle), QColor(Qt::yellow));

    QTest::mousePress(button, Qt::LeftButton, {}, middle);
    QCOMPARE(stage.pixel(button, middle), QColor(Qt::blue));
    QTest::mouseRelease(button, Qt::LeftButton, {}, middle);
    QCOMPARE(stage.pixel(button, middle), QColor(Qt::yellow));

    Leave(stage);
    QTRY_VERIFY(!button->Hot());
    QCOMPARE(stage.pixel(button, middle), QColor(Qt::red));

    button->setEnabled(false);
    QCOMPARE(stage.pixel(button, middle), QColor(Qt::green));
    Enter(button);
    QCOMPARE(stage.pixel(button, middle), QColor(Qt::green));
    QCOMPARE(stage.pixel(button, QPoint(1, 1)), background);
}

void TestLbSpeedButton::hotTracking_firesEnterAndExitOnlyWhenEnabled()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    QStringList events;
    button->OnMouseEnter = [&](TLbSpeedButton* sender) {
        QCOMPARE(sender, button);
        events << QStringLiteral("enter %1").arg(sender->HotLevel());
    };
    button->OnMouseExit = [&](TLbSpeedButton* sender) { events << QStringLiteral("exit %1").arg(sender->HotLevel()); };
    QVERIFY(stage.show());
    events.clear(); // the window may have opened under the mouse

    Enter(button);
    QTRY_COMPARE(events, QStringList({ "enter 8" }));
    QVERIFY(button->Hot());
    Leave(stage);
    QTRY_COMPARE(events, QStringList({ "enter 8", "exit 0" }));
    QVERIFY(!button->Hot());

    events.clear();
    button->setEnabled(false);
    Enter(button);
    Leave(stage);
    QCOMPARE(button->HotLevel(), 0);
    // Enabled again, the next visit is reported; anything the disabled
    // button had reported would stand before it.
    button->setEnabled(true);
    Enter(button);
    QTRY_COMPARE(events, QStringList({ "enter 8" }));
}

void TestLbSpeedButton::hotTrackColor_andHotTrackFontFollowTheMouse()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    button->SetColor(clBlack);
    button->SetHotTrackColor(clWhite);
    button->SetCaption(QStringLiteral("MMMM"));
    QFont big(QStringLiteral("Arial"));
    big.setPixelSize(18);
    big.setBold(true);
    button->SetHotTrackFont(big);
    button->SetHotTrackFontColor(clRed);
    button->SetUseHotTrackFont(true);
    QVERIFY(stage.show());

    const auto countRed = [&] {
        const QImage image = button->grab().toImage();
        int red = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                red += image.pixelColor(x, y) == QColor(Qt::red);
        return red;
    };
    QCOMPARE(stage.pixel(button, QPoint(96, 10)), QColor(Qt::black));
    QCOMPARE(countRed(), 0);
    Enter(button);
    QTRY_VERIFY(button->Hot());
    QCOMPARE(stage.pixel(button, QPoint(96, 10)), QColor(Qt::white));
    QVERIFY(countRed() > 20);
}

void TestLbSpeedButton::slowDecease_fadesIn8StepsOf30msAndRestartsOnReentry()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    button->SetColor(clBlack);
    button->SetHotTrackColor(clWhite);
    button->SetSlowDecease(true);
    QVERIFY(stage.show());
    const QPoint face(50, 10);

    Enter(button);
    QTRY_VERIFY(button->Hot());
    QCOMPARE(button->HotLevel(), 8);
    Leave(stage);
    QTRY_VERIFY(!button->Hot());
    QVERIFY(button->FadeRunning());
    QCOMPARE(button->FadeInterval(), 30);
    QCOMPARE(button->HotLevel(), 8);
    QCOMPARE(stage.pixel(button, face), QColor(Qt::white));

    // Steps driven here, one at a time, instead of waiting for the timer.
    for (int level = 7; level >= 0; --level) {
        button->FadeStep();
        QCOMPARE(button->HotLevel(), level);
        const int channel = 255 * level / 8;
        QCOMPARE(stage.pixel(button, face), QColor(channel, channel, channel));
    }
    QVERIFY(!button->FadeRunning());

    // Back over the button in the middle of a fade: fully hot again, and it
    // stays so while the mouse is there.
    Enter(button);
    QTRY_VERIFY(button->Hot());
    Leave(stage);
    QTRY_VERIFY(!button->Hot());
    button->FadeStep();
    button->FadeStep();
    QCOMPARE(button->HotLevel(), 6);
    Enter(button);
    QTRY_VERIFY(button->Hot());
    QCOMPARE(button->HotLevel(), 8);
    QVERIFY(!button->FadeRunning());
    Leave(stage);
    QTRY_VERIFY(!button->Hot());
    QCOMPARE(button->HotLevel(), 8);
    // Left to the timer, the fade ends at 0 by itself.
    QTRY_COMPARE(button->HotLevel(), 0);
    QVERIFY(!button->FadeRunning());
    QCOMPARE(stage.pixel(button, face), QColor(Qt::black));
}

void TestLbSpeedButton::slowDeceaseOff_dropsTheHotLevelAndStopsTheFade()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    button->SetSlowDecease(true);
    QVERIFY(stage.show());
    Enter(button);
    QTRY_VERIFY(button->Hot());
    Leave(stage);
    QTRY_VERIFY(!button->Hot());
    QVERIFY(button->FadeRunning());
    button->SetSlowDecease(false);
    QCOMPARE(button->HotLevel(), 0);
    QVERIFY(!button->FadeRunning());
    // Without the fade the level drops at once.
    Enter(button);
    QTRY_VERIFY(button->Hot());
    Leave(stage);
    QTRY_VERIFY(!button->Hot());
    QCOMPARE(button->HotLevel(), 0);
    QVERIFY(!button->FadeRunning());
}

void TestLbSpeedButton::flat_showsNoFrameAwayFromTheMouse()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    button->setGeometry(20, 20, 38, 40);
    button->SetFlat(true);
    QVERIFY(stage.show());
    const QColor background(0x20, 0x40, 0x60);
    QCOMPARE(stage.pixel(button, QPoint(0, 20)), background);
    QCOMPARE(stage.pixel(button, QPoint(37, 20)), background);
    Enter(button);
    QTRY_VERIFY(button->Hot());
    QCOMPARE(stage.pixel(button, QPoint(0, 20)), QColor(Qt::white));
    QCOMPARE(stage.pixel(button, QPoint(37, 20)), QColor(Qt::black));
    Leave(stage);
    QTRY_VERIFY(!button->Hot());
    QCOMPARE(stage.pixel(button, QPoint(0, 20)), background);
    // A disabled flat button shows no frame either; a non-flat one does.
    button->setEnabled(false);
    QCOMPARE(stage.pixel(button, QPoint(0, 20)), background);
    button->SetFlat(false);
    QCOMPARE(stage.pixel(button, QPoint(0, 20)), QColor(Qt::white));
}

void TestLbSpeedButton::press_showsDownAndClicksOnReleaseInside()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    int clicks = 0;
    button->OnClick = [&](TLbSpeedButton*) { ++clicks; };
    QVERIFY(stage.show());

    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(button->Down());
    QCOMPARE(stage.pixel(button, QPoint(0, 10)), QColor(Qt::black));
    QCOMPARE(clicks, 0);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!button->Down());
    QCOMPARE(stage.pixel(button, QPoint(0, 10)), QColor(Qt::white));
    QCOMPARE(clicks, 1);

    // Released outside: no click.
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(150, 10));
    QCOMPARE(clicks, 1);
    QVERIFY(!button->Down());
    // Other mouse buttons do not press it.
    QTest::mouseClick(button, Qt::RightButton, {}, QPoint(10, 10));
    QCOMPARE(clicks, 1);
    // A disabled button does not react.
    button->setEnabled(false);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(clicks, 1);
}

void TestLbSpeedButton::doubleClick_actsAsASecondPress()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    int clicks = 0;
    button->OnClick = [&](TLbSpeedButton*) { ++clicks; };
    QVERIFY(stage.show());
    QTest::mouseDClick(button, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(clicks, 2);
}

void TestLbSpeedButton::grouping_keepsOneButtonDownPerGroup()
{
    Stage stage;
    QList<TLbSpeedButton*> group;
    for (int i = 0; i < 3; ++i) {
        auto* button = new TLbSpeedButton(&stage.window);
        button->setGeometry(10 + 60 * i, 10, 50, 23);
        button->SetGroupIndex(1);
        group << button;
    }
    auto* other = new TLbSpeedButton(&stage.window);
    other->setGeometry(10, 60, 50, 23);
    other->SetGroupIndex(2);
    other->SetDown(true);
    QWidget elsewhere(&stage.window);
    elsewhere.setGeometry(200, 60, 100, 30);
    auto* stranger = new TLbSpeedButton(&elsewhere);
    stranger->SetGroupIndex(1);
    stranger->SetDown(true);
    QVERIFY(stage.show());

    QTest::mouseClick(group[0], Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(group[0]->Down());
    QTest::mouseClick(group[1], Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!group[0]->Down());
    QVERIFY(group[1]->Down());
    // The up button shows up at once.
    QCOMPARE(stage.pixel(group[0], QPoint(0, 10)), QColor(Qt::white));
    QCOMPARE(stage.pixel(group[1], QPoint(0, 10)), QColor(Qt::black));
    // Other groups and other parents are left alone.
    QVERIFY(other->Down());
    QVERIFY(stranger->Down());

    // Clicking the down button again keeps it down; so does setting it up.
    QTest::mouseClick(group[1], Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(group[1]->Down());
    group[1]->SetDown(false);
    QVERIFY(group[1]->Down());

    group[2]->SetDown(true);
    QVERIFY(!group[1]->Down());
    QVERIFY(group[2]->Down());

    // Without a group a button cannot be set down.
    auto* single = new TLbSpeedButton(&stage.window);
    single->SetDown(true);
    QVERIFY(!single->Down());
}

void TestLbSpeedButton::allowAllUp_letsTheDownButtonComeUp()
{
    Stage stage;
    auto* a = new TLbSpeedButton(&stage.window);
    auto* b = new TLbSpeedButton(&stage.window);
    b->move(0, 40);
    a->SetGroupIndex(3);
    b->SetGroupIndex(3);
    a->SetAllowAllUp(true);
    QVERIFY(b->AllowAllUp()); // shared by the group
    QVERIFY(stage.show());

    QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(a->Down());
    QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!a->Down());
    QVERIFY(!b->Down());
    b->SetDown(true);
    b->SetDown(false);
    QVERIFY(!b->Down());
}

void TestLbSpeedButton::popupMenu_opensBelowTheButtonBeforeOnClick()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    button->setGeometry(30, 20, 80, 23);
    button->SetColor(clSilver);
    QVERIFY(stage.show());
    const QColor beforeArrow = stage.pixel(button, QPoint(69, 10));

    QMenu menu;
    menu.addAction(QStringLiteral("Eintrag"));
    button->SetPopupMenu(&menu);
    // The arrow: 5 x 3, 11 pixels from the right, centred.
    QCOMPARE(beforeArrow, QColor(0xC0, 0xC0, 0xC0));
    QCOMPARE(stage.pixel(button, QPoint(69, 10)), QColor(Qt::black));
    QCOMPARE(stage.pixel(button, QPoint(71, 12)), QColor(Qt::black));

    QStringList order;
    QPoint menuAt;
    QTimer::singleShot(0, &menu, [&] {
        order << QStringLiteral("menu");
        menuAt = menu.pos();
        menu.close();
    });
    button->OnClick = [&](TLbSpeedButton*) { order << QStringLiteral("click"); };
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(order, QStringList({ "menu", "click" }));
    QCOMPARE(menuAt, button->mapToGlobal(QPoint(0, 23)));
}

void TestLbSpeedButton::accelerator_clicksTheButton()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    button->SetCaption(QStringLiteral("&Los"));
    bool shownDown = false;
    int clicks = 0;
    button->OnClick = [&](TLbSpeedButton* sender) {
        ++clicks;
        shownDown = sender->grab().toImage().pixelColor(0, 10) == QColor(Qt::black);
    };
    QVERIFY(stage.show());
    stage.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&stage.window));
    QTest::keyClick(&stage.window, Qt::Key_L, Qt::AltModifier);
    QCOMPARE(clicks, 1);
    QVERIFY(shownDown);
    QCOMPARE(stage.pixel(button, QPoint(0, 10)), QColor(Qt::white));
    QVERIFY(!button->Down());

    button->setEnabled(false);
    QTest::keyClick(&stage.window, Qt::Key_L, Qt::AltModifier);
    QCOMPARE(clicks, 1);
    // A new caption moves the accelerator.
    button->setEnabled(true);
    button->SetCaption(QStringLiteral("&Halt"));
    QTest::keyClick(&stage.window, Qt::Key_L, Qt::AltModifier);
    QCOMPARE(clicks, 1);
    QTest::keyClick(&stage.window, Qt::Key_H, Qt::AltModifier);
    QCOMPARE(clicks, 2);
}

void TestLbSpeedButton::action_givesCaptionStateAndClick()
{
    Stage stage;
    auto* button = new TLbSpeedButton(&stage.window);
    QAction action(QStringLiteral("Drucken"));
    action.setToolTip(QStringLiteral("Protokoll drucken"));
    int triggered = 0;
    connect(&action, &QAction::triggered, [&] { ++triggered; });
    button->SetAction(&action);
    QCOMPARE(button->Caption(), QStringLiteral("Drucken"));
    QCOMPARE(button->toolTip(), QStringLiteral("Protokoll drucken"));
    QVERIFY(stage.show());
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(triggered, 1);
    action.setEnabled(false);
    QVERIFY(!button->isEnabled());
    // OnClick takes the place of the action.
    action.setEnabled(true);
    int clicks = 0;
    button->OnClick = [&](TLbSpeedButton*) { ++clicks; };
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(clicks, 1);
    QCOMPARE(triggered, 1);
}

QTEST_MAIN(TestLbSpeedButton)
#include "tst_lbspeedbutton.moc"
