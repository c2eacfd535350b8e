// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "upload/Passwords.h"

namespace upload {

platform::KeyringAnswer DesktopKeyring::Lookup(const QString& account)
{
    return platform::KeyringLookup(account);
}

platform::KeyringAnswer DesktopKeyring::Store(const QString& account, const QString& label, const QString& secret)
{
    return platform::KeyringStore(account, label, secret);
}

platform::KeyringAnswer DesktopKeyring::Remove(const QString& account)
{
    return platform::KeyringRemove(account);
}

Passwords::Passwords(PasswordPrompt& prompt, SecretStore& store)
    : m_prompt(prompt)
    , m_store(store)
{
}

PasswordAnswer Passwords::For(const Target& target)
{
    const QString account = target.Address();
    PasswordAnswer answer;
    const platform::KeyringAnswer kept = m_store.Lookup(account);
    if (kept.found) {
        answer.password = kept.secret;
        answer.inKeyring = true;
        return answer;
    }
    if (const auto given = m_given.find(account); given != m_given.end()) {
        answer.password = given->second;
        answer.note = kept.reason;
        return answer;
    }
    if (m_asked.count(account)) {
        answer.note = QStringLiteral("Kein Passwort für %1 angegeben.").arg(account);
        return answer;
    }
    m_asked.insert(account);
    const QString note = kept.available
        ? QStringLiteral("Das Passwort wird im Schlüsselbund des Desktops aufbewahrt.")
        : QStringLiteral("%1 Das Passwort gilt nur bis zum Ende des Programms.").arg(kept.reason);
    answer.password = m_prompt.AskPassword(target, note);
    if (!answer.password) {
        answer.note = QStringLiteral("Kein Passwort für %1 angegeben.").arg(account);
        return answer;
    }
    if (kept.available) {
        const platform::KeyringAnswer stored
            = m_store.Store(account, QStringLiteral("Rennzeit: Hochladen nach %1").arg(account), *answer.password);
        answer.inKeyring = stored.available && stored.found;
        answer.note = answer.inKeyring ? note : stored.reason;
    } else {
        answer.note = note;
    }
    if (!answer.inKeyring)
        m_given[account] = *answer.password;
    return answer;
}

void Passwords::Refused(const Target& target)
{
    const QString account = target.Address();
    m_given.erase(account);
    m_asked.erase(account);
    m_store.Remove(account);
}

} // namespace upload
