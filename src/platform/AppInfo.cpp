// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/AppInfo.h"

#include "platform/SystemError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

#include <sys/stat.h>

namespace platform {

namespace {
QString g_override;
}

QString ExecutablePath()
{
    if (!g_override.isEmpty())
        return g_override;
    return QCoreApplication::applicationFilePath();
}

QString ExecutableFolder()
{
    return QFileInfo(ExecutablePath()).absolutePath() + QLatin1Char('/');
}

QString ApplicationTitle()
{
    return QFileInfo(ExecutablePath()).completeBaseName();
}

QString DocumentsFolder()
{
    // Qt names $HOME/Documents even where that folder was never made.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

QString OutputFolder()
{
    return DocumentsFolder() + QStringLiteral("/Rennzeit");
}

bool MakeOutputFolder(QString* reason)
{
    const QString folder = OutputFolder();
    const QFileInfo info(folder);
    if (info.isDir())
        return true;
    const int error = info.exists() ? ENOTDIR : ::mkdir(QFile::encodeName(folder).constData(), 0777) == 0 ? 0 : errno;
    if (error == 0)
        return true;
    if (reason)
        *reason = SystemReason(error);
    return false;
}

QString UnusedFileName(const QString& folder, const QString& base, const QString& suffix, const QStringList& taken)
{
    for (int n = 1;; ++n) {
        const QString name
            = folder + QLatin1Char('/') + base + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + suffix;
        // A dangling link is a name taken, too: writing through it would
        // make a file somewhere else.
        if (!taken.contains(name) && !QFileInfo(name).exists() && !QFileInfo(name).isSymLink())
            return name;
    }
}

void SetExecutablePathForTests(const QString& path)
{
    g_override = path;
}

} // namespace platform
