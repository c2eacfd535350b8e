// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/StartListColumns.h"

#include "protocol/Columns.h"

#include <algorithm>

namespace protocol {

namespace {

QString normalised(const QString& name)
{
    QString s = name.trimmed().toLower();
    while (s.endsWith(QLatin1Char('.')) || s.endsWith(QLatin1Char(':')))
        s.chop(1);
    return s.trimmed();
}

} // namespace

int ColumnNamed(const QString& name)
{
    static const struct {
        const char* name;
        int col;
    } kNames[] = {
        { "nr", kColNr },
        { "startnr", kColNr },
        { "start-nr", kColNr },
        { "stnr", kColNr },
        { "startnummer", kColNr },
        { "nummer", kColNr },
        { "no", kColNr },
        { "bib", kColNr },
        { "name", kColName },
        { "teilnehmer", kColName },
        { "start", kColStart },
        { "startzeit", kColStart },
        { "zeit", kColZeit },
        { "laufzeit", kColZeit },
        { "time", kColZeit },
        { "split", kColSplit },
        { "platz", kColPlatz },
        { "rang", kColPlatz },
        { "place", kColPlatz },
        { "*", kColRaw },
        { "klasse", kColKlasse },
        { "kategorie", kColKlasse },
        { "class", kColKlasse },
        { "category", kColKlasse },
        { "altersklasse", kColKlasse },
        { "status", kColStatus },
        // The first run of a race of two, as the program saves it.
        { "lauf 1", kColLauf1 },
        { "platz 1", kColLauf1Platz },
        { "status 1", kColLauf1Status },
    };
    const QString s = normalised(name);
    for (const auto& n : kNames)
        if (s == QLatin1String(n.name))
            return n.col;
    return -1;
}

std::optional<StartListColumns> StartListColumns::FromHeader(const QStringList& names)
{
    StartListColumns mapping;
    std::vector<bool> named(kRunsSavedColCount, false);
    int count = 0;
    for (const QString& name : names) {
        int col = ColumnNamed(name);
        if (col >= 0 && named[static_cast<size_t>(col)])
            col = -1;
        if (col >= 0) {
            named[static_cast<size_t>(col)] = true;
            ++count;
            mapping.m_cellCount = std::max(mapping.m_cellCount, col + 1);
        }
        mapping.m_columns.push_back(col);
    }
    if (count < 2 || !(named[kColNr] || named[kColName]))
        return std::nullopt;
    mapping.m_cellCount = std::max(mapping.m_cellCount, kProtocolColCount);
    return mapping;
}

int StartListColumns::ColumnOf(int field) const
{
    return field >= 0 && field < static_cast<int>(m_columns.size()) ? m_columns[static_cast<size_t>(field)] : -1;
}

} // namespace protocol
