// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Keyring.h"
#include "upload/UploadTarget.h"

#include <QString>

#include <map>
#include <optional>
#include <set>

// The password of an upload target (for SFTP the passphrase of the key) is
// kept in the desktop's keyring, never in the settings file. Without a
// keyring it is asked for once per program start and kept in memory only.
namespace upload {

// Asks the user; the window shows a dialog, tests answer with a double.
class PasswordPrompt {
public:
    virtual ~PasswordPrompt() = default;
    // `note` says in German where the answer will be kept. std::nullopt when
    // the user cancels.
    virtual std::optional<QString> AskPassword(const Target& target, const QString& note) = 0;
};

// Where passwords are kept between program starts.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual platform::KeyringAnswer Lookup(const QString& account) = 0;
    virtual platform::KeyringAnswer Store(const QString& account, const QString& label, const QString& secret) = 0;
    virtual platform::KeyringAnswer Remove(const QString& account) = 0;
};

class DesktopKeyring final : public SecretStore {
public:
    platform::KeyringAnswer Lookup(const QString& account) override;
    platform::KeyringAnswer Store(const QString& account, const QString& label, const QString& secret) override;
    platform::KeyringAnswer Remove(const QString& account) override;
};

struct PasswordAnswer {
    std::optional<QString> password; // none: the user did not give one
    bool inKeyring = false;
    QString note; // German, for the caller to show: where it is kept, or why not
};

class Passwords {
public:
    Passwords(PasswordPrompt& prompt, SecretStore& store);

    // The keyring's password for the target; else the one given since the
    // program started; else the user is asked, once per program start, and
    // the answer goes into the keyring when there is one.
    PasswordAnswer For(const Target& target);
    // The server refused the password: it is forgotten here and in the
    // keyring, so the next For() asks again.
    void Refused(const Target& target);

private:
    PasswordPrompt& m_prompt;
    SecretStore& m_store;
    std::map<QString, QString> m_given;
    std::set<QString> m_asked;
};

} // namespace upload
