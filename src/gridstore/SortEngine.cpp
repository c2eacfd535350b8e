// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/SortEngine.h"

#include "gridstore/GridCommaText.h"

#include <algorithm>

namespace {

struct Entry {
    QString text;
    double value = 0;
    bool converted = false;
};

// A merge sort on indexes that stays inside its arrays whatever the
// comparison answers, so a faulty custom comparison cannot break a sort.
template <typename Less> void mergeSort(std::vector<int>& items, Less less)
{
    const size_t n = items.size();
    std::vector<int> buffer(n);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = std::min(lo + width, n);
            const size_t hi = std::min(lo + 2 * width, n);
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                buffer[k++] = less(items[j], items[i]) ? items[j++] : items[i++];
            while (i < mid)
                buffer[k++] = items[i++];
            while (j < hi)
                buffer[k++] = items[j++];
        }
        items.swap(buffer);
    }
}

TSortStyle effectiveStyle(const TSortOptions& options)
{
    if (options.SortStyle == ssAutomatic)
        return ssNormal;
    if (options.SortStyle == ssCustom && !options.SortCompare)
        return ssNormal;
    return options.SortStyle;
}

void convert(std::vector<Entry>& entries, TSortStyle style, const TSortConversions& conversions)
{
    for (Entry& e : entries) {
        switch (style) {
        case ssNumeric:
            e.converted = conversions.ToNumber(e.text, e.value);
            break;
        case ssDateTime:
            e.converted = conversions.ToDateTime(e.text, e.value);
            break;
        case ssTime:
            e.converted = conversions.ToTime(e.text, e.value);
            break;
        default:
            break;
        }
    }
}

int compareEntries(const Entry& a, const Entry& b, TSortStyle style, const TSortOptions& options)
{
    switch (style) {
    case ssNumeric:
    case ssDateTime:
    case ssTime:
        if (a.converted && b.converted)
            return a.value < b.value ? -1 : (b.value < a.value ? 1 : 0);
        return CompareNormal(a.text, b.text);
    case ssNumericExtended:
        return CompareNumericExtended(a.text, b.text);
    case ssCustom: {
        const int r = options.SortCompare(a.text, b.text);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    default:
        return CompareNormal(a.text, b.text);
    }
}

} // namespace

std::vector<int> SortKeyColumns(int primary, const QString& secondaryIndex)
{
    std::vector<int> keys { primary };
    for (const QString& item : SplitCommaText(secondaryIndex)) {
        bool ok = false;
        const int col = item.trimmed().toInt(&ok);
        if (ok && col != primary)
            keys.push_back(col);
    }
    return keys;
}

std::vector<int> SortDataRows(const TCellStore& store, const std::vector<int>& keys, TSortOptions& options,
    const TGetSortStyleProc& getSortStyle, const TSortConversions& conversions)
{
    const int dataRows = std::max(0, store.RowCount() - 1);
    // order[i]: the stored row that holds the i-th data row of the working order.
    std::vector<int> order(static_cast<size_t>(dataRows));
    for (int i = 0; i < dataRows; ++i)
        order[static_cast<size_t>(i)] = i + 1;

    std::vector<Entry> entries(static_cast<size_t>(dataRows));
    std::vector<int> sorted(static_cast<size_t>(dataRows));
    TSortStyle handlerStyle = ssAutomatic;
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        const int col = *key;
        for (int i = 0; i < dataRows; ++i) {
            const QString text = store.Cell(col, order[static_cast<size_t>(i)]);
            entries[static_cast<size_t>(i)] = Entry { options.SortCaseSensitive ? text : FoldAscii(text) };
        }
        if (getSortStyle) {
            getSortStyle(col, handlerStyle);
            options.SortStyle = handlerStyle;
        } else if (options.SortStyle == ssAutomatic) {
            QStringList texts;
            texts.reserve(dataRows);
            for (const Entry& e : entries)
                texts << e.text;
            options.SortStyle = DetectSortStyle(texts, conversions);
        }
        const TSortStyle style = effectiveStyle(options);
        convert(entries, style, conversions);

        for (int i = 0; i < dataRows; ++i)
            sorted[static_cast<size_t>(i)] = i;
        const bool descending = options.SortDirection == sdDescending;
        mergeSort(sorted, [&](int a, int b) {
            int r = compareEntries(entries[static_cast<size_t>(a)], entries[static_cast<size_t>(b)], style, options);
            if (r == 0)
                return a < b; // the tie-break ignores the direction
            return descending ? r > 0 : r < 0;
        });
        std::vector<int> next(static_cast<size_t>(dataRows));
        for (int n = 0; n < dataRows; ++n)
            next[static_cast<size_t>(n)] = order[static_cast<size_t>(sorted[static_cast<size_t>(n)])];
        order.swap(next);
    }
    return order;
}

int SortTableForDisplay(TCellTable& table, TSortOptions& options, const TGetSortStyleProc& getSortStyle, int follow)
{
    if (!options.CanSort)
        return follow;
    const std::vector<int> order = SortDataRows(table.TableStore(),
        SortKeyColumns(options.SortCol, options.SecondaryIndex), options, getSortStyle, TSortConversions());
    options.SortCompare = nullptr; // a custom comparison lasts one sort
    table.PermuteTableRows(order);
    const auto moved = std::find(order.begin(), order.end(), follow);
    return moved == order.end() ? follow : static_cast<int>(moved - order.begin()) + 1;
}

int SortColAfterMove(int sortCol, int from, int to)
{
    if (from == sortCol)
        return to;
    if (from > sortCol && to <= sortCol)
        return sortCol + 1;
    if (from < sortCol && to >= sortCol)
        return sortCol - 1;
    return sortCol;
}
