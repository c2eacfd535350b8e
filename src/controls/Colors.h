#pragma once

#include <QColor>

#include <cstdint>

// Colours as the settings store and the controls keep them: 0x00BBGGRR, red in
// the low byte. A value with 0xFF in the high byte names a system colour (its
// low byte is the system colour index), resolved through the application palette.
using TColor = std::uint32_t;

namespace colors {

constexpr TColor kBlack = 0x000000;
constexpr TColor kYellow = 0x00FFFF;
constexpr TColor kLime = 0x00FF00;
constexpr TColor kDarkGrey = 0x404040;
constexpr TColor kSilver = 0xC0C0C0;
constexpr TColor kWhite = 0xFFFFFF;

constexpr TColor kSystemColor = 0xFF000000;
constexpr TColor kBtnFace = kSystemColor | 15;
constexpr TColor kBtnText = kSystemColor | 18;
constexpr TColor kBtnShadow = kSystemColor | 16;
constexpr TColor kBtnHighlight = kSystemColor | 20;
constexpr TColor kGrayText = kSystemColor | 17;
constexpr TColor kWindow = kSystemColor | 5;
constexpr TColor kWindowText = kSystemColor | 8;
constexpr TColor kHighlight = kSystemColor | 13;
constexpr TColor kHighlightText = kSystemColor | 14;

constexpr TColor Rgb(int r, int g, int b)
{
    return TColor(r & 0xFF) | TColor(g & 0xFF) << 8 | TColor(b & 0xFF) << 16;
}

bool IsSystemColor(TColor c);
QColor ToQColor(TColor c);
// Always a plain RGB value (the alpha channel is dropped).
TColor FromQColor(const QColor& c);

} // namespace colors
