#include "app/Application.h"
#include "app/FMain.h"

int main(int argc, char* argv[])
{
    TApplication app(argc, argv);
    // The main window first (its start-up names the program, reads the
    // settings and scans the ports), then the dialogs that depend on both.
    TFormMain FormMain;
    FormMain.CreateDialogs();
    FormMain.show();
    return app.exec();
}
