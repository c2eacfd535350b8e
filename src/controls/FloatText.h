// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <optional>

// The text rules of the real-number spin edit, without a widget: the edit
// keeps its number only as text, so these decide what it reads and shows.
namespace floattext {

constexpr int kMaxDigits = 18;

// The system's decimal separator (one character).
QChar SystemDecimalSeparator();

// Reads [blanks] [sign] digits [separator [digits]] [e|E [sign] [digits]] [blanks];
// digits may stand before or after the separator, and a trailing separator or
// an exponent still being typed ("1e", "1e-") is accepted. Nothing when the text
// is no number or its magnitude is beyond the range of long double.
std::optional<long double> Parse(QStringView text, QChar separator);

// Fixed point with exactly `digits` decimals (0..18), no thousands separators,
// at most 18 significant digits, halves rounded away from zero.
QString Format(long double value, int digits, QChar separator);

struct Rules {
    long double min = 0.0L;
    long double max = 100.0L;
    int digits = 1;
    QChar separator = QLatin1Char(',');
};

// The value a text stands for: "", "-", "E" and the separator alone read as 0,
// a text that is no number reads as Min, and the result is clamped to Min..Max.
long double ReadValue(const Rules& rules, QStringView text);

// What a typed character does to the field.
enum class KeyAction {
    EnterPress, // Enter: the owner's notification
    Escape, // Esc: back to the value at entry
    PassOn, // other control characters: the edit handles them
    Consume, // refused
    Insert, // the edit inserts it in place of the selection
    Replace, // the field takes `text` with the given selection instead
};

struct KeyResult {
    KeyAction action = KeyAction::Consume;
    QString text;
    int selectionStart = 0;
    int selectionLength = 0;
};

// Decides a typed character `c` for a field holding `text` with the selection
// (or the cursor, length 0) at selectionStart. Only texts whose every typed
// prefix is a number in range can come about this way.
KeyResult FilterKey(const Rules& rules, const QString& text, int selectionStart, int selectionLength, QChar c);

} // namespace floattext
