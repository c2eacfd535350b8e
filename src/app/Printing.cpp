#include "app/Printing.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStringDecoder>
#include <QTextDocument>

namespace {

class QtPrinterPresence final : public platform::PrinterPresence {
public:
    bool HasPrinter() override
    {
        // The question comes with every START: a start is never held up by
        // more than one round trip in five seconds.
        if (!m_age.isValid() || m_age.elapsed() > 5000) {
            m_present = !QPrinterInfo::availablePrinterNames().isEmpty();
            m_age.start();
        }
        return m_present;
    }

private:
    QElapsedTimer m_age;
    bool m_present = false;
};

} // namespace

bool PrintHtmlFile(const QString& file, QString* reason)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        if (reason)
            *reason = QStringLiteral("Es ist kein Standarddrucker eingerichtet.");
        return false;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        if (reason)
            *reason = f.errorString();
        return false;
    }
    // The results page declares ISO-8859-1.
    const QString html = QStringDecoder(QStringDecoder::Latin1).decode(f.readAll());
    QTextDocument doc;
    doc.setHtml(html);
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(QFileInfo(file).fileName());
    doc.print(&printer);
    if (printer.printerState() != QPrinter::Error)
        return true;
    if (reason)
        *reason = QStringLiteral("Der Drucker %1 meldet einen Fehler.").arg(info.printerName());
    return false;
}

platform::PrinterPresence& SystemPrinterPresence()
{
    static QtPrinterPresence presence;
    return presence;
}

void InstallPrinting()
{
    platform::SetPrintFunction(PrintHtmlFile);
    platform::SetPrinterPresence(&SystemPrinterPresence());
}
