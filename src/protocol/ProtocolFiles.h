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
// empty) followed by a TAB, CR LF after each row, UTF-8.
QByteArray ProtocolTextBytes(const TCellStore& cells);
// Replaces the file in one step: a failure leaves an older file as it was and
// gives false with the system's reason. No message; the caller tells the
// operator.
bool WriteProtocolText(const TCellStore& cells, const QString& fileName, QString* reason = nullptr);

// What loading a protocol text file or a start list would put into the table.
struct LoadedProtocol {
    // The entry rows from row 1 on, seven trimmed cells each.
    std::vector<QStringList> rows;
    // The race's first start as the loader leaves it: 0 unless a row whose
    // "Split" reads "0,00" named it in the raw column (the last such row wins).
    platform::Tick firstStartTick = 0;
    // False when a line broke the load (a "0,00" row without a decimal tick);
    // the rows before it and that row itself are still in `rows`, but the
    // table must then be left without ranking and column layout.
    bool completed = true;
};

// Reads a protocol text file or a start list; the grid backup file that the
// program writes at exit (recognised by its five settings lines) gives its
// table rows, the raw column included.
LoadedProtocol ParseProtocolText(const QByteArray& bytes);
bool IsGridBackup(const QByteArray& bytes);

// True when an entry row holds anything but the "-" of a free row: a table
// worth a backup.
bool HasEntryContent(const TCellStore& cells);
// nullopt when the file cannot be opened: the table stays as it is.
std::optional<LoadedProtocol> LoadProtocolText(const QString& fileName);

// Puts a loaded protocol into the table: row count max(2, rows + 1), row 1
// cleared, the rows written from row 1 on, the header row untouched. The main
// window then takes over `firstStartTick` and, only when `completed`, runs the
// rank refresh and the column layout.
void ApplyLoadedProtocol(TCellTable& table, const LoadedProtocol& loaded);

} // namespace protocol
