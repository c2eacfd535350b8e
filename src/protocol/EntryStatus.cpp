// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/EntryStatus.h"

#include "gridstore/CellStore.h"
#include "gridstore/GridCommaText.h"
#include "protocol/Columns.h"

namespace protocol {

namespace {

// Lower case without blanks around it and without trailing dots, so "Aufg."
// and "aufg" read alike.
QString normalised(const QString& text)
{
    QString s = text.trimmed().toLower();
    while (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    return s.trimmed();
}

bool anyEntryCell(const TCellStore& cells, int col)
{
    for (int r = 1; r < cells.RowCount(); ++r) {
        const QString& text = cells.CellRef(col, r);
        if (!text.isEmpty() && !TrimBlanks(text).isEmpty())
            return true;
    }
    return false;
}

} // namespace

QString StatusText(EntryStatus status)
{
    switch (status) {
    case EntryStatus::DNS:
        return QStringLiteral("DNS");
    case EntryStatus::DNF:
        return QStringLiteral("DNF");
    case EntryStatus::DSQ:
        return QStringLiteral("DSQ");
    case EntryStatus::None:
        break;
    }
    return {};
}

QString StatusCaption(EntryStatus status)
{
    switch (status) {
    case EntryStatus::DNS:
        return QStringLiteral("nicht gestartet");
    case EntryStatus::DNF:
        return QStringLiteral("nicht im Ziel");
    case EntryStatus::DSQ:
        return QStringLiteral("disqualifiziert");
    case EntryStatus::None:
        break;
    }
    return {};
}

EntryStatus StatusOfCell(const QString& text)
{
    if (text.isEmpty())
        return EntryStatus::None;
    const QString s = text.trimmed().toUpper();
    for (const EntryStatus status : { EntryStatus::DNS, EntryStatus::DNF, EntryStatus::DSQ })
        if (s == StatusText(status))
            return status;
    return EntryStatus::None;
}

EntryStatus StatusNamedBy(const QString& text)
{
    static const struct {
        const char* name;
        EntryStatus status;
    } kNames[] = {
        { "dns", EntryStatus::DNS },
        { "n.a", EntryStatus::DNS },
        { "n.g", EntryStatus::DNS },
        { "nicht angetreten", EntryStatus::DNS },
        { "nicht gestartet", EntryStatus::DNS },
        { "dnf", EntryStatus::DNF },
        { "aufg", EntryStatus::DNF },
        { "aufgegeben", EntryStatus::DNF },
        { "n.i.z", EntryStatus::DNF },
        { "nicht im ziel", EntryStatus::DNF },
        { "dsq", EntryStatus::DSQ },
        { "dq", EntryStatus::DSQ },
        { "disq", EntryStatus::DSQ },
        { "disqualifiziert", EntryStatus::DSQ },
    };
    const QString s = normalised(text);
    for (const auto& n : kNames)
        if (s == QLatin1String(n.name))
            return n.status;
    return EntryStatus::None;
}

bool UsesClasses(const TCellStore& cells)
{
    return anyEntryCell(cells, kColKlasse);
}

bool UsesStatus(const TCellStore& cells)
{
    return anyEntryCell(cells, kColStatus);
}

bool UsesRunColumns(const TCellStore& cells)
{
    for (int r = 1; r < cells.RowCount(); ++r)
        for (const int c : { kColLauf1, kColLauf1Platz, kColLauf1Status })
            if (!cells.CellRef(c, r).isEmpty() && !TrimBlanks(cells.CellRef(c, r)).isEmpty())
                return true;
    return false;
}

int SavedColCount(const TCellStore& cells)
{
    if (UsesRunColumns(cells))
        return kRunsSavedColCount;
    return UsesClasses(cells) || UsesStatus(cells) ? kClassColCount : kProtocolColCount;
}

QStringList SavedCells(const QStringList& cells)
{
    const bool extra = !cells.value(kColKlasse).isEmpty() || !cells.value(kColStatus).isEmpty();
    QStringList saved = cells.mid(0, extra ? kClassColCount : kProtocolColCount);
    while (saved.size() < kProtocolColCount)
        saved << QString();
    return saved;
}

} // namespace protocol
