// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// The desktop's keyring (the Secret Service over the session's D-Bus, through
// libsecret): passwords never go into the settings file. Without a session
// bus or without a keyring service (a bare window manager, CI) every call
// says so instead of starting one.
namespace platform {

struct KeyringAnswer {
    bool available = false; // the keyring could be asked
    bool found = false;
    QString secret;
    QString reason; // German, when not available or failed
};

// The secret kept for `account` (for instance an upload address).
KeyringAnswer KeyringLookup(const QString& account);
// Keeps `secret` for `account` under a label the keyring shows its user.
KeyringAnswer KeyringStore(const QString& account, const QString& label, const QString& secret);
KeyringAnswer KeyringRemove(const QString& account);

} // namespace platform
