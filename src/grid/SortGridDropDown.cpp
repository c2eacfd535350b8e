// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The drop-down list of combo-box cells of TSortGrid.

#include "grid/SortGrid.h"

#include "grid/SortGridInteractionRules.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>

#include <algorithm>

void TSortGrid::SetUpDropDown()
{
    m_dropDown = new QListWidget(this);
    m_dropDown->setSortingEnabled(true);
    m_dropDown->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    m_dropDown->hide();
    m_dropDown->installEventFilter(this);
    m_dropDown->viewport()->installEventFilter(this);
}

bool TSortGrid::ShowDropDown(int Col, int Row)
{
    if (!OnGetComboBox || Col < 0 || Col >= ColCount() || Row < 1 || Row >= RowCount())
        return false;
    QStringList items;
    int width = 0;
    int height = 0;
    bool sorted = true;
    OnGetComboBox(this, Col, Row, items, width, height, sorted);
    if (items.isEmpty() || !m_dropDown)
        return false;

    QListWidget& list = *m_dropDown;
    list.setFont(font());
    list.setSortingEnabled(false);
    list.clear();
    list.addItems(items);
    if (sorted)
        list.sortItems();
    list.setSortingEnabled(sorted);
    const QList<QListWidgetItem*> found = list.findItems(Cells(Col, Row), Qt::MatchExactly);
    const int index = found.isEmpty() ? 0 : list.row(found.front());

    // While shown the list belongs to the window, so it is not cut off at
    // the grid's edges.
    QWidget* form = window();
    if (list.parentWidget() != form)
        list.setParent(form);
    const QRect cell = CellRect(Col, Row);
    const QRect inForm(form == this ? cell.topLeft() : mapTo(form, cell.topLeft()), cell.size());
    const int itemHeight = std::max(1, list.sizeHintForRow(0));
    list.setGeometry(DropDownGeometry(inForm, ColWidths(Col), width, height, list.count(), itemHeight));
    m_dropDownCol = Col;
    m_dropDownRow = Row;
    list.setCurrentRow(index);
    list.show();
    list.raise();
    list.setFocus(Qt::OtherFocusReason);
    return true;
}

void TSortGrid::HideDropDown()
{
    if (!m_dropDown || (m_dropDown->isHidden() && m_dropDown->parent() == this))
        return;
    m_dropDown->hide();
    if (m_dropDown->parent() != this)
        m_dropDown->setParent(this);
}

void TSortGrid::AcceptDropDown()
{
    if (!m_dropDown || !m_dropDown->isVisible())
        return;
    // The list remembers its cell: finding it again from the list's place
    // would land on another cell once the grid has scrolled.
    const int col = m_dropDownCol;
    const int row = m_dropDownRow;
    const QListWidgetItem* item = m_dropDown->currentItem();
    const QString text = item ? item->text() : QString();
    HideDropDown();
    if (!item || col < 0 || col >= ColCount() || row < 1 || row >= RowCount())
        return;
    SetCells(col, row, text);
    InvalidateCol(col);
    setFocus(Qt::OtherFocusReason);
    if (OnSetComboBox)
        OnSetComboBox(this, col, row, text);
}

bool TSortGrid::eventFilter(QObject* object, QEvent* event)
{
    if (!m_dropDown || (object != m_dropDown && object != m_dropDown->viewport()))
        return TMyStringGrid::eventFilter(object, event);
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        if (object == m_dropDown->viewport() && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            AcceptDropDown();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            // Leaving without a choice keeps the cell as it was.
            HideDropDown();
            setFocus(Qt::OtherFocusReason);
            return true;
        }
        break;
    case QEvent::KeyRelease: {
        // Used up here: passed on, the release would reach the grid (the
        // list's parent again) and open the list anew.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            AcceptDropDown();
            return true;
        }
        break;
    }
    case QEvent::FocusOut:
        AcceptDropDown();
        break;
    default:
        break;
    }
    return false;
}
