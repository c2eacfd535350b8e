// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/LiveWidgets.h"

#include "app/UiHelpers.h"
#include "live/QrCode.h"

#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace {
constexpr int kQuietModules = 4;
}

QPixmap QrPixmap(const QString& text, int pixels)
{
    const live::QrCode code = live::EncodeQr(text);
    if (code.size == 0)
        return {};
    const int modules = code.size + 2 * kQuietModules;
    const int scale = std::max(1, pixels / modules);
    QPixmap picture(modules * scale, modules * scale);
    picture.fill(Qt::white);
    QPainter g(&picture);
    g.setPen(Qt::NoPen);
    g.setBrush(Qt::black);
    for (int y = 0; y < code.size; ++y) {
        for (int x = 0; x < code.size; ++x) {
            if (code.Dark(x, y))
                g.drawRect((x + kQuietModules) * scale, (y + kQuietModules) * scale, scale, scale);
        }
    }
    return picture;
}

TClickLabel::TClickLabel(QWidget* parent)
    : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        OnClick();
}

TQrPopup::TQrPopup(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Live-Ergebnisse"));
    SetBackgroundColor(this, clWhite);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 10);
    column->setSpacing(4);
    Image = new QLabel(this);
    Image->setAlignment(Qt::AlignCenter);
    Caption = new QLabel(this);
    Caption->setAlignment(Qt::AlignCenter);
    Caption->setFont(DesignFont(QStringLiteral("Arial"), 18, true));
    SetFontColor(Caption, clBlack);
    auto* hint = new QLabel(QStringLiteral("Mit dem Handy scannen (im selben Netz)"), this);
    hint->setAlignment(Qt::AlignCenter);
    hint->setFont(DesignFont(QStringLiteral("Arial"), 13));
    SetFontColor(hint, clGray);
    column->addWidget(Image);
    column->addWidget(Caption);
    column->addWidget(hint);
    setCursor(Qt::PointingHandCursor);
}

void TQrPopup::ShowAddress(const QString& url, const QPoint& topRight)
{
    m_url = url;
    Image->setPixmap(QrPixmap(url, 300));
    Caption->setText(url);
    adjustSize();
    move(topRight - QPoint(width(), 0));
    show();
    raise();
}

void TQrPopup::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    hide();
}
