// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/FloatText.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace floattext {

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Rounds a decimal digit string to `keep` digits, halves away from zero; a
// carry out of the first digit raises the exponent of the first digit.
void roundDigits(std::string& digits, int& exponent, int keep)
{
    if (keep >= int(digits.size()))
        return;
    if (keep < 0) {
        digits.clear();
        return;
    }
    const bool up = digits[std::size_t(keep)] >= '5';
    digits.resize(std::size_t(keep));
    if (!up)
        return;
    int i = keep - 1;
    while (i >= 0 && digits[std::size_t(i)] == '9')
        digits[std::size_t(i--)] = '0';
    if (i >= 0) {
        ++digits[std::size_t(i)];
    } else {
        digits.insert(digits.begin(), '1');
        ++exponent;
    }
}

KeyResult only(KeyAction action)
{
    KeyResult result;
    result.action = action;
    return result;
}

} // namespace

QChar SystemDecimalSeparator()
{
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.at(0);
}

std::optional<long double> Parse(QStringView text, QChar separator)
{
    const QStringView t = text.trimmed();
    std::string ascii;
    ascii.reserve(std::size_t(t.size()) + 2);
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
        if (t[i] == QLatin1Char('-'))
            ascii += '-';
        ++i;
    }
    int mantissaDigits = 0;
    for (; i < t.size() && isDigit(t[i]); ++i, ++mantissaDigits)
        ascii += char(t[i].unicode());
    if (i < t.size() && t[i] == separator) {
        ascii += '.';
        for (++i; i < t.size() && isDigit(t[i]); ++i, ++mantissaDigits)
            ascii += char(t[i].unicode());
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    bool negativeExponent = false;
    if (i < t.size() && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        std::string exponent = "e";
        ++i;
        if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
            negativeExponent = t[i] == QLatin1Char('-');
            exponent += char(t[i].unicode());
            ++i;
        }
        bool any = false;
        for (; i < t.size() && isDigit(t[i]); ++i, any = true)
            exponent += char(t[i].unicode());
        if (any)
            ascii += exponent;
    }
    if (i != t.size())
        return std::nullopt;

    long double value = 0.0L;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error == std::errc::result_out_of_range && negativeExponent)
        return ascii[0] == '-' ? -0.0L : 0.0L; // too small to hold: zero
    if (error != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString Format(long double value, int digits, QChar separator)
{
    digits = std::clamp(digits, 0, kMaxDigits);
    if (!std::isfinite(value))
        value = 0.0L; // no finite text for it; callers clamp before formatting

    // 40 significant digits, exactly rounded from the binary value.
    char buffer[64];
    const auto written
        = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 39);
    const std::string scientific(buffer, written.ptr);
    const std::size_t e = scientific.find('e');
    std::string mantissa = scientific.substr(0, 1) + scientific.substr(2, e - 2);
    int exponent = std::stoi(scientific.substr(e + 1)); // place of the first digit
    const bool zero = value == 0.0L;
    if (zero) {
        mantissa = "0";
        exponent = 0;
    }
    // First to 18 significant digits, the precision the text can carry, then to
    // the decimals shown: so 3.95 held as 3.9499999... still shows 4,0.
    roundDigits(mantissa, exponent, kMaxDigits);
    roundDigits(mantissa, exponent, exponent + digits + 1);

    // mantissa[k] is the digit at place exponent - k.
    auto digitAt = [&](int place) {
        const int k = exponent - place;
        return k >= 0 && k < int(mantissa.size()) ? QLatin1Char(mantissa[std::size_t(k)]) : QLatin1Char('0');
    };
    QString text;
    for (int place = std::max(exponent, 0); place >= 0; --place)
        text += digitAt(place);
    if (digits > 0) {
        text += separator;
        for (int place = -1; place >= -digits; --place)
            text += digitAt(place);
    }
    const bool allZero = std::all_of(mantissa.begin(), mantissa.end(), [](char c) { return c == '0'; });
    if (value < 0 && !allZero)
        text.prepend(QLatin1Char('-'));
    return text;
}

long double ReadValue(const Rules& rules, QStringView text)
{
    long double value = rules.min;
    if (text.isEmpty() || text == u"-" || text == u"E" || (text.size() == 1 && text[0] == rules.separator))
        value = 0.0L;
    else if (const auto parsed = Parse(text, rules.separator))
        value = *parsed;
    if (value > rules.max)
        value = rules.max;
    if (value < rules.min)
        value = rules.min;
    return value;
}

KeyResult FilterKey(const Rules& rules, const QString& text, int selectionStart, int selectionLength, QChar c)
{
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
        return only(KeyAction::EnterPress);
    if (c == QChar(27))
        return only(KeyAction::Escape);
    // Delete arrives as the control character DEL (127) under X11 and Wayland.
    if (c.unicode() < 32 || c.unicode() == 127)
        return only(KeyAction::PassOn);
    if (!isDigit(c) && c != QLatin1Char('-') && c != QLatin1Char('e') && c != rules.separator)
        return only(KeyAction::Consume);

    selectionStart = std::clamp(selectionStart, 0, int(text.size()));
    selectionLength = std::clamp(selectionLength, 0, int(text.size()) - selectionStart);
    const QString wouldBe = text.left(selectionStart) + c + text.mid(selectionStart + selectionLength);

    // A lone sign or separator becomes a number at once, with the 0 selected
    // so that the next digit replaces it.
    if (wouldBe == QLatin1String("-"))
        return { KeyAction::Replace, QStringLiteral("-0"), 1, 1 };
    if (wouldBe.size() == 1 && wouldBe[0] == rules.separator)
        return { KeyAction::Replace, QLatin1Char('0') + rules.separator + QLatin1Char('0'), 2, 1 };

    const auto number = Parse(wouldBe, rules.separator);
    if (!number || *number < rules.min || *number > rules.max)
        return only(KeyAction::Consume);
    if (c == rules.separator && rules.digits == 0)
        return only(KeyAction::Consume);
    const int p = int(wouldBe.indexOf(rules.separator)) + 1;
    const bool exponent = wouldBe.contains(QLatin1Char('e')) || wouldBe.contains(QLatin1Char('E'));
    if (!exponent && p > 0 && wouldBe.size() - p > rules.digits)
        return only(KeyAction::Consume);
    return only(KeyAction::Insert);
}

} // namespace floattext
