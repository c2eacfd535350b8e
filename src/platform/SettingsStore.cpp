// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SettingsStore.h"

#include <QFileInfo>

namespace platform {

SettingsStore::SettingsStore(const QString& title)
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, title))
{
}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::exists() const
{
    return !m_settings->allKeys().isEmpty();
}

int SettingsStore::readInteger(const QString& name) const
{
    const QVariant v = m_settings->value(name);
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
    const QVariant value = m_settings->value(name);
    // A text with commas typed into the file by hand, without the quotes
    // written around it, reads as a list of its parts, their blanks trimmed:
    // joined again as such a text is usually typed.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
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
    m_settings->setValue(name, value);
}

void SettingsStore::writeString(const QString& name, const QString& value)
{
    m_settings->setValue(name, value);
}

void SettingsStore::flush()
{
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        throw SettingsError(
            "Die Einstellungen konnten nicht gespeichert werden: " + m_settings->fileName().toStdString());
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

} // namespace platform
