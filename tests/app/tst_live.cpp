// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Live results and the spectator display in the main window: the settings,
// the header's address, a race timed by keys reaching an event stream, a
// taken port, the spectator window after starts and stops, and the upload
// of the results to a real SSH server on loopback.
#include "MainWindowFixture.h"

#include "app/AudienceWindow.h"
#include "app/LivePublisher.h"
#include "app/LiveWidgets.h"
#include "app/UploadLink.h"
#include "dialogs/Cfg.h"
#include "live/LiveServer.h"
#include "platform/AppInfo.h"
#include "race/RaceText.h"
#include "support/HttpProbe.h"
#include "support/UploadServers.h"
#include "upload/KnownHosts.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QToolButton>

namespace {

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
}

void writeLiveStore(const QVariant& on, const QVariant& port)
{
    ClearSettingsStore();
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
    s.setValue("Port", 0); // an original key, so the store exists
    if (on.isValid())
        s.setValue("LiveOn", on);
    if (port.isValid())
        s.setValue("LivePort", port);
}

// known_hosts and the SSH keys of a test live in a home folder of its own,
// also when the test is run by hand.
class PrivateHome {
public:
    PrivateHome()
        : m_previous(qgetenv("HOME"))
    {
        qputenv("HOME", QFile::encodeName(m_dir.path()));
    }
    ~PrivateHome() { qputenv("HOME", m_previous); }
    Q_DISABLE_COPY_MOVE(PrivateHome)
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

void writeUploadStore(const QString& address, const QString& keyFile)
{
    ClearSettingsStore();
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
    s.setValue("Port", 0);
    s.setValue("UploadUrl", address);
    s.setValue("UploadKey", keyFile);
}

// The results the server holds; empty while it holds none.
QJsonObject uploadedResults(const SshServer& ssh)
{
    return QJsonDocument::fromJson(ReadFileBytes(ssh.Folder() + "/results.json")).object();
}

// STOPP on the first entry that runs (F9 acts on the selected entry only).
void stopARunner(MainWindowFixture& f, int afterMs)
{
    for (int r = 1; r < f.grid()->RowCount(); ++r) {
        if (!f.cell(kColStart, r).isEmpty() && f.cell(kColZeit, r).isEmpty()) {
            op::SelectRow(*f.w(), r);
            break;
        }
    }
    f.stop(afterMs);
}

int finishedIn(const QJsonObject& results)
{
    int finished = 0;
    for (const QJsonValue& e : results["entries"].toArray())
        finished += e.toObject()["state"] == "finished" ? 1 : 0;
    return finished;
}

bool waitListening(TFormMain* w)
{
    return QTest::qWaitFor([w] { return w->Live().Server() && w->Live().Server()->Port() != 0; }, 10000);
}

QJsonObject json(const QByteArray& bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

// The results a page holds after every event of its stream so far.
QJsonObject heldAfter(const QByteArray& stream)
{
    QJsonObject held;
    for (const QByteArray& event : SseEvents(stream))
        held = ApplyLiveEvent(held, json(event));
    return held;
}

QStringList rowTexts(const TAudienceWindow* a, int row)
{
    QStringList texts;
    for (const QLabel* l : a->Rows[static_cast<size_t>(row)])
        texts << l->text();
    return texts;
}

// The same before a long name is cut to its column (the tooltip keeps it).
QStringList fullRowTexts(const TAudienceWindow* a, int row)
{
    QStringList texts;
    // A shortened text has the whole one as its tooltip.
    for (const QLabel* l : a->Rows[static_cast<size_t>(row)])
        texts << (l->toolTip().isEmpty() ? l->text() : l->toolTip());
    return texts;
}

// The race time the spectator digits show, in hundredths.
int shownHundredths(const TAudienceWindow* a)
{
    int v = 0;
    for (const TDigit* d : a->Digits)
        v = v * 10 + d->Value();
    // h m m s s t h -> hours, minutes, seconds, hundredths
    const int h = v / 1000000, m = v / 10000 % 100, s = v / 100 % 100, f = v % 100;
    return ((h * 60 + m) * 60 + s) * 100 + f;
}

} // namespace

class TestLive : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { live::SetListenAddressForTests(QHostAddress::LocalHost); }
    void init() { ClearSettingsStore(); }

    void liveIsOffByDefault_andItsKeysComeBackLeniently()
    {
        {
            MainWindowFixture f;
            QVERIFY(!f.w()->Live().On());
            QCOMPARE(f.w()->Live().Port(), 8080);
            QVERIFY(!f.w()->Live().Server());
            QVERIFY(!f.w()->ui.LabLiveAddress->isVisible());
            QVERIFY(f.w()->ui.bAnzeige->isVisible());
        }
        QCOMPARE(store().value("LiveOn").toInt(), 0);
        QCOMPARE(store().value("LivePort").toInt(), 8080);

        // A bad new key keeps its default and does not end the reading of the
        // other one.
        const quint16 port = FreeTcpPort();
        writeLiveStore("ja", port);
        {
            MainWindowFixture f;
            QVERIFY(!f.w()->Live().On());
            QCOMPARE(f.w()->Live().Port(), int(port));
        }
        for (const QVariant& bad : { QVariant("achtzig"), QVariant(70000), QVariant(0) }) {
            writeLiveStore(1, bad);
            MainWindowFixture f;
            QVERIFY(f.w()->Live().On());
            QCOMPARE(f.w()->Live().Port(), 8080);
            f.w()->Live().Configure(false, f.w()->Live().Port());
        }
        // An original key missing ends the strict reading there, not the new keys.
        ClearSettingsStore();
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
            s.setValue("LivePort", port);
            s.setValue("Acc", 0);
        }
        MainWindowFixture f;
        QCOMPARE(f.w()->Live().Port(), int(port));
        QCOMPARE(f.w()->Race().Settings().accuracy, 2);
    }

    void settingsDialog_switchesLiveResultsAndTheHeaderShowsTheAddress()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TCfgDialog* d = w->ui.CfgDialog;
        const quint16 port = FreeTcpPort();
        bool portEnabledBefore = true;
        dialogs::SetDialogHandler([&](QDialog*) {
            portEnabledBefore = d->seLivePort->isEnabled();
            d->cbLive->setChecked(true);
            d->seLivePort->setValue(port);
            return int(QDialog::Accepted);
        });
        w->ui.EinstellunGen1->trigger();
        QVERIFY(!portEnabledBefore);
        QVERIFY(w->Live().On());
        QCOMPARE(w->Live().Port(), int(port));
        QVERIFY(waitListening(w));
        QCOMPARE(w->Live().Server()->Port(), port);
        QVERIFY(w->ui.LabLiveAddress->isVisible());
        QVERIFY(w->ui.LabLiveAddress->text().endsWith(QStringLiteral(":%1").arg(port)));
        QVERIFY(w->Live().Address().startsWith("http://"));

        // A click shows the address as a QR code and leaves the keys with the race.
        w->ui.LabLiveAddress->OnClick();
        QVERIFY(w->ui.QrPopup && w->ui.QrPopup->isVisible());
        QCOMPARE(w->ui.QrPopup->Address(), w->Live().Address());
        QVERIFY(!w->ui.QrPopup->Image->pixmap().isNull());
        f.start();
        QCOMPARE(f.cell(kColRaw, 1), QString::number(100000));
        w->ui.LabLiveAddress->OnClick();
        QVERIFY(!w->ui.QrPopup->isVisible());

        // The dialog shows what is set; unticking stops the server.
        bool shownOn = false;
        int shownPort = 0;
        dialogs::SetDialogHandler([&](QDialog*) {
            shownOn = d->cbLive->isChecked();
            shownPort = d->seLivePort->value();
            d->cbLive->setChecked(false);
            return int(QDialog::Accepted);
        });
        w->ui.EinstellunGen1->trigger();
        QVERIFY(shownOn);
        QCOMPARE(shownPort, int(port));
        QVERIFY(!w->Live().Server());
        QVERIFY(!w->ui.LabLiveAddress->isVisible());
        QNetworkAccessManager nam;
        QCOMPARE(Fetch(nam, QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)), "GET", {}, {}, 3000).status, 0);
    }

    void aRaceTimedByKeys_reachesAnOpenEventStream()
    {
        const quint16 port = FreeTcpPort();
        writeLiveStore(1, port);
        MainWindowFixture f;
        QVERIFY(waitListening(f.w()));
        f.grid()->SetCells(0, 1, QStringLiteral("3"));
        f.grid()->SetCells(1, 1, QStringLiteral("Berg"));
        f.grid()->SetCells(0, 2, QStringLiteral("7"));
        f.grid()->SetCells(1, 2, QStringLiteral("<b>Müller</b> \"M.\""));
        f.grid()->SetRowCount(3);

        RawHttp stream(port);
        QVERIFY(stream.WaitConnected());
        stream.Send("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(stream.WaitFor([](const QByteArray& r) { return SseEvents(r).size() >= 1; }));

        f.start(); // Berg at 100000
        f.start(1000); // Müller at 101000
        QVERIFY(stream.WaitFor([](const QByteArray& r) {
            const QJsonObject o = heldAfter(r);
            return o["entries"].toArray().size() == 2 && o["running"].toBool();
        }));
        op::SelectRow(*f.w(), 2);
        f.stop(60000); // Müller: 60,00
        QVERIFY(stream.WaitFor([](const QByteArray& r) {
            return heldAfter(r)["entries"].toArray()[0].toObject()["state"] == "finished";
        }));
        const QJsonObject o = heldAfter(stream.Received());
        const QJsonArray entries = o["entries"].toArray();
        const QJsonObject first = entries[0].toObject();
        QCOMPARE(first["name"].toString(), QStringLiteral("<b>Müller</b> \"M.\""));
        QCOMPARE(first["number"].toString(), "7");
        QCOMPARE(first["time"].toString(), "1.00,00");
        QCOMPARE(first["runMs"].toInteger(), 60000);
        QCOMPARE(first["place"].toString(), "1");
        QCOMPARE(entries[1].toObject()["name"].toString(), "Berg");
        QCOMPARE(entries[1].toObject()["state"].toString(), "running");
        QCOMPARE(o["latest"].toArray(), QJsonArray({ 0 }));
        QCOMPARE(o["firstStart"].toString(), f.cell(kColStart, 2)); // Berg, now sorted below
        QVERIFY(!stream.Received().contains("<b>"));

        // ENDE: the clock stands in the stream as on the display.
        op::End(*f.w());
        QVERIFY(stream.WaitFor([](const QByteArray& r) { return !json(SseEvents(r).last())["running"].toBool(); }));
        QCOMPARE(json(SseEvents(stream.Received()).last())["raceMs"].toInteger(),
            f.w()->Race().ClockAt(platform::GetTickCount()).ms);
    }

    void aTakenPort_showsInTheHeaderBarWithoutABox_andTheRaceGoesOn()
    {
        auto squatter = std::make_unique<QTcpServer>();
        QVERIFY(squatter->listen(QHostAddress::Any, 0));
        const quint16 port = squatter->serverPort();
        writeLiveStore(1, port);
        dialogs::TakeShownMessages();
        MainWindowFixture f;
        QTRY_VERIFY_WITH_TIMEOUT(!f.w()->Live().Server()->Running(), 10000);
        auto* label = f.w()->ui.LabLiveAddress;
        QTRY_COMPARE(label->text(), QStringLiteral("Live: Port %1 belegt").arg(port));
        QVERIFY(label->isVisible());
        QCOMPARE(label->palette().color(QPalette::WindowText), ToQColor(clRed));
        QVERIFY(label->toolTip().contains(QStringLiteral("Ein anderes Programm benutzt den Port %1").arg(port)));
        QVERIFY(label->toolTip().contains(QStringLiteral("Die Zeitmessung läuft weiter")));
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
        // Readable in full in the header bar.
        QTRY_VERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
        const QByteArray shots = qgetenv("RENNZEIT_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            QVERIFY(f.w()->grab().save(QString::fromLocal8Bit(shots) + "/live-port-taken.png"));
        // The timing keys work on.
        f.start();
        f.start(500);
        op::SelectRow(*f.w(), 1);
        f.stop(2000);
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("2,50"));
        // Once the port is free, a click on the notice tries again.
        squatter.reset();
        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(waitListening(f.w()));
        QVERIFY(label->text().endsWith(QStringLiteral(":%1").arg(port)));
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        f.w()->Live().Configure(false, f.w()->Live().Port());
    }

    void cursorMovesAndLockoutEnds_publishNothing()
    {
        const quint16 port = FreeTcpPort();
        writeLiveStore(1, port);
        MainWindowFixture f;
        QVERIFY(waitListening(f.w()));
        for (int i = 1; i <= 4; ++i) {
            f.grid()->SetCells(0, i, QString::number(i));
            f.grid()->SetCells(1, i, QStringLiteral("Läufer %1").arg(i));
        }
        f.grid()->SetRowCount(5);
        f.start();
        f.start(500);
        RawHttp stream(port);
        QVERIFY(stream.WaitConnected());
        stream.Send("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(stream.WaitFor([](const QByteArray& r) { return SseEvents(r).size() >= 1; }));
        QTest::qWait(300);
        const qsizetype events = SseEvents(stream.Received()).size();

        // Arrow keys through the table and the start lockout's end: the
        // window refreshes its rows and buttons, spectators see nothing new.
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(f.grid(), i < 6 ? Qt::Key_Down : Qt::Key_Up);
            QCoreApplication::processEvents();
        }
        f.tick.advance(3000);
        f.w()->ui.TimerGesperrtStart->Fire();
        op::SelectRow(*f.w(), 3);
        QTest::qWait(300);
        QCOMPARE(SseEvents(stream.Received()).size(), events);

        // A stop is news.
        op::SelectRow(*f.w(), 1);
        f.stop(4000);
        QVERIFY(stream.WaitFor([events](const QByteArray& r) { return SseEvents(r).size() == events + 1; }));
        QVERIFY(json(SseEvents(stream.Received()).last()).contains("base"));
    }

    void theSlowestRunnersStop_amongTwoThousand_sendsLessThan2KB()
    {
        const quint16 port = FreeTcpPort();
        writeLiveStore(1, port);
        MainWindowFixture f(false, 2000000);
        QVERIFY(waitListening(f.w()));
        // The protocol of a race late in its course: 1,600 in, 400 still out
        // (an empty cell is written as a blank, as the program writes it).
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("lauf.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Nr.\tName\tStart\tZeit\tSplit\tPlatz\t*\t\r\n");
        for (int r = 1; r <= 2000; ++r) {
            const int run = 60000 + (r * 7919) % 600000;
            const QStringList cells { QString::number(r), QStringLiteral("Teilnehmer %1").arg(r),
                TimeOfDayText(QTime(10, 0).addSecs(r)), r <= 1600 ? RunTimeText(run, 2) : QStringLiteral(" "),
                RunTimeText(r * 1000, 2), r <= 1600 ? QStringLiteral(" ") : QStringLiteral("-"),
                QString::number(r <= 1600 ? run : 1000000 + r * 37) };
            file.write(cells.join(QLatin1Char('\t')).toUtf8() + "\t\r\n");
        }
        file.close();
        op::Load(*f.w(), file.fileName());
        TSortGrid* g = f.grid();
        QVERIFY(f.w()->Race().ClockAt(platform::GetTickCount()).running);
        RawHttp stream(port);
        QVERIFY(stream.WaitConnected());
        stream.Send("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(stream.WaitFor([](const QByteArray& r) { return heldAfter(r)["entries"].toArray().size() == 2000; }));
        QTest::qWait(300);
        const qsizetype before = stream.Received().size();
        const qsizetype events = SseEvents(stream.Received()).size();
        QVERIFY(before > 250 * 1000);

        // The first runner out comes in last, after fifteen minutes.
        op::SelectRow(*f.w(), g->FindRow(0, QStringLiteral("1601"), false));
        f.stop(0);
        QVERIFY(stream.WaitFor([events](const QByteArray& r) { return SseEvents(r).size() == events + 1; }));
        const QByteArray event = stream.Received().mid(before);
        QVERIFY2(event.size() < 2048, event.constData());
        const QJsonObject delta = json(SseEvents(stream.Received()).last());
        QCOMPARE(delta["changed"].toArray().size(), 1);
        QCOMPARE(delta["changed"].toArray()[0].toObject()["place"].toString(), "1601");
        QCOMPARE(heldAfter(stream.Received())["entries"].toArray().size(), 2000);
    }

    void spectatorWindow_showsTheClockAndTheLastFiveFinishers()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        QVERIFY(!w->ui.Anzeige);
        f.key(Qt::Key_F6);
        TAudienceWindow* a = w->ui.Anzeige;
        QVERIFY(a && a->isVisible());
        QCOMPARE(a->windowTitle(), QStringLiteral("Anzeige"));
        QCOMPARE(shownHundredths(a), 0);
        for (const auto& row : a->Rows)
            QCOMPARE(row[2]->text(), QString());

        // Seven entries started a second apart.
        for (int i = 1; i <= 7; ++i) {
            f.grid()->SetCells(0, i, QString::number(i));
            f.grid()->SetCells(1, i, QStringLiteral("Läufer %1").arg(i));
            f.start(i == 1 ? 0 : 1000);
        }
        f.tick.advance(10000); // race time 16 s
        a->ClockTick();
        QCOMPARE(shownHundredths(a), 1600);
        QVERIFY(a->Digits[DisplayTime::Seconds]->ColorOn() == clYellow);
        QVERIFY(a->Digits[DisplayTime::Minutes]->ColorOn() == TColor(0x404040));

        // Six stops half a second apart, each on the earliest-started running
        // entry; the third with the key pressed in the spectator window.
        op::SelectRow(*w, 1);
        for (int i = 1; i <= 6; ++i) {
            f.tick.advance(500);
            if (i == 3) {
                a->activateWindow();
                QTRY_VERIFY(a->isActiveWindow());
                QTest::keyClick(a, Qt::Key_F9);
                w->activateWindow();
                QTRY_VERIFY(w->isActiveWindow());
            } else {
                f.key(Qt::Key_F9);
            }
        }
        QTRY_COMPARE(rowTexts(a, 0).value(2), QStringLiteral("Läufer 6"));
        // Newest first; the later the start, the shorter the run.
        QCOMPARE(rowTexts(a, 0), QStringList({ "1", "6", QStringLiteral("Läufer 6"), "14,00" }));
        QCOMPARE(rowTexts(a, 1), QStringList({ "2", "5", QStringLiteral("Läufer 5"), "14,50" }));
        QCOMPARE(rowTexts(a, 4), QStringList({ "5", "2", QStringLiteral("Läufer 2"), "16,00" }));
        QCOMPARE(a->Rows[0][2]->palette().color(QPalette::WindowText), ToQColor(clLime));
        QCOMPARE(a->Rows[1][2]->palette().color(QPalette::WindowText), ToQColor(clYellow));

        // A name corrected in the table reaches the display when committed.
        TSortGrid* g = f.grid();
        const int row6 = g->FindRow(1, QStringLiteral("Läufer 6"));
        g->ScrollToCell(1, row6);
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->viewport()->mapFrom(g, g->CellRect(1, row6).center()));
        QTRY_VERIFY(g->EditorMode());
        QTest::keyClick(g->InplaceEditor(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(g->InplaceEditor(), QStringLiteral("Anna"));
        QTest::keyClick(g->InplaceEditor(), Qt::Key_Return);
        QTRY_COMPARE(rowTexts(a, 0).value(2), QStringLiteral("Anna"));

        // ENDE freezes the clock; the spectator digits stand with the display's.
        f.tick.advance(1234);
        w->ui.Clock->Fire();
        op::End(*w);
        f.tick.advance(5000);
        a->ClockTick();
        QCOMPARE(shownHundredths(a), 1900 + 123);
        QVERIFY(!w->Race().ClockAt(platform::GetTickCount()).running);

        // Reset: the display empties.
        f.answerNextDialog(mrYes);
        op::Reset(*w);
        a->ClockTick();
        QCOMPARE(shownHundredths(a), 0);
        QTRY_COMPARE(rowTexts(a, 0), QStringList({ "", "", "", "" }));

        // F6 in either window closes it again.
        a->activateWindow();
        QTRY_VERIFY(a->isActiveWindow());
        QTest::keyClick(a, Qt::Key_F6);
        QVERIFY(!a->isVisible());
        w->activateWindow();
        QTRY_VERIFY(w->isActiveWindow());
        f.key(Qt::Key_F6);
        QVERIFY(a->isVisible());
        f.key(Qt::Key_F6);
        QVERIFY(!a->isVisible());
    }

    void spectatorWindow_showsClassPlaces_andOneClassFromItsMenu()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        const char* classes[] = { "Damen", "Herren", "Damen", "Herren" };
        for (int i = 1; i <= 4; ++i) {
            f.grid()->SetCells(0, i, QString::number(i));
            f.grid()->SetCells(1, i, QStringLiteral("Läufer %1").arg(i));
            f.grid()->SetCells(7, i, QString::fromLatin1(classes[i - 1]));
            f.start(i == 1 ? 0 : 1000);
        }
        f.key(Qt::Key_F6);
        TAudienceWindow* a = w->ui.Anzeige;
        op::SelectRow(*w, 1);
        for (const int afterMs : { 5000, 1500, 700, 300 }) // 8,00, 8,50, 8,20 and 7,50 in start order
            f.stop(afterMs);
        // The newest first, with its class and class place; a disqualified
        // entry is no finisher.
        QTRY_COMPARE(fullRowTexts(a, 0), QStringList({ "1", "4", QStringLiteral("Läufer 4 · Herren"), "7,50" }));
        QCOMPARE(fullRowTexts(a, 1), QStringList({ "2", "3", QStringLiteral("Läufer 3 · Damen"), "8,20" }));
        op::SelectRow(*w, f.grid()->FindRow(1, QStringLiteral("Läufer 4")));
        QTest::keyClick(w, Qt::Key_3, Qt::ControlModifier);
        QTRY_COMPARE(fullRowTexts(a, 0).value(1), QStringLiteral("3"));

        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(10, 10), a->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(a, &menu);
        QAction* damen = nullptr;
        for (QAction* action : a->ContextMenu->actions())
            if (action->text() == QStringLiteral("Nur Damen"))
                damen = action;
        QVERIFY(damen);
        a->ContextMenu->hide();
        damen->trigger();
        QCOMPARE(a->ClassFilter(), QStringLiteral("Damen"));
        QCOMPARE(a->Caption->text(), QStringLiteral("Zuletzt im Ziel – Damen"));
        QCOMPARE(fullRowTexts(a, 0), QStringList({ "2", "3", QStringLiteral("Läufer 3"), "8,20" }));
        QCOMPARE(fullRowTexts(a, 1), QStringList({ "1", "1", QStringLiteral("Läufer 1"), "8,00" }));
        QCOMPARE(fullRowTexts(a, 2), QStringList({ "", "", "", "" }));
        a->close();
    }

    void spectatorWindow_fullScreenWithF11_andTheAddressWhenLive()
    {
        const quint16 port = FreeTcpPort();
        writeLiveStore(1, port);
        MainWindowFixture f;
        QVERIFY(waitListening(f.w()));
        f.w()->ui.mAnzeige->trigger();
        TAudienceWindow* a = f.w()->ui.Anzeige;
        QVERIFY(!a->isFullScreen()); // one screen: a window beside the race
        QCOMPARE(a->Address(), f.w()->Live().Address());
        QVERIFY(a->QrImage->isVisible());
        QCOMPARE(a->QrCaption->text(), f.w()->Live().Address());
        a->activateWindow();
        QTRY_VERIFY(a->isActiveWindow());
        QTest::keyClick(a, Qt::Key_F11);
        QTRY_VERIFY(a->isFullScreen());
        QTest::keyClick(a, Qt::Key_Escape);
        QTRY_VERIFY(!a->isFullScreen());
        f.w()->activateWindow();
        QTRY_VERIFY(f.w()->isActiveWindow());
        // F11 in the race window stays the start barrier's lock.
        const int lock = f.w()->ui.ImageLSstart->Tag;
        f.key(Qt::Key_F11);
        QCOMPARE(f.w()->ui.ImageLSstart->Tag, lock ^ 1);
        QVERIFY(!a->isFullScreen());
    }

    // The race's title, typed into the settings dialog, heads the live
    // results, the spectator window and the results page, and is stored; an
    // emptied title gives every output the program's name again.
    void raceTitle_setThroughTheDialog_headsEveryOutput()
    {
        const quint16 port = FreeTcpPort();
        writeLiveStore(1, port);
        MainWindowFixture f;
        TFormMain* w = f.w();
        QVERIFY(waitListening(w));
        f.key(Qt::Key_F6);
        TAudienceWindow* a = w->ui.Anzeige;
        QVERIFY(a && !a->LabTitle->isVisible());
        const QString title = QStringLiteral("Vereinsmeisterschaft Slalom 2027");
        f.grid()->SetCells(0, 1, QStringLiteral("3"));
        f.grid()->SetCells(1, 1, QStringLiteral("Berg"));
        f.start();
        const QString page = platform::OutputFolder() + QLatin1Char('/') + w->files.title + QStringLiteral(".html");
        w->ui.sbHTML->click();
        const QByteArray untitledPage = ReadFileBytes(page);
        QVERIFY(untitledPage.contains("<H5>Ergebnisse</H5>"));

        auto setTitle = [&](const QString& typed) {
            dialogs::SetDialogHandler([&](QDialog*) {
                w->ui.CfgDialog->eVeranstaltung->setText(typed);
                return int(QDialog::Accepted);
            });
            w->ui.EinstellunGen1->trigger();
        };
        setTitle(QStringLiteral("  Vereinsmeisterschaft  Slalom 2027 "));
        QNetworkAccessManager nam;
        const QUrl results(QStringLiteral("http://127.0.0.1:%1/results.json").arg(port));
        QTRY_COMPARE(json(Fetch(nam, results, "GET", {}, {}, 3000).body)["title"].toString(), title);
        QVERIFY(a->LabTitle->isVisible());
        QCOMPARE(a->LabTitle->text(), title);
        QVERIFY(a->LabTitle->geometry().bottom() < a->Digits[0]->geometry().top());
        QCOMPARE(w->CurrentSettings().event.title, title); // what the exit stores
        w->ui.sbHTML->click();
        const QByteArray titled = ReadFileBytes(page);
        QVERIFY2(titled.contains("<H1>" + title.toLatin1() + "</H1>"), titled.left(900).constData());
        QVERIFY(titled.contains("<H5>Ergebnisse vom " + QDate::currentDate().toString("dd.MM.yyyy").toLatin1()));

        // The dialog shows it again; emptied, the outputs are as before.
        QString shown;
        dialogs::SetDialogHandler([&](QDialog*) {
            shown = w->ui.CfgDialog->eVeranstaltung->text();
            w->ui.CfgDialog->eVeranstaltung->clear();
            return int(QDialog::Accepted);
        });
        w->ui.EinstellunGen1->trigger();
        QCOMPARE(shown, title);
        QTRY_COMPARE(json(Fetch(nam, results, "GET", {}, {}, 3000).body)["title"].toString(), w->files.title);
        QVERIFY(!a->LabTitle->isVisible());
        w->ui.sbHTML->click();
        QCOMPARE(ReadFileBytes(page), untitledPage);
        f.w()->Live().Configure(false, f.w()->Live().Port());
    }

    // Place, number and time take what their texts need; the name gets the
    // rest of the line and is shortened, with the whole name as its tooltip,
    // only where it does not fit.
    void spectatorWindow_givesNamesTheWholeLine()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.key(Qt::Key_F6);
        TAudienceWindow* a = w->ui.Anzeige;
        a->resize(900, 600);
        const QString longName = QStringLiteral("Läuferin Nummer Sieben");
        const QString endless = QString(QStringLiteral("Sehrlangername")).repeated(12);
        f.grid()->SetCells(0, 1, QStringLiteral("7"));
        f.grid()->SetCells(1, 1, longName);
        f.start();
        f.grid()->SetCells(0, 2, QStringLiteral("8"));
        f.grid()->SetCells(1, 2, endless);
        f.start(1000);
        op::SelectRow(*w, 1);
        f.stop(5000);
        f.stop(1000);
        QTRY_VERIFY(!a->Rows[1][2]->text().isEmpty());
        const size_t fits = a->Rows[0][2]->text() == longName ? 0 : 1;
        const auto& fitting = a->Rows[fits];
        const auto& cut = a->Rows[1 - fits];
        QCOMPARE(fitting[2]->text(), longName);
        QVERIFY(fitting[2]->toolTip().isEmpty());
        QVERIFY2(fitting[2]->width() > a->width() / 2, qPrintable(QString::number(fitting[2]->width())));
        QVERIFY(fitting[2]->width() >= fitting[2]->fontMetrics().horizontalAdvance(longName));
        // Nothing of a row overlaps, and the time stays whole.
        for (size_t c = 0; c + 1 < fitting.size(); ++c)
            QVERIFY(fitting[c]->geometry().right() < fitting[c + 1]->geometry().left());
        QCOMPARE(fitting[3]->text(), f.cell(kColZeit, f.grid()->FindRow(1, longName)));
        // The name that does not fit ends in "…", whole in its tooltip.
        QVERIFY2(cut[2]->text().endsWith(QChar(0x2026)), qPrintable(cut[2]->text()));
        QCOMPARE(cut[2]->toolTip(), endless);
        QVERIFY(cut[3]->geometry().right() <= a->width());
    }

    // The results go to a real SSH server: nothing before the operator
    // accepted its key (Nein keeps it out of known_hosts), then the race's
    // results, the page and the printable page after each stop, and a server
    // that was away gets the newest within seconds of coming back.
    void upload_raceReachesAnSftpServer_afterItsKeyIsAccepted_andAfterAnOutage()
    {
        QString why;
        if (SshServer::Missing(&why))
            QSKIP(qPrintable(why));
        SshServer ssh;
        QVERIFY2(ssh.Start(), qPrintable(ssh.error()));
        const PrivateHome home;
        const QString knownHosts = upload::KnownHostsFile();
        const QByteArray keyBlob = ssh.HostKeyLine().split(' ').value(1);
        writeUploadStore(ssh.Address(), ssh.ClientKey());
        MainWindowFixture f;
        TFormMain* w = f.w();
        TClickLabel* label = w->ui.LabUpload;
        QTRY_VERIFY_WITH_TIMEOUT(w->Upload().Status().WaitsForHostKey(), 15000);
        QVERIFY(label->isVisible());
        QVERIFY(w->Upload().Failing());
        QVERIFY(!QFile::exists(ssh.Folder() + "/results.json"));

        dialogs::TakeShownMessages();
        dialogs::QueueAnswer(QMessageBox::No);
        label->OnClick();
        QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains(ssh.HostKeyFingerprint()), qPrintable(shown[0].text));
        QVERIFY(!ReadFileBytes(knownHosts).contains(keyBlob));
        QTest::qWait(500);
        QVERIFY(!QFile::exists(ssh.Folder() + "/results.json"));

        dialogs::QueueAnswer(QMessageBox::Yes);
        label->OnClick();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ssh.Folder() + "/index.html"), 15000);
        QVERIFY(ReadFileBytes(knownHosts).contains(keyBlob));

        f.start();
        stopARunner(f, 12340);
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("12,34"));
        QTRY_COMPARE_WITH_TIMEOUT(finishedIn(uploadedResults(ssh)), 1, 10000);
        const QJsonObject results = uploadedResults(ssh);
        QCOMPARE(results["entries"].toArray()[0].toObject()["time"].toString(), QStringLiteral("12,34"));
        QVERIFY(results.contains("timeOfDayMs"));
        // The page carries the same results, reads the file beside it and
        // allows nothing but itself.
        QTRY_VERIFY_WITH_TIMEOUT(ReadFileBytes(ssh.Folder() + "/index.html").contains("\"time\":\"12,34\""), 10000);
        const QByteArray page = ReadFileBytes(ssh.Folder() + "/index.html");
        QVERIFY(page.contains("<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none';"));
        QVERIFY(page.contains("SOURCE = 'results.json'"));
        QVERIFY(page.contains("Stand"));
        const QByteArray printable = ReadFileBytes(ssh.Folder() + "/" + w->files.title + ".html");
        QVERIFY2(printable.contains("12.34"), printable.left(400).constData());
        QTRY_VERIFY(QRegularExpression("^Upload: \\d\\d:\\d\\d:\\d\\d ok$").match(label->text()).hasMatch());
        QVERIFY(!w->Upload().Failing());
        // No temporary name is left behind.
        for (const QString& name : QDir(ssh.Folder()).entryList(QDir::Files | QDir::Hidden))
            QVERIFY2(!name.startsWith('.'), qPrintable(name));

        // Away while the race goes on; the header says so in red.
        ssh.Stop();
        f.start();
        stopARunner(f, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(w->Upload().Failing(), 15000);
        // The header follows the link's state on its next refresh.
        QTRY_VERIFY2_WITH_TIMEOUT(label->text().contains("lehnt die Verbindung ab"), qPrintable(label->text()), 5000);
        f.start();
        stopARunner(f, 3000);
        QCOMPARE(finishedIn(uploadedResults(ssh)), 1);
        QVERIFY2(ssh.Start(), qPrintable(ssh.error()));
        QElapsedTimer back;
        back.start();
        QTRY_COMPARE_WITH_TIMEOUT(finishedIn(uploadedResults(ssh)), 3, 15000);
        qInfo("the newest results arrived %lld ms after the server came back", back.elapsed());
        QTRY_VERIFY_WITH_TIMEOUT(!w->Upload().Failing(), 10000);
    }

    // STOPP while the server took the connection and then fell silent: the
    // table has the stop when the key returns, long before any network limit.
    void upload_serverThatHangs_neverHoldsUpTheStop()
    {
        QTcpServer hung; // the kernel completes the handshake; nobody answers
        QVERIFY(hung.listen(QHostAddress::LocalHost, 0));
        const PrivateHome home;
        const QString key = home.Path() + "/id_ed25519";
        QString output;
        QVERIFY2(RunTool("/usr/bin/ssh-keygen", { "-q", "-t", "ed25519", "-N", "", "-f", key }, &output),
            qPrintable(output));
        writeUploadStore(
            QStringLiteral("sftp://%1@127.0.0.1:%2/site/").arg(SshServer::User()).arg(hung.serverPort()), key);
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.start();
        QTRY_VERIFY_WITH_TIMEOUT(w->Upload().Status().sending, 10000);
        for (int n = 1; n <= 5; ++n)
            f.start(100);
        auto stopped = [&f] {
            int count = 0;
            for (int r = 1; r <= 6; ++r)
                count += f.cell(kColZeit, r).isEmpty() ? 0 : 1;
            return count;
        };
        QElapsedTimer clock;
        for (int n = 1; n <= 6; ++n) {
            clock.start();
            stopARunner(f, 1000);
            const qint64 took = clock.elapsed();
            QCOMPARE(stopped(), n);
            // The connection limit is 15 s: a stop that waited for the
            // network would take that long.
            QVERIFY2(took < 2000, qPrintable(QString::number(took)));
            QTest::qWait(300); // the publish step runs, as between real stops
        }
        QVERIFY(w->Upload().Status().sending);
    }

    // The settings dialog keeps the address and the key file, refuses an
    // address it cannot read, and its button tries the target in words,
    // asking before it trusts a server key.
    void upload_settingsDialogTriesTheTarget_andAsksBeforeTrustingItsKey()
    {
        QString why;
        if (SshServer::Missing(&why))
            QSKIP(qPrintable(why));
        SshServer ssh;
        QVERIFY2(ssh.Start(), qPrintable(ssh.error()));
        const PrivateHome home;
        const QString knownHosts = upload::KnownHostsFile();
        MainWindowFixture f;
        TFormMain* w = f.w();
        TCfgDialog* d = w->ui.CfgDialog;
        QVERIFY(!w->ui.LabUpload->isVisible());
        bool okWithBadAddress = true;
        QString badText, refusedText, triedText;
        QStringList leftBehind { "not tried" };
        auto waitForAnswer = [d] {
            if (!QTest::qWaitFor([d] { return d->bUploadTry->isEnabled(); }, 20000))
                return QStringLiteral("no answer in 20 s");
            return d->LabUploadResult->text();
        };
        dialogs::SetDialogHandler([&](QDialog*) {
            d->eUploadUrl->setText(QStringLiteral("scp://verein.example/"));
            d->setResult(QDialog::Rejected);
            d->OKBtn->click();
            okWithBadAddress = d->result() == QDialog::Accepted;
            badText = d->LabUploadResult->text();
            d->eUploadUrl->setText(ssh.Address());
            d->eUploadKey->setText(ssh.ClientKey());
            dialogs::QueueAnswer(QMessageBox::No);
            d->bUploadTry->click();
            refusedText = waitForAnswer();
            dialogs::QueueAnswer(QMessageBox::Yes);
            d->bUploadTry->click();
            triedText = waitForAnswer();
            leftBehind = QDir(ssh.Folder()).entryList(QDir::Files | QDir::Hidden);
            return int(QDialog::Accepted);
        });
        w->ui.EinstellunGen1->trigger();
        QVERIFY(!okWithBadAddress);
        QVERIFY2(!badText.isEmpty() && d->LabUploadResult->isVisibleTo(d), qPrintable(badText));
        QVERIFY2(refusedText.contains("nicht angenommen"), qPrintable(refusedText));
        QVERIFY2(triedText.startsWith("Verbunden mit 127.0.0.1:"), qPrintable(triedText));
        QVERIFY(ReadFileBytes(knownHosts).contains(ssh.HostKeyLine().split(' ').value(1)));
        QCOMPARE(leftBehind, QStringList());

        QCOMPARE(w->Upload().Address(), ssh.Address());
        QCOMPARE(store().value("UploadUrl").toString(), ssh.Address());
        QCOMPARE(store().value("UploadKey").toString(), ssh.ClientKey());
        QVERIFY(w->ui.LabUpload->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ssh.Folder() + "/results.json"), 15000);

        // The dialog shows what is set; emptied, the upload is off.
        QString shownAddress;
        dialogs::SetDialogHandler([&](QDialog*) {
            shownAddress = d->eUploadUrl->text();
            d->eUploadUrl->clear();
            return int(QDialog::Accepted);
        });
        w->ui.EinstellunGen1->trigger();
        QCOMPARE(shownAddress, ssh.Address());
        QVERIFY(!w->Upload().Active());
        QVERIFY(!w->ui.LabUpload->isVisible());
        QCOMPARE(store().value("UploadUrl").toString(), QString());
    }

    void snapshot_followsLoadAndReset()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        op::Load(*w, TestDataPath(QStringLiteral("race.protocol.txt")));
        const race::Snapshot loaded = w->Live().TakeSnapshot();
        QVERIFY(!loaded.entries.empty());
        for (const race::SnapshotEntry& e : loaded.entries)
            QVERIFY(!e.number.isEmpty() || !e.name.isEmpty() || e.state != race::Race::RowState::Free);
        f.answerNextDialog(mrYes);
        op::End(*w);
        op::Reset(*w);
        const race::Snapshot cleared = w->Live().TakeSnapshot();
        QVERIFY(cleared.entries.empty());
        QCOMPARE(cleared.raceMs, 0);
        QVERIFY(cleared.firstStart.isEmpty());
    }
};

QTEST_MAIN(TestLive)
#include "tst_live.moc"
