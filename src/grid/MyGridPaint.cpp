// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Drawing of TMyCustomGrid and its view parts.

#include "grid/MyGrids.h"

#include "grid/GridModel.h"
#include "grid/MyGridParts.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

QColor mix(const QColor& a, const QColor& b, double share)
{
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
        static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
        static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

} // namespace

// ---- header -------------------------------------------------------------------------

TGridHeaderView::TGridHeaderView(TMyCustomGrid* grid)
    : QHeaderView(Qt::Horizontal, grid)
    , m_grid(grid)
{
}

void TGridHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    m_grid->PaintCell(*painter, logicalIndex, 0, rect);
}

void TGridHeaderView::paintEvent(QPaintEvent* event)
{
    QHeaderView::paintEvent(event);
    // Beyond the last column the grid shows its window colour, as in the rows.
    const int last = logicalIndexAt(viewport()->width() - 1) < 0 ? length() - offset() : viewport()->width();
    if (last < viewport()->width()) {
        QPainter painter(viewport());
        painter.fillRect(QRect(last, 0, viewport()->width() - last, height()), palette().color(QPalette::Base));
    }
}

QPoint TGridHeaderView::toGrid(const QPoint& p) const
{
    return viewport()->mapTo(m_grid, p);
}

void TGridHeaderView::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = toGrid(event->position().toPoint());
    m_grid->MouseDown(event->button(), event->modifiers(), p.x(), p.y());
    QHeaderView::mousePressEvent(event);
}

void TGridHeaderView::mouseMoveEvent(QMouseEvent* event)
{
    QHeaderView::mouseMoveEvent(event);
    const QPoint p = toGrid(event->position().toPoint());
    m_grid->MouseMove(event->buttons(), event->modifiers(), p.x(), p.y());
}

void TGridHeaderView::mouseReleaseEvent(QMouseEvent* event)
{
    QHeaderView::mouseReleaseEvent(event);
    const QPoint p = toGrid(event->position().toPoint());
    m_grid->MouseUp(event->button(), event->modifiers(), p.x(), p.y());
}

void TGridHeaderView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QHeaderView::mouseDoubleClickEvent(event);
    const QPoint p = toGrid(event->position().toPoint());
    m_grid->DblClick(event->button(), event->modifiers(), p.x(), p.y());
}

// ---- delegate ------------------------------------------------------------------------

TGridDelegate::TGridDelegate(TMyCustomGrid* grid)
    : QStyledItemDelegate(grid)
    , m_grid(grid)
{
}

void TGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    m_grid->PaintCell(*painter, index.column(), index.row() + 1, option.rect);
}

QWidget* TGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    auto* editor = new TInplaceEdit(parent);
    editor->setFont(m_grid->font());
    editor->setAlignment(m_grid->EditorAlignment(index.column(), index.row() + 1));
    m_grid->m_editor = editor;
    return editor;
}

bool TGridDelegate::eventFilter(QObject* object, QEvent* event)
{
    // The grid sees the editor's keys before the delegate turns Enter and Tab
    // into a commit.
    if (event->type() == QEvent::KeyPress && object == m_grid->m_editor
        && m_grid->EditorKeyPress(static_cast<QKeyEvent*>(event)))
        return true;
    return QStyledItemDelegate::eventFilter(object, event);
}

void TGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const
{
    editor->setGeometry(option.rect.adjusted(0, 0, -1, -1)); // leave the grid lines visible
}

// ---- cells ------------------------------------------------------------------------------

TGridDrawState TMyCustomGrid::DrawStateOf(int col, int row) const
{
    if (row == 0)
        return gdFixed;
    TGridDrawState state;
    const TGridRect sel = Selection();
    if (col >= sel.Left && col <= sel.Right && row >= sel.Top && row <= sel.Bottom)
        state |= gdSelected;
    if (hasFocus() && col == m_curCol && row == m_curRow)
        state |= gdFocused;
    return state;
}

void TMyCustomGrid::PrepareCanvas(QPainter& Canvas, int, int, TGridDrawState AState)
{
    const QPalette& pal = palette();
    QColor back, text;
    if (AState & gdFixed) {
        back = pal.color(QPalette::Button);
        text = pal.color(QPalette::ButtonText);
    } else if ((AState & gdSelected) && (!(AState & gdFocused) || (m_options & (goDrawFocusSelected | goRowSelect)))) {
        back = pal.color(QPalette::Highlight);
        text = pal.color(QPalette::HighlightedText);
    } else {
        back = pal.color(QPalette::Base);
        text = pal.color(QPalette::Text);
    }
    Canvas.setBrush(back);
    Canvas.setPen(text);
    Canvas.setFont(font());
}

void TMyCustomGrid::DrawCell(QPainter& Canvas, int ACol, int ARow, const QRect& ARect, TGridDrawState AState)
{
    Canvas.fillRect(ARect, Canvas.brush());
    Canvas.drawText(
        ARect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, m_store.Cell(ACol, ARow));
    if (OnDrawCell)
        OnDrawCell(this, Canvas, ACol, ARow, ARect, AState);
}

void TMyCustomGrid::PaintCell(QPainter& painter, int col, int row, const QRect& cellRect)
{
    painter.save();
    painter.setClipRect(cellRect);
    const TGridDrawState state = DrawStateOf(col, row);
    PrepareCanvas(painter, col, row, state);
    DrawCell(painter, col, row, cellRect.adjusted(0, 0, -1, -1), state);

    const bool fixed = row == 0;
    const QPalette& pal = palette();
    painter.setPen(fixed ? mix(pal.color(QPalette::Button), pal.color(QPalette::ButtonText), 0.35)
                         : mix(pal.color(QPalette::Base), pal.color(QPalette::Text), 0.16));
    if (m_options & (fixed ? goFixedVertLine : goVertLine))
        painter.drawLine(cellRect.right(), cellRect.top(), cellRect.right(), cellRect.bottom());
    if (m_options & (fixed ? goFixedHorzLine : goHorzLine))
        painter.drawLine(cellRect.left(), cellRect.bottom(), cellRect.right(), cellRect.bottom());
    painter.restore();
}

void TMyCustomGrid::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (!hasFocus() || EditorMode() || RowCount() < 2)
        return;
    // The focus frame: around the current cell, or the whole row with row select.
    QRect frame = visualRect(m_model->index(m_curRow - 1, m_curCol));
    if (m_options & goRowSelect) {
        const int first = NextVisibleCol(-1, 1);
        const int last = NextVisibleCol(ColCount(), -1);
        frame = visualRect(m_model->index(m_curRow - 1, first)).united(visualRect(m_model->index(m_curRow - 1, last)));
    }
    if (!frame.isValid())
        return;
    QPainter painter(viewport());
    QPen pen(palette().color(QPalette::Text));
    if (DrawStateOf(m_curCol, m_curRow) & gdSelected)
        pen.setColor(palette().color(QPalette::HighlightedText));
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.drawRect(frame.adjusted(0, 0, -2, -2));
}
