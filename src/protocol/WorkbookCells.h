// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <optional>

// How the protocol's texts become typed spreadsheet cells. Times are numbers
// of days, as spreadsheets keep them, with a number format that shows them
// the way the table does; a text that is not what its column expects stays
// text, so nothing the operator typed is lost.
namespace protocol {

struct SheetNumber {
    double value = 0;
    // The spreadsheet's number format code (stored in its neutral notation:
    // "." is the decimal separator, shown as "," in a German spreadsheet);
    // empty for the general format.
    QString format;
};

// A run time as the table writes it ("Zeit", "Split"): [[h:]m.]s with an
// optional fraction of one or two digits after ",", every field after the
// first of two digits, e.g. 1:02.03,45, 1.05,23, 0,00 or, at whole seconds,
// 1.50 (one minute fifty, not 1.5). The format shows minutes and
// seconds (hours when the text has them) and as many fraction digits as the
// text: [h]:mm:ss.00, mm:ss.0, mm:ss.
std::optional<SheetNumber> RunTimeCell(const QString& text);

// A time of day as START writes it ("Start"): h:mm.ss,ff, e.g. 9:05.12,30,
// shown as h:mm:ss.00.
std::optional<SheetNumber> TimeOfDayCell(const QString& text);

// "Nr." and "Platz": digits without a leading zero (or a single 0), at most
// 15 of them, a spreadsheet's precision. "007" stays the text it was.
std::optional<SheetNumber> WholeNumberCell(const QString& text);

} // namespace protocol
