// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "controls/ButtonLayout.h"
#include "controls/ColorValue.h"

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

class QPainter;

enum TLbSpeedButtonStyle { bsNormal, bsEncarta, bsModern, bsOld, bsShape, bsQuicken };
using TLbSpeedButtonLayout = TButtonLayout;

enum TLbColorStyle {
    lcsCustom,
    lcsGold,
    lcsChrome,
    lcsBlue,
    lcsRed,
    lcsUltraFlat1,
    lcsUltraFlat2,
    lcsUltraFlatXP,
    lcsAqua,
    lcsDefault,
    lcsQuicken
};

// What a colour preset sets; lcsCustom has none.
struct TLbColorPreset {
    TColor color;
    TColor lightColor;
    TColor shadowColor;
    TColor colorWhenDown;
    TColor hotTrackColor;
    TColor fontColor;
    bool flat;
    TLbSpeedButtonStyle style;
};
std::optional<TLbColorPreset> LbColorPreset(TLbColorStyle style);

// Fully hot; a fade runs from here down to 0.
constexpr int kLbHotLevelMax = 8;
constexpr int kLbFadeStepMs = 30;

// Color blended towards hot by level/8 per channel, fraction dropped. Both
// must be plain (resolved) colours.
TColor LbBlendHotColor(TColor color, TColor hot, int level);

// The face colour F of a speed button; colours plain or clNone.
TColor LbFaceColor(TColor color, TColor hotTrackColor, TColor colorWhenDown, int hotLevel, bool enabled, bool down);

// Whether the frame shows: always unless Flat, and on a Flat button only
// while it is enabled and hot or down. The rounded frame of bsModern belongs
// to its look and is drawn whatever Flat says; bsShape has no frame.
bool LbFrameVisible(TLbSpeedButtonStyle style, bool enabled, bool flat, bool hot, bool down);

// The image of a glyph strip to show. An image the strip does not have falls
// back to image 0; -1 when there is no glyph.
int LbGlyphIndex(int numGlyphs, bool enabled, bool hot, bool down);

// One band of a vertical gradient.
struct LbGradientBand {
    QRect rect;
    TColor color;
};
constexpr int kLbGradientBands = 32;
// 32 bands over area from one colour to the other, channels stepped linearly
// in 31 steps with the fraction dropped. Bands may be empty on short areas.
std::vector<LbGradientBand> LbGradientBands(const QRect& area, TColor from, TColor to);
// The bsModern face: Light to F over the top quarter, F back to Light below,
// 2 pixels in from the left and right edges.
std::vector<LbGradientBand> LbModernFaceBands(QSize size, TColor light, TColor face);

// Caption cut from the end until it fits width (no ellipsis: the button has
// always shown the plain beginning of the text).
QString LbCutCaption(const QString& caption, const QFont& font, int width);

// Everything DrawLbButton needs; colours already resolved to plain values.
struct TLbDrawParams {
    QSize size;
    TLbSpeedButtonStyle style = bsNormal;
    bool enabled = true;
    bool down = false;
    bool hot = false;
    int hotLevel = 0;
    bool flat = false;
    bool transparent = false;
    TColor color = clSilver;
    TColor lightColor = clWhite;
    TColor shadowColor = clBlack;
    TColor darkShadowColor = clBlack; // the system's dark 3-D shadow
    TColor colorWhenDown = clNone;
    TColor hotTrackColor = clNone;
    QFont font;
    TColor fontColor = clBlack;
    QFont hotTrackFont;
    TColor hotTrackFontColor = clBlack;
    bool useHotTrackFont = false;
    QString caption;
    TAlignment alignment = taLeftJustify;
    TButtonLayout layout = blGlyphLeft;
    bool wordWrap = false;
    QImage glyph; // strip with its transparency already applied
    int numGlyphs = 0;
    bool popupArrow = false;
};

// True when the button is painted with its background showing through.
bool LbPaintsKeyed(TLbSpeedButtonStyle style, bool transparent);

// Paints the button onto painter at (0,0).
void DrawLbButton(QPainter& painter, const TLbDrawParams& p);
// The whole button as an image; pixels not painted stay transparent.
QImage RenderLbButton(const TLbDrawParams& p);

// The slow fade of the hot state: after the mouse leaves, HotLevel drops by
// one every 30 ms until it reaches 0. A GUI-thread timer does the stepping;
// each step hands the new level to the owner, which repaints.
class TLbButtonFade final {
public:
    explicit TLbButtonFade(std::function<void(int)> onLevel);
    Q_DISABLE_COPY_MOVE(TLbButtonFade)

    void SetLevel(int level) { m_level = level; }
    int Level() const { return m_level; }
    // Resumes the stepping (a running fade goes on).
    void Resume();
    // Suspends the stepping; the level stays.
    void Suspend();
    bool Running() const { return m_timer.isActive(); }
    int Interval() const { return m_timer.interval(); }
    // One fade step; the timer runs it, tests may run it themselves.
    void Step();

private:
    QTimer m_timer;
    int m_level = 0;
    std::function<void(int)> m_onLevel;
};
