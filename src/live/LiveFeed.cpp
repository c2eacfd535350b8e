// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/LiveFeed.h"

#include "live/LiveJson.h"

#include <QDateTime>

#include <algorithm>

namespace live {

LiveFeed::LiveFeed()
    : m_current(std::make_shared<const race::Snapshot>())
    , m_content(race::ContentVersion(*m_current))
    , m_version(static_cast<std::uint64_t>(QDateTime::currentMSecsSinceEpoch()))
    , m_displayVersion(m_version)
    , m_displayContent(DisplayJsonContent(*m_current))
{
}

bool LiveFeed::Publish(std::shared_ptr<const race::Snapshot> snapshot)
{
    if (!snapshot)
        return false;
    // Deltas go by identity; a snapshot made by hand may come without.
    if (std::any_of(snapshot->entries.begin(), snapshot->entries.end(),
            [](const race::SnapshotEntry& e) { return e.id.isEmpty(); })) {
        auto named = std::make_shared<race::Snapshot>(*snapshot);
        race::AssignEntryIds(*named);
        snapshot = std::move(named);
    }
    const std::uint64_t content = race::ContentVersion(*snapshot);
    if (content == m_content)
        return false;
    m_history.emplace_back(m_version, std::move(m_current));
    while (m_history.size() > kHistory)
        m_history.pop_front();
    m_current = std::move(snapshot);
    m_content = content;
    ++m_version;
    QByteArray display = DisplayJsonContent(*m_current);
    if (display != m_displayContent) {
        m_displayContent = std::move(display);
        m_displayVersion = m_version;
    }
    m_results = {};
    m_display = {};
    m_deltas.clear();
    return true;
}

Part LiveFeed::get(Cached& cache, bool packed)
{
    if (packed && !cache.packed) {
        cache.part.packed = DeflatePiece(cache.part.plain);
        cache.packed = true;
    }
    return packed ? cache.part : Part { cache.part.plain, {} };
}

Part LiveFeed::Results(bool packed)
{
    if (m_results.part.plain.isEmpty())
        m_results.part.plain = ResultsJsonBody(*m_current, m_version);
    return get(m_results, packed);
}

Part LiveFeed::Display(bool packed)
{
    if (m_display.part.plain.isEmpty())
        m_display.part.plain = DisplayJsonBody(*m_current, m_displayVersion);
    return get(m_display, packed);
}

Part LiveFeed::PageTail(Page page, bool packed)
{
    // The same for every answer of the program's life.
    static const Part tails[2] = {
        { live::PageTail(Page::Results), DeflatePiece(live::PageTail(Page::Results)) },
        { live::PageTail(Page::Display), DeflatePiece(live::PageTail(Page::Display)) },
    };
    const Part& tail = tails[page == Page::Results ? 0 : 1];
    return packed ? tail : Part { tail.plain, {} };
}

std::optional<Part> LiveFeed::EventFrom(std::uint64_t base, bool packed)
{
    if (base == m_version)
        return std::nullopt;
    const auto old = std::find_if(
        m_history.begin(), m_history.end(), [base](const auto& versioned) { return versioned.first == base; });
    if (old == m_history.end())
        return Results(packed);
    Cached& delta = m_deltas[base];
    if (delta.part.plain.isEmpty())
        delta.part.plain = DeltaJsonBody(*old->second, base, *m_current, m_version);
    return get(delta, packed);
}

} // namespace live
