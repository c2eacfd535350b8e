// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/LbButtons.h"

#include <QFontMetrics>

#include <algorithm>

std::optional<TLbColorPreset> LbColorPreset(TLbColorStyle style)
{
    switch (style) {
    case lcsCustom:
        return std::nullopt;
    case lcsGold:
        return TLbColorPreset { 0x00C0C0, 0x00FFFF, 0x008080, clNone, 0x00DFDF, 0x000000, false, bsModern };
    case lcsChrome:
        return TLbColorPreset { 0xC0C0C0, 0xFFFFFF, 0x808080, clNone, clNone, 0x000000, false, bsModern };
    case lcsBlue:
        return TLbColorPreset { 0xFF8000, 0xFFFF00, 0xFF0000, clNone, clNone, 0x000000, false, bsModern };
    case lcsRed:
        return TLbColorPreset { 0x0000FF, 0xC0C0FF, 0x0000C0, clNone, clNone, 0x000000, false, bsModern };
    case lcsUltraFlat1:
        return TLbColorPreset { clBtnFace, 0xB59284, 0xB59284, 0xB59284, 0xDED3D6, 0x000000, true, bsNormal };
    case lcsUltraFlat2:
        return TLbColorPreset { clBtnFace, 0x000000, 0x000000, 0x24DABC, 0x8CF6E4, 0x000000, true, bsNormal };
    case lcsUltraFlatXP:
        return TLbColorPreset { 0xD1D8DB, 0xB59284, 0xB59285, 0xB59285, 0xD2BDB6, 0x000000, true, bsNormal };
    case lcsAqua:
        return TLbColorPreset { 0xECCE94, 0xFCE6D4, 0x000000, clNone, clNone, 0x000000, false, bsModern };
    case lcsDefault:
        return TLbColorPreset { clBtnFace, 0xFFFFFF, 0x808080, clNone, clNone, 0x000000, false, bsNormal };
    case lcsQuicken:
        return TLbColorPreset { 0x603000, 0xC0C0C0, 0xC0C0C0, 0xAD6529, 0xCEAE9C, 0xFFFFFF, false, bsQuicken };
    }
    return std::nullopt;
}

TColor LbBlendHotColor(TColor color, TColor hot, int level)
{
    level = std::clamp(level, 0, kLbHotLevelMax);
    const int rest = kLbHotLevelMax - level;
    // Exact in integers: c*(1 - l/8) + h*l/8 == (c*(8-l) + h*l) / 8.
    const auto mix = [&](int c, int h) { return (c * rest + h * level) / kLbHotLevelMax; };
    return RGBColor(mix(RedOf(color), RedOf(hot)), mix(GreenOf(color), GreenOf(hot)), mix(BlueOf(color), BlueOf(hot)));
}

TColor LbFaceColor(TColor color, TColor hotTrackColor, TColor colorWhenDown, int hotLevel, bool enabled, bool down)
{
    TColor face = color;
    if (enabled && hotTrackColor != clNone)
        face = LbBlendHotColor(color, hotTrackColor, hotLevel);
    if (down && colorWhenDown != clNone)
        face = colorWhenDown;
    return face;
}

bool LbFrameVisible(TLbSpeedButtonStyle style, bool enabled, bool flat, bool hot, bool down)
{
    if (style == bsShape)
        return false;
    if (style == bsModern)
        return true;
    return !flat || (enabled && (hot || down));
}

int LbGlyphIndex(int numGlyphs, bool enabled, bool hot, bool down)
{
    if (numGlyphs <= 0)
        return -1;
    int index = 0;
    if (!enabled)
        index = 1;
    else if (down && numGlyphs > 2)
        index = 2;
    else if (hot && numGlyphs > 3)
        index = 3;
    // A one-image strip has no disabled image; showing nothing would hide
    // the button, so the normal image stands in.
    return index < numGlyphs ? index : 0;
}

std::vector<LbGradientBand> LbGradientBands(const QRect& area, TColor from, TColor to)
{
    std::vector<LbGradientBand> bands;
    bands.reserve(kLbGradientBands);
    const int steps = kLbGradientBands - 1;
    const auto channel = [&](int a, int b, int i) { return a + (b - a) * i / steps; };
    for (int i = 0; i < kLbGradientBands; ++i) {
        const int top = area.top() + area.height() * i / kLbGradientBands;
        const int bottom = area.top() + area.height() * (i + 1) / kLbGradientBands;
        const TColor c = RGBColor(channel(RedOf(from), RedOf(to), i), channel(GreenOf(from), GreenOf(to), i),
            channel(BlueOf(from), BlueOf(to), i));
        bands.push_back({ QRect(area.left(), top, area.width(), bottom - top), c });
    }
    return bands;
}

std::vector<LbGradientBand> LbModernFaceBands(QSize size, TColor light, TColor face)
{
    const int width = std::max(0, size.width() - 4);
    const int quarter = size.height() / 4;
    std::vector<LbGradientBand> bands = LbGradientBands(QRect(2, 0, width, quarter), light, face);
    std::vector<LbGradientBand> lower = LbGradientBands(QRect(2, quarter, width, size.height() - quarter), face, light);
    bands.insert(bands.end(), lower.begin(), lower.end());
    return bands;
}

QString LbCutCaption(const QString& caption, const QFont& font, int width)
{
    const QFontMetrics metrics(font);
    QString text = caption;
    while (!text.isEmpty() && metrics.size(Qt::TextShowMnemonic, text).width() > width)
        text.chop(1);
    return text;
}

bool LbPaintsKeyed(TLbSpeedButtonStyle style, bool transparent)
{
    return transparent || style == bsModern || style == bsShape || style == bsQuicken;
}

TLbButtonFade::TLbButtonFade(std::function<void(int)> onLevel)
    : m_onLevel(std::move(onLevel))
{
    m_timer.setInterval(kLbFadeStepMs);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Step(); });
}

void TLbButtonFade::Resume()
{
    if (!m_timer.isActive())
        m_timer.start();
}

void TLbButtonFade::Suspend()
{
    m_timer.stop();
}

void TLbButtonFade::Step()
{
    --m_level;
    if (m_level <= 0) {
        m_level = 0;
        m_timer.stop();
    }
    if (m_onLevel)
        m_onLevel(m_level);
}
