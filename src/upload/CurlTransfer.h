// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "upload/KnownHosts.h"
#include "upload/UploadTarget.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

// The transfers themselves, through libcurl: each file goes to its temporary
// name in the target folder and then takes its own name, so a reader finds
// either the old file or the new one, never part of one. Blocking: the outbox
// runs them on its own thread; Cancel() ends one from any thread at once.
namespace upload {

struct Login {
    QString keyFile; // SSH: the private key; empty: the user's usual key
    QString password; // SSH: the key's passphrase; otherwise the login password
    QString acceptedFingerprint; // a server key the user has accepted ("SHA256:...")
    QString knownHostsFile; // empty: ~/.ssh/known_hosts
};

// How long a silent server is given. A connection (with the SSH or TLS
// handshake and the login) must stand within `connect`; after that, a
// transfer that moves no byte and gets no answer for `stall` is given up.
struct Limits {
    std::chrono::milliseconds connect { 15000 };
    std::chrono::milliseconds stall { 20000 };
};

enum class Failure {
    None,
    Unreachable, // no connection at all: refused, no route, name unknown
    TimedOut, // connected, then the server fell silent
    HostKeyUnknown,
    HostKeyChanged,
    Login, // the server refused the login or key
    Server, // the server refused a file or a rename (rights, space, folder)
    Local, // something on this machine: key file missing, ...
    Cancelled,
    Other,
};

struct FileToSend {
    QString name;
    QByteArray bytes;
};

struct TransferResult {
    Failure failure = Failure::None;
    QString reason; // German, for the header and the settings dialog; empty on success
    HostKey hostKey; // the server's key, for the two host-key failures
    int filesSent = 0; // files that took their names before the failure
    bool Ok() const { return failure == Failure::None; }
};

class Transfer {
public:
    Transfer(Target target, Login login, Limits limits);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Sends the files in order over one connection; stops at the first
    // failure.
    TransferResult Send(const std::vector<FileToSend>& files);
    // The settings dialog's test: logs in, writes a small file through the
    // same temporary name and rename, and removes it again.
    TransferResult Try();
    // Whether the server's port takes a TCP connection (nothing is sent).
    bool PortAnswers();
    // Ends the running call with Failure::Cancelled; callable from any thread.
    void Cancel();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Starts libcurl once for the program; every Transfer calls it.
void PrepareTransfers();

// The user's usual SSH key: the first of id_ed25519, id_ecdsa and id_rsa in
// ~/.ssh; empty when there is none.
QString DefaultKeyFile();
// True when the private key file is protected by a passphrase.
bool KeyNeedsPassphrase(const QString& keyFile);
// Whether a login to the target needs a password (or a key's passphrase).
bool NeedsPassword(const Target& target, const QString& keyFile);

} // namespace upload
