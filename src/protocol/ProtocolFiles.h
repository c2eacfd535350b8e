// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Tick.h"
#include "protocol/Columns.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

class TCellStore;
class TCellTable;

namespace protocol {

// The protocol text file: every row whose "Nr." is set, each cell (" " when
// empty) followed by a TAB, CR LF after each row, UTF-8. The seven columns of
// the log, and "Klasse" and "Status" after them once an entry has one.
QByteArray ProtocolTextBytes(const TCellStore& cells);
// Replaces the file in one step: a failure leaves an older file as it was and
// gives false with the system's reason. No message; the caller tells the
// operator.
bool WriteProtocolText(const TCellStore& cells, const QString& fileName, QString* reason = nullptr);

// A line of a loaded file that came into the table changed: the file's line
// (from 1) and what became of it.
struct LoadRepair {
    int line = 0;
    QString what;
};

// A start number that more than one entry of a loaded file has ("007" and
// "7" are one number), and the file's lines that have it.
struct RepeatedNumber {
    QString number;
    std::vector<int> lines;
};

// What loading a protocol text file or a start list would put into the table.
struct LoadedProtocol {
    // The entry rows from row 1 on, trimmed cells: the log's seven, more
    // when a header names "Klasse" or "Status".
    std::vector<QStringList> rows;
    std::vector<int> lines; // the file's line (from 1) of each row
    // The lines that loaded only changed, in file order.
    std::vector<LoadRepair> repairs;
    // Start numbers that entries share, in the order they first appear.
    std::vector<RepeatedNumber> repeated;
    // 0 when the whole file reads as a protocol or start list; otherwise the
    // file's line (from 1) that does not, and why. Nothing of such a file
    // belongs into the table.
    int errorLine = 0;
    QString error;
    bool ok() const { return errorLine == 0; }
};

// Reads a protocol text file or a start list (by the names of its header
// line when it has one, see StartListColumns; a line whose first field is
// "Nr." is a header too, "Nr." anywhere else is a name's); the grid backup file that the
// program writes at exit (recognised by its five settings lines) gives its
// table rows, the raw column included. Only binary data (a NUL anywhere) is
// refused. A line keeps every cell it can, repaired and noted in `repairs`:
// a control character inside a cell (a stray one pasted from a spreadsheet)
// becomes a blank, as do a TAB and a line break inside a quoted cell (every
// file the table is written to would split the cell there), and a raw value "*" that is no whole 32-bit number (an
// extra column of a start list) stays out of the table, so the entry loads
// as not started.
LoadedProtocol ParseProtocolText(const QByteArray& bytes);

// The note after a load that changed lines: how many and which ("2 Zeilen
// beim Laden geändert: 4, 9"), empty when none; and one line per repair for
// its tooltip.
QString RepairNote(const std::vector<LoadRepair>& repairs);
QString RepairDetails(const std::vector<LoadRepair>& repairs);
// The note over the table after a load: the changed lines and the start
// numbers that entries share ("Nr. mehrfach: 7"); empty when there is
// nothing to say. Its details name every line.
QString LoadNote(const LoadedProtocol& loaded);
QString LoadNoteDetails(const LoadedProtocol& loaded);
bool IsGridBackup(const QByteArray& bytes);

// True when an entry row holds anything but the "-" of a free row: a table
// worth a backup.
bool HasEntryContent(const TCellStore& cells);
// nullopt when the file cannot be opened (openError then says why).
std::optional<LoadedProtocol> LoadProtocolText(const QString& fileName, QString* openError = nullptr);

// Puts a loaded protocol into the table: row count max(2, rows + 1), row 1
// cleared, the rows written from row 1 on, the header row untouched.
void ApplyLoadedProtocol(TCellTable& table, const LoadedProtocol& loaded);

} // namespace protocol
