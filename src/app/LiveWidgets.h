// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLabel>
#include <QPixmap>
#include <QString>

#include <functional>

// The QR code of an address as a picture: dark modules on white with the
// quiet zone around them, scaled by whole pixels to at most `pixels` a side.
QPixmap QrPixmap(const QString& text, int pixels);

// A label that reports a click of the left mouse button.
class TClickLabel final : public QLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TClickLabel)
public:
    explicit TClickLabel(QWidget* parent = nullptr);
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The address of the live results as a QR code for the phones at the finish
// line. It opens without taking the keyboard from the race window, so F5 and
// F9 keep working, and closes on a click.
class TQrPopup final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TQrPopup)
public:
    explicit TQrPopup(QWidget* parent = nullptr);
    void ShowAddress(const QString& url, const QPoint& topRight);
    QString Address() const { return m_url; }

    QLabel* Image = nullptr;
    QLabel* Caption = nullptr;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_url;
};
