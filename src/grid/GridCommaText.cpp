#include "grid/GridCommaText.h"

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

QStringList SplitCommaText(const QString& text)
{
    QStringList items;
    const qsizetype n = text.size();
    qsizetype p = 0;
    while (p < n && isBlank(text[p]))
        ++p;
    while (p < n) {
        QString item;
        if (text[p] == QLatin1Char('"')) {
            ++p;
            while (p < n) {
                if (text[p] == QLatin1Char('"')) {
                    if (p + 1 < n && text[p + 1] == QLatin1Char('"')) {
                        item += QLatin1Char('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const qsizetype start = p;
            while (p < n && text[p].unicode() > 32 && text[p] != QLatin1Char(','))
                ++p;
            item = text.mid(start, p - start);
        }
        items << item;
        while (p < n && isBlank(text[p]))
            ++p;
        if (p < n && text[p] == QLatin1Char(',')) {
            ++p;
            while (p < n && isBlank(text[p]))
                ++p;
        }
    }
    return items;
}
