// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The view parts of TMyCustomGrid: the header that shows row 0 and the
// delegate that draws the data cells and creates the in-place editor. Both
// hand their work to the grid.

#include <QHeaderView>
#include <QStyledItemDelegate>

class TMyCustomGrid;

class TGridHeaderView final : public QHeaderView {
    Q_OBJECT

public:
    explicit TGridHeaderView(TMyCustomGrid* grid);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPoint toGrid(const QPoint& p) const;
    TMyCustomGrid* m_grid;
};

class TGridDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit TGridDelegate(TMyCustomGrid* grid);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void updateEditorGeometry(
        QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    TMyCustomGrid* m_grid;
};
