// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Taking a race back after an unclean end. The real program as a child
// process: killed at random moments while it times a scripted race, started
// again, asked to take the race back (every event it reported durable must
// be back, and nothing it never recorded); two programs after a crash; a
// signal during the question; a continued loaded race. And the window in
// this process: a journal the disk refuses, what a recovered race shows,
// several abandoned races.
#include "MainWindowFixture.h"

#include "app/RecoveryDialog.h"

#include "controls/Udigit.h"
#include "platform/AppInfo.h"
#include "platform/BootClock.h"
#include "platform/Tick.h"
#include "protocol/Columns.h"
#include "race/JournalStore.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

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

// The program's data folder of this test program (the window in this
// process), emptied: no journal or session of an earlier test.
QString freshDataFolder()
{
    const QString folder = race::DataFolder(platform::ApplicationTitle());
    QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files))
        dir.remove(name);
    return folder;
}

QList<int> displayRow(TFormMain* w, int row)
{
    QList<int> values;
    for (TDigit* d : w->ui.PanelTimer->Digits[row])
        values << d->Value();
    return values;
}

// A session that ended without its orderly end, naming the journal.
void abandon(const QString& folder, const QString& journal, int number)
{
    QFile mark(QStringLiteral("%1/session-%2-1.mark").arg(folder).arg(number));
    QVERIFY(mark.open(QIODevice::WriteOnly));
    mark.write(QFile::encodeName(journal) + '\n');
}

// Lets the window offer the abandoned races, answers the questions in turn
// (0: closed without an answer) and returns them.
QStringList offerAnswering(TFormMain* w, QList<int> answers)
{
    QStringList questions;
    dialogs::SetDialogHandler([&](QDialog* d) {
        questions << d->findChild<QLabel*>()->text();
        return answers.isEmpty() ? 0 : answers.takeFirst();
    });
    w->offerRecovery();
    dialogs::SetDialogHandler({});
    return questions;
}

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

    // The digest (and the messages) a program printed with --print-digest.
    static QString digestOf(QProcess& p, QStringList* messages)
    {
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

    // Starts the program again, answers Ja and returns the recovered digest
    // (and the messages the recovery would have shown).
    QString recoveredDigest(QStringList* messages = nullptr)
    {
        QProcess p;
        startChild(p, { QStringLiteral("--recover-answer=yes"), QStringLiteral("--print-digest") });
        return digestOf(p, messages);
    }

    // A drill killed once the journal has `durable` events on the disk.
    DrillOutput crashedDrill(quint32 seed, qint64 durable)
    {
        QProcess p;
        startChild(p, { QStringLiteral("--drill=%1").arg(seed) });
        DrillOutput out;
        while (out.lastDurable < durable && p.state() == QProcess::Running) {
            p.waitForReadyRead(2000);
            out.read(p.readAllStandardOutput());
        }
        ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
        p.waitForFinished(10000);
        out.read(p.readAllStandardOutput());
        return out;
    }

    // The first line starting with `prefix` the program prints.
    // A protocol saved mid-race: Cleo finished, Anna and Bert on course
    // since 50 s and 40 s. Its path, empty when it could not be written.
    QString writeMidRaceProtocol(const QString& name) const
    {
        const platform::Tick now = platform::SystemTickSource().now();
        const QString file = m_home.path() + QStringLiteral("/work/") + name;
        QFile protocol(file);
        if (!protocol.open(QIODevice::WriteOnly))
            return {};
        protocol.write("Nr.\tName\tStart\tZeit\tSplit\tPlatz\t*\t\r\n");
        protocol.write("3\tCleo\t10:00.00,00\t0.30,00\t0,00\t1\t30000\t\r\n");
        protocol.write(QStringLiteral("1\tAnna\t10:00.10,00\t \t0.10,00\t-\t%1\t\r\n").arg(now - 50000).toUtf8());
        protocol.write(QStringLiteral("2\tBert\t10:00.20,00\t \t0.20,00\t-\t%1\t\r\n").arg(now - 40000).toUtf8());
        return protocol.flush() ? file : QString();
    }

    static QByteArray waitForLine(QProcess& p, const QByteArray& prefix)
    {
        QByteArray seen;
        for (int i = 0; i < 100 && p.state() == QProcess::Running; ++i) {
            p.waitForReadyRead(300);
            seen += p.readAllStandardOutput();
            for (const QByteArray& line : seen.split('\n'))
                if (line.startsWith(prefix) && seen.contains(line + '\n'))
                    return line;
        }
        return {};
    }

    bool recoveredOneOf(const DrillOutput& out, const QString& digest) const
    {
        for (qint64 m = out.lastDurable; m <= out.lastEvent; ++m)
            if (out.digests.value(m) == digest)
                return true;
        return false;
    }

    void emptyDataFolder()
    {
        QDir data(m_home.path() + QStringLiteral("/data/rennzeit"));
        for (const QString& name : data.entryList(QDir::Files))
            data.remove(name);
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
        // The home has no documents folder: the program's folder is made in
        // the home itself.
        const QString outputs = m_home.path() + QStringLiteral("/Rennzeit/");
        QFile::remove(outputs + QStringLiteral("rennzeit.txt"));
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

        QFile backup(outputs + QStringLiteral("rennzeit.txt"));
        QVERIFY(backup.open(QIODevice::ReadOnly));
        QVERIFY(!QFile::exists(work + QStringLiteral("rennzeit.txt")));
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

    // Two programs started after a crash: while the first asks, the second
    // leaves the race alone and says why; a signal during the question
    // keeps the race; of two programs answering Ja at once, one takes it.
    void twoProgramsAfterACrash_exactlyOneTakesTheRaceBack_andASignalKeepsIt()
    {
        emptyDataFolder();
        const DrillOutput crashed = crashedDrill(11, 30);
        QVERIFY(crashed.lastDurable >= 30);

        QProcess asking;
        startChild(asking, { QStringLiteral("--recover-answer=wait") });
        const QByteArray question = waitForLine(asking, "question ");
        QVERIFY2(question.contains("Letztes Rennen wiederherstellen?"), question.constData());
        QVERIFY(question.contains(" Eintr"));

        QStringList messages;
        QProcess second;
        startChild(second, { QStringLiteral("--recover-answer=yes"), QStringLiteral("--print-digest") });
        QCOMPARE(digestOf(second, &messages), crashed.digests.value(0)); // a fresh table
        QVERIFY2(messages.join(QLatin1Char('|')).contains(QStringLiteral("in einem anderen Programmfenster")),
            qPrintable(messages.join(QLatin1Char('|'))));

        ::kill(static_cast<pid_t>(asking.processId()), SIGTERM);
        QVERIFY(asking.waitForFinished(20000));
        QCOMPARE(asking.exitStatus(), QProcess::NormalExit);
        QCOMPARE(asking.exitCode(), 0);

        // The race is still there: two programs answer Ja at once.
        QProcess first, other;
        startChild(first, { QStringLiteral("--recover-answer=yes"), QStringLiteral("--print-digest") });
        startChild(other, { QStringLiteral("--recover-answer=yes"), QStringLiteral("--print-digest") });
        const QString a = digestOf(first, nullptr);
        const QString b = digestOf(other, nullptr);
        QVERIFY2(recoveredOneOf(crashed, a) != recoveredOneOf(crashed, b), qPrintable(a + QLatin1Char(' ') + b));
        QVERIFY(a == crashed.digests.value(0) || b == crashed.digests.value(0));
        // Ja forgot it.
        QCOMPARE(recoveredDigest(), crashed.digests.value(0));
    }

    // A protocol saved mid-race (an orderly end) is loaded and the race goes
    // on: its first stop is in a journal at once.
    void loadedTableWithEntriesOnCourse_isJournaledFromItsFirstStop()
    {
        emptyDataFolder();
        const QString file = writeMidRaceProtocol(QStringLiteral("mitten.txt"));
        QVERIFY(!file.isEmpty());

        QProcess p;
        startChild(p, { QStringLiteral("--script=load:") + file + QStringLiteral(",stop") });
        const QList<QByteArray> scripted = waitForLine(p, "scripted ").split(' ');
        QCOMPARE(scripted.size(), 3);
        ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished(10000));

        const QStringList journals
            = QDir(m_home.path() + QStringLiteral("/data/rennzeit")).entryList({ QStringLiteral("*.journal") });
        QCOMPARE(journals.size(), 1);
        const QByteArray lines = ReadFileBytes(m_home.path() + QStringLiteral("/data/rennzeit/") + journals.first());
        QVERIFY(lines.contains(" STATE "));
        QVERIFY(lines.contains(" STOPP "));
        QCOMPARE(recoveredDigest(), QString::fromLatin1(scripted[2]));
    }

    // A race of two runs killed between the runs: the recovery brings back
    // run 1's times and run 2's start list as the journal last had them, and
    // run 2 goes on in a new journal.
    void twoRunRace_killedBetweenTheRuns_isRecoveredAsJournaled_andRun2GoesOn()
    {
        emptyDataFolder();
        {
            QFile config(m_home.path() + QStringLiteral("/config/rennzeit.conf"));
            QVERIFY(config.open(QIODevice::WriteOnly));
            // A start lockout of ten minutes (the fourteen keys every store
            // has, so it is read): a lockout that ends while a program starts
            // under load would be a later event than the ones compared.
            config.write("[General]\nPort=0\nAlg=0\nLeft=0\nTop=0\nWidth=900\nHeight=600\nSound=0\n"
                         "C1=0\nC2=65535\nC3=4210752\nAcc=2\nC4=65280\nFilterInd=2\nWaitStart=600000\n"
                         "Runs=2\nRunsReverse=2\n");
        }
        const auto cleanup
            = qScopeGuard([&] { QFile::remove(m_home.path() + QStringLiteral("/config/rennzeit.conf")); });
        const QString file = writeMidRaceProtocol(QStringLiteral("lauf1.txt"));
        QVERIFY(!file.isEmpty());

        // The race as the newest journal last recorded it (a lockout that
        // ends after the script is an event of its own).
        const QString folder = m_home.path() + QStringLiteral("/data/rennzeit/");
        const auto lastSum = [&](QStringList* names = nullptr) {
            const QStringList journals
                = QDir(folder).entryList({ QStringLiteral("*.journal") }, QDir::Files, QDir::Name);
            if (names)
                *names = journals;
            QByteArray sum;
            if (journals.isEmpty())
                return sum;
            for (const QByteArray& line : ReadFileBytes(folder + journals.last()).split('\n')) {
                const qsizetype at = line.indexOf(" sum=");
                if (at >= 0)
                    sum = line.mid(at + 5, 16);
            }
            return sum;
        };

        // Run 1 ends, run 2 begins; killed before its first start.
        QProcess between;
        startChild(between, { QStringLiteral("--script=load:") + file + QStringLiteral(",stop,stop,run2") });
        const QList<QByteArray> atRun2 = waitForLine(between, "scripted ").split(' ');
        QCOMPARE(atRun2.size(), 3);
        ::kill(static_cast<pid_t>(between.processId()), SIGKILL);
        QVERIFY(between.waitForFinished(10000));
        QStringList journals;
        const QByteArray betweenSum = lastSum(&journals);
        QCOMPARE(journals.size(), 1);
        const QByteArray firstJournal = ReadFileBytes(folder + journals.first());
        QVERIFY(firstJournal.contains(" LAUF-2 "));
        QVERIFY(firstJournal.contains(" sum=" + atRun2[2]));

        // Recovered, run 2 starts two entries on top of the recovered race;
        // killed with both on course, the new journal holds them.
        QProcess during;
        startChild(during, { QStringLiteral("--recover-answer=yes"), QStringLiteral("--script=digest,start,start") });
        QByteArray printed;
        for (int i = 0; i < 100 && !printed.contains("\nscripted ") && during.state() == QProcess::Running; ++i) {
            during.waitForReadyRead(300);
            printed += during.readAllStandardOutput();
        }
        QList<QByteArray> recovered, inRun2;
        for (const QByteArray& line : printed.split('\n')) {
            if (line.startsWith("digest-now "))
                recovered = line.split(' ');
            else if (line.startsWith("scripted ") && printed.contains(line + '\n'))
                inRun2 = line.split(' ');
        }
        QCOMPARE(recovered.value(1), betweenSum);
        QCOMPARE(inRun2.size(), 3);
        ::kill(static_cast<pid_t>(during.processId()), SIGKILL);
        QVERIFY(during.waitForFinished(10000));
        lastSum(&journals);
        QCOMPARE(journals.size(), 2);
        // Whichever name the new journal got, both hold the race between them.
        const QByteArray both = ReadFileBytes(folder + journals.first()) + ReadFileBytes(folder + journals.last());
        QVERIFY(both.contains(" sum=" + inRun2[2]));
        QCOMPARE(both.count(" START "), 2);

        // Killed during run 2: taken back, the race goes on in run 2 with both
        // runners on course from their own starts (the journal the recovery
        // begins names the one it came from and states the race it took).
        QByteArray runTwo;
        for (const QString& name : std::as_const(journals))
            if (ReadFileBytes(folder + name).contains(" START row="))
                runTwo = QFile::encodeName(name);
        QVERIFY(!runTwo.isEmpty());
        QList<QByteArray> starts;
        for (const QByteArray& line : ReadFileBytes(folder + QFile::decodeName(runTwo)).split('\n'))
            if (line.contains(" START row="))
                starts << line.split(' ').value(1);
        QCOMPARE(starts.size(), 2);
        QTest::qWait(4500); // the program starts again a while later, as after a real crash
        QProcess after;
        startChild(after, { QStringLiteral("--recover-answer=yes"), QStringLiteral("--script=digest") });
        const QList<QByteArray> again = waitForLine(after, "digest-now ").split(' ');
        ::kill(static_cast<pid_t>(after.processId()), SIGKILL);
        QVERIFY(after.waitForFinished(10000));
        QByteArray taken;
        for (const QString& name : QDir(folder).entryList({ QStringLiteral("*.journal") }, QDir::Files)) {
            const QByteArray bytes = ReadFileBytes(folder + name);
            if (bytes.left(bytes.indexOf('\n')).contains("/" + runTwo + " *"))
                taken = bytes;
        }
        QVERIFY2(!taken.isEmpty(), "no journal names the run-2 journal as its origin");
        const QByteArray state = taken.split('\n').value(1);
        QVERIFY2(state.contains(" laeufe=2 ") && state.contains(" clock=1 ")
                && state.contains(" first=" + starts[0] + " latest=" + starts[1] + " "),
            state.constData());
        // And with the cursor where it was: the same race.
        QCOMPARE(again.value(1), inRun2[2]);
    }

    // The disk refuses the journal in the middle of a race: no box stops the
    // commands, the header says what is not yet written, and once the disk
    // takes the lines again every event is on it, in order.
    void journalRefusedByTheDisk_showsInTheHeader_whileEveryCommandIsApplied()
    {
        freshDataFolder();
        MainWindowFixture f;
        race::RaceJournal& journal = f.w()->Journal().File();
        std::atomic<bool> full { true };
        journal.SetWriterIo({ [&full](int fd, const char* data, std::size_t size) -> long {
                                 if (full) {
                                     errno = ENOSPC;
                                     return -1;
                                 }
                                 return ::write(fd, data, size);
                             },
            [](int fd) { return ::fdatasync(fd); }, [](int fd, long size) { return ::ftruncate(fd, size); } });
        QLabel* notice = f.w()->ui.LabJournalState;
        QVERIFY(notice->isHidden());

        f.start();
        f.start(100);
        f.start(100);
        op::SelectRow(*f.w(), 1);
        f.stop(5000);
        f.stop(300); // the next runner in start order
        QTRY_VERIFY(notice->isVisible());
        op::SelectRow(*f.w(), 4);
        f.start(200);
        QCOMPARE(f.cell(protocol::kColZeit, 1), QStringLiteral("5,20"));
        QCOMPARE(f.cell(protocol::kColZeit, 2), QStringLiteral("5,40"));
        QCOMPARE(f.w()->Race().StateOf(3), race::Race::RowState::Running);
        QCOMPARE(f.w()->Race().StateOf(4), race::Race::RowState::Running);
        QVERIFY(notice->text().startsWith(QStringLiteral("Rennjournal: Schreibfehler")));
        QTRY_VERIFY(notice->toolTip().contains(
            QStringLiteral("Noch nicht auf der Platte: %1 Ereignisse, Nr. 1 bis %1").arg(journal.LastSeq())));
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QCOMPARE(journal.DurableSeq(), 0u);

        full = false;
        QVERIFY(journal.WaitDurable(journal.LastSeq(), 10000));
        QTRY_VERIFY(notice->isHidden());
        const race::JournalContents contents = *race::ReadJournal(journal.FileName());
        QVERIFY(contents.stop.isEmpty());
        QCOMPARE(std::uint64_t(contents.entries.size()), journal.LastSeq());
        QCOMPARE(contents.entries.last().Field(QStringLiteral("sum")), f.w()->Race().Digest());
    }

    // The display as well as the table: the race's accuracy, its clock
    // frozen at ENDE, the barrier locks and the current row.
    void recoveredRace_showsItsAccuracyFrozenClockLocksAndCurrentRow()
    {
        const QString folder = freshDataFolder();
        ClearSettingsStore();
        QString journal, digest;
        QList<int> frozen;
        int startLock = -1, stopLock = -1;
        {
            MainWindowFixture f;
            race::RaceSettings tenths = f.w()->Race().Settings();
            tenths.accuracy = 1;
            f.w()->Race().SetSettings(tenths);
            f.start();
            f.start(1000);
            f.start(1000);
            op::SelectRow(*f.w(), 1);
            f.stop(2340);
            f.tick.advance(1000);
            op::End(*f.w());
            f.key(Qt::Key_F11);
            op::SelectRow(*f.w(), 3);
            QCOMPARE(f.current(), 3);
            frozen = displayRow(f.w(), 0);
            QCOMPARE(frozen.mid(0, 6), (QList<int> { 0, 0, 0, 0, 5, 3 }));
            startLock = f.w()->ui.ImageLSstart->Tag;
            stopLock = f.w()->ui.ImageLSstop->Tag;
            journal = f.w()->Journal().File().FileName();
            digest = f.w()->Race().Digest();
            QVERIFY(f.w()->Journal().File().WaitDurable(f.w()->Journal().File().LastSeq(), 10000));
        }
        ClearSettingsStore(); // the program starts at hundredths
        MainWindowFixture g;
        QCOMPARE(g.w()->ui.PanelTimer->Digits[0][DisplayTime::Hundredths]->isHidden(), false);
        QVERIFY(g.w()->recoverJournal(journal));
        QCOMPARE(g.w()->Race().Digest(), digest);
        QCOMPARE(g.w()->Race().Settings().accuracy, 1);
        QVERIFY(g.w()->ui.PanelTimer->Digits[0][DisplayTime::Hundredths]->isHidden());
        QVERIFY(g.w()->ui.PanelTimer->Digits[1][DisplayTime::Hundredths]->isHidden());
        QVERIFY(!g.w()->ui.PanelTimer->Digits[0][DisplayTime::Tenths]->isHidden());
        QCOMPARE(displayRow(g.w(), 0).mid(0, 6), frozen.mid(0, 6));
        QVERIFY(!g.w()->ui.Clock->Enabled());
        QCOMPARE(g.w()->ui.ImageLSstart->Tag, startLock);
        QCOMPARE(g.w()->ui.ImageLSstop->Tag, stopLock);
        QCOMPARE(g.current(), 3);
        QCOMPARE(g.w()->ui.bSTOP->isEnabled(), true);
        QVERIFY(race::FindAbandonedSessions(folder).isEmpty());
    }

    // A power cut: the race is taken back in the next boot of the machine,
    // whose tick counter has started again. The question says so, the race
    // clock and the runner on course go on by the wall clock, the finished
    // time stays. A wall clock behind the journal cannot say how long the
    // machine was off: the runners are named.
    void raceAfterAReboot_goesOnByTheWallClock_andABackwardsClockNamesTheRunners()
    {
        const QString folder = freshDataFolder();
        ClearSettingsStore();
        const std::int64_t wall = 1796150703120;
        std::int64_t wallNow = wall;
        QString boot = QStringLiteral("boot-a");
        platform::SetBootIdSource([&boot] { return boot; });
        platform::SetWallClockSource([&wallNow] { return wallNow; });
        const auto systemClocks = qScopeGuard([] {
            platform::SetBootIdSource({});
            platform::SetWallClockSource({});
        });
        QString journal;
        {
            MainWindowFixture f(false, 100000);
            f.start();
            f.start(1000);
            f.start(1000);
            op::SelectRow(*f.w(), 1);
            f.stop(3000);
            QCOMPARE(f.cell(protocol::kColZeit, 1), QStringLiteral("5,00"));
            journal = f.w()->Journal().File().FileName();
            QVERIFY(f.w()->Journal().File().WaitDurable(f.w()->Journal().File().LastSeq(), 10000));
        }
        // An hour later, in another boot whose tick is at 7 s.
        boot = QStringLiteral("boot-b");
        wallNow = wall + 3600000;
        abandon(folder, journal, 1);
        {
            MainWindowFixture f(false, 7000);
            const QStringList questions = offerAnswering(f.w(), { TRecoveryDialog::kYes });
            QCOMPARE(questions.size(), 1);
            QVERIFY2(questions[0].contains(
                         QStringLiteral("Der Rechner wurde neu gestartet; laufende Zeiten werden über die Uhrzeit "
                                        "fortgeführt.")),
                qPrintable(questions[0]));
            QCOMPARE(f.cell(protocol::kColZeit, 1), QStringLiteral("5,00"));
            // 5 s of race and the hour: 1:00.05,00; the runner on course
            // started a second after the first.
            QTRY_COMPARE(displayRow(f.w(), 0), (QList<int> { 1, 0, 0, 0, 5, 0, 0 }));
            QTRY_COMPARE(displayRow(f.w(), 1), (QList<int> { 1, 0, 0, 0, 4, 0, 0 }));
            f.stop(500);
            QCOMPARE(f.cell(protocol::kColZeit, 2), QStringLiteral("1:00.04,50"));
            QVERIFY(dialogs::TakeShownMessages().isEmpty());
        }

        // The same journal once more, with a clock set back by a minute.
        wallNow = wall - 60000;
        abandon(folder, journal, 2);
        MainWindowFixture f(false, 7000);
        const QStringList questions = offerAnswering(f.w(), { TRecoveryDialog::kYes });
        QCOMPARE(questions.size(), 1);
        QVERIFY2(questions[0].contains(QStringLiteral("seine Uhr geht hinter das Journal zurück")),
            qPrintable(questions[0]));
        const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains(QStringLiteral("Nr. 2")) && shown[0].text.contains(QStringLiteral("Nr. 3"))
                && shown[0].text.contains(QStringLiteral("bitte entscheiden Sie")),
            qPrintable(shown[0].text));
        QCOMPARE(f.w()->Race().StateOf(2), race::Race::RowState::Running);
        QCOMPARE(f.cell(protocol::kColZeit, 1), QStringLiteral("5,00"));
        QTRY_COMPARE(displayRow(f.w(), 0), (QList<int> { 0, 0, 0, 0, 5, 0, 0 }));
    }

    // The program ended unclean and the machine ran on, but its clock was set
    // back while the program was down: the question names the jump. An entry
    // given up (DNF) has a start and no stop, and is not on course.
    void clockSetBackInTheSameBoot_isNamed_andAGivenUpEntryIsNotOnCourse()
    {
        const QString folder = freshDataFolder();
        ClearSettingsStore();
        const std::int64_t wall = 1796150703120;
        std::int64_t wallNow = wall;
        platform::SetBootIdSource([] { return QStringLiteral("boot-a"); });
        platform::SetWallClockSource([&wallNow] { return wallNow; });
        const auto systemClocks = qScopeGuard([] {
            platform::SetBootIdSource({});
            platform::SetWallClockSource({});
        });
        QString journal;
        {
            MainWindowFixture f(false, 100000);
            f.start();
            f.start(1000);
            f.start(1000);
            op::SelectRow(*f.w(), 2);
            op::SetStatus(*f.w(), protocol::EntryStatus::DNF);
            QVERIFY(f.grid()->FindRow(protocol::kColPlatz, QStringLiteral("DNF")) >= 1);
            journal = f.w()->Journal().File().FileName();
            QVERIFY(f.w()->Journal().File().WaitDurable(f.w()->Journal().File().LastSeq(), 10000));
        }
        abandon(folder, journal, 1);
        // Ten minutes later by the tick counter; the clock reads an hour and
        // two minutes less than that.
        wallNow = wall + 600000 - 3720000;
        MainWindowFixture f(false, 102000 + 600000);
        const QStringList questions = offerAnswering(f.w(), { TRecoveryDialog::kNo });
        QCOMPARE(questions.size(), 1);
        QVERIFY2(questions[0].contains(QStringLiteral("3 Einträge, 2 auf der Strecke.")), qPrintable(questions[0]));
        QVERIFY2(questions[0].contains(QStringLiteral(
                     "Die Uhr des Rechners wurde seit dem letzten Ereignis um 1 h 02 min zurückgestellt.")),
            qPrintable(questions[0]));
        QVERIFY(!questions[0].contains(QStringLiteral("neu gestartet")));
    }

    // Two abandoned races: asked about one after the other, the newest
    // first, each with its start and its entries; Nein forgets one, Ja
    // takes the other back. A question closed without an answer keeps both.
    void severalAbandonedRaces_areOfferedOneAfterTheOther_newestFirst()
    {
        const QString folder = freshDataFolder();
        ClearSettingsStore();
        QString older, newer, olderDigest, olderStart, newerStart;
        for (int entries : { 2, 3 }) {
            MainWindowFixture f;
            for (int i = 0; i < entries; ++i)
                f.start(1000);
            QVERIFY(f.w()->Journal().File().WaitDurable(f.w()->Journal().File().LastSeq(), 10000));
            (entries == 2 ? older : newer) = f.w()->Journal().File().FileName();
            (entries == 2 ? olderStart : newerStart) = f.cell(protocol::kColStart, 1);
            if (entries == 2)
                olderDigest = f.w()->Race().Digest();
        }
        QFile file(older);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-600), QFileDevice::FileModificationTime));
        file.close();
        abandon(folder, older, 1);
        abandon(folder, newer, 2);

        {
            MainWindowFixture f;
            QCOMPARE(offerAnswering(f.w(), { 0 }).size(), 1); // no answer: nothing more is asked
            QCOMPARE(race::FindAbandonedSessions(folder).size(), 2);
            QCOMPARE(f.cell(protocol::kColNr, 1), QString());
        }
        MainWindowFixture f;
        const QStringList questions = offerAnswering(f.w(), { TRecoveryDialog::kNo, TRecoveryDialog::kYes });
        QCOMPARE(questions.size(), 2);
        QVERIFY(questions[0].startsWith(QStringLiteral("Letztes Rennen wiederherstellen?")));
        QVERIFY2(questions[0].contains(QStringLiteral("Start %1, 3 Einträge, 3 auf der Strecke").arg(newerStart)),
            qPrintable(questions[0]));
        QVERIFY(questions[0].contains(QStringLiteral("Abgebrochenes Rennen 1 von 2")));
        QVERIFY2(
            questions[1].contains(QStringLiteral("Start %1, 2 Einträge").arg(olderStart)), qPrintable(questions[1]));
        QVERIFY(questions[1].contains(QStringLiteral("Abgebrochenes Rennen 2 von 2")));
        QCOMPARE(f.w()->Race().Digest(), olderDigest);
        QVERIFY(race::FindAbandonedSessions(folder).isEmpty());
        QVERIFY(QFile::exists(older));
        QVERIFY(QFile::exists(newer));
        QVERIFY(f.w()->Journal().File().FileName() != older); // the race goes on in a journal of its own
    }
};

QTEST_MAIN(TestCrashRecovery)
#include "tst_crashrecovery.moc"
