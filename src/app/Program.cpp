// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/Program.h"

#include "app/Application.h"
#include "app/FMain.h"
#include "platform/EndSignals.h"

#include <QSessionManager>
#include <QTimer>

int RunProgram(int& argc, char** argv, const std::function<void(TFormMain&)>& shown)
{
    TApplication app(argc, argv);
    // The main window first (its start-up names the program, reads the
    // settings and scans the ports), then the dialogs that depend on both.
    TFormMain FormMain;
    FormMain.createDialogs();
    // A logout, a shutdown or the terminal ending the program: settings and
    // backups are written as at a normal exit, without the exit question.
    platform::EndSignals endSignals([&FormMain](int) { FormMain.endInOrder(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &FormMain, [&FormMain] { FormMain.endInOrder(); });
    FormMain.show();
    QTimer::singleShot(0, &FormMain, [&FormMain, shown] {
        if (shown)
            shown(FormMain);
        else
            FormMain.offerRecovery();
    });
    return app.exec();
}
