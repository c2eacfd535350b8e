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

// What loading a protocol text file or a start list would put into the table.
struct LoadedProtocol {
    // The entry rows from row 1 on, trimmed cells: the log's seven, more
    // when a header names "Klasse" or "Status".
    std::vector<QStringList> rows;
    // 0 when the whole file reads as a protocol or start list; otherwise the
    // file's line (from 1) that does not, and why. Nothing of such a file
    // belongs into the table.
    int errorLine = 0;
    QString error;
    bool ok() const { return errorLine == 0; }
};

// Reads a protocol text file or a start list (by the names of its header
// line when it has one, see StartListColumns); the grid backup file that the
// program writes at exit (recognised by its five settings lines) gives its
// table rows, the raw column included. Stops at the first line that is
// binary data (a NUL anywhere, a control character inside a cell) or holds a
// raw value "*" that is not a whole 32-bit number.
LoadedProtocol ParseProtocolText(const QByteArray& bytes);
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
