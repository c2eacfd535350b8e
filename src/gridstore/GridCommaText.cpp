// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/GridCommaText.h"

#include <algorithm>

namespace {

bool needsQuotes(const QString& item)
{
    for (const QChar ch : item) {
        const char16_t u = ch.unicode();
        if (u <= 32 || u == u'"' || u == u',')
            return true;
    }
    return false;
}

void appendItem(QString& out, const QString& item)
{
    if (!needsQuotes(item)) {
        out += item;
        return;
    }
    out += QLatin1Char('"');
    for (const QChar ch : item) {
        if (ch == QLatin1Char('"'))
            out += QLatin1Char('"');
        out += ch;
    }
    out += QLatin1Char('"');
}

bool isBlank(QChar ch)
{
    return ch.unicode() >= 1 && ch.unicode() <= 32;
}

// Reads a quoted item starting at the opening quote; pos ends after the
// closing quote, or at the end when the quote is never closed.
QString takeQuoted(const QString& text, qsizetype& pos, QChar quote)
{
    QString item;
    ++pos;
    while (pos < text.size()) {
        const QChar ch = text[pos];
        if (ch == quote) {
            if (pos + 1 < text.size() && text[pos + 1] == quote) {
                item += quote;
                pos += 2;
                continue;
            }
            ++pos;
            return item;
        }
        item += ch;
        ++pos;
    }
    return item;
}

} // namespace

void AppendCommaText(QString& out, const QStringList& items)
{
    if (items.size() == 1 && items.constFirst().isEmpty()) {
        out += QLatin1String("\"\"");
        return;
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += QLatin1Char(',');
        appendItem(out, items[i]);
    }
}

QString CommaText(const QStringList& items)
{
    QString out;
    AppendCommaText(out, items);
    return out;
}

QStringList SplitDelimitedText(const QString& text, QChar delimiter, QChar quote)
{
    QStringList items;
    const qsizetype n = text.size();
    qsizetype pos = 0;
    const auto skipBlanks = [&]() {
        while (pos < n && isBlank(text[pos]))
            ++pos;
    };
    skipBlanks();
    while (pos < n && !text[pos].isNull()) {
        if (text[pos] == quote) {
            items << takeQuoted(text, pos, quote);
        } else {
            const qsizetype start = pos;
            while (pos < n && text[pos].unicode() > 32 && text[pos] != delimiter)
                ++pos;
            items << text.mid(start, pos - start);
        }
        skipBlanks();
        if (pos < n && text[pos] == delimiter) {
            if (pos + 1 == n)
                items << QString();
            ++pos;
            skipBlanks();
        }
    }
    return items;
}

QStringList SplitCommaText(const QString& text)
{
    return SplitDelimitedText(text, QLatin1Char(','), QLatin1Char('"'));
}

QString TrimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return begin == 0 && end == text.size() ? text : text.mid(begin, end - begin);
}

QString WithoutCellBreaks(const QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), IsCellBreak))
        return text;
    QString out;
    out.reserve(text.size());
    bool inBreak = false;
    for (const QChar c : text) {
        if (IsCellBreak(c)) {
            if (!inBreak)
                out += QLatin1Char(' ');
            inBreak = true;
        } else {
            out += c;
            inBreak = false;
        }
    }
    return out;
}
