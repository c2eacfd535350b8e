// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/GridText.h"

#include <algorithm>
#include <cmath>

QString ShortenHeaderText(const QString& text, int width, const std::function<int(const QString&)>& textWidth)
{
    if (text.size() < 2 || textWidth(text) <= width)
        return text;
    QString shortened = text.left(text.size() - 2) + QStringLiteral("..");
    while (shortened.size() > 3 && textWidth(shortened) > width) {
        shortened.chop(1);
        shortened[shortened.size() - 2] = QLatin1Char('.');
    }
    return shortened;
}

QPoint TextOffset(int w, int h, int tw, int th, TAlignment horz, TVertAlignment vert)
{
    int x = 2;
    if (horz == taRightJustify)
        x = w - tw - 2;
    else if (horz == taCenter)
        x = (w - tw) / 2; // C++ division rounds toward zero
    int y = 2;
    if (vert == taBottomJustify)
        y = h - th - 3;
    else if (vert == taMiddle)
        y = (h - th) / 2;
    return { x, y };
}

bool IsCheckedText(const QString& text)
{
    return text == QLatin1String("true") || text == QLatin1String("1") || text == QLatin1String("V");
}

int ProportionalPageSize(int visible, int count, int range)
{
    if (count <= 0)
        return 1;
    const double share = static_cast<double>(visible) / count;
    return std::max(1, static_cast<int>(std::lround(share * (range + 1))));
}

int SortHeaderTextX(int offsetX, int w, int tw)
{
    return std::min(offsetX + 10, std::max(offsetX, w - tw - 2));
}
