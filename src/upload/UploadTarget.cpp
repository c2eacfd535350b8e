// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "upload/UploadTarget.h"

#include <QHostAddress>
#include <QUrl>

namespace upload {

namespace {

struct SchemeInfo {
    const char* name;
    Scheme scheme;
    int defaultPort;
    const char* curlScheme;
};

constexpr SchemeInfo kSchemes[] = {
    { "sftp", Scheme::Sftp, 22, "sftp" },
    { "https", Scheme::Https, 443, "https" },
    { "http", Scheme::Http, 80, "http" },
    { "ftps", Scheme::Ftps, 990, "ftps" },
    { "ftpes", Scheme::Ftpes, 21, "ftp" },
};

const SchemeInfo& InfoOf(Scheme scheme)
{
    for (const SchemeInfo& info : kSchemes) {
        if (info.scheme == scheme)
            return info;
    }
    return kSchemes[0];
}

bool HasControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return true;
    }
    return false;
}

bool IsThisMachine(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

std::optional<Target> Fail(QString* message, const QString& text)
{
    if (message)
        *message = text;
    return std::nullopt;
}

} // namespace

QString Target::Address() const
{
    QUrl url;
    url.setScheme(QString::fromLatin1(InfoOf(scheme).name));
    url.setUserName(user);
    url.setHost(host);
    if (port != InfoOf(scheme).defaultPort)
        url.setPort(port);
    url.setPath(folder);
    return url.toString(QUrl::PrettyDecoded | QUrl::EncodeSpaces);
}

QByteArray Target::FileUrl(const QString& name) const
{
    QUrl url;
    url.setScheme(QString::fromLatin1(InfoOf(scheme).curlScheme));
    url.setHost(host);
    url.setPort(port);
    url.setPath(folder + name);
    return url.toEncoded(QUrl::FullyEncoded);
}

QString Target::HostAndPort() const
{
    const QString shown = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shown + QLatin1Char(':') + QString::number(port);
}

QString Target::SshPath(const QString& name) const
{
    if (folder.startsWith(QLatin1String("/~/")))
        return folder.mid(3) + name;
    return folder + name;
}

std::optional<Target> ParseTarget(const QString& address, QString* message)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return Fail(message, QStringLiteral("Keine Adresse angegeben."));
    if (HasControlCharacter(text) || text.contains(QLatin1Char(' ')))
        return Fail(message, QStringLiteral("Die Adresse darf keine Leer- oder Steuerzeichen enthalten."));
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || !text.contains(QLatin1String("://")))
        return Fail(message,
            QStringLiteral("„%1“ ist keine gültige Adresse (Beispiel: sftp://benutzer@server/ordner/).").arg(text));

    const QString schemeName = url.scheme().toLower();
    const SchemeInfo* info = nullptr;
    for (const SchemeInfo& candidate : kSchemes) {
        if (schemeName == QLatin1String(candidate.name))
            info = &candidate;
    }
    if (!info)
        return Fail(message,
            QStringLiteral("Die Adresse muss mit sftp://, https:// oder ftps:// beginnen, nicht mit %1://.")
                .arg(url.scheme()));

    Target target;
    target.scheme = info->scheme;
    target.host = url.host(QUrl::FullyDecoded);
    target.user = url.userName(QUrl::FullyDecoded);
    if (target.host.isEmpty())
        return Fail(
            message, QStringLiteral("In der Adresse fehlt der Server (Beispiel: sftp://benutzer@server/ordner/)."));
    if (!url.password().isEmpty())
        return Fail(message,
            QStringLiteral("Das Passwort gehört nicht in die Adresse; das Programm fragt danach und bewahrt es im "
                           "Schlüsselbund auf."));
    if (url.hasQuery() || url.hasFragment())
        return Fail(message, QStringLiteral("Die Adresse darf kein „?“ und kein „#“ enthalten."));
    if ((target.IsSsh() || target.IsFtp()) && target.user.isEmpty())
        return Fail(message,
            QStringLiteral("Der Benutzername gehört in die Adresse: %1://benutzer@%2/ordner/.")
                .arg(schemeName, target.host));
    if (target.scheme == Scheme::Http && !IsThisMachine(target.host))
        return Fail(message,
            QStringLiteral("Unverschlüsselt (http://) nur zu diesem Rechner; für %1 bitte https:// verwenden.")
                .arg(target.host));
    if (url.port() == 0)
        return Fail(message, QStringLiteral("Port 0 gibt es nicht."));
    target.port = url.port(info->defaultPort);

    QString folder = url.path(QUrl::FullyDecoded);
    if (folder.isEmpty())
        folder = QStringLiteral("/");
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (HasControlCharacter(folder))
        return Fail(message, QStringLiteral("Der Ordner in der Adresse enthält ein Steuerzeichen."));
    for (const QString& part : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return Fail(message, QStringLiteral("Der Ordner in der Adresse darf kein „.“ oder „..“ enthalten."));
    }
    target.folder = folder;
    return target;
}

bool IsUploadName(const QString& name)
{
    return !name.isEmpty() && name.size() <= 200 && !name.startsWith(QLatin1Char('.'))
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !HasControlCharacter(name);
}

QString TemporaryName(const QString& name)
{
    return QLatin1Char('.') + name + QStringLiteral(".upload");
}

} // namespace upload
