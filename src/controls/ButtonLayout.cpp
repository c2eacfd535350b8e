// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/ButtonLayout.h"

GlyphCaptionPlacement LayoutGlyphAndCaption(
    const QRect& client, QSize glyph, QSize caption, TButtonLayout layout, int margin, int spacing)
{
    const bool hasGlyph = !glyph.isEmpty();
    const bool hasCaption = !caption.isEmpty();
    if (!hasGlyph)
        glyph = QSize(0, 0);
    if (!hasCaption)
        caption = QSize(0, 0);
    if (!hasGlyph || !hasCaption)
        spacing = 0;

    const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
    // Along the layout axis.
    const int room = horizontal ? client.width() : client.height();
    const int glyphLen = horizontal ? glyph.width() : glyph.height();
    const int captionLen = horizontal ? caption.width() : caption.height();

    if (margin == -1) {
        if (spacing == -1) {
            const int gap = (room - glyphLen - captionLen) / 3;
            margin = gap;
            spacing = gap;
        } else {
            margin = (room - (glyphLen + spacing + captionLen)) / 2;
        }
    } else if (spacing == -1) {
        spacing = (room - margin - glyphLen - captionLen) / 2;
    }

    QPoint glyphAt;
    QPoint captionAt;
    if (horizontal) {
        const int glyphY = (client.height() - glyph.height()) / 2;
        const int captionY = (client.height() - caption.height()) / 2;
        if (layout == blGlyphLeft) {
            glyphAt = QPoint(margin, glyphY);
            captionAt = QPoint(margin + glyph.width() + spacing, captionY);
        } else {
            glyphAt = QPoint(client.width() - margin - glyph.width(), glyphY);
            captionAt = QPoint(glyphAt.x() - spacing - caption.width(), captionY);
        }
    } else {
        const int glyphX = (client.width() - glyph.width()) / 2;
        const int captionX = (client.width() - caption.width()) / 2;
        if (layout == blGlyphTop) {
            glyphAt = QPoint(glyphX, margin);
            captionAt = QPoint(captionX, margin + glyph.height() + spacing);
        } else {
            glyphAt = QPoint(glyphX, client.height() - margin - glyph.height());
            captionAt = QPoint(captionX, glyphAt.y() - spacing - caption.height());
        }
    }

    GlyphCaptionPlacement result;
    if (hasGlyph)
        result.glyph = QRect(client.topLeft() + glyphAt, glyph);
    if (hasCaption)
        result.caption = QRect(client.topLeft() + captionAt, caption);
    return result;
}
