// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "grid/GridTypes.h"

#include <QString>

#include <vector>

// A colour and style setting for a grid column or row; applied only while
// Active.
struct TFontSetting {
    TColor Color = 0;
    TColor BackColor = 0;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Active = false;
};

// Owns its settings; index = column or row number.
using TFontList = std::vector<TFontSetting>;

// "Color,Bold,Italic,Underline,BackColor" with colour names and "1"/"0".
QString FontSettingText(const TFontSetting& setting);

// Reads such a text into setting (Active is not part of it and stays as it
// is). Items 0 and 4 are colours, items 1 to 3 are true exactly when "1";
// missing or unreadable items read as zero/false.
void ReadFontSettingText(const QString& text, TFontSetting& setting);

// Appends new settings or removes settings at the end (stopping when the list
// is empty) by the change of a column or row count.
void AdjustFontList(TFontList& list, int countChange);

// Moves the entry at from to index to (entries in between shift by one);
// indexes outside the list are ignored.
void MoveFontEntry(TFontList& list, int from, int to);
