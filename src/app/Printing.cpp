// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/Printing.h"

#include "app/ResultsPrint.h"
#include "platform/FileAccess.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStringDecoder>
#include <QTextDocument>

#include <mutex>

namespace {

// Page margins of the printed list; printers that need more get their own.
constexpr qreal kMarginMm = 15;
constexpr qreal kFallbackPoints = 11;

std::function<void()> g_listener;

bool fail(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return false;
}

} // namespace

// What the asking thread and the presence share: whether the answer is in,
// and whom to tell (nobody once the presence is gone).
struct BackgroundPrinterPresence::Asking {
    std::mutex mutex;
    bool done = false;
    BackgroundPrinterPresence* receiver = nullptr;
};

BackgroundPrinterPresence::BackgroundPrinterPresence(Query query, int maxAgeMs)
    : m_query(std::move(query))
    , m_maxAgeMs(maxAgeMs)
{
}

BackgroundPrinterPresence::~BackgroundPrinterPresence()
{
    if (!m_worker.joinable())
        return;
    bool done = false;
    {
        std::lock_guard lock(m_asked->mutex);
        m_asked->receiver = nullptr;
        done = m_asked->done;
    }
    if (done)
        m_worker.join();
    else
        m_worker.detach();
}

bool BackgroundPrinterPresence::HasPrinter()
{
    if (!m_asking && (!m_age.isValid() || m_age.elapsed() > m_maxAgeMs))
        Ask();
    return m_present;
}

void BackgroundPrinterPresence::Ask()
{
    if (m_worker.joinable())
        m_worker.join(); // the last question was answered: the thread is done
    m_asking = true;
    m_age.start();
    m_asked = std::make_shared<Asking>();
    m_asked->receiver = this;
    m_worker = std::thread([asked = m_asked, query = m_query] {
        const bool present = query();
        std::lock_guard lock(asked->mutex);
        asked->done = true;
        if (BackgroundPrinterPresence* receiver = asked->receiver) {
            QMetaObject::invokeMethod(
                receiver, [receiver, present] { receiver->Answer(present); }, Qt::QueuedConnection);
        }
    });
}

void BackgroundPrinterPresence::Answer(bool present)
{
    m_asking = false;
    m_age.start();
    const bool changed = !m_answered || present != m_present;
    m_answered = true;
    m_present = present;
    if (changed && g_listener)
        g_listener();
}

bool PrintHtmlFile(const QString& file, QString* reason)
{
    QByteArray bytes;
    QString why;
    if (!platform::ReadWholeFile(file, &bytes, &why))
        return fail(reason, why);
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return fail(reason, QStringLiteral("Es ist kein Standarddrucker eingerichtet."));
    // The results page declares ISO-8859-1.
    const QString html = QStringDecoder(QStringDecoder::Latin1).decode(bytes);

    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(QFileInfo(file).fileName());
    printer.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);

    // A page this program wrote is printed from its table, in the table's
    // own texts: the page turns the decimal comma of a time into a point.
    const std::optional<protocol::PageTable> table = protocol::WrittenPageTable(file, bytes);
    const PrintedResults results = table ? ResultsOfTable(*table) : ReadResultsPage(html);
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
    static BackgroundPrinterPresence presence([] { return !QPrinterInfo::availablePrinterNames().isEmpty(); });
    return presence;
}

void SetPrinterPresenceListener(std::function<void()> listener)
{
    g_listener = std::move(listener);
}

void InstallPrinting()
{
    platform::SetPrintFunction(PrintHtmlFile);
    platform::SetPrinterPresence(&SystemPrinterPresence());
}
