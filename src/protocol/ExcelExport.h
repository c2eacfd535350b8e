#pragma once

class TCellStore;

namespace protocol {

// The spreadsheet export of the protocol table (sbExcelClick): the header in
// sheet row 1, the entries below it, the trailing free row left out when its
// "Nr." is empty, the columns fitted, the workbook then opened with the
// default application. Without a temporary folder it ends quietly; a later
// failure throws EExcel for the main window's error box.
void ExcelExport(const TCellStore& cells);

} // namespace protocol
