// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// TBitBtnWithColor as the race window uses it: recoloured while pressed,
// disabled, focused, pressed with any mouse button; and the bitmap-button
// kinds a dialog would use.

#define QTEST_QPA_MOUSE_HANDLING

#include "controls/ButtonGlyphs.h"
#include "controls/ButtonWithColor.h"
#include "controls/ColorValue.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {

QFont CaptionFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(24);
    font.setBold(true);
    return font;
}

struct Stage {
    QWidget window;
    TBitBtnWithColor* button;
    Stage()
    {
        window.resize(200, 100);
        button = new TBitBtnWithColor(&window);
        button->setGeometry(10, 10, 95, 42);
        button->setFont(CaptionFont());
        button->SetFontColor(clWhite);
        button->SetCaption(QStringLiteral("START"));
    }
    bool show()
    {
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
    // What the window system was last given, without painting anything anew.
    QImage screen() const { return window.screen()->grabWindow(window.winId()).toImage(); }
    QColor screenPixel(QPoint inButton) const { return screen().pixelColor(button->mapTo(&window, inButton)); }
    QImage face() const { return button->grab().toImage(); }
};

int Count(const QImage& image, const QColor& color)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == color;
    return n;
}

// Bounding box of the pixels of one colour, inside the 3-pixel edge.
QRect Box(const QImage& image, const QColor& color)
{
    QRect box;
    for (int y = 3; y < image.height() - 3; ++y)
        for (int x = 3; x < image.width() - 3; ++x)
            if (image.pixelColor(x, y) == color)
                box |= QRect(x, y, 1, 1);
    return box;
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

QImage RedSquareStrip(int images)
{
    QImage strip(16 * images, 16, QImage::Format_RGB32);
    strip.fill(Qt::magenta);
    const QColor colors[] = { Qt::red, Qt::green, Qt::blue, Qt::yellow };
    for (int i = 0; i < images; ++i)
        for (int y = 4; y < 12; ++y)
            for (int x = 4; x < 12; ++x)
                strip.setPixelColor(16 * i + x, y, colors[i]);
    return strip;
}

} // namespace

class TestButtonWithColor : public QObject {
    Q_OBJECT

private slots:
    void defaults_andBoundedProperties();
    void setColor_repaintsAtOnceAndOnlyOnChange();
    void colorChangedWhilePressed_showsAtOnce();
    void upFace_hasARaisedEdgeAndDownFaceAShadowBorder();
    void disabled_drawsAGreyCaptionWithAWhiteShadow();
    void activeButton_getsFrameAndFocusRectangle();
    void mouseDown_firesForEveryMouseButton();
    void mouseDown_openingADialogLeavesTheButtonUp();
    void glyph_isComposedOnTheFaceColourPerState();
    void glyph_isDrawnBesideTheCaptionAndMovesWhenDown();
    void kind_presetsCaptionDefaultResultAndGlyph();
    void kind_readsCustomOnceChangedByHand();
    void kindButtons_closeTheirDialogWithTheirResult();
    void closeAndHelpKinds_actInsteadOfTheClick();
};

void TestButtonWithColor::defaults_andBoundedProperties()
{
    TBitBtnWithColor button;
    QCOMPARE(button.Color(), clBtnFace);
    QCOMPARE(button.NumGlyphs(), 1);
    QCOMPARE(button.Kind(), bkCustom);
    QCOMPARE(button.Layout(), blGlyphLeft);
    QCOMPARE(button.Margin(), -1);
    QCOMPARE(button.Spacing(), 4);
    QCOMPARE(button.Style(), bsAutoDetect);
    QCOMPARE(button.Tag, 0);
    button.SetNumGlyphs(7);
    QCOMPARE(button.NumGlyphs(), 4);
    button.SetNumGlyphs(0);
    QCOMPARE(button.NumGlyphs(), 1);
    button.SetMargin(3);
    button.SetMargin(-5);
    QCOMPARE(button.Margin(), 3);
    button.SetMargin(-1);
    QCOMPARE(button.Margin(), -1);
    button.SetStyle(bsWin31);
    QCOMPARE(button.Style(), bsWin31);
}

void TestButtonWithColor::setColor_repaintsAtOnceAndOnlyOnChange()
{
    Stage stage;
    QVERIFY(stage.show());
    PaintCounter counter;
    stage.button->installEventFilter(&counter);
    stage.button->SetColor(0x008000);
    QCOMPARE(counter.paints, 1);
    stage.button->SetColor(0x008000);
    QCOMPARE(counter.paints, 1);
    QCOMPARE(stage.screenPixel(QPoint(10, 10)), QColor(0x00, 0x80, 0x00));
}

void TestButtonWithColor::colorChangedWhilePressed_showsAtOnce()
{
    Stage stage;
    stage.button->SetColor(0x008000);
    QVERIFY(stage.show());
    QTest::mousePress(stage.button, Qt::LeftButton, {}, QPoint(40, 20));
    QVERIFY(stage.button->isDown());
    QCOMPARE(stage.screenPixel(QPoint(10, 10)), QColor(0x00, 0x80, 0x00));
    // START turns to STOPP red while the mouse is still down; no event is
    // processed in between.
    stage.button->SetColor(0x0000FF);
    QCOMPARE(stage.screenPixel(QPoint(10, 10)), QColor(0xFF, 0x00, 0x00));
    QCOMPARE(stage.screenPixel(QPoint(1, 20)), ToQColor(clBtnShadow)); // still drawn down, inside the focus frame
    stage.button->SetColor(clBtnFace);
    QCOMPARE(stage.screenPixel(QPoint(10, 10)), ToQColor(clBtnFace));
    QTest::mouseRelease(stage.button, Qt::LeftButton, {}, QPoint(40, 20));
}

void TestButtonWithColor::upFace_hasARaisedEdgeAndDownFaceAShadowBorder()
{
    Stage stage;
    stage.button->setFocusPolicy(Qt::NoFocus);
    stage.button->SetColor(0xFF0000);
    stage.button->SetFontColor(clYellow);
    QVERIFY(stage.show());
    const QImage up = stage.face();
    QCOMPARE(up.pixelColor(0, 0), ToQColor(cl3DLight));
    QCOMPARE(up.pixelColor(1, 1), ToQColor(clBtnHighlight));
    QCOMPARE(up.pixelColor(94, 41), ToQColor(cl3DDkShadow));
    QCOMPARE(up.pixelColor(93, 40), ToQColor(clBtnShadow));
    QCOMPARE(up.pixelColor(2, 2), QColor(0, 0, 0xFF));
    QCOMPARE(up.pixelColor(47, 2), QColor(0, 0, 0xFF));

    QTest::mousePress(stage.button, Qt::LeftButton, {}, QPoint(40, 20));
    const QImage down = stage.face();
    QCOMPARE(down.pixelColor(0, 0), ToQColor(clBtnShadow));
    QCOMPARE(down.pixelColor(94, 41), ToQColor(clBtnShadow));
    QCOMPARE(down.pixelColor(1, 1), QColor(0, 0, 0xFF));
    // The caption moves one pixel right and down.
    QCOMPARE(Box(down, Qt::yellow), Box(up, Qt::yellow).translated(1, 1));
    QVERIFY(!Box(up, Qt::yellow).isEmpty());
    QTest::mouseRelease(stage.button, Qt::LeftButton, {}, QPoint(40, 20));
}

void TestButtonWithColor::disabled_drawsAGreyCaptionWithAWhiteShadow()
{
    Stage stage;
    stage.button->SetFontColor(clRed);
    stage.button->setEnabled(false);
    QVERIFY(stage.show());
    const QImage face = stage.face();
    const QColor grey(0x80, 0x80, 0x80);
    QCOMPARE(Count(face, Qt::red), 0);
    QVERIFY(Count(face, grey) > 50);
    // The white copy peeks out below and right of the grey one.
    int shadowed = 0;
    for (int y = 0; y + 1 < face.height(); ++y)
        for (int x = 0; x + 1 < face.width(); ++x)
            shadowed += face.pixelColor(x, y) == grey && face.pixelColor(x + 1, y + 1) == Qt::white;
    QVERIFY(shadowed > 10);
    QVERIFY(Box(face, grey).adjusted(0, 0, 1, 1).contains(Box(face, Qt::white)));

    // Enabled again: the font colour is back, nothing grey.
    stage.button->setEnabled(true);
    QVERIFY(Count(stage.face(), Qt::red) > 50);
    QCOMPARE(Count(stage.face(), grey), 0);
}

void TestButtonWithColor::activeButton_getsFrameAndFocusRectangle()
{
    Stage stage;
    stage.button->SetColor(0x000000);
    auto* other = new TBitBtnWithColor(&stage.window);
    other->setGeometry(110, 10, 80, 30);
    auto* edit = new QLineEdit(&stage.window);
    edit->setGeometry(10, 60, 80, 20);
    QVERIFY(stage.show());
    stage.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&stage.window));

    edit->setFocus();
    QVERIFY(!stage.button->IsActiveButton());
    QImage face = stage.face();
    QCOMPARE(face.pixelColor(0, 0), ToQColor(cl3DLight));
    QCOMPARE(face.pixelColor(4, 4), QColor(Qt::black));

    stage.button->setFocus();
    QVERIFY(stage.button->IsActiveButton());
    face = stage.face();
    QCOMPARE(face.pixelColor(0, 0), ToQColor(clWindowFrame));
    QCOMPARE(face.pixelColor(1, 1), ToQColor(cl3DLight));
    // Dotted, inverting: every other pixel 4 inside the edge.
    QCOMPARE(face.pixelColor(4, 4), QColor(Qt::white));
    QCOMPARE(face.pixelColor(5, 4), QColor(Qt::black));
    QCOMPARE(face.pixelColor(6, 4), QColor(Qt::white));
    QCOMPARE(face.pixelColor(4, 6), QColor(Qt::white));
    QCOMPARE(face.pixelColor(3, 4), QColor(Qt::black));

    // The default button is active while no other button has the focus.
    stage.button->setDefault(true);
    edit->setFocus();
    QVERIFY(stage.button->IsActiveButton());
    QCOMPARE(stage.face().pixelColor(0, 0), ToQColor(clWindowFrame));
    other->setFocus();
    QVERIFY(!stage.button->IsActiveButton());
    QTRY_COMPARE(stage.screenPixel(QPoint(0, 0)), ToQColor(cl3DLight));
}

void TestButtonWithColor::mouseDown_firesForEveryMouseButton()
{
    Stage stage;
    QStringList downs;
    int clicks = 0;
    stage.button->OnMouseDown
        = [&](TBitBtnWithColor* sender, Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y) {
              QCOMPARE(sender, stage.button);
              downs << QStringLiteral("%1 %2 %3,%4").arg(int(button)).arg(int(mods)).arg(x).arg(y);
          };
    stage.button->OnClick = [&](TBitBtnWithColor*) { ++clicks; };
    QVERIFY(stage.show());

    QTest::mousePress(stage.button, Qt::RightButton, Qt::ShiftModifier, QPoint(7, 9));
    QCOMPARE(downs, QStringList({ QStringLiteral("%1 %2 7,9").arg(int(Qt::RightButton)).arg(int(Qt::ShiftModifier)) }));
    QTest::mouseRelease(stage.button, Qt::RightButton, Qt::ShiftModifier, QPoint(7, 9));
    QCOMPARE(clicks, 0);

    // The race acts on the press, before any click.
    downs.clear();
    QTest::mousePress(stage.button, Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(downs.size(), 1);
    QCOMPARE(clicks, 0);
    QTest::mouseRelease(stage.button, Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(clicks, 1);

    // A double click is a second press.
    downs.clear();
    QTest::mouseDClick(stage.button, Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(downs.size(), 2);

    // A handler that disables its own button (START does) leaves it up and
    // unclicked.
    downs.clear();
    clicks = 0;
    stage.button->OnMouseDown = [&](TBitBtnWithColor* sender, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        sender->setEnabled(false);
    };
    QTest::mouseClick(stage.button, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!stage.button->isDown());
    QCOMPARE(clicks, 0);
}

void TestButtonWithColor::mouseDown_openingADialogLeavesTheButtonUp()
{
    Stage stage;
    stage.button->setFocusPolicy(Qt::NoFocus); // STOPP takes no focus
    int clicks = 0;
    stage.button->OnClick = [&](TBitBtnWithColor*) { ++clicks; };
    stage.button->OnMouseDown = [&](TBitBtnWithColor*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        QDialog question(&stage.window);
        question.resize(120, 60);
        QTimer::singleShot(50, &question, &QDialog::reject);
        question.exec();
    };
    QVERIFY(stage.show());
    stage.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&stage.window));
    QTest::mousePress(stage.button, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!stage.button->isDown());
    QTest::mouseRelease(stage.button, Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(clicks, 0);
}

void TestButtonWithColor::glyph_isComposedOnTheFaceColourPerState()
{
    TBitBtnWithColor button;
    QVERIFY(button.GlyphFor(TBitBtnGlyphState::Up).isNull());
    button.SetColor(0x008000);
    button.SetGlyph(RedSquareStrip(2));
    button.SetNumGlyphs(2);
    const QColor green(0, 0x80, 0);

    QImage up = button.GlyphFor(TBitBtnGlyphState::Up);
    QCOMPARE(up.size(), QSize(16, 16));
    QCOMPARE(up.pixelColor(0, 0), green);
    QCOMPARE(up.pixelColor(8, 8), QColor(Qt::red));
    QCOMPARE(button.GlyphFor(TBitBtnGlyphState::Disabled).pixelColor(8, 8), QColor(Qt::green));
    // No down or exclusive image in the strip: image 0 stands in.
    QCOMPARE(button.GlyphFor(TBitBtnGlyphState::Down).pixelColor(8, 8), QColor(Qt::red));
    QCOMPARE(button.GlyphFor(TBitBtnGlyphState::Exclusive).pixelColor(8, 8), QColor(Qt::red));

    // A new face colour gives new backgrounds.
    button.SetColor(0xFF0000);
    QCOMPARE(button.GlyphFor(TBitBtnGlyphState::Up).pixelColor(0, 0), QColor(0, 0, 0xFF));

    // One image only: the disabled one is embossed on the face.
    button.SetNumGlyphs(1);
    const QImage disabled = button.GlyphFor(TBitBtnGlyphState::Disabled);
    QCOMPARE(disabled.pixelColor(0, 0), QColor(0, 0, 0xFF));
    QCOMPARE(disabled.pixelColor(8, 8), ToQColor(clBtnShadow));
    QCOMPARE(disabled.pixelColor(12, 12), ToQColor(clBtnHighlight));

    // Buttons with the same strip, size and colour share the images.
    TBitBtnWithColor twin;
    twin.SetColor(0xFF0000);
    twin.SetGlyph(button.Glyph());
    QCOMPARE(twin.GlyphFor(TBitBtnGlyphState::Up).cacheKey(), button.GlyphFor(TBitBtnGlyphState::Up).cacheKey());
}

void TestButtonWithColor::glyph_isDrawnBesideTheCaptionAndMovesWhenDown()
{
    Stage stage;
    stage.button->resize(140, 42);
    stage.button->setFocusPolicy(Qt::NoFocus);
    stage.button->SetFontColor(clYellow);
    stage.button->SetGlyph(RedSquareStrip(1));
    QVERIFY(stage.show());
    const QImage up = stage.face();
    const QRect glyph = Box(up, Qt::red);
    const QRect caption = Box(up, Qt::yellow);
    QCOMPARE(glyph.size(), QSize(8, 8));
    QVERIFY(glyph.right() < caption.left());
    QCOMPARE(glyph.center().y(), 20); // centred in the face
    // Block centred: as much room left of the glyph as right of the caption.
    const int leftRoom = glyph.left() - 4;
    const int rightRoom = up.width() - 1 - caption.right();
    QVERIFY(qAbs(leftRoom - rightRoom) <= 6);

    stage.button->SetLayout(blGlyphRight);
    QVERIFY(Box(stage.face(), Qt::red).left() > Box(stage.face(), Qt::yellow).right());

    stage.button->SetLayout(blGlyphLeft);
    QTest::mousePress(stage.button, Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(Box(stage.face(), Qt::red), glyph.translated(1, 1));
    QTest::mouseRelease(stage.button, Qt::LeftButton, {}, QPoint(20, 20));
}

void TestButtonWithColor::kind_presetsCaptionDefaultResultAndGlyph()
{
    QDialogButtonBox reference;
    struct Expect {
        TBitBtnWithColorKind kind;
        QDialogButtonBox::StandardButton button;
        int result;
        bool isDefault;
        bool cancel;
        const char* resource;
    };
    const Expect expected[] = {
        { bkOK, QDialogButtonBox::Ok, mrOk, true, false, "BBCOK" },
        { bkCancel, QDialogButtonBox::Cancel, mrCancel, false, true, "BBCCANCEL" },
        { bkHelp, QDialogButtonBox::Help, mrNone, false, false, "BBCHELP" },
        { bkYes, QDialogButtonBox::Yes, mrYes, true, false, "BBCYES" },
        { bkNo, QDialogButtonBox::No, mrNo, false, true, "BBCNO" },
        { bkClose, QDialogButtonBox::Close, mrNone, false, false, "BBCCLOSE" },
        { bkAbort, QDialogButtonBox::Abort, mrAbort, false, false, "BBCABORT" },
        { bkRetry, QDialogButtonBox::Retry, mrRetry, false, false, "BBCRETRY" },
        { bkIgnore, QDialogButtonBox::Ignore, mrIgnore, false, false, "BBCIGNORE" },
        { bkAll, QDialogButtonBox::YesToAll, mrAll, false, false, "BBCALL" },
    };
    for (const Expect& e : expected) {
        TBitBtnWithColor button;
        button.SetKind(e.kind);
        QCOMPARE(button.Kind(), e.kind);
        QCOMPARE(button.Caption(), reference.addButton(e.button)->text());
        QCOMPARE(button.ModalResult(), e.result);
        QCOMPARE(button.Default(), e.isDefault);
        QCOMPARE(button.Cancel(), e.cancel);
        QCOMPARE(button.NumGlyphs(), 2);
        QCOMPARE(button.Glyph(), ButtonResource(QString::fromLatin1(e.resource)));
    }
    QCOMPARE(reference.button(QDialogButtonBox::Ok)->text(), QStringLiteral("OK"));
}

void TestButtonWithColor::kind_readsCustomOnceChangedByHand()
{
    TBitBtnWithColor button;
    button.SetKind(bkYes);
    const QString caption = button.Caption();
    button.SetCaption(QStringLiteral("Ja, beenden"));
    QCOMPARE(button.Kind(), bkCustom);
    button.SetCaption(caption);
    QCOMPARE(button.Kind(), bkYes);
    button.SetModalResult(mrOk);
    QCOMPARE(button.Kind(), bkCustom);
    button.SetModalResult(mrYes);
    button.SetDefault(false);
    QCOMPARE(button.Kind(), bkCustom);
    button.SetDefault(true);
    button.SetCancel(true);
    QCOMPARE(button.Kind(), bkCustom);
    button.SetCancel(false);
    QCOMPARE(button.Kind(), bkYes);
    button.SetGlyph(ButtonResource(QStringLiteral("BBCYES")));
    QCOMPARE(button.Kind(), bkCustom);
    // A new kind takes its own glyph again.
    button.SetKind(bkNo);
    QCOMPARE(button.Kind(), bkNo);
}

void TestButtonWithColor::kindButtons_closeTheirDialogWithTheirResult()
{
    {
        QDialog dialog;
        auto* yes = new TBitBtnWithColor(&dialog);
        yes->SetKind(bkYes);
        int clicks = 0;
        yes->OnClick = [&](TBitBtnWithColor*) { ++clicks; };
        QTimer::singleShot(0, yes, [yes] { QTest::mouseClick(yes, Qt::LeftButton); });
        QCOMPARE(dialog.exec(), int(mrYes));
        QCOMPARE(clicks, 1);
    }
    {
        QDialog dialog;
        auto* edit = new QLineEdit(&dialog);
        auto* cancel = new TBitBtnWithColor(&dialog);
        cancel->move(0, 30);
        cancel->SetKind(bkCancel);
        QTimer::singleShot(0, &dialog, [&] {
            dialog.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_Escape);
        });
        QCOMPARE(dialog.exec(), int(mrCancel));
    }
}

void TestButtonWithColor::closeAndHelpKinds_actInsteadOfTheClick()
{
    QWidget form;
    form.resize(200, 100);
    form.setProperty("HelpContext", 42);
    auto* help = new TBitBtnWithColor(&form);
    help->SetKind(bkHelp);
    auto* close = new TBitBtnWithColor(&form);
    close->move(0, 40);
    close->SetKind(bkClose);
    QStringList seen;
    help->OnClick = [&](TBitBtnWithColor*) { seen << QStringLiteral("help click"); };
    close->OnClick = [&](TBitBtnWithColor*) { seen << QStringLiteral("close click"); };
    TBitBtnWithColor::SetHelpHandler([&](int context) { seen << QStringLiteral("help %1").arg(context); });
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QTest::mouseClick(help, Qt::LeftButton);
    QCOMPARE(seen, QStringList({ "help 42" }));
    form.setProperty("HelpContext", QVariant());
    QTest::mouseClick(help, Qt::LeftButton);
    QCOMPARE(seen, QStringList({ "help 42", "help click" }));
    TBitBtnWithColor::SetHelpHandler({});

    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QCOMPARE(seen.size(), 2);

    // On its own (no form around it) a close button clicks as usual.
    TBitBtnWithColor alone;
    alone.SetKind(bkClose);
    int clicks = 0;
    alone.OnClick = [&](TBitBtnWithColor*) { ++clicks; };
    alone.click();
    QCOMPARE(clicks, 1);
}

QTEST_MAIN(TestButtonWithColor)
#include "tst_buttonwithcolor.moc"
