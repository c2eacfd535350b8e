// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/Runs.h"

#include "gridstore/CellStore.h"
#include "gridstore/GridCommaText.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "race/RaceText.h"

#include <algorithm>

using namespace protocol;

namespace race {

QString RunsHeader(int col)
{
    switch (col) {
    case kColLauf1:
        return QStringLiteral("Lauf 1");
    case kColLauf1Platz:
        return QStringLiteral("Platz 1");
    case kColLauf1Status:
        return QStringLiteral("Status 1");
    case kColGesamtzeit:
        return QStringLiteral("Gesamtzeit");
    default:
        return {};
    }
}

bool UsesRuns(const TCellStore& cells)
{
    return UsesRunColumns(cells);
}

int SavedColumns(const TCellStore& cells)
{
    return SavedColCount(cells);
}

RunsScore ScoreRuns(const EntryRuns& runs, RunsScoring scoring)
{
    const std::optional<std::int64_t> run1 = runs.status1 == EntryStatus::None ? runs.run1 : std::nullopt;
    const std::optional<std::int64_t> run2 = runs.status == EntryStatus::None ? runs.run2 : std::nullopt;
    if (scoring == RunsScoring::Best) {
        if (run1 && run2)
            return { std::min(*run1, *run2), EntryStatus::None };
        if (run1 || run2)
            return { run1 ? run1 : run2, EntryStatus::None };
        return { std::nullopt, runs.status != EntryStatus::None ? runs.status : runs.status1 };
    }
    if (runs.status != EntryStatus::None)
        return { std::nullopt, runs.status };
    if (runs.status1 != EntryStatus::None)
        return { std::nullopt, runs.status1 };
    if (run1 && run2)
        return { *run1 + *run2, EntryStatus::None };
    return {};
}

std::vector<int> Run2Order(const std::vector<Run1Entry>& entries, int reverse)
{
    // Entries keep the order given where nothing else decides.
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto statusRank = [](EntryStatus s) {
        return s == EntryStatus::DNF ? 1 : s == EntryStatus::DSQ ? 2 : s == EntryStatus::DNS ? 3 : 0;
    };
    // Band 0: reversed, 1: the rest by run 1's result, 2: without a place,
    // 3: left out of run 2.
    const auto band = [&](const Run1Entry& e) {
        if (e.status != EntryStatus::None)
            return 3;
        if (e.place <= 0)
            return 2;
        return e.place <= reverse ? 0 : 1;
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t ia, size_t ib) {
        const Run1Entry& a = entries[ia];
        const Run1Entry& b = entries[ib];
        const int bandA = band(a), bandB = band(b);
        if ((bandA == 3) != (bandB == 3))
            return bandB == 3;
        if (a.group != b.group)
            return a.group < b.group;
        if (bandA != bandB)
            return bandA < bandB;
        switch (bandA) {
        case 0: // the best last: the exact reverse of run 1's result
            if (a.place != b.place)
                return a.place > b.place;
            return a.startedAt > b.startedAt;
        case 1:
            if (a.place != b.place)
                return a.place < b.place;
            return a.startedAt < b.startedAt;
        case 3:
            return statusRank(a.status) < statusRank(b.status);
        default:
            return false;
        }
    });
    std::vector<int> rows;
    rows.reserve(order.size());
    for (const size_t i : order)
        rows.push_back(entries[i].row);
    return rows;
}

QString BehindText(std::int64_t ms, int accuracy)
{
    return QLatin1Char('+')
        + RunTimeText(static_cast<std::int32_t>(std::clamp<std::int64_t>(ms, 0, INT32_MAX)), accuracy);
}

} // namespace race
