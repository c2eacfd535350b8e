// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QApplication>

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

class QString;
class QWidget;

// Shows the message of an exception that escaped an event handler in the
// application's error box, or where the notice sink takes it. Handlers run
// inside Guarded so an exception never unwinds through the toolkit's frames.
void ShowHandlerException(QWidget* parent, std::exception_ptr error);

// A window that shows failures without a box (its race keys must keep
// working) takes the messages of its own handlers: the sink returns true when
// it showed the message. Empty: every message goes into the error box.
void SetFailureNoticeSink(std::function<bool(QWidget* parent, const QString& text)> sink);

template <typename F> void Guarded(QWidget* parent, F&& handler)
{
    try {
        std::forward<F>(handler)();
    } catch (...) {
        ShowHandlerException(parent, std::current_exception());
    }
}

// A callback that runs a handler of the owner (a member function, or any
// function) inside Guarded, whatever the arguments of the signal or event it
// is given to:
//   connect(action, &QAction::triggered, this, GuardedSlot(this, &TFormMain::mStartClick));
template <typename W, typename F> auto GuardedSlot(W* owner, F handler)
{
    return [owner, handler](auto&&...) {
        Guarded(owner, [&] {
            if constexpr (std::is_member_function_pointer_v<F>)
                (owner->*handler)();
            else
                handler();
        });
    };
}

// Loads the toolkit's translations (file dialogs, context menus, standard
// buttons) for the system's language, so they speak German with the program's
// own captions. Returns false when no catalogue fits. Must run before the
// first window is created.
bool InstallToolkitTranslations(QCoreApplication& app);

// The application object: the last line of defence for an exception that a
// handler let through (shown in the error box; the program keeps running).
class TApplication final : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
