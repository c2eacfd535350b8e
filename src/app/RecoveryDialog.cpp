// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/RecoveryDialog.h"

#include "platform/AppInfo.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TRecoveryDialog::TRecoveryDialog(QWidget* owner, Kind kind, const QString& text, const QString& details)
    : QDialog(owner)
{
    setWindowTitle(platform::ApplicationTitle());
    setMinimumWidth(480);
    auto* column = new QVBoxLayout(this);

    Text = new QLabel(text, this);
    Text->setObjectName(QStringLiteral("Text"));
    Text->setWordWrap(true);
    Text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(Text);

    Details = new QPlainTextEdit(details, this);
    Details->setObjectName(QStringLiteral("Details"));
    Details->setReadOnly(true);
    Details->setLineWrapMode(QPlainTextEdit::NoWrap);
    Details->setVisible(!details.isEmpty());
    column->addWidget(Details, 1);

    auto* buttons = new QDialogButtonBox(this);
    if (kind == Kind::Question) {
        YesBtn = buttons->addButton(QStringLiteral("Ja"), QDialogButtonBox::YesRole);
        NoBtn = buttons->addButton(QStringLiteral("Nein"), QDialogButtonBox::NoRole);
        YesBtn->setObjectName(QStringLiteral("YesBtn"));
        NoBtn->setObjectName(QStringLiteral("NoBtn"));
        connect(YesBtn, &QPushButton::clicked, this, [this] { done(kYes); });
        connect(NoBtn, &QPushButton::clicked, this, [this] { done(kNo); });
        YesBtn->setDefault(true);
        YesBtn->setFocus();
    } else {
        OkBtn = buttons->addButton(QDialogButtonBox::Ok);
        connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
        OkBtn->setDefault(true);
    }
    column->addWidget(buttons);
}

void TRecoveryDialog::Dismiss()
{
    done(0);
}
