// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindowFixture.h"

#include "app/Application.h"
#include "support/TinyFileSystem.h"

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
    f.w()->makeRowCurrent(1);
    f.stop(8870);
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
    return qt_error_string(trouble == Trouble::Full ? ENOSPC : EROFS);
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
    void cleanup() { QDir::setCurrent(m_previousFolder); }

    void save_failsAndKeepsTheOlderFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("message");
        addTroubleColumns();
        const QString text = QStringLiteral("Das Protokoll konnte nicht gespeichert werden.\r");
        const QString csv = QStringLiteral("Can't write to file:\r");
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
        f.w()->sbSaveClick();

        QCOMPARE(ReadFileBytes(fs.filePath(name)), kOld);
        QCOMPARE(fs.Entries(), leftIn(name, trouble));
        const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, dialogs::Icon::Critical);
        QCOMPARE(shown[0].text, message + fs.filePath(name) + QLatin1Char('\r') + systemReason(trouble));
        QCOMPARE(f.cell(1, 1), QStringLiteral("Berg, Anna"));
        QCOMPARE(f.cell(3, 1), QStringLiteral("9,87"));
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
        const QString page = f.w()->files.title + QStringLiteral(".html");
        QVERIFY(prepare(fs, page, trouble));
        QVERIFY(QDir::setCurrent(fs.path()));

        (tag == 0 ? f.w()->ui.sbHTML : f.w()->ui.sbPrint)->click();

        QVERIFY(f.shell.calls.isEmpty());
        QCOMPARE(ReadFileBytes(fs.filePath(page)), kOld);
        QCOMPARE(fs.Entries(), leftIn(page, trouble));
        const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text,
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
        const QString backup = f.w()->files.title + QStringLiteral(".txt");
        QVERIFY(prepare(fs, backup, trouble));
        QVERIFY(QDir::setCurrent(fs.path()));

        f.window.reset();

        QCOMPARE(ReadFileBytes(fs.filePath(backup)), kOld);
        QCOMPARE(fs.Entries(), leftIn(backup, trouble));
        const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text,
            QStringLiteral("Can't write to file:\r") + fs.filePath(backup) + QLatin1Char('\r') + systemReason(trouble));
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
        const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        const QStringList lines = shown[0].text.split(QLatin1Char('\r'));
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
