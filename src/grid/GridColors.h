// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "grid/GridTypes.h"

#include <QColor>
#include <QString>

class QPalette;

// The colour-to-name rule of the grid's settings texts: a colour constant's
// name ("clRed", "clBtnFace", "clNone", ...) where one exists, otherwise "$"
// and eight upper-case hexadecimal digits.
QString ColorToString(TColor color);

// Reads a colour name, a "$"-hexadecimal or a decimal number; ok tells
// whether the text was one of those (the result is 0 otherwise).
TColor StringToColor(const QString& text, bool* ok = nullptr);

// The screen colour of a colour value; system colours come from the palette.
QColor ColorToQColor(TColor color, const QPalette& palette);
