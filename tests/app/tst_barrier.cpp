// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The light barriers through the window, with the simulated port: impulses
// while the window is busy, the lockouts judged at each edge, a pulled and
// replugged adapter, a port away at start-up, the port list, and the printer
// answer that arrives in the background.
#include "MainWindowFixture.h"

#include "app/Application.h"
#include "app/Printing.h"
#include "dialogs/Cfg.h"

#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QSemaphore>
#include <QToolButton>
#include <QToolTip>

#include <chrono>
#include <thread>

namespace {

const QString kById = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

void WriteStore(const QList<std::pair<QString, QVariant>>& values)
{
    ClearSettingsStore();
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
    for (const auto& [k, v] : values)
        s.setValue(k, v);
}

QList<std::pair<QString, QVariant>> StoreWithPort(int port, const QString& device)
{
    return { { "Port", port }, { "Alg", 0 }, { "Left", 0 }, { "Top", 0 }, { "Width", 792 }, { "Height", 460 },
        { "Sound", 0 }, { "C1", 0 }, { "C2", 0xFFFF }, { "C3", 0x404040 }, { "Acc", 2 }, { "C4", 0xFF00 },
        { "FilterInd", 2 }, { "WaitStart", 3000 }, { "PortDevice", device } };
}

// Saves a picture of the window when RENNZEIT_SCREENSHOT_DIR names a folder.
void SaveShot(QWidget* window, const QString& name)
{
    const QByteArray dir = qgetenv("RENNZEIT_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    QVERIFY(window->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(name)));
}

// A pulse of the start (0x20) or stop (0x10) barrier, taken by the watcher
// while the GUI thread runs no events; the edge happens at the given tick.
void ImpulseWhileBusy(MainWindowFixture& f, int tick, std::uint32_t line)
{
    f.tick.set(tick);
    f.lab.Pulse(1, line);
    QVERIFY(f.lab.WaitUntilSeen(1, 5000));
}

} // namespace

class TestBarrier : public QObject {
    Q_OBJECT
private slots:
    void init() { ClearSettingsStore(); }

    void impulsesWhileTheWindowIsBusy_areAllApplied_eachWithItsEdgeTick()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        SetTiming(w->Race(), &race::RaceSettings::startLockoutMs, 20); // shorter than the gaps between the impulses
        f.key(Qt::Key_F11);
        // The GUI thread is blocked for 200 ms while five starters pass.
        for (int i = 0; i < 5; ++i) {
            ImpulseWhileBusy(f, 200000 + 40 * i, 0x20);
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        QCOMPARE(f.cell(kColRaw, 1), QString()); // nothing applied yet
        QCOMPARE(w->ui.ComPort->QueuedChanges(), size_t(10)); // each pulse: on and off
        f.tick.set(200900); // the moment the window gets to them is not their time
        QTRY_COMPARE(f.cell(kColRaw, 5), QStringLiteral("200160"));
        for (int i = 0; i < 5; ++i)
            QCOMPARE(f.cell(kColRaw, i + 1), QString::number(200000 + 40 * i));
        QCOMPARE(f.cell(kColSplit, 5), QStringLiteral("0,16"));
        QCOMPARE(f.cell(kColRaw, 6), QString());
    }

    void stopImpulseWhileBusy_stopsWithItsEdgeTick()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        f.start(); // row 1 by key at 100000
        op::SelectRow(*w, 1);
        f.key(Qt::Key_F12);
        ImpulseWhileBusy(f, 103250, 0x10);
        f.tick.set(109999);
        QTRY_COMPARE(f.cell(kColZeit, 1), QStringLiteral("3,25"));
        QCOMPARE(f.cell(kColRaw, 1), QStringLiteral("3250"));
    }

    void startLockout_isJudgedAtEachEdge_notWhenTheWindowGetsToIt()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        QCOMPARE(w->Race().Settings().startLockoutMs, 3000);
        f.key(Qt::Key_F11);
        ImpulseWhileBusy(f, 300000, 0x20); // starts row 1
        ImpulseWhileBusy(f, 302000, 0x20); // inside the lockout: dropped
        ImpulseWhileBusy(f, 303500, 0x20); // after it: starts row 2
        f.tick.set(304000);
        QTRY_COMPARE(f.cell(kColRaw, 2), QStringLiteral("303500"));
        QCOMPARE(f.cell(kColRaw, 1), QStringLiteral("300000"));
        QCOMPARE(f.cell(kColRaw, 3), QString());
        // The lockout of the second start runs from its edge, and so ends
        // 3 s after it; its timer fires then.
        QCOMPARE(w->Race().LockoutEnd(race::Barrier::Start), std::optional<platform::Tick>(306500));
        QVERIFY(w->ui.TimerGesperrtStart->Enabled());
        QCOMPARE(w->ui.TimerGesperrtStart->ArmedAt() + w->ui.TimerGesperrtStart->Interval(), 306500);
    }

    void aFinishWithAStartStation_andNoPort_showsTheStartLamp_thatF11Frees()
    {
        // The station's starts come through the start barrier: the official
        // must see its lock without a barrier of the finish's own.
        auto values = StoreWithPort(0, QString());
        values.append({ QStringLiteral("Stations/Start"), QStringLiteral("127.0.0.2:9") });
        values.append({ QStringLiteral("Stations/StartCode"), QStringLiteral("123456") });
        WriteStore(values);
        MainWindowFixture f;
        TFormMain* w = f.w();
        w->offerRecovery(false);
        QVERIFY(!w->ui.ComPort->Connected());
        QVERIFY(w->ui.ImageLSstart->isVisible());
        QVERIFY(!w->ui.ImageLSstop->isVisible());
        QCOMPARE(w->ui.ImageLSstart->Tag, 0);
        f.key(Qt::Key_F11);
        QCOMPARE(w->ui.ImageLSstart->Tag, 1);
        ClearSettingsStore();
    }

    void unplug_showsTheLineDisconnected_keysKeepTiming_andReplugRestoresIt()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        f.key(Qt::Key_F11);
        f.lines(0x20); // starts row 1; DSR stays on
        QCOMPARE(f.cell(kColRaw, 1), QStringLiteral("100000"));
        dialogs::TakeShownMessages();

        f.lab.Unplug(1);
        QTRY_VERIFY(w->ui.LabLineState->isVisible());
        QVERIFY(!w->ui.ComPort->Connected());
        QVERIFY(!w->ui.ImageLSstart->isVisible() && !w->ui.ImageLSstop->isVisible());
        QCOMPARE(w->ui.LabLineState->text(), QStringLiteral("Lichtschranke getrennt\nCOM1 – /dev/ttySIM1"));
        QCOMPARE(w->ui.LabLineState->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        const QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, dialogs::Icon::Critical);
        QVERIFY(shown[0].text.startsWith(
            QStringLiteral("Die Lichtschranke an COM1 – /dev/ttySIM1 ist nicht mehr verbunden")));
        SaveShot(w, QStringLiteral("barrier_disconnected.png"));

        f.start(1000); // keys keep timing
        QCOMPARE(f.cell(kColRaw, 2), QStringLiteral("101000"));
        w->ui.TimerGesperrtStart->Fire();
        const int startLock = w->ui.ImageLSstart->Tag, stopLock = w->ui.ImageLSstop->Tag;
        QCOMPARE(startLock, 1);

        // Plugged in again, with the start barrier's contact open now.
        f.lab.SetLines(1, 0);
        f.lab.AddPort(1);
        QTRY_VERIFY(w->ui.ComPort->Connected());
        QVERIFY(!w->ui.LabLineState->isVisible());
        QVERIFY(w->ui.ImageLSstart->isVisible() && w->ui.ImageLSstop->isVisible());
        QCOMPARE(w->ui.ImageLSstart->Tag, startLock);
        QCOMPARE(w->ui.ImageLSstop->Tag, stopLock);
        QVERIFY(dialogs::TakeShownMessages().isEmpty()); // the box came once
        SaveShot(w, QStringLiteral("barrier_reconnected.png"));

        // Its first edge is judged afresh, not against DSR as it was before
        // the adapter went.
        QVERIFY(f.lab.WaitUntilWaiting(1, 5000));
        f.tick.advance(500);
        f.lab.SetLine(1, 0x20, true);
        QTRY_COMPARE(f.cell(kColRaw, 3), QStringLiteral("101500"));
    }

    // A watcher that ends (the driver can no longer tell the lines) would
    // leave the line looking connected while no edge arrives: the header
    // shows it disconnected with the reason, and the port is opened again,
    // later each time while the watcher keeps ending.
    void watcherThatEnds_showsTheLineDisconnected_andIsStartedAgain()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        QVERIFY(f.lab.WaitUntilWaiting(1, 5000));
        f.lab.FailWith(1, platform::SimSerialOp::Wait, EINVAL);
        QTRY_VERIFY(w->ui.LabLineState->isVisible());
        QVERIFY(!w->ui.ComPort->Connected());
        QVERIFY(!w->ui.ImageLSstart->isVisible());
        QCOMPARE(w->ui.LabLineState->text().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Lichtschranke getrennt"));
        const QString why = w->ui.LabLineState->toolTip();
        QVERIFY2(why.contains(QStringLiteral("COM1")) && why.contains(QStringLiteral("nicht mehr beobachtet"))
                && why.contains(QStringLiteral("Fehler %1").arg(EINVAL)),
            qPrintable(why));
        QVERIFY(dialogs::TakeShownMessages().isEmpty()); // the header says it, no box stops the race
        SaveShot(w, QStringLiteral("barrier_watcher_ended.png"));

        // Reopened, and ended again: the next attempt waits longer.
        QCOMPARE(w->Barrier().ReconnectTimer()->Interval(), 500);
        const int opens = f.lab.OpenCount(1);
        // The header does not blink "connected" while the port is reopened.
        int shownConnected = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] { shownConnected += w->ui.LabLineState->isVisible() ? 0 : 1; });
        poll.start(1);
        QTRY_VERIFY(f.lab.OpenCount(1) > opens);
        QTRY_VERIFY(!w->ui.ComPort->Connected());
        poll.stop();
        QCOMPARE(w->Barrier().ReconnectTimer()->Interval(), 1000);
        QVERIFY(w->ui.LabLineState->isVisible());
        QCOMPARE(shownConnected, 0);

        f.lab.FailWith(1, platform::SimSerialOp::Wait, 0);
        QTRY_VERIFY_WITH_TIMEOUT(w->ui.ComPort->Connected() && w->ui.ComPort->WatcherRunning(), 5000);
        // Shown connected once the new watcher has lasted a moment.
        QVERIFY(w->ui.LabLineState->isVisible());
        QTRY_VERIFY(!w->ui.LabLineState->isVisible());
        QVERIFY(w->ui.ComPort->WatcherRunning());
        QVERIFY(w->ui.ImageLSstart->isVisible());
        f.lines(platform::MS_DSR_ON); // edges arrive again
    }

    void portAwayAtStartUp_keepsItsChoice_andIsOpenedWhenItComesUnderANewNumber()
    {
        WriteStore(StoreWithPort(2, kById));
        {
            MainWindowFixture f;
            TFormMain* w = f.w();
            QCOMPARE(w->ui.ComPort->Port(), 2);
            QVERIFY(!w->ui.ComPort->Connected());
            QVERIFY(w->ui.LabLineState->isVisible());
            // The by-id name, shortened in its middle to fit the header bar.
            const QStringList shown = w->ui.LabLineState->text().split(QLatin1Char('\n'));
            QCOMPARE(shown.size(), 2);
            QCOMPARE(shown[0], QStringLiteral("Lichtschranke getrennt"));
            QVERIFY2(shown[1].startsWith(QStringLiteral("COM2 – usb-FT")) && shown[1].endsWith(QStringLiteral("port0")),
                qPrintable(shown[1]));
            QVERIFY(w->ui.LabLineState->toolTip().startsWith(QStringLiteral("Unable to open com port: ")));
            QVERIFY(dialogs::TakeShownMessages().isEmpty()); // no box at start-up

            TCfgDialog* d = w->ui.CfgDialog;
            QString shownPort;
            dialogs::SetDialogHandler([&](QDialog*) {
                shownPort = d->cbPort->currentText();
                return int(QDialog::Accepted);
            });
            w->ui.EinstellunGen1->trigger();
            QCOMPARE(
                shownPort, QStringLiteral("COM2 – usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 (nicht verbunden)"));
            QCOMPARE(w->ui.ComPort->Port(), 2); // OK without a new choice keeps it
            QVERIFY(w->ui.LabLineState->isVisible());

            f.lab.AddPort(4, kById); // comes back as another node
            QTRY_VERIFY(w->ui.ComPort->Connected());
            QCOMPARE(w->ui.ComPort->Port(), 4);
            QVERIFY(!w->ui.LabLineState->isVisible());
        }
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
        QCOMPARE(s.value("Port").toInt(), 4);
        QCOMPARE(s.value("PortDevice").toString(), kById);
    }

    void portBusyOrForbiddenAtStartUp_saysWhy_andIsOpenedWhenFree_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("why");
        QTest::newRow("busy") << EBUSY << QStringLiteral("Unable to open com port: 16");
        QTest::newRow("no permission") << EACCES << QStringLiteral("Gruppe \"dialout\"");
    }
    void portBusyOrForbiddenAtStartUp_saysWhy_andIsOpenedWhenFree()
    {
        QFETCH(int, error);
        QFETCH(QString, why);
        WriteStore(StoreWithPort(1, QString()));
        MainWindowFixture f(false, 100000,
            [error](platform::SimSerialLab& lab) { lab.FailWith(1, platform::SimSerialOp::Open, error); });
        TFormMain* w = f.w();
        QVERIFY(w->ui.LabLineState->isVisible());
        QVERIFY2(w->ui.LabLineState->toolTip().contains(why), qPrintable(w->ui.LabLineState->toolTip()));
        QCOMPARE(w->ui.ComPort->Port(), 1);
        f.lab.FailWith(1, platform::SimSerialOp::Open, 0);
        QTRY_VERIFY(w->ui.ComPort->Connected());
        QVERIFY(!w->ui.LabLineState->isVisible());
    }

    void settingsDialog_listsEachPortWithItsDevice_scannedAgainForEveryShowing()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TCfgDialog* d = w->ui.CfgDialog;
        f.lab.AddPort(3, QStringLiteral("/dev/serial/by-id/usb-Prolific_2303-if00"));
        QStringList items;
        auto listAndChoose = [&](int choose) {
            dialogs::SetDialogHandler([&, choose](QDialog* dialog) {
                if (choose < 0) {
                    dialog->show();
                    SaveShot(dialog, QStringLiteral("settings_ports.png"));
                    dialog->hide();
                }
                items.clear();
                for (int i = 0; i < d->cbPort->count(); ++i)
                    items << d->cbPort->itemText(i);
                if (choose < 0)
                    return int(QDialog::Rejected);
                d->cbPort->setCurrentIndex(choose);
                return int(QDialog::Accepted);
            });
            w->ui.EinstellunGen1->trigger();
        };
        listAndChoose(2);
        QCOMPARE(items, (QStringList { "Keine", "COM1 – /dev/ttySIM1", "COM3 – usb-Prolific_2303-if00" }));
        QVERIFY(w->ui.ComPort->Connected());
        QCOMPARE(w->ui.ComPort->Port(), 3);
        QCOMPARE(w->ui.ComPort->StablePath(), QStringLiteral("/dev/serial/by-id/usb-Prolific_2303-if00"));

        f.lab.AddPort(20); // plugged in while the program runs
        listAndChoose(-1);
        QCOMPARE(items,
            (QStringList { "Keine", "COM1 – /dev/ttySIM1", "COM3 – usb-Prolific_2303-if00", "COM20 – /dev/ttySIM20" }));
        QCOMPARE(d->cbPort->currentIndex(), 2); // our own open port is listed although it is busy

        listAndChoose(0); // "Keine"
        QVERIFY(!w->ui.ComPort->Connected());
        QCOMPARE(w->ui.ComPort->Port(), 0);
        QVERIFY(w->ui.ComPort->StablePath().isEmpty());
        QVERIFY(!w->ui.LabLineState->isVisible());
    }

    // The settings dialog shows what the open port's adapter can do, and the
    // header bar's tooltip repeats it, the warnings in red.
    void openPort_showsItsAdapter_inTheDialogAndTheHeaderTooltip()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TCfgDialog* d = w->ui.CfgDialog;
        platform::SerialAdapter ftdi;
        ftdi.tty = QStringLiteral("ttyUSB0");
        ftdi.driver = QStringLiteral("ftdi_sio");
        ftdi.latencyMs = 16;
        f.lab.SetAdapter(1, ftdi);
        dialogs::SetDialogHandler([&](QDialog*) {
            d->cbPort->setCurrentIndex(1);
            return int(QDialog::Accepted);
        });
        w->ui.EinstellunGen1->trigger();
        QVERIFY(w->ui.ComPort->Connected());
        QString line;
        QString warning;
        dialogs::SetDialogHandler([&](QDialog*) {
            line = d->LabAdapter->text();
            warning = d->LabAdapterWarning->text();
            return int(QDialog::Rejected);
        });
        w->ui.EinstellunGen1->trigger();
        const QString expected
            = QStringLiteral("FTDI (ftdi_sio), Latenz 16 ms, zählt Wechsel, kürzester Impuls: 16 ms, Echtzeit: %1")
                  .arg(w->ui.ComPort->WatcherTimingPriority() ? QStringLiteral("ja") : QStringLiteral("nein"));
        QCOMPARE(line, expected);
        QVERIFY2(warning.startsWith(QStringLiteral("Latenz 16 ms")), qPrintable(warning));

        const QPoint at(w->ui.Panel1->width() / 2, 5);
        QHelpEvent help(QEvent::ToolTip, at, w->ui.Panel1->mapToGlobal(at));
        QApplication::sendEvent(w->ui.Panel1, &help);
        const QString tip = w->ui.Panel1->toolTip();
        QVERIFY2(tip.contains(QStringLiteral("COM1")) && tip.contains(expected), qPrintable(tip));
        QVERIFY2(tip.contains(QStringLiteral("<p style=\"color:red\">Latenz 16 ms")), qPrintable(tip));
        QToolTip::hideText();
    }

    // A stop barrier on a row whose start tick is damaged: the conversion
    // error is shown as for F9, and the barrier line keeps working (it used to
    // end the watcher without a word).
    void barrierStopOnADamagedStartTick_showsTheError_andKeepsTheLine()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        f.start();
        op::SelectRow(*w, 1);
        f.grid()->SetCells(6, 1, QStringLiteral("12x"));
        f.key(Qt::Key_F12);
        dialogs::TakeShownMessages();
        f.lab.Pulse(1, 0x10);
        // In the header, not in a box that would hold the race up.
        QTRY_VERIFY(w->ui.LabNotice->isVisible());
        QVERIFY(w->ui.LabNotice->toolTip().contains(QStringLiteral("12x")));
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QVERIFY(w->ui.ComPort->WatcherRunning());
        f.grid()->SetCells(6, 1, QStringLiteral("100000"));
        f.tick.advance(2000);
        f.lab.Pulse(1, 0x10);
        QTRY_COMPARE(f.cell(kColZeit, 1), QStringLiteral("2,00"));
    }

    // The error of a barrier's STOPP opens no box with an event loop of its
    // own (the real one, not the test's recording); the port closed while
    // more changes wait right after it leaves nothing touched after it is
    // gone (AddressSanitizer watches this one).
    void portClosedRightAfterTheErrorOfABarrierStop_isSafe()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        f.start();
        op::SelectRow(*w, 1);
        f.grid()->SetCells(6, 1, QStringLiteral("12x"));
        f.key(Qt::Key_F12);
        bool modal = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] { modal = modal || QApplication::activeModalWidget(); });
        dialogs::SetTestMode(false); // a box would be a real one
        watch.start(5);
        f.lab.Pulse(1, 0x10);
        QTRY_VERIFY(w->ui.LabNotice->isVisible());
        f.lab.Pulse(1, 0x30); // more changes wait behind the one handled
        QVERIFY(f.lab.WaitUntilSeen(1, 5000));
        w->ui.ComPort->Close();
        dialogs::SetTestMode(true);
        QVERIFY(!modal);
        QVERIFY(!w->ui.ComPort->Connected());
        QVERIFY(!w->ui.ImageLSstart->isVisible());
        QCOMPARE(f.cell(kColZeit, 1), QString());
    }

    void printButton_followsThePrinterAnswer_whenItArrives()
    {
        auto answer = std::make_shared<QSemaphore>();
        BackgroundPrinterPresence presence([answer] {
            answer->acquire(); // the print server takes its time
            return true;
        });
        struct Release {
            std::shared_ptr<QSemaphore> s;
            ~Release() { s->release(); }
        } release { answer };
        MainWindowFixture f;
        TFormMain* w = f.w();
        platform::SetPrinterPresence(&presence);
        f.start();
        f.start(); // START asked and did not wait for the answer
        QVERIFY(w->ui.sbSave->isEnabled());
        QVERIFY(!w->ui.sbPrint->isEnabled());
        answer->release();
        QTRY_VERIFY(w->ui.sbPrint->isEnabled());
        QVERIFY(presence.Answered());
    }
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestBarrier test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_barrier.moc"
