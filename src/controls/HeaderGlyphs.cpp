// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/ButtonGlyphs.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>

#include <array>

namespace {

// Image order of a speed-button glyph strip.
enum State { Normal, Disabled, Down, Hot };
constexpr std::array<State, 4> kStates { Normal, Disabled, Down, Hot };

struct DiscScheme {
    QColor light; // upper-left of the disc
    QColor dark; // lower-right of the disc
    QColor ring;
    QColor symbol;
};

DiscScheme DiscColors(State state)
{
    switch (state) {
    case Disabled:
        return { QColor(0xB4, 0xB4, 0xB4), QColor(0x90, 0x90, 0x90), QColor(0xA8, 0xA8, 0xA8),
            QColor(0xD8, 0xD8, 0xD8) };
    case Down:
        return { QColor(0x2A, 0x62, 0xB8), QColor(0x0E, 0x32, 0x78), QColor(0xC8, 0xD8, 0xF0), Qt::white };
    case Hot:
        return { QColor(0x6A, 0xAE, 0xFF), QColor(0x1C, 0x5C, 0xD0), Qt::white, Qt::white };
    case Normal:
        break;
    }
    return { QColor(0x4A, 0x8E, 0xE8), QColor(0x14, 0x46, 0xA8), QColor(0xE8, 0xF0, 0xFF), Qt::white };
}

void DrawDisc(QPainter& g, int size, const DiscScheme& c)
{
    const QRectF disc(1.5, 1.5, size - 3, size - 3);
    QRadialGradient fill(disc.center() - QPointF(size * 0.18, size * 0.18), size * 0.62);
    fill.setColorAt(0, c.light);
    fill.setColorAt(1, c.dark);
    g.setBrush(fill);
    g.setPen(QPen(c.ring, 1.5));
    g.drawEllipse(disc);
}

void DrawHelp(QPainter& g, int size, State state)
{
    const DiscScheme c = DiscColors(state);
    DrawDisc(g, size, c);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(qRound(size * 0.72));
    font.setBold(true);
    g.setFont(font);
    g.setPen(c.symbol);
    g.drawText(QRectF(0, 0, size, size + 1), Qt::AlignCenter, QStringLiteral("?"));
}

void DrawInfo(QPainter& g, int size, State state)
{
    const DiscScheme c = DiscColors(state);
    DrawDisc(g, size, c);
    g.setPen(Qt::NoPen);
    g.setBrush(c.symbol);
    const qreal stem = size * 0.15;
    const qreal cx = size / 2.0;
    g.drawEllipse(QPointF(cx, size * 0.28), stem * 0.62, stem * 0.62);
    g.drawRoundedRect(QRectF(cx - stem / 2, size * 0.40, stem, size * 0.38), stem * 0.2, stem * 0.2);
}

// A screen on its stand: the spectator display.
void DrawDisplay(QPainter& g, int size, State state)
{
    const DiscScheme c = DiscColors(state);
    DrawDisc(g, size, c);
    g.setPen(QPen(c.symbol, qMax(1.5, size * 0.07)));
    g.setBrush(Qt::NoBrush);
    g.drawRoundedRect(QRectF(size * 0.24, size * 0.28, size * 0.52, size * 0.34), 1.5, 1.5);
    g.setPen(Qt::NoPen);
    g.setBrush(c.symbol);
    g.drawRect(QRectF(size * 0.46, size * 0.62, size * 0.08, size * 0.09));
    g.drawRoundedRect(QRectF(size * 0.34, size * 0.70, size * 0.32, size * 0.06), 1, 1);
}

QPainterPath GearPath(int size)
{
    const qreal cx = size / 2.0;
    const qreal outer = size * 0.47;
    const qreal body = outer * 0.76;
    const qreal hole = outer * 0.30;
    const qreal toothWidth = outer * 0.40;

    QPainterPath gear;
    gear.addEllipse(QPointF(cx, cx), body, body);
    QPainterPath tooth;
    tooth.addRoundedRect(QRectF(-toothWidth / 2, -outer, toothWidth, outer - body + 2), 1.2, 1.2);
    for (int i = 0; i < 8; ++i) {
        QTransform t;
        t.translate(cx, cx);
        t.rotate(i * 45.0);
        gear = gear.united(t.map(tooth));
    }
    QPainterPath centre;
    centre.addEllipse(QPointF(cx, cx), hole, hole);
    return gear.subtracted(centre);
}

void DrawSettings(QPainter& g, int size, State state)
{
    QColor light(0xF0, 0xF0, 0xF0);
    QColor dark(0xA8, 0xA8, 0xA8);
    QColor edge(0x30, 0x30, 0x30);
    switch (state) {
    case Disabled:
        light = QColor(0xB8, 0xB8, 0xB8);
        dark = QColor(0x98, 0x98, 0x98);
        edge = QColor(0x80, 0x80, 0x80);
        break;
    case Down:
        light = QColor(0xC8, 0xC8, 0xC8);
        dark = QColor(0x84, 0x84, 0x84);
        break;
    case Hot:
        light = Qt::white;
        dark = QColor(0xC8, 0xC8, 0xC8);
        edge = QColor(0x10, 0x10, 0x10);
        break;
    case Normal:
        break;
    }
    QRadialGradient fill(QPointF(size * 0.35, size * 0.3), size * 0.75);
    fill.setColorAt(0, light);
    fill.setColorAt(1, dark);
    g.setBrush(fill);
    g.setPen(QPen(edge, 1.2));
    g.drawPath(GearPath(size));
}

} // namespace

QImage HeaderGlyph(HeaderGlyphKind kind, int size)
{
    size = qMax(size, 8);
    QImage strip(size * int(kStates.size()), size, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    QPainter g(&strip);
    g.setRenderHint(QPainter::Antialiasing);
    g.setRenderHint(QPainter::TextAntialiasing);
    for (const State state : kStates) {
        g.save();
        g.translate(size * int(state), 0);
        g.setClipRect(QRect(0, 0, size, size));
        switch (kind) {
        case HeaderGlyphKind::Help:
            DrawHelp(g, size, state);
            break;
        case HeaderGlyphKind::Settings:
            DrawSettings(g, size, state);
            break;
        case HeaderGlyphKind::Info:
            DrawInfo(g, size, state);
            break;
        case HeaderGlyphKind::Spectator:
            DrawDisplay(g, size, state);
            break;
        }
        g.restore();
    }
    return strip;
}
