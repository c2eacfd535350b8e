// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Sorting and the bulk-update bracket of TSortGrid.

#include "grid/SortGrid.h"

#include "gridstore/SortEngine.h"

#include <algorithm>

void TSortGrid::BeginUpdate()
{
    if (NowUpdating())
        return; // a flag, not a counter: the outer bracket keeps its saved state
    TMyStringGrid::BeginUpdate();
    m_savedUpdateOnSizeChange = m_sortOptions.UpdateOnSizeChange;
    m_sortOptions.UpdateOnSizeChange = false;
}

void TSortGrid::EndUpdate()
{
    if (!NowUpdating())
        return;
    TMyStringGrid::EndUpdate();
    m_sortOptions.UpdateOnSizeChange = m_savedUpdateOnSizeChange;
    if (OnEndUpdate)
        OnEndUpdate(this);
}

void TSortGrid::CloseUpdateAfterError() noexcept
{
    // The exception on its way out is the one that matters; a second one
    // from OnEndUpdate must not replace it or leave the grid frozen.
    m_sorting = false;
    m_sortOptions.SortCompare = nullptr;
    const auto onEndUpdate = std::move(OnEndUpdate);
    OnEndUpdate = nullptr;
    try {
        EndUpdate();
    } catch (...) {
    }
    OnEndUpdate = onEndUpdate;
}

void TSortGrid::SortByColumn(int ACol)
{
    if (!m_sortOptions.CanSort)
        return;
    m_sortOptions.SortCol = ACol;
    m_sorting = true;
    // Inside a caller's bracket (the row filter's) the bracket is left to
    // the caller.
    const bool bracket = !NowUpdating();
    if (bracket)
        BeginUpdate();
    try {
        if (OnBeginSort)
            OnBeginSort(this, ACol);
        TGetSortStyleProc getSortStyle;
        if (OnGetSortStyle)
            getSortStyle = [this](int col, TSortStyle& style) { OnGetSortStyle(this, col, style); };
        SortTableForDisplay(*this, m_sortOptions, getSortStyle, Row());
        m_sorting = false;
        if (OnEndSort)
            OnEndSort(this, ACol);
    } catch (...) {
        if (bracket) {
            CloseUpdateAfterError();
        } else {
            m_sorting = false;
            m_sortOptions.SortCompare = nullptr;
        }
        throw;
    }
    if (bracket)
        EndUpdate();
}

void TSortGrid::PermuteTableRows(const std::vector<int>& order)
{
    const bool bracket = !NowUpdating();
    if (bracket)
        BeginUpdate();
    try {
        std::vector<int> remembered;
        for (const QString& text : std::as_const(m_selectedRows)) {
            bool ok = false;
            const int row = text.toInt(&ok);
            if (ok)
                remembered.push_back(row);
        }
        std::sort(remembered.begin(), remembered.end());
        const int previousRow = Row();
        MutableStore().PermuteRows(1, order);

        // The current row and the selected rows follow their data.
        QStringList selected;
        int current = -1;
        for (size_t n = 0; n < order.size(); ++n) {
            const int row = static_cast<int>(n) + 1;
            if (order[n] == previousRow)
                current = row;
            if (std::binary_search(remembered.begin(), remembered.end(), order[n]))
                selected << QString::number(row);
        }
        if (current > 0)
            MoveCurrent(Col(), current, true);
        if (!selected.isEmpty()) {
            m_selectedRows = selected;
            m_selectionOrder = selected;
        }
    } catch (...) {
        if (bracket)
            CloseUpdateAfterError();
        throw;
    }
    if (bracket)
        EndUpdate();
}
