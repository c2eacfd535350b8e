// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/ExportText.h"

#include "gridstore/CellStore.h"
#include "gridstore/GridCommaText.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "protocol/ResultGroups.h"

#include <algorithm>
#include <numeric>

namespace protocol {

WordExportText BuildWordExportText(const TCellStore& cells, const QList<int>& colWidths)
{
    const auto visible = [&colWidths](int col) { return col >= colWidths.size() || colWidths[col] >= 0; };

    WordExportText result;
    for (int c = 0; c < cells.ColCount(); ++c) {
        if (visible(c))
            ++result.columns;
    }
    for (int r = 0; r < cells.RowCount(); ++r) {
        for (int c = 0; c < cells.ColCount(); ++c) {
            if (!visible(c))
                continue;
            result.text += WithoutCellBreaks(cells.Cell(c, r));
            result.text += QLatin1Char('\t');
        }
    }
    if (result.text.endsWith(QLatin1Char('\t')))
        result.text.chop(1);
    return result;
}

std::vector<WordExportPart> BuildGroupedWordExport(
    const TCellStore& cells, const QList<int>& colWidths, const QStringList& classOrder)
{
    std::vector<int> cols;
    for (int c = 0; c < cells.ColCount(); ++c) {
        if ((c >= colWidths.size() || colWidths[c] >= 0) && c != kColKlasse)
            cols.push_back(c);
    }
    const auto addRow = [&](WordExportText& text, int r) {
        for (const int c : cols) {
            text.text += WithoutCellBreaks(cells.Cell(c, r));
            text.text += QLatin1Char('\t');
        }
    };
    const bool classes = UsesClasses(cells);
    std::vector<WordExportPart> parts;
    for (const ResultGroup& group : GroupResults(cells, classOrder)) {
        WordExportPart part;
        if (classes)
            part.heading = ClassHeading(group.className);
        part.table.columns = static_cast<int>(cols.size());
        addRow(part.table, 0);
        for (const int r : group.rows)
            addRow(part.table, r);
        part.table.text.chop(1);
        part.rows = 1 + static_cast<int>(group.rows.size());
        parts.push_back(part);
    }
    return parts;
}

QList<double> FitColumns(const QList<double>& natural, int flexible, double available)
{
    constexpr double kMinFlexibleShare = 0.25;
    QList<double> widths = natural;
    if (flexible < 0 || flexible >= widths.size())
        return widths;
    const double total = std::accumulate(natural.begin(), natural.end(), 0.0);
    if (total <= available) {
        widths[flexible] += available - total;
        return widths;
    }
    const double others = total - natural[flexible];
    widths[flexible] = std::max(available * kMinFlexibleShare, available - others);
    const double fitted = others + widths[flexible];
    if (fitted > available) {
        for (double& w : widths)
            w *= available / fitted;
    }
    return widths;
}

int FlexibleColumn(const QStringList& header, const QList<double>& natural)
{
    const int named = static_cast<int>(header.indexOf(QStringLiteral("Name")));
    if (named >= 0 && named < natural.size())
        return named;
    if (natural.isEmpty())
        return -1;
    return static_cast<int>(std::max_element(natural.begin(), natural.end()) - natural.begin());
}

QString ResultsOfDay(const QDate& date)
{
    return QStringLiteral("Ergebnisse vom ") + date.toString(QStringLiteral("dd.MM.yyyy"));
}

} // namespace protocol
