// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMap>
#include <QSettings>
#include <QString>
#include <QVariant>

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
// Written values wait in the store until flush() replaces the file in one
// step, as every file of the program is replaced (WriteFileAtomically): a
// crash or a full disk leaves the settings as they were, never half a file.
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
    // Whether the store holds a value for the name (written or not yet flushed).
    bool contains(const QString& name) const { return value(name).isValid(); }

    void writeInteger(const QString& name, int value);
    void writeString(const QString& name, const QString& value);

    // Writes everything to disk. Throws SettingsError, with the system's
    // reason, when the store cannot be written (a full disk, a read-only file
    // or folder); the file on the disk then stays as it was.
    void flush();

    QString fileName() const;

private:
    QVariant value(const QString& name) const;

    std::unique_ptr<QSettings> m_settings; // read only: it never writes the file itself
    QMap<QString, QVariant> m_written; // what flush() has yet to write
};

} // namespace platform
