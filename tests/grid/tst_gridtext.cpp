// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/GridGlyphs.h"
#include "grid/GridText.h"
#include "gridstore/CellStore.h"

#include <QTest>

namespace {

int sevenPerChar(const QString& text)
{
    return static_cast<int>(text.size()) * 7;
}

} // namespace

class TestGridText : public QObject {
    Q_OBJECT

private slots:
    void headerShortening()
    {
        QCOMPARE(ShortenHeaderText(QStringLiteral("Platz"), 35, sevenPerChar), QStringLiteral("Platz"));
        QCOMPARE(ShortenHeaderText(QStringLiteral("Platzierung"), 40, sevenPerChar), QStringLiteral("Pla.."));
        QCOMPARE(ShortenHeaderText(QStringLiteral("Platzierung"), 76, sevenPerChar), QStringLiteral("Platzier.."));
        // Never below three characters, always ending in "..".
        QCOMPARE(ShortenHeaderText(QStringLiteral("Platzierung"), 1, sevenPerChar), QStringLiteral("P.."));
        QCOMPARE(ShortenHeaderText(QStringLiteral("Abc"), 5, sevenPerChar), QStringLiteral("A.."));
        // Two characters that do not fit become "..", as any longer text ends;
        // a single character has nothing to give up.
        QCOMPARE(ShortenHeaderText(QStringLiteral("Nr"), 5, sevenPerChar), QStringLiteral(".."));
        QCOMPARE(ShortenHeaderText(QStringLiteral("Nr"), 14, sevenPerChar), QStringLiteral("Nr"));
        QCOMPARE(ShortenHeaderText(QStringLiteral("N"), 1, sevenPerChar), QStringLiteral("N"));
    }

    void textPlacement()
    {
        QCOMPARE(TextOffset(50, 20, 30, 14, taLeftJustify, taTopJustify), QPoint(2, 2));
        QCOMPARE(TextOffset(50, 20, 30, 14, taRightJustify, taBottomJustify), QPoint(18, 3));
        QCOMPARE(TextOffset(51, 20, 30, 15, taCenter, taMiddle), QPoint(10, 2));
        QCOMPARE(TextOffset(10, 20, 15, 14, taCenter, taTopJustify), QPoint(-2, 2)); // toward zero
    }

    void sortHeaderText_movesRightOfTheArrowButStaysInTheCell()
    {
        QCOMPARE(SortHeaderTextX(2, 90, 36), 12); // left aligned
        QCOMPARE(SortHeaderTextX(27, 90, 36), 37); // centred
        QCOMPARE(SortHeaderTextX(52, 90, 36), 52); // right aligned: already clear of the arrow
        QCOMPARE(SortHeaderTextX(45, 90, 36), 52);
    }

    void checkedTexts()
    {
        for (const char* text : { "true", "1", "V" })
            QVERIFY(IsCheckedText(QLatin1String(text)));
        for (const char* text : { "", "0", "v", "True", "X" })
            QVERIFY(!IsCheckedText(QLatin1String(text)));
    }

    void proportionalPageSize()
    {
        QCOMPARE(ProportionalPageSize(10, 100, 89), 9);
        QCOMPARE(ProportionalPageSize(0, 100, 10), 1);
        QCOMPARE(ProportionalPageSize(5, 0, 10), 1);
    }

    void glyphs_haveTheirSizesAndShapes()
    {
        const QImage up = GridGlyph(QStringLiteral("UP"));
        const QImage down = GridGlyph(QStringLiteral("DOWN"));
        QCOMPARE(up.size(), QSize(8, 7));
        QCOMPARE(down.size(), QSize(8, 7));
        // The up arrow is narrow at the top and wide at the bottom.
        QCOMPARE(up.pixel(3, 1), GridArrowColor());
        QCOMPARE(qAlpha(up.pixel(0, 1)), 0);
        QCOMPARE(up.pixel(0, 4), GridArrowColor());
        QCOMPARE(down.pixel(0, 2), GridArrowColor());
        QCOMPARE(qAlpha(down.pixel(0, 5)), 0);
        for (const char* name : { "CHECKED", "UNCHECKED", "COMBOBOX", "ELLIPSIS" })
            QCOMPARE(GridGlyph(QLatin1String(name)).size(), QSize(16, 16));
        QVERIFY(GridGlyph(QStringLiteral("CHECKED")) != GridGlyph(QStringLiteral("UNCHECKED")));
        QVERIFY(GridGlyph(QStringLiteral("NONE")).isNull());
    }

    void cellStore_insertAndDeleteShiftParkedRows()
    {
        TCellStore store(2, 3);
        for (int r = 0; r < 6; ++r)
            store.SetCell(0, r, QString::number(r));
        store.DeleteRow(1);
        QCOMPARE(store.Cell(0, 1), QStringLiteral("2"));
        QCOMPARE(store.Cell(0, 4), QStringLiteral("5")); // parked rows moved up too
        store.InsertRow(2);
        QCOMPARE(store.Cell(0, 2), QString());
        QCOMPARE(store.Cell(0, 3), QStringLiteral("3"));
        QCOMPARE(store.Cell(0, 5), QStringLiteral("5"));
    }

    void cellStore_insertAndDeleteColumns()
    {
        TCellStore store(3, 2);
        store.SetRow(1, { "a", "b", "c" });
        store.SetCell(3, 1, QStringLiteral("beyond"));
        store.InsertCol(1);
        store.SetColCount(4);
        QCOMPARE(store.Row(1), (QStringList { "a", "", "b", "c" }));
        QCOMPARE(store.Cell(4, 1), QStringLiteral("beyond"));
        store.DeleteCol(0);
        QCOMPARE(store.Cell(0, 1), QString());
        QCOMPARE(store.Cell(3, 1), QStringLiteral("beyond"));
    }

    void cellStore_permuteRowsMovesWholeRows()
    {
        TCellStore store(2, 4);
        for (int r = 1; r < 4; ++r)
            store.SetRow(r, { QString::number(r), QStringLiteral("x%1").arg(r) });
        store.SetCell(2, 3, QStringLiteral("extra"));
        store.PermuteRows(1, { 3, 1, 2 });
        QCOMPARE(store.Col(0), (QStringList { "", "3", "1", "2" }));
        QCOMPARE(store.Cell(2, 1), QStringLiteral("extra"));
    }
};

QTEST_GUILESS_MAIN(TestGridText)
#include "tst_gridtext.moc"
