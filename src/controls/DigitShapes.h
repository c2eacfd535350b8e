// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QPoint>

#include <array>

// One outline of a seven-segment digit: a hexagon for a segment, a triangle
// for the decimal point.
struct DigitPolygon {
    std::array<QPoint, 6> points;
    int count = 0;
};

// The eight outlines of a digit in the order of the segment mask bits: top,
// middle, bottom, upper left, upper right, lower left, lower right, point.
using DigitOutlines = std::array<DigitPolygon, 8>;

// Outlines for a digit of width x height pixels; thickness is half the
// stroke width, separation the gap between neighbouring segments. Pure
// arithmetic, so a paint needs no allocation.
DigitOutlines DigitShapes(int width, int height, int thickness, int separation);
