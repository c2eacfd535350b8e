#include "platform/Shell.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStringDecoder>
#include <QTextDocument>
#include <QUrl>

namespace platform {

namespace {
DesktopShell g_desktop;
Shell* g_shell = &g_desktop;
int g_printerOverride = -1;
} // namespace

Shell& CurrentShell()
{
    return *g_shell;
}

void SetShell(Shell* shell)
{
    g_shell = shell ? shell : &g_desktop;
}

bool DesktopShell::open(const QString& fileOrUrl)
{
    const QUrl url = fileOrUrl.contains(QLatin1String("://")) ? QUrl(fileOrUrl)
                                                              : QUrl::fromLocalFile(QFileInfo(fileOrUrl).absoluteFilePath());
    return QDesktopServices::openUrl(url);
}

bool DesktopShell::print(const QString& file)
{
    return PrintHtmlFile(file);
}

bool RecordingShell::open(const QString& fileOrUrl)
{
    calls << QStringLiteral("open ") + fileOrUrl;
    return true;
}

bool RecordingShell::print(const QString& file)
{
    calls << QStringLiteral("print ") + file;
    return true;
}

bool HasPrinter()
{
    if (g_printerOverride >= 0)
        return g_printerOverride != 0;
    // Asking the print system means a round trip to the CUPS server, and the
    // question comes with every START: the answer is kept for a few seconds
    // so a start is never held up by it.
    static QElapsedTimer age;
    static bool present = false;
    if (!age.isValid() || age.elapsed() > 5000) {
        present = !QPrinterInfo::availablePrinterNames().isEmpty();
        age.start();
    }
    return present;
}

void SetPrinterPresenceForTests(int present)
{
    g_printerOverride = present;
}

bool PrintHtmlFile(const QString& file)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return false;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // The results page declares ISO-8859-1.
    const QString html = QStringDecoder(QStringDecoder::Latin1).decode(f.readAll());
    QTextDocument doc;
    doc.setHtml(html);
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(QFileInfo(file).fileName());
    doc.print(&printer);
    return printer.printerState() != QPrinter::Error;
}

} // namespace platform
