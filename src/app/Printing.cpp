#include "app/Printing.h"

#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStringDecoder>
#include <QTextDocument>

#include <mutex>

namespace {

std::function<void()> g_listener;

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
