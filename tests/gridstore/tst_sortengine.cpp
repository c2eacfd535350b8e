// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/SortEngine.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

namespace {

// A store with a header and one data row per list.
TCellStore makeStore(const QList<QStringList>& rows)
{
    TCellStore store(4, static_cast<int>(rows.size()) + 1);
    store.SetRow(0, { "Nr.", "Name", "A", "B" });
    for (int r = 0; r < rows.size(); ++r)
        store.SetRow(r + 1, rows[r]);
    return store;
}

QStringList column(const TCellStore& store, const std::vector<int>& order, int col)
{
    QStringList out;
    for (int row : order)
        out << store.Cell(col, row);
    return out;
}

const TSortConversions kGerman(QLocale(QLocale::German, QLocale::Germany));

} // namespace

class TestSortEngine : public QObject {
    Q_OBJECT

private slots:
    void keyColumns_primaryFirstAndOnlyOnce()
    {
        QCOMPARE(SortKeyColumns(1, QStringLiteral("2,3")), (std::vector<int> { 1, 2, 3 }));
        QCOMPARE(SortKeyColumns(1, QStringLiteral("3,1,2")), (std::vector<int> { 1, 3, 2 }));
        QCOMPARE(SortKeyColumns(0, QStringLiteral("2, x ,,3")), (std::vector<int> { 0, 2, 3 }));
        QCOMPARE(SortKeyColumns(2, QString()), (std::vector<int> { 2 }));
    }

    void numericSort_bothDirections()
    {
        const TCellStore store = makeStore({ { "10,5" }, { "9" }, { "-1" }, { "100" } });
        TSortOptions options;
        options.SortStyle = ssNumeric;
        QCOMPARE(column(store, SortDataRows(store, { 0 }, options, {}, kGerman), 0),
            (QStringList { "-1", "9", "10,5", "100" }));
        options.SortDirection = sdDescending;
        QCOMPARE(column(store, SortDataRows(store, { 0 }, options, {}, kGerman), 0),
            (QStringList { "100", "10,5", "9", "-1" }));
    }

    void equalKeys_keepTheirOrderInBothDirections()
    {
        const TCellStore store = makeStore({ { "2", "a" }, { "1", "b" }, { "2", "c" }, { "1", "d" }, { "2", "e" } });
        TSortOptions options;
        QCOMPARE(column(store, SortDataRows(store, { 0 }, options, {}, kGerman), 1),
            (QStringList { "b", "d", "a", "c", "e" }));
        options.SortDirection = sdDescending;
        QCOMPARE(column(store, SortDataRows(store, { 0 }, options, {}, kGerman), 1),
            (QStringList { "a", "c", "e", "b", "d" }));
    }

    void sortingASortedStore_changesNothing()
    {
        TCellStore store = makeStore({ { "3" }, { "1" }, { "2" }, { "1" } });
        TSortOptions options;
        store.PermuteRows(1, SortDataRows(store, { 0 }, options, {}, kGerman));
        const std::vector<int> again = SortDataRows(store, { 0 }, options, {}, kGerman);
        QCOMPARE(again, (std::vector<int> { 1, 2, 3, 4 }));
    }

    void secondaryIndex_ordersByFurtherColumns()
    {
        const TCellStore store = makeStore({ { "1", "B", "2", "y" }, { "2", "A", "1", "x" }, { "3", "B", "1", "z" },
            { "4", "A", "1", "w" }, { "5", "B", "1", "a" } });
        TSortOptions options;
        options.SecondaryIndex = QStringLiteral("2,3");
        const std::vector<int> order
            = SortDataRows(store, SortKeyColumns(1, options.SecondaryIndex), options, {}, kGerman);
        QCOMPARE(column(store, order, 0), (QStringList { "4", "2", "5", "3", "1" }));
    }

    void styleHandler_calledPerPassWithThePreviousStyle()
    {
        const TCellStore store = makeStore({ { "1", "b", "x" }, { "2", "a", "y" } });
        TSortOptions options;
        QList<int> cols;
        QList<int> seen;
        const TGetSortStyleProc handler = [&](int col, TSortStyle& style) {
            cols << col;
            seen << int(style);
            style = col == 2 ? ssNumeric : ssNormal;
        };
        SortDataRows(store, SortKeyColumns(1, QStringLiteral("2,1")), options, handler, kGerman);
        QCOMPARE(cols, (QList<int> { 2, 1 }));
        QCOMPARE(seen, (QList<int> { int(ssAutomatic), int(ssNumeric) }));
        QCOMPARE(options.SortStyle, ssNormal);
    }

    void automaticStyle_detectedAndKept()
    {
        const TCellStore store = makeStore({ { "10" }, { "9" }, { "100" } });
        TSortOptions options;
        options.SortStyle = ssAutomatic;
        QCOMPARE(
            column(store, SortDataRows(store, { 0 }, options, {}, kGerman), 0), (QStringList { "9", "10", "100" }));
        QCOMPARE(options.SortStyle, ssNumeric);
    }

    void handlerAnsweringAutomatic_comparesAsText()
    {
        const TCellStore store = makeStore({ { "10" }, { "9" }, { "100" } });
        TSortOptions options;
        const TGetSortStyleProc handler = [](int, TSortStyle& style) { style = ssAutomatic; };
        QCOMPARE(column(store, SortDataRows(store, { 0 }, options, handler, kGerman), 0),
            (QStringList { "10", "100", "9" }));
        QCOMPARE(options.SortStyle, ssAutomatic);
    }

    void caseFolding_asciiOnly()
    {
        const TCellStore store = makeStore({ { "Zebra" }, { "apple" }, { "äpfel" }, { "Äpfel" } });
        TSortOptions options;
        QCOMPARE(column(store, SortDataRows(store, { 0 }, options, {}, kGerman), 0),
            (QStringList { "apple", "Zebra", "Äpfel", "äpfel" }));
        options.SortCaseSensitive = true;
        QCOMPARE(column(store, SortDataRows(store, { 0 }, options, {}, kGerman), 0),
            (QStringList { "Zebra", "apple", "Äpfel", "äpfel" }));
    }

    void customComparison_seesFoldedTexts_andFaultyOnesStillGiveAPermutation()
    {
        const TCellStore store = makeStore({ { "B" }, { "a" }, { "C" } });
        TSortOptions options;
        options.SortStyle = ssCustom;
        QStringList seen;
        options.SortCompare = [&](const QString& a, const QString& b) {
            seen << a << b;
            return CompareNormal(a, b);
        };
        QCOMPARE(column(store, SortDataRows(store, { 0 }, options, {}, kGerman), 0), (QStringList { "a", "B", "C" }));
        QVERIFY(!seen.contains(QStringLiteral("B")));

        QList<QStringList> rows;
        for (int i = 0; i < 300; ++i)
            rows << QStringList { QString::number(i) };
        const TCellStore big = makeStore(rows);
        options.SortCompare = [](const QString&, const QString&) {
            return QRandomGenerator::global()->bounded(3) - 1; // answers at random
        };
        std::vector<int> order = SortDataRows(big, { 0 }, options, {}, kGerman);
        std::sort(order.begin(), order.end());
        for (int i = 0; i < 300; ++i)
            QCOMPARE(order[static_cast<size_t>(i)], i + 1);
    }

    void customWithoutFunction_sortsAsText()
    {
        const TCellStore store = makeStore({ { "b" }, { "a" } });
        TSortOptions options;
        options.SortStyle = ssCustom;
        QCOMPARE(column(store, SortDataRows(store, { 0 }, options, {}, kGerman), 0), (QStringList { "a", "b" }));
    }

    void sortColAfterMove()
    {
        QCOMPARE(SortColAfterMove(3, 3, 0), 0); // the sort column itself
        QCOMPARE(SortColAfterMove(3, 5, 1), 4); // from the right to its left
        QCOMPARE(SortColAfterMove(3, 5, 3), 4); // onto it
        QCOMPARE(SortColAfterMove(3, 1, 5), 2); // from the left to its right
        QCOMPARE(SortColAfterMove(3, 0, 1), 3); // elsewhere
    }
};

QTEST_GUILESS_MAIN(TestSortEngine)
#include "tst_sortengine.moc"
