// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/GridCommaText.h"

#include "gridstore/TextQuoting.h"

#include <algorithm>

namespace {

bool isBlank(QChar ch)
{
    return ch.unicode() >= 1 && ch.unicode() <= 32;
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
        if (CommaTextNeedsQuotes(items[i]))
            AppendQuoted(out, items[i]);
        else
            out += items[i];
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
            QString item;
            // An item whose quote is never closed runs to the end of the text.
            TakeQuoted(text, pos, item, quote);
            items << item;
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
