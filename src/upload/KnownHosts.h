// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

// The SSH server's key as OpenSSH keeps it in ~/.ssh/known_hosts. The upload
// never trusts a key it has not seen before: it reports the key's
// fingerprint, the user compares it with what the web host publishes, and
// only a key the user accepted is added to the file.
namespace upload {

struct HostKey {
    QByteArray blob; // the key as the server sends it (SSH wire format)
    bool changed = false; // the file holds another key of this type for the host

    bool IsValid() const { return !Type().isEmpty(); }
    // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa", ...: the first field of the blob.
    QString Type() const;
    // "SHA256:" and the unpadded Base64 of the blob's SHA-256, as ssh shows it.
    QString Fingerprint() const;
};

// The host field of a known_hosts line: "host" on port 22, "[host]:port" else.
QString KnownHostsPattern(const QString& host, int port);

// True when the field of a line (a comma list of patterns, or a hashed
// "|1|salt|hash" entry) names this pattern exactly. Wildcards are left to ssh.
bool HostFieldMatches(const QString& field, const QString& pattern);

// The known_hosts text with `key` for the host: lines of the host with a key
// of the same type are removed, other lines (comments, other hosts, other
// key types, markers) kept as they were, and the new line appended.
QByteArray WithHostKey(const QByteArray& knownHosts, const QString& pattern, const HostKey& key);

// The user's file: ~/.ssh/known_hosts.
QString KnownHostsFile();

// Writes `key` for host and port into the file (atomically; creates ~/.ssh
// with mode 0700 when missing). False with the system's reason on failure.
bool AddHostKey(const QString& file, const QString& host, int port, const HostKey& key, QString* reason);

} // namespace upload
