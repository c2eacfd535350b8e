// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class TCellStore;

// How the results list the entries once a class or status is in use: class
// by class, each class's ranked entries by their place, then the entries
// without a place (still running, not started yet, a time that is no run
// time) in the table's order, then DNF, DSQ and DNS. Every output of the
// results (page, printout, document, workbook, live results) lists them so;
// a table without classes and statuses is listed as it stands.
namespace protocol {

struct ResultGroup {
    QString className; // empty without classes, and for entries without a class
    std::vector<int> rows; // rows of the table, in the order listed
};

// A place as the ranking writes it, a whole number from 1 on; 0 for any
// other text (none, "-", a status).
int PlaceNumber(const QString& text);

// The rows holding an entry, in the table's order: every row after the
// header but those holding nothing (the free row after the last start).
std::vector<int> EntryRows(const TCellStore& cells);

// Whether the outputs group the entries: an entry has a class or a status.
bool GroupsResults(const TCellStore& cells);

// The classes in `classOrder` (the order of their first appearance in the
// start list; classes it does not name follow in the table's order), entries
// without a class last. Without classes one group with an empty name. Rows
// holding nothing (the free row after the last start) are left out.
std::vector<ResultGroup> GroupResults(const TCellStore& cells, const QStringList& classOrder);

// Every entry in one list by the overall place ("Gesamt" with classes,
// "Platz" without), the rest as in a group.
ResultGroup OverallResults(const TCellStore& cells);

// The heading of a class in the results: its name, or "ohne Klasse".
QString ClassHeading(const QString& className);

} // namespace protocol
