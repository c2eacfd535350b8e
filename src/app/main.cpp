#include "platform/AppInfo.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(platform::ApplicationTitle());
    window.resize(792, 460);
    window.show();
    return app.exec();
}
