// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogs/HelpViewer.h"

#include "platform/AppInfo.h"

#include <QFile>
#include <QFileInfo>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

THelpViewer::THelpViewer(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new QTextBrowser(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setOpenExternalLinks(true);
    resize(640, 560);
    // Esc closes the help, as it closes every other window of the program.
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    close->setContext(Qt::WindowShortcut);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

void THelpViewer::ShowContents(const QString& helpFile)
{
    m_file = helpFile;
    setWindowTitle(platform::ApplicationTitle() + QStringLiteral(" – Hilfe"));
    QFile f(helpFile);
    if (f.open(QIODevice::ReadOnly)) {
        m_browser->document()->setBaseUrl(QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath()));
        m_browser->setHtml(QString::fromUtf8(f.readAll()));
    } else {
        m_browser->setHtml(QStringLiteral("<h3>Hilfe nicht verfügbar</h3><p>Die Hilfedatei <b>%1</b> "
                                          "wurde nicht gefunden oder kann nicht gelesen werden.</p>")
                               .arg(helpFile.toHtmlEscaped()));
    }
    show();
    raise();
    activateWindow();
}

QString THelpViewer::ShownText() const
{
    return m_browser->toPlainText();
}
