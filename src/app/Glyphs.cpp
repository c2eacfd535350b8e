// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/Glyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap blank(int w, int h)
{
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    return pm;
}

void sheet(QPainter& p, const QColor& fold)
{
    QPainterPath page;
    page.moveTo(5, 2);
    page.lineTo(15, 2);
    page.lineTo(20, 7);
    page.lineTo(20, 22);
    page.lineTo(5, 22);
    page.closeSubpath();
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(fold);
    p.drawPolygon(QPolygon({ QPoint(15, 2), QPoint(15, 7), QPoint(20, 7) }));
}

void badge(QPainter& p, const QColor& colour, QChar letter)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRect(1, 9, 13, 13), 2, 2);
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(1, 9, 13, 13), Qt::AlignCenter, QString(letter));
}

} // namespace

QPixmap LockPicture(int index)
{
    QPixmap pm = blank(22, 22);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(index == 0 ? QColor(0xE0, 0x10, 0x10) : QColor(0x00, 0xA0, 0x00));
    p.drawEllipse(QRectF(1, 1, 20, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5, 9.5, 12, 3));
    if (index != 0)
        p.drawRect(QRectF(9.5, 5, 3, 12));
    return pm;
}

QPixmap FileBarGlyph(FileGlyph glyph)
{
    QPixmap pm = blank(24, 24);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (glyph) {
    case FileGlyph::Open: {
        p.setPen(QPen(QColor(0x80, 0x60, 0x00), 1));
        p.setBrush(QColor(0xF0, 0xC8, 0x40));
        p.drawPolygon(
            QPolygon({ QPoint(2, 6), QPoint(9, 6), QPoint(11, 8), QPoint(20, 8), QPoint(20, 20), QPoint(2, 20) }));
        p.setBrush(QColor(0xFF, 0xE0, 0x70));
        p.drawPolygon(QPolygon({ QPoint(5, 11), QPoint(23, 11), QPoint(20, 20), QPoint(2, 20) }));
        break;
    }
    case FileGlyph::Save: {
        p.setPen(QPen(QColor(0x20, 0x30, 0x60), 1));
        p.setBrush(QColor(0x30, 0x50, 0xA0));
        p.drawRoundedRect(QRectF(2.5, 2.5, 19, 19), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6.5, 2.5, 11, 7));
        p.setBrush(QColor(0xD0, 0xD0, 0xD0));
        p.drawRect(QRectF(5.5, 13.5, 13, 8));
        break;
    }
    case FileGlyph::Print: {
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6.5, 2.5, 11, 8));
        p.setBrush(QColor(0x90, 0x90, 0x90));
        p.drawRoundedRect(QRectF(2.5, 9.5, 19, 9), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6.5, 15.5, 11, 6));
        p.setPen(QColor(0x20, 0xC0, 0x20));
        p.drawPoint(18, 12);
        break;
    }
    case FileGlyph::Word:
        sheet(p, QColor(0xC0, 0xD0, 0xF0));
        badge(p, QColor(0x2B, 0x57, 0x9A), QLatin1Char('W'));
        break;
    case FileGlyph::Excel:
        sheet(p, QColor(0xC0, 0xE8, 0xC8));
        badge(p, QColor(0x21, 0x73, 0x46), QLatin1Char('X'));
        break;
    case FileGlyph::Html: {
        p.setPen(QPen(QColor(0x10, 0x50, 0x90), 1.5));
        p.setBrush(QColor(0x9C, 0xD0, 0xFF));
        p.drawEllipse(QRectF(2.5, 2.5, 19, 19));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(8, 2.5, 8, 19));
        p.drawLine(QPointF(3, 12), QPointF(21, 12));
        p.drawLine(QPointF(4.5, 7), QPointF(19.5, 7));
        p.drawLine(QPointF(4.5, 17), QPointF(19.5, 17));
        break;
    }
    }
    return pm;
}

QPixmap ProgramIcon(int size)
{
    QPixmap pm = blank(size, size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x10, 0x10));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    p.setPen(QPen(QColor(0xFF, 0xFF, 0x00), 5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(32, 36), 20, 20);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xFF, 0x00));
    p.drawRoundedRect(QRectF(27, 6, 10, 7), 2, 2);
    p.setPen(QPen(QColor(0x00, 0xFF, 0x00), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 36), QPointF(32, 22));
    p.setPen(QPen(QColor(0xFF, 0x30, 0x30), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 36), QPointF(42, 42));
    return pm;
}
