// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/TextQuoting.h"

#include <QRegularExpression>

#include <algorithm>

void AppendQuoted(QString& out, const QString& text)
{
    out += QLatin1Char('"');
    for (const QChar ch : text) {
        if (ch == QLatin1Char('"'))
            out += QLatin1Char('"');
        out += ch;
    }
    out += QLatin1Char('"');
}

bool TakeQuoted(const QString& text, qsizetype& pos, QString& field, QChar quote)
{
    field.clear();
    ++pos;
    while (pos < text.size()) {
        const QChar ch = text[pos];
        if (ch == quote) {
            if (pos + 1 < text.size() && text[pos + 1] == quote) {
                field += quote;
                pos += 2;
                continue;
            }
            ++pos;
            return true;
        }
        field += ch;
        ++pos;
    }
    return false;
}

bool CommaTextNeedsQuotes(const QString& item)
{
    return std::any_of(item.cbegin(), item.cend(), [](QChar ch) {
        const char16_t u = ch.unicode();
        return u <= 32 || u == u'"' || u == u',';
    });
}

bool CsvFormulaLike(const QString& cell)
{
    if (cell.isEmpty())
        return false;
    switch (cell[0].unicode()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\t':
    case u'\r':
        break;
    default:
        return false;
    }
    if (cell == QLatin1String("-"))
        return false;
    static const QRegularExpression plainNumber(QStringLiteral("^[+-]?[0-9]+(?:[.,][0-9]+)*$"));
    return !plainNumber.match(cell).hasMatch();
}

bool CsvGuardedText(const QString& rest)
{
    qsizetype i = 0;
    while (i < rest.size() && rest[i] == QLatin1Char('\''))
        ++i;
    return CsvFormulaLike(rest.mid(i));
}

namespace {

// Spreadsheets split a field at ";" or, set to commas, at ","; they trim
// blanks at its ends and end a row at a line break.
bool splitOrTrimmed(const QString& cell)
{
    if (cell.isEmpty())
        return false;
    if (cell.front() == QLatin1Char(' ') || cell.back() == QLatin1Char(' '))
        return true;
    return std::any_of(cell.cbegin(), cell.cend(), [](QChar c) {
        return c == QLatin1Char(';') || c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\t')
            || c == QLatin1Char('\r') || c == QLatin1Char('\n');
    });
}

} // namespace

QString CsvCellText(const QString& cell)
{
    const bool formula = CsvFormulaLike(cell);
    if (!formula && !splitOrTrimmed(cell))
        return cell;
    // An apostrophe of the cell's own in front of a formula stays the cell's:
    // the reader removes only the one the writer adds.
    const bool guarded = formula || (cell.startsWith(QLatin1Char('\'')) && CsvGuardedText(cell.mid(1)));
    QString quoted;
    quoted.reserve(cell.size() + 4);
    AppendQuoted(quoted, guarded ? QLatin1Char('\'') + cell : cell);
    return quoted;
}

QString CsvQuotedCell(const QString& field)
{
    if (field.startsWith(QLatin1Char('\'')) && CsvGuardedText(field.mid(1)))
        return field.mid(1);
    return field;
}
