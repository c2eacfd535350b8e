#include "protocol/ExportText.h"

#include "grid/CellStore.h"

namespace protocol {

WordExportText BuildWordExportText(const TCellStore& cells, const QList<int>& colWidths)
{
    const auto visible = [&colWidths](int col) { return col >= colWidths.size() || colWidths[col] >= 0; };

    WordExportText result;
    for (int c = 0; c < cells.ColCount(); ++c) {
        if (visible(c))
            ++result.columns;
    }
    for (int r = 0; r < cells.RowCount(); ++r) {
        for (int c = 0; c < cells.ColCount(); ++c) {
            if (!visible(c))
                continue;
            result.text += cells.Cell(c, r);
            result.text += QLatin1Char('\t');
        }
    }
    if (result.text.endsWith(QLatin1Char('\t')))
        result.text.chop(1);
    return result;
}

QString BuildExcelExportLine(const TCellStore& cells, int row)
{
    QString line;
    for (int c = 0; c < kExcelExportColumns; ++c) {
        QString text = cells.Cell(c, row);
        if (text.size() < 5) {
            const qsizetype comma = text.indexOf(QLatin1Char(','));
            if (comma >= 0)
                text[comma] = QLatin1Char('.');
        }
        text.replace(QLatin1Char('"'), QLatin1String("\"\""));
        line += QLatin1Char('"') + text + QLatin1String("\",");
    }
    line.chop(1);
    return line;
}

namespace {

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

} // namespace protocol
