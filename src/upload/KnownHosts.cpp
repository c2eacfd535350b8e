// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "upload/KnownHosts.h"

#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMessageAuthenticationCode>

namespace upload {

QString HostKey::Type() const
{
    if (blob.size() < 4)
        return {};
    const auto* b = reinterpret_cast<const unsigned char*>(blob.constData());
    const quint32 length = (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
    if (length == 0 || length > 64 || length > quint32(blob.size() - 4))
        return {};
    const QByteArray name = blob.mid(4, int(length));
    for (const char c : name) {
        if (c <= ' ' || c > '~')
            return {};
    }
    return QString::fromLatin1(name);
}

QString HostKey::Fingerprint() const
{
    QByteArray digest = QCryptographicHash::hash(blob, QCryptographicHash::Sha256).toBase64();
    while (digest.endsWith('='))
        digest.chop(1);
    return QStringLiteral("SHA256:") + QString::fromLatin1(digest);
}

QString KnownHostsPattern(const QString& host, int port)
{
    if (port == 22)
        return host;
    return QLatin1Char('[') + host + QStringLiteral("]:") + QString::number(port);
}

bool HostFieldMatches(const QString& field, const QString& pattern)
{
    if (field.startsWith(QLatin1String("|1|"))) {
        const QStringList parts = field.split(QLatin1Char('|'));
        if (parts.size() != 4)
            return false;
        const QByteArray salt = QByteArray::fromBase64(parts[2].toLatin1());
        const QByteArray hash = QByteArray::fromBase64(parts[3].toLatin1());
        return !salt.isEmpty()
            && QMessageAuthenticationCode::hash(pattern.toUtf8(), salt, QCryptographicHash::Sha1) == hash;
    }
    for (const QString& one : field.split(QLatin1Char(','))) {
        if (one.compare(pattern, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray WithHostKey(const QByteArray& knownHosts, const QString& pattern, const HostKey& key)
{
    const QByteArray type = key.Type().toLatin1();
    QByteArray out;
    const QList<QByteArray> lines = knownHosts.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (i == lines.size() - 1 && line.isEmpty())
            break;
        const QList<QByteArray> fields = line.simplified().split(' ');
        // A marker line (@revoked, @cert-authority) is the user's own decision: kept.
        const bool replaced = fields.size() >= 3 && !fields[0].startsWith('@') && !fields[0].startsWith('#')
            && fields[1] == type && HostFieldMatches(QString::fromLatin1(fields[0]), pattern);
        if (!replaced)
            out += line + '\n';
    }
    out += pattern.toUtf8() + ' ' + type + ' ' + key.blob.toBase64() + '\n';
    return out;
}

QString KnownHostsFile()
{
    return QDir::homePath() + QStringLiteral("/.ssh/known_hosts");
}

bool AddHostKey(const QString& file, const QString& host, int port, const HostKey& key, QString* reason)
{
    if (!key.IsValid()) {
        if (reason)
            *reason = QStringLiteral("Der Schlüssel des Servers ist unlesbar.");
        return false;
    }
    const QString folder = QFileInfo(file).absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder)) {
            if (reason)
                *reason = QStringLiteral("Ordner %1 lässt sich nicht anlegen.").arg(folder);
            return false;
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QByteArray before;
    if (QFileInfo::exists(file) && !platform::ReadWholeFile(file, &before, reason))
        return false;
    return platform::WriteFileAtomically(file, WithHostKey(before, KnownHostsPattern(host, port), key), reason);
}

} // namespace upload
