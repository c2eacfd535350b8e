// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QSettings>
#include <QString>

#include <memory>
#include <stdexcept>

namespace platform {

// A value that is missing or not an integer.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The per-user settings store: QSettings in native format with the
// application title as its only name (~/.config/<title>.conf on Linux).
class SettingsStore {
public:
    explicit SettingsStore(const QString& title);
    ~SettingsStore();

    // True when the store holds at least one value (the key "exists").
    bool exists() const;

    // Throws SettingsError when the value is missing or is not an integer.
    int readInteger(const QString& name) const;
    // Reads a string, empty when missing; a hand-written value with commas
    // comes back whole, each comma followed by one blank.
    QString readString(const QString& name) const;
    QStringList childKeys(const QString& group) const;

    void writeInteger(const QString& name, int value);
    void writeString(const QString& name, const QString& value);

    // Writes everything to disk. Throws SettingsError when the store cannot be
    // written (a read-only file or folder, for instance).
    void flush();

    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace platform
