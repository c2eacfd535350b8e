// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SettingsStore.h"

#include <QtTest>

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        platform::SettingsStore s(QStringLiteral("rztest"));
        QFile::remove(s.fileName());
    }
    void missingStore_doesNotExist_andReadsThrow()
    {
        platform::SettingsStore s(QStringLiteral("rztest"));
        QVERIFY(!s.exists());
        QVERIFY_THROWS_EXCEPTION(platform::SettingsError, s.readInteger(QStringLiteral("Port")));
    }
    void integers_roundTrip_andTextIsRefused()
    {
        {
            platform::SettingsStore s(QStringLiteral("rztest"));
            s.writeInteger(QStringLiteral("Port"), 3);
            s.writeInteger(QStringLiteral("C2"), 0x00FFFF);
            s.flush();
        }
        platform::SettingsStore s(QStringLiteral("rztest"));
        QVERIFY(s.exists());
        QCOMPARE(s.readInteger(QStringLiteral("Port")), 3);
        QCOMPARE(s.readInteger(QStringLiteral("C2")), 0x00FFFF);
        QVERIFY(s.fileName().endsWith(QLatin1String("rztest.conf")));
        QFile f(s.fileName());
        QVERIFY(f.open(QIODevice::Append));
        f.write("Sound=laut\n");
        f.close();
        platform::SettingsStore again(QStringLiteral("rztest"));
        QVERIFY_THROWS_EXCEPTION(platform::SettingsError, again.readInteger(QStringLiteral("Sound")));
    }
    void strings_roundTrip_alsoWithCommasTypedByHand()
    {
        const QString title = QStringLiteral("Meisterschaft, Slalom = 2027; \"Finale\"");
        {
            platform::SettingsStore s(QStringLiteral("rztest"));
            s.writeString(QStringLiteral("Veranstaltung"), title);
            s.flush();
        }
        platform::SettingsStore s(QStringLiteral("rztest"));
        QCOMPARE(s.readString(QStringLiteral("Veranstaltung")), title);
        QCOMPARE(s.readString(QStringLiteral("Fehlt")), QString());
        QFile f(s.fileName());
        QVERIFY(f.open(QIODevice::Append));
        f.write("Hand=Lauf 1, Lauf 2\n");
        f.close();
        platform::SettingsStore again(QStringLiteral("rztest"));
        QCOMPARE(again.readString(QStringLiteral("Hand")), QStringLiteral("Lauf 1, Lauf 2"));
    }
    void unwritableStore_flushThrows()
    {
        platform::SettingsStore probe(QStringLiteral("rztest"));
        const QString dir = QFileInfo(probe.fileName()).absolutePath();
        QDir().mkpath(dir);
        QFile::remove(probe.fileName());
        QVERIFY(QDir().mkpath(probe.fileName())); // a folder where the file should go
        platform::SettingsStore s(QStringLiteral("rztest"));
        s.writeInteger(QStringLiteral("Port"), 1);
        QVERIFY_THROWS_EXCEPTION(platform::SettingsError, s.flush());
        QDir(probe.fileName()).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
