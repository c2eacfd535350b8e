// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "comm/Comms.h"
#include "support/SerialSim.h"

#include <QtTest>

#include <cerrno>
#include <optional>

using namespace platform;

namespace {

// A port set up as the main window sets up its instance.
void SetUpLikeMainWindow(TComPort& port)
{
    port.SetBaudRate(br9600);
    port.SetBaudRateUser(28800);
    port.SetParity(prNone);
    port.SetStopBits(sbOneStopBit);
    port.SetFlowControl(fcRtsCts);
    port.SetDataBits(5);
    port.SetEvents({ evCTS, evDSR });
    port.SetEnableDTR(true);
    port.SetWriteBufSize(64);
    port.SetReadBufSize(64);
}

// Records open and close notifications in order.
struct Recorder {
    QStringList log;
    void Attach(TComPort& port)
    {
        port.OnOpen = [this](QObject*) { log << QStringLiteral("open"); };
        port.OnClose = [this](QObject*) { log << QStringLiteral("close"); };
    }
};

} // namespace

class TestComPort : public QObject {
    Q_OBJECT
private slots:
    void creation_setsDefaults()
    {
        TComPort port;
        QCOMPARE(port.BaudRate(), br9600);
        QCOMPARE(port.BaudRateUser(), 28800);
        QCOMPARE(port.Port(), 1);
        QCOMPARE(port.Parity(), prNone);
        QCOMPARE(port.StopBits(), sbOneStopBit);
        QCOMPARE(port.FlowControl(), fcNone);
        QCOMPARE(port.DataBits(), 8);
        QCOMPARE(port.Events(), TEvents::All());
        QCOMPARE(port.Events().Bits(), 0x01FF);
        QVERIFY(port.EnableDTR());
        QCOMPARE(port.WriteBufSize(), 2048);
        QCOMPARE(port.ReadBufSize(), 2048);
        QVERIFY(!port.Connected());
        QVERIFY(!port.OnDSR && !port.OnCTS && !port.OnOpen && !port.OnClose && !port.OnRxChar);
        QCOMPARE(port.Tag, 0);
    }

    void dataBits_areClampedToFiveToEight()
    {
        TComPort port;
        port.SetDataBits(4);
        QCOMPARE(port.DataBits(), 5);
        port.SetDataBits(9);
        QCOMPARE(port.DataBits(), 8);
        port.SetDataBits(0);
        QCOMPARE(port.DataBits(), 5);
        port.SetDataBits(255);
        QCOMPARE(port.DataBits(), 8);
        port.SetDataBits(7);
        QCOMPARE(port.DataBits(), 7);
        port.SetDataBits(6);
        QCOMPARE(port.DataBits(), 6);
    }

    void eventSet_usesBitOfOrdinal()
    {
        QCOMPARE(TEvents({ evRxChar }).Bits(), 0x0001);
        QCOMPARE(TEvents({ evCTS, evDSR }).Bits(), (1 << 5) | (1 << 6));
        QCOMPARE(TEvents({ evRLSD }).Bits(), 1 << 8);
        TEvents set;
        set.Include(evError);
        QVERIFY(set.Contains(evError));
        QVERIFY(!set.Contains(evBreak));
        set.Exclude(evError);
        QCOMPARE(set.Bits(), 0);
        QCOMPARE(TEvents::FromBits(0xFFFF), TEvents::All());
    }

    void eventMask_followsTheEventTable_data()
    {
        QTest::addColumn<int>("event");
        QTest::addColumn<quint32>("bit");
        QTest::newRow("RxChar") << int(evRxChar) << quint32(0x0001);
        QTest::newRow("TxEmpty") << int(evTxEmpty) << quint32(0x0004);
        QTest::newRow("RxFlag") << int(evRxFlag) << quint32(0x0002);
        QTest::newRow("Ring") << int(evRing) << quint32(0x0100);
        QTest::newRow("Break") << int(evBreak) << quint32(0x0040);
        QTest::newRow("CTS") << int(evCTS) << quint32(0x0008);
        QTest::newRow("DSR") << int(evDSR) << quint32(0x0010);
        QTest::newRow("Error") << int(evError) << quint32(0x0080);
        QTest::newRow("RLSD") << int(evRLSD) << quint32(0x0020);
    }
    void eventMask_followsTheEventTable()
    {
        QFETCH(int, event);
        QFETCH(quint32, bit);
        QCOMPARE(EventMaskFromEvents({ static_cast<TEvent>(event) }), bit);
    }

    void eventMask_ofMainWindowAndOfAll()
    {
        QCOMPARE(EventMaskFromEvents({ evCTS, evDSR }), 0x0018u);
        QCOMPARE(EventMaskFromEvents(TEvents::All()), 0x01FFu);
        QCOMPARE(EventMaskFromEvents({}), 0u);
    }

    void baudRates_meanTheSpeedInTheirName()
    {
        const quint32 expected[]
            = { 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000 };
        for (int r = br110; r < brUser; ++r)
            QCOMPARE(BaudRateValue(static_cast<TBaudRate>(r), 1), expected[r]);
        QCOMPARE(BaudRateValue(brUser, 28800), 28800u);
        QCOMPARE(BaudRateValue(brUser, 31250), 31250u);
    }

    void lineSettings_ofMainWindow()
    {
        TComPort port;
        SetUpLikeMainWindow(port);
        const SerialLineSettings dcb = BuildLineSettings(port);
        QCOMPARE(dcb.DCBlength, 28u);
        QCOMPARE(dcb.BaudRate, 9600u);
        QCOMPARE(dcb.Flags, 0x2015u);
        QCOMPARE(dcb.ByteSize, 5);
        QCOMPARE(dcb.XonLim, 16);
        QCOMPARE(dcb.XoffLim, 1);
        QCOMPARE(dcb.Parity, 0);
        QCOMPARE(dcb.StopBits, 0);
        QCOMPARE(dcb.XonChar, char(0x11));
        QCOMPARE(dcb.XoffChar, char(0x13));
        QCOMPARE(dcb.ErrorChar, char(0));
        QCOMPARE(dcb.EofChar, char(0));
        QCOMPARE(dcb.EvtChar, char(0));
        QCOMPARE(dcb.DtrControl(), SerialLineSettings::DTR_CONTROL_ENABLE);
        QCOMPARE(dcb.RtsControl(), SerialLineSettings::RTS_CONTROL_HANDSHAKE);
    }

    void lineSettings_followTheProperties()
    {
        TComPort port; // created defaults: no flow control, 8 bits, 2048
        SerialLineSettings dcb = BuildLineSettings(port);
        QCOMPARE(dcb.Flags, 0x0011u); // binary, DTR enabled
        QCOMPARE(dcb.ByteSize, 8);
        QCOMPARE(dcb.XonLim, 512); // from the transmit size
        port.SetWriteBufSize(2048);
        port.SetReadBufSize(64);
        QCOMPARE(BuildLineSettings(port).XonLim, 512);
        port.SetWriteBufSize(66);
        QCOMPARE(BuildLineSettings(port).XonLim, 16); // truncated

        port.SetEnableDTR(false);
        port.SetFlowControl(fcXonXoff);
        dcb = BuildLineSettings(port);
        QCOMPARE(dcb.Flags, 0x0301u);

        port.SetParity(prSpace);
        port.SetStopBits(sbTwoStopBits);
        port.SetBaudRate(brUser);
        port.SetBaudRateUser(28800);
        dcb = BuildLineSettings(port);
        QCOMPARE(dcb.Parity, 4);
        QCOMPARE(dcb.StopBits, 2);
        QCOMPARE(dcb.BaudRate, 28800u);
        QCOMPARE(dcb.Flags & SerialLineSettings::kParity, 0u); // parity checking stays off
    }

    void timeouts_returnReadsAtOnce()
    {
        const SerialTimeouts t = ComTimeouts();
        QCOMPARE(t.ReadIntervalTimeout, 0xFFFFFFFFu);
        QCOMPARE(t.ReadTotalTimeoutMultiplier, 0u);
        QCOMPARE(t.ReadTotalTimeoutConstant, 0u);
        QCOMPARE(t.WriteTotalTimeoutMultiplier, 1000u);
        QCOMPARE(t.WriteTotalTimeoutConstant, 1500u);
    }

    void open_appliesEverythingInOrder_andFiresOnOpen()
    {
        SimSerialLab lab;
        lab.AddPort(1);
        Recorder rec;
        TComPort port;
        SetUpLikeMainWindow(port);
        port.SetPort(1);
        rec.Attach(port);
        port.Open();
        QVERIFY(port.Connected());
        QVERIFY(port.WatcherRunning());
        QCOMPARE(rec.log, QStringList { QStringLiteral("open") });
        QVERIFY(lab.IsOpen(1));
        QCOMPARE(lab.EventMask(1), 0x0018u);
        QCOMPARE(lab.LineSettings(1), BuildLineSettings(port));
        QCOMPARE(lab.Timeouts(1), ComTimeouts());
        QCOMPARE(lab.ReadQueueSize(1), 64);
        QCOMPARE(lab.WriteQueueSize(1), 64);
        const std::vector<std::string> expected { "Open", "SetLineSettings", "GetTimeouts", "SetTimeouts",
            "SetupQueues", "SetEventMask" };
        QCOMPARE(lab.Calls(1), expected);

        port.Close();
        QVERIFY(!port.Connected());
        QVERIFY(!lab.IsOpen(1));
        QCOMPARE(rec.log, (QStringList { QStringLiteral("open"), QStringLiteral("close") }));
        QCOMPARE(lab.PurgeFlags(1), PURGE_RXABORT | PURGE_RXCLEAR);
        QCOMPARE(PURGE_RXABORT | PURGE_RXCLEAR, 0x0Au);
    }

    void open_withUserRate_setsThatRate()
    {
        SimSerialLab lab;
        lab.AddPort(2);
        TComPort port;
        port.SetPort(2);
        port.SetBaudRate(brUser);
        port.SetBaudRateUser(28800);
        port.Open();
        QCOMPARE(lab.LineSettings(2).BaudRate, 28800u);
    }

    void openOnOpenPort_closesFirst()
    {
        SimSerialLab lab;
        lab.AddPort(1);
        Recorder rec;
        TComPort port;
        rec.Attach(port);
        port.Open();
        port.Open();
        QCOMPARE(rec.log, (QStringList { "open", "close", "open" }));
        QVERIFY(port.Connected());
        QCOMPARE(lab.OpenCount(1), 2);
        QVERIFY(lab.IsOpen(1));
    }

    void closeOnClosedPort_doesNothing()
    {
        SimSerialLab lab;
        lab.AddPort(1);
        Recorder rec;
        TComPort port;
        rec.Attach(port);
        port.Close();
        QVERIFY(rec.log.isEmpty());
        port.Open();
        port.Close();
        port.Close();
        QCOMPARE(rec.log, (QStringList { "open", "close" }));
    }

    void portNumber_namesTheDevice()
    {
        SimSerialLab lab;
        lab.AddPort(12);
        TComPort port;
        port.SetPort(12);
        port.Open();
        QVERIFY(lab.IsOpen(12));
        QVERIFY(!lab.IsOpen(1));
        port.SetPort(2); // takes effect at the next Open only
        QVERIFY(lab.IsOpen(12));
    }

    void openFailures_raiseEComHandle_data()
    {
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("message");
        QTest::newRow("port 0") << 0 << 0 << QStringLiteral("Unable to open com port: 2");
        QTest::newRow("absent") << 3 << 0 << QStringLiteral("Unable to open com port: 2");
        // No permission: the operator is told what to do about it.
        QTest::newRow("refused") << 1 << EACCES
                                 << QStringLiteral("Unable to open com port: 13\nKein Zugriff auf die serielle "
                                                   "Schnittstelle: Der Benutzer muss Mitglied der Gruppe \"dialout\" "
                                                   "sein (und sich danach neu anmelden).");
    }
    void openFailures_raiseEComHandle()
    {
        QFETCH(int, portNumber);
        QFETCH(int, error);
        QFETCH(QString, message);
        SimSerialLab lab;
        lab.AddPort(1);
        if (error)
            lab.FailWith(portNumber, SimSerialOp::Open, error);
        Recorder rec;
        TComPort port;
        port.SetPort(static_cast<std::uint8_t>(portNumber));
        rec.Attach(port);
        std::optional<QString> caught;
        try {
            port.Open();
        } catch (const EComHandle& e) {
            caught = QString::fromUtf8(e.what());
        }
        QCOMPARE(caught, std::optional<QString>(message));
        QVERIFY(!port.Connected());
        QVERIFY(!port.WatcherRunning());
        QVERIFY(rec.log.isEmpty());
    }

    void portInUse_cannotBeOpenedTwice()
    {
        SimSerialLab lab;
        lab.AddPort(1);
        TComPort first, second;
        first.Open();
        QVERIFY_THROWS_EXCEPTION(EComHandle, second.Open());
        QVERIFY(!second.Connected());
        first.Close();
        second.Open();
        QVERIFY(second.Connected());
    }

    void settingsFailures_raiseEComState_andReleaseTheDevice_data()
    {
        QTest::addColumn<int>("op");
        QTest::newRow("line settings") << int(SimSerialOp::SetLineSettings);
        QTest::newRow("read time-outs") << int(SimSerialOp::GetTimeouts);
        QTest::newRow("time-outs") << int(SimSerialOp::SetTimeouts);
        QTest::newRow("queues") << int(SimSerialOp::SetupQueues);
    }
    void settingsFailures_raiseEComState_andReleaseTheDevice()
    {
        QFETCH(int, op);
        SimSerialLab lab;
        lab.AddPort(1);
        lab.FailWith(1, static_cast<SimSerialOp>(op), EIO);
        Recorder rec;
        TComPort port;
        rec.Attach(port);
        std::optional<QString> caught;
        try {
            port.Open();
        } catch (const EComState& e) {
            caught = QString::fromLatin1(e.what());
        }
        QCOMPARE(caught, std::optional<QString>(QStringLiteral("Unable to set com state: 5")));
        QVERIFY(!port.Connected());
        QVERIFY(!port.WatcherRunning());
        QVERIFY(rec.log.isEmpty());
        QVERIFY(!lab.IsOpen(1));
        QCOMPARE(lab.EventMask(1), 0u); // no watcher was set up

        port.Close(); // not connected: nothing
        QVERIFY(rec.log.isEmpty());
        lab.FailWith(1, static_cast<SimSerialOp>(op), 0);
        port.Open();
        QVERIFY(port.Connected());
        QCOMPARE(rec.log, QStringList { "open" });
    }

    void destructor_closesAndFiresOnClose()
    {
        SimSerialLab lab;
        lab.AddPort(1);
        QStringList log;
        {
            TComPort port;
            port.OnClose = [&](QObject* sender) {
                log << QStringLiteral("close");
                QVERIFY(sender == &port);
            };
            port.Open();
        }
        QCOMPARE(log, QStringList { "close" });
        QVERIFY(!lab.IsOpen(1));
    }

    void ownerAndTag_areKept()
    {
        QObject owner;
        auto* port = new TComPort(&owner);
        port->setObjectName(QStringLiteral("ComPort"));
        port->Tag = 2;
        QCOMPARE(port->parent(), &owner);
        QCOMPARE(owner.findChild<TComPort*>(QStringLiteral("ComPort")), port);
        QCOMPARE(port->Tag, 2);
    }

    void modemStatus_readsTheLinesNow_andZeroWhenClosed()
    {
        SimSerialLab lab;
        lab.AddPort(1);
        lab.SetLines(1, MS_CTS_ON | MS_RLSD_ON);
        TComPort port;
        QCOMPARE(port.ModemStatus(), 0u);
        port.Open();
        QCOMPARE(port.ModemStatus(), MS_CTS_ON | MS_RLSD_ON);
        lab.SetLines(1, MS_DSR_ON);
        QCOMPARE(port.ModemStatus(), MS_DSR_ON);
        lab.SetInQueue(1, 9);
        QCOMPARE(port.InQueueCount(), 9);
        port.Close();
        QCOMPARE(port.ModemStatus(), 0u);
        QCOMPARE(port.InQueueCount(), 0);
    }

    // The scan asks the port list and opens nothing: an open would raise
    // DTR and RTS on whatever is attached.
    void scan_findsThePorts_openingNone()
    {
        SimSerialLab lab;
        lab.AddPort(1);
        lab.AddPort(3);
        QCOMPARE(ScanComPorts(), 0x00030005u);
        QCOMPARE(ScannedComPorts(), 0x00030005u);
        QCOMPARE(lab.OpenCount(1), 0);
        QCOMPARE(lab.OpenCount(3), 0);
    }

    void stablePath_findsTheAdapterUnderItsNewNumber_andIsLearnedByNumber()
    {
        const QString byId = QStringLiteral("/dev/serial/by-id/usb-FTDI_A1-if00-port0");
        SimSerialLab lab;
        lab.AddPort(1);
        lab.AddPort(5, byId);
        TComPort port;
        port.SetPort(5);
        port.Open();
        QCOMPARE(port.StablePath(), byId); // learned from the number
        QCOMPARE(port.Device(), (SerialPortInfo { 5, QStringLiteral("/dev/ttySIM5"), byId }));
        port.Close();

        // Plugged in again, the adapter has another number: the stable path finds it.
        lab.Unplug(5);
        lab.AddPort(6, byId);
        port.Open();
        QCOMPARE(port.Port(), 6);
        QVERIFY(lab.IsOpen(6));
        port.Close();

        // Away: COM6 is not opened in its place, whatever has that number now.
        lab.Unplug(6);
        lab.AddPort(6);
        try {
            port.Open();
            QFAIL("opened another device");
        } catch (const EComHandle& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Unable to open com port: %1").arg(ENOENT));
        }
        QVERIFY(!lab.IsOpen(6));
        QCOMPARE(port.Port(), 6); // the choice is kept
    }

    // A port another program holds is offered too: it is found busy when it
    // is chosen (the message says so).
    void portList_offersEveryPort_busyOrNot()
    {
        SimSerialLab lab;
        lab.AddPort(1);
        lab.AddPort(4);
        lab.AddPort(20, QStringLiteral("/dev/serial/by-id/usb-B"));
        lab.AddPort(7);
        lab.SetCharDevice(7, false);
        TComPort other;
        other.SetPort(4);
        other.Open(); // busy
        const std::vector<SerialPortInfo> ports = ScanComPortList();
        QCOMPARE(ports.size(), size_t(3));
        QCOMPARE(ports[0].number, 1);
        QCOMPARE(ports[1].number, 4);
        QCOMPARE(ports[2],
            (SerialPortInfo { 20, QStringLiteral("/dev/ttySIM20"), QStringLiteral("/dev/serial/by-id/usb-B") }));
        QCOMPARE(lab.OpenCount(1) + lab.OpenCount(20) + lab.OpenCount(7), 0);

        lab.FailWith(4, SimSerialOp::Open, EBUSY);
        TComPort chosen;
        chosen.SetPort(4);
        try {
            chosen.Open();
            QFAIL("opened a busy port");
        } catch (const EComHandle& e) {
            QVERIFY2(QString::fromUtf8(e.what()).startsWith(QStringLiteral("Unable to open com port: %1\n").arg(EBUSY)),
                e.what());
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("anderen Programm belegt")), e.what());
        }
    }

    void scan_skipsNonPortsAndHighNumbers_butNotBusyPorts()
    {
        SimSerialLab lab;
        for (int n : { 2, 5, 9, 16, 17 })
            lab.AddPort(n);
        lab.SetCharDevice(5, false);
        TComPort other;
        other.SetPort(9);
        other.Open(); // another program holds COM9
        QCOMPARE(ScanComPorts(), (16u << 16) | (1u << 1) | (1u << 8) | (1u << 15));
        QCOMPARE(lab.OpenCount(17) + lab.OpenCount(2) + lab.OpenCount(16), 0);
        QVERIFY(lab.IsOpen(9));

        SimSerialLab empty;
        QCOMPARE(ScanComPorts(), 0u);
    }
};

QTEST_GUILESS_MAIN(TestComPort)
#include "tst_comport.moc"
