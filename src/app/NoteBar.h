// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QFrame>
#include <QString>

class QLabel;
class QToolButton;

// A note over the protocol table that needs no answer: one line that says
// what happened, the details in its tooltip, and a button that puts it away.
// The race goes on while it shows.
class TNoteBar final : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TNoteBar)
public:
    explicit TNoteBar(QWidget* parent = nullptr);

    // Shows the note (an empty text hides it).
    void ShowNote(const QString& text, const QString& details);
    void Clear() { ShowNote({}, {}); }

    QLabel* Text = nullptr;
    QToolButton* CloseButton = nullptr;
};
