// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/TimingKeys.h"

#include "dialogs/DlgYesNo.h"

#include <QAction>
#include <QKeyEvent>
#include <QMessageBox>
#include <QWidget>

TTimingKeyPassage::TTimingKeyPassage(QWidget* mainWindow, std::map<int, QAction*> commands)
    : QObject(mainWindow)
    , m_main(mainWindow)
    , m_commands(std::move(commands))
{
}

bool TTimingKeyPassage::PassesKeys(const QWidget* window) const
{
    if (!window || window == m_main)
        return false; // the window's own shortcuts take them
    if (!qobject_cast<const QMessageBox*>(window) && !qobject_cast<const TFDlgYesNo*>(window))
        return false;
    for (const QWidget* w = window->parentWidget(); w; w = w->parentWidget())
        if (w == m_main)
            return true;
    return false;
}

bool TTimingKeyPassage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const auto command = m_commands.find(key->key());
    if (command == m_commands.end() || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier
        || !PassesKeys(static_cast<QWidget*>(watched)->window()))
        return QObject::eventFilter(watched, event);
    // One press, one command: a held key's repeats do nothing, as with the
    // window's own shortcuts.
    if (!key->isAutoRepeat() && command->second->isEnabled())
        command->second->trigger();
    return true;
}
