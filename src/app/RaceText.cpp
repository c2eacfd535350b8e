#include "app/RaceText.h"

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
