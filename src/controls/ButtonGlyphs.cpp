// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/ButtonGlyphs.h"

#include <QFont>
#include <QHash>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <functional>
#include <numbers>

namespace {

constexpr int kKindSize = 18;

using Drawer = std::function<void(QPainter&)>;

QPen ThickPen(const QColor& c, qreal width)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void DrawCheck(QPainter& g, qreal dx)
{
    g.setPen(ThickPen(QColor(0x00, 0x80, 0x00), 2.6));
    g.drawPolyline(QPolygonF({ QPointF(3 + dx, 9.5), QPointF(7 + dx, 13.5), QPointF(15 + dx, 4.5) }));
}

void DrawCross(QPainter& g, const QColor& c, qreal inset, qreal width)
{
    g.setPen(ThickPen(c, width));
    g.drawLine(QPointF(inset, inset), QPointF(kKindSize - inset, kKindSize - inset));
    g.drawLine(QPointF(kKindSize - inset, inset), QPointF(inset, kKindSize - inset));
}

void DrawLetter(QPainter& g, const QString& letter, const QColor& c, int pixelSize, const QRectF& box)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    g.setFont(font);
    g.setPen(c);
    g.drawText(box, Qt::AlignCenter, letter);
}

Drawer KindDrawer(const QString& name)
{
    if (name == QLatin1String("BBCOK") || name == QLatin1String("BBCYES"))
        return [](QPainter& g) { DrawCheck(g, 0); };
    if (name == QLatin1String("BBCALL"))
        return [](QPainter& g) {
            g.scale(0.8, 0.8);
            DrawCheck(g, -1);
            DrawCheck(g, 6);
        };
    if (name == QLatin1String("BBCCANCEL"))
        return [](QPainter& g) { DrawCross(g, QColor(0xC0, 0x00, 0x00), 4, 2.6); };
    if (name == QLatin1String("BBCABORT"))
        return [](QPainter& g) {
            g.setPen(Qt::NoPen);
            g.setBrush(QColor(0xC0, 0x00, 0x00));
            g.drawEllipse(QRectF(1, 1, 16, 16));
            DrawCross(g, Qt::white, 5.5, 2.2);
        };
    if (name == QLatin1String("BBCNO"))
        return [](QPainter& g) {
            g.setPen(ThickPen(QColor(0xC0, 0x00, 0x00), 2.4));
            g.setBrush(Qt::NoBrush);
            g.drawEllipse(QRectF(2.5, 2.5, 13, 13));
            g.drawLine(QPointF(5, 13), QPointF(13, 5));
        };
    if (name == QLatin1String("BBCHELP"))
        return
            [](QPainter& g) { DrawLetter(g, QStringLiteral("?"), QColor(0x00, 0x00, 0xA0), 17, QRectF(0, 0, 18, 18)); };
    if (name == QLatin1String("BBCCLOSE"))
        return [](QPainter& g) {
            g.setPen(QPen(QColor(0x40, 0x20, 0x00), 1));
            g.setBrush(QColor(0xA0, 0x60, 0x20));
            g.drawRect(QRectF(4.5, 1.5, 9, 15));
            g.setBrush(QColor(0xFF, 0xD0, 0x00));
            g.setPen(Qt::NoPen);
            g.drawEllipse(QRectF(10, 8, 2.2, 2.2));
        };
    if (name == QLatin1String("BBCRETRY"))
        return [](QPainter& g) {
            g.setPen(ThickPen(QColor(0x00, 0x80, 0x00), 2.2));
            g.setBrush(Qt::NoBrush);
            g.drawArc(QRectF(3, 3, 12, 12), 60 * 16, 280 * 16);
            g.setPen(Qt::NoPen);
            g.setBrush(QColor(0x00, 0x80, 0x00));
            g.drawPolygon(QPolygonF({ QPointF(10, 0.5), QPointF(16, 4), QPointF(10, 7.5) }));
        };
    if (name == QLatin1String("BBCIGNORE"))
        return [](QPainter& g) {
            g.setPen(ThickPen(QColor(0x60, 0x60, 0x60), 2));
            g.drawLine(QPointF(9, 9), QPointF(9, 17));
            g.setPen(ThickPen(QColor(0x00, 0x40, 0xC0), 2));
            g.setBrush(Qt::NoBrush);
            g.drawArc(QRectF(3, 4, 12, 12), 0, 180 * 16);
            g.setPen(Qt::NoPen);
            g.setBrush(QColor(0x00, 0x40, 0xC0));
            g.drawPolygon(QPolygonF({ QPointF(12, 10), QPointF(18, 10), QPointF(15, 14) }));
        };
    return {};
}

QImage MakeKindResource(const Drawer& draw)
{
    QImage single(kKindSize, kKindSize, QImage::Format_ARGB32_Premultiplied);
    single.fill(Qt::transparent);
    {
        QPainter g(&single);
        g.setRenderHint(QPainter::Antialiasing);
        draw(g);
    }
    QImage strip(2 * kKindSize, kKindSize, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    QPainter g(&strip);
    g.drawImage(0, 0, single);
    g.drawImage(kKindSize, 0, EmbossedImage(single, Qt::white, QColor(0x80, 0x80, 0x80)));
    return strip;
}

QImage MakeArrow()
{
    // A downward triangle: 5, 3 and 1 pixels.
    QImage arrow(5, 3, QImage::Format_ARGB32_Premultiplied);
    arrow.fill(Qt::transparent);
    for (int y = 0; y < 3; ++y)
        for (int x = y; x < 5 - y; ++x)
            arrow.setPixel(x, y, qRgb(0, 0, 0));
    return arrow;
}

} // namespace

QImage ButtonResource(const QString& name)
{
    static QMutex mutex;
    static QHash<QString, QImage> made;
    QMutexLocker lock(&mutex);
    const auto found = made.constFind(name);
    if (found != made.constEnd())
        return *found;
    QImage image;
    if (name == QLatin1String("LBARROW")) {
        image = MakeArrow();
    } else if (const Drawer draw = KindDrawer(name)) {
        image = MakeKindResource(draw);
    } else {
        return {};
    }
    made.insert(name, image);
    return image;
}

QImage ApplyGlyphKey(const QImage& glyph)
{
    if (glyph.isNull())
        return {};
    QImage out = glyph.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = out.pixel(0, out.height() - 1);
    for (int y = 0; y < out.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if (line[x] == key)
                line[x] = 0;
    }
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage EmbossedImage(const QImage& image, const QColor& light, const QColor& shadow)
{
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    QImage out(source.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    const auto shape = [&](int x, int y) { return qAlpha(source.pixel(x, y)) >= 128; };
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            if (shape(x, y) && x + 1 < out.width() && y + 1 < out.height())
                out.setPixel(x + 1, y + 1, light.rgb());
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            if (shape(x, y))
                out.setPixel(x, y, shadow.rgb());
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}
