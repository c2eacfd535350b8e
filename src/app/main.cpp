#include "app/Application.h"
#include "app/FMain.h"

#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    TApplication app(argc, argv);
    // The main window first (its start-up names the program, reads the
    // settings and scans the ports), then the dialogs that depend on both.
    TFormMain FormMain;
    FormMain.CreateDialogs();
    FormMain.show();
    // The start-up benchmark asks the program to say when its window is up
    // and to leave at once, without writing settings or a backup.
    if (qEnvironmentVariableIsSet("RENNZEIT_STARTUP_PROBE")) {
        QTimer::singleShot(0, &FormMain, [] {
            std::printf("shown\n");
            std::fflush(stdout);
            std::quick_exit(0);
        });
    }
    return app.exec();
}
