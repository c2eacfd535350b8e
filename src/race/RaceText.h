// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QTime>

#include <cstdint>
#include <optional>

// The texts the race writes into the protocol, without any widget.

// A run time in milliseconds as "h:mm.ss,ff" with leading zeros stripped, at
// accuracy 0 (whole seconds), 1 (tenths) or 2 (hundredths): 1050 ms gives
// 1,05, 65230 ms gives 1.05,23. Fractions are truncated; hours count modulo
// 100. A negative time (only possible from a damaged raw column) is written
// as "-" followed by the text of its magnitude.
QString RunTimeText(std::int32_t ms, int accuracy);

// The milliseconds a run-time text stands for, at any of the three
// accuracies ("12" is 12000, "12,5" 12500, "1:02.03,04" 3723040), or nothing
// when the text is not a run time. Used to rank by time whatever accuracy
// the texts were written with.
std::optional<std::int64_t> RunTimeValue(const QString& text);

// A whole number as the race writes start numbers, ticks and run times:
// an optional sign and decimal digits, within 32 bits.
std::optional<std::int32_t> WholeNumber(const QString& text);

// The milliseconds since midnight of a time of day as the race writes it
// ("9:05.07,03", one or two hour digits), or nothing for any other text.
std::optional<std::int64_t> TimeOfDayValue(const QString& text);

// The time of day as "%d:%2d.%2d,%2d" of hours, minutes, seconds and
// hundredths with every blank turned into "0": 9:05:07.031 gives 9:05.07,03.
QString TimeOfDayText(const QTime& time);

// Order of time texts that carry no leading zeros: a shorter text is a
// smaller value; "-" sorts after every value and an empty cell (or a single
// blank) after "-". Equal lengths compare character by character.
int TimeTextOrder(const QString& a, const QString& b);
