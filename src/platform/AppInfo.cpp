// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/AppInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

void SetExecutablePathForTests(const QString& path)
{
    g_override = path;
}

} // namespace platform
