// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "app/FMain.h"
#include "controls/ButtonWithColor.h"
#include "controls/Dialogs.h"
#include "controls/Image.h"
#include "controls/MessageTimer.h"
#include "grid/SortGrid.h"
#include "protocol/EntryStatus.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QToolButton>

// What the operator does with the main window, done through its controls:
// the buttons, the menu items and their keys, the table's cursor, the file
// dialogs. Tests and the crash drill drive the window only through these
// and the widgets of `ui`, so a handler may be renamed or split without a
// test noticing, and a control that is greyed out does nothing here either.
namespace op {

inline void Click(QAbstractButton* button)
{
    button->click();
}
inline void Trigger(QAction* action)
{
    action->trigger();
}

// The table's cursor: the row the race commands act on.
inline void SelectRow(TFormMain& w, int row)
{
    w.ui.SortGrid1->SetRow(row);
}
inline int CurrentRow(const TFormMain& w)
{
    return w.ui.SortGrid1->Selection().Top;
}

inline void End(TFormMain& w)
{
    Click(w.ui.bEnd);
}
inline void Reset(TFormMain& w)
{
    Trigger(w.ui.mReset);
}
inline void Erase(TFormMain& w)
{
    Trigger(w.ui.Erase1);
}
inline void PasteInterim(TFormMain& w)
{
    Trigger(w.ui.PastefromFStopp);
}

// The context menu's status items (Ctrl+1, Ctrl+2, Ctrl+3, Ctrl+0).
inline void SetStatus(TFormMain& w, protocol::EntryStatus status)
{
    switch (status) {
    case protocol::EntryStatus::DNS:
        Trigger(w.ui.mStatusDNS);
        return;
    case protocol::EntryStatus::DNF:
        Trigger(w.ui.mStatusDNF);
        return;
    case protocol::EntryStatus::DSQ:
        Trigger(w.ui.mStatusDSQ);
        return;
    case protocol::EntryStatus::None:
        Trigger(w.ui.mStatusNone);
        return;
    }
}

// The table's context menu opened (its items take their state then) and
// put away again.
inline void OpenContextMenu(TFormMain& w)
{
    Q_EMIT w.ui.PopupMenuList->aboutToShow();
}
inline void CloseContextMenu(TFormMain& w)
{
    Q_EMIT w.ui.PopupMenuList->aboutToHide();
}

// The operator opens the table's context menu and puts it away: the file
// bar's buttons look again at the printer and the document template then.
inline void LookAtFileBar(TFormMain& w)
{
    OpenContextMenu(w);
    CloseContextMenu(w);
}

// "Speichern" and "Laden" with the file dialog answered by `fileName`.
inline void Save(TFormMain& w, const QString& fileName)
{
    dialogs::QueueFileName(fileName);
    w.ui.sbSave->click();
}
inline void Load(TFormMain& w, const QString& fileName)
{
    dialogs::QueueFileName(fileName);
    w.ui.sbLoad->click();
}

// The window's close button: whether the window let itself be closed.
inline bool Close(TFormMain& w)
{
    QCloseEvent event;
    QCoreApplication::sendEvent(&w, &event);
    return event.isAccepted();
}

} // namespace op
