#include "app/Program.h"

#include "app/Application.h"
#include "app/Drill.h"
#include "app/FMain.h"
#include "controls/Dialogs.h"
#include "platform/EndSignals.h"
#include "race/Journal.h"

#include <QSessionManager>
#include <QTimer>

#include <cstdio>

int RunProgram(int& argc, char** argv, const std::function<void(TFormMain&)>& shown)
{
    TApplication app(argc, argv);
    const TestOptions options = ParseTestOptions(QCoreApplication::arguments());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", options.error.toLocal8Bit().constData());
        return 2;
    }
    // The main window first (its start-up names the program, reads the
    // settings and scans the ports), then the dialogs that depend on both.
    TFormMain FormMain;
    FormMain.CreateDialogs();
    // A logout, a shutdown or the terminal ending the program: settings and
    // backups are written as at a normal exit, without the exit question.
    platform::EndSignals endSignals([&FormMain](int) { FormMain.EndInOrder(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &FormMain, [&FormMain] { FormMain.EndInOrder(); });
    if (options.drillSeed)
        FormMain.Journal->OnDurable = [](std::uint64_t seq) { PrintLine(QStringLiteral("durable %1").arg(seq)); };
    FormMain.show();
    // A race the last session left behind is offered once the window shows.
    QTimer::singleShot(0, &FormMain, [&FormMain, options] {
        if (options.printDigest)
            dialogs::SetTestMode(true); // messages are printed, not shown
        FormMain.OfferRecovery(options.recoverAnswer);
        if (options.printDigest) {
            for (const dialogs::ShownMessage& m : dialogs::TakeShownMessages())
                PrintLine(QStringLiteral("message ") + QString(m.text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
            PrintLine(QStringLiteral("digest %1").arg(FormMain.RaceDigest()));
            FormMain.EndInOrder();
        } else if (options.drillSeed) {
            StartDrill(FormMain, *options.drillSeed);
        }
    });
    if (shown)
        QTimer::singleShot(0, &FormMain, [&FormMain, shown] { shown(FormMain); });
    return app.exec();
}
