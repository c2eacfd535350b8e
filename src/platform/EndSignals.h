// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace platform {

// Turns the signals that ask a program to end (SIGTERM at logout or
// shutdown, SIGINT from a terminal, SIGHUP when the terminal goes) into a
// call on the thread that created this object, from its event loop, so the
// program can end as it does when its window is closed. Only one may exist.
class EndSignals final : public QObject {
    Q_OBJECT
public:
    explicit EndSignals(std::function<void(int signal)> onEnd, QObject* parent = nullptr);
    ~EndSignals() override;
    Q_DISABLE_COPY_MOVE(EndSignals)

private:
    std::function<void(int)> m_onEnd;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace platform
