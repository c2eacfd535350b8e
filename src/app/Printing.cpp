#include "app/Printing.h"

#include "app/ResultsPrint.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStringDecoder>
#include <QTextDocument>

namespace {

// Page margins of the printed list; printers that need more get their own.
constexpr qreal kMarginMm = 15;
constexpr qreal kFallbackPoints = 11;

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

bool fail(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return false;
}

} // namespace

bool PrintHtmlFile(const QString& file, QString* reason)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return fail(reason, f.errorString());
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return fail(reason, QStringLiteral("Es ist kein Standarddrucker eingerichtet."));
    // The results page declares ISO-8859-1.
    const QString html = QStringDecoder(QStringDecoder::Latin1).decode(f.readAll());

    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(QFileInfo(file).fileName());
    printer.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);

    const PrintedResults results = ReadResultsPage(html);
    if (!results.header.isEmpty()) {
        if (PaintResults(printer, results, QDateTime::currentDateTime()) == 0)
            return fail(reason, QStringLiteral("Der Drucker %1 nimmt keinen Auftrag an.").arg(info.printerName()));
    } else {
        // A page without a table is printed as it reads, in a print size.
        QTextDocument doc;
        QFont font = doc.defaultFont();
        font.setPointSizeF(kFallbackPoints);
        doc.setDefaultFont(font);
        doc.setHtml(html);
        doc.print(&printer);
    }
    if (printer.printerState() == QPrinter::Error)
        return fail(reason, QStringLiteral("Der Drucker %1 meldet einen Fehler.").arg(info.printerName()));
    return true;
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
