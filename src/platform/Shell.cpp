// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace platform {

namespace {
DesktopShell g_desktop;
Shell* g_shell = &g_desktop;
PrintFunction g_print;
PrinterPresence* g_presence = nullptr;
} // namespace

Shell& CurrentShell()
{
    return *g_shell;
}

void SetShell(Shell* shell)
{
    g_shell = shell ? shell : &g_desktop;
}

void SetPrintFunction(PrintFunction print)
{
    g_print = std::move(print);
}

bool DesktopShell::open(const QString& fileOrUrl)
{
    const QUrl url = fileOrUrl.contains(QLatin1String("://"))
        ? QUrl(fileOrUrl)
        : QUrl::fromLocalFile(QFileInfo(fileOrUrl).absoluteFilePath());
    return QDesktopServices::openUrl(url);
}

bool DesktopShell::print(const QString& file, QString* reason)
{
    if (g_print)
        return g_print(file, reason);
    if (reason)
        *reason = QStringLiteral("Kein Druckdienst eingerichtet");
    return false;
}

bool HasPrinter()
{
    return g_presence ? g_presence->HasPrinter() : false;
}

void SetPrinterPresence(PrinterPresence* presence)
{
    g_presence = presence;
}

PrinterPresence* CurrentPrinterPresence()
{
    return g_presence;
}

} // namespace platform
