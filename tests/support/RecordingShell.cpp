// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/RecordingShell.h"

namespace platform {

bool RecordingShell::open(const QString& fileOrUrl)
{
    calls << QStringLiteral("open ") + fileOrUrl;
    return true;
}

bool RecordingShell::print(const QString& file, QString* reason)
{
    calls << QStringLiteral("print ") + file;
    if (printFailure.isEmpty())
        return true;
    if (reason)
        *reason = printFailure;
    return false;
}

} // namespace platform
