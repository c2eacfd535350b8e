// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QImage>
#include <QString>

// The grid's glyphs by resource name: "UP" and "DOWN" (sort arrows, 8 x 7),
// "CHECKED", "UNCHECKED", "COMBOBOX" and "ELLIPSIS" (16 x 16). An unknown
// name gives a null image.
QImage GridGlyph(const QString& name);

// The colour the sort arrows are drawn in.
QRgb GridArrowColor();
