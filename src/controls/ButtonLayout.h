// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "controls/Alignment.h"

#include <QRect>
#include <QSize>

// Shared by both button controls: where the glyph sits relative to the caption.
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

struct GlyphCaptionPlacement {
    QRect glyph; // empty when there is no glyph
    QRect caption; // empty when there is no caption
};

// Lays glyph and caption out in client the way a bitmap button does. Margin
// -1 centres the glyph-and-caption block; Spacing -1 centres the caption in
// the room the glyph leaves (with Margin -1 too: all three gaps equal).
// Spacing only counts when there is both a glyph and a caption.
GlyphCaptionPlacement LayoutGlyphAndCaption(
    const QRect& client, QSize glyph, QSize caption, TButtonLayout layout, int margin, int spacing);
