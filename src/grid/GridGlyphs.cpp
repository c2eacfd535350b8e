// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/GridGlyphs.h"

namespace {

constexpr QRgb kArrow = 0xFF404040;
constexpr QRgb kBoxBorder = 0xFF707070;
constexpr QRgb kBoxFill = 0xFFFFFFFF;
constexpr QRgb kMark = 0xFF202020;
constexpr QRgb kFace = 0xFFE0E0E0;
constexpr QRgb kLight = 0xFFFFFFFF;
constexpr QRgb kShadow = 0xFF808080;

QImage blank(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

void hline(QImage& image, int x0, int x1, int y, QRgb color)
{
    for (int x = x0; x <= x1; ++x)
        image.setPixel(x, y, color);
}

void fill(QImage& image, int x0, int y0, int x1, int y1, QRgb color)
{
    for (int y = y0; y <= y1; ++y)
        hline(image, x0, x1, y, color);
}

// A small arrow: rows of 2, 4, 6 and 8 pixels, pointing up or down.
QImage arrow(bool up)
{
    QImage image = blank(8, 7);
    for (int i = 0; i < 4; ++i) {
        const int y = up ? 1 + i : 5 - i;
        hline(image, 3 - i, 4 + i, y, kArrow);
    }
    return image;
}

QImage checkBox(bool checked)
{
    QImage image = blank(16, 16);
    fill(image, 2, 2, 13, 13, kBoxBorder);
    fill(image, 3, 3, 12, 12, kBoxFill);
    if (checked) {
        // A tick two pixels thick: down from (4,7) to (6,10), up to (11,4).
        for (int i = 0; i <= 2; ++i) {
            image.setPixel(4 + i, 7 + i, kMark);
            image.setPixel(4 + i, 8 + i, kMark);
        }
        for (int i = 0; i <= 5; ++i) {
            image.setPixel(6 + i, 9 - i, kMark);
            image.setPixel(6 + i, 10 - i, kMark);
        }
    }
    return image;
}

QImage button()
{
    QImage image = blank(16, 16);
    fill(image, 0, 0, 15, 15, kFace);
    hline(image, 0, 15, 0, kLight);
    hline(image, 0, 15, 15, kShadow);
    for (int y = 0; y < 16; ++y) {
        image.setPixel(0, y, kLight);
        image.setPixel(15, y, kShadow);
    }
    return image;
}

QImage comboBox()
{
    QImage image = button();
    for (int i = 0; i < 4; ++i)
        hline(image, 4 + i, 11 - i, 6 + i, kMark);
    return image;
}

QImage ellipsis()
{
    QImage image = button();
    for (int dot = 0; dot < 3; ++dot)
        fill(image, 4 + dot * 3, 10, 5 + dot * 3, 11, kMark);
    return image;
}

} // namespace

QImage GridGlyph(const QString& name)
{
    if (name == QLatin1String("UP"))
        return arrow(true);
    if (name == QLatin1String("DOWN"))
        return arrow(false);
    if (name == QLatin1String("CHECKED"))
        return checkBox(true);
    if (name == QLatin1String("UNCHECKED"))
        return checkBox(false);
    if (name == QLatin1String("COMBOBOX"))
        return comboBox();
    if (name == QLatin1String("ELLIPSIS"))
        return ellipsis();
    return {};
}

QRgb GridArrowColor()
{
    return kArrow;
}
