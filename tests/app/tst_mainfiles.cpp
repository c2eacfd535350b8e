// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindowFixture.h"
#include "platform/SystemError.h"

#include "app/Application.h"
#include "app/NoteBar.h"
#include "gridstore/GridCsvText.h"
#include "protocol/Columns.h"
#include "protocol/ExportText.h"
#include "protocol/HtmlPage.h"
#include "protocol/ProtocolFiles.h"
#include "protocol/WordBasic.h"
#include "race/RaceSnapshot.h"

#include <QCursor>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>

namespace {

// Records the document engine's calls instead of writing a document.
class RecordingEngine final : public TWordBasic {
public:
    explicit RecordingEngine(QStringList& calls)
        : m_calls(calls)
    {
    }
    void AppMaximize() override { m_calls << QStringLiteral("AppMaximize"); }
    void AppMinimize() override { m_calls << QStringLiteral("AppMinimize"); }
    void FileOpen(const QString& name) override
    {
        // The operator sees the hourglass while the document is made.
        const QCursor* cursor = QGuiApplication::overrideCursor();
        const bool waiting = cursor && cursor->shape() == Qt::WaitCursor;
        m_calls << QStringLiteral("FileOpen ") + name + (waiting ? QString() : QStringLiteral(" (no hourglass)"));
    }
    void Insert(const QString& text) override { m_calls << QStringLiteral("Insert ") + text; }
    void LineUp(int count, int extend) override { m_calls << QStringLiteral("LineUp %1 %2").arg(count).arg(extend); }
    void TextToTable(int from, int columns) override
    {
        m_calls << QStringLiteral("TextToTable %1 %2").arg(from).arg(columns);
    }
    void FileSummaryInfo(const QString& title) override { m_calls << QStringLiteral("FileSummaryInfo ") + title; }
    void FileSaveAs(const QString& name) override { m_calls << QStringLiteral("FileSaveAs ") + name; }
    void AppClose() override { m_calls << QStringLiteral("AppClose"); }

private:
    QStringList& m_calls;
};

// Two finished entries and the trailing free row, with a name that needs care.
void timeTwoEntries(MainWindowFixture& f)
{
    f.grid()->SetCells(0, 1, QStringLiteral("3"));
    f.grid()->SetCells(1, 1, QStringLiteral("Berg, Anna"));
    f.start();
    f.grid()->SetCells(0, 2, QStringLiteral("7"));
    f.grid()->SetCells(1, 2, QStringLiteral("A<B & Jörg"));
    f.start(1000);
    op::SelectRow(*f.w(), 1);
    f.stop(8870);
    f.stop(3000);
}

QString documentsConfig()
{
    return QDir::homePath() + QStringLiteral("/config/user-dirs.dirs");
}

// The folder the next save (or open) dialog starts in; the dialog is
// cancelled.
QString saveDialogFolder(TFormMain* w)
{
    w->ui.sbSave->click();
    return dialogs::TakeFileRequests().value(0).folder;
}

QString openDialogFolder(TFormMain* w)
{
    w->ui.sbLoad->click();
    return dialogs::TakeFileRequests().value(0).folder;
}

// What kind of file the save wrote, judged by its bytes.
QString kindOf(const QByteArray& bytes)
{
    if (bytes.startsWith("PK"))
        return QStringLiteral("docx");
    if (bytes.startsWith("<!DOCTYPE html>\r\n<HTML>"))
        return QStringLiteral("html");
    if (bytes.startsWith("Nr.\tName\t"))
        return QStringLiteral("txt");
    if (bytes.startsWith("Nr.;Name;"))
        return QStringLiteral("csv");
    return QStringLiteral("unknown");
}

} // namespace

class TestMainFiles : public QObject {
    Q_OBJECT
private slots:
    void init() { ClearSettingsStore(); }

    void save_asksWithTheDateStampAndDispatchesByType()
    {
        MainWindowFixture f;
        timeTwoEntries(f);
        TFormMain* w = f.w();
        QVERIFY(w->ui.sbSave->isEnabled());

        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/race.txt"), 4);
        w->ui.sbSave->click();
        const QList<dialogs::FileDialogRequest> requests = dialogs::TakeFileRequests();
        QCOMPARE(requests.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d$"))
                    .match(requests[0].fileName)
                    .hasMatch());
        QCOMPARE(requests[0].filterIndex, 2);
        QVERIFY(requests[0].filter.endsWith(QLatin1String(" (*.txt)|*.txt")));
        QVERIFY(requests[0].filter.contains(QLatin1String(" (*.docx)|*.docx|")));
        const QByteArray text = ReadFileBytes(QStringLiteral("race.txt"));
        QVERIFY(text.startsWith("Nr.\tName\tStart\tZeit\tSplit\tPlatz\t*\t\r\n"));
        QCOMPARE(text.count("\r\n"), 3); // header and two entries; the free row has no "Nr."
        QCOMPARE(w->CurrentSettings().files.filterIndex, 4);

        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/race.csv"), 1);
        w->ui.sbSave->click();
        // The header and the two entries; the free row after the last start
        // is no entry.
        const QByteArray csv = ReadFileBytes(QStringLiteral("race.csv"));
        QVERIFY(csv.startsWith("Nr.;Name;Start;Zeit;Split;Platz;*\r\n"));
        QCOMPARE(csv.count("\r\n"), 3);
        QVERIFY(!csv.contains(";-;"));

        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/race.html"), 3);
        w->ui.sbSave->click();
        const QByteArray page = ReadFileBytes(QStringLiteral("race.html"));
        // Names keep their commas; only the times get points.
        QVERIFY(page.contains("<td>3<td>Berg, Anna<td>"));
        QVERIFY(page.contains("<td>9.87<td>"));
        QVERIFY(page.contains("A&lt;B &amp; J\xF6rg"));
        QVERIFY(f.shell.calls.isEmpty()); // saving a page does not show it

        w->files.templatePath = QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx");
        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/race.docx"), 2);
        w->ui.sbSave->click();
        QVERIFY(ReadFileBytes(QStringLiteral("race.docx")).startsWith("PK"));
        QVERIFY(f.shell.calls.isEmpty()); // save mode only saves

        // Cancelled: nothing written.
        w->ui.sbSave->click();
        QCOMPARE(w->CurrentSettings().files.filterIndex, 2);
    }

    void load_replacesTheTableAndRanks()
    {
        QFile::remove(QStringLiteral("saved.txt"));
        {
            MainWindowFixture f;
            timeTwoEntries(f);
            dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/saved.txt"), 4);
            f.w()->ui.sbSave->click();
        }
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.grid()->SetCells(1, 1, QStringLiteral("vorher"));
        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/saved.txt"));
        w->ui.sbLoad->click();
        QCOMPARE(
            dialogs::TakeFileRequests().constFirst().filter.left(28), QStringLiteral("Text file (*.txt)|*.txt|Alle"));
        // Both entries, and a free row for the next START.
        QCOMPARE(f.grid()->RowCount(), 4);
        QCOMPARE(f.current(), 3);
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("9,87"));
        QCOMPARE(f.cell(kColName, 1), QStringLiteral("Berg, Anna"));
        QCOMPARE(f.cell(kColPlatz, 2), QStringLiteral("2"));
        // Every entry is finished: the race counts as not started.
        QVERIFY(!w->Race().FirstStart());
        QVERIFY(!w->ui.Clock->Enabled() && !w->ui.bEnd->isEnabled());
        QCOMPARE(f.grid()->ColWidths(6), -1);

        // A start list: numbers and names, the first row current and free.
        // The log holds starts, so the operator is asked first.
        WriteFileBytes(QStringLiteral("start.txt"), "12;Erika\r\n13;;Hans\r\n");
        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/start.txt"));
        f.answerNextDialog(6);
        w->ui.sbLoad->click();
        QCOMPARE(f.shownDialogText, QStringLiteral("Protokoll wird ersetzt!"));
        QCOMPARE(f.grid()->RowCount(), 3);
        QCOMPARE(f.grid()->Rows(2).mid(0, 7), (QStringList { "13", "Hans", "", "", "", "", "" }));
        QCOMPARE(w->Race().FirstStart().value_or(0), 0);
        QVERIFY(w->ui.bSTART->isEnabled());
        QVERIFY(w->ui.PanelLoadNote->isHidden());

        // A spreadsheet's list with more columns and a stray control
        // character loads whole, its columns found by their names (the club,
        // the year and the licence are none of ours); a note over the table
        // names the lines it changed and, in its tooltip, what became of them.
        WriteFileBytes(QStringLiteral("verein.csv"),
            "Nr.;Name;Verein;Jahrgang;Klasse;Bezahlt;Lizenz\r\n"
            "21;Ute\x07Kern;SC Au;1990;D;ja;A-12\r\n"
            "22;Max Roth;TSV;1985;H;ja;\r\n");
        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/verein.csv"));
        w->ui.sbLoad->click();
        QCOMPARE(f.grid()->RowCount(), 3);
        const QStringList ute = f.grid()->Rows(f.grid()->FindRow(0, "21"));
        QCOMPARE(ute.mid(0, 7), (QStringList { "21", "Ute Kern", "", "", "", "", "" }));
        QCOMPARE(ute.value(protocol::kColKlasse), QStringLiteral("D"));
        QVERIFY(w->ui.PanelLoadNote->isVisible());
        QCOMPARE(w->ui.PanelLoadNote->Text->text(), QStringLiteral("1 Zeile beim Laden geändert: 2"));
        QVERIFY(w->ui.PanelLoadNote->toolTip().startsWith(QStringLiteral("verein.csv\nZeile 2: Steuerzeichen")));
        QVERIFY(w->ui.bSTART->isEnabled());
        // Its button puts it away; the next clean load has none.
        w->ui.PanelLoadNote->CloseButton->click();
        QVERIFY(w->ui.PanelLoadNote->isHidden());

        // A missing file leaves the table alone, and says so.
        dialogs::TakeShownMessages();
        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/missing.txt"));
        w->ui.sbLoad->click();
        QCOMPARE(f.grid()->RowCount(), 3);
        QVERIFY(f.grid()->FindRow(1, QStringLiteral("Ute Kern")) > 0);
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QVERIFY(w->ui.LabNotice->toolTip().contains(QStringLiteral("missing.txt")));
    }

    // Numbers as clubs give them: the load note names the ones two entries
    // share; START keeps letters, writes whole numbers plainly and numbers
    // the entry without one; "Nr." sorts naturally; every output carries
    // the numbers as the table does.
    void letterBibsAndRepeatedNumbers_throughStartSortingAndEveryOutput()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        QVERIFY(WriteFileBytes(QDir::currentPath() + QStringLiteral("/bibs.csv"),
            "Nr.;Name\r\n12a;Anna\r\nA7;Bert\r\n007;Cleo\r\n;Dora\r\n10;Egon\r\n10;Fritz\r\n2;Gina\r\n"));
        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/bibs.csv"));
        w->ui.sbLoad->click();
        QCOMPARE(w->ui.PanelLoadNote->Text->text(), QStringLiteral("Nr. mehrfach: 10"));
        QVERIFY(w->ui.PanelLoadNote->toolTip().contains(QStringLiteral("Nr. 10 mehrfach in den Zeilen 6, 7")));
        for (int i = 0; i < 7; ++i)
            f.start(100);
        const auto nameOf = [&](const QString& nr) { return f.cell(kColName, f.grid()->FindRow(0, nr)); };
        QCOMPARE(nameOf("12a"), QStringLiteral("Anna"));
        QCOMPARE(nameOf("A7"), QStringLiteral("Bert"));
        QCOMPARE(nameOf("7"), QStringLiteral("Cleo"));
        QCOMPARE(nameOf("1"), QStringLiteral("Dora")); // 1 is the lowest number nobody has
        f.grid()->HeaderClick(protocol::kColNr, false);
        QStringList order;
        for (int r = 1; r < f.grid()->RowCount(); ++r)
            order << f.cell(kColNr, r);
        QCOMPARE(order, (QStringList { "1", "2", "7", "10", "10", "12a", "A7", "" }));

        const TCellStore& cells = f.grid()->Store();
        const QString text = QString::fromUtf8(protocol::ProtocolTextBytes(cells));
        const QString csv = QString::fromUtf8(GridCsvBytes(cells));
        const QString page = QString::fromLatin1(protocol::HtmlPageBytes(cells, w->files.title));
        const QString document = protocol::BuildWordExportText(cells, {}).text;
        for (const QString& nr : { QStringLiteral("12a"), QStringLiteral("A7") }) {
            QVERIFY2(text.contains(QStringLiteral("\r\n") + nr + QStringLiteral("\t")), qPrintable(nr));
            QVERIFY2(csv.contains(QStringLiteral("\r\n") + nr + QStringLiteral(";")), qPrintable(nr));
            QVERIFY2(page.contains(QLatin1Char('>') + nr + QLatin1Char('<')), qPrintable(nr));
            QVERIFY2(document.contains(nr + QStringLiteral("\t")), qPrintable(nr));
        }
        const race::Snapshot snapshot = race::TakeSnapshot(w->Race(), 0, w->files.title, {});
        QStringList numbers;
        for (const race::SnapshotEntry& e : snapshot.entries)
            numbers << e.number;
        QCOMPARE(numbers, (QStringList { "1", "2", "7", "10", "10", "12a", "A7" }));
    }

    // The page goes into the documents folder's "Rennzeit", made when
    // missing; the user's own page of that name in the working folder stays.
    void page_isShownOrPrintedThroughTheShell()
    {
        QTemporaryDir documents;
        QVERIFY(UseDocumentsFolder(documents.path()));
        const auto restore = qScopeGuard([] { UseDocumentsFolder(QString()); });
        MainWindowFixture f;
        TFormMain* w = f.w();
        QVERIFY(WriteFileBytes(w->files.title + QStringLiteral(".html"), "meine eigene Seite"));
        const QString page = documents.path() + QStringLiteral("/Rennzeit/") + w->files.title + QStringLiteral(".html");
        // Alt+D prints even a table with only the header and one row.
        QVERIFY(!w->ui.sbPrint->isEnabled());
        QTest::keyClick(w, Qt::Key_D, Qt::AltModifier);
        QCOMPARE(f.shell.calls, QStringList { QStringLiteral("print ") + page });
        QCOMPARE(ReadFileBytes(page).count("<tr><td>"), 1);

        timeTwoEntries(f);
        f.shell.calls.clear();
        w->ui.sbHTML->click();
        QCOMPARE(f.shell.calls, QStringList { QStringLiteral("open ") + page });
        QCOMPARE(ReadFileBytes(page).count("<tr><td>"), 3);
        f.shell.calls.clear();
        w->ui.sbPrint->click();
        QCOMPARE(f.shell.calls, QStringList { QStringLiteral("print ") + page });
        QCOMPARE(ReadFileBytes(w->files.title + QStringLiteral(".html")), QByteArray("meine eigene Seite"));
    }

    // Into the documents folder's "Rennzeit", under the date stamp; a
    // document of the same minute, edited since, is never replaced.
    void word_viewModeSavesUnderTheDateStampAndOpens()
    {
        QTemporaryDir documents;
        QVERIFY(UseDocumentsFolder(documents.path()));
        const auto restore = qScopeGuard([] { UseDocumentsFolder(QString()); });
        const QString folder = documents.path() + QStringLiteral("/Rennzeit/");
        MainWindowFixture f;
        TFormMain* w = f.w();
        timeTwoEntries(f);
        QVERIFY(!w->ui.sbWord->isEnabled()); // no template beside the test program
        w->files.templatePath = QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx");
        op::LookAtFileBar(*w);
        QVERIFY(w->ui.sbWord->isEnabled());

        QStringList calls;
        w->WordEngineFactory = [&calls] { return std::make_unique<RecordingEngine>(calls); };
        w->ui.sbWord->click();
        QCOMPARE(calls.size(), 7);
        QCOMPARE(calls[0], QStringLiteral("AppMaximize"));
        QCOMPARE(calls[1], QStringLiteral("FileOpen ") + w->files.templatePath);
        QVERIFY(calls[2].startsWith(QLatin1String("Insert Nr.\tName\tStart\tZeit\tSplit\tPlatz\t3\tBerg, Anna\t")));
        QCOMPARE(calls[3], QStringLiteral("LineUp 4 1"));
        QCOMPARE(calls[4], QStringLiteral("TextToTable 1 6"));
        QVERIFY(calls[5].startsWith(QLatin1String("FileSummaryInfo Rennen vom ")));
        QVERIFY2(QRegularExpression(QStringLiteral("^FileSaveAs %1\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.docx$")
                                        .arg(QRegularExpression::escape(folder)))
                     .match(calls[6])
                     .hasMatch(),
            qPrintable(calls[6]));

        // The real engine writes the document and hands it to the shell.
        w->WordEngineFactory = {};
        f.shell.calls.clear();
        w->ui.exporttoWord1->trigger();
        QCOMPARE(f.shell.calls.size(), 1);
        QVERIFY(f.shell.calls[0].startsWith(QLatin1String("open ")));
        QVERIFY(f.shell.calls[0].endsWith(QLatin1String(".docx")));
        const QString first = f.shell.calls[0].mid(5);
        QVERIFY(first.startsWith(folder));
        QVERIFY(ReadFileBytes(first).startsWith("PK"));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

        // The club edits the document; another one in the same minute gets
        // a name of its own.
        QVERIFY(WriteFileBytes(first, "bearbeitet"));
        f.shell.calls.clear();
        w->ui.sbWord->click();
        QCOMPARE(f.shell.calls.size(), 1);
        const QString second = f.shell.calls[0].mid(5);
        QVERIFY2(second != first && second.startsWith(folder), qPrintable(second));
        if (QFileInfo(second).fileName().left(16) == QFileInfo(first).fileName().left(16))
            QCOMPARE(second, first.chopped(5) + QStringLiteral("-2.docx"));
        QVERIFY(ReadFileBytes(second).startsWith("PK"));
        QCOMPARE(ReadFileBytes(first), QByteArray("bearbeitet"));
    }

    void excel_opensANewWorkbook()
    {
        MainWindowFixture f;
        timeTwoEntries(f);
        f.w()->ui.sbExcel->click();
        QCOMPARE(f.shell.calls.size(), 1);
        QVERIFY(f.shell.calls[0].startsWith(QLatin1String("open ")));
        QVERIFY(f.shell.calls[0].endsWith(QLatin1String(".xlsx")));
        QVERIFY(ReadFileBytes(f.shell.calls[0].mid(5)).startsWith("PK"));
    }

    void dialogs_startInTheDocumentsFolder_thenInTheFolderLastUsed()
    {
        const QString documents = QDir::homePath() + QStringLiteral("/Eigene Dokumente");
        QVERIFY(QDir().mkpath(documents));
        QVERIFY(WriteFileBytes(documentsConfig(), "XDG_DOCUMENTS_DIR=\"$HOME/Eigene Dokumente\"\n"));
        QTemporaryDir chosen;
        {
            MainWindowFixture f;
            TFormMain* w = f.w();
            QCOMPARE(openDialogFolder(w), documents);
            timeTwoEntries(f); // "Speichern" is greyed while the table is empty
            QCOMPARE(saveDialogFolder(w), documents);
            dialogs::QueueFileName(chosen.filePath(QStringLiteral("lauf.txt")), 4);
            w->ui.sbSave->click();
            dialogs::TakeFileRequests();
            // With times in the table the open asks first; it is allowed.
            f.answerNextDialog(TFDlgYesNo::kResultYes);
            QCOMPARE(openDialogFolder(w), chosen.path());
            QCOMPARE(saveDialogFolder(w), chosen.path());
        }
        // The folder is kept for the next start, after the original values.
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
        QCOMPARE(store.value(QStringLiteral("SaveDir")).toString(), chosen.path());
        {
            MainWindowFixture f;
            QCOMPARE(openDialogFolder(f.w()), chosen.path());
            QCOMPARE(f.w()->CurrentSettings().files.filterIndex, 4);
        }

        // A folder that is gone, or no documents folder at all: the home folder,
        // never the program's folder. The other values are read all the same.
        store.setValue(QStringLiteral("SaveDir"), chosen.path() + QStringLiteral("/weg"));
        store.sync();
        QVERIFY(QFile::remove(documentsConfig()));
        QVERIFY(QDir(documents).removeRecursively());
        MainWindowFixture f;
        QCOMPARE(openDialogFolder(f.w()), QDir::homePath());
        QVERIFY(QDir::homePath() + QLatin1Char('/') != platform::ExecutableFolder());
        QCOMPARE(f.w()->CurrentSettings().files.filterIndex, 4);
    }

    void save_typedExtensionDecidesTheType_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("filterAfter");
        QTest::newRow("csv typed, Word selected") << "ergebnis.csv" << 2 << "ergebnis.csv"
                                                  << "csv" << 1;
        QTest::newRow("docx typed, text selected") << "ergebnis.docx" << 4 << "ergebnis.docx"
                                                   << "docx" << 2;
        QTest::newRow("html typed, CSV selected") << "ergebnis.html" << 1 << "ergebnis.html"
                                                  << "html" << 3;
        QTest::newRow("HTM typed, Word selected") << "ergebnis.HTM" << 2 << "ergebnis.HTM"
                                                  << "html" << 3;
        QTest::newRow("txt typed, page selected") << "ergebnis.txt" << 3 << "ergebnis.txt"
                                                  << "txt" << 4;
        QTest::newRow("no extension, CSV") << "ergebnis" << 1 << "ergebnis.csv"
                                           << "csv" << 1;
        QTest::newRow("no extension, Word") << "ergebnis" << 2 << "ergebnis.docx"
                                            << "docx" << 2;
        QTest::newRow("no extension, page") << "ergebnis" << 3 << "ergebnis.html"
                                            << "html" << 3;
        QTest::newRow("no extension, text") << "ergebnis" << 4 << "ergebnis.txt"
                                            << "txt" << 4;
        QTest::newRow("other extension") << "lauf.2024" << 1 << "lauf.2024.csv"
                                         << "csv" << 1;
    }
    void save_typedExtensionDecidesTheType()
    {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, written);
        QFETCH(QString, kind);
        QFETCH(int, filterAfter);
        QTemporaryDir dir;
        MainWindowFixture f;
        timeTwoEntries(f);
        f.w()->files.templatePath = QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx");
        dialogs::QueueFileName(dir.filePath(typed), filter);
        f.w()->ui.sbSave->click();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { written });
        QCOMPARE(kindOf(ReadFileBytes(dir.filePath(written))), kind);
        QCOMPARE(f.w()->CurrentSettings().files.filterIndex, filterAfter);
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
    }

    void word_missingTemplate_isReportedWithItsName()
    {
        QTemporaryDir dir;
        MainWindowFixture f;
        timeTwoEntries(f);
        f.w()->files.templatePath = dir.filePath(QStringLiteral("Protokollvorlage.docx"));
        dialogs::QueueFileName(dir.filePath(QStringLiteral("lauf.docx")), 2);
        f.w()->ui.sbSave->click();
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QCOMPARE(f.w()->ui.LabNotice->toolTip(),
            QStringLiteral("Das Word-Dokument konnte nicht erstellt werden.\n") + f.w()->files.templatePath
                + QLatin1Char('\n') + platform::SystemReason(ENOENT));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void print_failureIsReportedWithThePrintersReason()
    {
        MainWindowFixture f;
        timeTwoEntries(f);
        f.shell.printFailure = QStringLiteral("Es ist kein Standarddrucker eingerichtet.");
        f.w()->ui.sbPrint->click();
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QCOMPARE(f.w()->ui.LabNotice->toolTip(),
            QStringLiteral("Das Protokoll konnte nicht gedruckt werden.\n") + platform::OutputFolder()
                + QLatin1Char('/') + f.w()->files.title
                + QStringLiteral(".html\nEs ist kein Standarddrucker eingerichtet."));
    }

    // The spreadsheet's own Save writes into the workbook's folder: at exit
    // the program leaves it, the workbook and the user's files as they are.
    void excel_keepsTheWorkbookAndTheUsersFilesAtExit()
    {
        QTemporaryDir documents;
        QVERIFY(UseDocumentsFolder(documents.path()));
        QString workbook;
        {
            MainWindowFixture f;
            timeTwoEntries(f);
            f.w()->ui.sbExcel->click();
            QCOMPARE(f.shell.calls.size(), 1);
            workbook = f.shell.calls[0].mid(5);
            QCOMPARE(QFileInfo(workbook).absolutePath(), documents.filePath(QStringLiteral("Rennzeit")));
            // The note says where the workbook is.
            const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].icon, dialogs::Icon::Information);
            QVERIFY2(shown[0].text.endsWith(workbook), qPrintable(shown[0].text));
            QVERIFY(WriteFileBytes(documents.filePath(QStringLiteral("Rennzeit/Ergebnis bearbeitet.xlsx")), "PK"));
        }
        QVERIFY(ReadFileBytes(workbook).startsWith("PK"));
        QCOMPARE(
            ReadFileBytes(documents.filePath(QStringLiteral("Rennzeit/Ergebnis bearbeitet.xlsx"))), QByteArray("PK"));
        QVERIFY(UseDocumentsFolder(QString()));
    }

    // A name too long for a spreadsheet cell is cut, and the operator is told
    // which one.
    void excel_cutCell_isListedInTheMessage()
    {
        QTemporaryDir documents;
        QVERIFY(UseDocumentsFolder(documents.path()));
        MainWindowFixture f;
        timeTwoEntries(f);
        f.grid()->SetCells(1, 2, QString(40000, QLatin1Char('x')));
        f.w()->ui.sbExcel->click();
        QCOMPARE(f.shell.calls.size(), 1);
        const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, dialogs::Icon::Warning);
        QVERIFY2(shown[0].text.contains(QStringLiteral("Zeile 2 (Nr. ") + f.cell(kColNr, 2)
                     + QStringLiteral("), Spalte Name: 40000 Zeichen")),
            qPrintable(shown[0].text));
        QVERIFY(shown[0].text.contains(f.shell.calls[0].mid(5)));
        QVERIFY(UseDocumentsFolder(QString()));
    }

    // The dialog asks before it replaces the name it saw; a name that gets
    // its extension only afterwards is asked about here, Abbrechen keeping
    // the file.
    void save_appendedExtension_asksBeforeReplacing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written");
        QTest::newRow("Ergebnis.final, text") << "Ergebnis.final" << 4 << "Ergebnis.final.txt";
        QTest::newRow("Lauf 12.05, CSV") << "Lauf 12.05" << 1 << "Lauf 12.05.csv";
    }
    void save_appendedExtension_asksBeforeReplacing()
    {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, written);
        QTemporaryDir dir;
        MainWindowFixture f;
        timeTwoEntries(f);
        QVERIFY(WriteFileBytes(dir.filePath(written), "alt"));

        dialogs::QueueFileName(dir.filePath(typed), filter);
        dialogs::QueueAnswer(QMessageBox::Cancel);
        f.w()->ui.sbSave->click();
        QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, dialogs::Icon::Question);
        QCOMPARE(shown[0].text, QStringLiteral("Die Datei %1 existiert bereits. Ersetzen?").arg(dir.filePath(written)));
        QCOMPARE(ReadFileBytes(dir.filePath(written)), QByteArray("alt"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList { written });

        dialogs::QueueFileName(dir.filePath(typed), filter);
        dialogs::QueueAnswer(QMessageBox::Yes);
        f.w()->ui.sbSave->click();
        QCOMPARE(dialogs::TakeShownMessages().size(), 1);
        QVERIFY(ReadFileBytes(dir.filePath(written)).contains("Berg, Anna"));

        // A new name is not asked about.
        dialogs::QueueFileName(dir.filePath(QStringLiteral("neu")), filter);
        f.w()->ui.sbSave->click();
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
    }
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestMainFiles test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainfiles.moc"
