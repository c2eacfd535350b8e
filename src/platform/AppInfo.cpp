#include "platform/AppInfo.h"

#include <QCoreApplication>
#include <QFileInfo>

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

void SetExecutablePathForTests(const QString& path)
{
    g_override = path;
}

} // namespace platform
