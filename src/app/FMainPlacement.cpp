// Where the main window opens and what of its place is kept for the next start.
#include "app/FMain.h"

#include "app/WindowPlacement.h"

#include <QMoveEvent>

void TFormMain::restoreBounds(const settings::Values& stored)
{
    const settings::Placement& p = stored.placement;
    if (p.left || p.top || p.width || p.height) {
        resize(p.width.value_or(width()), p.height.value_or(height()));
        if (p.left && p.top) {
            // The platform places a window without a stored position; a stored
            // one is used only where the operator can still see and grab it.
            const QRect placed = windowplacement::Place(
                QRect(QPoint(*p.left, *p.top), size()), windowplacement::ConnectedScreens(), minimumSize());
            resize(placed.size());
            move(placed.topLeft());
        }
        m_normalBounds = QRect(pos(), size());
    }
    if (p.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TFormMain::rememberNormalBounds()
{
    // Only a window in its normal state tells where it goes back to; the
    // place of a maximised or minimised one says nothing about that.
    if (isVisible() && !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        m_normalBounds = QRect(frameGeometry().topLeft(), size());
}

QRect TFormMain::normalBounds() const
{
    return m_normalBounds.isValid() ? m_normalBounds : QRect(frameGeometry().topLeft(), size());
}

void TFormMain::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    rememberNormalBounds();
}
