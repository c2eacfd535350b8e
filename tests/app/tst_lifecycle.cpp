// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindowFixture.h"

#include "app/Application.h"
#include "app/LiveWidgets.h"
#include "controls/FlEdit.h"
#include "controls/Udigit.h"
#include "dialogs/Cfg.h"
#include "platform/AppInfo.h"
#include "platform/Version.h"
#include "protocol/Columns.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace {

QString storeFile(const QString& title)
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, title).fileName();
}

void writeStore(const QString& title, const QList<std::pair<QString, QVariant>>& values)
{
    QFile::remove(storeFile(title));
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, title);
    for (const auto& [k, v] : values)
        s.setValue(k, v);
}

const char* const kSettingsChild = "--settings-then-wait";
const QString kRaceTitle = QStringLiteral("Vereinsmeisterschaft Slalom 2027");

// The program in a child process: the settings dialog, new values, OK; then
// it waits to be killed.
int settingsChild()
{
    MainWindowFixture f;
    TCfgDialog* d = f.w()->ui.CfgDialog;
    dialogs::SetDialogHandler([d](QDialog*) {
        d->eVeranstaltung->setText(kRaceTitle);
        d->cbPort->setCurrentIndex(d->PortIndex(1));
        d->cbDigits->setCurrentIndex(1); // tenths
        d->seLivePort->setValue(8123);
        return int(QDialog::Accepted);
    });
    f.w()->ui.EinstellunGen1->trigger();
    std::printf("ok\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}

const QStringList kAllNames { "Left", "Top", "Width", "Height", "Sound", "Port", "Alg", "C1", "C2", "C3", "Acc", "C4",
    "FilterInd", "WaitStart", "StopFirst", "PortDevice", "Veranstaltung" };

} // namespace

class TestLifecycle : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        platform::SetExecutablePathForTests(QString());
        QFile::remove(storeFile(platform::ApplicationTitle()));
        QDir(storeFile(platform::ApplicationTitle())).removeRecursively(); // left by a failed run
    }

    void firstStart_usesDefaults_andExitWritesAllValues()
    {
        const QString title = platform::ApplicationTitle();
        {
            MainWindowFixture f;
            TFormMain* w = f.w();
            QCOMPARE(w->size(), QSize(792, 460));
            QCOMPARE(w->Race().Settings().accuracy, 2);
            QCOMPARE(w->Race().Settings().startLockoutMs, 3000);
            QCOMPARE(w->ui.ComPort->Port(), 0);
            QCOMPARE(w->Colours().background, clBlack);
            QCOMPARE(w->Colours().digit, clYellow);
            QCOMPARE(w->Colours().dim, TColor(0x404040));
            QCOMPARE(w->Colours().secondRow, clLime);
            QCOMPARE(w->CurrentSettings().files.filterIndex, 2);
            QCOMPARE(w->windowTitle(), title + QLatin1Char(' ') + QString::fromLatin1(platform::kVersion));
        }
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, title);
        for (const QString& name : kAllNames)
            QVERIFY2(s.contains(name), qPrintable(name));
        QCOMPARE(s.value("WaitStart").toInt(), 3000);
        QCOMPARE(s.value("C2").toInt(), 0x00FFFF);
        QCOMPARE(s.value("Sound").toInt(), 0);
        QCOMPARE(s.value("Width").toInt(), 792);
    }

    // The brand caption names the program itself; a click opens the home page
    // the build was given, and without one shows what "Info" shows.
    void brandCaption_namesTheProgram_andItsClickNeedsAHomePage()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        QCOMPARE(w->ui.BrandLabels[2]->text(), QStringLiteral("Renn"));
        QCOMPARE(w->ui.BrandLabels[3]->text(), QStringLiteral("zeit"));
        QCOMPARE(w->ui.BrandLabels[4]->text(), QString::fromLatin1(platform::kVersion));
        for (int i = 2; i < 5; ++i) {
            dialogs::TakeShownMessages();
            f.shell.calls.clear();
            QTest::mouseClick(w->ui.BrandLabels[static_cast<size_t>(i)], Qt::LeftButton);
            if (platform::kHomePage[0] != '\0') {
                QCOMPARE(f.shell.calls, QStringList { QStringLiteral("open ") + platform::kHomePage });
                continue;
            }
            QVERIFY(f.shell.calls.isEmpty());
            const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
            QCOMPARE(shown.size(), 1);
            QVERIFY(shown[0].text.startsWith(QStringLiteral("Rennzeit ") + QString::fromLatin1(platform::kVersion)));
        }
    }

    void backups_onlyForATableWithEntries_andADatedCopyInTheDataFolder()
    {
        const QString title = platform::ApplicationTitle();
        // In the documents folder's "Rennzeit", never the working folder.
        QVERIFY(QDir().mkpath(platform::OutputFolder()));
        const QString backup = platform::OutputFolder() + QLatin1Char('/') + title + QStringLiteral(".txt");
        QFile::remove(title + QStringLiteral(".txt"));
        QDir data(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/') + title);
        data.removeRecursively();
        // The last race's backup survives a start and an exit without a race.
        QVERIFY(WriteFileBytes(backup, "the last race"));
        {
            MainWindowFixture f;
        }
        QCOMPARE(ReadFileBytes(backup), QByteArray("the last race"));
        QVERIFY(data.entryList({ title + QStringLiteral("-*.txt") }, QDir::Files).isEmpty());

        QByteArray expected;
        {
            MainWindowFixture f;
            f.grid()->SetCells(0, 1, QStringLiteral("7"));
            f.grid()->SetCells(1, 1, QStringLiteral("Berg, Anna"));
            f.start();
            f.start(1500);
            op::SelectRow(*f.w(), 1);
            f.stop(9870);
            expected = f.grid()->BackupBytes(false, protocol::kProtocolColCount);
        }
        // Without classes and statuses the seven columns, as always: eleven
        // "-1" in the geometry line.
        QCOMPARE(ReadFileBytes(backup), expected);
        QVERIFY(!QFile::exists(title + QStringLiteral(".txt")));
        QVERIFY(expected.contains(
            "\r\nUserSettings,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1\r\nNr.,Name,Start,Zeit,Split,Platz,*\r\n"));
        const QStringList dated = data.entryList({ title + QStringLiteral("-*.txt") }, QDir::Files);
        QCOMPARE(dated.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^%1-\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.txt$").arg(title))
                    .match(dated[0])
                    .hasMatch());
        QCOMPARE(ReadFileBytes(data.filePath(dated[0])), expected);

        // The open command reads the backup as the table it was.
        MainWindowFixture f;
        op::Load(*f.w(), backup);
        // The two entries (the backup's free row is not read) and a free row
        // for the next START.
        QCOMPARE(f.grid()->RowCount(), 4);
        QCOMPARE(f.grid()->Rows(3).mid(0, 7), (QStringList { "", "", "", "", "", "-", "" }));
        QCOMPARE(f.cell(kColNr, 1), QStringLiteral("7"));
        QCOMPARE(f.cell(kColName, 1), QStringLiteral("Berg, Anna"));
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("11,37"));
        QCOMPARE(f.cell(kColPlatz, 1), QStringLiteral("1"));
        QCOMPARE(f.cell(kColRaw, 1), QStringLiteral("11370"));
        QCOMPARE(f.cell(kColNr, 2), QStringLiteral("1")); // the lowest number not taken at its START
        QVERIFY(!f.cell(kColRaw, 2).isEmpty());
        QVERIFY(f.cell(kColZeit, 2).isEmpty());
        QVERIFY(!f.cell(kColNr, 1).contains(QLatin1String("GenerelSettings")));
    }

    void storeWithoutSound_appliesOnlyTheValuesBeforeIt()
    {
        const QString title = platform::ApplicationTitle();
        writeStore(title,
            { { "Port", 3 }, { "Alg", 1 }, { "Left", 20 }, { "Top", 30 }, { "Width", 900 }, { "Height", 600 },
                { "C1", 0x112233 }, { "C2", 0x445566 }, { "C3", 1 }, { "Acc", 0 }, { "C4", 2 }, { "FilterInd", 4 },
                { "WaitStart", 5000 } });
        MainWindowFixture f;
        TFormMain* w = f.w();
        QCOMPARE(w->ui.ComPort->Port(), 3);
        QCOMPARE(w->LightBarriers().Algorithm(), 1);
        QCOMPARE(w->size(), QSize(900, 600));
        QCOMPARE(w->Colours().background, clBlack);
        QCOMPARE(w->Colours().digit, clYellow);
        QCOMPARE(w->Race().Settings().accuracy, 2);
        QCOMPARE(w->CurrentSettings().files.filterIndex, 2);
        QCOMPARE(w->Race().Settings().startLockoutMs, 3000);
        QVERIFY(!w->ui.ComPort->Connected()); // COM3 does not exist: start-up stays quiet
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
    }

    void storedValues_comeBack()
    {
        const QString title = platform::ApplicationTitle();
        writeStore(title,
            { { "Port", 1 }, { "Alg", 1 }, { "Left", 20 }, { "Top", 30 }, { "Width", 900 }, { "Height", 600 },
                { "Sound", 1 }, { "C1", 0x112233 }, { "C2", 0x445566 }, { "C3", 0x010101 }, { "Acc", 1 },
                { "C4", 0x020202 }, { "FilterInd", 4 }, { "WaitStart", 5000 } });
        {
            MainWindowFixture f;
            TFormMain* w = f.w();
            QVERIFY(w->ui.ComPort->Connected());
            QVERIFY(w->ui.ImageLSstart->isVisible());
            QCOMPARE(w->Colours().background, TColor(0x112233));
            QCOMPARE(w->Colours().digit, TColor(0x445566));
            QCOMPARE(w->ui.PanelTimer->Digits[0][DisplayTime::Seconds]->ColorOn(), TColor(0x445566));
            QCOMPARE(w->ui.PanelTimer->Digits[0][DisplayTime::Hours]->ColorOn(), TColor(0x010101));
            QCOMPARE(w->Race().Settings().accuracy, 1);
            QCOMPARE(w->ui.PanelTimer->width(), 399);
            QCOMPARE(w->Race().Settings().startLockoutMs, 5000);
            QCOMPARE(w->CurrentSettings().files.filterIndex, 4);
        }
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, title);
        QCOMPARE(s.value("Sound").toInt(), 1);
        QCOMPARE(s.value("C4").toInt(), 0x020202);
        QCOMPARE(s.value("Port").toInt(), 1);
    }

    void stopFirst_isReadLenientlyAfterTheOthers()
    {
        const QString title = platform::ApplicationTitle();
        // A store written before the setting existed: everything else comes
        // back, the setting is off.
        writeStore(title,
            { { "Port", 0 }, { "Alg", 1 }, { "Left", 20 }, { "Top", 30 }, { "Width", 900 }, { "Height", 600 },
                { "Sound", 0 }, { "C1", 0 }, { "C2", 0x445566 }, { "C3", 1 }, { "Acc", 1 }, { "C4", 2 },
                { "FilterInd", 4 }, { "WaitStart", 5000 } });
        {
            MainWindowFixture f;
            QVERIFY(!f.w()->Race().Settings().stopFirst);
            QCOMPARE(f.w()->Race().Settings().startLockoutMs, 5000);
            SetTiming(f.w()->Race(), &race::RaceSettings::stopFirst, true);
        }
        QCOMPARE(QSettings(QSettings::NativeFormat, QSettings::UserScope, title).value("StopFirst").toInt(), 1);
        {
            MainWindowFixture f;
            QVERIFY(f.w()->Race().Settings().stopFirst);
            QCOMPARE(f.w()->Race().Settings().accuracy, 1);
        }
        // A bad value takes the default; a store whose old keys end early
        // still gives the new one.
        writeStore(title, { { "Port", 0 }, { "StopFirst", "ja" } });
        {
            MainWindowFixture f;
            QVERIFY(!f.w()->Race().Settings().stopFirst);
        }
        writeStore(title, { { "Port", 0 }, { "StopFirst", 1 } });
        MainWindowFixture f;
        QVERIFY(f.w()->Race().Settings().stopFirst);
    }

    void waitStartZeroOrNegative_keeps3000()
    {
        const QString title = platform::ApplicationTitle();
        for (int stored : { 0, -5 }) {
            writeStore(title,
                { { "Port", 0 }, { "Alg", 0 }, { "Left", 0 }, { "Top", 0 }, { "Width", 792 }, { "Height", 460 },
                    { "Sound", 0 }, { "C1", 0 }, { "C2", 0xFFFF }, { "C3", 0x404040 }, { "Acc", 2 }, { "C4", 0xFF00 },
                    { "FilterInd", 2 }, { "WaitStart", stored } });
            {
                MainWindowFixture f;
                QCOMPARE(f.w()->Race().Settings().startLockoutMs, 3000);
            }
            QCOMPARE(QSettings(QSettings::NativeFormat, QSettings::UserScope, title).value("WaitStart").toInt(), 3000);
        }
    }

    void renamedExecutable_usesItsOwnStoreAndBackup()
    {
        platform::SetExecutablePathForTests(QDir::currentPath() + QStringLiteral("/zeitnahme"));
        const QString backup = platform::OutputFolder() + QStringLiteral("/zeitnahme.txt");
        QFile::remove(backup);
        QFile::remove(storeFile(QStringLiteral("zeitnahme")));
        {
            MainWindowFixture f;
            QCOMPARE(f.w()->windowTitle(), QStringLiteral("zeitnahme ") + QString::fromLatin1(platform::kVersion));
            QCOMPARE(f.w()->files.helpFile, QDir::currentPath() + QStringLiteral("/zeitnahme.hlp"));
            f.start();
        }
        QVERIFY(QFile::exists(storeFile(QStringLiteral("zeitnahme"))));
        QVERIFY(QFile::exists(backup));
        platform::SetExecutablePathForTests(QString());
    }

    void closeQuestion_onlyWhileRacingOrModified()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        bool canClose = false;
        int asked = 0;
        dialogs::SetDialogHandler([&](QDialog*) {
            ++asked;
            return 2;
        });
        canClose = op::Close(*w);
        QVERIFY(canClose);
        QCOMPARE(asked, 0);

        f.start();
        canClose = op::Close(*w);
        QVERIFY(!canClose);
        QCOMPARE(asked, 1);
        QCOMPARE(w->ui.FDlgYesNo->Label1->text(), QStringLiteral("Beenden?"));
        QVERIFY(!w->close()); // the close box is refused the same way
        QVERIFY(w->isVisible());

        op::End(*w);
        f.grid()->SetModified(true);
        dialogs::SetDialogHandler([&](QDialog*) {
            ++asked;
            return 6;
        });
        canClose = op::Close(*w);
        QVERIFY(canClose);
    }

    void settingsWriteFailure_isReported_andTheBackupStillWritten()
    {
        const QString title = platform::ApplicationTitle();
        const QString file = storeFile(title);
        const QString backup = platform::OutputFolder() + QLatin1Char('/') + title + QStringLiteral(".txt");
        QFile::remove(backup);
        {
            MainWindowFixture f(true);
            QVERIFY(f.lab.IsOpen(1));
            f.start();
            QDir().mkpath(file); // a folder where the settings file belongs
            dialogs::TakeShownMessages();
            f.window.reset();
            const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].icon, dialogs::Icon::Critical);
            QVERIFY(!f.lab.IsOpen(1));
        }
        QVERIFY(QFile::exists(backup));
        QDir(file).removeRecursively();
    }

    void settingsDialog_transfersTheValues()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        TCfgDialog* d = w->ui.CfgDialog;
        QCOMPARE(d->cbPort->count(), 2); // "Keine", "COM1" (from the start-up scan)
        QCOMPARE(d->cbPort->itemText(1), QStringLiteral("COM1"));
        SetTiming(w->Race(), &race::RaceSettings::startLockoutMs, 2740);
        int opens = f.lab.OpenCount(1);
        int shownPort = -2, shownDigits = -2, previewWidth = 0;
        QString shownWait;
        dialogs::SetDialogHandler([&](QDialog*) {
            shownPort = d->cbPort->currentIndex();
            shownWait = d->seWait->text();
            shownDigits = d->cbDigits->currentIndex();
            d->cbDigits->setCurrentIndex(2);
            d->cbDigitsChange(); // live preview
            previewWidth = w->ui.PanelTimer->width();
            return int(QDialog::Accepted);
        });
        w->ui.EinstellunGen1->trigger();
        QCOMPARE(shownPort, 1);
        QCOMPARE(d->cbPort->itemText(1), QStringLiteral("COM1 – /dev/ttySIM1")); // scanned again for the showing
        QCOMPARE(shownWait, QStringLiteral("2,7"));
        QCOMPARE(shownDigits, 0);
        QCOMPARE(previewWidth, 316);
        QCOMPARE(w->Race().Settings().startLockoutMs, 2700);
        QCOMPARE(w->Race().Settings().accuracy, 0);
        QCOMPARE(w->ui.PanelTimer->width(), 316);
        QCOMPARE(f.lab.OpenCount(1), opens); // same port: neither closed nor opened
        QVERIFY(w->ui.ComPort->Connected());

        // Cancel restores the previewed format.
        dialogs::SetDialogHandler([&](QDialog*) {
            d->cbDigits->setCurrentIndex(0);
            d->cbDigitsChange();
            return int(QDialog::Rejected);
        });
        w->ui.EinstellunGen1->trigger();
        QCOMPARE(w->ui.PanelTimer->width(), 316);

        // "Keine" closes the port; the algorithm stays.
        w->LightBarriers().SetAlgorithm(1);
        dialogs::SetDialogHandler([&](QDialog*) {
            d->cbPort->setCurrentIndex(0);
            return int(QDialog::Accepted);
        });
        w->ui.EinstellunGen1->trigger();
        QVERIFY(!w->ui.ComPort->Connected());
        QCOMPARE(w->ui.ComPort->Port(), 0);
        QCOMPARE(w->LightBarriers().Algorithm(), 1);
        QVERIFY(!w->ui.ImageLSstart->isVisible());
    }

    void settingsDialog_lockoutBounds_andUnknownPort()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TCfgDialog* d = w->ui.CfgDialog;
        SetTiming(w->Race(), &race::RaceSettings::startLockoutMs, 500);
        w->ui.ComPort->SetPort(7); // stored but not found by the scan
        w->LightBarriers().SetAlgorithm(-1);
        QString shownWait;
        int shownPort = -2;
        bool portEnabled = true;
        dialogs::SetDialogHandler([&](QDialog* dialog) {
            dialog->show(); // FormShow runs as the dialog appears
            shownWait = d->seWait->text();
            shownPort = d->cbPort->currentIndex();
            portEnabled = d->cbPort->isEnabled();
            dialog->hide();
            return int(QDialog::Accepted);
        });
        w->ui.EinstellunGen1->trigger();
        QCOMPARE(shownWait, QStringLiteral("1,0"));
        // The chosen port keeps an item of its own although the scan did not
        // find it, so OK without a new choice keeps it.
        QCOMPARE(shownPort, 2);
        QCOMPARE(d->cbPort->itemText(2), QStringLiteral("COM7 (nicht verbunden)"));
        QVERIFY(!portEnabled); // negative algorithm
        QCOMPARE(w->Race().Settings().startLockoutMs, 1000);
        QCOMPARE(w->ui.ComPort->Port(), 7);
        QVERIFY(!w->ui.ComPort->Connected());
    }

    // The settings are written at the dialog's OK: a program killed right
    // after it (kill -9: no exit of its own) keeps the chosen port, race
    // title, live port and time format.
    void settings_surviveAKillRightAfterOk()
    {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), { QString::fromLatin1(kSettingsChild) });
        QVERIFY(child.waitForStarted());
        QByteArray out;
        while (!out.contains("ok\n") && child.state() == QProcess::Running && child.waitForReadyRead(20000))
            out += child.readAllStandardOutput();
        QVERIFY2(out.contains("ok\n"), out.constData());
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QSettings store(storeFile(platform::ApplicationTitle()), QSettings::IniFormat);
        QCOMPARE(store.value("Veranstaltung").toString(), kRaceTitle);
        QCOMPARE(store.value("Port").toInt(), 1);
        QCOMPARE(store.value("LivePort").toInt(), 8123);
        QCOMPARE(store.value("Acc").toInt(), 1);
    }

    void settingsDialog_portOpenFailure_keepsTheTransferredValues()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TCfgDialog* d = w->ui.CfgDialog;
        dialogs::SetDialogHandler([&](QDialog*) {
            f.lab.FailWith(1, platform::SimSerialOp::Open, 16); // taken since the list was made
            d->cbPort->setCurrentIndex(1);
            d->cbAlg->setCurrentIndex(1);
            d->seWait->SetValue(4.0L);
            return int(QDialog::Accepted);
        });
        dialogs::TakeShownMessages();
        w->ui.EinstellunGen1->trigger();
        // A notice, not a box: the race keys go on. The scan opens nothing,
        // so a port another program holds is offered and found busy when
        // chosen: the notice says so.
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QCOMPARE(w->ui.LabNotice->toolTip(),
            QStringLiteral(
                "Unable to open com port: 16\nDie serielle Schnittstelle ist von einem anderen Programm belegt."));
        QCOMPARE(w->ui.ComPort->Port(), 1);
        QCOMPARE(w->LightBarriers().Algorithm(), 1);
        QCOMPARE(w->Race().Settings().startLockoutMs, 4000);
        QVERIFY(!w->ui.ComPort->Connected());
    }
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], kSettingsChild) == 0)
        return settingsChild();
    TestLifecycle test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_lifecycle.moc"
