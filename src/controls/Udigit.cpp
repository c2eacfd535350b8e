#include "controls/Udigit.h"

#include "controls/DigitShapes.h"

#include <QPaintEvent>
#include <QPainter>

namespace {

// Bits: 1 top, 2 middle, 4 bottom, 8 upper left, 16 upper right,
// 32 lower left, 64 lower right, 128 point. 6 and 9 have their tails.
constexpr std::uint8_t kSegments[10] = {0x7D, 0x50, 0x37, 0x57, 0x5A, 0x4F, 0x6F, 0x51, 0x7F, 0x5F};

} // namespace

TDigit::TDigit(QWidget* owner)
    : QWidget(owner)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_value = 0;
    m_valueBinary = kSegments[0];
    m_colorOn = colors::kYellow;
    m_colorOff = colors::kBlack;
    m_color = colors::kBlack;
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
    if (pattern == m_valueBinary)
        return;
    m_valueBinary = pattern;
    repaint();
}

void TDigit::SetColorOn(TColor c)
{
    if (c == m_colorOn)
        return;
    m_colorOn = c;
    repaint();
}

void TDigit::SetColorOff(TColor c)
{
    if (c == m_colorOff)
        return;
    m_colorOff = c;
    repaint();
}

void TDigit::SetColor(TColor c)
{
    if (c == m_color)
        return;
    m_color = c;
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

void TDigit::paintEvent(QPaintEvent* event)
{
    ++m_paintCount;
    const QColor background = colors::ToQColor(m_color);
    const QColor on = colors::ToQColor(m_colorOn);
    const QColor off = colors::ToQColor(m_colorOff);

    QPainter painter(this);
    painter.fillRect(event->rect(), background);
    // Every outline in the background colour keeps neighbouring segments apart.
    painter.setPen(QPen(background, 1));
    const DigitOutlines shapes = DigitShapes(width(), height(), m_thickness, m_separation);
    unsigned bit = 1;
    for (const DigitPolygon& shape : shapes) {
        painter.setBrush((m_valueBinary & bit) ? on : off);
        painter.drawPolygon(shape.points.data(), shape.count);
        bit <<= 1;
    }
}
