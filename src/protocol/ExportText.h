#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

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
