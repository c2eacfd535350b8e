// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/UploadServers.h"

#include "support/HttpProbe.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

bool WriteText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

QByteArray ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool PortAnswers(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return socket.waitForConnected(200);
}

} // namespace

bool RunTool(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ok
        = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()) + process.errorString();
    return ok;
}

ServerProcess::~ServerProcess()
{
    Stop();
}

bool ServerProcess::Start()
{
    if (!m_prepared) {
        if (!m_dir.isValid()) {
            m_error = QStringLiteral("no temporary folder");
            return false;
        }
        QDir().mkpath(Folder());
        m_port = FreeTcpPort();
        if (!Prepare())
            return false;
        m_prepared = true;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(m_dir.path() + QStringLiteral("/server.log"), QIODevice::Append);
    // The server goes when the test program goes, however it ends.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process->start(Program(), Arguments());
    if (!m_process->waitForStarted(10000)) {
        m_error = Program() + QStringLiteral(": ") + m_process->errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_process->state() != QProcess::Running) {
            m_error = Program() + QStringLiteral(" ended: ")
                + QString::fromLocal8Bit(ReadText(m_dir.path() + QStringLiteral("/server.log")));
            return false;
        }
        if (PortAnswers(m_port))
            return true;
        QThread::msleep(20);
    }
    m_error = Program() + QStringLiteral(" did not open its port: ")
        + QString::fromLocal8Bit(ReadText(m_dir.path() + QStringLiteral("/server.log")));
    return false;
}

void ServerProcess::Stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    m_process.reset();
}

bool ServerProcess::Running() const
{
    return m_process && m_process->state() == QProcess::Running;
}

// ---------------------------------------------------------------------------

SshServer::~SshServer()
{
    Stop();
}

bool SshServer::Missing(QString* why)
{
    for (const char* tool : { "/usr/sbin/sshd", "/usr/bin/ssh-keygen" }) {
        if (!QFileInfo(QString::fromLatin1(tool)).isExecutable()) {
            *why = QStringLiteral("%1 missing (scripts/install-deps.sh --tests installs openssh-server)").arg(tool);
            return true;
        }
    }
    return false;
}

QString SshServer::User()
{
    const passwd* entry = ::getpwuid(::getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : qEnvironmentVariable("USER");
}

QStringList SshServer::Arguments() const
{
    return { QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"),
        m_dir.path() + QStringLiteral("/sshd_config") };
}

bool SshServer::Prepare()
{
    const QString dir = m_dir.path();
    for (const QString& key :
        { QStringLiteral("host_ed25519"), QStringLiteral("client_ed25519"), QStringLiteral("stranger_ed25519") }) {
        QString output;
        if (!RunTool(QStringLiteral("/usr/bin/ssh-keygen"),
                { QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"),
                    QString(), QStringLiteral("-C"), key, QStringLiteral("-f"), dir + QLatin1Char('/') + key },
                &output)) {
            m_error = QStringLiteral("ssh-keygen: ") + output;
            return false;
        }
    }
    WriteText(dir + QStringLiteral("/authorized_keys"), ReadText(ClientKey() + QStringLiteral(".pub")));
    // sshd insists on its privilege-separation folder even when it runs as root.
    if (::getuid() == 0)
        QDir().mkpath(QStringLiteral("/run/sshd"));
    const QByteArray config = QStringLiteral("Port %1\n"
                                             "ListenAddress 127.0.0.1\n"
                                             "HostKey %2/host_ed25519\n"
                                             "PidFile %2/sshd.pid\n"
                                             "AuthorizedKeysFile %2/authorized_keys\n"
                                             "StrictModes no\n"
                                             "UsePAM no\n"
                                             "PasswordAuthentication no\n"
                                             "KbdInteractiveAuthentication no\n"
                                             "PubkeyAuthentication yes\n"
                                             "PermitRootLogin prohibit-password\n"
                                             "MaxStartups 50\n"
                                             "LogLevel ERROR\n"
                                             "Subsystem sftp internal-sftp\n")
                                  .arg(m_port)
                                  .arg(dir)
                                  .toUtf8();
    if (!WriteText(dir + QStringLiteral("/sshd_config"), config)) {
        m_error = QStringLiteral("sshd_config not written");
        return false;
    }
    return true;
}

QByteArray SshServer::HostKeyLine() const
{
    const QList<QByteArray> fields = ReadText(m_dir.path() + QStringLiteral("/host_ed25519.pub")).trimmed().split(' ');
    return fields.size() >= 2 ? fields[0] + ' ' + fields[1] : QByteArray();
}

QString SshServer::HostKeyFingerprint() const
{
    QString output;
    RunTool(QStringLiteral("/usr/bin/ssh-keygen"),
        { QStringLiteral("-l"), QStringLiteral("-f"), m_dir.path() + QStringLiteral("/host_ed25519.pub") }, &output);
    const QStringList fields = output.split(QLatin1Char(' '));
    return fields.size() >= 2 ? fields[1] : QString();
}

QString SshServer::KnownHostsWithServer() const
{
    const QString path = m_dir.path() + QStringLiteral("/known_hosts");
    WriteText(path, QStringLiteral("[127.0.0.1]:%1 ").arg(m_port).toUtf8() + HostKeyLine() + '\n');
    return path;
}

QString SshServer::Address() const
{
    return QStringLiteral("sftp://%1@127.0.0.1:%2%3/").arg(User()).arg(m_port).arg(Folder());
}

// ---------------------------------------------------------------------------

WebDavServer::~WebDavServer()
{
    Stop();
}

bool WebDavServer::Missing(QString* why)
{
    if (!QFileInfo(QStringLiteral("/usr/sbin/lighttpd")).isExecutable()
        || !QFileInfo::exists(QStringLiteral("/usr/lib/lighttpd/mod_webdav.so"))
        || !QFileInfo::exists(QStringLiteral("/usr/lib/lighttpd/mod_openssl.so"))) {
        *why = QStringLiteral("lighttpd with mod_webdav and mod_openssl missing (scripts/install-deps.sh --tests "
                              "installs them)");
        return true;
    }
    return false;
}

void WebDavServer::RequireLogin(const QString& user, const QString& password)
{
    m_user = user;
    m_password = password;
}

QStringList WebDavServer::Arguments() const
{
    return { QStringLiteral("-D"), QStringLiteral("-f"), m_dir.path() + QStringLiteral("/lighttpd.conf") };
}

bool WebDavServer::Prepare()
{
    const QString dir = m_dir.path();
    QDir().mkpath(dir + QStringLiteral("/uploads"));
    QByteArray config
        = QStringLiteral("server.document-root = \"%1\"\n"
                         "server.port = %2\n"
                         "server.bind = \"127.0.0.1\"\n"
                         "server.errorlog = \"%1/../lighttpd-error.log\"\n"
                         "server.upload-dirs = ( \"%1/../uploads\" )\n"
                         "server.modules = ( \"mod_webdav\", \"mod_auth\", \"mod_authn_file\" )\n"
                         "mimetype.assign = ( \".json\" => \"application/json\", \".html\" => \"text/html\" )\n"
                         "webdav.activate = \"enable\"\n"
                         "webdav.is-readonly = \"disable\"\n")
              .arg(Folder().section(QLatin1Char('/'), 0, -2))
              .arg(m_port)
              .toUtf8();
    if (m_tls) {
        QString output;
        if (!RunTool(QStringLiteral("openssl"),
                { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                    QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                    QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"),
                    dir + QStringLiteral("/tls.key"), QStringLiteral("-out"), dir + QStringLiteral("/tls.crt") },
                &output)) {
            m_error = QStringLiteral("openssl: ") + output;
            return false;
        }
        config += QStringLiteral("server.modules += ( \"mod_openssl\" )\n"
                                 "ssl.engine = \"enable\"\n"
                                 "ssl.pemfile = \"%1/tls.crt\"\n"
                                 "ssl.privkey = \"%1/tls.key\"\n")
                      .arg(dir)
                      .toUtf8();
    }
    if (!m_user.isEmpty()) {
        WriteText(
            dir + QStringLiteral("/users"), (m_user + QLatin1Char(':') + m_password + QLatin1Char('\n')).toUtf8());
        config += QStringLiteral("auth.backend = \"plain\"\n"
                                 "auth.backend.plain.userfile = \"%1/users\"\n"
                                 "auth.require = ( \"/\" => ( \"method\" => \"basic\", \"realm\" => \"upload\", "
                                 "\"require\" => \"valid-user\" ) )\n")
                      .arg(dir)
                      .toUtf8();
    }
    if (!WriteText(dir + QStringLiteral("/lighttpd.conf"), config)) {
        m_error = QStringLiteral("lighttpd.conf not written");
        return false;
    }
    return true;
}

QString WebDavServer::Address() const
{
    const QString user = m_user.isEmpty() ? QString() : m_user + QLatin1Char('@');
    return (m_tls ? QStringLiteral("https://") : QStringLiteral("http://")) + user
        + QStringLiteral("127.0.0.1:%1/site/").arg(m_port);
}
