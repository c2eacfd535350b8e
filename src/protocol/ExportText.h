#pragma once

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

// Columns 0 to 5 of a row, as the spreadsheet export sends them.
constexpr int kExcelExportColumns = 6;

} // namespace protocol
