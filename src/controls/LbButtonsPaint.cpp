// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/LbButtons.h"

#include "controls/ButtonGlyphs.h"

#include <QPainter>

#include <algorithm>

namespace {

constexpr int kInnerMargin = 4;
constexpr int kGlyphGap = 4;
constexpr int kArrowFromRight = 11;

QColor Q(TColor c)
{
    return ToQColor(c);
}

void Line(QPainter& g, TColor c, int x1, int y1, int x2, int y2)
{
    g.setPen(QPen(Q(c), 0));
    g.drawLine(x1, y1, x2, y2);
}

void DrawFace(QPainter& g, const TLbDrawParams& p, TColor face)
{
    if (p.style == bsShape || p.style == bsQuicken || p.transparent)
        return;
    if (p.style == bsModern) {
        for (const LbGradientBand& band : LbModernFaceBands(p.size, p.lightColor, face))
            g.fillRect(band.rect, Q(band.color));
        return;
    }
    g.fillRect(QRect(QPoint(0, 0), p.size), Q(face));
}

void DrawFrame(QPainter& g, const TLbDrawParams& p, TColor face, bool down)
{
    const int r = p.size.width() - 1;
    const int b = p.size.height() - 1;
    if (p.style == bsQuicken) {
        // The rounded body is the face of this style, so it is always drawn.
        g.setPen(QPen(Q(face), 0));
        g.setBrush(Q(face));
        g.drawRoundedRect(QRectF(0, 0, r, b), 2, 2);
        g.setBrush(Qt::NoBrush);
        Line(g, p.shadowColor, 2, 0, r - 2, 0);
        Line(g, p.shadowColor, 2, b, r - 2, b);
        return;
    }
    if (!LbFrameVisible(p.style, p.enabled, p.flat, p.hot, down))
        return;
    switch (p.style) {
    case bsNormal:
    case bsEncarta: {
        const TColor topLeft = down ? p.shadowColor : p.lightColor;
        const TColor bottomRight = down ? p.lightColor : p.shadowColor;
        Line(g, topLeft, 0, 0, r, 0);
        Line(g, topLeft, 0, 0, 0, b);
        Line(g, bottomRight, r, 0, r, b);
        Line(g, bottomRight, 0, b, r, b);
        break;
    }
    case bsOld:
        if (!down) {
            Line(g, p.lightColor, 0, 0, r, 0);
            Line(g, p.lightColor, 0, 0, 0, b);
            Line(g, p.darkShadowColor, r, 0, r, b);
            Line(g, p.darkShadowColor, 0, b, r, b);
            Line(g, p.shadowColor, r - 1, 1, r - 1, b - 1);
            Line(g, p.shadowColor, 1, b - 1, r - 1, b - 1);
        } else {
            Line(g, p.darkShadowColor, 0, 0, r, 0);
            Line(g, p.darkShadowColor, 0, 0, 0, b);
            Line(g, p.lightColor, r, 0, r, b);
            Line(g, p.lightColor, 0, b, r, b);
            Line(g, p.shadowColor, 1, 1, r - 1, 1);
            Line(g, p.shadowColor, 1, 1, 1, b - 1);
        }
        break;
    case bsModern:
        g.setBrush(Qt::NoBrush);
        g.setPen(QPen(Q(down ? p.shadowColor : face), 0));
        g.drawRect(QRect(1, 1, r - 1, b - 1));
        g.setPen(QPen(Q(p.shadowColor), 0));
        g.drawRoundedRect(QRectF(0, 0, r, b), 3, 3);
        break;
    default:
        break;
    }
}

QImage GlyphImage(const TLbDrawParams& p, bool down)
{
    const int index = LbGlyphIndex(p.numGlyphs, p.enabled, p.hot, down);
    if (index < 0 || p.glyph.isNull())
        return {};
    const int k = p.glyph.width() / p.numGlyphs;
    if (k <= 0)
        return {};
    return p.glyph.copy(index * k, 0, k, p.glyph.height());
}

} // namespace

void DrawLbButton(QPainter& g, const TLbDrawParams& p)
{
    g.setRenderHint(QPainter::Antialiasing, false);
    // Disabled buttons are never drawn down.
    const bool down = p.down && p.enabled;
    const int shift = (down && p.style != bsEncarta) ? 1 : 0;
    const TColor face = LbFaceColor(p.color, p.hotTrackColor, p.colorWhenDown, p.hotLevel, p.enabled, down);

    DrawFace(g, p, face);
    DrawFrame(g, p, face, down);

    QFont font = p.font;
    TColor textColor = p.fontColor;
    if (p.hot && p.useHotTrackFont) {
        font = p.hotTrackFont;
        textColor = p.hotTrackFontColor;
    }
    if (p.style == bsEncarta && down)
        font.setBold(true);
    if (!p.enabled)
        textColor = clGray;
    g.setFont(font);

    const QImage glyph = GlyphImage(p, down);
    const QSize glyphSize = glyph.isNull() ? QSize(0, 0) : glyph.size();
    const int w = p.size.width();
    const int h = p.size.height();
    const QPoint centredGlyph((w - glyphSize.width()) / 2, (h - glyphSize.height()) / 2);
    QPoint glyphAt;
    QRect textRect;
    int textFlags = Qt::TextShowMnemonic | Qt::AlignVCenter;

    if (p.style == bsShape) {
        glyphAt = centredGlyph;
        const int textWidth = std::max(0, w - 8);
        textRect = QRect((w - textWidth) / 2 + shift, shift, textWidth, h);
        textFlags |= Qt::AlignHCenter | Qt::TextWordWrap;
    } else {
        const QRect inner
            = QRect(kInnerMargin, kInnerMargin, w - 2 * kInnerMargin, h - 2 * kInnerMargin).translated(shift, shift);
        textRect = inner;
        if (p.caption.isEmpty()) {
            glyphAt = centredGlyph + QPoint(shift, shift);
        } else if (!glyph.isNull()) {
            const int midY = inner.top() + (inner.height() - glyphSize.height()) / 2;
            const int midX = inner.left() + (inner.width() - glyphSize.width()) / 2;
            switch (p.layout) {
            case blGlyphLeft:
                glyphAt = QPoint(inner.left(), midY);
                textRect.setLeft(inner.left() + glyphSize.width() + kGlyphGap);
                break;
            case blGlyphRight:
                glyphAt = QPoint(inner.right() + 1 - glyphSize.width(), midY);
                textRect.setRight(glyphAt.x() - kGlyphGap - 1);
                break;
            case blGlyphTop:
                glyphAt = QPoint(midX, inner.top());
                textRect.setTop(inner.top() + glyphSize.height() + kGlyphGap / 2);
                break;
            case blGlyphBottom:
                glyphAt = QPoint(midX, inner.bottom() + 1 - glyphSize.height());
                textRect.setBottom(glyphAt.y() - kGlyphGap / 2 - 1);
                break;
            }
        }
        switch (p.alignment) {
        case taLeftJustify:
            textFlags |= Qt::AlignLeft;
            break;
        case taRightJustify:
            textFlags |= Qt::AlignRight;
            break;
        case taCenter:
            textFlags |= Qt::AlignHCenter;
            break;
        }
        if (p.wordWrap)
            textFlags |= Qt::TextWordWrap;
    }

    if (!glyph.isNull())
        g.drawImage(glyphAt, glyph);

    if (!p.caption.isEmpty()) {
        QString text = p.caption;
        if (!(textFlags & Qt::TextWordWrap))
            text = LbCutCaption(text, font, textRect.width());
        g.setPen(Q(textColor));
        g.drawText(textRect, textFlags, text);
    }

    if (p.popupArrow) {
        const QImage arrow = ButtonResource("LBARROW");
        g.drawImage(QPoint(w - kArrowFromRight, (h - arrow.height()) / 2), arrow);
    }
}

QImage RenderLbButton(const TLbDrawParams& p)
{
    QImage image(p.size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    // Unpainted pixels stay transparent. The background could be keyed out
    // by a magenta fill instead, but anti-aliased caption edges would then
    // keep a magenta fringe.
    image.fill(Qt::transparent);
    QPainter g(&image);
    DrawLbButton(g, p);
    return image;
}
