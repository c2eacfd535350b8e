// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

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
    // The mapping a header line's field texts give: at least two of them
    // name columns of the table, one of them the number or the name. Names
    // are compared without case, blanks and trailing dots ("Nr", "nr.",
    // "NR"); a column named twice takes the first field.
    static std::optional<StartListColumns> FromHeader(const QStringList& names);

    // The column of a line's field below the header (counted from 0, empty
    // fields included); -1 for a field left out.
    int ColumnOf(int field) const;
    // The cells a row gets: as many as the highest column named needs, at
    // least the log's seven.
    int CellCount() const { return m_cellCount; }

private:
    std::vector<int> m_columns;
    int m_cellCount = 0;
};

// The column a header's name stands for, or -1.
int ColumnNamed(const QString& name);

} // namespace protocol
