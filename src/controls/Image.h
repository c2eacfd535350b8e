// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLabel>

#include <functional>

// A picture that reports clicks, with the free integer Tag the owner keeps
// state in.
class TImage final : public QLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TImage)
public:
    explicit TImage(QWidget* parent = nullptr);

    void SetPicture(const QPixmap& picture);

    int Tag = 0;
    std::function<void(TImage* sender)> OnClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};
