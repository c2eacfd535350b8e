// The real program as a child process: killed at random moments while it
// times a scripted race, started again, asked to take the race back. Every
// event it reported durable must be back, and nothing it never recorded.
#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

namespace {

const QString kProgram = QStringLiteral(RENNZEIT_DRILL_PROGRAM);

// What a drill printed: the digest after each journal event and the highest
// event the journal reported on the disk.
struct DrillOutput {
    QHash<qint64, QString> digests;
    qint64 lastEvent = -1;
    qint64 lastDurable = 0;
    void read(const QByteArray& bytes)
    {
        for (const QByteArray& line : bytes.split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() == 3 && words[0] == "event") {
                const qint64 seq = words[1].toLongLong();
                digests.insert(seq, QString::fromLatin1(words[2]));
                lastEvent = std::max(lastEvent, seq);
            } else if (words.size() == 2 && words[0] == "durable") {
                lastDurable = std::max(lastDurable, words[1].toLongLong());
            }
        }
    }
};

} // namespace

class TestCrashRecovery : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString home = m_home.path();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    void startChild(QProcess& p, const QStringList& arguments)
    {
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(m_home.path() + QStringLiteral("/work"));
        p.setProgram(kProgram);
        p.setArguments(arguments);
        p.start();
        QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));
    }

    // Starts the program again, answers Ja and returns the recovered digest
    // (and the messages the recovery would have shown).
    QString recoveredDigest(QStringList* messages = nullptr)
    {
        QProcess p;
        startChild(p, { QStringLiteral("--recover-answer=yes"), QStringLiteral("--print-digest") });
        if (!p.waitForFinished(60000))
            return QStringLiteral("(no end)");
        QString digest;
        for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
            if (line.startsWith("digest "))
                digest = QString::fromLatin1(line.mid(7));
            else if (line.startsWith("message ") && messages)
                *messages << QString::fromUtf8(line.mid(8));
        }
        return digest;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::exists(kProgram));
        QVERIFY(m_home.isValid());
        for (const char* sub : { "config", "data", "work", "runtime" })
            QVERIFY(QDir(m_home.path()).mkpath(QString::fromLatin1(sub)));
        QFile::setPermissions(
            m_home.path() + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void killedFiftyTimes_everyDurableEventComesBackAndNothingElse()
    {
        const quint32 base = QRandomGenerator::global()->generate();
        qInfo("seeds from %u", base);
        QRandomGenerator random(base);
        int recoveredEvents = 0;
        for (int round = 0; round < 50; ++round) {
            const quint32 seed = base + static_cast<quint32>(round);
            QProcess p;
            startChild(p, { QStringLiteral("--drill=%1").arg(seed) });
            // The kill comes after a random number of events: early in the
            // race, in the middle of the writer's batches, or later.
            const qint64 target = random.bounded(1, 600);
            DrillOutput out;
            while (out.lastEvent < target && p.state() == QProcess::Running) {
                p.waitForReadyRead(2000);
                out.read(p.readAllStandardOutput());
            }
            QVERIFY2(p.state() == QProcess::Running,
                qPrintable(QStringLiteral("seed %1 ended by itself (%2): %3")
                               .arg(seed)
                               .arg(p.exitCode())
                               .arg(QString::fromLocal8Bit(p.readAllStandardError()))));
            ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
            QVERIFY(p.waitForFinished(10000));
            out.read(p.readAllStandardOutput());
            QCOMPARE(p.exitStatus(), QProcess::CrashExit);
            QVERIFY(out.lastDurable <= out.lastEvent);

            const QString digest = recoveredDigest();
            bool found = false;
            qint64 at = -1;
            for (qint64 m = out.lastDurable; m <= out.lastEvent && !found; ++m) {
                if (out.digests.value(m) == digest) {
                    found = true;
                    at = m;
                }
            }
            QVERIFY2(found,
                qPrintable(QStringLiteral("seed %1: recovered %2, durable %3, last event %4")
                               .arg(seed)
                               .arg(digest)
                               .arg(out.lastDurable)
                               .arg(out.lastEvent)));
            recoveredEvents += static_cast<int>(at);
        }
        QVERIFY(recoveredEvents > 0);
    }

    void endSignalDuringARace_writesBackupSettingsAndClosesTheJournal()
    {
        const QString work = m_home.path() + QStringLiteral("/work/");
        QFile::remove(work + QStringLiteral("rennzeit.txt"));
        QFile::remove(m_home.path() + QStringLiteral("/config/rennzeit.conf"));
        QProcess p;
        startChild(p, { QStringLiteral("--drill=7") });
        DrillOutput out;
        while (out.lastDurable < 20 && p.state() == QProcess::Running) {
            p.waitForReadyRead(2000);
            out.read(p.readAllStandardOutput());
        }
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);

        QFile backup(work + QStringLiteral("rennzeit.txt"));
        QVERIFY(backup.open(QIODevice::ReadOnly));
        QVERIFY(backup.readAll().contains("GenerelSettings"));
        QVERIFY(QFile::exists(m_home.path() + QStringLiteral("/config/rennzeit.conf")));
        const QStringList dated
            = QDir(m_home.path() + QStringLiteral("/data/rennzeit")).entryList({ QStringLiteral("rennzeit-2*.txt") });
        QVERIFY(!dated.isEmpty());
        // An orderly end leaves no race to take back: the next start finds a
        // fresh table, and says nothing.
        QStringList messages;
        QCOMPARE(recoveredDigest(&messages), out.digests.value(0));
        QVERIFY(messages.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCrashRecovery)
#include "tst_crashrecovery.moc"
