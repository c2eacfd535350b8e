#include "race/Journal.h"
#include "race/JournalLine.h"
#include "race/JournalStore.h"
#include "race/JournalWriter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

using namespace race;

namespace {

JournalEntry entry(std::uint64_t seq, platform::Tick tick, const QString& kind)
{
    JournalEntry e;
    e.seq = seq;
    e.tick = tick;
    e.date = QDate(2026, 12, 8);
    e.time = QTime(20, 45, 3, 120);
    e.kind = kind;
    return e;
}

QByteArray lines(int count)
{
    QByteArray bytes;
    for (int i = 1; i <= count; ++i)
        bytes += FormatJournalLine(entry(i, 1000 + i, QStringLiteral("STOPP")).Add(QStringLiteral("row"), i));
    return bytes;
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT
private slots:
    void line_readsBackEveryValueAsWritten()
    {
        JournalEntry e = entry(42, -2147483000, QStringLiteral("START"));
        e.Add(QStringLiteral("row"), 3)
            .Add(QStringLiteral("name"), QStringLiteral("Anna \"Nanni\" Müller, C:\\x"))
            .Add(QStringLiteral("empty"), QString())
            .Add(QStringLiteral("control"), QStringLiteral("a\tb\nc\rd") + QChar(0x01) + QChar(0x7F))
            .Add(QStringLiteral("eq"), QStringLiteral("a=b c"))
            .Add(QStringLiteral("time"), QStringLiteral("10:05.03,12"));
        const QByteArray line = FormatJournalLine(e);
        QVERIFY(line.endsWith('\n'));
        QVERIFY(line.startsWith("000042 -2147483000 2026-12-08T20:45:03.120 START row=3 name=\"Anna \\\"Nanni\\\""));
        QCOMPARE(line.count('\n'), 1); // one event, one line, whatever the values hold

        QString reason;
        const std::optional<JournalEntry> back = ParseJournalLine(line.chopped(1), &reason);
        QVERIFY2(back, qPrintable(reason));
        QCOMPARE(back->seq, 42u);
        QCOMPARE(back->tick, -2147483000);
        QCOMPARE(back->date, e.date);
        QCOMPARE(back->time, e.time);
        QCOMPARE(back->kind, QStringLiteral("START"));
        QCOMPARE(back->fields, e.fields);
        QCOMPARE(back->Field(QStringLiteral("time")), QStringLiteral("10:05.03,12"));
    }

    void line_withAnyByteChangedIsRefused()
    {
        const QByteArray line
            = FormatJournalLine(entry(7, 123456, QStringLiteral("STOPP")).Add("zeit", "12,34")).chopped(1);
        for (qsizetype i = 0; i < line.size(); ++i) {
            QByteArray damaged = line;
            damaged[i] = damaged[i] == '1' ? '2' : '1';
            QVERIFY2(!ParseJournalLine(damaged), qPrintable(QString::number(i)));
        }
        QVERIFY(!ParseJournalLine(line.left(line.size() - 3)));
        QVERIFY(!ParseJournalLine(QByteArray()));
    }

    void journal_skipsAndReportsATornLastLineAndADamagedOne()
    {
        QByteArray bytes = lines(5);
        const QByteArray sixth = FormatJournalLine(entry(6, 2000, QStringLiteral("ENDE")));
        const JournalContents whole = ParseJournal(bytes + sixth);
        QCOMPARE(whole.entries.size(), 6);
        QVERIFY(whole.skipped.isEmpty());
        QVERIFY(!whole.tornEnd);

        // The power went while the sixth line was written.
        const JournalContents torn = ParseJournal(bytes + sixth.left(20));
        QCOMPARE(torn.entries.size(), 5);
        QCOMPARE(torn.skipped, QStringList { QStringLiteral("Zeile 6: abgeschnitten") });
        QVERIFY(torn.tornEnd);

        // A line damaged on the disk in the middle: the others stay readable.
        QByteArray damaged = bytes;
        damaged[damaged.indexOf("row=3") + 4] = '9';
        const JournalContents middle = ParseJournal(damaged);
        QCOMPARE(middle.entries.size(), 4);
        QCOMPARE(middle.skipped, QStringList { QStringLiteral("Zeile 3: Prüfsumme falsch") });
        QVERIFY(!middle.tornEnd);
    }

    void journal_ofTwentyThousandEventsReadsWhole()
    {
        const JournalContents contents = ParseJournal(lines(20000));
        QCOMPARE(contents.entries.size(), 20000);
        QCOMPARE(contents.entries.last().seq, 20000u);
        QCOMPARE(contents.entries.last().Field(QStringLiteral("row")), QStringLiteral("20000"));
    }

    void writer_makesLinesDurableInOrder()
    {
        QTemporaryDir dir;
        JournalWriter writer;
        std::atomic<std::uint64_t> reported { 0 };
        writer.OnDurable = [&](std::uint64_t seq) { reported = seq; };
        QVERIFY(writer.Open(dir.filePath("race.journal")));
        const QByteArray bytes = lines(300);
        const JournalContents expected = ParseJournal(bytes);
        for (const JournalEntry& e : expected.entries)
            writer.Append(e.seq, FormatJournalLine(e));
        QVERIFY(writer.WaitDurable(300, 10000));
        QCOMPARE(writer.DurableSeq(), 300u);
        QTRY_COMPARE(reported.load(), 300u);
        QCOMPARE(ReadFileBytes(dir.filePath("race.journal")), bytes);

        // Appending to an existing journal keeps what is there.
        writer.Close();
        QVERIFY(writer.Open(dir.filePath("race.journal")));
        writer.Append(301, FormatJournalLine(entry(301, 5, QStringLiteral("RESET"))));
        writer.Close();
        QCOMPARE(ParseJournal(ReadFileBytes(dir.filePath("race.journal"))).entries.size(), 301);
    }

    void writer_reportsTheFirstFailureOnceAndGoesOn()
    {
        QTemporaryDir dir;
        JournalWriter writer;
        std::atomic<int> failures { 0 };
        QString message;
        writer.OnFailure = [&](const QString& why) {
            message = why;
            ++failures;
        };
        std::atomic<bool> diskFull { true };
        writer.SetIo({ [&](int fd, const char* data, std::size_t size) -> long {
                          if (diskFull) {
                              errno = ENOSPC;
                              return -1;
                          }
                          return ::write(fd, data, size);
                      },
            [](int fd) { return ::fdatasync(fd); } });
        QVERIFY(writer.Open(dir.filePath("race.journal")));
        writer.Append(1, FormatJournalLine(entry(1, 1, QStringLiteral("START"))));
        writer.Append(2, FormatJournalLine(entry(2, 2, QStringLiteral("START"))));
        QVERIFY(!writer.WaitDurable(2, 10000));
        QTRY_COMPARE(failures.load(), 1);
        QVERIFY(message.startsWith(dir.filePath("race.journal") + QStringLiteral(": ")));
        QCOMPARE(writer.DurableSeq(), 0u);

        writer.Append(3, FormatJournalLine(entry(3, 3, QStringLiteral("START"))));
        QVERIFY(!writer.WaitDurable(3, 10000)); // refused again, without a second message
        QCOMPARE(failures.load(), 1);
        diskFull = false;
        writer.Append(4, FormatJournalLine(entry(4, 4, QStringLiteral("STOPP"))));
        QVERIFY(writer.WaitDurable(4, 10000));
        QCOMPARE(failures.load(), 1);
        writer.Close();
        const JournalContents contents = ParseJournal(ReadFileBytes(dir.filePath("race.journal")));
        QCOMPARE(contents.entries.size(), 1);
        QCOMPARE(contents.entries[0].seq, 4u);
    }

    void writer_thatCannotOpenSaysWhy()
    {
        JournalWriter writer;
        QString reason;
        QVERIFY(!writer.Open(QStringLiteral("/nonexistent-folder/race.journal"), &reason));
        QVERIFY(!reason.isEmpty());
        QVERIFY(!writer.IsOpen());
    }

    void sessionMark_tellsARunningSessionFromAnAbandonedOne()
    {
        QTemporaryDir dir;
        const QString journal = dir.filePath("rennzeit-2026-12-08-20-45-03.journal");
        QVERIFY(WriteFileBytes(journal, lines(2)));
        {
            SessionMark running(dir.path());
            QVERIFY(running.IsValid());
            running.SetJournal(journal);
            QVERIFY(FindAbandonedSessions(dir.path()).isEmpty()); // still held
        } // gone without its orderly end, as in a crash

        const QList<AbandonedSession> abandoned = FindAbandonedSessions(dir.path());
        QCOMPARE(abandoned.size(), 1);
        QCOMPARE(abandoned[0].journal, journal);
        ForgetSessions(abandoned);
        QVERIFY(FindAbandonedSessions(dir.path()).isEmpty());
        QVERIFY(QFile::exists(journal)); // the journal itself is kept

        // An orderly end leaves nothing to take back; a session that never
        // named a journal neither.
        {
            SessionMark ended(dir.path());
            ended.SetJournal(journal);
            ended.End();
            SessionMark idle(dir.path());
        }
        QVERIFY(FindAbandonedSessions(dir.path()).isEmpty());
        QCOMPARE(QDir(dir.path()).entryList({ "session-*" }, QDir::Files), QStringList());
    }

    void raceJournal_numbersEventsAndNamesItsFileInTheMark()
    {
        QTemporaryDir dir;
        RaceJournal journal(dir.path(), QStringLiteral("rennzeit"));
        QCOMPARE(journal.Record(QStringLiteral("START"), { 5, QTime(10, 0) }), 0u); // nothing open yet
        QVERIFY(journal.Begin({ 1000, QTime(10, 0) }));
        QVERIFY(journal.FileName().startsWith(dir.path() + QStringLiteral("/rennzeit-")));
        QCOMPARE(journal.Record(QStringLiteral("START"), { -5, QTime(10, 0, 1) }, { { "row", "1" } }), 2u);
        QVERIFY(journal.WaitDurable(2, 10000));
        const JournalContents contents = *ReadJournal(journal.FileName());
        QCOMPARE(contents.entries.size(), 2);
        QCOMPARE(contents.entries[0].kind, QStringLiteral("BEGIN"));
        QCOMPARE(contents.entries[1].tick, -5);
        QCOMPARE(contents.entries[1].Field(QStringLiteral("row")), QStringLiteral("1"));

        // A reset ends the race: the mark no longer names a journal.
        journal.Finish();
        QVERIFY(!journal.IsOpen());
        QCOMPARE(journal.Record(QStringLiteral("F.STOPP"), { 7, QTime(10, 0, 2) }), 0u);
    }

    void raceJournal_ofAKilledProgramIsFoundByTheNextStart()
    {
        QTemporaryDir dir;
        // The program in a child process that ends without any clean-up, as
        // under kill -9, right after its events became durable.
        const pid_t child = fork();
        if (child == 0) {
            RaceJournal journal(dir.path(), QStringLiteral("rennzeit"));
            bool ok = journal.Begin({ 1000, QTime(10, 0) });
            const std::uint64_t seq = journal.Record(QStringLiteral("START"), { 1500, QTime(10, 0, 1) });
            ok = ok && journal.WaitDurable(seq, 10000);
            _exit(ok ? 0 : 1);
        }
        QVERIFY(child > 0);
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);

        const QList<AbandonedSession> abandoned = FindAbandonedSessions(dir.path());
        QCOMPARE(abandoned.size(), 1);
        const JournalContents contents = *ReadJournal(abandoned[0].journal);
        QCOMPARE(contents.entries.size(), 2);
        QCOMPARE(contents.entries[1].tick, 1500);

        // Taken back: the same file goes on after the last event.
        RaceJournal resumed(dir.path(), QStringLiteral("rennzeit"));
        QVERIFY(resumed.Resume(abandoned[0].journal, contents.entries.last().seq));
        ForgetSessions(abandoned);
        QCOMPARE(resumed.Record(QStringLiteral("STOPP"), { 2500, QTime(10, 0, 2) }), 3u);
        resumed.Close();
        QCOMPARE(ReadJournal(abandoned[0].journal)->entries.size(), 3);
        QVERIFY(FindAbandonedSessions(dir.path()).isEmpty());
    }

    void datedBackups_keepTheNewestThirty()
    {
        QTemporaryDir dir;
        QDateTime t(QDate(2026, 12, 1), QTime(9, 0));
        for (int i = 0; i < 35; ++i)
            QVERIFY(WriteDatedBackup(dir.path(), QStringLiteral("rennzeit"), t.addSecs(60 * 61 * i), "Nr.\r\n"));
        QVERIFY(WriteFileBytes(dir.filePath("rennzeit-other.txt"), "kept"));
        const QStringList copies = QDir(dir.path()).entryList({ "rennzeit-2026-*.txt" }, QDir::Files, QDir::Name);
        QCOMPARE(copies.size(), 30);
        QCOMPARE(copies.first(), QStringLiteral("rennzeit-2026-12-01-14-05.txt"));
        QVERIFY(QFile::exists(dir.filePath("rennzeit-other.txt")));
        QString reason;
        QVERIFY(!WriteDatedBackup(dir.filePath("missing"), QStringLiteral("rennzeit"), t, "x", 30, &reason));
        QVERIFY(!reason.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
