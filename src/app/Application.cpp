#include "app/Application.h"

#include "app/Printing.h"
#include "controls/Dialogs.h"

#include <QWidget>

#include <stdexcept>

void ShowHandlerException(QWidget* parent, std::exception_ptr error)
{
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unbekannter Fehler");
    }
    dialogs::ShowError(parent, message);
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    InstallPrinting();
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowHandlerException(qobject_cast<QWidget*>(receiver), std::current_exception());
        return false;
    }
}
