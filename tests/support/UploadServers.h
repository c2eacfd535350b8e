// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// Real servers for the upload tests and benchmarks, each in a temporary
// folder of its own on a free port of 127.0.0.1: OpenSSH's sshd (SFTP) and
// lighttpd (WebDAV). They end with their object, and with the test program
// even when it crashes (the kernel signals them when it goes).

// Runs a tool to its end; false with its output in `output` when it fails.
bool RunTool(const QString& program, const QStringList& arguments, QString* output = nullptr);

class ServerProcess {
public:
    ServerProcess() = default;
    virtual ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts the server and waits until its port takes connections. False
    // with the reason in error() (the program missing: see Missing()).
    bool Start();
    void Stop();
    bool Running() const;
    quint16 Port() const { return m_port; }
    QString error() const { return m_error; }
    // The folder files are uploaded to, empty at the start.
    QString Folder() const { return m_dir.path() + QStringLiteral("/site"); }
    QString Home() const { return m_dir.path(); }

protected:
    virtual QString Program() const = 0;
    virtual QStringList Arguments() const = 0;
    virtual bool Prepare() = 0;
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    QString m_error;
    bool m_prepared = false;

private:
    std::unique_ptr<QProcess> m_process;
};

class SshServer final : public ServerProcess {
public:
    ~SshServer() override;
    static bool Missing(QString* why);
    // The user the tests log in as (the one running them).
    static QString User();
    // The client's key pair (no passphrase), in authorized_keys.
    QString ClientKey() const { return m_dir.path() + QStringLiteral("/client_ed25519"); }
    // A second key pair the server does not know.
    QString StrangerKey() const { return m_dir.path() + QStringLiteral("/stranger_ed25519"); }
    // "ssh-ed25519 AAAA..." of the server.
    QByteArray HostKeyLine() const;
    // "SHA256:..." as ssh-keygen -l shows it.
    QString HostKeyFingerprint() const;
    // A known_hosts file in the test folder that lists the server.
    QString KnownHostsWithServer() const;
    // sftp://user@127.0.0.1:port/<Folder()>/
    QString Address() const;

protected:
    QString Program() const override { return QStringLiteral("/usr/sbin/sshd"); }
    QStringList Arguments() const override;
    bool Prepare() override;
};

class WebDavServer final : public ServerProcess {
public:
    ~WebDavServer() override;
    static bool Missing(QString* why);
    // With a user and password, writing needs the login (basic).
    void RequireLogin(const QString& user, const QString& password);
    // HTTPS with a certificate of its own, which no one trusts.
    void UseOwnCertificate() { m_tls = true; }
    // http://[user@]127.0.0.1:port/site/ (https:// with the certificate)
    QString Address() const;

protected:
    QString Program() const override { return QStringLiteral("/usr/sbin/lighttpd"); }
    QStringList Arguments() const override;
    bool Prepare() override;

private:
    QString m_user;
    QString m_password;
    bool m_tls = false;
};
