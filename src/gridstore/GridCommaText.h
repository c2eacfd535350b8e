// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

// The comma text of a string list as the grid's backup file carries it: the
// items joined by ","; an item holding a character of code 32 or less, a
// double quote or a comma is enclosed in double quotes with every inner
// double quote doubled. A list of exactly one empty item is written as "".
QString CommaText(const QStringList& items);

// Appends the comma text of items to out (no allocation per item).
void AppendCommaText(QString& out, const QStringList& items);

// Splits a delimited text the way a string list's delimited-text property
// does: items separated by the delimiter or by blanks and control characters
// outside quotes; a quoted item keeps its blanks and delimiters, a doubled
// quote inside it stands for one quote; a delimiter at the very end yields
// one more empty item; a NUL character ends the text.
QStringList SplitDelimitedText(const QString& text, QChar delimiter, QChar quote);

// The comma text's own parser: SplitDelimitedText with "," and double quotes.
QStringList SplitCommaText(const QString& text);

// The text without leading and trailing blanks and control characters
// (code 32 or less), as cells are trimmed when read.
QString TrimBlanks(const QString& text);

// A TAB, CR or LF: what ends a cell or a row in the files the table is
// written to.
inline bool IsCellBreak(QChar c)
{
    return c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// The text with every run of TABs and line breaks turned into one blank, so
// no file can split the cell there; the text itself (no copy) when it has none.
QString WithoutCellBreaks(const QString& text);
