#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

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

} // namespace windowplacement
