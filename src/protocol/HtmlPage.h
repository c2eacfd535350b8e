#pragma once

#include <QByteArray>
#include <QString>

class TCellStore;

namespace protocol {

// Where the page's credit link points; the only place that names it.
extern const QString kCreditLinkTarget;

// The results page of the log (heading "Ergebnisse", one table row per entry
// row, columns "Nr." to "Platz"), ISO-8859-1 with CR LF line ends. `title` is
// the application title. Cell texts are HTML-escaped so a name such as
// "A<B & C" shows as typed.
QByteArray HtmlPageBytes(const TCellStore& cells, const QString& title);

// Writes the page; false when the file cannot be created or written, with
// the system's reason in `reason`. The caller tells the operator.
bool WriteHtmlPage(const TCellStore& cells, const QString& fileName, const QString& title, QString* reason = nullptr);

// The page name the "Als Webseite" and print commands use: the title with
// ".html", without a folder, so it lands in the working folder.
QString HtmlPageFileName(const QString& title);

// The commands behind sbHTML (tag 0: show in the browser) and sbPrint and
// Drucker1 (tag 1: print): write the page under HtmlPageFileName(title), then
// hand the file, if it exists (possibly from an earlier run), to the shell.
// Other tags only write the page. False when the page could not be written.
bool PublishHtmlPage(const TCellStore& cells, const QString& title, int tag, QString* reason = nullptr);

} // namespace protocol
