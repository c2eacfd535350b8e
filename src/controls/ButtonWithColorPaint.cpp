// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/ButtonWithColor.h"

#include "controls/ButtonGlyphs.h"

#include <QCache>
#include <QPainter>

namespace {

constexpr int kFocusInset = 4;
constexpr int kGlyphCacheEntries = 256;

// Composed glyph images, shared by every button with the same strip, image
// size, face colour and state.
QCache<QString, QImage>& GlyphCache()
{
    static QCache<QString, QImage> cache(kGlyphCacheEntries);
    return cache;
}

void Line(QPainter& g, TColor c, int x1, int y1, int x2, int y2)
{
    g.setPen(QPen(ToQColor(c), 0));
    g.drawLine(x1, y1, x2, y2);
}

// The raised edge of an up button: outer and inner lines, light above and
// left, shadow below and right.
void DrawRaisedEdge(QPainter& g, const QRect& r)
{
    const int x0 = r.left();
    const int y0 = r.top();
    const int x1 = r.right();
    const int y1 = r.bottom();
    Line(g, cl3DLight, x0, y0, x1 - 1, y0);
    Line(g, cl3DLight, x0, y0, x0, y1 - 1);
    Line(g, cl3DDkShadow, x0, y1, x1, y1);
    Line(g, cl3DDkShadow, x1, y0, x1, y1);
    Line(g, clBtnHighlight, x0 + 1, y0 + 1, x1 - 2, y0 + 1);
    Line(g, clBtnHighlight, x0 + 1, y0 + 1, x0 + 1, y1 - 2);
    Line(g, clBtnShadow, x0 + 1, y1 - 1, x1 - 1, y1 - 1);
    Line(g, clBtnShadow, x1 - 1, y0 + 1, x1 - 1, y1 - 1);
}

// A focus rectangle of alternating pixels that inverts what is below, so it
// shows on any face colour.
void DrawFocusRect(QPainter& g, const QRect& r)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    g.save();
    g.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    g.setPen(QPen(Qt::white, 0));
    // Every pixel on the border at most once: a second XOR would erase it.
    const auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0)
            g.drawPoint(x, y);
    };
    for (int x = r.left(); x <= r.right(); ++x) {
        dot(x, r.top());
        if (r.bottom() != r.top())
            dot(x, r.bottom());
    }
    for (int y = r.top() + 1; y < r.bottom(); ++y) {
        dot(r.left(), y);
        if (r.right() != r.left())
            dot(r.right(), y);
    }
    g.restore();
}

} // namespace

QImage TBitBtnWithColor::GlyphFor(TBitBtnGlyphState state) const
{
    if (m_keyedGlyph.isNull() || m_numGlyphs <= 0)
        return {};
    const int width = m_keyedGlyph.width() / m_numGlyphs;
    const int height = m_keyedGlyph.height();
    if (width <= 0 || height <= 0)
        return {};
    const int wanted = int(state);
    // An image the strip lacks falls back to image 0; a missing disabled
    // image is made from image 0.
    const bool embossed = state == TBitBtnGlyphState::Disabled && m_numGlyphs < 2;
    const int index = wanted < m_numGlyphs ? wanted : 0;
    const TColor face = ColorToRGB(m_color);
    // Keyed on the strip as given, so copies of one strip share entries.
    const QString key = QStringLiteral("%1/%2/%3x%4/%5/%6/%7")
                            .arg(m_glyph.cacheKey())
                            .arg(m_numGlyphs)
                            .arg(width)
                            .arg(height)
                            .arg(face)
                            .arg(index)
                            .arg(embossed ? 1 : 0);
    if (const QImage* cached = GlyphCache().object(key))
        return *cached;

    QImage image(width, height, QImage::Format_RGB32);
    image.fill(ToQColor(face));
    QPainter g(&image);
    const QImage source = m_keyedGlyph.copy(index * width, 0, width, height);
    if (embossed)
        g.drawImage(0, 0, EmbossedImage(source, ToQColor(clBtnHighlight), ToQColor(clBtnShadow)));
    else
        g.drawImage(0, 0, source);
    g.end();
    GlyphCache().insert(key, new QImage(image));
    return image;
}

void TBitBtnWithColor::paintEvent(QPaintEvent*)
{
    QPainter g(this);
    g.setRenderHint(QPainter::Antialiasing, false);
    const QRect client = rect();
    QRect r = client;
    const bool active = IsActiveButton();
    const bool enabled = isEnabled();
    const bool down = isDown() && enabled;

    if (active) {
        g.setPen(QPen(ToQColor(clWindowFrame), 0));
        g.setBrush(Qt::NoBrush);
        g.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    TColor pen = m_color;
    if (down) {
        pen = clBtnShadow;
    } else {
        DrawRaisedEdge(g, r);
        r.adjust(2, 2, -2, -2);
    }
    g.setPen(QPen(ToQColor(pen), 0));
    g.setBrush(ToQColor(m_color));
    if (r.width() > 0 && r.height() > 0)
        g.drawRect(r.adjusted(0, 0, -1, -1));
    r.adjust(1, 1, -1, -1);
    if (active)
        r = client.adjusted(1, 1, -1, -1);

    g.setFont(font());
    if (down)
        r.translate(1, 1);

    const TBitBtnGlyphState state = !enabled ? TBitBtnGlyphState::Disabled
        : down                               ? TBitBtnGlyphState::Down
                                             : TBitBtnGlyphState::Up;
    const QImage glyph = GlyphFor(state);
    const QString caption = text();
    const int textFlags = Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
    const QSize captionSize = caption.isEmpty() ? QSize() : fontMetrics().size(textFlags, caption);
    const GlyphCaptionPlacement place
        = LayoutGlyphAndCaption(r, glyph.isNull() ? QSize() : glyph.size(), captionSize, m_layout, m_margin, m_spacing);

    if (!glyph.isNull())
        g.drawImage(place.glyph.topLeft(), glyph);
    if (!caption.isEmpty()) {
        if (enabled) {
            g.setPen(ToQColor(m_fontColor));
        } else {
            g.setPen(Qt::white);
            g.drawText(place.caption.translated(1, 1), textFlags, caption);
            g.setPen(ToQColor(clGray));
        }
        g.drawText(place.caption, textFlags, caption);
    }

    if (active)
        DrawFocusRect(g, client.adjusted(kFocusInset, kFocusInset, -kFocusInset - 1, -kFocusInset - 1));
}
