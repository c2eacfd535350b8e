#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// How the fields of a loaded line reach the table's columns. A start list
// with a header line ("Nr;Name;Klasse", "Startnummer<TAB>Kategorie<TAB>Name",
// the program's own header) is read by the header's names, in any order;
// fields under a name the table does not know are left out. Without such a
// header the fields go to the columns in order, as the log always read them.
namespace protocol {

class StartListColumns {
public:
    // The mapping a header line gives: at least two of its fields name
    // columns of the table, one of them the number or the name. Names are
    // compared without case, blanks and trailing dots ("Nr", "nr.", "NR").
    // The separator is TAB when the line has one, else ";".
    static std::optional<StartListColumns> FromHeader(const QString& line);

    // The cells of a line below the header: each field in its column
    // (trimmed; an empty field stays empty in its place), as many cells as
    // the highest column named needs, at least the log's seven.
    QStringList Row(const QString& line) const;

    // The column of each of the header's fields; -1 for a field left out.
    const std::vector<int>& Columns() const { return m_columns; }

private:
    std::vector<int> m_columns;
    int m_cellCount = 0;
};

// The column a header's name stands for, or -1.
int ColumnNamed(const QString& name);

} // namespace protocol
