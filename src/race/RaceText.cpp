// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/RaceText.h"

#include <cstdlib>

namespace {

QString twoDigits(std::int64_t v)
{
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

QString positiveRunTimeText(std::int64_t ms, int accuracy)
{
    std::int64_t v = ms / 10;
    QString fraction;
    if (accuracy > 0) {
        if (accuracy == 1)
            fraction = QString::number((v / 10) % 10);
        else
            fraction = twoDigits(v % 100);
    }
    v /= 100;
    QString text = twoDigits(v % 60);
    if (accuracy > 0)
        text += QLatin1Char(',') + fraction;
    v /= 60;
    text = twoDigits(v % 60) + QLatin1Char('.') + text;
    v /= 60;
    text = twoDigits(v % 100) + QLatin1Char(':') + text;

    // Strip leading zeros and separators, but never the seconds' units digit
    // (position 8 of "hh:mm.ss").
    qsizetype i = 0;
    while (i < text.size() && !(text[i] >= QLatin1Char('1') && text[i] <= QLatin1Char('9')))
        ++i;
    text.remove(0, i < 8 ? i : 7);
    return text;
}

} // namespace

QString RunTimeText(std::int32_t ms, int accuracy)
{
    if (ms < 0)
        return QLatin1Char('-') + positiveRunTimeText(-static_cast<std::int64_t>(ms), accuracy);
    return positiveRunTimeText(ms, accuracy);
}

QString TimeOfDayText(const QTime& time)
{
    QString text = QString::asprintf("%d:%2d.%2d,%2d", time.hour(), time.minute(), time.second(), time.msec() / 10);
    text.replace(QLatin1Char(' '), QLatin1Char('0'));
    return text;
}

int TimeTextOrder(const QString& a, const QString& b)
{
    auto effectiveLength = [](const QString& s) -> qsizetype {
        if (s.isEmpty() || s == QLatin1String(" "))
            return 20;
        if (s == QLatin1String("-"))
            return 19;
        return s.size();
    };
    const qsizetype la = effectiveLength(a);
    const qsizetype lb = effectiveLength(b);
    if (la != lb)
        return la < lb ? -1 : 1;
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return a[i].unicode() < b[i].unicode() ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

namespace {

// Decimal digits only, at least one.
std::optional<std::int64_t> digits(QStringView text)
{
    if (text.isEmpty() || text.size() > 12)
        return std::nullopt;
    std::int64_t v = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        v = v * 10 + (c.unicode() - u'0');
    }
    return v;
}

} // namespace

std::optional<std::int64_t> RunTimeValue(const QString& text)
{
    QStringView rest(text);
    const bool negative = rest.startsWith(QLatin1Char('-'));
    if (negative)
        rest = rest.mid(1);

    std::int64_t fraction = 0;
    const qsizetype comma = rest.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        const QStringView f = rest.mid(comma + 1);
        const std::optional<std::int64_t> v = digits(f);
        if (!v || f.size() > 2)
            return std::nullopt;
        fraction = f.size() == 1 ? *v * 100 : *v * 10;
        rest = rest.left(comma);
    }
    std::int64_t hours = 0, minutes = 0;
    const qsizetype colon = rest.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        const std::optional<std::int64_t> h = digits(rest.left(colon));
        if (!h)
            return std::nullopt;
        hours = *h;
        rest = rest.mid(colon + 1);
        if (!rest.contains(QLatin1Char('.')))
            return std::nullopt; // hours always come with minutes
    }
    const qsizetype dot = rest.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        const std::optional<std::int64_t> m = digits(rest.left(dot));
        if (!m)
            return std::nullopt;
        minutes = *m;
        rest = rest.mid(dot + 1);
    }
    const std::optional<std::int64_t> seconds = digits(rest);
    if (!seconds)
        return std::nullopt;
    const std::int64_t ms = ((hours * 60 + minutes) * 60 + *seconds) * 1000 + fraction;
    return negative ? -ms : ms;
}

std::optional<std::int64_t> TimeOfDayValue(const QString& text)
{
    // h:mm.ss,hh
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 1 || colon > 2 || text.size() != colon + 9 || text[colon + 3] != QLatin1Char('.')
        || text[colon + 6] != QLatin1Char(','))
        return std::nullopt;
    const QStringView t(text);
    const std::optional<std::int64_t> h = digits(t.left(colon));
    const std::optional<std::int64_t> min = digits(t.mid(colon + 1, 2));
    const std::optional<std::int64_t> sec = digits(t.mid(colon + 4, 2));
    const std::optional<std::int64_t> hundredths = digits(t.mid(colon + 7, 2));
    if (!h || !min || !sec || !hundredths || *h > 23 || *min > 59 || *sec > 59)
        return std::nullopt;
    return ((*h * 60 + *min) * 60 + *sec) * 1000 + *hundredths * 10;
}

std::optional<std::int32_t> WholeNumber(const QString& text)
{
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}
