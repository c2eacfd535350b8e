// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "gridstore/CellStore.h"

#include <QChar>
#include <QRect>

// Rules of the grid's interaction that need no widget.

// A typed key as type-ahead compares it: ASCII letters upper-cased, every
// other character unchanged.
QChar TypeAheadKey(QChar key);

// The row type-ahead jumps to: the first row after currentRow, then from row
// 1 up to and including currentRow, whose text in col is not empty and starts
// with key (both sides upper-cased as TypeAheadKey does); -1 when none.
int TypeAheadRow(const TCellStore& store, int col, int currentRow, int rowCount, QChar key);

// Where a combo-box cell's drop-down list goes, in the coordinates of the
// grid's parent window. cell is the cell's rectangle in that window;
// width and height as the owner asked (0: chosen here).
QRect DropDownGeometry(const QRect& cell, int cellWidth, int width, int height, int itemCount, int itemHeight);

// The pixels a left press may travel before it becomes a drag of rows.
constexpr int kDragThreshold = 10;
// The right part of an ellipsis cell that acts as its button.
constexpr int kEllipsisButtonWidth = 16;
