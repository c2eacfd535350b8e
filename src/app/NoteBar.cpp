// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/NoteBar.h"

#include "app/UiHelpers.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

TNoteBar::TNoteBar(QWidget* parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    SetBackgroundColor(this, 0x99FFFF); // pale yellow, as a note on paper
    SetFontColor(this, clBlack);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 1, 1, 1);
    row->setSpacing(4);
    Text = new QLabel(this);
    Text->setFont(DesignFont(QStringLiteral("Arial"), 13, true));
    // The line never widens the window; what does not fit is in the tooltip.
    Text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(Text, 1);
    CloseButton = new QToolButton(this);
    CloseButton->setText(QStringLiteral("×"));
    CloseButton->setAutoRaise(true);
    CloseButton->setToolTip(QStringLiteral("Hinweis schließen"));
    CloseButton->setFocusPolicy(Qt::NoFocus);
    row->addWidget(CloseButton);
    connect(CloseButton, &QToolButton::clicked, this, [this] { Clear(); });
    hide();
}

void TNoteBar::ShowNote(const QString& text, const QString& details)
{
    Text->setText(text);
    setToolTip(details);
    setVisible(!text.isEmpty());
}
