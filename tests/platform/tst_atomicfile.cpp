// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "platform/SystemError.h"
#include "support/TestSupport.h"
#include "support/TinyFileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

mode_t modeOf(const QString& path)
{
    struct stat st { };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

} // namespace

class TestAtomicFile : public QObject {
    Q_OBJECT
private slots:
    void write_replacesTheFile_keepingItsMode()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("lauf.txt");
        QVERIFY(platform::WriteFileAtomically(file, QByteArray(5000, 'a')));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(platform::WriteFileAtomically(file, "kurz"));
        QCOMPARE(ReadFileBytes(file), QByteArray("kurz"));
        QCOMPARE(modeOf(file) & 0777, mode_t(0640));
        QCOMPARE(namesIn(dir.path()), QStringList { "lauf.txt" });
        QVERIFY(platform::WriteFileAtomically(file, QByteArray()));
        QCOMPARE(ReadFileBytes(file), QByteArray());
    }

    // Every link of a chain stays a link (relative ones read from their own
    // folder); only the file at its end gets the new content. A loop of
    // links is refused, not replaced.
    void write_throughAChainOfLinks_replacesTheFileAtItsEnd()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("daten"));
        QVERIFY(WriteFileBytes(dir.filePath("daten/ziel.txt"), "alt"));
        QVERIFY(QFile::link(dir.filePath("daten/ziel.txt"), dir.filePath("verweis.txt")));
        QCOMPARE(::symlink("daten/../verweis.txt", QFile::encodeName(dir.filePath("mitte.txt")).constData()), 0);
        QVERIFY(QFile::link(dir.filePath("mitte.txt"), dir.filePath("anfang.txt")));
        QVERIFY(platform::WriteFileAtomically(dir.filePath("anfang.txt"), "neu"));
        for (const char* link : { "verweis.txt", "mitte.txt", "anfang.txt" })
            QVERIFY2(S_ISLNK(modeOf(dir.filePath(link))), link);
        QCOMPARE(ReadFileBytes(dir.filePath("daten/ziel.txt")), QByteArray("neu"));
        QCOMPARE(namesIn(dir.filePath("daten")), QStringList { "ziel.txt" });

        const QString written = dir.filePath("geschrieben.tmp");
        QVERIFY(WriteFileBytes(written, "ganz neu"));
        QVERIFY(platform::ReplaceFileAtomically(written, dir.filePath("anfang.txt")));
        QVERIFY(S_ISLNK(modeOf(dir.filePath("mitte.txt"))));
        QCOMPARE(ReadFileBytes(dir.filePath("daten/ziel.txt")), QByteArray("ganz neu"));

        QVERIFY(QFile::link(dir.filePath("kreis2.txt"), dir.filePath("kreis1.txt")));
        QVERIFY(QFile::link(dir.filePath("kreis1.txt"), dir.filePath("kreis2.txt")));
        QString reason;
        QVERIFY(!platform::WriteFileAtomically(dir.filePath("kreis1.txt"), "x", &reason));
        QCOMPARE(reason, QStringLiteral("Zu viele Ebenen symbolischer Verknüpfungen"));
        QVERIFY(S_ISLNK(modeOf(dir.filePath("kreis1.txt"))));
    }

    // Replacing a device by a plain file would break the system for everyone.
    void write_toADevice_writesIntoIt()
    {
        QVERIFY(platform::WriteFileAtomically(QStringLiteral("/dev/null"), "nichts"));
        QVERIFY(S_ISCHR(modeOf(QStringLiteral("/dev/null"))));
        if (QFile::exists(QStringLiteral("/dev/full"))) {
            QString reason;
            QVERIFY(!platform::WriteFileAtomically(QStringLiteral("/dev/full"), QByteArray(100, 'x'), &reason));
            QCOMPARE(reason, QStringLiteral("Kein Platz mehr auf dem Datenträger"));
            QVERIFY(S_ISCHR(modeOf(QStringLiteral("/dev/full"))));
        }
    }

    void write_failures_giveTheSystemsReason()
    {
        QTemporaryDir dir;
        QString reason;
        QVERIFY(!platform::WriteFileAtomically(dir.filePath("fehlt/lauf.txt"), "x", &reason));
        QCOMPARE(reason, QStringLiteral("Datei oder Ordner nicht gefunden"));
        QVERIFY(!platform::WriteFileAtomically(dir.path(), "x", &reason));
        QCOMPARE(reason, QStringLiteral("Ist ein Ordner, keine Datei"));
        QVERIFY(!platform::WriteFileAtomically(QString(), "x", &reason));
        QVERIFY(!reason.isEmpty());
        QVERIFY(namesIn(dir.path()).isEmpty());
    }

    // The reasons an operator meets are worded in German whatever the
    // system's language; a rare one keeps its number and the system's text.
    void systemReason_isGerman_forTheCommonReasons()
    {
        for (const int error : { ENOSPC, EACCES, EPERM, EROFS, ENOENT, EIO, EEXIST, EISDIR, ENOTDIR, EDQUOT,
                 ENAMETOOLONG, EBUSY, ETXTBSY, EMFILE, ENFILE, ELOOP, ENOMEM, EFBIG, EXDEV, ENOTEMPTY }) {
            const QString reason = platform::SystemReason(error);
            QVERIFY2(!reason.startsWith(QStringLiteral("Systemfehler")), qPrintable(reason));
            QVERIFY2(reason != QString::fromLocal8Bit(std::strerror(error)), qPrintable(reason));
        }
        QCOMPARE(platform::SystemReason(EACCES), QStringLiteral("Zugriff verweigert"));
        QCOMPARE(platform::SystemReason(EROFS), QStringLiteral("Datenträger ist schreibgeschützt"));
        QCOMPARE(platform::SystemReason(EPROTO),
            QStringLiteral("Systemfehler %1 (%2)").arg(EPROTO).arg(QString::fromLocal8Bit(std::strerror(EPROTO))));
    }

    // What the journal and the loaders read and lock, with the same reasons.
    void fileAccess_readsLocksAndMakesPrivateFolders()
    {
        QTemporaryDir dir;
        QByteArray bytes;
        QString reason;
        QVERIFY(!platform::ReadWholeFile(dir.filePath("fehlt.txt"), &bytes, &reason));
        QCOMPARE(reason, QStringLiteral("Datei oder Ordner nicht gefunden"));
        QVERIFY(!platform::ReadWholeFile(dir.path(), &bytes, &reason));
        QCOMPARE(reason, QStringLiteral("Ist ein Ordner, keine Datei"));
        const QByteArray big(200000, 'r');
        QVERIFY(WriteFileBytes(dir.filePath("lauf.txt"), big));
        QVERIFY(platform::ReadWholeFile(dir.filePath("lauf.txt"), &bytes, &reason));
        QCOMPARE(bytes, big);

        long size = -1;
        const platform::FileHandle file = platform::OpenForAppend(dir.filePath("lauf.txt"), &size, &reason);
        QVERIFY(file >= 0);
        QCOMPARE(size, long(big.size()));
        QVERIFY(platform::LockFile(file));
        QCOMPARE(platform::OpenLocked(dir.filePath("lauf.txt")), -1); // held by this one
        platform::CloseFile(file);
        const platform::FileHandle locked = platform::OpenLocked(dir.filePath("lauf.txt"));
        QVERIFY(locked >= 0);
        QVERIFY(platform::RewriteInPlace(locked, "x", &reason) == false); // opened for reading only
        QCOMPARE(reason, platform::SystemReason(EBADF));
        platform::CloseFile(locked);
        QCOMPARE(platform::CreateNew(dir.filePath("lauf.txt")), -1);
        QCOMPARE(errno, EEXIST);

        QVERIFY(platform::MakeFolder(dir.filePath("privat"), true, &reason));
        QVERIFY(platform::MakeFolder(dir.filePath("privat"), true, &reason)); // there already, still ours alone
        QVERIFY(::chmod(QFile::encodeName(dir.filePath("privat")).constData(), 0777) == 0);
        QVERIFY(!platform::MakeFolder(dir.filePath("privat"), true, &reason));
        QCOMPARE(reason, QStringLiteral("gehört nicht diesem Benutzer allein"));
        QVERIFY(!platform::MakeFolder(dir.filePath("privat"), false, &reason));
        QCOMPARE(reason, QStringLiteral("Datei existiert bereits"));
    }

    void write_onAFullDisk_leavesTheOlderFileAndNoTemporaryFile()
    {
        TinyFileSystem fs;
        if (!fs.mounted())
            QSKIP(qPrintable(fs.skipReason()));
        const QString file = fs.filePath("lauf.txt");
        QVERIFY(platform::WriteFileAtomically(file, "alt\r\n"));
        QVERIFY(fs.Fill());
        QString reason;
        QVERIFY(!platform::WriteFileAtomically(file, QByteArray(20000, 'n'), &reason));
        QCOMPARE(reason, QStringLiteral("Kein Platz mehr auf dem Datenträger"));
        QCOMPARE(ReadFileBytes(file), QByteArray("alt\r\n"));
        QCOMPARE(fs.Entries(), (QStringList { "filler", "lauf.txt" }));
    }

    void replace_movesAFinishedFileIntoPlace()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("Mappe1.xlsx");
        const QString written = platform::TemporaryNameBeside(target);
        QVERIFY(QFileInfo(written).fileName().startsWith(".Mappe1.xlsx."));
        QCOMPARE(QFileInfo(written).absolutePath(), dir.path());
        QVERIFY(WriteFileBytes(written, "PK"));
        QVERIFY(platform::ReplaceFileAtomically(written, target));
        QCOMPARE(ReadFileBytes(target), QByteArray("PK"));
        QCOMPARE(namesIn(dir.path()), QStringList { "Mappe1.xlsx" });

        // A target that cannot be replaced: the finished file is discarded.
        QVERIFY(QDir(dir.path()).mkpath("ordner/inhalt"));
        QVERIFY(WriteFileBytes(written, "PK2"));
        QString reason;
        QVERIFY(!platform::ReplaceFileAtomically(written, dir.filePath("ordner"), &reason));
        QVERIFY(!reason.isEmpty());
        QCOMPARE(namesIn(dir.path()), (QStringList { "Mappe1.xlsx", "ordner" }));
    }
};

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"
