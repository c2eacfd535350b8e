// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "grid/GridTypes.h"

#include <QPoint>
#include <QString>

#include <functional>

// Shortens a header text that is wider than width: its last two characters
// become "..", then while still too wide and longer than 3 characters the
// last character goes and the new second-to-last becomes ".". A text of two
// characters becomes ".."; a single character is left as it is (drawn
// clipped): there is nothing to put the dots in place of.
QString ShortenHeaderText(const QString& text, int width, const std::function<int(const QString&)>& textWidth);

// Offset of a text of size tw x th inside a cell of size w x h.
QPoint TextOffset(int w, int h, int tw, int th, TAlignment horz, TVertAlignment vert);

// A check-box cell's text that reads as checked: "true", "1" or "V".
bool IsCheckedText(const QString& text);

// Page size of a proportional scroll bar: max(1, round(share * (range + 1)))
// with share = visible / count (0 when count is 0).
int ProportionalPageSize(int visible, int count, int range);

// The text's horizontal offset in the sort column's header, where the arrow
// takes the left: 10 pixels further right, but never past the cell's right
// edge (a right-aligned header would otherwise be cut off).
int SortHeaderTextX(int offsetX, int w, int tw);
