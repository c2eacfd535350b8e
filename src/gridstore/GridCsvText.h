// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "gridstore/TextQuoting.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class TCellStore;

// The semicolon export: per row the cells of the first colCount columns (0:
// all ColCount) joined by ";", CR LF; UTF-8. Each cell as CsvCellText writes
// it.
QByteArray GridCsvBytes(const TCellStore& store, int colCount = 0);

// Appends one row of the semicolon export: the cells (TABs and line breaks
// in one turned into blanks and the cell trimmed, as the loader reads them),
// each as CsvCellText writes it, joined by ";", then CR LF.
void AppendCsvRow(QString& out, const QStringList& cells);
