// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <optional>

// Where the results go: a folder on the club's web host, given as one
// address.
//   sftp://user@host[:port]/folder/    SSH with a key; "/~/folder/" is a folder
//                                      in the user's home
//   https://[user@]host[:port]/folder/ WebDAV (PUT, MOVE)
//   ftps://user@host[:port]/folder/    FTP over TLS from the first byte (990)
//   ftpes://user@host[:port]/folder/   FTP that switches to TLS (AUTH TLS, 21)
//   http://[user@]localhost/folder/    WebDAV without TLS, for this machine only
namespace upload {

enum class Scheme { Sftp, Https, Http, Ftps, Ftpes };

struct Target {
    Scheme scheme = Scheme::Sftp;
    QString user;
    QString host; // without brackets, also for IPv6
    int port = 0; // the scheme's default when the address gives none
    QString folder; // begins and ends with '/', not percent-encoded

    // The address in its normal form, as the settings keep it.
    QString Address() const;
    // What libcurl is given for a file in the folder (percent-encoded, no user).
    QByteArray FileUrl(const QString& name) const;
    // "host:port", for messages.
    QString HostAndPort() const;
    bool IsSsh() const { return scheme == Scheme::Sftp; }
    bool IsWebDav() const { return scheme == Scheme::Https || scheme == Scheme::Http; }
    bool IsFtp() const { return scheme == Scheme::Ftps || scheme == Scheme::Ftpes; }
    // The folder's path on the server as SSH commands take it: absolute, or
    // relative to the home for "/~/...".
    QString SshPath(const QString& name) const;

    bool operator==(const Target&) const = default;
};

// The address read and checked. On failure std::nullopt, and `message` says
// in German what is wrong with it.
std::optional<Target> ParseTarget(const QString& address, QString* message);

// A file name the outbox may upload: no folder part, no control character,
// not hidden (hidden names are its temporary files).
bool IsUploadName(const QString& name);

// The temporary name a file is written to before it takes its own name.
QString TemporaryName(const QString& name);

} // namespace upload
