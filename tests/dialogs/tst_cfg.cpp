// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogs/Cfg.h"

#include "controls/Dialogs.h"
#include "dialogs/StationsDialog.h"

#include "controls/FlEdit.h"
#include "platform/SerialLinux.h"
#include "support/ScriptedSerial.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <QtTest>

#include <cerrno>
#include <future>

#include <sys/ioctl.h>

namespace {

// The narrowest width at which the list's field, where the chosen item
// shows, holds its longest item uncut: in its own font and style, as drawn.
int neededWidth(const QComboBox* list)
{
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(list->itemText(i)));
    QStyleOptionComboBox option;
    option.initFrom(list);
    const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
    return list->width() - field.width() + widest;
}

// A style whose lists give their field `change` pixels more (or less) than
// the usual one: the same font fits, or does not.
class FieldStyle final : public QProxyStyle {
public:
    explicit FieldStyle(int change)
        : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
        , m_change(change)
    {
    }
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
        const QWidget* widget) const override
    {
        QRect r = QProxyStyle::subControlRect(control, option, part, widget);
        if (control == CC_ComboBox && part == SC_ComboBoxEditField)
            r.setWidth(r.width() + m_change);
        return r;
    }

private:
    int m_change;
};

using Driver = platform::ScriptedSerialSystem::Driver;

// The adapter as an open port on scripted system calls over the sysfs tree
// tells it: the driver, the latency timer after the attempt to lower it, and
// whether the line wait and the counters work.
platform::SerialAdapter OpenedAdapter(const QString& tty, Driver driver, bool latencyWritable, bool realtime)
{
    using platform::ScriptedSerialSystem;
    ScriptedSerialSystem sys("/dev/" + tty.toLatin1());
    platform::LinuxSerialDevice device([&](int) { return QString::fromLatin1(sys.Path()); }, &sys);
    sys.ActAs(driver);
    const bool lineWait = driver != Driver::Cp210x;
    if (!latencyWritable)
        sys.Fail(ScriptedSerialSystem::Call::WriteAttribute, EACCES);
    platform::SerialLineSettings line;
    line.BaudRate = 9600;
    line.ByteSize = 5;
    if (device.Open(1) != 0 || device.SetLineSettings(line) != 0)
        return {};
    device.SetEventMask(platform::EV_CTS | platform::EV_DSR);
    if (!lineWait) {
        // The first wait finds out that the driver cannot wait for the lines.
        auto waiting = std::async(std::launch::async, [&] {
            std::vector<platform::LineEvent> events;
            int error = 0;
            return device.WaitEvents(events, error);
        });
        while (sys.PollCalls() == 0)
            QTest::qWait(1);
        sys.SetLine(TIOCM_DSR, true);
        waiting.wait();
    }
    platform::SerialAdapter adapter = device.Adapter();
    adapter.realtime = realtime;
    return adapter;
}

} // namespace

Q_DECLARE_METATYPE(Driver)

class TestCfg : public QObject {
    Q_OBJECT
private slots:
    void everyItemAndEveryCaptionFitsTheFixedDialog()
    {
        TCfgDialog d(nullptr, 0x3);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        for (QComboBox* list : { d.cbDigits, d.cbAlg, d.cbStopFirst }) {
            QVERIFY2(list->width() >= neededWidth(list), qPrintable(list->itemText(0)));
            QVERIFY(d.rect().contains(list->geometry()));
        }
        for (QLabel* label : d.findChildren<QLabel*>()) {
            QVERIFY2(
                label->width() >= label->fontMetrics().horizontalAdvance(label->text()), qPrintable(label->text()));
            QVERIFY(d.rect().contains(label->geometry()));
        }
        for (QWidget* w : std::initializer_list<QWidget*> {
                 d.OKBtn, d.CancelBtn, d.cbPort, d.seWait, d.cbLive, d.seLivePort, d.eVeranstaltung }) {
            QVERIFY2(d.rect().contains(w->geometry()), w->metaObject()->className());
        }
        // The format list at its place, 98 wide where its items fit into that
        // in its own font, as wide as they need where they do not.
        QCOMPARE(d.cbDigits->geometry().topLeft(), QPoint(80, 7));
        QCOMPARE(d.cbDigits->width(), std::max(TCfgDialog::kDigitsListWidth, neededWidth(d.cbDigits)));
        // Nothing overlaps: every control has its own place.
        const QList<QWidget*> controls { d.cbDigits, d.cbPort, d.cbAlg, d.seWait, d.cbStopFirst, d.cbLive, d.seLivePort,
            d.eVeranstaltung, d.OKBtn, d.CancelBtn };
        for (int i = 0; i < controls.size(); ++i) {
            for (int j = i + 1; j < controls.size(); ++j)
                QVERIFY(!controls[i]->geometry().intersects(controls[j]->geometry()));
        }
    }

    // Whatever font the system gives the lists: with one whose items surely
    // fit, the format list keeps its designed 98; with one whose items cannot
    // fit, it takes exactly the room they need, not less and not more.
    void formatList_is98Wide_whereItsItemsFit_andAsWideAsTheyNeedElsewhere()
    {
        const QString before = QApplication::style()->name();
        const auto restore = qScopeGuard([&] { QApplication::setStyle(before); });
        // A field 20 pixels wider than Fusion's holds "HH:MM.SS,ms" at 98 on
        // any system; one 60 pixels narrower does not.
        for (const int change : { 20, -60 }) {
            QApplication::setStyle(new FieldStyle(change));
            TCfgDialog d(nullptr, 0);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QVERIFY2(change < 0 ? neededWidth(d.cbDigits) > TCfgDialog::kDigitsListWidth
                                : neededWidth(d.cbDigits) <= TCfgDialog::kDigitsListWidth,
                qPrintable(QString::number(neededWidth(d.cbDigits))));
            QCOMPARE(d.cbDigits->width(), std::max(TCfgDialog::kDigitsListWidth, neededWidth(d.cbDigits)));
        }
    }

    // The line tells what the driver counts, whether the lines are polled
    // and the shortest pulse the adapter can report; red where times are late
    // or edges can be lost, with the adapters that time right.
    void chosenPort_showsItsAdapterInOneLine_andInRedWhatKeepsTimingFromBeingRight_data()
    {
        QTest::addColumn<QString>("tty");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<int>("latency");
        QTest::addColumn<int>("intervalUs");
        QTest::addColumn<Driver>("behaviour");
        QTest::addColumn<bool>("latencyWritable");
        QTest::addColumn<bool>("realtime");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("warning"); // a part of it; empty: none
        const QString better = QStringLiteral("Genaue Zeiten an beiden Lichtschranken: eine eingebaute Schnittstelle "
                                              "oder ein FTDI-Adapter mit Latenz 1 ms.");
        QTest::newRow("onboard") << "ttyS0"
                                 << "serial" << -1 << -1 << Driver::Counting << true << true
                                 << "Eingebaute Schnittstelle (serial), zählt jeden Wechsel, kürzester Impuls: "
                                    "beliebig, Echtzeit: ja"
                                 << QString();
        QTest::newRow("FTDI, latency lowered")
            << "ttyUSB0"
            << "ftdi_sio" << 16 << -1 << Driver::Counting << true << true
            << "FTDI (ftdi_sio), Latenz 1 ms, zählt Wechsel, kürzester Impuls: 1 ms, Echtzeit: ja" << QString();
        QTest::newRow("FTDI, latency kept")
            << "ttyUSB0"
            << "ftdi_sio" << 16 << -1 << Driver::Counting << false << true
            << "FTDI (ftdi_sio), Latenz 16 ms, zählt Wechsel, kürzester Impuls: 16 ms, Echtzeit: ja"
            << "Latenz 16 ms: Zeiten können bis 16 ms zu spät sein, kürzere Impulse gehen verloren. Senken mit: "
               "echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer";
        QTest::newRow("FTDI, real time refused")
            << "ttyUSB0"
            << "ftdi_sio" << 1 << -1 << Driver::Counting << true << false
            << "FTDI (ftdi_sio), Latenz 1 ms, zählt Wechsel, kürzester Impuls: 1 ms, Echtzeit: nein" << QString();
        QTest::newRow("CP210x, polled")
            << "ttyUSB1"
            << "cp210x" << -1 << -1 << Driver::Cp210x << true << true
            << "CP210x (cp210x), Abfrage jede ms, ohne Zähler, kürzester Impuls: 1 ms, Echtzeit: ja"
            << "CP210x meldet Wechsel nicht von selbst: Das Programm fragt die Leitungen jede Millisekunde ab. "
               "Zeiten können bis 1 ms zu spät sein, ein kürzerer Impuls kann fehlen.\n"
                + better;
        QTest::newRow("PL2303, without counters")
            << "ttyUSB2"
            << "pl2303" << -1 << 1000 << Driver::WithoutCounters << true << true
            << "PL2303 (pl2303), ohne Zähler, kürzester Impuls: 1 ms, Echtzeit: ja"
            << "PL2303 zählt die Wechsel nicht: Kommen beide Flanken eines Impulses, während das Programm die "
               "vorige Flanke meldet, fehlt der Impuls.\n"
                + better;
        QTest::newRow("CH340, slow status")
            << "ttyUSB3"
            << "ch341-uart" << -1 << 16000 << Driver::WithoutCounters << true << true
            << "CH340 (ch341-uart), ohne Zähler, kürzester Impuls: 16 ms, Echtzeit: ja"
            << "CH340 meldet die Leitungen nur alle 16 ms: Zeiten können so viel zu spät sein, kürzere Impulse "
               "gehen verloren.";
        QTest::newRow("cdc_acm") << "ttyACM0"
                                 << "cdc_acm" << -1 << 125 << Driver::Counting << true << true
                                 << "USB-CDC (cdc_acm), zählt Wechsel, kürzester Impuls: 0,125 ms, Echtzeit: ja"
                                 << "cdc_acm meldet kein CTS: Die Stopp-Lichtschranke (Pin 7-8) kann an diesem "
                                    "Adapter nicht arbeiten und wird nicht benutzt.\n"
                + better;
    }
    void chosenPort_showsItsAdapterInOneLine_andInRedWhatKeepsTimingFromBeingRight()
    {
        QFETCH(QString, tty);
        QFETCH(QString, driver);
        QFETCH(int, latency);
        QFETCH(int, intervalUs);
        QFETCH(Driver, behaviour);
        QFETCH(bool, latencyWritable);
        QFETCH(bool, realtime);
        QFETCH(QString, line);
        QFETCH(QString, warning);
        platform::ScriptedSysfs sysfs;
        if (tty.startsWith(QLatin1String("ttyS")))
            sysfs.AddSerialCoreTty(tty, driver);
        else
            sysfs.AddTty(tty, driver, latency, intervalUs);
        const platform::SerialAdapter adapter = OpenedAdapter(tty, behaviour, latencyWritable, realtime);
        QCOMPARE(TCfgDialog::AdapterLine(adapter), line);

        TCfgDialog d(nullptr, 0);
        d.SetPorts({ platform::SerialPortInfo { 3, "/dev/" + tty, QString() } });
        d.SetAdapterInfo(3, adapter);
        d.cbPort->setCurrentIndex(0);
        QVERIFY(!d.LabAdapter->isVisibleTo(&d)); // "Keine"
        d.cbPort->setCurrentIndex(1);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.LabAdapter->text(), line);
        QVERIFY(d.LabAdapter->width() >= d.LabAdapter->fontMetrics().horizontalAdvance(line)); // one line, uncut
        QCOMPARE(d.LabAdapterWarning->isVisible(), !warning.isEmpty());
        if (!warning.isEmpty()) {
            QVERIFY2(d.LabAdapterWarning->text().contains(warning), qPrintable(d.LabAdapterWarning->text()));
            QCOMPARE(d.LabAdapterWarning->palette().color(QPalette::WindowText), QColor(Qt::red));
        }
        // Everything still has its own place in the dialog.
        const QList<QWidget*> rows { d.cbStopFirst, d.LabAdapter, d.LabAdapterWarning, d.cbLive, d.seLivePort,
            d.OKBtn };
        for (QWidget* w : rows) {
            if (!w->isVisible())
                continue;
            QVERIFY2(d.rect().contains(w->geometry()), w->metaObject()->className());
            for (QWidget* other : rows) {
                if (other != w && other->isVisible())
                    QVERIFY(!w->geometry().intersects(other->geometry()));
            }
        }
        if (QString folder = qEnvironmentVariable("RENNZEIT_SCREENSHOT_DIR"); !folder.isEmpty()) {
            QString name = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
            d.grab().save(folder + QStringLiteral("/cfg_adapter_") + name.remove(QLatin1Char(',')) + ".png");
        }
    }

    // A port that is not open is described by what sysfs tells: its driver,
    // and the warning that needs no more than that.
    void portNotOpen_isDescribedFromSysfs()
    {
        platform::ScriptedSysfs sysfs;
        sysfs.AddTty(QStringLiteral("ttyACM0"), QStringLiteral("cdc_acm"));
        sysfs.AddTty(QStringLiteral("ttyUSB0"), QStringLiteral("ftdi_sio"), 16);
        sysfs.AddSerialCoreTty(QStringLiteral("ttyS0"), QStringLiteral("serial"));
        TCfgDialog d(nullptr, 0);
        d.SetPorts({ platform::SerialPortInfo { 1, QStringLiteral("/dev/ttyUSB0"), QString() },
            platform::SerialPortInfo { 2, QStringLiteral("/dev/ttyACM0"), QString() },
            platform::SerialPortInfo { 3, QStringLiteral("/dev/ttyS0"), QString() } });
        d.cbPort->setCurrentIndex(3); // the driver above the serial core's own devices
        QCOMPARE(d.LabAdapter->text(),
            QStringLiteral("Eingebaute Schnittstelle (serial), zählt jeden Wechsel, kürzester Impuls: beliebig"));
        QVERIFY(!d.LabAdapterWarning->isVisibleTo(&d));
        d.SetAdapterInfo(0, {});
        d.cbPort->setCurrentIndex(2);
        QCOMPARE(d.LabAdapter->text(), QStringLiteral("USB-CDC (cdc_acm), zählt Wechsel"));
        QVERIFY(d.LabAdapterWarning->text().startsWith(QStringLiteral("cdc_acm meldet kein CTS")));
        d.cbPort->setCurrentIndex(1);
        QCOMPARE(d.LabAdapter->text(),
            QStringLiteral("FTDI (ftdi_sio), Latenz 16 ms, zählt Wechsel, kürzester Impuls: 16 ms"));
        QVERIFY(d.LabAdapterWarning->text().startsWith(QStringLiteral("Latenz 16 ms")));

        // Before they are opened, the adapters that lose edges say so.
        sysfs.AddTty(QStringLiteral("ttyUSB1"), QStringLiteral("cp210x"));
        sysfs.AddTty(QStringLiteral("ttyUSB2"), QStringLiteral("pl2303"), -1, 1000);
        d.SetPorts({ platform::SerialPortInfo { 4, QStringLiteral("/dev/ttyUSB1"), QString() },
            platform::SerialPortInfo { 5, QStringLiteral("/dev/ttyUSB2"), QString() } });
        d.cbPort->setCurrentIndex(1);
        QCOMPARE(d.LabAdapter->text(),
            QStringLiteral("CP210x (cp210x), Abfrage jede ms, ohne Zähler, kürzester Impuls: 1 ms"));
        QVERIFY(d.LabAdapterWarning->text().startsWith(QStringLiteral("CP210x meldet Wechsel nicht von selbst")));
        d.cbPort->setCurrentIndex(2);
        QCOMPARE(d.LabAdapter->text(), QStringLiteral("PL2303 (pl2303), ohne Zähler, kürzester Impuls: 1 ms"));
        QVERIFY(d.LabAdapterWarning->text().startsWith(QStringLiteral("PL2303 zählt die Wechsel nicht")));
        QVERIFY(d.LabAdapterWarning->text().endsWith(QStringLiteral("FTDI-Adapter mit Latenz 1 ms.")));
    }

    // An algorithm the list does not offer selects nothing; OK without a
    // choice keeps the value, a choice replaces it. A negative one locks the
    // port list while the dialog shows.
    void algorithmOutsideTheList_selectsNothing_andIsKept_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("portListEnabled");
        QTest::newRow("2") << 2 << true;
        QTest::newRow("-1") << -1 << false;
        QTest::newRow("-3") << -3 << false;
    }
    void algorithmOutsideTheList_selectsNothing_andIsKept()
    {
        QFETCH(int, stored);
        QFETCH(bool, portListEnabled);
        TCfgDialog d(nullptr, 0x1);
        settings::Values shown;
        shown.port = 1;
        shown.algorithm = stored;
        d.Load(shown, false);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.cbAlg->currentIndex(), -1);
        QCOMPARE(d.cbPort->isEnabled(), portListEnabled);
        QVERIFY(d.cbAlg->isEnabled()); // a port is chosen: the algorithm can be chosen
        QCOMPARE(d.Chosen().algorithm, stored);
        d.cbAlg->setCurrentIndex(1);
        QCOMPARE(d.Chosen().algorithm, 1);

        // In the list: selected, and given back as it is.
        shown.algorithm = 1;
        d.Load(shown, false);
        QCOMPARE(d.cbAlg->currentText(), QStringLiteral("Aus"));
        QCOMPARE(d.Chosen().algorithm, 1);
    }

    void stations_roleCodeAndList_comeBack_andAWrongAddressOrCodeKeepsTheListOpen()
    {
        TCfgDialog d(nullptr, 0);
        settings::Values shown;
        shown.stations.role = 0;
        shown.stations.code = QStringLiteral("007311");
        shown.stations.peers[0] = { QStringLiteral("192.168.1.20:8080"), QStringLiteral("123456") };
        d.Load(shown, false);
        QCOMPARE(d.cbStation->currentText(), QStringLiteral("Ziel"));
        QCOMPARE(d.eStationCode->text(), QStringLiteral("007311"));
        QVERIFY(d.bStations->isEnabled());
        // The list in its own dialog: a wrong entry is said there and nothing taken.
        int rounds = 0;
        dialogs::SetDialogHandler([&](QDialog* shownDialog) {
            auto* list = qobject_cast<TStationsDialog*>(shownDialog);
            if (!list)
                return int(QDialog::Rejected);
            ++rounds;
            if (list->eAddress[0]->text() != QStringLiteral("192.168.1.20:8080"))
                return int(QDialog::Rejected);
            list->eAddress[1]->setText(QStringLiteral("zwischen.local"));
            list->eCode[1]->setText(QStringLiteral("654321"));
            list->OKBtn->click();
            if (list->result() == QDialog::Accepted || !list->LabProblem->isVisibleTo(list))
                return int(QDialog::Rejected);
            if (!list->LabProblem->text().startsWith(QStringLiteral("Zwischenzeit 1:")))
                return int(QDialog::Rejected);
            list->eAddress[1]->setText(QStringLiteral("[fe80::1]:8081"));
            list->eCode[1]->setText(QStringLiteral("65432"));
            list->OKBtn->click();
            if (list->result() == QDialog::Accepted)
                return int(QDialog::Rejected);
            list->eCode[1]->setText(QStringLiteral("654321"));
            list->OKBtn->click();
            return list->result();
        });
        const auto restore = qScopeGuard([] { dialogs::SetDialogHandler(nullptr); });
        d.bStations->click();
        QCOMPARE(rounds, 1);
        const settings::Values chosen = d.Chosen();
        QCOMPARE(chosen.stations.peers[0].address, QStringLiteral("192.168.1.20:8080"));
        QCOMPARE(chosen.stations.peers[1].address, QStringLiteral("[fe80::1]:8081"));
        QCOMPARE(chosen.stations.peers[1].code, QStringLiteral("654321"));
        // A station reads no stations; its code is kept as typed.
        d.cbStation->setCurrentIndex(1);
        QVERIFY(!d.bStations->isEnabled());
        d.eStationCode->selectAll();
        QTest::keyClicks(d.eStationCode, QStringLiteral("12a4"));
        QCOMPARE(d.eStationCode->text(), QStringLiteral("124")); // only digits go in
        QCOMPARE(d.Chosen().stations.role, 1);
    }

    void raceTitle_isShownAndGivenBackWithoutSurplusBlanks()
    {
        TCfgDialog d(nullptr, 0);
        settings::Values shown;
        shown.event.title = QStringLiteral("Stadtlauf 2027");
        d.Load(shown, false);
        QCOMPARE(d.eVeranstaltung->text(), shown.event.title);
        QCOMPARE(d.Chosen().event.title, shown.event.title);
        d.eVeranstaltung->setText(QStringLiteral("  Vereinsmeisterschaft   Slalom 2027 "));
        QCOMPARE(d.Chosen().event.title, QStringLiteral("Vereinsmeisterschaft Slalom 2027"));
        d.eVeranstaltung->setText(QStringLiteral("   "));
        QCOMPARE(d.Chosen().event.title, QString());
        QCOMPARE(d.LabVeranstaltung->buddy(), d.eVeranstaltung);
        QCOMPARE(d.eVeranstaltung->maxLength(), settings::kMaxTitleLength);
    }

    void valuesTheDialogDoesNotShow_comeBackAsTheyWere_andALockedFormatIsKept()
    {
        TCfgDialog d(nullptr, 0x1);
        settings::Values shown;
        shown.port = 1;
        shown.sound = true;
        shown.colours.digit = 0x123456;
        shown.placement = { 10, 20, 800, 500, true };
        shown.files = { 3, QStringLiteral("/tmp/rennen") };
        shown.timing.accuracy = 1;
        shown.timing.startLockoutMs = 4500;
        shown.portPaths = { { 5, QStringLiteral("/dev/serial/by-id/usb-x") } };
        d.Load(shown, true);
        QVERIFY(!d.cbDigits->isEnabled());
        d.cbDigits->setCurrentIndex(0);
        d.seWait->SetValue(2.5L);
        const settings::Values chosen = d.Chosen();
        QVERIFY(!d.PortChanged());
        QCOMPARE(chosen.timing.accuracy, 1); // the race runs: the format waits for its end
        QCOMPARE(chosen.timing.startLockoutMs, 2500);
        QVERIFY(chosen.sound);
        QCOMPARE(chosen.colours.digit, shown.colours.digit);
        QCOMPARE(chosen.placement.width, shown.placement.width);
        QCOMPARE(chosen.files.saveFolder, shown.files.saveFolder);
        QCOMPARE(chosen.portPaths, shown.portPaths);
        QCOMPARE(d.seWait->Min(), settings::kStartLockoutMs.low / 1000.0L);
        QCOMPARE(d.seLivePort->maximum(), settings::kLivePort.high);
    }

    void fixedSize_offersNoMaximizeOrMinimize()
    {
        TCfgDialog d(nullptr, 0);
        QCOMPARE(d.minimumSize(), d.maximumSize());
        const Qt::WindowFlags flags = d.windowFlags();
        QVERIFY(flags & Qt::CustomizeWindowHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
    }
};

QTEST_MAIN(TestCfg)
#include "tst_cfg.moc"
