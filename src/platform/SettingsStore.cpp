// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SettingsStore.h"

#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace platform {

SettingsStore::SettingsStore(const QString& title)
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, title))
{
}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::exists() const
{
    return !m_written.isEmpty() || !m_settings->allKeys().isEmpty();
}

QVariant SettingsStore::value(const QString& name) const
{
    const auto written = m_written.constFind(name);
    return written != m_written.cend() ? *written : m_settings->value(name);
}

int SettingsStore::readInteger(const QString& name) const
{
    const QVariant v = value(name);
    if (!v.isValid())
        throw SettingsError("missing value: " + name.toStdString());
    bool ok = false;
    const int i = v.toString().trimmed().toInt(&ok);
    if (!ok)
        throw SettingsError("not an integer: " + name.toStdString());
    return i;
}

QString SettingsStore::readString(const QString& name) const
{
    const QVariant v = value(name);
    // A text with commas typed into the file by hand, without the quotes
    // written around it, reads as a list of its parts, their blanks trimmed:
    // joined again as such a text is usually typed.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

QStringList SettingsStore::childKeys(const QString& group) const
{
    m_settings->beginGroup(group);
    QStringList keys = m_settings->childKeys();
    m_settings->endGroup();
    return keys;
}

void SettingsStore::writeInteger(const QString& name, int value)
{
    m_written.insert(name, value);
}

void SettingsStore::writeString(const QString& name, const QString& value)
{
    m_written.insert(name, value);
}

void SettingsStore::flush()
{
    if (m_written.isEmpty())
        return;
    const QString target = fileName();
    const auto failed = [&target](const QString& reason) {
        return SettingsError(QStringLiteral("Die Einstellungen konnten nicht gespeichert werden: %1\n%2")
                                 .arg(target, reason)
                                 .toStdString());
    };
    // The toolkit makes the text of the file (its format, its escapes) in a
    // private copy; the copy is read back before it replaces the store, so a
    // copy the temporary folder cut short never does.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        throw failed(scratch.errorString());
    const QString copy = scratch.filePath(QStringLiteral("settings.conf"));
    if (QFileInfo::exists(target) && !QFile::copy(target, copy))
        throw failed(QStringLiteral("die Datei kann nicht gelesen werden"));
    {
        QSettings text(copy, QSettings::IniFormat);
        for (auto i = m_written.cbegin(); i != m_written.cend(); ++i)
            text.setValue(i.key(), i.value());
        text.sync();
        if (text.status() != QSettings::NoError)
            throw failed(QStringLiteral("der temporäre Ordner nimmt sie nicht an"));
    }
    const QSettings check(copy, QSettings::IniFormat);
    for (auto i = m_written.cbegin(); i != m_written.cend(); ++i)
        if (check.value(i.key()).toString() != i.value().toString())
            throw failed(QStringLiteral("der temporäre Ordner nimmt sie nicht ganz an"));
    QByteArray bytes;
    QString reason;
    if (!ReadWholeFile(copy, &bytes, &reason))
        throw failed(reason);
    if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !WriteFileAtomically(target, bytes, &reason))
        throw failed(reason.isEmpty() ? QStringLiteral("der Ordner kann nicht angelegt werden") : reason);
    m_written.clear();
    // Read again from the file as it is now.
    m_settings = std::make_unique<QSettings>(m_settings->format(), m_settings->scope(), m_settings->organizationName());
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

} // namespace platform
