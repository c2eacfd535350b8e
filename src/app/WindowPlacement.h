// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QRect>
#include <QSize>

#include <optional>

#include <functional>

class QWidget;

// Where the main window reopens. The store keeps the frame's top-left corner
// (what a window move places) and the client size (what a resize sets), so a
// window saved and restored lands exactly where it was, whatever its frame.
namespace windowplacement {

// The screens as the program sees them: their available areas (without
// panels and docks), the primary screen first.
using ScreenSet = QList<QRect>;

// The least part of the window, in each direction, that must lie on one
// screen for the operator to see and grab it.
constexpr int kVisibleMin = 100;

// True when at least kVisibleMin x kVisibleMin pixels of `window` lie on one
// of the screens.
bool Reachable(const QRect& window, const ScreenSet& screens);

// The window's place: `stored` when it is reachable, otherwise centred on the
// primary screen, shrunk to that screen but not below `minimum`, its top-left
// corner kept on the screen. Without screens the stored place stands.
QRect Place(const QRect& stored, const ScreenSet& screens, const QSize& minimum);

// The connected screens; tests put a screen set of their own in place
// (an empty function returns to the real screens).
ScreenSet ConnectedScreens();
void SetScreensForTests(std::function<ScreenSet()> screens);

// The main window's normal place: the frame's top-left corner and client size
// it had last while neither maximised, minimised nor full screen, so that it
// comes back there once the operator restores it, and opens there next time.
class NormalBounds {
public:
    // The place the store kept (a missing value leaves it to the platform).
    void Restore(QWidget& window, std::optional<int> left, std::optional<int> top, std::optional<int> width,
        std::optional<int> height);
    // After a move or a resize.
    void Remember(const QWidget& window);
    QRect Bounds(const QWidget& window) const;

private:
    QRect m_bounds;
};

} // namespace windowplacement
