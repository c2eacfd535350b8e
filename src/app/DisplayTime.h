// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <cstdint>

// What one row of the seven-segment display shows for a time: the seven
// digit values (hours, tens of minutes, minutes, tens of seconds, seconds,
// tenths, hundredths) and whether each is lit or dimmed as a leading zero.
struct DisplayTime {
    enum Digit { Hours, TensOfMinutes, Minutes, TensOfSeconds, Seconds, Tenths, Hundredths, DigitCount };
    std::array<int, DigitCount> value {};
    std::array<bool, DigitCount> lit {};
    // The tens of hours, shown in a digit of their own once a time reaches
    // ten hours; the hours digit above then shows the units.
    int hourTens = 0;
    bool hourTensLit = false;
};

// Splits a time in milliseconds for display row 0 (the race clock, whose
// seconds and fraction are always lit) or row 1 (the current entry, entirely
// dim at 0). Divisions truncate; a negative time yields digit values outside
// 0..9, which the digit shows as 0.
DisplayTime SplitDisplayTime(std::int32_t ms, int row);
