// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindowFixture.h"
#include "platform/SystemError.h"

#include "app/Application.h"
#include "app/LiveWidgets.h"
#include "app/RecoveryDialog.h"
#include "app/TimingKeys.h"
#include "dialogs/Cfg.h"
#include "platform/AppInfo.h"
#include "protocol/ProtocolFiles.h"
#include "race/Journal.h"
#include "race/JournalStore.h"
#include "support/TinyFileSystem.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QToolButton>

#include <cerrno>

// Every save, export, page and print command on a disk that is full or
// read-only: the older file stays as it was, nothing half-written is left
// behind, the table is unchanged, and the operator reads which file failed
// and why.
namespace {

enum class Trouble { Full, ReadOnly };

const QByteArray kOld = "die gute alte Datei\r\n";

void timeTwoEntries(MainWindowFixture& f)
{
    f.grid()->SetCells(0, 1, QStringLiteral("3"));
    f.grid()->SetCells(1, 1, QStringLiteral("Berg, Anna"));
    f.start();
    f.grid()->SetCells(0, 2, QStringLiteral("7"));
    f.grid()->SetCells(1, 2, QStringLiteral("Jörg"));
    f.start(1000);
    op::SelectRow(*f.w(), 1);
    f.stop(8870);
}

// The row of an entry that runs (-1: none).
int aRunner(MainWindowFixture& f)
{
    for (int r = 1; r < f.grid()->RowCount(); ++r)
        if (!f.cell(kColRaw, r).isEmpty() && f.cell(kColZeit, r).isEmpty())
            return r;
    return -1;
}

int startedCount(MainWindowFixture& f)
{
    int started = 0;
    for (int r = 1; r < f.grid()->RowCount(); ++r)
        started += f.cell(kColRaw, r).isEmpty() ? 0 : 1;
    return started;
}

// F9, F5 and F8 pressed where the operator's keyboard is (the window, or a
// box in front of it), each taking effect at once: the selected runner
// stops, an entry starts on the free row, an interim time is recorded.
void timingKeysWork(MainWindowFixture& f, QWidget* target)
{
    const int runner = aRunner(f);
    QVERIFY(runner >= 1);
    op::SelectRow(*f.w(), runner);
    const QString nr = f.cell(kColNr, runner);
    const int started = startedCount(f);
    const int interims = f.w()->ui.ListBoxStopp->count();
    f.tick.advance(1000);
    QTest::keyClick(target, Qt::Key_F9);
    QVERIFY2(!f.cell(kColZeit, f.grid()->FindRow(0, nr)).isEmpty(), "F9");
    f.tick.advance(1000);
    QTest::keyClick(target, Qt::Key_F5);
    QCOMPARE(startedCount(f), started + 1);
    QTest::keyClick(target, Qt::Key_F8);
    QCOMPARE(f.w()->ui.ListBoxStopp->count(), interims + 1);
}

// Puts an older file into the folder, then makes the folder fail.
bool prepare(TinyFileSystem& fs, const QString& name, Trouble trouble)
{
    if (!WriteFileBytes(fs.filePath(name), kOld))
        return false;
    return trouble == Trouble::Full ? fs.Fill() : fs.MakeReadOnly();
}

QString systemReason(Trouble trouble)
{
    return platform::SystemReason(trouble == Trouble::Full ? ENOSPC : EROFS);
}

// What the folder holds afterwards: the older file and the filler, no
// temporary file.
QStringList leftIn(const QString& name, Trouble trouble)
{
    QStringList names { name };
    if (trouble == Trouble::Full)
        names << QStringLiteral("filler");
    names.sort();
    return names;
}

// The documents folder on the tiny disk, with the program's own folder in
// it: where the page, the document and the exit backup go. The name of a
// file there, relative to the disk.
QString outputOn(TinyFileSystem& fs, const QString& name)
{
    if (!UseDocumentsFolder(fs.path()) || !QDir().mkpath(fs.filePath(QStringLiteral("Rennzeit"))))
        return {};
    return QStringLiteral("Rennzeit/") + name;
}

// The names in a folder, hidden ones too.
QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The header's notice as its message was given (lines split by CR).
QString noticeOf(MainWindowFixture& f)
{
    if (!f.w()->ui.LabNotice->isVisible())
        return {};
    return f.w()->ui.LabNotice->toolTip().replace(QLatin1Char('\n'), QLatin1Char('\r'));
}

void addTroubleColumns()
{
    QTest::addColumn<Trouble>("trouble");
}

// A full disk and a read-only folder, for writers that have no type to vary.
void addTroubleRows()
{
    addTroubleColumns();
    QTest::newRow("full") << Trouble::Full;
    QTest::newRow("read-only") << Trouble::ReadOnly;
}

} // namespace

Q_DECLARE_METATYPE(Trouble)

class TestMainFailures : public QObject {
    Q_OBJECT
private:
    QString m_previousFolder;

private slots:
    void init()
    {
        ClearSettingsStore();
        m_previousFolder = QDir::currentPath();
    }
    void cleanup()
    {
        QDir::setCurrent(m_previousFolder);
        UseDocumentsFolder(QString());
    }

    // No box stops the race. A failure is a notice in the header; a
    // question or message box that stays modal passes F5, F9 and F8 (and
    // the barrier) to the window at once, while it is open.
    void noBoxBlocksTiming_keysWorkWithEveryKindOfBoxOpen()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        f.key(Qt::Key_F11); // the start barrier free
        f.start();

        // The print failure ("kein Standarddrucker"): a notice, no box.
        f.shell.printFailure = QStringLiteral("Es ist kein Standarddrucker eingerichtet.");
        w->ui.Drucker1->trigger();
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(w->ui.LabNotice->isVisible());
        QVERIFY(w->ui.LabNotice->toolTip().endsWith(f.shell.printFailure));
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        timingKeysWork(f, w);

        // A file that cannot be written: the same.
        dialogs::QueueFileName(QStringLiteral("/nonexistent-folder/lauf.txt"), 4);
        w->ui.sbSave->click();
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(
            w->ui.LabNotice->toolTip().startsWith(QStringLiteral("Das Protokoll konnte nicht gespeichert werden.")));
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        timingKeysWork(f, w);

        // The question "Zeile mit Zeiten entfernen?", open for real: the keys
        // and a barrier pulse act while it is open, and the entry asked
        // about goes wherever the race has moved it meanwhile.
        const int finished = f.grid()->FindRow(0, QStringLiteral("1"));
        QVERIFY(!f.cell(kColZeit, finished).isEmpty());
        op::SelectRow(*w, finished);
        bool asked = false;
        dialogs::SetDialogHandler([&](QDialog* d) {
            QTimer::singleShot(0, d, [&, d] {
                asked = QApplication::activeModalWidget() == d;
                timingKeysWork(f, d);
                const int started = startedCount(f);
                f.tick.advance(5000); // the start lockout is over
                f.lines(0x20);
                f.lines(0x00);
                QCOMPARE(startedCount(f), started + 1);
                d->done(TFDlgYesNo::kResultYes);
            });
            return d->exec();
        });
        const int entries = startedCount(f);
        op::Erase(*w);
        dialogs::SetDialogHandler({});
        // The window manager gives the window the keyboard back.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        op::SelectRow(*w, aRunner(f)); // one runner left, for the next keys
        f.stop(100);
        QVERIFY(asked);
        QCOMPARE(f.grid()->FindRow(0, QStringLiteral("1")), -1);
        QCOMPARE(startedCount(f), entries + 1); // two started, entry 1 removed

        // A message box of the window (here the information box) as well.
        QMessageBox box(QMessageBox::Information, w->files.title, QStringLiteral("Info"), QMessageBox::Ok, w);
        QTimer::singleShot(0, &box, [&] {
            timingKeysWork(f, &box);
            box.accept();
        });
        box.exec();
        // Other windows keep their keys: the settings dialog is no box.
        QVERIFY(!w->findChild<TTimingKeyPassage*>()->PassesKeys(w->ui.CfgDialog));
        QVERIFY(w->findChild<TTimingKeyPassage*>()->PassesKeys(w->ui.FDlgYesNo));
    }

    void save_failsAndKeepsTheOlderFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("message");
        addTroubleColumns();
        const QString text = QStringLiteral("Das Protokoll konnte nicht gespeichert werden.\r");
        const QString csv = QStringLiteral("Die CSV-Datei konnte nicht gespeichert werden.\r");
        const QString page = QStringLiteral("Der Schreibfehler der Datei: ");
        const QString word = QStringLiteral("Das Word-Dokument konnte nicht erstellt werden.\r");
        for (const auto& [trouble, label] :
            { std::pair { Trouble::Full, "full" }, { Trouble::ReadOnly, "read-only" } }) {
            QTest::addRow("text, %s", label) << "lauf.txt" << 4 << text << trouble;
            QTest::addRow("csv, %s", label) << "lauf.csv" << 1 << csv << trouble;
            QTest::addRow("page, %s", label) << "lauf.html" << 3 << page << trouble;
            QTest::addRow("docx, %s", label) << "lauf.docx" << 2 << word << trouble;
        }
    }
    void save_failsAndKeepsTheOlderFile()
    {
        QFETCH(QString, name);
        QFETCH(int, filter);
        QFETCH(QString, message);
        QFETCH(Trouble, trouble);
        TinyFileSystem fs;
        if (!fs.mounted())
            QSKIP(qPrintable(fs.skipReason()));
        // A table larger than the whole small disk.
        MainWindowFixture f;
        timeTwoEntries(f);
        f.grid()->SetCells(1, 2, QString(70000, QLatin1Char('x')));
        f.w()->files.templatePath = QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx");
        QVERIFY(prepare(fs, name, trouble));

        dialogs::QueueFileName(fs.filePath(name), filter);
        f.w()->ui.sbSave->click();

        QCOMPARE(ReadFileBytes(fs.filePath(name)), kOld);
        QCOMPARE(fs.Entries(), leftIn(name, trouble));
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QCOMPARE(noticeOf(f), message + fs.filePath(name) + QLatin1Char('\r') + systemReason(trouble));
        QCOMPARE(f.cell(kColName, 1), QStringLiteral("Berg, Anna"));
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("9,87"));
    }

    // "Als Webseite" and "Protokoll drucken" write the page into the working
    // folder; an older page there is neither shown nor printed when the new
    // one cannot be written.
    void page_notWritten_isNeitherShownNorPrinted_data()
    {
        QTest::addColumn<int>("tag");
        addTroubleColumns();
        QTest::newRow("show, full") << 0 << Trouble::Full;
        QTest::newRow("print, full") << 1 << Trouble::Full;
        QTest::newRow("show, read-only") << 0 << Trouble::ReadOnly;
        QTest::newRow("print, read-only") << 1 << Trouble::ReadOnly;
    }
    void page_notWritten_isNeitherShownNorPrinted()
    {
        QFETCH(int, tag);
        QFETCH(Trouble, trouble);
        TinyFileSystem fs;
        if (!fs.mounted())
            QSKIP(qPrintable(fs.skipReason()));
        MainWindowFixture f;
        timeTwoEntries(f);
        f.grid()->SetCells(1, 2, QString(70000, QLatin1Char('x')));
        const QString page = outputOn(fs, f.w()->files.title + QStringLiteral(".html"));
        QVERIFY(prepare(fs, page, trouble));

        (tag == 0 ? f.w()->ui.sbHTML : f.w()->ui.sbPrint)->click();

        QVERIFY(f.shell.calls.isEmpty());
        QCOMPARE(ReadFileBytes(fs.filePath(page)), kOld);
        QCOMPARE(fs.Entries(), leftIn(QStringLiteral("Rennzeit"), trouble));
        QCOMPARE(entriesOf(fs.filePath(QStringLiteral("Rennzeit"))), QStringList { QFileInfo(page).fileName() });
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QCOMPARE(noticeOf(f),
            QStringLiteral("Der Schreibfehler der Datei: ") + fs.filePath(page) + QLatin1Char('\r')
                + systemReason(trouble));
    }

    void backupAtExit_failsAndKeepsTheOlderBackup_data() { addTroubleRows(); }
    void backupAtExit_failsAndKeepsTheOlderBackup()
    {
        QFETCH(Trouble, trouble);
        TinyFileSystem fs;
        if (!fs.mounted())
            QSKIP(qPrintable(fs.skipReason()));
        MainWindowFixture f;
        timeTwoEntries(f);
        f.grid()->SetCells(1, 2, QString(70000, QLatin1Char('x')));
        const QString backup = outputOn(fs, f.w()->files.title + QStringLiteral(".txt"));
        QVERIFY(prepare(fs, backup, trouble));

        f.window.reset();

        QCOMPARE(ReadFileBytes(fs.filePath(backup)), kOld);
        QCOMPARE(fs.Entries(), leftIn(QStringLiteral("Rennzeit"), trouble));
        QCOMPARE(entriesOf(fs.filePath(QStringLiteral("Rennzeit"))), QStringList { QFileInfo(backup).fileName() });
        // The window is gone: a box says it.
        const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text,
            QStringLiteral("Die Sicherungskopie %1 kann nicht geschrieben werden: %2.")
                .arg(fs.filePath(backup), systemReason(trouble)));
    }

    // Started from a folder nobody may write to, which holds the user's own
    // page and text of the names the program uses: the page, the printout,
    // the document and the exit backup go into the documents folder, the
    // working folder stays as it was, and nothing fails.
    void startedFromAReadOnlyFolder_withTheUsersOwnFiles_leavesThemAlone()
    {
        TinyFileSystem fs;
        if (!fs.mounted())
            QSKIP(qPrintable(fs.skipReason()));
        QTemporaryDir documents;
        QVERIFY(UseDocumentsFolder(documents.path()));
        const QString title = platform::ApplicationTitle();
        const QStringList own { title + QStringLiteral(".html"), title + QStringLiteral(".txt") };
        for (const QString& name : own)
            QVERIFY(WriteFileBytes(fs.filePath(name), "vom Benutzer: " + name.toUtf8()));
        QVERIFY(fs.MakeReadOnly());
        QVERIFY(QDir::setCurrent(fs.path()));
        {
            MainWindowFixture f;
            timeTwoEntries(f);
            f.w()->files.templatePath = QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx");
            op::LookAtFileBar(*f.w());
            f.w()->ui.sbHTML->click();
            f.w()->ui.sbPrint->click();
            f.w()->ui.sbWord->click();
            QCOMPARE(noticeOf(f), QString());
            QCOMPARE(f.shell.calls.size(), 3);
        }
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QCOMPARE(fs.Entries(), own);
        for (const QString& name : own)
            QCOMPARE(ReadFileBytes(fs.filePath(name)), "vom Benutzer: " + name.toUtf8());
        const QStringList made = entriesOf(documents.path() + QStringLiteral("/Rennzeit"));
        QCOMPARE(made.size(), 3);
        QVERIFY2(made.contains(own[0]) && made.contains(own[1]) && made.filter(QStringLiteral(".docx")).size() == 1,
            qPrintable(made.join(QLatin1Char(' '))));
    }

    // A documents folder where "Rennzeit" cannot be made: the page and the
    // document say so in the header, with the folder and the system's reason.
    void outputFolderThatCannotBeMade_isReported()
    {
        TinyFileSystem fs;
        if (!fs.mounted())
            QSKIP(qPrintable(fs.skipReason()));
        QVERIFY(UseDocumentsFolder(fs.path()));
        QVERIFY(fs.MakeReadOnly());
        MainWindowFixture f;
        timeTwoEntries(f);
        f.w()->files.templatePath = QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx");
        op::LookAtFileBar(*f.w());
        const QString folder = fs.filePath(QStringLiteral("Rennzeit"));

        f.w()->ui.sbHTML->click();
        QCOMPARE(noticeOf(f),
            QStringLiteral("Der Schreibfehler der Datei: ") + folder + QLatin1Char('/') + f.w()->files.title
                + QStringLiteral(".html\r") + systemReason(Trouble::ReadOnly));
        f.w()->ui.sbWord->click();
        QCOMPARE(noticeOf(f),
            QStringLiteral("Das Word-Dokument konnte nicht erstellt werden.\r") + folder + QLatin1Char('\r')
                + systemReason(Trouble::ReadOnly));
        QVERIFY(f.shell.calls.isEmpty());
        QVERIFY(fs.Entries().isEmpty());
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
    }

    // The data folder (journal, session mark, dated backups) on a disk that
    // fills during the race. The exit question says what is missing and
    // where it goes; closing all the same keeps the race for the next
    // start, which offers every event; no backup of nothing is left, and
    // the good backups stay as they were.
    void exitOnAFullDisk_warns_andTheNextStartOffersEveryEvent()
    {
        TinyFileSystem fs;
        if (!fs.mounted())
            QSKIP(qPrintable(fs.skipReason()));
        QTemporaryDir documents;
        QVERIFY(UseDocumentsFolder(documents.path()));
        const QString title = platform::ApplicationTitle();
        const QString data = race::DataFolder(title);
        QVERIFY(QDir(data).removeRecursively());
        QVERIFY(QFile::link(fs.path(), data));
        const auto restore = qScopeGuard([&] {
            QFile::remove(data);
            QDir().mkpath(data);
            UseDocumentsFolder(QString());
        });
        const QDateTime earlier(QDate(2026, 5, 1), QTime(9, 0));
        QByteArray good = "GenerelSettings,0\r\nFontColSettings\r\nFontRowSettings\r\nUserSettings\r\nUserSettings\r\n";
        for (int i = 0; i < 3; ++i)
            QVERIFY(race::WriteDatedBackup(data, title, earlier.addDays(i), good + QByteArray::number(i)));
        const QStringList backups
            = QDir(data).entryList({ title + QStringLiteral("-2*.txt") }, QDir::Files, QDir::Name);
        QCOMPARE(backups.size(), 3);

        QString raceText, digest;
        int interims = 0;
        {
            MainWindowFixture f;
            TFormMain* w = f.w();
            // The start list typed before the first START (the journal
            // holds the table from there on), timed on a disk with room.
            f.grid()->SetRowCount(3);
            f.grid()->SetCells(0, 1, QStringLiteral("3"));
            f.grid()->SetCells(1, 1, QStringLiteral("Berg, Anna"));
            f.grid()->SetCells(0, 2, QStringLiteral("7"));
            f.grid()->SetCells(1, 2, QStringLiteral("Jörg"));
            f.start();
            f.start(1000);
            op::SelectRow(*w, 1);
            f.stop(8870);
            race::RaceJournal& journal = w->Journal().File();
            QVERIFY(journal.WaitDurable(journal.LastSeq(), 10000));
            QVERIFY(fs.Fill());
            f.start(500);
            op::SelectRow(*w, f.grid()->FindRow(0, QStringLiteral("7")));
            f.stop(1500);
            // More than the journal's last page still takes.
            for (int i = 0; i < 40; ++i)
                f.key(Qt::Key_F8);
            QTRY_VERIFY(journal.Failing());
            QTRY_VERIFY(w->ui.LabJournalState->isVisible());
            const std::uint64_t lastEvent = journal.LastSeq();
            QVERIFY(journal.DurableSeq() < lastEvent);
            raceText = QString::fromUtf8(protocol::ProtocolTextBytes(f.grid()->Store()));
            digest = w->Race().Digest();
            interims = w->ui.ListBoxStopp->count();

            QString question, focused;
            dialogs::SetDialogHandler([&](QDialog* d) {
                auto* box = qobject_cast<QMessageBox*>(d);
                question = box->text();
                focused = box->defaultButton()->text();
                return int(QMessageBox::Yes);
            });
            QVERIFY(w->close());
            dialogs::SetDialogHandler({});
            const std::size_t missing = lastEvent - journal.DurableSeq();
            QVERIFY2(question.startsWith(QStringLiteral(
                         "Das Rennjournal ist nicht vollständig gespeichert: %1 Ereignisse fehlen auf der Platte.")
                                             .arg(missing)),
                qPrintable(question));
            QVERIFY(question.contains(documents.path() + QStringLiteral("/Rennzeit/")));
            QVERIFY(question.contains(QStringLiteral("Die Sicherungskopie im Datenordner")));
            QCOMPARE(focused, QStringLiteral("Abbrechen"));
            QVERIFY(w->ui.LabNotice->toolTip().contains(QStringLiteral("Sicherungskopie")));
            dialogs::TakeShownMessages();
            f.window.reset();
            QVERIFY(dialogs::TakeShownMessages().isEmpty()); // all of it was in the question
        }
        // No dated backup of this race on the full disk, none empty; the
        // good ones as they were.
        QCOMPARE(QDir(data).entryList({ title + QStringLiteral("-2*.txt") }, QDir::Files, QDir::Name), backups);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(ReadFileBytes(data + QLatin1Char('/') + backups[i]), good + QByteArray::number(i));
        for (const QString& name : fs.Entries())
            QVERIFY2(!name.endsWith(QLatin1String(".tmp")), qPrintable(name));

        // The disk is freed; the next start offers the race with every event.
        QVERIFY(QFile::remove(fs.filePath(QStringLiteral("filler"))));
        MainWindowFixture next;
        QStringList offered;
        dialogs::SetDialogHandler([&](QDialog* d) {
            offered << d->findChild<QLabel*>()->text();
            return int(TRecoveryDialog::kYes);
        });
        next.w()->offerRecovery();
        dialogs::SetDialogHandler({});
        QCOMPARE(offered.size(), 1);
        QVERIFY(offered[0].startsWith(QStringLiteral("Letztes Rennen wiederherstellen?")));
        QVERIFY2(!offered[0].contains(QStringLiteral("nicht verwenden")), qPrintable(offered[0]));
        QCOMPARE(QString::fromUtf8(protocol::ProtocolTextBytes(next.grid()->Store())), raceText);
        QCOMPARE(next.w()->Race().Digest(), digest);
        QCOMPARE(next.w()->ui.ListBoxStopp->count(), interims);
    }

    // The settings dialog's OK writes the settings at once, atomically: on a
    // full disk the old file stays byte for byte, and the notice says why.
    void settingsAtOk_onAFullDisk_keepTheOldFileAndSaySo()
    {
        TinyFileSystem fs;
        if (!fs.mounted())
            QSKIP(qPrintable(fs.skipReason()));
        const QString store
            = QSettings(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle()).fileName();
        const QByteArray old = "[General]\nPort=0\nVeranstaltung=Alt\n";
        QVERIFY(QDir().mkpath(QFileInfo(store).absolutePath()));
        QVERIFY(WriteFileBytes(fs.filePath(QStringLiteral("rennzeit.conf")), old));
        QFile::remove(store);
        QVERIFY(QFile::link(fs.filePath(QStringLiteral("rennzeit.conf")), store));
        const auto restore = qScopeGuard([&] { QFile::remove(store); });
        MainWindowFixture f;
        TFormMain* w = f.w();
        QVERIFY(fs.Fill());
        dialogs::SetDialogHandler([&](QDialog*) {
            w->ui.CfgDialog->eVeranstaltung->setText(QStringLiteral("Vereinsmeisterschaft"));
            return int(QDialog::Accepted);
        });
        w->ui.EinstellunGen1->trigger();
        dialogs::SetDialogHandler({});
        QCOMPARE(ReadFileBytes(fs.filePath(QStringLiteral("rennzeit.conf"))), old);
        QVERIFY(QFileInfo(store).isSymLink());
        QVERIFY(w->ui.LabNotice->isVisible());
        QVERIFY(w->ui.LabNotice->toolTip().startsWith(
            QStringLiteral("Die Einstellungen konnten nicht gespeichert werden")));
        QVERIFY(w->ui.LabNotice->toolTip().endsWith(systemReason(Trouble::Full)));
        QStringList left = fs.Entries();
        left.removeAll(QStringLiteral("filler"));
        QCOMPARE(left, QStringList { QStringLiteral("rennzeit.conf") });
    }

    // The workbook goes into the folder "Rennzeit" of the documents folder.
    void workbook_onAFailingDisk_isReported_data() { addTroubleRows(); }
    void workbook_onAFailingDisk_isReported()
    {
        QFETCH(Trouble, trouble);
        TinyFileSystem fs;
        if (!fs.mounted())
            QSKIP(qPrintable(fs.skipReason()));
        QVERIFY(UseDocumentsFolder(fs.path()));
        MainWindowFixture f;
        timeTwoEntries(f);
        QVERIFY(trouble == Trouble::Full ? fs.Fill() : fs.MakeReadOnly());

        f.w()->ui.sbExcel->click();
        QVERIFY(UseDocumentsFolder(QString()));

        QVERIFY(f.shell.calls.isEmpty());
        QCOMPARE(fs.Entries(), trouble == Trouble::Full ? QStringList { QStringLiteral("filler") } : QStringList());
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        const QStringList lines = noticeOf(f).split(QLatin1Char('\r'));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("Die Excel-Arbeitsmappe konnte nicht erstellt werden."));
        QVERIFY2(lines[1].startsWith(fs.path()), qPrintable(lines[1]));
        QVERIFY2(lines[2] == systemReason(trouble), qPrintable(lines[2]));
    }
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestMainFailures test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainfailures.moc"
