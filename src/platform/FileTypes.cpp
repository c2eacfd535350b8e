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
