#pragma once

#include <QApplication>

#include <exception>
#include <utility>

class QWidget;

// Shows the message of an exception that escaped an event handler in the
// application's error box. Handlers run inside Guarded so an exception never
// unwinds through the toolkit's frames.
void ShowHandlerException(QWidget* parent, std::exception_ptr error);

template <typename F> void Guarded(QWidget* parent, F&& handler)
{
    try {
        std::forward<F>(handler)();
    } catch (...) {
        ShowHandlerException(parent, std::current_exception());
    }
}

// The application object: the last line of defence for an exception that a
// handler let through (shown in the error box; the program keeps running).
class TApplication final : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
