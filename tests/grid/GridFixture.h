// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "grid/SortGrid.h"

#include <QTest>

// What the grid tests share: a grid that fills and reads whole rows and
// columns, the grid as the main window sets it up, and clicks on cells.
namespace gridtest {

// The log's header, as the main window's table starts.
inline const QStringList kHeader { "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "*" };

class TestGrid : public TSortGrid {
public:
    using TSortGrid::TSortGrid;

    // The rows below the header, replacing what was there; not modified.
    void Fill(const QList<QStringList>& rows)
    {
        SetRowCount(static_cast<int>(rows.size()) + 1);
        for (int r = 0; r < rows.size(); ++r)
            SetRows(r + 1, rows[r]);
        SetModified(false);
    }
    // A column's cells below the header (the first `rows` of them).
    QStringList Column(int col, int rows = -1) const
    {
        QStringList out;
        const int end = rows < 0 ? RowCount() : rows + 1;
        for (int r = 1; r < end; ++r)
            out << Cells(col, r);
        return out;
    }
};

// The grid as the main window sets it up: the log's seven columns.
class ProtocolGrid : public TestGrid {
public:
    explicit ProtocolGrid(QWidget* parent = nullptr)
        : TestGrid(parent)
    {
        SetColCount(static_cast<int>(kHeader.size()));
        SetRows(0, kHeader);
        SetDefaultRowHeight(20);
        SetDefaultColWidth(60);
        resize(600, 300);
    }
};

inline void Show(QWidget& w)
{
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
}

// A cell's centre (or `dx` pixels into it) in the grid's viewport.
inline QPoint CellPoint(TSortGrid& grid, int col, int row, int dx = -1)
{
    const QRect cell = grid.CellRect(col, row);
    const QPoint p = dx < 0 ? cell.center() : QPoint(cell.left() + dx, cell.center().y());
    return grid.viewport()->mapFrom(&grid, p);
}

inline void ClickCell(TSortGrid& grid, int col, int row, Qt::MouseButton button = Qt::LeftButton, int dx = -1)
{
    QTest::mouseClick(grid.viewport(), button, {}, CellPoint(grid, col, row, dx));
}

} // namespace gridtest
