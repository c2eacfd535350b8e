// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/HttpProbe.h"
#include "support/TestSupport.h"
#include "support/UploadServers.h"
#include "upload/CurlTransfer.h"
#include "upload/Outbox.h"
#include "upload/UploadTarget.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

upload::Target Parsed(const QString& address)
{
    QString message;
    const std::optional<upload::Target> target = upload::ParseTarget(address, &message);
    if (!target)
        qWarning() << address << message;
    return target.value_or(upload::Target {});
}

// A version of a file that says whether it arrived whole: its first line
// names the version and its length, its last line the version again.
QByteArray Version(int n, int size)
{
    QByteArray head = "version " + QByteArray::number(n) + " length " + QByteArray::number(size) + "\n";
    QByteArray tail = "\nend " + QByteArray::number(n) + "\n";
    QByteArray body(size - head.size() - tail.size(), char('a' + n % 26));
    return head + body + tail;
}

// The version number of a whole file; -1 for part of one.
int WholeVersion(const QByteArray& bytes)
{
    const qsizetype lineEnd = bytes.indexOf('\n');
    const QList<QByteArray> head = bytes.left(lineEnd).split(' ');
    if (head.size() != 4 || head[0] != "version" || head[2] != "length")
        return -1;
    if (bytes.size() != head[3].toInt() || !bytes.endsWith("\nend " + head[1] + "\n"))
        return -1;
    return head[1].toInt();
}

upload::Timing Quick()
{
    upload::Timing timing;
    timing.settle = 100ms;
    timing.coalesce = 300ms;
    timing.firstBackoff = 500ms;
    timing.maxBackoff = 4000ms;
    timing.probe = 500ms;
    timing.limits.connect = 5000ms;
    timing.limits.stall = 5000ms;
    return timing;
}

QStringList NamesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class TestUploadServers : public QObject {
    Q_OBJECT

    SshServer m_ssh;
    WebDavServer m_dav;
    QTemporaryDir m_home;

    upload::Login SshLogin() const
    {
        upload::Login login;
        login.keyFile = m_ssh.ClientKey();
        login.knownHostsFile = m_ssh.KnownHostsWithServer();
        return login;
    }
    upload::Target SftpTarget(const QString& folder) const
    {
        return Parsed(m_ssh.Address() + folder + QLatin1Char('/'));
    }
    QString SftpFolder(const QString& folder) const { return m_ssh.Folder() + QLatin1Char('/') + folder; }
    upload::Target DavTarget(const QString& folder) const
    {
        QDir().mkpath(m_dav.Folder() + QLatin1Char('/') + folder);
        return Parsed(m_dav.Address() + folder + QLatin1Char('/'));
    }
    QString DavFolder(const QString& folder) const { return m_dav.Folder() + QLatin1Char('/') + folder; }

private slots:
    void initTestCase()
    {
        QString why;
        if (SshServer::Missing(&why) || WebDavServer::Missing(&why))
            QSKIP(qPrintable(why));
        QVERIFY2(m_ssh.Start(), qPrintable(m_ssh.error()));
        QVERIFY2(m_dav.Start(), qPrintable(m_dav.error()));
    }

    // A burst of changes goes out in one round, with the newest version of
    // each file only; a later change goes out on its own. The folder is
    // made on the way and holds no temporary file afterwards.
    void changes_arriveInOneRound_newestVersionOnly()
    {
        upload::Timing timing = Quick();
        timing.settle = 1000ms;
        timing.coalesce = 1000ms;
        upload::Outbox outbox(timing);
        outbox.SetTarget(SftpTarget("burst"), SshLogin());
        for (int n = 1; n <= 30; ++n)
            QVERIFY(outbox.Put("results.json", Version(n, 2000)));
        QVERIFY(outbox.Put("index.html", "<html>Ergebnisse</html>"));
        QVERIFY(!outbox.Put("../etc/passwd", "x"));
        const QString folder = SftpFolder("burst");
        QTRY_COMPARE_WITH_TIMEOUT(outbox.Status().waiting, 0, 10000);
        QCOMPARE(ReadFileBytes(folder + "/index.html"), QByteArray("<html>Ergebnisse</html>"));
        QCOMPARE(WholeVersion(ReadFileBytes(folder + "/results.json")), 30);
        upload::UploadStatus status = outbox.Status();
        QCOMPARE(status.rounds, quint64(1));
        QCOMPARE(status.filesSent, quint64(2));
        QVERIFY(!status.Failing());
        QVERIFY2(upload::StatusText(status).endsWith(" ok"), qPrintable(upload::StatusText(status)));
        QCOMPARE(NamesIn(folder), QStringList({ "index.html", "results.json" }));
        QVERIFY(QFileInfo(folder + "/results.json").permissions() & QFile::ReadOther);

        QVERIFY(outbox.Put("results.json", Version(31, 2000)));
        QVERIFY(outbox.Put("index.html", "<html>Ergebnisse</html>"));
        QTRY_COMPARE_WITH_TIMEOUT(outbox.Status().waiting, 0, 10000);
        QCOMPARE(WholeVersion(ReadFileBytes(folder + "/results.json")), 31);
        status = outbox.Status();
        QCOMPARE(status.rounds, quint64(2));
        QCOMPARE(status.filesSent, quint64(3));

        // A change every 100 ms for 3 s: rounds stay `coalesce` apart.
        QElapsedTimer clock;
        clock.start();
        int n = 32;
        while (clock.elapsed() < 3000) {
            outbox.Put("results.json", Version(n++, 2000));
            QTest::qWait(100);
        }
        QTRY_COMPARE_WITH_TIMEOUT(outbox.Status().waiting, 0, 10000);
        QCOMPARE(WholeVersion(ReadFileBytes(folder + "/results.json")), n - 1);
        const quint64 rounds = outbox.Status().rounds - 2;
        QVERIFY2(rounds >= 2 && rounds <= 5, qPrintable(QString::number(rounds)));
    }

    // Someone reading the file on the server while new versions arrive gets
    // an old or a new version, never a part of one. WebDAV's MOVE replaces
    // the file in one step; OpenSSH's SFTP renames only onto a free name, so
    // there the file may be missing for the moment between the removal of
    // the old and the rename of the new one.
    void reader_neverSeesPartOfAFile_data()
    {
        QTest::addColumn<bool>("webDav");
        QTest::newRow("sftp") << false;
        QTest::newRow("webdav") << true;
    }
    void reader_neverSeesPartOfAFile()
    {
        QFETCH(bool, webDav);
        const QString folder = webDav ? DavFolder("reader") : SftpFolder("reader");
        upload::Timing timing = Quick();
        timing.settle = 50ms;
        timing.coalesce = 100ms;
        upload::Outbox outbox(timing);
        outbox.SetTarget(webDav ? DavTarget("reader") : SftpTarget("reader"), SshLogin());
        constexpr int kSize = 3 * 1024 * 1024;
        constexpr int kVersions = 6;

        std::atomic<bool> stop { false };
        std::atomic<int> whole { 0 }, partial { 0 }, missing { 0 }, newest { 0 }, gaps { 0 };
        std::thread reader([&] {
            while (!stop.load()) {
                QFile file(folder + "/results.json");
                if (!file.open(QIODevice::ReadOnly)) {
                    ++(whole.load() > 0 ? gaps : missing);
                    std::this_thread::sleep_for(1ms);
                    continue;
                }
                const int version = WholeVersion(file.readAll());
                if (version < 0) {
                    ++partial;
                } else {
                    ++whole;
                    newest = std::max(newest.load(), version);
                }
            }
        });
        for (int n = 1; n <= kVersions; ++n) {
            outbox.Put("results.json", Version(n, kSize));
            QTRY_VERIFY_WITH_TIMEOUT(newest.load() >= n, 20000);
        }
        stop = true;
        reader.join();
        qInfo("reads: %d whole, %d partial, %d before the first, %d missing between versions", whole.load(),
            partial.load(), missing.load(), gaps.load());
        QCOMPARE(partial.load(), 0);
        if (webDav)
            QCOMPARE(gaps.load(), 0);
        QVERIFY(whole.load() >= kVersions);
        QTRY_COMPARE(outbox.Status().waiting, 0);
        QCOMPARE(NamesIn(folder), QStringList({ "results.json" }));
    }

    // The server goes away for half a minute while the race goes on. The
    // pauses between rounds double as they should, and once it is back the
    // newest results are there within seconds, not after the next pause.
    void serverAwayForHalfAMinute_getsTheNewestWithinSecondsOfComingBack()
    {
        upload::Timing timing; // the program's own schedule
        timing.limits.connect = 5000ms;
        upload::Outbox outbox(timing);
        const QString folder = SftpFolder("outage");
        outbox.SetTarget(SftpTarget("outage"), SshLogin());
        outbox.Put("results.json", Version(0, 5000));
        QTRY_COMPARE_WITH_TIMEOUT(WholeVersion(ReadFileBytes(folder + "/results.json")), 0, 10000);

        m_ssh.Stop();
        // The server comes back for the tests after this one, whatever fails here.
        const auto restart = qScopeGuard([this] {
            if (!m_ssh.Running())
                m_ssh.Start();
        });
        QElapsedTimer away;
        away.start();
        int version = 0;
        int worstFailures = 0;
        std::chrono::milliseconds longestPause { 0 };
        while (away.elapsed() < 30000) {
            if (away.elapsed() > version * 3000)
                outbox.Put("results.json", Version(++version, 5000));
            QTest::qWait(100);
            const upload::UploadStatus status = outbox.Status();
            worstFailures = std::max(worstFailures, status.failures);
            longestPause = std::max(longestPause, status.retryIn);
        }
        const upload::UploadStatus during = outbox.Status();
        QVERIFY(during.Failing());
        QVERIFY2(during.reason.contains("lehnt die Verbindung ab"), qPrintable(during.reason));
        QVERIFY2(upload::StatusText(during).startsWith("Upload: 127.0.0.1:"), qPrintable(upload::StatusText(during)));
        // Pauses of 2, 4, 8 and 16 s: four or five rounds in 30 s, not one
        // every two seconds.
        QVERIFY2(during.rounds >= 4 && during.rounds <= 6, qPrintable(QString::number(during.rounds)));
        QCOMPARE(worstFailures, int(during.rounds) - 1);
        QVERIFY2(longestPause > 8s && longestPause <= 16s, qPrintable(QString::number(longestPause.count())));

        QVERIFY2(m_ssh.Start(), qPrintable(m_ssh.error()));
        QElapsedTimer back;
        back.start();
        QTRY_COMPARE_WITH_TIMEOUT(WholeVersion(ReadFileBytes(folder + "/results.json")), version, 15000);
        qInfo("the newest results arrived %lld ms after the server came back", back.elapsed());
        QVERIFY2(back.elapsed() < 6000, qPrintable(QString::number(back.elapsed())));
        QTRY_VERIFY(!outbox.Status().Failing());
    }

    // RetryNow does not wait for the pause.
    void retryNow_startsARoundAtOnce()
    {
        upload::Timing timing = Quick();
        timing.firstBackoff = 120s;
        timing.probe = 120s;
        upload::Outbox outbox(timing);
        const quint16 port = FreeTcpPort();
        upload::Target target = SftpTarget("retry");
        target.port = port;
        outbox.SetTarget(target, SshLogin());
        outbox.Put("results.json", "1");
        QTRY_VERIFY_WITH_TIMEOUT(outbox.Status().Failing(), 10000);
        QCOMPARE(outbox.Status().failure, upload::Failure::Unreachable);
        outbox.SetTarget(SftpTarget("retry"), SshLogin());
        QTRY_COMPARE_WITH_TIMEOUT(ReadFileBytes(SftpFolder("retry") + "/results.json"), QByteArray("1"), 10000);

        m_ssh.Stop();
        outbox.Put("results.json", "2");
        QTRY_VERIFY_WITH_TIMEOUT(outbox.Status().Failing(), 10000);
        QVERIFY(outbox.Status().retryIn > 60s);
        QVERIFY2(m_ssh.Start(), qPrintable(m_ssh.error()));
        outbox.RetryNow();
        QTRY_COMPARE_WITH_TIMEOUT(ReadFileBytes(SftpFolder("retry") + "/results.json"), QByteArray("2"), 10000);
    }

    // A server never seen before gets nothing until the user accepts its
    // key; then the key goes into known_hosts and the files follow.
    void unknownHostKey_isRefusedUntilTheUserAcceptsIt()
    {
        QTemporaryDir dir;
        upload::Login login = SshLogin();
        login.knownHostsFile = dir.filePath("ssh/known_hosts");
        upload::Outbox outbox(Quick());
        outbox.SetTarget(SftpTarget("newkey"), login);
        outbox.Put("results.json", "neu");
        QTRY_COMPARE_WITH_TIMEOUT(outbox.Status().failure, upload::Failure::HostKeyUnknown, 10000);
        const upload::UploadStatus status = outbox.Status();
        QCOMPARE(status.hostKey.Fingerprint(), m_ssh.HostKeyFingerprint());
        QVERIFY2(status.reason.contains(m_ssh.HostKeyFingerprint()), qPrintable(status.reason));
        QVERIFY2(status.reason.contains("Unbekannter Server"), qPrintable(status.reason));
        QTest::qWait(1500);
        QCOMPARE(outbox.Status().rounds, quint64(1));
        QVERIFY(!QFile::exists(SftpFolder("newkey") + "/results.json"));
        QVERIFY(!QFile::exists(login.knownHostsFile));

        outbox.AcceptHostKey(status.hostKey.Fingerprint());
        QTRY_COMPARE_WITH_TIMEOUT(ReadFileBytes(SftpFolder("newkey") + "/results.json"), QByteArray("neu"), 10000);
        QCOMPARE(ReadFileBytes(login.knownHostsFile),
            QStringLiteral("[127.0.0.1]:%1 ").arg(m_ssh.Port()).toUtf8() + m_ssh.HostKeyLine() + "\n");
        outbox.Put("results.json", "weiter");
        QTRY_COMPARE_WITH_TIMEOUT(ReadFileBytes(SftpFolder("newkey") + "/results.json"), QByteArray("weiter"), 10000);
    }

    // known_hosts holds another key for the server: refused with a message
    // that shows the new fingerprint, and an acceptance of some other
    // fingerprint does not let it through.
    void changedHostKey_isRefusedWithAMessage()
    {
        QTemporaryDir dir;
        upload::Login login = SshLogin();
        login.knownHostsFile = dir.filePath("known_hosts");
        const QByteArray stranger = ReadFileBytes(m_ssh.StrangerKey() + ".pub").trimmed();
        const QByteArray listed = QStringLiteral("[127.0.0.1]:%1 ").arg(m_ssh.Port()).toUtf8()
            + stranger.left(stranger.lastIndexOf(' ')) + "\n";
        QVERIFY(WriteFileBytes(login.knownHostsFile, listed));

        upload::Outbox outbox(Quick());
        outbox.SetTarget(SftpTarget("changedkey"), login);
        outbox.Put("results.json", "x");
        QTRY_COMPARE_WITH_TIMEOUT(outbox.Status().failure, upload::Failure::HostKeyChanged, 10000);
        QString reason = outbox.Status().reason;
        QVERIFY2(
            reason.contains("hat sich geändert") && reason.contains(m_ssh.HostKeyFingerprint()), qPrintable(reason));
        QVERIFY(upload::StatusText(outbox.Status()).contains("geändert"));

        outbox.AcceptHostKey("SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
        QTRY_COMPARE_WITH_TIMEOUT(outbox.Status().rounds, quint64(2), 10000);
        QTRY_COMPARE(outbox.Status().failure, upload::Failure::HostKeyChanged);
        QVERIFY(!QFile::exists(SftpFolder("changedkey") + "/results.json"));
        QCOMPARE(ReadFileBytes(login.knownHostsFile), listed);

        // The transfer on its own says the same.
        reason = upload::Transfer(SftpTarget("changedkey"), login, {}).Try().reason;
        QVERIFY2(reason.contains("hat sich geändert"), qPrintable(reason));
    }

    // The settings dialog's button: one try, in words.
    void tryTarget_saysWhatHappened()
    {
        upload::TransferResult result = upload::Transfer(SftpTarget("try"), SshLogin(), {}).Try();
        QVERIFY2(result.Ok(), qPrintable(result.reason));
        QVERIFY2(result.reason.startsWith(QStringLiteral("Verbindung zu 127.0.0.1:%1 steht").arg(m_ssh.Port())),
            qPrintable(result.reason));
        QCOMPARE(NamesIn(SftpFolder("try")), QStringList());

        result = upload::Transfer(DavTarget("try"), {}, {}).Try();
        QVERIFY2(result.Ok(), qPrintable(result.reason));
        QCOMPARE(NamesIn(DavFolder("try")), QStringList());

        upload::Login stranger = SshLogin();
        stranger.keyFile = m_ssh.StrangerKey();
        result = upload::Transfer(SftpTarget("try"), stranger, {}).Try();
        QCOMPARE(result.failure, upload::Failure::Login);
        QVERIFY2(result.reason.contains("Anmeldung bei 127.0.0.1"), qPrintable(result.reason));

        // A key with a passphrase: refused without it, taken with it.
        QTemporaryDir keys;
        QString output;
        QVERIFY2(RunTool("/usr/bin/ssh-keygen",
                     { "-q", "-t", "ed25519", "-N", "Kennwort 1", "-f", keys.filePath("locked") }, &output),
            qPrintable(output));
        QFile authorized(m_ssh.Home() + "/authorized_keys");
        QVERIFY(authorized.open(QIODevice::Append));
        authorized.write(ReadFileBytes(keys.filePath("locked.pub")));
        authorized.close();
        upload::Login locked = SshLogin();
        locked.keyFile = keys.filePath("locked");
        QVERIFY(upload::NeedsPassword(SftpTarget("try"), locked.keyFile));
        result = upload::Transfer(SftpTarget("try"), locked, {}).Try();
        QCOMPARE(result.failure, upload::Failure::Login);
        QVERIFY2(result.reason.contains("Passphrase"), qPrintable(result.reason));
        locked.password = "Kennwort 1";
        result = upload::Transfer(SftpTarget("try"), locked, {}).Try();
        QVERIFY2(result.Ok(), qPrintable(result.reason));

        upload::Login noKey = SshLogin();
        noKey.keyFile = m_home.filePath("fehlt/id_ed25519");
        result = upload::Transfer(SftpTarget("try"), noKey, {}).Try();
        QCOMPARE(result.failure, upload::Failure::Local);
        QVERIFY2(result.reason.contains("Schlüsseldatei"), qPrintable(result.reason));

        upload::Target closed = SftpTarget("try");
        closed.port = FreeTcpPort();
        upload::TargetTrial trial(closed, SshLogin());
        QSignalSpy finished(&trial, &upload::TargetTrial::finished);
        QVERIFY(finished.wait(10000));
        result = finished.at(0).at(0).value<upload::TransferResult>();
        QCOMPARE(result.failure, upload::Failure::Unreachable);
        QVERIFY2(result.reason.contains("lehnt die Verbindung ab"), qPrintable(result.reason));

        result = upload::Transfer(Parsed(m_dav.Address() + "gibtesnicht/"), {}, {}).Try();
        QCOMPARE(result.failure, upload::Failure::Server);
        QVERIFY2(result.reason.contains("nicht gefunden (HTTP 409)"), qPrintable(result.reason));
    }

    // WebDAV with a login: a wrong password is a refused login, the right
    // one brings the files.
    void webDavLogin_wrongPasswordIsRefused_rightOneUploads()
    {
        WebDavServer guarded;
        guarded.RequireLogin("verein", "Kennwort 1");
        QVERIFY2(guarded.Start(), qPrintable(guarded.error()));
        const upload::Target target = Parsed(guarded.Address());
        upload::Login login;
        login.password = "falsch";
        upload::TransferResult result = upload::Transfer(target, login, {}).Send({ { "results.json", "1" } });
        QCOMPARE(result.failure, upload::Failure::Login);
        QVERIFY2(result.reason.contains("HTTP 401"), qPrintable(result.reason));
        login.password = "Kennwort 1";
        result = upload::Transfer(target, login, {}).Send({ { "results.json", "1" }, { "index.html", "2" } });
        QVERIFY2(result.Ok(), qPrintable(result.reason));
        QCOMPARE(result.filesSent, 2);
        QCOMPARE(ReadFileBytes(guarded.Folder() + "/results.json"), QByteArray("1"));
        QCOMPARE(ReadFileBytes(guarded.Folder() + "/index.html"), QByteArray("2"));
    }

    // HTTPS checks the server's certificate: one that nobody vouches for is
    // refused with a message, and nothing is written.
    void https_untrustedCertificate_isRefused()
    {
        WebDavServer own;
        own.UseOwnCertificate();
        QVERIFY2(own.Start(), qPrintable(own.error()));
        const upload::Target target = Parsed(own.Address());
        QCOMPARE(target.scheme, upload::Scheme::Https);
        const upload::TransferResult result = upload::Transfer(target, {}, {}).Send({ { "results.json", "1" } });
        QCOMPARE(result.failure, upload::Failure::Other);
        QVERIFY2(result.reason.contains("Zertifikat von 127.0.0.1:"), qPrintable(result.reason));
        QCOMPARE(NamesIn(own.Folder()), QStringList());
    }

    // Another target gets every file again, without a new Put.
    void newTarget_getsEveryFileAgain()
    {
        upload::Outbox outbox(Quick());
        outbox.SetTarget(SftpTarget("move"), SshLogin());
        outbox.Put("results.json", "r");
        outbox.Put("index.html", "i");
        QTRY_COMPARE_WITH_TIMEOUT(ReadFileBytes(SftpFolder("move") + "/index.html"), QByteArray("i"), 10000);
        outbox.SetTarget(DavTarget("move"), {});
        QTRY_COMPARE_WITH_TIMEOUT(ReadFileBytes(DavFolder("move") + "/index.html"), QByteArray("i"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(ReadFileBytes(DavFolder("move") + "/results.json"), QByteArray("r"), 10000);
        outbox.SetTarget(std::nullopt, {});
        QCOMPARE(upload::StatusText(outbox.Status()), QStringLiteral("Upload: aus"));
    }

    // A server that takes the connection and then says nothing: Put goes
    // on at once while a round hangs, the round is given up after the
    // limit, and closing the outbox does not wait for the server.
    void hungServer_neverHoldsUpPut_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::newRow("sftp") << "sftp";
        QTest::newRow("webdav") << "http";
    }
    void hungServer_neverHoldsUpPut()
    {
        QFETCH(QString, scheme);
        QTcpServer hung; // the kernel completes the handshake; nobody answers
        QVERIFY(hung.listen(QHostAddress::LocalHost, 0));
        const upload::Target target
            = Parsed(QStringLiteral("%1://%2@127.0.0.1:%3/x/").arg(scheme, SshServer::User()).arg(hung.serverPort()));
        upload::Timing timing = Quick();
        timing.settle = 50ms;
        timing.coalesce = 50ms;
        timing.limits.connect = 6000ms;
        timing.limits.stall = 6000ms;
        std::vector<QByteArray> versions;
        for (int n = 1; n <= 200; ++n)
            versions.push_back(Version(n, 200000));
        auto outbox = std::make_unique<upload::Outbox>(timing);
        outbox->SetTarget(target, SshLogin());
        outbox->Put("results.json", versions[0]);
        QTRY_VERIFY_WITH_TIMEOUT(outbox->Status().sending, 5000);
        QElapsedTimer clock;
        qint64 slowest = 0;
        for (const QByteArray& version : versions) {
            clock.start();
            QVERIFY(outbox->Put("results.json", version));
            slowest = std::max(slowest, clock.nsecsElapsed());
        }
        QVERIFY(outbox->Status().sending);
        QCOMPARE(outbox->Status().waiting, 1);
        // How long it took is bench_upload's figure; here it counts that
        // every Put came back while the round still hung.
        qInfo("slowest Put while the server hangs: %.3f ms", slowest / 1e6);
        QTRY_COMPARE_WITH_TIMEOUT(outbox->Status().failure, upload::Failure::TimedOut, 20000);
        QVERIFY2(outbox->Status().reason.contains("antwortet nicht mehr"), qPrintable(outbox->Status().reason));

        // Closing while a round hangs with a long limit.
        timing.limits.connect = 60000ms;
        timing.limits.stall = 60000ms;
        outbox = std::make_unique<upload::Outbox>(timing);
        outbox->SetTarget(target, SshLogin());
        outbox->Put("results.json", "x");
        QTRY_VERIFY_WITH_TIMEOUT(outbox->Status().sending, 5000);
        QTest::qWait(300);
        clock.start();
        outbox.reset();
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    }

    void cleanupTestCase()
    {
        m_ssh.Stop();
        m_dav.Stop();
    }
};

QTEST_GUILESS_MAIN(TestUploadServers)
#include "tst_uploadservers.moc"
