// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// How a field is enclosed in double quotes, and read back, in every text the
// table is written to: the semicolon export (RFC 4180 with a guard against
// formulas) and the comma text of the grid's backup file and the journal.
// One place, so what one writer quotes the other readers understand.

// Appends `text` enclosed in double quotes, every inner double quote doubled.
void AppendQuoted(QString& out, const QString& text);

// Reads the quoted field whose opening quote is at `pos` into `field` (a
// doubled quote stands for one). `pos` ends after the closing quote; without
// one it ends at the end of the text and the result is false.
bool TakeQuoted(const QString& text, qsizetype& pos, QString& field, QChar quote = QLatin1Char('"'));

// A comma-text item holding a character of code 32 or less, a double quote
// or a comma is quoted.
bool CommaTextNeedsQuotes(const QString& item);

// One cell of the semicolon export. Start lists come from outside, so a cell
// a spreadsheet would take as a formula (see CsvFormulaLike) is written as
// quoted text behind an apostrophe. A cell that a spreadsheet would split or
// trim (";", ",", a TAB, a double quote, a line break, a blank at either end)
// is quoted with its quotes doubled; every other cell stays as it is.
QString CsvCellText(const QString& cell);

// First character "=", "+", "-", "@", TAB or CR, unless the cell is a plain
// number ("-12", "+3,5") or a lone "-".
bool CsvFormulaLike(const QString& cell);

// Whether the writer puts an apostrophe in front of a quoted cell whose text
// is `rest`: a formula-like text, or one that starts with an apostrophe the
// reader would otherwise take for the writer's. The reader removes one
// apostrophe from a quoted field exactly when this holds for what follows it.
bool CsvGuardedText(const QString& rest);

// The cell a quoted field of the semicolon export stands for: its text
// without the apostrophe CsvCellText put in front.
QString CsvQuotedCell(const QString& field);
