// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/Settings.h"

#include "app/WindowPlacement.h"
#include "controls/ColorValue.h"
#include "platform/SettingsStore.h"

#include <QSettings>
#include <QtTest>

using windowplacement::Place;
using windowplacement::Reachable;
using windowplacement::ScreenSet;

namespace {

const QString kTitle = QStringLiteral("rennzeit-settings-test");

// The fourteen keys as a valid store of the program holds them.
QList<QPair<QString, QVariant>> fourteen()
{
    return { { "Port", 3 }, { "Alg", 1 }, { "Left", 40 }, { "Top", 50 }, { "Width", 900 }, { "Height", 600 },
        { "Sound", 1 }, { "C1", 0x112233 }, { "C2", 0x445566 }, { "C3", 0x778899 }, { "Acc", 1 }, { "C4", 0x00AA00 },
        { "FilterInd", 3 }, { "WaitStart", 4500 } };
}

settings::Values readWith(const QList<QPair<QString, QVariant>>& values)
{
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, kTitle);
        s.clear();
        for (const auto& [key, value] : values)
            s.setValue(key, value);
    }
    return settings::Read(platform::SettingsStore(kTitle));
}

QList<QPair<QString, QVariant>> with(QList<QPair<QString, QVariant>> values, const QString& key, const QVariant& v)
{
    for (auto& [k, old] : values)
        if (k == key)
            old = v;
    return values;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, kTitle);
        s.clear();
    }

    void aMissingStore_givesTheDefaults()
    {
        const settings::Values v = settings::Read(platform::SettingsStore(kTitle));
        QCOMPARE(v.port, 0);
        QCOMPARE(v.timing.accuracy, 2);
        QCOMPARE(v.timing.startLockoutMs, 3000);
        QCOMPARE(v.colours.dim, TColor(0x404040));
        QCOMPARE(v.files.filterIndex, 2);
        QCOMPARE(v.livePort, 8080);
        QVERIFY(!v.placement.left && !v.placement.width);
    }

    void writtenValues_readBackAsTheyWere()
    {
        settings::Values v;
        v.port = 5;
        v.algorithm = 1;
        v.portDevice = QStringLiteral("/dev/serial/by-id/usb-x");
        v.placement = { 10, 20, 800, 500, true };
        v.sound = true;
        v.colours = { 0x010203, 0x040506, clBtnFace, 0x0A0B0C };
        v.timing.accuracy = 0;
        v.timing.startLockoutMs = 2700;
        v.timing.stopFirst = true;
        v.files = { 4, QStringLiteral("/tmp/rennen") };
        v.liveOn = true;
        v.livePort = 8181;
        v.event.title = QStringLiteral("Vereinsmeisterschaft Slalom, 2027");
        v.uploadUrl = QStringLiteral("sftp://verein@web.example:2222/~/ergebnisse/");
        v.uploadKey = QStringLiteral("/home/zeit/.ssh/verein_ed25519");
        {
            platform::SettingsStore store(kTitle);
            settings::Write(store, v);
            store.flush();
        }
        const settings::Values back = settings::Read(platform::SettingsStore(kTitle));
        QCOMPARE(back.port, 5);
        QCOMPARE(back.algorithm, 1);
        QCOMPARE(back.portDevice, v.portDevice);
        QCOMPARE(back.placement.left, std::optional<int>(10));
        QCOMPARE(back.placement.height, std::optional<int>(500));
        QVERIFY(back.placement.maximized);
        QVERIFY(back.sound);
        QCOMPARE(back.colours.dim, clBtnFace);
        QCOMPARE(back.colours.secondRow, TColor(0x0A0B0C));
        QCOMPARE(back.timing, v.timing);
        QCOMPARE(back.files.filterIndex, 4);
        QCOMPARE(back.files.saveFolder, v.files.saveFolder);
        QVERIFY(back.liveOn);
        QCOMPARE(back.livePort, 8181);
        QCOMPARE(back.event.title, v.event.title);
        QCOMPARE(back.uploadUrl, v.uploadUrl);
        QCOMPARE(back.uploadKey, v.uploadKey);
        // The upload's and the runs' keys come after every key the program wrote before them.
        QSettings file(QSettings::NativeFormat, QSettings::UserScope, kTitle);
        QCOMPARE(file.allKeys().size(), 26);
        // No password is among them.
        for (const QString& key : file.allKeys())
            QVERIFY2(!key.contains("Pass", Qt::CaseInsensitive), qPrintable(key));
    }

    void aNegativeAlgorithm_isKept_itLocksThePortList()
    {
        QCOMPARE(readWith(with(fourteen(), "Alg", -1)).algorithm, -1);
        QCOMPARE(readWith(with(fourteen(), "Alg", -7)).algorithm, -7);
        QCOMPARE(readWith(with(fourteen(), "Alg", 2)).algorithm, 0);
    }

    void aStoreWithoutARaceTitle_hasNone()
    {
        QVERIFY(readWith(fourteen()).event.title.isEmpty());
        // Nor an upload: an older store uploads nothing.
        QVERIFY(readWith(fourteen()).uploadUrl.isEmpty());
    }

    void textsLongerThanTheirLimit_titleIsCut_pathIsRefused()
    {
        const QString title = QStringLiteral("Vereinsmeisterschaft ") + QString(280, QLatin1Char('x'));
        QCOMPARE(title.size(), 301);
        QList<QPair<QString, QVariant>> values = fourteen();
        values << QPair<QString, QVariant>("Veranstaltung", title)
               << QPair<QString, QVariant>("PortDevice", QStringLiteral("/dev/") + QString(5000, QLatin1Char('a')))
               << QPair<QString, QVariant>("SaveDir", QStringLiteral("/tmp/rennen"));
        const settings::Values v = readWith(values);
        QCOMPARE(v.event.title, title.left(settings::kMaxTitleLength));
        QVERIFY(v.portDevice.isEmpty());
        QCOMPARE(v.files.saveFolder, QStringLiteral("/tmp/rennen"));
    }

    void thePortsGroup_isReadThroughTheTable_andNeverWritten()
    {
        QList<QPair<QString, QVariant>> values = fourteen();
        values << QPair<QString, QVariant>("Ports/COM5", QStringLiteral(" /dev/serial/by-id/usb-x "))
               << QPair<QString, QVariant>("Ports/COM7", QString())
               << QPair<QString, QVariant>("Ports/Drucker", QStringLiteral("/dev/lp0"))
               << QPair<QString, QVariant>("Ports/COM1000", QStringLiteral("/dev/ttyS9"));
        const settings::Values v = readWith(values);
        QCOMPARE(v.portPaths, (QMap<int, QString> { { 5, QStringLiteral("/dev/serial/by-id/usb-x") } }));
        {
            platform::SettingsStore store(kTitle);
            settings::Values changed = v;
            changed.portPaths.clear();
            settings::Write(store, changed);
            store.flush();
        }
        // The administrator's lines stay as they were written.
        QCOMPARE(settings::Read(platform::SettingsStore(kTitle)).portPaths, v.portPaths);
    }

    void aValueOutOfItsRange_takesItsDefaultAlone_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("stored");
        QTest::newRow("port 256") << "Port" << 256;
        QTest::newRow("port 300, cut to 8 bits COM44") << "Port" << 300;
        QTest::newRow("algorithm 7") << "Alg" << 7;
        QTest::newRow("accuracy 5") << "Acc" << 5;
        QTest::newRow("accuracy -1") << "Acc" << -1;
        QTest::newRow("file type 0") << "FilterInd" << 0;
        QTest::newRow("file type 5") << "FilterInd" << 5;
        QTest::newRow("lockout 999 ms") << "WaitStart" << 999;
        QTest::newRow("lockout 600001 ms") << "WaitStart" << 600001;
        QTest::newRow("colour of no system colour") << "C3" << int(kSystemColorFlag | 31);
    }
    void aValueOutOfItsRange_takesItsDefaultAlone()
    {
        QFETCH(QString, key);
        QFETCH(int, stored);
        const settings::Values v = readWith(with(fourteen(), key, stored));
        const settings::Values defaults;
        QCOMPARE(v.port, key == "Port" ? defaults.port : 3);
        QCOMPARE(v.algorithm, key == "Alg" ? defaults.algorithm : 1);
        QCOMPARE(v.timing.accuracy, key == "Acc" ? defaults.timing.accuracy : 1);
        QCOMPARE(v.files.filterIndex, key == "FilterInd" ? defaults.files.filterIndex : 3);
        QCOMPARE(v.timing.startLockoutMs, key == "WaitStart" ? defaults.timing.startLockoutMs : 4500);
        QCOMPARE(v.colours.dim, key == "C3" ? defaults.colours.dim : TColor(0x778899));
        QCOMPARE(v.colours.secondRow, TColor(0x00AA00)); // the value after it is read all the same
    }

    void theFirstMissingOrBadOfTheFourteen_endsTheirReading_laterKeysAreReadAlone()
    {
        QList<QPair<QString, QVariant>> values = with(fourteen(), "C3", QStringLiteral("hell"));
        values << QPair<QString, QVariant>("StopFirst", 1) << QPair<QString, QVariant>("LivePort", 9090)
               << QPair<QString, QVariant>("LiveOn", QStringLiteral("ja"));
        const settings::Values v = readWith(values);
        QCOMPARE(v.port, 3);
        QCOMPARE(v.colours.digit, TColor(0x445566));
        // C3 and everything after it among the fourteen keep their defaults.
        const settings::Values defaults;
        QCOMPARE(v.colours.dim, defaults.colours.dim);
        QCOMPARE(v.timing.accuracy, defaults.timing.accuracy);
        QCOMPARE(v.timing.startLockoutMs, defaults.timing.startLockoutMs);
        QCOMPARE(v.files.filterIndex, defaults.files.filterIndex);
        // The later keys stand on their own; a bad one keeps its default.
        QVERIFY(v.timing.stopFirst);
        QCOMPARE(v.livePort, 9090);
        QVERIFY(!v.liveOn);

        values = fourteen();
        values.removeAt(1); // no "Alg"
        const settings::Values noAlgorithm = readWith(values);
        QCOMPARE(noAlgorithm.port, 3);
        QVERIFY(!noAlgorithm.placement.left);
        QCOMPARE(noAlgorithm.colours.background, defaults.colours.background);
    }

    void colours_arePlainColoursOrKnownSystemColours()
    {
        using settings::Color;
        QCOMPARE(Color(0, clLime), clBlack);
        QCOMPARE(Color(0x00FFFFFF, clLime), clWhite);
        QCOMPARE(Color(int(clBtnFace), clLime), clBtnFace);
        QCOMPARE(Color(int(clMenuBar), clLime), clMenuBar);
        QCOMPARE(Color(int(kSystemColorFlag | 31), clLime), clLime); // no such system colour
        QCOMPARE(Color(0x01000000, clLime), clLime);
        QCOMPARE(Color(-1, clYellow), clYellow);
        QCOMPARE(Color(int(clNone), clYellow), clYellow);
    }

    void reachable_needs100By100PixelsOnOneScreen()
    {
        const ScreenSet two { QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024) };
        QVERIFY(Reachable(QRect(100, 100, 792, 460), two));
        QVERIFY(Reachable(QRect(1820, 980, 792, 460), two)); // exactly 100 x 100 on the first
        QVERIFY(!Reachable(QRect(1821, 980, 792, 460), { two[0] }));
        QVERIFY(!Reachable(QRect(-693, 500, 792, 460), two)); // 99 wide, but ...
        QVERIFY(Reachable(QRect(-692, 500, 792, 460), two)); // ... one more is enough
        QVERIFY(!Reachable(QRect(3300, 0, 792, 460), two)); // right of both
        QVERIFY(Reachable(QRect(3100, 0, 792, 460), two)); // on the second
        // Half on each screen, at most 99 pixels on either: not enough on one.
        QVERIFY(!Reachable(QRect(1821, 0, 198, 460), two));
        QVERIFY(!Reachable(QRect(0, 0, 792, 460), {}));
    }

    void place_keepsAReachablePlace_andCentresAnyOtherOnThePrimary()
    {
        const QSize minimum(792, 460);
        const ScreenSet screens { QRect(0, 28, 1920, 1052), QRect(-1280, 0, 1280, 1024) };
        const QRect onSecond(-1000, 200, 900, 600);
        QCOMPARE(Place(onSecond, screens, minimum), onSecond);

        // The monitor on the right was unplugged.
        const QRect gone(2500, 300, 900, 600);
        const QRect centred = Place(gone, screens, minimum);
        QCOMPARE(centred.size(), gone.size());
        QCOMPARE(centred.center(), screens[0].center());
        QVERIFY(Reachable(centred, screens));

        // Larger than the primary screen: shrunk to it, its title bar on it.
        const QRect huge = Place(QRect(-5000, -5000, 3000, 2000), screens, minimum);
        QCOMPARE(huge, screens[0]);
        // A screen smaller than the window's minimum: the minimum stands, the
        // top-left corner stays on the screen.
        const ScreenSet small { QRect(0, 0, 640, 400) };
        QCOMPARE(Place(QRect(4000, 0, 900, 600), small, minimum), QRect(0, 0, 792, 460));

        // Without any screen known the stored place stands.
        QCOMPARE(Place(gone, {}, minimum), gone);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
