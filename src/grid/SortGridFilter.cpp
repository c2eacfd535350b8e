// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The row filter of TSortGrid.

#include "grid/SortGrid.h"

#include <vector>

void TSortGrid::SetFiltered(bool on)
{
    const bool applied = m_hiddenRowCount > 0 || m_filterPlaceholder;
    if (on ? IsEmptyRow(1) && !applied : !applied) {
        if (!on)
            m_filtered = false; // a filter that passed every row has nothing to bring back
        return;
    }
    const bool modified = m_modified;
    const bool bracket = !NowUpdating();
    if (bracket)
        BeginUpdate();
    try {
        if (applied)
            RemoveFilter();
        m_filtered = on && !IsEmptyRow(1);
        if (m_filtered)
            ApplyFilter();
    } catch (...) {
        m_modified = modified;
        if (bracket)
            CloseUpdateAfterError();
        throw;
    }
    m_modified = modified; // filtering is no edit
    // Row numbers in the multi-selection refer to rows that have moved.
    if (m_multiSelect)
        SelectOnly(Row());
    if (bracket)
        EndUpdate();
}

void TSortGrid::ApplyFilter()
{
    std::vector<int> accepted;
    std::vector<int> rejected;
    const int dataRows = RowCount() - 1;
    for (int r = 1; r <= dataRows; ++r) {
        bool accept = false;
        // Without a handler no row passes.
        if (OnSetFilter)
            OnSetFilter(Rows(r), accept);
        (accept ? accepted : rejected).push_back(r);
    }
    // The accepted rows come first and the rejected ones are parked after
    // them, each group in its previous order.
    std::vector<int> order = accepted;
    order.insert(order.end(), rejected.begin(), rejected.end());
    MutableStore().PermuteRows(1, order);
    m_hiddenRowCount = static_cast<int>(rejected.size());
    if (accepted.empty()) {
        // The grid keeps one data row: an empty one stands in for the result.
        MutableStore().InsertRow(1);
        m_filterPlaceholder = true;
        SetRowCount(2);
    } else {
        SetRowCount(1 + static_cast<int>(accepted.size()));
        SortByColumn(m_sortOptions.SortCol);
    }
    GotoCell(0, 1, true);
}

void TSortGrid::RemoveFilter()
{
    SetRowCount(RowCount() + m_hiddenRowCount);
    // Only the stand-in row goes; an empty row that passed the filter, or a
    // stand-in the user has written into, stays.
    if (m_filterPlaceholder && IsEmptyRow(1) && RowCount() > 2) {
        MutableStore().DeleteRow(1);
        SetRowCount(RowCount() - 1);
    }
    const bool hadHidden = m_hiddenRowCount > 0;
    m_hiddenRowCount = 0;
    m_filterPlaceholder = false;
    if (hadHidden)
        SortByColumn(m_sortOptions.SortCol);
}
