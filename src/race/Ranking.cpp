// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/Ranking.h"

#include <algorithm>

namespace race {

namespace {

// The places of entries ordered by value: equal values share a place.
struct PlaceCounter {
    int count = 0;
    int place = 0;
    std::int64_t last = 0;
    int next(std::int64_t value)
    {
        if (count == 0 || value != last)
            place = count + 1;
        ++count;
        last = value;
        return place;
    }
};

} // namespace

std::vector<RankPlaces> RankEntries(const std::vector<RankInput>& entries)
{
    std::vector<RankPlaces> places(entries.size());
    std::vector<size_t> ranked;
    ranked.reserve(entries.size());
    int groups = 1;
    for (size_t i = 0; i < entries.size(); ++i) {
        const RankInput& e = entries[i];
        if (e.value && e.status == protocol::EntryStatus::None) {
            ranked.push_back(i);
            groups = std::max(groups, e.group + 1);
        }
    }
    // Equal values keep the order they came in.
    std::stable_sort(
        ranked.begin(), ranked.end(), [&entries](size_t a, size_t b) { return *entries[a].value < *entries[b].value; });
    PlaceCounter overall;
    std::vector<PlaceCounter> perGroup(static_cast<size_t>(groups));
    for (const size_t i : ranked) {
        const std::int64_t value = *entries[i].value;
        places[i].overall = overall.next(value);
        places[i].inGroup = perGroup[static_cast<size_t>(std::max(0, entries[i].group))].next(value);
    }
    return places;
}

} // namespace race
