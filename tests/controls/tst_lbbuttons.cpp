// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The widget-free parts of the buttons: colour values, hot-track colour
// maths, glyph choice, layout, the painted styles and the fade.

#include "controls/ButtonGlyphs.h"
#include "controls/ButtonLayout.h"
#include "controls/ColorValue.h"
#include "controls/LbButtons.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTest>

namespace {

QColor Px(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

QImage SolidStrip(const QList<QColor>& colors, int size)
{
    QImage strip(size * int(colors.size()), size, QImage::Format_ARGB32);
    for (int i = 0; i < colors.size(); ++i)
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                strip.setPixelColor(i * size + x, y, colors[i]);
    return strip;
}

TLbDrawParams Plain(QSize size = QSize(40, 24))
{
    TLbDrawParams p;
    p.size = size;
    p.color = 0x00C000;
    p.lightColor = clWhite;
    p.shadowColor = 0x404040;
    p.darkShadowColor = clBlack;
    return p;
}

} // namespace

class TestLbButtons : public QObject {
    Q_OBJECT

private slots:
    void colorValue_plainColoursRoundTripAndSystemColoursFollowThePalette();
    void blend_dropsFractionsPerChannelAndClampsTheLevel();
    void faceColor_downColourWinsAndDisabledIgnoresHotTrack();
    void glyphIndex_downWinsOverHotAndMissingImagesFallBack();
    void gradient_steps32BandsFromOneColourToTheOther();
    void modernFace_runsLightToFaceOverTheTopQuarterAndBack();
    void layout_centresCaptionAndPlacesGlyphByLayout();
    void normalFrame_swapsColoursWhileDownAndShiftsTheContent();
    void flatFrame_showsOnlyWhileHotOrDown_exceptTheModernOne();
    void encarta_keepsContentInPlaceWhileDown();
    void oldStyle_drawsDarkOuterAndInnerShadowLines();
    void shapeAndModern_leaveTheBackgroundShowingThrough();
    void caption_isCutFromTheEndAndGreyWhenDisabled();
    void popupArrow_sits11PixelsFromTheRightEdge();
    void fade_stepsDownToZeroAndStops();
    void glyphKey_andEmbossedImage();
    void resources_areMadeOnceAndHaveTwoImages();
    void headerGlyphs_areFourImageStripsOnTransparent();
};

void TestLbButtons::colorValue_plainColoursRoundTripAndSystemColoursFollowThePalette()
{
    QCOMPARE(ToQColor(0x00123456), QColor(0x56, 0x34, 0x12));
    QCOMPARE(FromQColor(QColor(0x56, 0x34, 0x12)), TColor(0x00123456));
    QCOMPARE(FromQColor(QColor(1, 2, 3, 10)), TColor(0x00030201));
    QVERIFY(!ToQColor(clNone).isValid());
    QCOMPARE(FromQColor(QColor()), clNone);
    QVERIFY(IsSystemColor(clBtnFace));
    QVERIFY(!IsSystemColor(clWhite));

    const QPalette saved = QGuiApplication::palette();
    QPalette palette = saved;
    palette.setColor(QPalette::Button, QColor(0x11, 0x22, 0x33));
    palette.setColor(QPalette::Dark, QColor(0x44, 0x55, 0x66));
    QGuiApplication::setPalette(palette);
    QCOMPARE(ToQColor(clBtnFace), QColor(0x11, 0x22, 0x33));
    QCOMPARE(ColorToRGB(clBtnShadow), RGBColor(0x44, 0x55, 0x66));
    QCOMPARE(ColorToRGB(clRed), clRed);
    // An index past the known system colours resolves to black, not garbage.
    QCOMPARE(ColorToRGB(kSystemColorFlag | 200), clBlack);
    QGuiApplication::setPalette(saved);
    QCOMPARE(ToQColor(clBtnFace), saved.color(QPalette::Button));
}

void TestLbButtons::blend_dropsFractionsPerChannelAndClampsTheLevel()
{
    QCOMPARE(LbBlendHotColor(0x000000, 0xFFFFFF, 0), TColor(0x000000));
    QCOMPARE(LbBlendHotColor(0x000000, 0xFFFFFF, 8), TColor(0xFFFFFF));
    QCOMPARE(LbBlendHotColor(0x000000, 0xFFFFFF, 4), TColor(0x7F7F7F)); // 127.5 -> 127
    // Red towards blue, level 2: red 255*6/8 = 191.25, blue 255*2/8 = 63.75.
    QCOMPARE(LbBlendHotColor(0x0000FF, 0xFF0000, 2), RGBColor(191, 0, 63));
    QCOMPARE(LbBlendHotColor(0x102030, 0x302010, 9), TColor(0x302010));
    QCOMPARE(LbBlendHotColor(0x102030, 0x302010, -3), TColor(0x102030));
}

void TestLbButtons::faceColor_downColourWinsAndDisabledIgnoresHotTrack()
{
    QCOMPARE(LbFaceColor(0x000000, 0xFFFFFF, clNone, 8, true, false), TColor(0xFFFFFF));
    QCOMPARE(LbFaceColor(0x000000, 0xFFFFFF, clNone, 8, false, false), TColor(0x000000));
    QCOMPARE(LbFaceColor(0x000000, clNone, clNone, 8, true, false), TColor(0x000000));
    QCOMPARE(LbFaceColor(0x000000, 0xFFFFFF, 0x0000FF, 8, true, true), TColor(0x0000FF));
    QCOMPARE(LbFaceColor(0x000000, 0xFFFFFF, clNone, 8, true, true), TColor(0xFFFFFF));
}

void TestLbButtons::glyphIndex_downWinsOverHotAndMissingImagesFallBack()
{
    QCOMPARE(LbGlyphIndex(4, true, false, false), 0);
    QCOMPARE(LbGlyphIndex(4, false, true, true), 1);
    QCOMPARE(LbGlyphIndex(4, true, false, true), 2);
    QCOMPARE(LbGlyphIndex(4, true, true, false), 3);
    QCOMPARE(LbGlyphIndex(4, true, true, true), 2);
    QCOMPARE(LbGlyphIndex(3, true, true, false), 0);
    QCOMPARE(LbGlyphIndex(2, true, false, true), 0);
    QCOMPARE(LbGlyphIndex(1, false, false, false), 0);
    QCOMPARE(LbGlyphIndex(0, true, false, false), -1);
}

void TestLbButtons::gradient_steps32BandsFromOneColourToTheOther()
{
    const auto bands = LbGradientBands(QRect(2, 10, 8, 64), RGBColor(255, 0, 10), RGBColor(0, 255, 10));
    QCOMPARE(int(bands.size()), kLbGradientBands);
    QCOMPARE(bands.front().color, RGBColor(255, 0, 10));
    QCOMPARE(bands.back().color, RGBColor(0, 255, 10));
    // Band 1: 255 - 255/31 = 246.77 and 255/31 = 8.23, fractions dropped
    // towards zero on both sides.
    QCOMPARE(bands[1].color, RGBColor(247, 8, 10));
    QCOMPARE(bands[16].color, RGBColor(255 - 255 * 16 / 31, 255 * 16 / 31, 10));
    int y = 10;
    for (const LbGradientBand& band : bands) {
        QCOMPARE(band.rect.top(), y);
        QCOMPARE(band.rect.left(), 2);
        QCOMPARE(band.rect.width(), 8);
        y += band.rect.height();
    }
    QCOMPARE(y, 74);
}

void TestLbButtons::modernFace_runsLightToFaceOverTheTopQuarterAndBack()
{
    TLbDrawParams p = Plain(QSize(40, 64));
    p.style = bsModern;
    p.color = 0x0000FF;
    p.lightColor = 0xC0C0FF;
    p.shadowColor = 0x0000C0;
    const QImage image = RenderLbButton(p);
    // Gradient light -> face over rows 0..15, face -> light over 16..63.
    // Half-pixel bands on 16 rows: row 2 shows band 5 (rows 0..1 are frame).
    const auto upper = LbGradientBands(QRect(2, 0, 36, 16), 0xC0C0FF, 0x0000FF);
    QCOMPARE(upper[5].rect.top(), 2);
    QCOMPARE(Px(image, 10, 2), ToQColor(upper[5].color));
    QCOMPARE(Px(image, 10, 2), QColor(0xFF, 0xC0 - 0xC0 * 5 / 31, 0xC0 - 0xC0 * 5 / 31));
    QCOMPARE(Px(image, 10, 15), ToQColor(0x0000FF));
    // Two pixels in from the sides nothing of the face is painted.
    QCOMPARE(image.pixelColor(0, 10).alpha(), 255); // frame
    QCOMPARE(Px(image, 1, 10), ToQColor(0x0000FF)); // inner frame line in F
    QCOMPARE(Px(image, 2, 10), Px(image, 20, 10));
    QCOMPARE(Px(image, 10, 16), ToQColor(0x0000FF));
    QCOMPARE(Px(image, 10, 61), ToQColor(LbGradientBands(QRect(0, 16, 1, 48), 0x0000FF, 0xC0C0FF)[30].color));
    // Rounded frame in the shadow colour, corners left open.
    QCOMPARE(Px(image, 20, 0), ToQColor(0x0000C0));
    QCOMPARE(Px(image, 0, 32), ToQColor(0x0000C0));
    QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
}

void TestLbButtons::layout_centresCaptionAndPlacesGlyphByLayout()
{
    const QRect client(3, 3, 89, 36);
    // No glyph (every race button): caption centred.
    GlyphCaptionPlacement place = LayoutGlyphAndCaption(client, QSize(), QSize(61, 28), blGlyphLeft, -1, 4);
    QVERIFY(place.glyph.isEmpty());
    QCOMPARE(place.caption, QRect(3 + 14, 3 + 4, 61, 28));
    // Glyph left, block centred: 18 + 4 + 40 = 62 wide in 89.
    place = LayoutGlyphAndCaption(client, QSize(18, 18), QSize(40, 16), blGlyphLeft, -1, 4);
    QCOMPARE(place.glyph, QRect(3 + 13, 3 + 9, 18, 18));
    QCOMPARE(place.caption.left(), 3 + 13 + 18 + 4);
    place = LayoutGlyphAndCaption(client, QSize(18, 18), QSize(40, 16), blGlyphRight, 5, 4);
    QCOMPARE(place.glyph.right(), client.right() - 5);
    QCOMPARE(place.caption.right(), place.glyph.left() - 4 - 1);
    place = LayoutGlyphAndCaption(QRect(0, 0, 60, 60), QSize(18, 18), QSize(40, 16), blGlyphTop, -1, 2);
    QCOMPARE(place.glyph.top(), 12);
    QCOMPARE(place.caption.top(), 12 + 18 + 2);
    QCOMPARE(place.glyph.left(), 21);
    place = LayoutGlyphAndCaption(QRect(0, 0, 60, 60), QSize(18, 18), QSize(40, 16), blGlyphBottom, 0, 2);
    QCOMPARE(place.glyph.bottom(), 59);
    QCOMPARE(place.caption.bottom(), 59 - 18 - 2);
    // A glyph alone is centred: spacing needs both parts.
    place = LayoutGlyphAndCaption(client, QSize(18, 18), QSize(), blGlyphLeft, -1, 30);
    QCOMPARE(place.glyph.left(), 3 + 35);
    // Spacing -1 with margin -1: three equal gaps of (89-18-40)/3 = 10.
    place = LayoutGlyphAndCaption(client, QSize(18, 18), QSize(40, 16), blGlyphLeft, -1, -1);
    QCOMPARE(place.glyph.left(), 3 + 10);
    QCOMPARE(place.caption.left(), 3 + 10 + 18 + 10);
}

void TestLbButtons::normalFrame_swapsColoursWhileDownAndShiftsTheContent()
{
    TLbDrawParams p = Plain();
    p.glyph = SolidStrip({ Qt::red }, 8);
    p.numGlyphs = 1;
    QImage up = RenderLbButton(p);
    QCOMPARE(Px(up, 0, 0), QColor(Qt::white));
    QCOMPARE(Px(up, 0, 12), QColor(Qt::white));
    QCOMPARE(Px(up, 39, 12), ToQColor(0x404040));
    QCOMPARE(Px(up, 20, 23), ToQColor(0x404040));
    QCOMPARE(Px(up, 20, 5), ToQColor(0x00C000));
    // Glyph centred without caption: 16..23 x 8..15.
    QCOMPARE(Px(up, 16, 8), QColor(Qt::red));
    QCOMPARE(Px(up, 24, 16), ToQColor(0x00C000));

    p.down = true;
    const QImage down = RenderLbButton(p);
    QCOMPARE(Px(down, 0, 12), ToQColor(0x404040));
    QCOMPARE(Px(down, 39, 12), QColor(Qt::white));
    QCOMPARE(Px(down, 16, 8), ToQColor(0x00C000));
    QCOMPARE(Px(down, 24, 16), QColor(Qt::red));

    // Disabled buttons are never drawn down.
    p.enabled = false;
    QCOMPARE(RenderLbButton(p), up);
}

void TestLbButtons::flatFrame_showsOnlyWhileHotOrDown_exceptTheModernOne()
{
    for (TLbSpeedButtonStyle style : { bsNormal, bsEncarta, bsOld }) {
        QVERIFY(LbFrameVisible(style, true, false, false, false));
        QVERIFY(LbFrameVisible(style, false, false, false, false));
        QVERIFY(!LbFrameVisible(style, true, true, false, false));
        QVERIFY(LbFrameVisible(style, true, true, true, false));
        QVERIFY(LbFrameVisible(style, true, true, false, true));
        QVERIFY(!LbFrameVisible(style, false, true, true, false));
    }
    // The rounded frame is part of the modern look, flat or not; a shape
    // is only its glyph.
    QVERIFY(LbFrameVisible(bsModern, true, true, false, false));
    QVERIFY(LbFrameVisible(bsModern, false, true, false, false));
    QVERIFY(!LbFrameVisible(bsShape, true, false, true, true));

    TLbDrawParams p = Plain();
    p.flat = true;
    QCOMPARE(Px(RenderLbButton(p), 0, 0), ToQColor(0x00C000));
    p.hot = true;
    QCOMPARE(Px(RenderLbButton(p), 0, 0), QColor(Qt::white));

    // A flat modern button away from the mouse still shows its frame.
    p = Plain(QSize(40, 64));
    p.style = bsModern;
    p.color = 0x0000FF;
    p.lightColor = 0xC0C0FF;
    p.shadowColor = 0x0000C0;
    p.flat = true;
    const QImage flatModern = RenderLbButton(p);
    QCOMPARE(Px(flatModern, 20, 0), ToQColor(0x0000C0));
    QCOMPARE(Px(flatModern, 0, 32), ToQColor(0x0000C0));
    QCOMPARE(Px(flatModern, 1, 10), ToQColor(0x0000FF));
}

void TestLbButtons::encarta_keepsContentInPlaceWhileDown()
{
    TLbDrawParams p = Plain();
    p.style = bsEncarta;
    p.glyph = SolidStrip({ Qt::red }, 8);
    p.numGlyphs = 1;
    p.down = true;
    const QImage down = RenderLbButton(p);
    QCOMPARE(Px(down, 16, 8), QColor(Qt::red));
    QCOMPARE(Px(down, 24, 16), ToQColor(0x00C000));
    QCOMPARE(Px(down, 0, 12), ToQColor(0x404040));
}

void TestLbButtons::oldStyle_drawsDarkOuterAndInnerShadowLines()
{
    TLbDrawParams p = Plain();
    p.style = bsOld;
    const QImage up = RenderLbButton(p);
    QCOMPARE(Px(up, 0, 10), QColor(Qt::white));
    QCOMPARE(Px(up, 39, 10), QColor(Qt::black));
    QCOMPARE(Px(up, 38, 10), ToQColor(0x404040));
    QCOMPARE(Px(up, 20, 22), ToQColor(0x404040));
    QCOMPARE(Px(up, 1, 10), ToQColor(0x00C000));
    p.down = true;
    const QImage down = RenderLbButton(p);
    QCOMPARE(Px(down, 0, 10), QColor(Qt::black));
    QCOMPARE(Px(down, 1, 10), ToQColor(0x404040));
    QCOMPARE(Px(down, 39, 10), QColor(Qt::white));
    QCOMPARE(Px(down, 38, 10), ToQColor(0x00C000));
}

void TestLbButtons::shapeAndModern_leaveTheBackgroundShowingThrough()
{
    QVERIFY(LbPaintsKeyed(bsShape, false));
    QVERIFY(LbPaintsKeyed(bsModern, false));
    QVERIFY(LbPaintsKeyed(bsQuicken, false));
    QVERIFY(LbPaintsKeyed(bsNormal, true));
    QVERIFY(!LbPaintsKeyed(bsOld, false));

    TLbDrawParams p = Plain();
    p.style = bsShape;
    p.glyph = SolidStrip({ Qt::red }, 8);
    p.numGlyphs = 1;
    const QImage shape = RenderLbButton(p);
    QCOMPARE(shape.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(shape.pixelColor(20, 5).alpha(), 0);
    QCOMPARE(Px(shape, 16, 8), QColor(Qt::red));
    // The shape's glyph does not move while down.
    p.down = true;
    QCOMPARE(Px(RenderLbButton(p), 16, 8), QColor(Qt::red));

    p = Plain();
    p.transparent = true;
    const QImage transparent = RenderLbButton(p);
    QCOMPARE(transparent.pixelColor(20, 10).alpha(), 0);
    QCOMPARE(Px(transparent, 0, 10), QColor(Qt::white));

    p = Plain();
    p.style = bsQuicken;
    const QImage quicken = RenderLbButton(p);
    QCOMPARE(quicken.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(Px(quicken, 20, 0), ToQColor(0x404040));
    QCOMPARE(Px(quicken, 20, 10), ToQColor(0x00C000));
}

void TestLbButtons::caption_isCutFromTheEndAndGreyWhenDisabled()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    const QString cut = LbCutCaption(QStringLiteral("Protokoll speichern"), font, 60);
    QVERIFY(!cut.isEmpty());
    QVERIFY(QStringLiteral("Protokoll speichern").startsWith(cut));
    QVERIFY(QFontMetrics(font).horizontalAdvance(cut) <= 60);
    QVERIFY(QFontMetrics(font).horizontalAdvance(QStringLiteral("Protokoll speichern").left(cut.size() + 1)) > 60);
    QCOMPARE(LbCutCaption(QStringLiteral("Los"), font, 0), QString());

    TLbDrawParams p = Plain(QSize(80, 30));
    font.setPixelSize(20);
    font.setBold(true);
    p.font = font;
    p.fontColor = clRed;
    p.caption = QStringLiteral("MMMM");
    p.enabled = false;
    const QImage image = RenderLbButton(p);
    int grey = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = Px(image, x, y);
            QVERIFY2(c != QColor(Qt::red), "a disabled caption keeps its font colour");
            grey += c == QColor(0x80, 0x80, 0x80);
        }
    QVERIFY(grey > 20);
}

void TestLbButtons::popupArrow_sits11PixelsFromTheRightEdge()
{
    TLbDrawParams p = Plain(QSize(60, 23));
    p.popupArrow = true;
    const QImage image = RenderLbButton(p);
    // Rows 10..12: 5, 3 and 1 black pixels starting at x = 49.
    QCOMPARE(Px(image, 49, 10), QColor(Qt::black));
    QCOMPARE(Px(image, 53, 10), QColor(Qt::black));
    QCOMPARE(Px(image, 54, 10), ToQColor(0x00C000));
    QCOMPARE(Px(image, 49, 11), ToQColor(0x00C000));
    QCOMPARE(Px(image, 51, 12), QColor(Qt::black));
    QCOMPARE(Px(image, 51, 13), ToQColor(0x00C000));
}

void TestLbButtons::fade_stepsDownToZeroAndStops()
{
    QList<int> seen;
    TLbButtonFade fade([&](int level) { seen << level; });
    QCOMPARE(fade.Interval(), kLbFadeStepMs);
    fade.SetLevel(kLbHotLevelMax);
    fade.Resume();
    QVERIFY(fade.Running());
    for (int i = 0; i < 8; ++i)
        fade.Step();
    QCOMPARE(seen, QList<int>({ 7, 6, 5, 4, 3, 2, 1, 0 }));
    QVERIFY(!fade.Running());
    // The real timer ends the fade on its own.
    seen.clear();
    fade.SetLevel(2);
    fade.Resume();
    QTRY_VERIFY(!fade.Running());
    QCOMPARE(seen, QList<int>({ 1, 0 }));
}

void TestLbButtons::glyphKey_andEmbossedImage()
{
    QImage glyph = SolidStrip({ Qt::magenta }, 6);
    glyph.setPixelColor(2, 2, Qt::black);
    glyph.setPixelColor(3, 2, Qt::blue);
    const QImage keyed = ApplyGlyphKey(glyph);
    QCOMPARE(keyed.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(keyed.pixelColor(2, 2), QColor(Qt::black));
    QCOMPARE(keyed.pixelColor(3, 2), QColor(Qt::blue));

    const QImage embossed = EmbossedImage(keyed, Qt::white, Qt::gray);
    QCOMPARE(embossed.pixelColor(2, 2), QColor(Qt::gray));
    QCOMPARE(embossed.pixelColor(3, 2), QColor(Qt::gray));
    QCOMPARE(embossed.pixelColor(4, 3), QColor(Qt::white));
    QCOMPARE(embossed.pixelColor(3, 3), QColor(Qt::white));
    QCOMPARE(embossed.pixelColor(2, 3).alpha(), 0);
}

void TestLbButtons::resources_areMadeOnceAndHaveTwoImages()
{
    for (const char* name : { "BBCOK", "BBCCANCEL", "BBCHELP", "BBCYES", "BBCNO", "BBCCLOSE", "BBCABORT", "BBCRETRY",
             "BBCIGNORE", "BBCALL" }) {
        const QImage image = ButtonResource(QString::fromLatin1(name));
        QCOMPARE(image.size(), QSize(36, 18));
        QCOMPARE(image.cacheKey(), ButtonResource(QString::fromLatin1(name)).cacheKey());
        QVERIFY2(image.copy(0, 0, 18, 18) != image.copy(18, 0, 18, 18), name);
        QCOMPARE(image.pixelColor(0, 17).alpha(), 0);
    }
    const QImage arrow = ButtonResource(QStringLiteral("LBARROW"));
    QCOMPARE(arrow.size(), QSize(5, 3));
    QVERIFY(ButtonResource(QStringLiteral("NOSUCH")).isNull());
}

void TestLbButtons::headerGlyphs_areFourImageStripsOnTransparent()
{
    for (const HeaderGlyphKind kind : { HeaderGlyphKind::Help, HeaderGlyphKind::Settings, HeaderGlyphKind::Info }) {
        const QImage strip = HeaderGlyph(kind, 28);
        QCOMPARE(strip.size(), QSize(112, 28));
        QCOMPARE(strip.pixelColor(0, 27).alpha(), 0);
        QList<QImage> images;
        for (int i = 0; i < 4; ++i)
            images << strip.copy(28 * i, 0, 28, 28);
        for (int i = 0; i < 4; ++i)
            for (int j = i + 1; j < 4; ++j)
                QVERIFY(images[i] != images[j]);
        QCOMPARE(images[0].pixelColor(14, 14).alpha() > 0 || images[0].pixelColor(14, 6).alpha() > 0, true);
    }
}

QTEST_MAIN(TestLbButtons)
#include "tst_lbbuttons.moc"
