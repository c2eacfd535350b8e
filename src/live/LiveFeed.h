// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "live/Gzip.h"
#include "live/LivePages.h"
#include "race/RaceSnapshot.h"

#include <QByteArray>
#include <QHash>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

// The results as the server hands them out: the newest snapshot and its
// version, the JSON of the results and of the display, the events that bring
// a client up to date, and their compressed forms. Each is made once per
// change, when first asked for, however many clients ask. Lives on the
// server thread.
namespace live {

// A part of an answer: its bytes, and the same compressed as a deflate piece
// when it is worth it (empty: sent as stored blocks).
struct Part {
    QByteArray plain;
    DeflatedPart packed;
};

class LiveFeed final {
public:
    LiveFeed();

    // Takes the snapshot when spectators would see something new in it;
    // false (nothing changes) when they would not.
    bool Publish(std::shared_ptr<const race::Snapshot> snapshot);

    const race::Snapshot& Current() const { return *m_current; }
    // Counts up by one per change; starts at the wall clock's milliseconds,
    // so a restarted server never reuses a version a page still holds.
    std::uint64_t Version() const { return m_version; }
    // The version at which what the display shows last changed.
    std::uint64_t DisplayVersion() const { return m_displayVersion; }

    // The results body (ResultsJsonBody) and the display's (DisplayJsonBody).
    Part Results(bool packed);
    Part Display(bool packed);
    // What follows the results JSON on a page.
    static Part PageTail(Page page, bool packed);

    // The body of the event that brings a client holding version `base` up
    // to date: a delta from `base` while it is among the last versions, the
    // whole results otherwise; nothing when `base` is the current version.
    std::optional<Part> EventFrom(std::uint64_t base, bool packed);

    // How many versions back a delta can start.
    static constexpr size_t kHistory = 16;

private:
    struct Cached {
        Part part;
        bool packed = false;
    };
    static Part get(Cached& cache, bool packed);

    std::shared_ptr<const race::Snapshot> m_current;
    std::uint64_t m_content = 0;
    std::uint64_t m_version;
    std::uint64_t m_displayVersion;
    QByteArray m_displayContent;
    std::deque<std::pair<std::uint64_t, std::shared_ptr<const race::Snapshot>>> m_history; // older versions
    Cached m_results;
    Cached m_display;
    QHash<std::uint64_t, Cached> m_deltas; // by base, for the current version
};

} // namespace live
