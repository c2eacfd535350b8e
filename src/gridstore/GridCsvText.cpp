// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/GridCsvText.h"

#include "gridstore/CellStore.h"
#include "gridstore/GridCommaText.h"

#include <QRegularExpression>

#include <algorithm>

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

QString CsvCellText(const QString& cell)
{
    const bool formula = CsvFormulaLike(cell);
    const bool special = std::any_of(cell.cbegin(), cell.cend(), [](QChar c) {
        return c == QLatin1Char(';') || c == QLatin1Char('"') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
    });
    if (!formula && !special)
        return cell;
    QString quoted = QStringLiteral("\"");
    // An apostrophe of the cell's own in front of a formula stays the cell's:
    // the reader removes only the one the writer adds.
    if (formula || (cell.startsWith(QLatin1Char('\'')) && CsvGuardedText(cell.mid(1))))
        quoted += QLatin1Char('\'');
    quoted += QString(cell).replace(QLatin1Char('"'), QLatin1String("\"\""));
    quoted += QLatin1Char('"');
    return quoted;
}

QByteArray GridCsvBytes(const TCellStore& store, int colCount)
{
    QString out;
    const int cols = colCount > 0 ? colCount : store.ColCount();
    out.reserve(static_cast<qsizetype>(store.RowCount()) * cols * 8);
    for (int r = 0; r < store.RowCount(); ++r) {
        for (int c = 0; c < cols; ++c) {
            if (c > 0)
                out += QLatin1Char(';');
            out += CsvCellText(WithoutCellBreaks(store.Cell(c, r)));
        }
        out += QLatin1String("\r\n");
    }
    return out.toUtf8();
}
