// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/PortMap.h"

#include "platform/AppInfo.h"
#include "platform/SerialAdapter.h"
#include "support/ScriptedSerial.h"

#include <QtTest>

#include <pty.h>
#include <unistd.h>

using platform::PortMap;

namespace {

// A fake /dev with the given nodes (plain files do: only existence counts).
class FakeDev {
public:
    explicit FakeDev(const QStringList& nodes)
    {
        for (const QString& n : nodes) {
            QFile f(m_dir.filePath(n));
            f.open(QIODevice::WriteOnly);
        }
    }
    QString path() const { return m_dir.path(); }
    QString node(const QString& n) const { return m_dir.filePath(n); }

private:
    QTemporaryDir m_dir;
};

} // namespace

class TestPortMap : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
        s.clear();
    }

    void families_areNumberedInOrder()
    {
        FakeDev dev({ "ttyACM0", "ttyUSB1", "ttyS1", "ttyUSB0", "ttyS0", "console", "ttyAMA0" });
        const PortMap map(dev.path(), {});
        QCOMPARE(map.DevicePath(1), dev.node("ttyS0"));
        QCOMPARE(map.DevicePath(2), dev.node("ttyS1"));
        QCOMPARE(map.DevicePath(3), dev.node("ttyUSB0"));
        QCOMPARE(map.DevicePath(4), dev.node("ttyUSB1"));
        QCOMPARE(map.DevicePath(5), dev.node("ttyACM0"));
        QCOMPARE(map.DevicePath(6), QString());
        QCOMPARE(map.DevicePath(0), QString());
        QCOMPARE(map.Devices(16).size(), 5);
    }

    void everyNodeOfAFamilyCounts_inTheOrderOfItsNumber()
    {
        // An adapter that comes back as ttyUSB1 while ttyUSB0 is gone is still found.
        FakeDev dev({ "ttyS0", "ttyS2", "ttyS10", "ttyS9", "ttyUSB1", "ttyACM0", "ttyACM1", "ttySX", "ttyUSB" });
        const PortMap map(dev.path(), {});
        QCOMPARE(map.DevicePath(1), dev.node("ttyS0"));
        QCOMPARE(map.DevicePath(2), dev.node("ttyS2"));
        QCOMPARE(map.DevicePath(3), dev.node("ttyS9"));
        QCOMPARE(map.DevicePath(4), dev.node("ttyS10"));
        QCOMPARE(map.DevicePath(5), dev.node("ttyUSB1"));
        QCOMPARE(map.DevicePath(6), dev.node("ttyACM0"));
        QCOMPARE(map.DevicePath(7), dev.node("ttyACM1"));
        QCOMPARE(map.DevicePath(8), QString());
    }

    void stablePaths_comeFromSerialById()
    {
        FakeDev dev({ "ttyS0", "ttyUSB0", "ttyUSB3" });
        platform::ScriptedSysfs sysfs;
        sysfs.AddSerialCoreTty(QStringLiteral("ttyS0"), QStringLiteral("serial"));
        sysfs.AddTty(QStringLiteral("ttyUSB0"), QStringLiteral("pl2303"));
        sysfs.AddTty(QStringLiteral("ttyUSB3"), QStringLiteral("ftdi_sio"));
        QVERIFY(QDir(dev.path()).mkpath(QStringLiteral("serial/by-id")));
        const QString byId = dev.node(QStringLiteral("serial/by-id/usb-FTDI_FT232R_A1-if00-port0"));
        QVERIFY(QFile::link(QStringLiteral("../../ttyUSB3"), byId));
        const PortMap map(dev.path(), { { 9, byId } });
        const std::vector<platform::SerialPortInfo> ports = map.List();
        QCOMPARE(ports.size(), size_t(4));
        QCOMPARE(ports[0], (platform::SerialPortInfo { 1, dev.node("ttyS0"), QString() }));
        QCOMPARE(ports[1], (platform::SerialPortInfo { 2, dev.node("ttyUSB0"), QString() }));
        QCOMPARE(ports[2], (platform::SerialPortInfo { 3, dev.node("ttyUSB3"), byId }));
        QCOMPARE(ports[3], (platform::SerialPortInfo { 9, byId, byId })); // an override by its stable path
        QCOMPARE(ports[2].DeviceName(), QStringLiteral("usb-FTDI_FT232R_A1-if00-port0"));
        QCOMPARE(ports[0].DeviceName(), dev.node("ttyS0"));
    }

    // The list is what sysfs tells, without opening anything: a ttyS node
    // without a UART (type 0, or no device behind it) is no port, and keeps
    // its number; so is a node sysfs does not know that is no character
    // device, and an override that leads nowhere. A pseudo-terminal (no tty
    // of sysfs's, but a character device) is one.
    void list_offersTheNodesSysfsKnowsAsPorts_openingNone()
    {
        FakeDev dev({ "ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyUSB0", "ttyUSB1", "ttyACM0" });
        platform::ScriptedSysfs sysfs;
        sysfs.AddSerialCoreTty(QStringLiteral("ttyS0"), QStringLiteral("serial"));
        sysfs.AddSerialCoreTty(QStringLiteral("ttyS1"), QStringLiteral("serial"), 0);
        sysfs.AddPlaceholderTty(QStringLiteral("ttyS2"), true);
        sysfs.AddPlaceholderTty(QStringLiteral("ttyS3"), false);
        sysfs.AddTty(QStringLiteral("ttyUSB0"), QStringLiteral("cp210x"));
        sysfs.AddTty(QStringLiteral("ttyACM0"), QStringLiteral("cdc_acm"));
        int master = -1;
        int slave = -1;
        char pty[128] = {};
        QCOMPARE(::openpty(&master, &slave, pty, nullptr, nullptr), 0);
        const PortMap map(
            dev.path(), { { 9, QString::fromLocal8Bit(pty) }, { 10, dev.node("missing") } }, sysfs.Root());
        QList<int> numbers;
        for (const platform::SerialPortInfo& port : map.List())
            numbers << port.number;
        QCOMPARE(numbers, (QList<int> { 1, 5, 7, 9 }));
        QCOMPARE(map.DevicePath(2), dev.node("ttyS1")); // numbered all the same
        QCOMPARE(map.DevicePath(6), dev.node("ttyUSB1"));
        ::close(master);
        ::close(slave);
        // The sysfs of the program (SysfsRoot) unless the map is given one.
        QCOMPARE(PortMap(dev.path(), {}).List().size(), size_t(3));
    }

    void danglingLink_isAMissingNode()
    {
        FakeDev dev({ "ttyUSB1" });
        QVERIFY(QFile::link(dev.node("gone"), dev.node("ttyUSB0")));
        QVERIFY(QFile::link(dev.node("ttyUSB1"), dev.node("ttyACM0")));
        const PortMap map(dev.path(), {});
        QCOMPARE(map.DevicePath(1), dev.node("ttyUSB1"));
        QCOMPARE(map.DevicePath(2), dev.node("ttyACM0"));
        QCOMPARE(map.DevicePath(3), QString());
    }

    void overrides_winAndTheirNumbersAreSkipped()
    {
        FakeDev dev({ "ttyS0", "ttyS1", "ttyUSB0" });
        const PortMap map(dev.path(), { { 2, "/dev/serial/by-id/usb-barrier" }, { 7, "/dev/ttyXR0" } });
        QCOMPARE(map.DevicePath(1), dev.node("ttyS0"));
        QCOMPARE(map.DevicePath(2), QStringLiteral("/dev/serial/by-id/usb-barrier"));
        QCOMPARE(map.DevicePath(3), dev.node("ttyS1"));
        QCOMPARE(map.DevicePath(4), dev.node("ttyUSB0"));
        QCOMPARE(map.DevicePath(5), QString());
        QCOMPARE(map.DevicePath(7), QStringLiteral("/dev/ttyXR0"));
        const QMap<int, QString> all = map.Devices(16);
        QCOMPARE(all.keys(), (QList<int> { 1, 2, 3, 4, 7 }));
    }

    void overrideOfCom1_movesTheFamiliesUp()
    {
        FakeDev dev({ "ttyS0" });
        const PortMap map(dev.path(), { { 1, "/dev/rfcomm0" } });
        QCOMPARE(map.DevicePath(1), QStringLiteral("/dev/rfcomm0"));
        QCOMPARE(map.DevicePath(2), dev.node("ttyS0"));
    }

    void portNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("number");
        QTest::newRow("COM1") << "COM1" << 1;
        QTest::newRow("COM12") << "COM12" << 12;
        QTest::newRow("COM255") << "COM255" << 255;
        QTest::newRow("COM256") << "COM256" << 0;
        QTest::newRow("COM0") << "COM0" << 0;
        QTest::newRow("COM") << "COM" << 0;
        QTest::newRow("com3") << "com3" << 0;
        QTest::newRow("COM3a") << "COM3a" << 0;
        QTest::newRow("COM-3") << "COM-3" << 0;
        QTest::newRow("Port") << "Port" << 0;
    }
    void portNames()
    {
        QFETCH(QString, name);
        QFETCH(int, number);
        QCOMPARE(PortMap::NumberFromName(name), number);
    }

    void settingsGroupPorts_namesTheDevices()
    {
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
            s.setValue("Port", 3); // the port setting itself is no override
            s.setValue("Ports/COM3", "/dev/serial/by-id/usb-FTDI-if00");
            s.setValue("Ports/COM1", "  ");
            s.setValue("Ports/Barrier", "/dev/ttyUSB4");
            s.setValue("Ports/COM0", "/dev/ttyUSB5");
            s.sync();
        }
        const QMap<int, QString> overrides = PortMap::OverridesFromSettings();
        QCOMPARE(overrides.size(), 1);
        QCOMPARE(overrides.value(3), QStringLiteral("/dev/serial/by-id/usb-FTDI-if00"));

        FakeDev dev({ "ttyS0", "ttyS1", "ttyS2" });
        const PortMap map = PortMap::FromSettings(dev.path());
        QCOMPARE(map.DevicePath(1), dev.node("ttyS0"));
        QCOMPARE(map.DevicePath(2), dev.node("ttyS1"));
        QCOMPARE(map.DevicePath(3), QStringLiteral("/dev/serial/by-id/usb-FTDI-if00"));
        QCOMPARE(map.DevicePath(4), dev.node("ttyS2"));
    }

    void noSettings_noOverrides() { QVERIFY(PortMap::OverridesFromSettings().isEmpty()); }
};

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
