// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/WorkbookCells.h"

#include <QRegularExpression>

namespace protocol {

namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr int kMaxWholeDigits = 15;

// The fraction as milliseconds: "2" tenths, "23" hundredths.
int fractionMs(const QString& digits)
{
    if (digits.isEmpty())
        return 0;
    return digits.size() == 1 ? digits.toInt() * 100 : digits.toInt() * 10;
}

QString fractionFormat(qsizetype digits)
{
    return digits == 0 ? QString() : QLatin1Char('.') + QString(digits, QLatin1Char('0'));
}

} // namespace

std::optional<SheetNumber> RunTimeCell(const QString& text)
{
    // Hours come only with two-digit minutes, minutes only with two-digit
    // seconds; the first field may have one digit.
    static const QRegularExpression pattern(QStringLiteral(
        "^(?:(?:([0-9]{1,2}):([0-9][0-9])|([0-9]{1,2}))\\.([0-9][0-9])|([0-9]{1,2}))(?:,([0-9]{1,2}))?$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const bool hasHours = m.capturedLength(1) > 0;
    const int hours = m.captured(1).toInt();
    const int minutes = hasHours ? m.captured(2).toInt() : m.captured(3).toInt();
    const int seconds = m.capturedLength(4) > 0 ? m.captured(4).toInt() : m.captured(5).toInt();
    if (minutes > 59 || seconds > 59)
        return std::nullopt;
    const QString fraction = m.captured(6);
    const qint64 ms = ((static_cast<qint64>(hours) * 60 + minutes) * 60 + seconds) * 1000 + fractionMs(fraction);
    SheetNumber cell;
    cell.value = static_cast<double>(ms) / kMsPerDay;
    cell.format = (hasHours ? QStringLiteral("[h]:mm:ss") : QStringLiteral("mm:ss")) + fractionFormat(fraction.size());
    return cell;
}

std::optional<SheetNumber> TimeOfDayCell(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,2}):([0-9][0-9])\\.([0-9][0-9]),([0-9][0-9])$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int hours = m.captured(1).toInt();
    const int minutes = m.captured(2).toInt();
    const int seconds = m.captured(3).toInt();
    if (hours > 23 || minutes > 59 || seconds > 59)
        return std::nullopt;
    const qint64 ms = ((static_cast<qint64>(hours) * 60 + minutes) * 60 + seconds) * 1000 + fractionMs(m.captured(4));
    return SheetNumber { static_cast<double>(ms) / kMsPerDay, QStringLiteral("h:mm:ss.00") };
}

std::optional<SheetNumber> WholeNumberCell(const QString& text)
{
    if (text.isEmpty() || text.size() > kMaxWholeDigits || (text.size() > 1 && text[0] == QLatin1Char('0')))
        return std::nullopt;
    for (const QChar ch : text) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return std::nullopt;
    }
    return SheetNumber { text.toDouble(), QString() };
}

} // namespace protocol
