// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

class TCellStore;

// The semicolon export: per row the cells of the first colCount columns (0:
// all ColCount) joined by ";", CR LF; UTF-8. Each cell as CsvCellText writes
// it.
QByteArray GridCsvBytes(const TCellStore& store, int colCount = 0);

// One cell of the semicolon export. Start lists come from outside, so a cell
// a spreadsheet would take as a formula (see CsvFormulaLike) is written as
// quoted text behind an apostrophe; a cell with ";", a double quote or a line
// break is quoted with its quotes doubled; every other cell stays as it is.
QString CsvCellText(const QString& cell);

// First character "=", "+", "-", "@", TAB or CR, unless the cell is a plain
// number ("-12", "+3,5") or a lone "-".
bool CsvFormulaLike(const QString& cell);

// Whether the writer puts an apostrophe in front of a quoted cell whose text
// is `rest`: a formula-like text, or one that starts with an apostrophe the
// reader would otherwise take for the writer's. The reader removes one
// apostrophe from a quoted field exactly when this holds for what follows it.
bool CsvGuardedText(const QString& rest);
