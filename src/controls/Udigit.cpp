// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/Udigit.h"

#include "controls/AssignChanged.h"
#include "controls/DigitShapes.h"

#include <QPainter>
#include <QPixmap>

#include <unordered_map>

namespace {

// Bits: 1 top, 2 middle, 4 bottom, 8 upper left, 16 upper right,
// 32 lower left, 64 lower right, 128 point. 6 and 9 have their tails.
constexpr std::uint8_t kSegments[10] = { 0x7D, 0x50, 0x37, 0x57, 0x5A, 0x4F, 0x6F, 0x51, 0x7F, 0x5F };

// Filling eight polygons costs about 30 us with the raster engine, more than a
// 10 ms clock tick can afford for a dozen digits. A display only ever shows a
// few dozen different pictures (ten digits in two or three colours), so each
// picture is drawn once and later paints copy it.
struct Picture {
    QRgb on;
    QRgb off;
    QRgb background;
    std::uint8_t pattern;
    int width;
    int height;
    int thickness;
    int separation;
    qreal ratio;
    bool operator==(const Picture&) const = default;
};

struct PictureHash {
    std::size_t operator()(const Picture& p) const noexcept
    {
        return qHashMulti(
            0, p.on, p.off, p.background, p.pattern, p.width, p.height, p.thickness, p.separation, p.ratio);
    }
};

constexpr std::size_t kMaxPictures = 256;

std::unordered_map<Picture, QPixmap, PictureHash>& pictures()
{
    static std::unordered_map<Picture, QPixmap, PictureHash> cache;
    return cache;
}

void drawSegments(QPainter& painter, const Picture& p)
{
    const QColor background = QColor::fromRgb(p.background);
    painter.fillRect(QRect(0, 0, p.width, p.height), background);
    // Every outline in the background colour keeps neighbouring segments apart.
    painter.setPen(QPen(background, 1));
    const DigitOutlines shapes = DigitShapes(p.width, p.height, p.thickness, p.separation);
    const QColor on = QColor::fromRgb(p.on);
    const QColor off = QColor::fromRgb(p.off);
    unsigned bit = 1;
    for (const DigitPolygon& shape : shapes) {
        painter.setBrush((p.pattern & bit) ? on : off);
        painter.drawPolygon(shape.points.data(), shape.count);
        bit <<= 1;
    }
}

const QPixmap& pictureOf(const Picture& p)
{
    auto& cache = pictures();
    auto it = cache.find(p);
    if (it != cache.end())
        return it->second;
    if (cache.size() >= kMaxPictures)
        cache.clear();
    QPixmap pixmap(QSize(p.width, p.height) * p.ratio);
    pixmap.setDevicePixelRatio(p.ratio);
    QPainter painter(&pixmap);
    drawSegments(painter, p);
    painter.end();
    return cache.emplace(p, std::move(pixmap)).first->second;
}

} // namespace

TDigit::TDigit(QWidget* owner)
    : QWidget(owner)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_value = 0;
    m_valueBinary = kSegments[0];
    m_colorOn = clYellow;
    m_colorOff = clBlack;
    m_color = clBlack;
    resize(16, 32);
    // Through the setters and after the size: the thickness check reads the size.
    SetSeparation(1);
    SetThickness(2);
}

std::uint8_t TDigit::SegmentPattern(int digit)
{
    return digit >= 0 && digit <= 9 ? kSegments[digit] : kSegments[0];
}

void TDigit::SetValue(int value)
{
    if (value == m_value)
        return;
    if (value >= 0 && value <= 9) {
        m_value = value;
    } else {
        m_value = 0;
        if (OnOverflow)
            OnOverflow(this);
    }
    // The pattern follows the stored digit, also after an overflow, and
    // replaces any pattern that was written directly.
    m_valueBinary = kSegments[m_value];
    repaint();
}

void TDigit::SetValueBinary(std::uint8_t pattern)
{
    if (AssignChanged(m_valueBinary, pattern))
        repaint();
}

void TDigit::SetColorOn(TColor c)
{
    if (AssignChanged(m_colorOn, c))
        repaint();
}

void TDigit::SetColorOff(TColor c)
{
    if (AssignChanged(m_colorOff, c))
        repaint();
}

void TDigit::SetColor(TColor c)
{
    if (AssignChanged(m_color, c))
        update();
}

void TDigit::SetThickness(int thickness)
{
    if (thickness > width() / 2 || thickness > height() / 2)
        return;
    m_thickness = thickness;
    update();
}

void TDigit::SetSeparation(int separation)
{
    m_separation = separation;
    update();
}

void TDigit::paintEvent(QPaintEvent*)
{
    ++m_paintCount;
    const Picture picture { ToQColor(m_colorOn).rgb(), ToQColor(m_colorOff).rgb(), ToQColor(m_color).rgb(),
        m_valueBinary, width(), height(), m_thickness, m_separation, devicePixelRatio() };
    QPainter painter(this);
    if (picture.width <= 0 || picture.height <= 0)
        return;
    // The painter clips to the region being painted.
    painter.drawPixmap(0, 0, pictureOf(picture));
}
