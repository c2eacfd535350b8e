// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogs/DlgYesNo.h"

#include "controls/Dialogs.h"
#include "platform/AppInfo.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace {

// A blue question mark in a light speech bubble, 32 x 32 on transparent ground.
QPixmap questionPicture()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QPainterPath bubble;
    bubble.addEllipse(QRectF(1.5, 1.5, 29, 23));
    QPainterPath tail;
    tail.moveTo(7, 19);
    tail.lineTo(4, 30.5);
    tail.lineTo(15, 23);
    tail.closeSubpath();
    bubble = bubble.united(tail);
    p.setPen(QPen(QColor(96, 96, 96), 1));
    p.setBrush(QColor(255, 255, 225));
    p.drawPath(bubble);

    const QColor blue(0, 0, 200);
    QPainterPath hook;
    hook.moveTo(11.5, 9.5);
    hook.arcTo(QRectF(11.5, 4.5, 9, 8.5), 180, -270); // round top, down to the right-hand side of the stem
    hook.lineTo(16, 15.5);
    p.setPen(QPen(blue, 3, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawEllipse(QPointF(16, 19.5), 1.8, 1.8);
    return pixmap;
}

} // namespace

TFDlgYesNo::TFDlgYesNo(QWidget* owner)
    : QDialog(owner,
        Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
            | Qt::WindowStaysOnTopHint)
{
    setFixedSize(222, 94);

    Label1 = new QLabel(QStringLiteral("?"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(40, 6, 169, 49);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);

    Icon = new QLabel(this);
    Icon->setObjectName(QStringLiteral("Icon"));
    Icon->setGeometry(4, 14, 32, 32);
    Icon->setPixmap(questionPicture());

    OKBtn = new QPushButton(QStringLiteral("Ja"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(39, 60, 75, 25);
    CancelBtn = new QPushButton(QStringLiteral("Nein"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(135, 60, 75, 25);
    setTabOrder(OKBtn, CancelBtn);

    connect(OKBtn, &QPushButton::clicked, this, [this] { done(kResultYes); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(kResultCancel); });

    FormCreate();
}

void TFDlgYesNo::FormCreate()
{
    setWindowTitle(platform::ApplicationTitle());
}

void TFDlgYesNo::SetButtonCaptions(const QString& yesCaption, const QString& noCaption)
{
    OKBtn->setText(yesCaption);
    CancelBtn->setText(noCaption);
}

void TFDlgYesNo::SetActiveControl(QWidget* control)
{
    // A hidden window remembers it and gives it the focus when shown again.
    if (control && isAncestorOf(control))
        control->setFocus(Qt::OtherFocusReason);
}

QWidget* TFDlgYesNo::ActiveControl() const
{
    return focusWidget();
}

int TFDlgYesNo::ShowModal()
{
    setResult(0);
    return dialogs::ExecDialog(this);
}

bool TFDlgYesNo::Ask(const QString& text, Focus focus, const QString& yesCaption, const QString& noCaption)
{
    Label1->setText(text);
    if (focus != Focus::AsLeft)
        SetActiveControl(focus == Focus::Ok ? static_cast<QWidget*>(OKBtn) : CancelBtn);
    const bool captions = !yesCaption.isEmpty() || !noCaption.isEmpty();
    if (captions)
        SetButtonCaptions(yesCaption, noCaption);
    const bool yes = ShowModal() == kResultYes;
    if (captions)
        SetButtonCaptions(QStringLiteral("Ja"), QStringLiteral("Nein"));
    return yes;
}

void TFDlgYesNo::reject()
{
    // Esc and the close box end up here.
    done(kResultCancel);
}
