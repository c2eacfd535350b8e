#pragma once

#include "protocol/WriteFailure.h"

class TCellStore;

namespace protocol {

// The spreadsheet export of the protocol table (sbExcelClick): the header in
// sheet row 1, the entries below it, the trailing free row left out when its
// "Nr." is empty, the columns fitted, the workbook then opened with the
// default application. "Nr." and "Platz" become whole numbers, "Start" a time
// of day, "Zeit" and "Split" durations, each only where the text is one;
// every other cell is the text as typed. False when the temporary folder or
// the workbook cannot be written; `failure` then names the file and the
// reason, and no folder is left behind.
bool ExcelExport(const TCellStore& cells, WriteFailure* failure = nullptr);

} // namespace protocol
