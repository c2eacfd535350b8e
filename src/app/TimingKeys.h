// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

#include <map>

class QAction;
class QWidget;

// Keeps the race keys working while a message box or a question of the main
// window is open. A modal question switches the window's shortcuts off, and a
// box the operator clicked into has the keyboard; installed on the
// application, the filter runs the window's command of F5, F9, F8, F11 or F12
// pressed in such a box at once, as the hidden menu would have (a disabled
// command does nothing, as there). Other windows (the settings, the file
// dialogs, the recovery question) keep their keys.
class TTimingKeyPassage final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TTimingKeyPassage)
public:
    TTimingKeyPassage(QWidget* mainWindow, std::map<int, QAction*> commands);

    // Whether a key pressed in this window goes to the main window's command.
    bool PassesKeys(const QWidget* window) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_main;
    std::map<int, QAction*> m_commands;
};
