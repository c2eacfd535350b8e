// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "protocol/WriteFailure.h"

#include <QStringList>

class TCellStore;

namespace protocol {

// The spreadsheet export of the protocol table (sbExcelClick): the header in
// sheet row 1, the entries below it, the trailing free row left out when its
// "Nr." is empty, the columns fitted, the workbook then opened with the
// default application. Every sheet keeps its header row in view while it
// scrolls and prints it atop each page, one page wide; a text wider than a
// column may grow wraps in its cell. "Nr." and "Platz" become whole
// numbers, "Start" a time of day, "Zeit" and "Split" durations, each only
// where the text is one; every other cell is the text as typed. The workbook goes into the folder
// TExcel::WorkbookFolder() names. False when the folder or the workbook
// cannot be written; `failure` then names the file and the reason, and no
// file of this export is left behind.
struct ExcelReport {
    QString workbook; // where the workbook was saved
    // The cells cut to the spreadsheet's limit, as the operator finds them
    // in the table: "Zeile 3 (Nr. 12), Spalte Name: 40000 Zeichen".
    QStringList cut;
};
// The workbook's title is `title`, or the date of the race (today) when that
// is empty, as the document's (DocumentTitle). A given title also heads each
// sheet, with the day's date under it, a row above the table. Once a class or
// status is in use the sheets list the entries as ResultGroups has them: with
// classes an overall sheet "Gesamt" (by overall place, with each entry's
// class) and a sheet per class in `classOrder`, with statuses only one sheet.
bool ExcelExport(const TCellStore& cells, WriteFailure* failure = nullptr, ExcelReport* report = nullptr,
    const QString& title = QString(), const QStringList& classOrder = {});

} // namespace protocol
