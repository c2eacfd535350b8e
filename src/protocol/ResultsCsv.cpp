// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/ResultsCsv.h"

#include "gridstore/CellStore.h"
#include "gridstore/GridCsvText.h"
#include "platform/AtomicFile.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "protocol/ResultGroups.h"

#include <vector>

namespace protocol {

namespace {

std::vector<int> csvColumns(const TCellStore& cells)
{
    std::vector<int> cols;
    const int saved = SavedColCount(cells);
    const bool overall = UsesClasses(cells);
    for (int c = 0; c < saved; ++c) {
        // "Gesamt" stands beside "Platz", never among the run columns.
        if (c == kColGesamt)
            continue;
        cols.push_back(c);
        if (c == kColPlatz && overall)
            cols.push_back(kColGesamt);
    }
    if (UsesRunColumns(cells))
        cols.push_back(kColGesamtzeit);
    return cols;
}

std::vector<int> csvRows(const TCellStore& cells, const QStringList& classOrder)
{
    if (!GroupsResults(cells))
        return EntryRows(cells);
    std::vector<int> rows;
    for (const ResultGroup& group : GroupResults(cells, classOrder))
        rows.insert(rows.end(), group.rows.begin(), group.rows.end());
    return rows;
}

} // namespace

QByteArray ResultsCsvBytes(const TCellStore& cells, const QStringList& classOrder)
{
    const std::vector<int> cols = csvColumns(cells);
    QStringList line(static_cast<qsizetype>(cols.size()));
    QString out;
    const auto append = [&](int row) {
        for (size_t i = 0; i < cols.size(); ++i)
            line[static_cast<qsizetype>(i)] = cells.Cell(cols[i], row);
        AppendCsvRow(out, line);
    };
    if (cells.RowCount() > 0)
        append(0);
    for (const int row : csvRows(cells, classOrder))
        append(row);
    return out.toUtf8();
}

bool WriteResultsCsv(const TCellStore& cells, const QStringList& classOrder, const QString& fileName, QString* reason)
{
    return platform::WriteFileAtomically(fileName, ResultsCsvBytes(cells, classOrder), reason);
}

} // namespace protocol
