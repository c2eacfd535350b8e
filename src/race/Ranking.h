// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "protocol/EntryStatus.h"

#include <cstdint>
#include <optional>
#include <vector>

// Competition places, apart from the table they are written into.
namespace race {

// One entry as the ranking sees it: the value it is ranked by (a run time,
// the total of two runs), none while it has none that counts; its status;
// and the class it is ranked in (0 .. n-1, all 0 without classes).
struct RankInput {
    std::optional<std::int64_t> value;
    protocol::EntryStatus status = protocol::EntryStatus::None;
    int group = 0;
};

// An entry's places; 0 for an entry that is not ranked.
struct RankPlaces {
    int inGroup = 0;
    int overall = 0;
};

// Places by value, smallest first: an entry with a status or without a value
// is not ranked, equal values share a place (1, 1, 3), each group counts its
// own places beside the overall one. One result per input, in its order.
std::vector<RankPlaces> RankEntries(const std::vector<RankInput>& entries);

} // namespace race
