// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace platform {

QString SystemReason(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("Kein Platz mehr auf dem Datenträger");
    case EDQUOT:
        return QStringLiteral("Speicherkontingent auf dem Datenträger erschöpft");
    case EACCES:
        return QStringLiteral("Zugriff verweigert");
    case EPERM:
        return QStringLiteral("Vorgang nicht erlaubt");
    case EROFS:
        return QStringLiteral("Datenträger ist schreibgeschützt");
    case ENOENT:
        return QStringLiteral("Datei oder Ordner nicht gefunden");
    case EIO:
        return QStringLiteral("Ein- oder Ausgabefehler des Datenträgers");
    case EEXIST:
        return QStringLiteral("Datei existiert bereits");
    case EISDIR:
        return QStringLiteral("Ist ein Ordner, keine Datei");
    case ENOTDIR:
        return QStringLiteral("Ein Teil des Pfades ist kein Ordner");
    case ENAMETOOLONG:
        return QStringLiteral("Dateiname zu lang");
    case EBUSY:
        return QStringLiteral("Gerät oder Datei ist belegt");
    case ETXTBSY:
        return QStringLiteral("Programmdatei ist in Benutzung");
    case EMFILE:
        return QStringLiteral("Zu viele offene Dateien");
    case ENFILE:
        return QStringLiteral("Zu viele offene Dateien im System");
    case ELOOP:
        return QStringLiteral("Zu viele Ebenen symbolischer Verknüpfungen");
    case ENOMEM:
        return QStringLiteral("Nicht genügend Arbeitsspeicher");
    case EFBIG:
        return QStringLiteral("Datei zu groß");
    case EXDEV:
        return QStringLiteral("Verschieben auf einen anderen Datenträger nicht möglich");
    case ENOTEMPTY:
        return QStringLiteral("Ordner ist nicht leer");
    case EINVAL:
        return QStringLiteral("Ungültiges Argument");
    case ENODEV:
    case ENXIO:
        return QStringLiteral("Gerät nicht vorhanden");
    case EAGAIN:
        return QStringLiteral("Vorübergehend nicht verfügbar");
    case EINTR:
        return QStringLiteral("Unterbrochen");
    case ESTALE:
        return QStringLiteral("Netzwerkdatei nicht mehr gültig");
    case ETIMEDOUT:
        return QStringLiteral("Zeitüberschreitung");
    default:
        break;
    }
    return QStringLiteral("Systemfehler %1 (%2)").arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace platform
