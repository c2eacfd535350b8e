// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

namespace protocol {

// The most characters (UTF-16 units, as spreadsheets count them) a sheet's
// name may have.
constexpr qsizetype kMaxSheetName = 31;

// A sheet name every spreadsheet and the workbook writer take for `wanted`
// (a class's name): each of []:*?/\ and control characters becomes "_",
// characters XML forbids become U+FFFD, blanks and apostrophes at either end
// go, a name longer than kMaxSheetName is cut where a character ends (never
// inside a surrogate pair or between a letter and its combining marks), an
// empty name becomes "Tabelle", and a name another sheet in `taken` has
// (whatever the case) gets " (2)", " (3)", ... within the length.
QString SheetName(const QString& wanted, const QStringList& taken);

} // namespace protocol
