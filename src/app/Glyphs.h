// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QPixmap>

// Pictures the main window draws itself.

// The barrier indicators, 22 x 22: picture 0 a red disc with a white bar
// (locked), picture 1 a green disc with a white plus (free).
QPixmap LockPicture(int index);

enum class FileGlyph { Open, Save, Print, Word, Excel, Html };
// 24 x 24 glyphs of the file bar.
QPixmap FileBarGlyph(FileGlyph glyph);

// The program icon.
QPixmap ProgramIcon(int size);
