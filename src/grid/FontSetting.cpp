// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/FontSetting.h"

#include "grid/GridColors.h"
#include "gridstore/GridCommaText.h"

#include <algorithm>

namespace {

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

QString FontSettingText(const TFontSetting& setting)
{
    return CommaText({ ColorToString(setting.Color), flag(setting.Bold), flag(setting.Italic), flag(setting.Underline),
        ColorToString(setting.BackColor) });
}

void ReadFontSettingText(const QString& text, TFontSetting& setting)
{
    const QStringList items = SplitCommaText(text);
    auto item = [&](int i) { return i < items.size() ? items[i] : QString(); };
    setting.Color = StringToColor(item(0));
    setting.Bold = item(1) == QLatin1String("1");
    setting.Italic = item(2) == QLatin1String("1");
    setting.Underline = item(3) == QLatin1String("1");
    setting.BackColor = StringToColor(item(4));
}

void AdjustFontList(TFontList& list, int countChange)
{
    if (countChange > 0) {
        list.resize(list.size() + static_cast<size_t>(countChange));
        return;
    }
    const size_t remove = std::min(list.size(), static_cast<size_t>(-static_cast<long long>(countChange)));
    list.resize(list.size() - remove);
}

void MoveFontEntry(TFontList& list, int from, int to)
{
    const int n = static_cast<int>(list.size());
    if (from == to || from < 0 || to < 0 || from >= n || to >= n)
        return;
    auto first = list.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
}
