// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/DisplayTime.h"

DisplayTime SplitDisplayTime(std::int32_t ms, int row)
{
    const std::int32_t c = ms / 10;
    const std::int32_t f = c % 100;
    const std::int32_t s = (c / 100) % 60;
    const std::int32_t m = (c / 6000) % 60;
    const std::int32_t h = (c / 360000) % 100;

    DisplayTime d;
    d.value = { h % 10, m / 10, m % 10, s / 10, s % 10, f / 10, f % 10 };
    d.hourTens = h / 10;
    d.hourTensLit = h >= 10;
    d.lit[DisplayTime::Hours] = h > 0;
    d.lit[DisplayTime::TensOfMinutes] = h + m / 10 > 0;
    d.lit[DisplayTime::Minutes] = h + m > 0;
    d.lit[DisplayTime::TensOfSeconds] = h + m + s / 10 > 0;
    const bool secondsLit = row == 0 || h + m + s + f > 0;
    d.lit[DisplayTime::Seconds] = secondsLit;
    d.lit[DisplayTime::Tenths] = secondsLit;
    d.lit[DisplayTime::Hundredths] = secondsLit;
    return d;
}
