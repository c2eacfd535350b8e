// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/FileTypes.h"

#include <QMimeDatabase>

namespace platform {

QString FileTypeDescription(const QString& mimeType, const QString& fallback)
{
    const QMimeType type = QMimeDatabase().mimeTypeForName(mimeType);
    if (!type.isValid())
        return fallback;
    const QString comment = type.comment();
    return comment.isEmpty() ? fallback : comment;
}

} // namespace platform
