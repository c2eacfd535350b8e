#include "support/RecordingShell.h"

namespace platform {

bool RecordingShell::open(const QString& fileOrUrl)
{
    calls << QStringLiteral("open ") + fileOrUrl;
    return true;
}

bool RecordingShell::print(const QString& file)
{
    calls << QStringLiteral("print ") + file;
    return true;
}

} // namespace platform
