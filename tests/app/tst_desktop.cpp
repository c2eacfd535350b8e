// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindowFixture.h"

#include "app/Application.h"
#include "app/WindowPlacement.h"
#include "dialogs/Cfg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>

namespace {

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
}

// A complete store of the fourteen values, none of them a default.
QList<std::pair<QString, int>> storedValues()
{
    return { { "Port", 5 }, { "Alg", 1 }, { "Left", 20 }, { "Top", 30 }, { "Width", 900 }, { "Height", 600 },
        { "Sound", 1 }, { "C1", 0x112233 }, { "C2", 0x445566 }, { "C3", 0x010101 }, { "Acc", 1 }, { "C4", 0x020202 },
        { "FilterInd", 4 }, { "WaitStart", 5000 } };
}

void writeStore(const QList<std::pair<QString, int>>& values)
{
    ClearSettingsStore();
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
    for (const auto& [k, v] : values)
        s.setValue(k, v);
}

void writeStoreWith(const QString& key, int value)
{
    auto values = storedValues();
    for (auto& [k, v] : values) {
        if (k == key)
            v = value;
    }
    writeStore(values);
}

// What the window took from the store, by key.
QMap<QString, qint64> applied(TFormMain* w)
{
    return { { "Port", w->ui.ComPort->Port() }, { "Alg", w->LightBarriers().Algorithm() },
        { "C1", w->Colours().background }, { "C2", w->Colours().digit }, { "C3", w->Colours().dim },
        { "Acc", w->Race().Settings().accuracy }, { "C4", w->Colours().secondRow },
        { "FilterInd", w->CurrentSettings().files.filterIndex }, { "WaitStart", w->Race().Settings().startLockoutMs },
        { "Sound", w->CurrentSettings().sound ? 1 : 0 }, { "Width", w->width() }, { "Height", w->height() } };
}

QRect frame(TFormMain* w)
{
    return QRect(w->frameGeometry().topLeft(), w->size());
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        ClearSettingsStore();
        windowplacement::SetScreensForTests({});
    }
    void cleanup() { windowplacement::SetScreensForTests({}); }

    void fiveStartsAndExits_leaveTheWindowWhereItWas()
    {
        QRect placed;
        {
            MainWindowFixture f;
            f.w()->move(123, 77);
            f.w()->resize(900, 600);
            QTRY_COMPARE(f.w()->pos(), QPoint(123, 77));
            QTRY_COMPARE(f.w()->size(), QSize(900, 600));
            placed = frame(f.w());
        }
        QCOMPARE(store().value("Left").toInt(), placed.left());
        QCOMPARE(store().value("Top").toInt(), placed.top());
        QCOMPARE(store().value("Width").toInt(), 900);
        QCOMPARE(store().value("Height").toInt(), 600);
        QCOMPARE(store().value("Maximized").toInt(), 0);
        for (int start = 1; start <= 5; ++start) {
            MainWindowFixture f;
            QTRY_COMPARE(frame(f.w()), placed);
            // The client area sits inside the frame, never where the frame was.
            QCOMPARE(f.w()->geometry().size(), QSize(900, 600));
        }
        QCOMPARE(store().value("Top").toInt(), placed.top());
    }

    void maximisedWindow_reopensMaximised_andRestoresToItsNormalPlace()
    {
        QRect normal;
        {
            MainWindowFixture f;
            f.w()->move(40, 50);
            f.w()->resize(800, 470);
            QTRY_COMPARE(f.w()->size(), QSize(800, 470));
            normal = frame(f.w());
            f.w()->showMaximized();
            QTRY_VERIFY(f.w()->isMaximized());
        }
        QCOMPARE(store().value("Maximized").toInt(), 1);
        QCOMPARE(QRect(store().value("Left").toInt(), store().value("Top").toInt(), store().value("Width").toInt(),
                     store().value("Height").toInt()),
            normal);
        {
            MainWindowFixture f;
            QTRY_VERIFY(f.w()->isMaximized());
            f.w()->showNormal();
            QTRY_COMPARE(frame(f.w()), normal);
        }
        QCOMPARE(store().value("Maximized").toInt(), 0);
    }

    void maximizedKey_isReadLeniently()
    {
        // Missing, malformed, or before a store that stops early: never in the way.
        for (const QVariant& bad : { QVariant(), QVariant(QStringLiteral("ja")) }) {
            writeStore(storedValues());
            if (bad.isValid())
                store().setValue("Maximized", bad);
            MainWindowFixture f;
            QVERIFY(!f.w()->isMaximized());
            QCOMPARE(f.w()->Race().Settings().startLockoutMs, 5000); // the fourteen values were all read
        }
        writeStore({ { "Port", 0 }, { "Alg", 0 } }); // ends at "Left"
        store().setValue("Maximized", 1);
        MainWindowFixture f;
        QTRY_VERIFY(f.w()->isMaximized());
    }

    void storedPlaceOffEveryScreen_opensCentredOnThePrimary()
    {
        const QRect primary(0, 0, 1600, 900), second(1600, 0, 1280, 1024);
        windowplacement::SetScreensForTests([&] { return windowplacement::ScreenSet { primary, second }; });

        writeStoreWith("Left", 2000); // on the second monitor: kept
        {
            MainWindowFixture f;
            QCOMPARE(f.w()->pos(), QPoint(2000, 30));
        }
        // The second monitor is unplugged.
        windowplacement::SetScreensForTests([&] { return windowplacement::ScreenSet { primary }; });
        writeStoreWith("Left", 2000);
        {
            MainWindowFixture f;
            QCOMPARE(f.w()->size(), QSize(900, 600));
            QCOMPARE(QRect(f.w()->pos(), f.w()->size()).center(), primary.center());
        }
        // Only a sliver left on the screen (99 pixels high) is not enough.
        writeStoreWith("Top", -501);
        {
            MainWindowFixture f;
            QCOMPARE(QRect(f.w()->pos(), f.w()->size()).center(), primary.center());
        }
        writeStoreWith("Top", -500);
        {
            MainWindowFixture f;
            QCOMPARE(f.w()->pos(), QPoint(20, -500));
        }
    }

    void eachValueOutOfRange_takesItsDefaultAlone_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("stored");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("Port 300") << "Port" << 300 << qint64(0);
        QTest::newRow("Port -1") << "Port" << -1 << qint64(0);
        QTest::newRow("Alg 7") << "Alg" << 7 << qint64(0);
        QTest::newRow("C1") << "C1" << 0x7F000000 << qint64(clBlack);
        QTest::newRow("C2") << "C2" << -1 << qint64(clYellow);
        QTest::newRow("C3") << "C3" << 0x01000000 << qint64(0x404040);
        QTest::newRow("C4") << "C4" << int(kSystemColorFlag | 99) << qint64(clLime);
        QTest::newRow("Acc 5") << "Acc" << 5 << qint64(2);
        QTest::newRow("Acc -1") << "Acc" << -1 << qint64(2);
        QTest::newRow("FilterInd 0") << "FilterInd" << 0 << qint64(2);
        QTest::newRow("FilterInd 9") << "FilterInd" << 9 << qint64(2);
        QTest::newRow("WaitStart 999") << "WaitStart" << 999 << qint64(3000);
        QTest::newRow("WaitStart 600001") << "WaitStart" << 600001 << qint64(3000);
    }

    void eachValueOutOfRange_takesItsDefaultAlone()
    {
        QFETCH(QString, key);
        QFETCH(int, stored);
        QFETCH(qint64, expected);
        writeStoreWith(key, stored);
        MainWindowFixture f;
        const QMap<QString, qint64> got = applied(f.w());
        QCOMPARE(got.value(key), expected);
        for (const auto& [k, v] : storedValues()) {
            if (k != key && got.contains(k))
                QVERIFY2(got.value(k) == v, qPrintable(k));
        }
    }

    void outOfRangeValues_neverLeaveAnEmptyList_norLockTheLists()
    {
        writeStore({ { "Port", 9 }, { "Alg", 7 }, { "Left", 20 }, { "Top", 30 }, { "Width", 900 }, { "Height", 600 },
            { "Sound", 0 }, { "C1", 0 }, { "C2", 0xFFFF }, { "C3", 0x404040 }, { "Acc", 5 }, { "C4", 0xFF00 },
            { "FilterInd", 2 }, { "WaitStart", 3000 } });
        MainWindowFixture f; // COM1 exists, COM9 not
        TCfgDialog* d = f.w()->ui.CfgDialog;
        QStringList shown;
        bool portEnabled = false;
        dialogs::SetDialogHandler([&](QDialog* dialog) {
            dialog->show();
            for (QComboBox* list : { d->cbDigits, d->cbPort, d->cbAlg })
                shown << list->currentText();
            portEnabled = d->cbPort->isEnabled();
            dialog->hide();
            return int(QDialog::Accepted);
        });
        f.w()->ui.EinstellunGen1->trigger();
        // A port missing at start-up keeps its stored choice, shown as
        // disconnected; the out-of-range values show their defaults.
        QCOMPARE(shown, QStringList({ "HH:MM.SS,ms", "COM9 (nicht verbunden)", "Ein" }));
        QVERIFY(portEnabled);
        QCOMPARE(f.w()->Race().Settings().accuracy, 2);
        QCOMPARE(f.w()->LightBarriers().Algorithm(), 0);

        // Choosing the port afterwards works: the algorithm list is there.
        shown.clear();
        dialogs::SetDialogHandler([&](QDialog* dialog) {
            dialog->show();
            portEnabled = d->cbPort->isEnabled();
            d->cbPort->setCurrentIndex(1);
            d->cbPortChange();
            shown << QString::number(d->cbAlg->isEnabled());
            d->cbAlg->setCurrentIndex(1);
            dialog->hide();
            return int(QDialog::Accepted);
        });
        f.w()->ui.EinstellunGen1->trigger();
        QVERIFY(portEnabled);
        QCOMPARE(shown, QStringList({ "1" }));
        QCOMPARE(f.w()->ui.ComPort->Port(), 1);
        QCOMPARE(f.w()->LightBarriers().Algorithm(), 1);
    }

    void f2OpensTheSettings_f3TheInfoBox()
    {
        MainWindowFixture f;
        int shown = 0;
        dialogs::SetDialogHandler([&](QDialog* dialog) {
            shown += dialog == f.w()->ui.CfgDialog;
            return int(QDialog::Rejected);
        });
        f.key(Qt::Key_F2);
        QCOMPARE(shown, 1);
        dialogs::TakeShownMessages();
        f.key(Qt::Key_F3);
        const auto messages = dialogs::TakeShownMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].icon, dialogs::Icon::Information);

        // During a race bCFG is disabled; F2, like Alt+E, still opens the settings.
        f.start();
        QVERIFY(!f.w()->ui.bCFG->isEnabled());
        f.key(Qt::Key_F2);
        QCOMPARE(shown, 2);
    }

    void f2InAnEditableCell_editsTheCell()
    {
        MainWindowFixture f;
        TSortGrid* g = f.grid();
        int shown = 0;
        dialogs::SetDialogHandler([&](QDialog*) {
            ++shown;
            return int(QDialog::Rejected);
        });
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->viewport()->mapFrom(g, g->CellRect(1, 1).center()));
        QVERIFY(g->Options() & goEditing);
        f.w()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.w()));
        g->setFocus();
        QVERIFY(g->hasFocus());
        QTest::keyClick(g, Qt::Key_F2);
        QTRY_VERIFY(g->EditorMode());
        QCOMPARE(shown, 0);
    }

    void toolkitTexts_areGerman()
    {
        if (QLocale::system().language() != QLocale::German)
            QSKIP("runs in a German locale (CTest sets one)");
        QFileDialog dialog(nullptr, QStringLiteral("Startliste öffnen"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        auto* lookIn = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
        auto* fileName = dialog.findChild<QLabel*>(QStringLiteral("fileNameLabel"));
        auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY(lookIn && fileName && buttons);
        QCOMPARE(lookIn->text(), QStringLiteral("Suchen in:"));
        QCOMPARE(fileName->text(), QStringLiteral("Datei&name:"));
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));

        QLineEdit edit;
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator())
                texts << a->text().section(QLatin1Char('\t'), 0, 0); // without the shortcut
        }
        QCOMPARE(texts.first(), QStringLiteral("&Rückgängig"));
        QCOMPARE(texts.last(), QStringLiteral("Alles auswählen"));
    }
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv); // loads the toolkit's translations, as the program does
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_desktop.moc"
