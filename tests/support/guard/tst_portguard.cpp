// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The guard of the test run against a scripted device folder: files and a
// FIFO named like serial nodes, never a real device.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kGuard = QStringLiteral(RENNZEIT_PORT_GUARD);

struct Outcome {
    int code = -1;
    QString output;
};

Outcome RunGuard(const QStringList& arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(kGuard, arguments);
    if (!p.waitForFinished(30000))
        return {};
    return { p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAll()) };
}

// Opens and closes the node as a program would (a FIFO without waiting for a writer).
bool OpenOnce(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

class TestPortGuard : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dev;
    QTemporaryDir m_state;

    QString Node(const QString& name) const { return m_dev.filePath(name); }

private slots:
    void init()
    {
        QVERIFY(m_dev.isValid() && m_state.isValid());
        for (const char* name : { "ttyS0", "ttyACM3", "tty1", "ttyS0x" }) {
            QFile file(Node(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(::mkfifo(QFile::encodeName(Node("ttyUSB0")).constData(), 0600), 0);
    }

    void cleanup()
    {
        RunGuard({ "stop", m_state.path() });
        for (const QTemporaryDir* dir : { &m_dev, &m_state }) {
            QDir(dir->path()).removeRecursively();
            QDir().mkpath(dir->path());
        }
    }

    // The guard's own start and stop open nothing: a second watcher of the
    // nodes sees no open, and the FIFO (which an open for reading would wait
    // on) does not hold the start up.
    void runWithoutOpens_passes_andTheGuardOpensNothing()
    {
        const int ownWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(ownWatch >= 0);
        for (const QString& name : QDir(m_dev.path()).entryList(QDir::System | QDir::Files))
            QVERIFY(inotify_add_watch(ownWatch, QFile::encodeName(Node(name)).constData(), IN_OPEN) >= 0);

        const Outcome started = RunGuard({ "start", m_state.path(), m_dev.path() });
        QCOMPARE(started.code, 0);
        QVERIFY2(started.output.contains("ttyS0") && started.output.contains("ttyUSB0")
                && started.output.contains("ttyACM3") && !started.output.contains("tty1 "),
            qPrintable(started.output));
        const Outcome stopped = RunGuard({ "stop", m_state.path() });
        QCOMPARE(stopped.code, 0);
        QVERIFY2(stopped.output.contains("no serial port"), qPrintable(stopped.output));

        char buffer[4096];
        QCOMPARE(::read(ownWatch, buffer, sizeof buffer), ssize_t(-1));
        QCOMPARE(errno, EAGAIN);
        ::close(ownWatch);
    }

    // Each guarded node that is opened fails the stop and is named, also one
    // that appeared while the guard ran; other names are no serial ports.
    void openedNodes_failTheStop_eachNamed()
    {
        QCOMPARE(RunGuard({ "start", m_state.path(), m_dev.path() }).code, 0);
        QVERIFY(OpenOnce(Node("ttyS0")));
        QVERIFY(OpenOnce(Node("ttyUSB0")));
        QVERIFY(OpenOnce(Node("tty1")));
        QVERIFY(OpenOnce(Node("ttyS0x")));
        {
            QFile plugged(Node("ttyUSB7"));
            QVERIFY(plugged.open(QIODevice::WriteOnly));
        }
        // The guard watches a new node once it has heard of it: open it until then.
        for (int i = 0; i < 50; ++i) {
            QVERIFY(OpenOnce(Node("ttyUSB7")));
            QTest::qWait(20);
        }

        // CTest's --repeat starts the guard again in the same run: it keeps
        // watching, and keeps what it saw.
        QCOMPARE(RunGuard({ "start", m_state.path(), m_dev.path() }).output,
            QStringLiteral("port guard: already watching for this test run\n"));

        const Outcome stopped = RunGuard({ "stop", m_state.path() });
        QCOMPARE(stopped.code, 1);
        const Outcome again = RunGuard({ "stop", m_state.path() }); // repeated too: the same verdict
        QCOMPARE(again.code, 1);
        QCOMPARE(again.output, stopped.output);
        const QString report = stopped.output;
        QVERIFY2(report.contains(Node("ttyS0") + "\n"), qPrintable(report));
        QVERIFY2(report.contains(Node("ttyUSB0") + "\n"), qPrintable(report));
        QVERIFY2(report.contains(Node("ttyUSB7") + "\n"), qPrintable(report));
        QVERIFY2(!report.contains(Node("ttyACM3")), qPrintable(report));
        QVERIFY2(!report.contains(Node("tty1")), qPrintable(report));
        QVERIFY2(!report.contains("ttyS0x"), qPrintable(report));
    }

    // Without a guard nobody can tell: a stop fails. A guard whose starter
    // has gone (an interrupted run) ends by itself.
    void stopWithoutARunningGuard_fails()
    {
        const Outcome never = RunGuard({ "stop", m_state.path() });
        QCOMPARE(never.code, 2);
        QVERIFY2(never.output.contains("never started"), qPrintable(never.output));

        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"),
            { "-c", QStringLiteral("'%1' start '%2' '%3'").arg(kGuard, m_state.path(), m_dev.path()) });
        QVERIFY(shell.waitForFinished(30000));
        QCOMPARE(shell.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_state.filePath("status")), 5000);
        const Outcome orphaned = RunGuard({ "stop", m_state.path() });
        QCOMPARE(orphaned.code, 2);
        QVERIFY2(orphaned.output.contains("runner has gone"), qPrintable(orphaned.output));
    }
};

QTEST_GUILESS_MAIN(TestPortGuard)
#include "tst_portguard.moc"
