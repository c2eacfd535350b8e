// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/DigitShapes.h"

DigitOutlines DigitShapes(int width, int height, int thickness, int separation)
{
    const int W = width - 1;
    const int H = height - 1;
    const int h = H / 2;
    const int t = thickness;
    const int s = separation;
    DigitOutlines shapes;

    const int rows[3] = { 0, h - t, H - 2 * t };
    for (int i = 0; i < 3; ++i) {
        const int b = rows[i];
        shapes[i] = { { QPoint(s + t, b + t), QPoint(2 * t + s, b), QPoint(W - 2 * t - s, b), QPoint(W - t - s, b + t),
                          QPoint(W - 2 * t - s, b + 2 * t), QPoint(2 * t + s, b + 2 * t) },
            6 };
    }

    // upper left, upper right, lower left, lower right
    const int lefts[4] = { 0, W - 2 * t, 0, W - 2 * t };
    const int tops[4] = { 0, 0, h - t, h - t };
    for (int i = 0; i < 4; ++i) {
        const int e = lefts[i];
        const int b = tops[i];
        shapes[3 + i] = { { QPoint(e, b + 2 * t + s), QPoint(e + t, b + t + s), QPoint(e + 2 * t, b + 2 * t + s),
                              QPoint(e + 2 * t, b + h - t - s), QPoint(e + t, b + h - s), QPoint(e, b + h - t - s) },
            6 };
    }

    shapes[7] = { { QPoint(W, H), QPoint(W - 2 * t + s, H), QPoint(W, H - 2 * t + s) }, 3 };
    return shapes;
}
