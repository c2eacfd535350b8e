// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/ColorValue.h"

#include <QGuiApplication>
#include <QPalette>

#include <array>

namespace {

struct SystemRole {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// Where each system colour index lives in a Qt palette. Indexes without a
// counterpart (25) fall back to black, as an unknown system colour would.
constexpr std::array<SystemRole, 31> kSystemRoles { {
    { QPalette::Active, QPalette::Button }, // 0 scroll bar
    { QPalette::Active, QPalette::Dark }, // 1 desktop
    { QPalette::Active, QPalette::Highlight }, // 2 active caption
    { QPalette::Active, QPalette::Mid }, // 3 inactive caption
    { QPalette::Active, QPalette::Window }, // 4 menu
    { QPalette::Active, QPalette::Base }, // 5 window
    { QPalette::Active, QPalette::WindowText }, // 6 window frame
    { QPalette::Active, QPalette::WindowText }, // 7 menu text
    { QPalette::Active, QPalette::Text }, // 8 window text
    { QPalette::Active, QPalette::HighlightedText }, // 9 caption text
    { QPalette::Active, QPalette::Button }, // 10 active border
    { QPalette::Active, QPalette::Button }, // 11 inactive border
    { QPalette::Active, QPalette::Mid }, // 12 application workspace
    { QPalette::Active, QPalette::Highlight }, // 13 highlight
    { QPalette::Active, QPalette::HighlightedText }, // 14 highlight text
    { QPalette::Active, QPalette::Button }, // 15 button face
    { QPalette::Active, QPalette::Dark }, // 16 button shadow
    { QPalette::Disabled, QPalette::Text }, // 17 grey text
    { QPalette::Active, QPalette::ButtonText }, // 18 button text
    { QPalette::Disabled, QPalette::WindowText }, // 19 inactive caption text
    { QPalette::Active, QPalette::Light }, // 20 button highlight
    { QPalette::Active, QPalette::Shadow }, // 21 dark 3-D shadow
    { QPalette::Active, QPalette::Midlight }, // 22 3-D light
    { QPalette::Active, QPalette::ToolTipText }, // 23 info text
    { QPalette::Active, QPalette::ToolTipBase }, // 24 info background
    { QPalette::Active, QPalette::NoRole }, // 25 unused
    { QPalette::Active, QPalette::Link }, // 26 hot light
    { QPalette::Active, QPalette::Highlight }, // 27 gradient active caption
    { QPalette::Active, QPalette::Mid }, // 28 gradient inactive caption
    { QPalette::Active, QPalette::Highlight }, // 29 menu highlight
    { QPalette::Active, QPalette::Window }, // 30 menu bar
} };

// Classic desktop colours, used only before a GUI application exists (the
// palette is not available then).
constexpr std::array<TColor, 31> kClassic { {
    0xC8C8C8,
    0x000000,
    0x6A240A,
    0x808080,
    0xC0C0C0,
    0xFFFFFF,
    0x000000,
    0x000000,
    0x000000,
    0xFFFFFF,
    0xC0C0C0,
    0xC0C0C0,
    0x808080,
    0x6A240A,
    0xFFFFFF,
    0xC0C0C0,
    0x808080,
    0x808080,
    0x000000,
    0xC0C0C0,
    0xFFFFFF,
    0x000000,
    0xDFDFDF,
    0x000000,
    0xE1FFFF,
    0x000000,
    0x800000,
    0xF0CAA6,
    0xC0C0C0,
    0x6A240A,
    0xC0C0C0,
} };

TColor Resolve(TColor c, const QPalette* palette)
{
    if (!IsSystemColor(c))
        return c;
    const quint32 index = c & 0x00FFFFFF;
    if (index >= kSystemRoles.size())
        return clBlack;
    if (!palette)
        return kClassic[index];
    const SystemRole& r = kSystemRoles[index];
    if (r.role == QPalette::NoRole)
        return clBlack;
    return FromQColor(palette->color(r.group, r.role));
}

const QPalette* ApplicationPalette(QPalette& storage)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return nullptr;
    storage = QGuiApplication::palette();
    return &storage;
}

} // namespace

TColor ColorToRGB(TColor c)
{
    QPalette storage;
    return Resolve(c, ApplicationPalette(storage));
}

TColor ColorToRGB(TColor c, const QPalette& palette)
{
    return Resolve(c, &palette);
}

QColor ToQColor(TColor c)
{
    if (c == clNone || c == clDefault)
        return {};
    const TColor rgb = ColorToRGB(c);
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

QColor ToQColor(TColor c, const QPalette& palette)
{
    if (c == clNone || c == clDefault)
        return {};
    const TColor rgb = ColorToRGB(c, palette);
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

TColor FromQColor(const QColor& color)
{
    if (!color.isValid())
        return clNone;
    return RGBColor(color.red(), color.green(), color.blue());
}
