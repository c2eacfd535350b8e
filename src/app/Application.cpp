// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/Application.h"

#include "app/Printing.h"
#include "controls/Dialogs.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

#include <stdexcept>

namespace {

std::function<bool(QWidget*, const QString&)>& failureNoticeSink()
{
    static std::function<bool(QWidget*, const QString&)> sink;
    return sink;
}

} // namespace

void SetFailureNoticeSink(std::function<bool(QWidget* parent, const QString& text)> sink)
{
    failureNoticeSink() = std::move(sink);
}

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
    if (const auto& sink = failureNoticeSink(); sink && sink(parent, message))
        return;
    dialogs::ShowError(parent, message);
}

bool InstallToolkitTranslations(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        // No catalogue for this language (or English): the toolkit's own texts stay.
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    InstallToolkitTranslations(*this);
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
