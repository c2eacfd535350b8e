// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/ResultGroups.h"

#include "gridstore/CellStore.h"
#include "gridstore/GridCommaText.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"

#include <QHash>

#include <algorithm>

namespace protocol {

namespace {

bool holdsNothing(const TCellStore& cells, int row)
{
    for (int c = 0; c < kClassColCount; ++c) {
        const QString text = TrimBlanks(cells.Cell(c, row));
        if (!text.isEmpty() && !(c == kColPlatz && text == QLatin1String("-")))
            return false;
    }
    return true;
}

// Ranked entries by place (ties in the table's order), then the unplaced,
// then the statuses in the order DNF, DSQ, DNS.
void order(const TCellStore& cells, std::vector<int>& rows, int placeCol)
{
    struct Key {
        int band = 0; // 0 placed, 1 unplaced, 2 + status
        int place = 0;
        int row = 0;
    };
    std::vector<Key> keys;
    keys.reserve(rows.size());
    for (const int r : rows) {
        const EntryStatus status = StatusOfCell(cells.Cell(kColStatus, r));
        const int place = PlaceNumber(cells.Cell(placeCol, r));
        // A place outranks a status: with "Bester Lauf" an entry that gave up
        // in run 2 is ranked by its run 1.
        if (status != EntryStatus::None && place == 0)
            keys.push_back({ 1 + static_cast<int>(status), 0, r });
        else
            keys.push_back({ place > 0 ? 0 : 1, place, r });
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (a.band != b.band)
            return a.band < b.band;
        return a.place < b.place;
    });
    for (size_t i = 0; i < keys.size(); ++i)
        rows[i] = keys[i].row;
}

} // namespace

int PlaceNumber(const QString& text)
{
    bool ok = false;
    const int place = text.toInt(&ok);
    return ok && place > 0 ? place : 0;
}

std::vector<int> EntryRows(const TCellStore& cells)
{
    std::vector<int> rows;
    for (int r = 1; r < cells.RowCount(); ++r)
        if (!holdsNothing(cells, r))
            rows.push_back(r);
    return rows;
}

bool GroupsResults(const TCellStore& cells)
{
    return UsesClasses(cells) || UsesStatus(cells);
}

std::vector<ResultGroup> GroupResults(const TCellStore& cells, const QStringList& classOrder)
{
    std::vector<ResultGroup> groups;
    QHash<QString, size_t> index;
    for (const QString& name : classOrder) {
        if (!index.contains(name)) {
            index.insert(name, groups.size());
            groups.push_back({ name, {} });
        }
    }
    std::vector<int> classless;
    for (int r = 1; r < cells.RowCount(); ++r) {
        if (holdsNothing(cells, r))
            continue;
        const QString klasse = TrimBlanks(cells.Cell(kColKlasse, r));
        if (klasse.isEmpty()) {
            classless.push_back(r);
            continue;
        }
        auto it = index.constFind(klasse);
        if (it == index.cend()) {
            it = index.insert(klasse, groups.size());
            groups.push_back({ klasse, {} });
        }
        groups[it.value()].rows.push_back(r);
    }
    groups.erase(std::remove_if(groups.begin(), groups.end(), [](const ResultGroup& g) { return g.rows.empty(); }),
        groups.end());
    if (!classless.empty() || groups.empty())
        groups.push_back({ QString(), classless });
    for (ResultGroup& g : groups)
        order(cells, g.rows, kColPlatz);
    return groups;
}

ResultGroup OverallResults(const TCellStore& cells)
{
    ResultGroup all { QString(), EntryRows(cells) };
    order(cells, all.rows, UsesClasses(cells) ? kColGesamt : kColPlatz);
    return all;
}

QString ClassHeading(const QString& className)
{
    return className.isEmpty() ? QStringLiteral("ohne Klasse") : className;
}

} // namespace protocol
