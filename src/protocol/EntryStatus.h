// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

class TCellStore;

// An entry's status beside its time, and whether a table uses classes and
// statuses at all. A table that uses neither is the log as it always was:
// seven columns in every file, one overall ranking.
namespace protocol {

// Out of the ranking: did not start, did not finish, disqualified. The
// results list the statuses in the order DNF, DSQ, DNS after the ranked
// entries.
enum class EntryStatus { None, DNF, DSQ, DNS };

// "DNS", "DNF", "DSQ"; empty for None.
QString StatusText(EntryStatus status);
// "nicht gestartet", "nicht im Ziel", "disqualifiziert"; empty for None.
QString StatusCaption(EntryStatus status);
// What a "Status" cell holds: one of the three texts, case and blanks
// ignored; None for anything else.
EntryStatus StatusOfCell(const QString& text);
// The status a text names in a loaded list: the three texts and their usual
// German forms ("aufg.", "n.a.", "disq.", "nicht im Ziel", ...), case,
// blanks and trailing dots ignored; None when it names none.
EntryStatus StatusNamedBy(const QString& text);

// Whether an entry row (from row 1 on) has a class, or a status.
bool UsesClasses(const TCellStore& cells);
bool UsesStatus(const TCellStore& cells);
// Whether an entry row keeps a first run ("Lauf 1", "Platz 1", "Status 1"):
// the table is in the second run of a race of two.
bool UsesRunColumns(const TCellStore& cells);
// The columns a file or the journal keeps of each row: the seven of the log,
// "Klasse" and "Status" after them once a class or status is in use, and the
// first run after those in the second run.
int SavedColCount(const TCellStore& cells);
// A row's cells as the journal keeps them: the seven, and "Klasse" and
// "Status" only when one of them is set.
QStringList SavedCells(const QStringList& cells);

} // namespace protocol
