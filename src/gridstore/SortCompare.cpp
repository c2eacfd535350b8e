// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/SortCompare.h"

#include <QDate>

#include <algorithm>
#include <cmath>

namespace {

// Code unit to a key in code point order: surrogates (characters beyond the
// basic plane) sort after every other unit, as their UTF-8 bytes do.
inline char16_t codePointKey(char16_t u)
{
    if (u < 0xD800)
        return u;
    return u >= 0xE000 ? static_cast<char16_t>(u - 0x800) : static_cast<char16_t>(u + 0x2000);
}

inline bool isDigit(QChar ch)
{
    return ch.unicode() >= u'0' && ch.unicode() <= u'9';
}

int sign(double a, double b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// A small scanner over a trimmed text.
class Scanner {
public:
    explicit Scanner(const QString& text)
        : m_text(text)
    {
    }
    bool atEnd() const { return m_pos >= m_text.size(); }
    bool number(int& value, int& digits)
    {
        value = 0;
        digits = 0;
        while (!atEnd() && isDigit(m_text[m_pos]) && digits < 9) {
            value = value * 10 + (m_text[m_pos].unicode() - u'0');
            ++digits;
            ++m_pos;
        }
        return digits > 0 && (atEnd() || !isDigit(m_text[m_pos]));
    }
    bool character(QChar ch)
    {
        if (atEnd() || m_text[m_pos] != ch)
            return false;
        ++m_pos;
        return true;
    }
    bool blanks()
    {
        const qsizetype start = m_pos;
        while (!atEnd() && m_text[m_pos].isSpace())
            ++m_pos;
        return m_pos > start;
    }
    QString rest() const { return m_text.mid(m_pos); }

private:
    const QString& m_text;
    qsizetype m_pos = 0;
};

QChar firstSeparator(const QString& format, QChar fallback)
{
    for (const QChar ch : format)
        if (!ch.isLetter() && !ch.isSpace() && ch != QLatin1Char('\''))
            return ch;
    return fallback;
}

} // namespace

TSortConversions::TSortConversions(const QLocale& locale)
    : m_locale(locale)
{
    m_locale.setNumberOptions(QLocale::RejectGroupSeparator);
    const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    m_dateSeparator = firstSeparator(dateFormat, QLatin1Char('.'));
    m_timeSeparator = firstSeparator(locale.timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
    const QString decimal = locale.decimalPoint();
    m_decimalPoint = decimal.isEmpty() ? QLatin1Char('.') : decimal.front();
    const qsizetype d = dateFormat.indexOf(QLatin1Char('d'));
    const qsizetype m = dateFormat.indexOf(QLatin1Char('M'));
    const qsizetype y = dateFormat.indexOf(QLatin1Char('y'));
    if (y >= 0 && y < d && y < m)
        m_dateOrder = DateOrder::YMD;
    else if (m >= 0 && d >= 0 && m < d)
        m_dateOrder = DateOrder::MDY;
    else
        m_dateOrder = DateOrder::DMY;
}

bool TSortConversions::ToNumber(const QString& text, double& value) const
{
    bool ok = false;
    const double v = m_locale.toDouble(text, &ok);
    if (!ok || std::isnan(v)) // a NaN has no place in an order
        return false;
    value = v;
    return true;
}

namespace {

// hours:minutes[:seconds[<decimal>fraction]] [AM|PM]
bool scanTime(Scanner& s, QChar separator, QChar decimalPoint, double& msecs)
{
    int h = 0, m = 0, sec = 0, ms = 0, digits = 0;
    if (!s.number(h, digits) || !s.character(separator) || !s.number(m, digits))
        return false;
    if (s.character(separator)) {
        if (!s.number(sec, digits))
            return false;
        if (s.character(decimalPoint)) {
            int fraction = 0;
            if (!s.number(fraction, digits))
                return false;
            ms = static_cast<int>(std::lround(fraction * std::pow(10.0, 3 - digits)));
        }
    }
    s.blanks();
    const QString suffix = s.rest().toUpper();
    if (suffix == QLatin1String("PM") && h < 12)
        h += 12;
    else if (suffix == QLatin1String("AM") && h == 12)
        h = 0;
    else if (!suffix.isEmpty() && suffix != QLatin1String("AM") && suffix != QLatin1String("PM"))
        return false;
    if (h > 23 || m > 59 || sec > 59 || ms > 999)
        return false;
    msecs = ((h * 60.0 + m) * 60.0 + sec) * 1000.0 + ms;
    return true;
}

} // namespace

bool TSortConversions::ToTime(const QString& text, double& value) const
{
    const QString trimmed = text.trimmed();
    Scanner s(trimmed);
    double msecs = 0;
    if (!scanTime(s, m_timeSeparator, m_decimalPoint, msecs))
        return false;
    value = msecs;
    return true;
}

bool TSortConversions::ToDateTime(const QString& text, double& value) const
{
    const QString trimmed = text.trimmed();
    Scanner s(trimmed);
    int parts[3] = { 0, 0, 0 };
    int digits[3] = { 0, 0, 0 };
    int count = 0;
    if (!s.number(parts[0], digits[0]))
        return false;
    count = 1;
    while (count < 3 && s.character(m_dateSeparator)) {
        if (!s.number(parts[count], digits[count]))
            return false;
        ++count;
    }
    if (count < 2)
        return false;
    int day = 0, month = 0, year = QDate::currentDate().year();
    int yearDigits = 4;
    switch (m_dateOrder) {
    case DateOrder::DMY:
        day = parts[0], month = parts[1];
        if (count == 3)
            year = parts[2], yearDigits = digits[2];
        break;
    case DateOrder::MDY:
        month = parts[0], day = parts[1];
        if (count == 3)
            year = parts[2], yearDigits = digits[2];
        break;
    case DateOrder::YMD:
        if (count == 3)
            year = parts[0], yearDigits = digits[0], month = parts[1], day = parts[2];
        else
            month = parts[0], day = parts[1];
        break;
    }
    if (yearDigits <= 2)
        year += 2000;
    const QDate date(year, month, day);
    if (!date.isValid())
        return false;
    double msecs = 0;
    if (!s.atEnd()) {
        if (!s.blanks())
            return false;
        if (!s.atEnd() && !scanTime(s, m_timeSeparator, m_decimalPoint, msecs))
            return false;
    }
    value = static_cast<double>(date.toJulianDay()) * 86400000.0 + msecs;
    return true;
}

QString FoldAscii(const QString& text)
{
    const qsizetype n = text.size();
    const QChar* data = text.constData();
    qsizetype first = 0;
    while (first < n && !(data[first].unicode() >= u'A' && data[first].unicode() <= u'Z'))
        ++first;
    if (first == n)
        return text; // shared, no copy
    QString folded = text;
    QChar* out = folded.data();
    for (qsizetype i = first; i < n; ++i) {
        const char16_t u = out[i].unicode();
        if (u >= u'A' && u <= u'Z')
            out[i] = QChar(static_cast<char16_t>(u + 32));
    }
    return folded;
}

int CompareNormal(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const QChar* pa = a.constData();
    const QChar* pb = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ua = pa[i].unicode();
        const char16_t ub = pb[i].unicode();
        if (ua != ub)
            return codePointKey(ua) < codePointKey(ub) ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

void ReduceNumericExtended(const QString& a, const QString& b, QString& reducedA, QString& reducedB)
{
    reducedA.clear();
    reducedB.clear();
    const qsizetype m = std::min(a.size(), b.size());
    for (qsizetype p = 0; p < m; ++p) {
        if (a[p] == b[p] && !isDigit(a[p]))
            continue;
        if (p == m - 1) {
            reducedA += a.mid(p);
            reducedB += b.mid(p);
        } else {
            reducedA += a[p];
            reducedB += b[p];
        }
    }
    // Common trailing separators go; each step looks at the texts as they
    // were before stripping began.
    const QString fullA = reducedA;
    const QString fullB = reducedB;
    const qsizetype k = std::min(fullA.size(), fullB.size());
    for (qsizetype j = 0; j < k; ++j) {
        const QChar ca = fullA[fullA.size() - 1 - j];
        const QChar cb = fullB[fullB.size() - 1 - j];
        if (ca == cb && !isDigit(ca)) {
            reducedA.chop(1);
            reducedB.chop(1);
        }
    }
}

int CompareNumericExtended(const QString& a, const QString& b)
{
    // Empty texts order first, consistently from both sides.
    if (a.isEmpty() || b.isEmpty())
        return a.isEmpty() && b.isEmpty() ? 0 : (a.isEmpty() ? -1 : 1);
    QString ra, rb;
    ReduceNumericExtended(a, b, ra, rb);
    if (ra == rb)
        return 0;
    bool okA = false, okB = false;
    const int ia = ra.toInt(&okA);
    const int ib = rb.toInt(&okB);
    if (okA && okB && ia != ib)
        return ia < ib ? -1 : 1;
    // Unconvertible texts, and equal values written differently ("09", "9"),
    // compare by their bytes so the order stays antisymmetric.
    return CompareNormal(ra, rb);
}

namespace {

QStringView trimmedView(const QString& text)
{
    qsizetype first = 0, last = text.size();
    while (first < last && text[first].unicode() <= 32)
        ++first;
    while (last > first && text[last - 1].unicode() <= 32)
        --last;
    return QStringView(text).mid(first, last - first);
}

// The run of digits or of other characters that starts at i.
QStringView runAt(QStringView text, qsizetype i)
{
    const bool digits = isDigit(text[i]);
    qsizetype end = i + 1;
    while (end < text.size() && isDigit(text[end]) == digits)
        ++end;
    return text.mid(i, end - i);
}

int compareDigitRuns(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == QLatin1Char('0'))
        a = a.mid(1);
    while (b.size() > 1 && b.front() == QLatin1Char('0'))
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

int NaturalNumberOrder(const QString& a, const QString& b)
{
    const QStringView ta = trimmedView(a), tb = trimmedView(b);
    if (ta.isEmpty() || tb.isEmpty())
        return ta.isEmpty() == tb.isEmpty() ? 0 : (ta.isEmpty() ? 1 : -1);
    qsizetype i = 0, j = 0;
    while (i < ta.size() && j < tb.size()) {
        const QStringView ra = runAt(ta, i), rb = runAt(tb, j);
        const bool da = isDigit(ra.front()), db = isDigit(rb.front());
        int c = 0;
        if (da != db)
            c = da ? -1 : 1;
        else if (da)
            c = compareDigitRuns(ra, rb);
        else
            c = CompareNormal(FoldAscii(ra.toString()), FoldAscii(rb.toString()));
        if (c != 0)
            return c;
        i += ra.size();
        j += rb.size();
    }
    if (i < ta.size() || j < tb.size())
        return i < ta.size() ? 1 : -1;
    return CompareNormal(a, b);
}

int CompareTexts(TSortStyle style, const QString& a, const QString& b, const TSortConversions& conversions,
    const TSortCompare& custom)
{
    double va = 0, vb = 0;
    switch (style) {
    case ssNumeric:
        if (conversions.ToNumber(a, va) && conversions.ToNumber(b, vb))
            return sign(va, vb);
        break;
    case ssNumericExtended:
        return CompareNumericExtended(a, b);
    case ssDateTime:
        if (conversions.ToDateTime(a, va) && conversions.ToDateTime(b, vb))
            return sign(va, vb);
        break;
    case ssTime:
        if (conversions.ToTime(a, va) && conversions.ToTime(b, vb))
            return sign(va, vb);
        break;
    case ssCustom:
        if (custom) {
            const int r = custom(a, b);
            return r < 0 ? -1 : (r > 0 ? 1 : 0);
        }
        break;
    case ssAutomatic:
    case ssNormal:
        break;
    }
    return CompareNormal(a, b);
}

TSortStyle DetectSortStyle(const QStringList& texts, const TSortConversions& conversions)
{
    bool number = true, dateTime = true, time = true;
    double value = 0;
    for (const QString& text : texts) {
        if (number && !conversions.ToNumber(text, value))
            number = false;
        if (time && !conversions.ToTime(text, value))
            time = false;
        if (dateTime && !conversions.ToDateTime(text, value))
            dateTime = false;
        if (!number && !time && !dateTime)
            break;
    }
    if (number)
        return ssNumeric;
    if (dateTime)
        return ssDateTime;
    if (time)
        return ssTime;
    return ssNormal;
}
