// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/GridGlyphs.h"
#include "grid/SortGrid.h"

#include <QDir>
#include <QHeaderView>
#include <QTest>

namespace {

// The results table as the main window shows it during a race.
void setUp(TSortGrid& grid)
{
    QFont font(QStringLiteral("Liberation Mono"));
    font.setPixelSize(15);
    grid.setFont(font);
    grid.SetColCount(7);
    grid.SetDefaultColWidth(46);
    grid.SetDefaultRowHeight(20);
    grid.SetAlignmentHorz(taRightJustify);
    grid.SetOptions(
        goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goDrawFocusSelected | goColSizing | goRowSelect);
    grid.SetScrollBars(ssVertical);
    grid.SetRows(0, { "Nr.", "Name", "Start", "Zeit", "Zwischenzeit", "Platz", "*" });
    const QList<QStringList> rows { { "1", "Anna Berg", "10:02.15,30", "1.05,12", "0,00", "2", "65120" },
        { "2", "Carl Zoller", "10:02.45,10", "58,74", "29,80", "1", "58740" },
        { "3", "Max Müller", "10:03.01,55", "", "46,25", "-", "1200" }, { "4", "Eva Roth", "", "", "", "-", "" } };
    grid.SetRowCount(static_cast<int>(rows.size()) + 1);
    for (int r = 0; r < rows.size(); ++r)
        grid.SetRows(r + 1, rows[r]);
    grid.OnGetCellFormat = [](QObject*, int col, int row, TGridDrawState, TFormatOptions& format, bool&, bool&, bool&) {
        if (row == 0)
            format.AlignmentHorz = taCenter;
        else if (col == 1)
            format.AlignmentHorz = taLeftJustify;
    };
    grid.resize(560, 140);
    const int widths[] = { 52, 0, 102, 90, 72, 52, -1 };
    for (int c = 0; c < 7; ++c)
        if (c != 1)
            grid.SetColWidths(c, widths[c]);
    grid.SortOptions().SortCol = 3;
    grid.SortOptions().CanSort = true;
}

void layoutNameColumn(TSortGrid& grid)
{
    int others = 0;
    for (int c : { 0, 2, 3, 4, 5 })
        others += grid.ColWidths(c);
    grid.SetColWidths(1, grid.ClientWidth() - others - 7);
}

// True when some pixel of the rectangle has the colour.
bool contains(const QImage& image, const QRect& rect, QRgb color)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.pixel(x, y) == color)
                return true;
    return false;
}

bool uniform(const QImage& image, const QRect& rect, QRgb color)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.pixel(x, y) != color)
                return false;
    return true;
}

} // namespace

class TestSortGridScreenshot : public QObject {
    Q_OBJECT

private slots:
    void resultsTable_looksTidy()
    {
        TSortGrid grid;
        setUp(grid);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        layoutNameColumn(grid);
        grid.SetRow(2);
        const QImage image = grid.grab().toImage();

        const QByteArray dir = qgetenv("RENNZEIT_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(image.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("sortgrid.png"))));

        // The ascending arrow sits in the sort column's header cell: narrow
        // at the top, wide at the bottom.
        const QRect header = grid.CellRect(3, 0);
        const QPoint arrow(header.left() + 3, header.top() + grid.RowHeights(0) / 2 - 4);
        const QRgb ink = GridArrowColor();
        QCOMPARE(image.pixel(arrow + QPoint(3, 1)), ink);
        QVERIFY(image.pixel(arrow + QPoint(0, 1)) != ink);
        QCOMPARE(image.pixel(arrow + QPoint(0, 4)), ink);
        QCOMPARE(image.pixel(arrow + QPoint(7, 4)), ink);
        // No arrow in the other header cells.
        const QRect other = grid.CellRect(2, 0);
        QVERIFY(image.pixel(other.left() + 3, arrow.y() + 4) != ink);

        // The current row is highlighted across the visible columns.
        const QColor highlight = grid.palette().color(QPalette::Highlight);
        const QRect current = grid.CellRect(5, 2);
        QCOMPARE(QColor(image.pixel(current.left() + 1, current.bottom() - 2)), highlight);
        const QRect other_row = grid.CellRect(5, 3);
        QVERIFY(QColor(image.pixel(other_row.left() + 1, other_row.bottom() - 2)) != highlight);

        // Descending flips the arrow.
        grid.SortOptions().SortDirection = sdDescending;
        const QImage flipped = grid.grab().toImage();
        QVERIFY(flipped.pixel(arrow + QPoint(0, 1)) != ink);
        QCOMPARE(flipped.pixel(arrow + QPoint(0, 2)), ink);
        QCOMPARE(flipped.pixel(arrow + QPoint(3, 5)), ink);

        // Without sorting there is no arrow at all.
        grid.SortOptions().CanSort = false;
        const QImage plain = grid.grab().toImage();
        QVERIFY(plain.pixel(arrow + QPoint(0, 4)) != ink);
        QVERIFY(plain.pixel(arrow + QPoint(3, 1)) != ink);
    }

    void cellKindsAndSettings_areDrawn()
    {
        TSortGrid grid;
        setUp(grid);
        grid.OnGetCellFormat = [](QObject*, int col, int row, TGridDrawState, TFormatOptions&, bool& checkBox,
                                   bool& combobox, bool& ellipsis) {
            if (row == 0)
                return;
            checkBox = col == 5;
            combobox = col == 2;
            ellipsis = col == 4;
        };
        grid.SetRows(1, { "1", "Anna Berg", "10:02.15,30", "1.05,12", "0,00", "", "65120" });
        grid.SetCells(5, 2, QStringLiteral("V"));
        grid.ColFonts()[3].Active = true;
        grid.ColFonts()[3].BackColor = 0x0000FF; // clRed
        grid.ColFonts()[3].Color = 0xFFFFFF;
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        layoutNameColumn(grid);
        grid.SetRow(2);
        grid.SetCol(2);
        const QImage image = grid.grab().toImage();
        const QByteArray dir = qgetenv("RENNZEIT_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(image.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("sortgrid_kinds.png"))));
        const QRgb mark = 0xFF202020;

        // Check boxes: centred, checked only where the text says so.
        auto boxAt = [&](int row) {
            const QRect cell = grid.CellRect(5, row);
            return QPoint(cell.left() + (cell.width() - 1 - 16) / 2, cell.top() + grid.RowHeights(row) / 2 - 8);
        };
        QCOMPARE(image.pixel(boxAt(1) + QPoint(2, 2)), QRgb(0xFF707070));
        QVERIFY(!contains(image, QRect(boxAt(1) + QPoint(3, 3), QSize(10, 10)), mark));
        QVERIFY(contains(image, QRect(boxAt(2) + QPoint(3, 3), QSize(10, 10)), mark));

        // The drop-down button in the current cell, the ellipsis button in the
        // current row's other kind cells, nothing in other rows.
        auto buttonStrip = [&](int col, int row) {
            const QRect cell = grid.CellRect(col, row);
            return QRect(cell.left() + cell.width() - 1 - 16, cell.top(), 16, cell.height() - 1);
        };
        QVERIFY(contains(image, buttonStrip(2, 2), mark));
        QVERIFY(contains(image, buttonStrip(4, 2), mark));
        QVERIFY(!contains(image, buttonStrip(2, 3), mark));
        QVERIFY(!contains(image, buttonStrip(4, 3), mark));

        // An active column setting colours the column's cells.
        const QRect zeit = grid.CellRect(3, 3);
        QCOMPARE(QColor(image.pixel(zeit.left() + 1, zeit.bottom() - 2)), QColor(255, 0, 0));

        // Hidden rows are drawn blank.
        grid.SetHideRows(true);
        const QImage blank = grid.grab().toImage();
        const QRect name = grid.CellRect(1, 3).adjusted(1, 1, -2, -2);
        QVERIFY(uniform(blank, name, grid.palette().color(QPalette::Base).rgb()));
        QVERIFY(!uniform(image, name, grid.palette().color(QPalette::Base).rgb()));
    }
};

QTEST_MAIN(TestSortGridScreenshot)
#include "tst_sortgrid_screenshot.moc"
