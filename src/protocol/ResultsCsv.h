// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class TCellStore;

namespace protocol {

// The log as the semicolon export writes it (UTF-8, CR LF, each cell as
// CsvCellText has it): the header row, then every entry; the free row after
// the last start is no entry. A table without classes and statuses keeps the
// seven columns in the table's order. Once a class or status is in use the
// rows are grouped as every output groups them (ResultGroups), and "Klasse"
// and "Status" follow the seven; with classes "Gesamt", the overall place,
// follows "Platz". Loading the file back gives the same entries: "Gesamt" is
// worked out again by the ranking.
QByteArray ResultsCsvBytes(const TCellStore& cells, const QStringList& classOrder);

// Replaces the file in one step; false with the system's reason on failure.
bool WriteResultsCsv(
    const TCellStore& cells, const QStringList& classOrder, const QString& fileName, QString* reason = nullptr);

} // namespace protocol
