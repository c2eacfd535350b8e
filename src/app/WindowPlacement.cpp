// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace windowplacement {

namespace {

std::function<ScreenSet()> g_screens;

} // namespace

bool Reachable(const QRect& window, const ScreenSet& screens)
{
    return std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) {
        const QRect shared = window.intersected(screen);
        return shared.width() >= kVisibleMin && shared.height() >= kVisibleMin;
    });
}

QRect Place(const QRect& stored, const ScreenSet& screens, const QSize& minimum)
{
    if (screens.isEmpty() || Reachable(stored, screens))
        return stored;
    const QRect primary = screens.constFirst();
    const QSize size = stored.size().boundedTo(primary.size()).expandedTo(minimum);
    QRect placed(QPoint(), size);
    placed.moveCenter(primary.center());
    // A window larger than the screen keeps its title bar on it.
    placed.moveTopLeft(QPoint(std::max(placed.left(), primary.left()), std::max(placed.top(), primary.top())));
    return placed;
}

ScreenSet ConnectedScreens()
{
    if (g_screens)
        return g_screens();
    ScreenSet set;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        set << primary->availableGeometry();
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary)
            set << screen->availableGeometry();
    }
    return set;
}

void SetScreensForTests(std::function<ScreenSet()> screens)
{
    g_screens = std::move(screens);
}

void NormalBounds::Restore(QWidget& window, std::optional<int> left, std::optional<int> top, std::optional<int> width,
    std::optional<int> height)
{
    if (!left && !top && !width && !height)
        return;
    window.resize(width.value_or(window.width()), height.value_or(window.height()));
    if (left && top) {
        // The platform places a window without a stored position; a stored
        // one is used only where the operator can still see and grab it.
        const QRect placed = Place(QRect(QPoint(*left, *top), window.size()), ConnectedScreens(), window.minimumSize());
        window.resize(placed.size());
        window.move(placed.topLeft());
    }
    m_bounds = QRect(window.pos(), window.size());
}

void NormalBounds::Remember(const QWidget& window)
{
    // Only a window in its normal state tells where it goes back to; the
    // place of a maximised or minimised one says nothing about that.
    if (window.isVisible()
        && !(window.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        m_bounds = QRect(window.frameGeometry().topLeft(), window.size());
}

QRect NormalBounds::Bounds(const QWidget& window) const
{
    return m_bounds.isValid() ? m_bounds : QRect(window.frameGeometry().topLeft(), window.size());
}

} // namespace windowplacement
