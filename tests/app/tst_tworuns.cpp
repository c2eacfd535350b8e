// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindowFixture.h"

#include "app/NoteBar.h"
#include "dialogs/Cfg.h"
#include "live/LiveJson.h"
#include "platform/Settings.h"
#include "platform/SettingsStore.h"
#include "protocol/Columns.h"
#include "protocol/HtmlPage.h"
#include "protocol/ProtocolFiles.h"
#include "protocol/ResultsCsv.h"
#include "race/RaceSnapshot.h"
#include "race/RaceText.h"

#include <QComboBox>
#include <QMenu>
#include <QSpinBox>

using namespace protocol;

namespace {

// The settings store of the program under test, with a race of two runs.
void storeTwoRuns(int reverse, int scoring = 0)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle());
    s.setValue("Runs", 2);
    s.setValue("RunsReverse", reverse);
    s.setValue("RunsScoring", scoring);
}

struct Entry {
    const char* nr;
    const char* name;
    const char* klasse;
};

// Numbers, names and classes into the table, one entry a row.
void fill(MainWindowFixture& f, const std::vector<Entry>& entries)
{
    TSortGrid& grid = *f.grid();
    grid.SetRowCount(static_cast<int>(entries.size()) + 1);
    for (size_t i = 0; i < entries.size(); ++i) {
        const int r = static_cast<int>(i) + 1;
        grid.SetCells(kColNr, r, QString::fromLatin1(entries[i].nr));
        grid.SetCells(kColName, r, QString::fromLatin1(entries[i].name));
        grid.SetCells(kColKlasse, r, QString::fromLatin1(entries[i].klasse));
    }
    f.grid()->SetRow(1);
}

int rowOf(MainWindowFixture& f, const QString& nr)
{
    for (int r = 1; r < f.grid()->RowCount(); ++r)
        if (f.cell(kColNr, r) == nr)
            return r;
    return -1;
}

QStringList numbers(MainWindowFixture& f)
{
    QStringList list;
    for (int r = 1; r < f.grid()->RowCount(); ++r)
        if (!f.cell(kColNr, r).isEmpty())
            list << f.cell(kColNr, r);
    return list;
}

// Starts every entry in the table's order a second apart, then stops them in
// the order given, each `times` apart: the entries of a run one after the
// other on the course.
void runAll(MainWindowFixture& f, const QStringList& order, const std::vector<int>& runMs)
{
    for (const QString& nr : order) {
        f.grid()->SetRow(rowOf(f, nr));
        f.start(1000);
    }
    // The stops come in the order of the starts; each takes its time.
    const int started = 1000 * static_cast<int>(order.size());
    int elapsed = 0;
    for (qsizetype i = 0; i < order.size(); ++i) {
        const int finish = 1000 * static_cast<int>(i + 1) + runMs[static_cast<size_t>(i)];
        f.tick.advance(finish - started - elapsed);
        elapsed = finish - started;
        f.grid()->SetRow(rowOf(f, order[i]));
        f.key(Qt::Key_F9);
    }
}

} // namespace

class TestTwoRuns : public QObject {
    Q_OBJECT
private slots:
    void init() { ClearSettingsStore(); }

    void settings_areReadWithinTheirRanges_andEditedInTheDialogUntilTheRaceRuns()
    {
        const QString title = QStringLiteral("rennzeit-tworuns-test");
        const auto read = [&](int runs, int reverse, int scoring) {
            {
                QSettings s(QSettings::NativeFormat, QSettings::UserScope, title);
                s.clear();
                s.setValue("Runs", runs);
                s.setValue("RunsReverse", reverse);
                s.setValue("RunsScoring", scoring);
            }
            return settings::Read(platform::SettingsStore(title)).timing;
        };
        settings::Timing t = read(2, 0, 1);
        QCOMPARE(t.runs, 2);
        QCOMPARE(t.runsReverse, 0);
        QCOMPARE(t.runsScoring, 1);
        // Outside its range a value takes its default, the others stay.
        t = read(3, 1000, 2);
        QCOMPARE(t.runs, 1);
        QCOMPARE(t.runsReverse, 30);
        QCOMPARE(t.runsScoring, 0);
        t = read(0, -1, -1);
        QCOMPARE(t.runs, 1);
        QCOMPARE(t.runsReverse, 30);
        QCOMPARE(t.runsScoring, 0);
        {
            settings::Values v;
            v.timing.runs = 2;
            v.timing.runsReverse = 12;
            v.timing.runsScoring = 1;
            platform::SettingsStore store(title);
            settings::Write(store, v);
            store.flush();
        }
        t = settings::Read(platform::SettingsStore(title)).timing;
        QCOMPARE(t.runs, 2);
        QCOMPARE(t.runsReverse, 12);
        QCOMPARE(t.runsScoring, 1);
        QSettings(QSettings::NativeFormat, QSettings::UserScope, title).clear();

        TCfgDialog dialog(nullptr, 0);
        settings::Values v;
        v.timing.runs = 2;
        v.timing.runsReverse = 8;
        v.timing.runsScoring = 1;
        dialog.Load(v, false);
        QCOMPARE(dialog.cbRuns->currentText(), QStringLiteral("2"));
        QCOMPARE(dialog.seRunsReverse->value(), 8);
        QCOMPARE(dialog.cbRunsScoring->currentText(), QStringLiteral("Bester Lauf"));
        dialog.cbRuns->setCurrentIndex(0);
        dialog.seRunsReverse->setValue(999);
        dialog.cbRunsScoring->setCurrentIndex(0);
        QCOMPARE(dialog.Chosen().timing.runs, 1);
        QCOMPARE(dialog.Chosen().timing.runsReverse, 999);
        QCOMPARE(dialog.Chosen().timing.runsScoring, 0);
        // While the race clock runs they are greyed and keep their values.
        dialog.Load(v, true);
        QVERIFY(
            !dialog.cbRuns->isEnabled() && !dialog.seRunsReverse->isEnabled() && !dialog.cbRunsScoring->isEnabled());
        QVERIFY(!dialog.cbRuns->toolTip().isEmpty());
        dialog.cbRuns->setCurrentIndex(0);
        QCOMPARE(dialog.Chosen().timing.runs, 2);
    }

    void twoRuns_reversedStartList_run1BesideRun2_totalsWithSharedPlaces_savedAndLoadedBack()
    {
        storeTwoRuns(2);
        MainWindowFixture f;
        TFormMain* w = f.w();
        QCOMPARE(w->Race().Settings().runs, 2);
        fill(f,
            { { "1", "Anna", "" }, { "2", "Bert", "" }, { "3", "Carl", "" }, { "4", "Dora", "" },
                { "5", "Emil", "" } });

        // Run 1: 1 at 30 s, 2 at 31 s, 3 at 29 s, 4 gives up, 5 at 40 s.
        for (const char* nr : { "1", "2", "3", "4", "5" }) {
            f.grid()->SetRow(rowOf(f, QString::fromLatin1(nr)));
            f.start(1000);
        }
        QVERIFY(!w->Race().WhyNotRun2().isEmpty());
        // F7 while entries are on course asks nothing and says why.
        bool asked = false;
        dialogs::SetDialogHandler([&](QDialog*) {
            asked = true;
            return int(TFDlgYesNo::kResultYes);
        });
        f.key(Qt::Key_F7);
        QVERIFY(!asked);
        QCOMPARE(w->Race().Run(), 1);
        QVERIFY(w->ui.LabNotice->toolTip().contains(QStringLiteral("Noch auf der Strecke")));

        const auto stopAfter = [&](const char* nr, int runMs) {
            f.grid()->SetRow(rowOf(f, QString::fromLatin1(nr)));
            f.tick.advance(runMs);
            f.key(Qt::Key_F9);
        };
        // Starts at 1 s .. 5 s; the tick is at 5 s now.
        stopAfter("3", 29000 - 2000); // 3 started at 3 s: run 29 s at 32 s
        stopAfter("1", 1000); // 1 started at 1 s: stops at 33 s, run 32 s
        stopAfter("2", 1000); // 2 started at 2 s: stops at 34 s, run 32 s (tied with 1)
        f.grid()->SetRow(rowOf(f, "4"));
        QTest::keyClick(w, Qt::Key_2, Qt::ControlModifier); // DNF
        stopAfter("5", 11000); // 5 started at 5 s: stops at 45 s, run 40 s
        QCOMPARE(f.cell(kColZeit, rowOf(f, "3")), QStringLiteral("29,00"));
        QCOMPARE(f.cell(kColZeit, rowOf(f, "1")), QStringLiteral("32,00"));
        QCOMPARE(f.cell(kColZeit, rowOf(f, "2")), QStringLiteral("32,00"));
        QCOMPARE(f.cell(kColPlatz, rowOf(f, "4")), QStringLiteral("DNF"));

        // The context menu offers it once nobody is on course.
        emit w->ui.PopupMenuList->aboutToShow();
        QVERIFY(w->ui.PopupMenuList->actions().contains(w->ui.mRun2));
        QVERIFY(w->ui.mRun2->isEnabled());
        emit w->ui.PopupMenuList->aboutToHide();

        // Declined, nothing changes.
        f.answerNextDialog(TFDlgYesNo::kResultCancel);
        f.key(Qt::Key_F7);
        QVERIFY(f.shownDialogText.startsWith(QStringLiteral("2. Lauf beginnen?")));
        QCOMPARE(w->Race().Run(), 1);
        QCOMPARE(f.grid()->ColCount(), kTableColCount);

        f.answerNextDialog(TFDlgYesNo::kResultYes);
        w->ui.mRun2->trigger();
        QCOMPARE(w->Race().Run(), 2);
        // The best two reversed, with everyone tied on second place: 1 and 2
        // (tied, the later starter first), then 3; then 5; 4 left out last.
        QCOMPARE(numbers(f), QStringList({ "2", "1", "3", "5", "4" }));
        QCOMPARE(f.grid()->ColCount(), kRunsTableColCount);
        QCOMPARE(f.cell(kColLauf1, 0), QStringLiteral("Lauf 1"));
        QCOMPARE(f.cell(kColGesamtzeit, 0), QStringLiteral("Gesamtzeit"));
        QVERIFY(f.grid()->ColWidths(kColLauf1) > 0 && f.grid()->ColWidths(kColGesamtzeit) > 0);
        QCOMPARE(f.cell(kColLauf1, rowOf(f, "3")), QStringLiteral("29,00"));
        QCOMPARE(f.cell(kColZeit, rowOf(f, "3")), QString());
        // The race clock waits for run 2's first start.
        QVERIFY(!w->ui.Clock->Enabled());
        QCOMPARE(w->Race().ClockAt(platform::GetTickCount()).ms, 0);
        QCOMPARE(f.current(), 1);

        // Between the runs the live results are the start list of run 2.
        const race::Snapshot between = race::TakeSnapshot(w->Race(), platform::GetTickCount(), "t", {});
        QVERIFY(between.startList);
        const QByteArray betweenJson = live::ResultsJsonBody(between, 1);
        QVERIFY(betweenJson.contains("\"run\":2,\"startList\":true"));
        QVERIFY(betweenJson.contains("\"run1Ms\":29000"));
        QVERIFY(!betweenJson.contains("\"run2Ms\""));

        // Run 2: everyone starts in order; the one left out cannot.
        const platform::Tick run2Start = platform::GetTickCount() + 1000;
        for (const char* nr : { "2", "1", "3", "5" }) {
            f.grid()->SetRow(rowOf(f, QString::fromLatin1(nr)));
            f.start(1000);
        }
        QVERIFY(w->ui.Clock->Enabled());
        QCOMPARE(w->Race().ClockAt(run2Start + 500).ms, 500);
        f.grid()->SetRow(rowOf(f, "4"));
        QVERIFY(!w->Race().Startable(rowOf(f, "4")));
        // The live results show a runner on course with run 1.
        const race::Snapshot running = race::TakeSnapshot(w->Race(), platform::GetTickCount(), "t", {});
        QVERIFY(!running.startList);
        const auto entry = [](const race::Snapshot& s, const QString& nr) {
            for (const race::SnapshotEntry& e : s.entries)
                if (e.number == nr)
                    return e;
            return race::SnapshotEntry {};
        };
        QCOMPARE(entry(running, "1").state, race::Race::RowState::Running);
        QCOMPARE(entry(running, "1").run1, QStringLiteral("32,00"));
        // 2 started at 1 s, 1 at 2 s, 3 at 3 s, 5 at 4 s of run 2.
        stopAfter("2", 29000 - 4000 + 1000); // run 29 s: total 61 s
        stopAfter("1", 0); // started a second later: run 28 s: total 60 s
        stopAfter("3", 1000); // run 28 s: total 57 s
        stopAfter("5", 1000); // run 28 s: total 68 s
        QCOMPARE(f.cell(kColZeit, rowOf(f, "1")), QStringLiteral("28,00"));
        QCOMPARE(f.cell(kColGesamtzeit, rowOf(f, "3")), QStringLiteral("57,00"));
        QCOMPARE(f.cell(kColGesamtzeit, rowOf(f, "1")), RunTimeText(60000, 2));
        QCOMPARE(f.cell(kColPlatz, rowOf(f, "3")), QStringLiteral("1"));
        QCOMPARE(f.cell(kColPlatz, rowOf(f, "1")), QStringLiteral("2"));
        QCOMPARE(f.cell(kColPlatz, rowOf(f, "2")), QStringLiteral("3"));
        QCOMPARE(f.cell(kColPlatz, rowOf(f, "4")), QStringLiteral("DNF"));

        // The live results: the total place, both runs, the gap.
        const race::Snapshot done = race::TakeSnapshot(w->Race(), platform::GetTickCount(), "t", {});
        const QByteArray json = live::ResultsJsonBody(done, 2);
        QVERIFY(json.contains("\"run\":2,\"startList\":false"));
        QVERIFY(json.contains("\"place\":\"2\""));
        QVERIFY(json.contains("\"run1Ms\":32000,\"run2Ms\":28000,\"totalMs\":60000"));
        QVERIFY(json.contains("\"behind\":\"+3,00\""));

        // Every output carries both runs and the total.
        const QByteArray csv = ResultsCsvBytes(f.grid()->Store(), w->Race().ClassOrder());
        QVERIFY2(csv.startsWith("Nr.;Name;Start;Zeit;Split;Platz;*;Klasse;Status;Lauf 1;Platz 1;Status 1;Gesamtzeit"),
            csv.constData());
        QVERIFY(csv.contains(";\"29,00\";1;;\"57,00\"\r\n"));
        const QByteArray page = HtmlPageBytes(f.grid()->Store(), "t", w->Race().ClassOrder());
        QVERIFY(page.contains("Lauf 1") && page.contains("Gesamtzeit") && page.contains("<td>57.00"));

        // Saved and loaded again, the race is the same.
        const QByteArray saved = ProtocolTextBytes(f.grid()->Store());
        const QString file = QDir::temp().filePath(QStringLiteral("rennzeit-tworuns-%1.txt").arg(getpid()));
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(saved);
        }
        const auto cleanup = qScopeGuard([&] { QFile::remove(file); });
        f.answerNextDialog(TFDlgYesNo::kResultYes);
        op::Load(*w, file);
        QCOMPARE(f.grid()->ColCount(), kRunsTableColCount);
        QCOMPARE(f.cell(kColLauf1, rowOf(f, "3")), QStringLiteral("29,00"));
        QCOMPARE(f.cell(kColGesamtzeit, rowOf(f, "3")), QStringLiteral("57,00"));
        QCOMPARE(ProtocolTextBytes(f.grid()->Store()), saved);
        QCOMPARE(w->Race().Run(), 2);

        // A reset ends the race of two runs: the run columns go.
        f.answerNextDialog(TFDlgYesNo::kResultYes);
        w->ui.mReset->setEnabled(true);
        w->ui.mReset->trigger();
        QCOMPARE(f.grid()->ColCount(), kTableColCount);
        QCOMPARE(w->Race().Run(), 1);
    }

    void oneRunRace_keepsItsLiveResultsAndFiles()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        fill(f, { { "1", "Anna", "" }, { "2", "Bert", "" } });
        runAll(f, { "1", "2" }, { 30000, 31000 });
        emit w->ui.PopupMenuList->aboutToShow();
        QVERIFY(!w->ui.PopupMenuList->actions().contains(w->ui.mRun2));
        emit w->ui.PopupMenuList->aboutToHide();
        f.key(Qt::Key_F7);
        QCOMPARE(w->Race().Run(), 1);
        QCOMPARE(f.grid()->ColCount(), kTableColCount);
        const QByteArray json
            = live::ResultsJsonBody(race::TakeSnapshot(w->Race(), platform::GetTickCount(), "t", {}), 1);
        QVERIFY(!json.contains("\"run\"") && !json.contains("run1") && !json.contains("totalMs"));
        QCOMPARE(SavedColCount(f.grid()->Store()), kProtocolColCount);
        const QByteArray csv = ResultsCsvBytes(f.grid()->Store(), {});
        QVERIFY(!csv.contains("Lauf") && !csv.contains("Gesamtzeit"));
    }
};

QTEST_MAIN(TestTwoRuns)
#include "tst_tworuns.moc"
