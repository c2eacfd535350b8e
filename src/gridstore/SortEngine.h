// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "gridstore/SortCompare.h"
#include "gridstore/SortTypes.h"

#include <QString>

#include <functional>
#include <vector>

// The key columns of a sort: the primary column first, then the columns of
// the secondary index in their order (items that are not numbers skipped,
// the primary column used only once).
std::vector<int> SortKeyColumns(int primary, const QString& secondaryIndex);

// Called once per pass with the pass's column; may change the style.
using TGetSortStyleProc = std::function<void(int col, TSortStyle& style)>;

// Orders the data rows 1 .. store.RowCount() - 1 by the key columns (primary
// first) in successive stable passes from the least significant key; each
// pass chooses its style through getSortStyle (when set) or detects it when
// options.SortStyle is ssAutomatic, and leaves the chosen style in options.
// Equal keys keep their previous order in both directions. Returns the new
// order: element i is the row that moves to row i + 1. Nothing is written.
std::vector<int> SortDataRows(const TCellStore& store, const std::vector<int>& keys, TSortOptions& options,
    const TGetSortStyleProc& getSortStyle, const TSortConversions& conversions);

// The display sort: the data rows of the table in the order its header
// shows, by options.SortCol (and the secondary index) in
// options.SortDirection, each column in the style getSortStyle gives it, as a
// header click on a sortable grid orders them. Sorts only when
// options.CanSort; returns the row that `follow` moved to.
int SortTableForDisplay(TCellTable& table, TSortOptions& options, const TGetSortStyleProc& getSortStyle, int follow);

// SortCol after the column at from was moved to to.
int SortColAfterMove(int sortCol, int from, int to);
