// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// The program's button images, drawn in code so they scale with nothing but
// a painter. All come with a transparent background.

// Bitmap resources by name: the two-image kind glyphs "BBCOK", "BBCCANCEL",
// "BBCHELP", "BBCYES", "BBCNO", "BBCCLOSE", "BBCABORT", "BBCRETRY",
// "BBCIGNORE", "BBCALL" (18 x 18 each: normal, disabled) and the popup arrow
// "LBARROW" (5 x 3). Each is made once and shared; an unknown name gives a
// null image.
QImage ButtonResource(const QString& name);

// A glyph strip with the colour of its lower-left pixel made transparent,
// the way button glyphs have always marked their background.
QImage ApplyGlyphKey(const QImage& glyph);

// The disabled look of an image: its shape embossed, light one pixel right
// and down, shadow on top. Transparent elsewhere.
QImage EmbossedImage(const QImage& image, const QColor& light, const QColor& shadow);

// The header buttons' glyphs: strips of four square images of the
// given size (normal, disabled, down, hot) for a flat button on the dark
// header bar.
enum class HeaderGlyphKind { Help, Settings, Info, Spectator };
QImage HeaderGlyph(HeaderGlyphKind kind, int size = 28);
