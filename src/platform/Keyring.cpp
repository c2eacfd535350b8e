// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/Keyring.h"

// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <QByteArray>

namespace platform {

namespace {

const SecretSchema* Schema()
{
    static const SecretSchema schema = [] {
        SecretSchema s {};
        s.name = "rennzeit.Upload";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0].name = "account";
        s.attributes[0].type = SECRET_SCHEMA_ATTRIBUTE_STRING;
        return s;
    }();
    return &schema;
}

// libsecret would try to start a bus of its own (through X11) without one;
// that can hang or leave a stray process, so it is not asked at all then.
bool HasSessionBus(KeyringAnswer* answer)
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    answer->reason = QStringLiteral("Kein Schlüsselbund erreichbar (keine D-Bus-Sitzung).");
    return false;
}

// A failure to reach the keyring service at all is "not available", any
// other error (a locked keyring the user would not open) is a failure of an
// available keyring.
void Take(GError* error, KeyringAnswer* answer)
{
    if (!error) {
        answer->available = true;
        return;
    }
    const QString message = QString::fromUtf8(error->message);
    answer->available = !(error->domain == G_DBUS_ERROR || error->domain == G_IO_ERROR);
    answer->reason = answer->available ? QStringLiteral("Schlüsselbund: %1").arg(message)
                                       : QStringLiteral("Kein Schlüsselbund erreichbar (%1).").arg(message);
    g_error_free(error);
}

} // namespace

KeyringAnswer KeyringLookup(const QString& account)
{
    KeyringAnswer answer;
    if (!HasSessionBus(&answer))
        return answer;
    GError* error = nullptr;
    const QByteArray key = account.toUtf8();
    gchar* secret = secret_password_lookup_sync(Schema(), nullptr, &error, "account", key.constData(), nullptr);
    Take(error, &answer);
    if (secret) {
        answer.found = true;
        answer.secret = QString::fromUtf8(secret);
        secret_password_free(secret);
    }
    return answer;
}

KeyringAnswer KeyringStore(const QString& account, const QString& label, const QString& secret)
{
    KeyringAnswer answer;
    if (!HasSessionBus(&answer))
        return answer;
    GError* error = nullptr;
    const QByteArray key = account.toUtf8();
    const QByteArray shown = label.toUtf8();
    const QByteArray value = secret.toUtf8();
    const gboolean stored = secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, shown.constData(),
        value.constData(), nullptr, &error, "account", key.constData(), nullptr);
    Take(error, &answer);
    answer.found = stored;
    return answer;
}

KeyringAnswer KeyringRemove(const QString& account)
{
    KeyringAnswer answer;
    if (!HasSessionBus(&answer))
        return answer;
    GError* error = nullptr;
    const QByteArray key = account.toUtf8();
    answer.found = secret_password_clear_sync(Schema(), nullptr, &error, "account", key.constData(), nullptr);
    Take(error, &answer);
    return answer;
}

} // namespace platform
