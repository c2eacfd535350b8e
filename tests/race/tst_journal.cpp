// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/CellStore.h"
#include "platform/AppInfo.h"
#include "platform/BootClock.h"
#include "protocol/Columns.h"
#include "race/Journal.h"
#include "race/JournalLine.h"
#include "race/JournalStore.h"
#include "race/JournalWriter.h"
#include "race/RaceBackups.h"
#include "support/TestSupport.h"
#include "support/TinyFileSystem.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <cstring>
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

// A backup file as the program writes it: its settings lines, then rows.
QByteArray backup(const QByteArray& rows)
{
    return "GenerelSettings,0\r\nFontColSettings\r\nFontRowSettings\r\nUserSettings\r\nUserSettings,-1,-1\r\n" + rows;
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
        e.wall = 1796150703120;
        e.Add(QStringLiteral("row"), 3)
            .Add(QStringLiteral("name"), QStringLiteral("Anna \"Nanni\" Müller, C:\\x"))
            .Add(QStringLiteral("empty"), QString())
            .Add(QStringLiteral("control"), QStringLiteral("a\tb\nc\rd") + QChar(0x01) + QChar(0x7F))
            .Add(QStringLiteral("eq"), QStringLiteral("a=b c"))
            .Add(QStringLiteral("time"), QStringLiteral("10:05.03,12"));
        const QByteArray line = FormatJournalLine(e);
        QVERIFY(line.endsWith('\n'));
        QVERIFY(line.startsWith(
            "000042 -2147483000 1796150703120 2026-12-08T20:45:03.120 START row=3 name=\"Anna \\\"Nanni\\\""));
        QCOMPARE(line.count('\n'), 1); // one event, one line, whatever the values hold

        QString reason;
        const std::optional<JournalEntry> back = ParseJournalLine(line.chopped(1), &reason);
        QVERIFY2(back, qPrintable(reason));
        QCOMPARE(back->seq, 42u);
        QCOMPARE(back->tick, -2147483000);
        QCOMPARE(back->wall, e.wall);
        QCOMPARE(back->date, e.date);
        QCOMPARE(back->time, e.time);
        QCOMPARE(back->kind, QStringLiteral("START"));
        QCOMPARE(back->fields, e.fields);
        QCOMPARE(back->Field(QStringLiteral("time")), QStringLiteral("10:05.03,12"));

        // A journal of the first format has no wall clock column.
        const QByteArray first = "000007 123456 2026-12-08T20:45:03.120 STOPP row=2";
        const std::optional<JournalEntry> old
            = ParseJournalLine(first + " *" + QByteArray::number(Crc32(first), 16).rightJustified(8, '0'), &reason);
        QVERIFY2(old, qPrintable(reason));
        QCOMPARE(old->tick, 123456);
        QCOMPARE(old->wall, 0);
        QCOMPARE(old->kind, QStringLiteral("STOPP"));
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

    void journal_isUsedUpToTheFirstTornDamagedOrMissingLine_andTheRestIsListed()
    {
        QByteArray bytes = lines(5);
        const QByteArray sixth = FormatJournalLine(entry(6, 2000, QStringLiteral("ENDE")));
        const JournalContents whole = ParseJournal(bytes + sixth);
        QCOMPARE(whole.entries.size(), 6);
        QVERIFY(whole.unused.isEmpty());
        QVERIFY(whole.stop.isEmpty());

        // The power went while the sixth line was written.
        const JournalContents torn = ParseJournal(bytes + sixth.left(42));
        QCOMPARE(torn.entries.size(), 5);
        QCOMPARE(torn.stop, QStringLiteral("Zeile 6: abgeschnitten"));
        QCOMPARE(torn.unused.size(), 1);
        QCOMPARE(torn.unused[0].Text(), QStringLiteral("Zeile 6, Ereignis 6, 20:45:03.120, ENDE (abgeschnitten)"));

        // A line damaged in the middle: the race after it is unknown, so the
        // lines after it are not used either, only listed.
        QByteArray damaged = bytes;
        damaged[damaged.indexOf("row=3") + 4] = '9';
        const JournalContents middle = ParseJournal(damaged);
        QCOMPARE(middle.entries.size(), 2);
        QCOMPARE(middle.stop, QStringLiteral("Zeile 3: Prüfsumme falsch"));
        QCOMPARE(middle.unused.size(), 3);
        QCOMPARE(
            middle.unused[0].Text(), QStringLiteral("Zeile 3, Ereignis 3, 20:45:03.120, STOPP (Prüfsumme falsch)"));
        QCOMPARE(middle.unused[2].Text(), QStringLiteral("Zeile 5, Ereignis 5, 20:45:03.120, STOPP"));

        // A missing event, and a half line glued to the next one.
        QByteArray gap = bytes;
        gap.remove(gap.indexOf("000003"), gap.indexOf("000004") - gap.indexOf("000003"));
        const JournalContents missing = ParseJournal(gap);
        QCOMPARE(missing.entries.size(), 2);
        QCOMPARE(missing.stop, QStringLiteral("Zeile 3: Ereignis 3 fehlt"));
        QCOMPARE(missing.unused.size(), 2);
        QByteArray glued = bytes;
        glued.remove(glued.indexOf("000003") + 30, glued.indexOf("000004") - glued.indexOf("000003") - 30);
        const JournalContents gluedLines = ParseJournal(glued);
        QCOMPARE(gluedLines.entries.size(), 2);
        QCOMPARE(gluedLines.unused.size(), 2);
        QCOMPARE(gluedLines.unused[0].seq, QStringLiteral("3"));
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
        writer.Open(dir.filePath("race.journal"));
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
        writer.Open(dir.filePath("race.journal"));
        writer.Append(301, FormatJournalLine(entry(301, 5, QStringLiteral("RESET"))));
        QVERIFY(writer.WaitDurable(301, 10000));
        writer.Close();
        QCOMPARE(ParseJournal(ReadFileBytes(dir.filePath("race.journal"))).entries.size(), 301);
    }

    // The disk refuses the lines for a while: a write stops half-way, then
    // nothing goes; a sync fails once. Every line handed in ends up on the
    // disk once, in order, none glued to another, and the writer says when
    // the trouble starts and when it is over.
    void writer_keepsRefusedLinesUntilTheDiskTakesThem_neverGluingOne()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath("race.journal");
        JournalWriter writer;
        std::atomic<int> failures { 0 }, recoveries { 0 };
        QString message;
        writer.OnFailure = [&](const QString& why) {
            message = why;
            ++failures;
        };
        writer.OnRecovered = [&] { ++recoveries; };
        std::atomic<int> room { -1 }; // bytes the disk still takes; -1 as many as it likes
        std::atomic<bool> syncFails { false };
        writer.SetIo({ [&](int fd, const char* data, std::size_t size) -> long {
                          if (room < 0)
                              return ::write(fd, data, size);
                          if (room == 0) {
                              errno = ENOSPC;
                              return -1;
                          }
                          const long n = ::write(fd, data, std::min<std::size_t>(size, std::size_t(room.load())));
                          room -= static_cast<int>(n);
                          return n;
                      },
            [&](int fd) {
                if (syncFails.exchange(false)) {
                    errno = EIO;
                    return -1;
                }
                return ::fdatasync(fd);
            },
            [](int fd, long size) { return ::ftruncate(fd, size); } });
        writer.Open(name);
        const JournalContents all = ParseJournal(lines(40));
        std::uint64_t seq = 0;
        const auto append = [&](int count) {
            for (int i = 0; i < count; ++i, ++seq)
                writer.Append(all.entries[seq].seq, FormatJournalLine(all.entries[seq]));
        };
        append(5);
        QVERIFY(writer.WaitDurable(5, 10000));

        room = 30; // less than a line: the write stops in the middle of one
        append(5);
        QTRY_VERIFY(writer.Failing());
        QVERIFY(!writer.WaitDurable(10, 300));
        QCOMPARE(failures.load(), 1);
        QVERIFY(message.startsWith(name + QStringLiteral(": ")));
        QCOMPARE(writer.FailureReason(), QStringLiteral("Kein Platz mehr auf dem Datenträger"));
        append(5); // accepted while the disk is full
        QCOMPARE(writer.Pending().lines, std::size_t(10));
        QCOMPARE(writer.Pending().first, 6u);
        QCOMPARE(writer.Pending().last, 15u);
        // The half line is gone before anything else is written.
        QTRY_COMPARE(ReadFileBytes(name), lines(5));
        QCOMPARE(failures.load(), 1); // the same trouble is told once

        room = -1;
        QVERIFY(writer.WaitDurable(15, 10000));
        QTRY_COMPARE(recoveries.load(), 1);
        QVERIFY(!writer.Failing());
        QCOMPARE(writer.Pending().lines, std::size_t(0));

        syncFails = true; // the pages may be lost: they are written again
        append(5);
        QVERIFY(writer.WaitDurable(20, 10000));
        QCOMPARE(failures.load(), 2);
        QTRY_COMPARE(recoveries.load(), 2);
        writer.Close();
        QCOMPARE(ReadFileBytes(name), lines(20));
    }

    // The same on a real disk that fills up and gets free again.
    void writer_onADiskThatFillsAndFrees_writesEveryLineInOrderOnceThereIsRoom()
    {
        TinyFileSystem disk;
        if (!disk.mounted())
            QSKIP(qPrintable(disk.skipReason()));
        const QString name = disk.filePath(QStringLiteral("race.journal"));
        JournalWriter writer;
        writer.Open(name);
        const JournalContents all = ParseJournal(lines(200));
        for (int i = 0; i < 10; ++i)
            writer.Append(all.entries[i].seq, FormatJournalLine(all.entries[i]));
        QVERIFY(writer.WaitDurable(10, 10000));
        QVERIFY(disk.Fill());
        for (int i = 10; i < 200; ++i) // far more than the page the journal has begun
            writer.Append(all.entries[i].seq, FormatJournalLine(all.entries[i]));
        QTRY_VERIFY_WITH_TIMEOUT(writer.Failing(), 10000);
        QVERIFY(writer.DurableSeq() < 200);
        QVERIFY(QFile::remove(disk.filePath(QStringLiteral("filler"))));
        QVERIFY(writer.WaitDurable(200, 10000));
        QVERIFY(!writer.Failing());
        writer.Close();
        QCOMPARE(ReadFileBytes(name), lines(200));
    }

    void writer_waitsForAFolderThatIsNotThereYet()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("later/race.journal"));
        JournalWriter writer;
        std::atomic<int> failures { 0 };
        writer.OnFailure = [&](const QString&) { ++failures; };
        writer.Open(name);
        QVERIFY(writer.IsOpen());
        writer.Append(1, FormatJournalLine(entry(1, 1, QStringLiteral("BEGIN"))));
        QTRY_COMPARE(failures.load(), 1);
        QVERIFY(!writer.FailureReason().isEmpty());
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("later")));
        QVERIFY(writer.WaitDurable(1, 10000));
        writer.Close();
        QVERIFY(!writer.IsOpen());
        QCOMPARE(ParseJournal(ReadFileBytes(name)).entries.size(), 1);
    }

    void sessionMark_tellsARunningSessionFromAnAbandonedOne()
    {
        QTemporaryDir dir;
        const QString journal = dir.filePath("rennzeit-2026-12-08-20-45-03.journal");
        QVERIFY(WriteFileBytes(journal, lines(2)));
        {
            SessionMark running(dir.path());
            QVERIFY(running.IsValid());
            QVERIFY(running.SetJournal(journal));
            QVERIFY(FindAbandonedSessions(dir.path()).isEmpty()); // still held
        } // gone without its orderly end, as in a crash

        const QList<AbandonedSession> abandoned = FindAbandonedSessions(dir.path());
        QCOMPARE(abandoned.size(), 1);
        QCOMPARE(abandoned[0].journal, journal);
        SessionClaim::Take(abandoned[0]).Forget();
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

    // From the question to its answer the race belongs to one program: a
    // second one neither offers nor takes it, and knows why. Only an answer
    // forgets it; a program that ends without one (a signal, a crash)
    // leaves it for the next start.
    void sessionClaim_holdsTheRaceFromTheQuestionToItsAnswer()
    {
        QTemporaryDir dir;
        const QString journal = dir.filePath("rennzeit-2026-12-08-20-45-03.journal");
        QVERIFY(WriteFileBytes(journal, lines(2)));
        SessionMark(dir.path()).SetJournal(journal);
        const AbandonedSession session = FindAbandonedSessions(dir.path()).value(0);
        QCOMPARE(session.journal, journal);

        SessionClaim claim = SessionClaim::Take(session);
        QVERIFY(claim.IsValid());
        QVERIFY(FindAbandonedSessions(dir.path()).isEmpty()); // what the second window sees
        QVERIFY(SessionClaimedElsewhere(dir.path()));
        bool elsewhere = false;
        QVERIFY(!SessionClaim::Take(session, &elsewhere).IsValid());
        QVERIFY(elsewhere);
        claim.Release();
        QVERIFY(!SessionClaimedElsewhere(dir.path()));
        QCOMPARE(FindAbandonedSessions(dir.path()).size(), 1);

        // A program killed during the question.
        const pid_t child = fork();
        if (child == 0) {
            SessionClaim taken = SessionClaim::Take(session);
            _exit(taken.IsValid() ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QVERIFY(!SessionClaimedElsewhere(dir.path()));
        QCOMPARE(FindAbandonedSessions(dir.path()).size(), 1);

        claim = SessionClaim::Take(session);
        QVERIFY(claim.IsValid());
        claim.Forget();
        QVERIFY(FindAbandonedSessions(dir.path()).isEmpty());
        QCOMPARE(QDir(dir.path()).entryList({ "session-*" }, QDir::Files), QStringList());
    }

    void abandonedSessions_comeNewestFirst_eachJournalOnce()
    {
        QTemporaryDir dir;
        const QString older = dir.filePath("rennzeit-2026-12-07-10-00-00.journal");
        const QString newer = dir.filePath("rennzeit-2026-12-08-10-00-00.journal");
        QVERIFY(WriteFileBytes(older, lines(2)));
        QVERIFY(WriteFileBytes(newer, lines(3)));
        QFile file(older);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        file.close();
        // Two marks name the newer journal (a crash while a recovered race
        // changed journals).
        SessionMark(dir.path()).SetJournal(older);
        SessionMark(dir.path()).SetJournal(newer);
        SessionMark(dir.path()).SetJournal(newer);
        const QList<AbandonedSession> sessions = FindAbandonedSessions(dir.path());
        QCOMPARE(sessions.size(), 2);
        QCOMPARE(sessions[0].journal, newer);
        QCOMPARE(sessions[1].journal, older);
        QCOMPARE(QDir(dir.path()).entryList({ "session-*.mark" }, QDir::Files).size(), 2);
    }

    void raceJournal_numbersEventsAndNamesItsFileInTheMark()
    {
        QTemporaryDir dir;
        ScopedFakeTick tick(5000);
        platform::SetBootIdSource([] { return QStringLiteral("boot-a"); });
        platform::SetWallClockSource([] { return std::int64_t(1796150703120); });
        const auto systemClocks = qScopeGuard([] {
            platform::SetBootIdSource({});
            platform::SetWallClockSource({});
        });
        RaceJournal journal(dir.path(), QStringLiteral("rennzeit"));
        QCOMPARE(journal.Record(QStringLiteral("START"), { 5, QTime(10, 0) }), 0u); // nothing open yet
        QVERIFY(journal.Begin({ 1000, QTime(10, 0) }));
        QVERIFY(journal.FileName().startsWith(dir.path() + QStringLiteral("/rennzeit-")));
        QCOMPARE(journal.Record(QStringLiteral("START"), { -5, QTime(10, 0, 1) }, { { "row", "1" } }), 2u);
        QVERIFY(journal.WaitDurable(2, 10000));
        const JournalContents contents = *ReadJournal(journal.FileName());
        QCOMPARE(contents.entries.size(), 2);
        QCOMPARE(contents.entries[0].kind, QStringLiteral("BEGIN"));
        QCOMPARE(contents.entries[0].Field(QStringLiteral("version")), QString::number(kJournalVersion));
        QCOMPARE(contents.entries[0].Field(QStringLiteral("boot")), QStringLiteral("boot-a"));
        QCOMPARE(contents.entries[1].tick, -5);
        // Each tick is paired with its moment on the wall clock.
        QCOMPARE(contents.entries[0].wall, 1796150703120 - 4000);
        QCOMPARE(contents.entries[1].wall, 1796150703120 - 5005);
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
    }

    void datedBackups_neverOverwriteOneAnother_andTheNewestThirtyGoodOnesStay()
    {
        QTemporaryDir dir;
        // Copies of an earlier version, named to the minute, are the oldest.
        QVERIFY(WriteFileBytes(dir.filePath("rennzeit-2026-11-30-09-00.txt"), backup("old")));
        QVERIFY(WriteFileBytes(dir.filePath("rennzeit-2026-11-30-10-00.txt"), backup("old")));
        // An empty copy and one that holds no backup, newer than all: an
        // older version's failed saves. They count for nothing.
        QVERIFY(WriteFileBytes(dir.filePath("rennzeit-2026-12-24-09-00-00.txt"), QByteArray()));
        QVERIFY(WriteFileBytes(dir.filePath("rennzeit-2026-12-24-09-00-01.txt"), "GenerelSe"));
        const QDateTime t(QDate(2026, 12, 1), QTime(9, 0));
        for (int i = 0; i < 30; ++i)
            QVERIFY(WriteDatedBackup(
                dir.path(), QStringLiteral("rennzeit"), t.addSecs(61 * i), backup("Nr. " + QByteArray::number(i))));
        // Three exits within one second.
        const QDateTime last = t.addSecs(61 * 29);
        QString written;
        QVERIFY(
            WriteDatedBackup(dir.path(), QStringLiteral("rennzeit"), last, backup("second"), 30, nullptr, &written));
        QCOMPARE(written, dir.filePath("rennzeit-2026-12-01-09-29-29-2.txt"));
        QVERIFY(WriteDatedBackup(dir.path(), QStringLiteral("rennzeit"), last, backup("third")));
        QVERIFY(WriteFileBytes(dir.filePath("rennzeit-other.txt"), "kept"));

        const QStringList copies = QDir(dir.path()).entryList({ "rennzeit-2026-*.txt" }, QDir::Files, QDir::Name);
        QCOMPARE(copies.size(), 32); // thirty good ones and the two bad ones
        QVERIFY(!copies.contains(QStringLiteral("rennzeit-2026-11-30-10-00.txt")));
        QVERIFY(!copies.contains(QStringLiteral("rennzeit-2026-12-01-09-01-01.txt")));
        QVERIFY(copies.contains(QStringLiteral("rennzeit-2026-12-01-09-02-02.txt")));
        QVERIFY(copies.contains(QStringLiteral("rennzeit-2026-12-24-09-00-00.txt")));
        QCOMPARE(ReadFileBytes(dir.filePath("rennzeit-2026-12-01-09-29-29.txt")), backup("Nr. 29"));
        QCOMPARE(ReadFileBytes(dir.filePath("rennzeit-2026-12-01-09-29-29-2.txt")), backup("second"));
        QCOMPARE(ReadFileBytes(dir.filePath("rennzeit-2026-12-01-09-29-29-3.txt")), backup("third"));
        QVERIFY(QFile::exists(dir.filePath("rennzeit-other.txt")));
        QString reason;
        QVERIFY(!WriteDatedBackup(dir.filePath("missing"), QStringLiteral("rennzeit"), t, "x", 30, &reason));
        QVERIFY(!reason.isEmpty());
    }

    // A full disk: the copy fails with the system's reason, leaves nothing
    // under its name, and no good copy goes.
    void datedBackup_onAFullDisk_leavesNoFileAndKeepsTheOthers()
    {
        TinyFileSystem disk;
        if (!disk.mounted())
            QSKIP(qPrintable(disk.skipReason()));
        const QDateTime t(QDate(2026, 12, 1), QTime(9, 0));
        for (int i = 0; i < 3; ++i)
            QVERIFY(WriteDatedBackup(disk.path(), QStringLiteral("rennzeit"), t.addSecs(i), backup("gut"), 3));
        const QStringList before = disk.Entries();
        QVERIFY(disk.Fill());
        QString reason;
        QVERIFY(!WriteDatedBackup(
            disk.path(), QStringLiteral("rennzeit"), t.addSecs(60), backup(QByteArray(8192, 'x')), 3, &reason));
        QCOMPARE(reason, QStringLiteral("Kein Platz mehr auf dem Datenträger"));
        QStringList after = disk.Entries();
        after.removeAll(QStringLiteral("filler"));
        QCOMPARE(after, before);
        for (const QString& name : before)
            QCOMPARE(ReadFileBytes(disk.filePath(name)), backup("gut"));
    }

    // The plain copy in the working folder and one dated copy per race: a
    // table without entries writes none, a changed table replaces the
    // race's dated copy, a new race keeps the old race's.
    void raceBackups_oneDatedCopyPerRace_noneWithoutEntries()
    {
        QTemporaryDir work, data;
        const QString was = QDir::currentPath();
        QDir::setCurrent(work.path());
        const auto back = qScopeGuard([&] { QDir::setCurrent(was); });
        RaceBackups backups(QStringLiteral("rennzeit"), 30);
        TCellStore cells(protocol::kProtocolColCount, 2);
        QCOMPARE(backups.Write(cells, backup("leer"), data.path()), QString());
        QVERIFY(!QFile::exists(work.filePath("rennzeit.txt")));
        QVERIFY(QDir(data.path()).isEmpty());

        cells.SetCell(protocol::kColNr, 1, QStringLiteral("1"));
        QCOMPARE(backups.Write(cells, backup("eins"), data.path()), QString());
        QCOMPARE(backups.Write(cells, backup("eins"), data.path()), QString());
        QCOMPARE(QDir(data.path()).entryList(QDir::Files).size(), 1);
        QCOMPARE(backups.Write(cells, backup("zwei"), data.path()), QString());
        QStringList dated = QDir(data.path()).entryList(QDir::Files);
        QCOMPARE(dated.size(), 1); // the same race: replaced
        QCOMPARE(ReadFileBytes(data.filePath(dated[0])), backup("zwei"));
        // The plain copy goes into the documents folder, never the working one.
        QCOMPARE(ReadFileBytes(platform::OutputFolder() + QStringLiteral("/rennzeit.txt")), backup("zwei"));
        QVERIFY(!QFile::exists(work.filePath("rennzeit.txt")));

        backups.NewRace();
        QCOMPARE(backups.Write(cells, backup("drei"), data.path()), QString());
        QCOMPARE(QDir(data.path()).entryList(QDir::Files).size(), 2);

        // A data folder that cannot be written: said with its name.
        const QString failure = backups.Write(cells, backup("vier"), data.filePath("fehlt"));
        QVERIFY(failure.contains(data.filePath("fehlt")));
        QCOMPARE(ReadFileBytes(platform::OutputFolder() + QStringLiteral("/rennzeit.txt")), backup("vier"));
    }

    // Lines the disk refuses until the end go with the durable ones into a
    // copy elsewhere; the mark names it, so the next start finds every line
    // there. Without any line missing the session ends in order.
    void raceJournal_closedOnAFullDisk_rescuesItsLinesForTheNextStart()
    {
        QTemporaryDir dir, elsewhere;
        // A folder that cannot be made: a file stands where it would be.
        QVERIFY(WriteFileBytes(dir.filePath(QStringLiteral("blocker")), "x"));
        const QString unwritable = dir.filePath(QStringLiteral("blocker"));
        std::atomic<bool> full { false };
        {
            RaceJournal journal(dir.path(), QStringLiteral("rennzeit"));
            journal.SetWriterIo({ [&](int fd, const char* data, std::size_t size) -> long {
                                     if (full) {
                                         errno = ENOSPC;
                                         return -1;
                                     }
                                     return ::write(fd, data, size);
                                 },
                [](int fd) { return ::fdatasync(fd); }, [](int fd, long size) { return ::ftruncate(fd, size); } });
            QVERIFY(journal.Begin({ 1000, QTime(10, 0) }));
            const std::uint64_t first = journal.Record(QStringLiteral("START"), { 1500, QTime(10, 0, 1) });
            QVERIFY(journal.WaitDurable(first, 10000));
            full = true;
            for (int i = 0; i < 3; ++i)
                journal.Record(QStringLiteral("STOPP"), { 2000 + i, QTime(10, 0, 2) }, { { "row", "1" } });
            QTRY_VERIFY(journal.Failing());
            QCOMPARE(journal.Behind(50), std::size_t(3));
            const RaceJournal::Rescue rescue = journal.Close({ unwritable + QStringLiteral("/x"), elsewhere.path() });
            QCOMPARE(rescue.lines, std::size_t(3));
            QCOMPARE(rescue.path, elsewhere.filePath(QFileInfo(journal.FileName()).fileName()));
            QCOMPARE(ParseJournal(ReadFileBytes(journal.FileName())).entries.size(), 2); // what its disk took
        }
        const QList<AbandonedSession> abandoned = FindAbandonedSessions(dir.path());
        QCOMPARE(abandoned.size(), 1);
        QVERIFY(abandoned[0].journal.startsWith(elsewhere.path()));
        const JournalContents contents = *ReadJournal(abandoned[0].journal);
        QCOMPARE(contents.entries.size(), 5);
        QVERIFY(contents.stop.isEmpty());
        QCOMPARE(contents.entries[4].tick, 2002);

        // A journal whose every line is on the disk ends its session.
        QTemporaryDir clean;
        {
            RaceJournal journal(clean.path(), QStringLiteral("rennzeit"));
            QVERIFY(journal.Begin({ 1000, QTime(10, 0) }));
            journal.Record(QStringLiteral("START"), { 1500, QTime(10, 0, 1) });
            const RaceJournal::Rescue rescue = journal.Close({ elsewhere.path() });
            QCOMPARE(rescue.lines, std::size_t(0));
            QVERIFY(rescue.path.isEmpty());
        }
        QVERIFY(FindAbandonedSessions(clean.path()).isEmpty());
        // Asked to stay (a backup that could not be written), it stays.
        {
            RaceJournal journal(clean.path(), QStringLiteral("rennzeit"));
            QVERIFY(journal.Begin({ 1000, QTime(10, 0) }));
            journal.Record(QStringLiteral("START"), { 1500, QTime(10, 0, 1) });
            journal.Close({ elsewhere.path() }, true);
        }
        QCOMPARE(FindAbandonedSessions(clean.path()).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
