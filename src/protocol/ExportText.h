// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class TCellStore;

namespace protocol {

// The text handed to the word processor: every row from the header to the
// last, every column whose width is not negative, each cell followed by a
// TAB, no line breaks, the final TAB removed. Columns is the number of
// included columns of row 0, the column count of the table conversion.
struct WordExportText {
    QString text;
    int columns = 0;
};

// Columns beyond the width list count as visible.
WordExportText BuildWordExportText(const TCellStore& cells, const QList<int>& colWidths);

// Once a class or status is in use the document lists the entries as
// ResultGroups has them: one table per class after a paragraph with the
// class's name (heading empty without classes), each with the header row;
// "Klasse" is left out (the heading says it). Rows counts the table's rows.
struct WordExportPart {
    QString heading;
    WordExportText table;
    int rows = 0;
};
std::vector<WordExportPart> BuildGroupedWordExport(
    const TCellStore& cells, const QList<int>& colWidths, const QStringList& classOrder);

// Column widths for a table as wide as `available`: numbers and times keep
// their natural widths, the flexible column (the name) takes what is left.
// When the natural widths do not fit, the flexible column keeps at least a
// quarter of the width (its texts wrap) and all columns shrink together if
// even that is too wide.
QList<double> FitColumns(const QList<double>& natural, int flexible, double available);

// The column that takes what is left: the one headed "Name", else the widest.
int FlexibleColumn(const QStringList& header, const QList<double>& natural);

// The race's own title over the results page and its printout, with the
// date of the race. Without a title every output is the one the program has
// always made.
struct RaceHeading {
    QString title; // "Veranstaltung"
    QDate date;
    bool isEmpty() const { return title.isEmpty(); }
};
// "Ergebnisse vom 14.06.2027": the line under a race's title.
QString ResultsOfDay(const QDate& date);

// Columns 0 to 5 of a row, as the spreadsheet export sends them.
constexpr int kExcelExportColumns = 6;

} // namespace protocol
