// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The results as the server hands them out: JSON fields and escaping, the
// last finishers, the pages around the JSON, the address and its QR code.
#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "live/LiveAddress.h"
#include "live/LiveJson.h"
#include "live/LivePages.h"
#include "live/QrCode.h"
#include "protocol/Columns.h"
#include "protocol/HtmlPage.h"
#include "race/Race.h"
#include "race/RaceSnapshot.h"
#include "support/HttpProbe.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <functional>

using namespace live;
using race::LastFinishers;
using race::Snapshot;
using Entry = race::SnapshotEntry;
using EntryState = race::Race::RowState;

namespace {

Entry finished(const QString& nr, const QString& name, const QString& start, const QString& time, qint64 runMs,
    const QString& place, const QString& split = QStringLiteral("0,00"))
{
    return Entry { nr, name, start, time, split, place, EntryState::Finished, runMs, {}, {}, {}, {} };
}

Entry running(const QString& nr, const QString& name, const QString& start)
{
    return Entry { nr, name, start, {}, QStringLiteral("0,00"), QStringLiteral("-"), EntryState::Running, {}, {}, {},
        {}, {} };
}

// A race as the table ranks it after every stop: finished entries by run
// time with their places, then the others as they stood.
struct MiniRace {
    Snapshot s;

    MiniRace(int runners, int waiting)
    {
        s.title = QStringLiteral("rennzeit");
        s.running = true;
        s.firstStart = QStringLiteral("10:00.00,00");
        for (int i = 0; i < runners + waiting; ++i) {
            const bool started = i < runners;
            s.entries.push_back({ QString::number(i + 1), QStringLiteral("Teilnehmer %1").arg(i + 1),
                started ? QStringLiteral("10:%1.%2,00")
                              .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(i % 60, 2, 10, QLatin1Char('0'))
                        : QString(),
                {}, started ? QStringLiteral("%1,00").arg(i % 60) : QString(),
                started ? QStringLiteral("-") : QString(), started ? EntryState::Running : EntryState::Free, {}, {}, {},
                {}, {} });
        }
        race::AssignEntryIds(s);
    }
    int indexOf(const QString& number) const
    {
        for (size_t i = 0; i < s.entries.size(); ++i)
            if (s.entries[i].number == number)
                return static_cast<int>(i);
        return -1;
    }
    // STOPP of the entry: its time, then the ranking and the places.
    void stop(int index, qint64 runMs)
    {
        Entry& e = s.entries[static_cast<size_t>(index)];
        e.state = EntryState::Finished;
        e.runMs = runMs;
        e.time = QStringLiteral("%1.%2,%3")
                     .arg(runMs / 60000)
                     .arg(runMs / 1000 % 60, 2, 10, QLatin1Char('0'))
                     .arg(runMs / 10 % 100, 2, 10, QLatin1Char('0'));
        std::stable_sort(s.entries.begin(), s.entries.end(), [](const Entry& a, const Entry& b) {
            const bool af = a.state == EntryState::Finished, bf = b.state == EntryState::Finished;
            return af != bf ? af : af && *a.runMs < *b.runMs;
        });
        int place = 0;
        for (size_t i = 0; i < s.entries.size() && s.entries[i].state == EntryState::Finished; ++i) {
            if (i == 0 || *s.entries[i - 1].runMs != *s.entries[i].runMs)
                place = static_cast<int>(i) + 1;
            s.entries[i].place = QString::number(place);
        }
        race::AssignEntryIds(s);
    }
};

QJsonObject parse(const Snapshot& s, std::uint64_t version = 1)
{
    const QByteArray json = ResultsJsonClock(s, s.takenAt, 3600000) + ResultsJsonBody(s, version);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning() << error.errorString() << json.left(400);
    return doc.object();
}

} // namespace

class TestLiveJson : public QObject {
    Q_OBJECT
private slots:
    void json_carriesEveryEntryWithStateAndRunTime()
    {
        Snapshot s;
        s.title = QStringLiteral("rennzeit");
        s.running = true;
        s.raceMs = 65230;
        s.firstStart = QStringLiteral("10:00.00,00");
        s.accuracy = 1;
        s.entries = { finished("3", "Berg", "10:00.00,00", "1.05,12", 65120, "1"),
            running("7", QStringLiteral("Müller"), "10:00.20,40"),
            Entry { "9", "Frei", {}, {}, {}, {}, EntryState::Free, {}, {}, {}, {}, {} } };
        race::AssignEntryIds(s);
        const QJsonObject o = parse(s, 42);
        QCOMPARE(o["version"].toInteger(), 42);
        QCOMPARE(o["title"].toString(), "rennzeit");
        QCOMPARE(o["running"].toBool(), true);
        QCOMPARE(o["firstStart"].toString(), "10:00.00,00");
        QCOMPARE(o["accuracy"].toInt(), 1);
        QCOMPARE(o["raceMs"].toInteger(), 65230);
        QCOMPARE(o["timeOfDayMs"].toInteger(), 3600000);
        QCOMPARE(o["colours"].toObject()["digit"].toString(), "#ffff00");
        const QJsonArray entries = o["entries"].toArray();
        QCOMPARE(entries.size(), 3);
        const QJsonObject first = entries[0].toObject();
        QCOMPARE(first.keys(),
            QStringList({ "class", "classPlace", "id", "name", "number", "overallPlace", "place", "runMs", "split",
                "start", "state", "status", "time" }));
        // Without classes the place is the overall place.
        QVERIFY(first["classPlace"].isNull());
        QCOMPARE(first["overallPlace"].toInt(), 1);
        QCOMPARE(o["classes"].toArray(), QJsonArray());
        QCOMPARE(first["number"].toString(), "3");
        QCOMPARE(first["time"].toString(), "1.05,12");
        QCOMPARE(first["state"].toString(), "finished");
        QCOMPARE(first["runMs"].toInteger(), 65120);
        QCOMPARE(entries[1].toObject()["state"].toString(), "running");
        QCOMPARE(entries[1].toObject()["name"].toString(), QStringLiteral("Müller"));
        QVERIFY(entries[1].toObject()["runMs"].isNull());
        QCOMPARE(entries[2].toObject()["state"].toString(), "free");
        QCOMPARE(o["latest"].toArray(), QJsonArray({ 0 }));
    }

    void json_withClasses_carriesClassStatusAndBothPlaces()
    {
        Snapshot s;
        s.firstStart = QStringLiteral("10:00.00,00");
        s.classes = { QStringLiteral("Damen"), QStringLiteral("Herren") };
        Entry anna = finished("1", "Anna", "10:00.00,00", "50,00", 50000, "1", "0,00"); // in at 50 s
        anna.klasse = QStringLiteral("Damen");
        anna.overall = QStringLiteral("2");
        Entry bert = finished("2", "Bert", "10:00.10,00", "45,00", 45000, "1", "10,00"); // 55 s
        bert.klasse = QStringLiteral("Herren");
        bert.overall = QStringLiteral("1");
        Entry cora = finished("3", "Cora", "10:00.20,00", "40,00", 40000, "DSQ", "20,00"); // 60 s, disqualified
        cora.klasse = QStringLiteral("Damen");
        cora.status = QStringLiteral("DSQ");
        s.entries = { anna, bert, cora };
        const QJsonObject o = parse(s);
        QCOMPARE(o["classes"].toArray(), QJsonArray({ "Damen", "Herren" }));
        const QJsonArray entries = o["entries"].toArray();
        const QJsonObject first = entries[0].toObject();
        QCOMPARE(first["class"].toString(), "Damen");
        QCOMPARE(first["status"].toString(), "");
        QCOMPARE(first["classPlace"].toInt(), 1);
        QCOMPARE(first["overallPlace"].toInt(), 2);
        const QJsonObject third = entries[2].toObject();
        QCOMPARE(third["status"].toString(), "DSQ");
        QCOMPARE(third["place"].toString(), "DSQ");
        QVERIFY(third["classPlace"].isNull() && third["overallPlace"].isNull());
        // A disqualified entry is no finisher; a class shows its own.
        QCOMPARE(o["latest"].toArray(), QJsonArray({ 1, 0 }));
        QCOMPARE(LastFinishers(s, 5, QStringLiteral("Damen")), std::vector<int>({ 0 }));
    }

    void json_clockMovesOnOnlyWhileTheRaceRuns()
    {
        Snapshot s;
        s.raceMs = 1000;
        s.running = true;
        const auto later = s.takenAt + std::chrono::milliseconds(2500);
        QVERIFY(ResultsJsonClock(s, later, 0).contains("\"raceMs\":3500"));
        s.running = false;
        QVERIFY(ResultsJsonClock(s, later, 0).contains("\"raceMs\":1000"));
    }

    void json_textsStayInertWhereverTheyLand()
    {
        const QString nasty
            = QStringLiteral("</script><b onclick=\"x\">Anna's</b> & \\ \n\t\x01\x7f \u2028\u2029 € \U0001F3C3 ßø");
        Snapshot s;
        s.title = nasty;
        s.entries = { running("1", nasty, "10:00.00,00") };
        const QByteArray body = ResultsJsonBody(s, 1);
        // Markup, line ends and controls never appear raw: the JSON is safe in a
        // script element and on one event-stream line.
        for (const char* raw : { "<", ">", "&", "'", "\n", "\r", "\t", "\x01", "\xE2\x80\xA8", "\xE2\x80\xA9" })
            QVERIFY2(!body.contains(raw), raw);
        QVERIFY(body.contains("\xF0\x9F\x8F\x83")); // a runner: four bytes of UTF-8
        const QJsonObject o = parse(s);
        QCOMPARE(o["title"].toString(), nasty);
        QCOMPARE(o["entries"].toArray()[0].toObject()["name"].toString(), nasty);

        // Half a surrogate pair is no character; it becomes the replacement.
        s.title = QString(QChar(0xD83C)) + QStringLiteral("x");
        QCOMPARE(parse(s)["title"].toString(), QStringLiteral("\uFFFDx"));
    }

    void snapshot_listsTheEntriesAsThePrintedResultsDo()
    {
        // A race with classes and statuses, timed by its own rules.
        TCellStore store(protocol::kClassColCount + 1, 9);
        TStoreTable table(store);
        TSortOptions order;
        order.SortCol = protocol::kColZeit;
        race::Race rules(table, order);
        const QStringList classes { "Herren", "Damen", "Herren", "Damen", "", "Herren", "Damen" };
        for (int r = 1; r <= 7; ++r) {
            store.SetRow(r, { QString::number(r), QStringLiteral("Teilnehmer %1").arg(r) });
            store.SetCell(protocol::kColKlasse, r, classes[r - 1]);
        }
        const auto at = [](int ms) { return platform::Stamp { ms, QTime(10, 0).addMSecs(ms) }; };
        int current = 1;
        for (int i = 0; i < 6; ++i)
            current = rules.Start(current, at(1000 * i)).view.currentRow;
        const auto rowOf = [&](const QString& number) {
            for (int r = 1; r < store.RowCount(); ++r)
                if (store.Cell(protocol::kColNr, r) == number)
                    return r;
            return -1;
        };
        for (const auto& [number, ms] : { std::pair { "3", 9000 }, { "1", 12000 }, { "2", 20000 }, { "5", 21000 } })
            rules.Stop(rowOf(number), at(ms));
        QVERIFY(rules.SetStatus(rowOf("4"), protocol::EntryStatus::DNF));
        QVERIFY(rules.SetStatus(rowOf("7"), protocol::EntryStatus::DNS));
        QVERIFY(rules.SetStatus(rowOf("3"), protocol::EntryStatus::DSQ));
        rules.RankRefresh(current);

        // The live results list the entries as the printed page does, and a
        // page that shows them as they come shows the same.
        const race::Snapshot snapshot = race::TakeSnapshot(rules, 30000, QStringLiteral("t"), {});
        QStringList live;
        for (const Entry& e : snapshot.entries)
            live << e.number;
        const protocol::PageTable page = protocol::PageTableOf(store, QStringLiteral("t"), rules.ClassOrder());
        QStringList printed; // the page's first column is the number
        for (int i = 0; i < page.rows.size(); ++i) {
            if (!page.headings.contains(i) && !page.rows[i].value(protocol::kColNr).isEmpty())
                printed << page.rows[i].value(protocol::kColNr);
        }
        QCOMPARE(live, printed);
        // Herren first (the start list's order): 1 placed, 6 running, 3 DSQ;
        // Damen: 2 before 4 (DNF) and 7 (DNS); 5 without a class last.
        QCOMPARE(live, QStringList({ "1", "6", "3", "2", "4", "7", "5" }));
    }

    void entryIds_surviveSortingAndStopping_andTellDuplicatesApart()
    {
        MiniRace race(5, 2);
        QHash<QString, QString> idOf; // number -> id
        for (const Entry& e : race.s.entries) {
            QCOMPARE(e.id.size(), 8);
            QVERIFY(!idOf.values().contains(e.id));
            idOf.insert(e.number, e.id);
        }
        // Stops reorder the table and write times and places: nobody's
        // identity changes with them.
        race.stop(race.indexOf("4"), 70000);
        race.stop(race.indexOf("2"), 65000);
        for (const Entry& e : race.s.entries)
            QCOMPARE(e.id, idOf[e.number]);
        // An entry that starts is another entry to spectators; an edited
        // name changes only an unstarted entry's identity.
        Entry& waiting = race.s.entries[static_cast<size_t>(race.indexOf("6"))];
        Entry& runner = race.s.entries[static_cast<size_t>(race.indexOf("5"))];
        runner.name = QStringLiteral("Neuer Name");
        waiting.start = QStringLiteral("10:05.00,00");
        race::AssignEntryIds(race.s);
        QCOMPARE(race.s.entries[static_cast<size_t>(race.indexOf("5"))].id, idOf["5"]);
        QVERIFY(race.s.entries[static_cast<size_t>(race.indexOf("6"))].id != idOf["6"]);

        // Duplicate start numbers: started at different times they are two
        // entries; the same number, name and no start twice are told apart by
        // their order, so identities stay unique.
        Snapshot twins;
        twins.entries = { running("9", "A", "10:00.00,00"), running("9", "B", "10:00.01,00"),
            Entry { "9", "C", {}, {}, {}, {}, EntryState::Free, {}, {}, {}, {}, {} },
            Entry { "9", "C", {}, {}, {}, {}, EntryState::Free, {}, {}, {}, {}, {} },
            running("9", "A", "10:00.00,00") };
        race::AssignEntryIds(twins);
        QStringList ids;
        for (const Entry& e : twins.entries)
            ids << e.id;
        QCOMPARE(ids.removeDuplicates(), 0);
        QCOMPARE(ids[3], ids[2] + "~2");
        QCOMPARE(ids[4], ids[0] + "~2");
        QVERIFY(ids[0] != ids[1]);
    }

    void contentVersion_changesOnlyWithWhatSpectatorsSee()
    {
        MiniRace race(4, 1);
        race.s.clockZero = 1000;
        const std::uint64_t before = race::ContentVersion(race.s);
        // A later moment of the same race: the running clock is not content.
        Snapshot later = race.s;
        later.raceMs += 5000;
        later.takenAt += std::chrono::seconds(5);
        QCOMPARE(race::ContentVersion(later), before);

        const QList<std::function<void(Snapshot&)>> changes {
            [](Snapshot& s) { s.entries[1].name += "x"; },
            [](Snapshot& s) { s.entries[0].place = "7"; },
            [](Snapshot& s) { std::swap(s.entries[0], s.entries[1]); },
            [](Snapshot& s) { s.entries.pop_back(); },
            [](Snapshot& s) { s.running = false; },
            [](Snapshot& s) { s.clockZero = 2000; },
            [](Snapshot& s) { s.accuracy = 1; },
            [](Snapshot& s) { s.colours.digit = "#ff0000"; },
            [](Snapshot& s) { s.title = "Kreismeisterschaft"; },
            [](Snapshot& s) { s.entries[2].runMs = 1; },
        };
        for (int i = 0; i < changes.size(); ++i) {
            Snapshot changed = race.s;
            changes[i](changed);
            QVERIFY2(race::ContentVersion(changed) != before, qPrintable(QString::number(i)));
        }
        // A clock that stands is content: its time shows.
        Snapshot stopped = race.s;
        stopped.running = false;
        Snapshot stoppedLater = stopped;
        stoppedLater.raceMs += 10;
        QVERIFY(race::ContentVersion(stopped) != race::ContentVersion(stoppedLater));
    }

    void deltas_turnTheOldResultsIntoTheNew()
    {
        // Random races: stops in random order, starts, removed and added rows,
        // edits, a sort by name, duplicates. Each delta applied to the earlier
        // results gives exactly the later ones.
        QRandomGenerator random(28);
        for (int round = 0; round < 40; ++round) {
            MiniRace race(30, 10);
            Snapshot before = race.s;
            for (int step = 0; step < 12; ++step) {
                Snapshot& s = race.s;
                const int kind = random.bounded(8);
                const int at = random.bounded(static_cast<int>(s.entries.size()));
                Entry& e = s.entries[static_cast<size_t>(at)];
                if (kind <= 2 && e.state == EntryState::Running) {
                    race.stop(at, 60000 + random.bounded(40) * 1000); // ties now and then
                } else if (kind == 3 && e.state == EntryState::Free) {
                    e.start = QStringLiteral("10:30.%1,00").arg(step, 2, 10, QLatin1Char('0'));
                    e.state = EntryState::Running;
                    e.place = "-";
                } else if (kind == 4) {
                    s.entries.erase(s.entries.begin() + at);
                } else if (kind == 5) {
                    s.entries.insert(s.entries.begin() + at,
                        Entry { e.number, "Neu", {}, {}, {}, {}, EntryState::Free, {}, {}, {}, {}, {} });
                } else if (kind == 6) {
                    e.name = QStringLiteral("<b>\"%1\"</b>").arg(step);
                } else {
                    std::stable_sort(s.entries.begin(), s.entries.end(),
                        [](const Entry& a, const Entry& b) { return a.name < b.name; });
                }
                race::AssignEntryIds(s);
                const QJsonObject held = parse(before, 100 + step);
                const QByteArray delta
                    = ResultsJsonClock(s, s.takenAt, 3600000) + DeltaJsonBody(before, 100 + step, s, 101 + step);
                const QJsonObject applied = ApplyLiveEvent(held, QJsonDocument::fromJson(delta).object());
                QJsonObject expected = parse(s, 101 + step);
                QVERIFY2(!applied.isEmpty(), delta.constData());
                QCOMPARE(applied["entries"], expected["entries"]);
                QCOMPARE(applied["latest"], expected["latest"]);
                expected.remove("entries");
                for (auto it = expected.begin(); it != expected.end(); ++it)
                    QCOMPARE(applied[it.key()], *it);
                before = s;
            }
        }
    }

    void aStopAmongTwoThousand_takesAFewHundredBytes()
    {
        // Half the field in, half still out: a runner who comes in fast moves
        // the place of every slower finisher, a slow one nobody's.
        MiniRace race(2000, 0);
        QRandomGenerator random(7);
        for (int i = 0; i < 1000; ++i)
            race.stop(race.indexOf(QString::number(2 * i + 1)), 60000 + random.bounded(600000));
        for (const qint64 runMs : { 60001, 659999, 300000 }) {
            const Snapshot before = race.s;
            race.stop(race.indexOf(QString::number(2 * static_cast<int>(runMs % 997) + 2)), runMs);
            const QByteArray delta = DeltaJsonBody(before, 1, race.s, 2);
            QVERIFY2(delta.size() < 1024, delta.constData());
            QVERIFY(ResultsJsonBody(race.s, 2).size() > 300 * 1000);
        }
    }

    void lastFinishers_newestFirstBySplitPlusRunTime()
    {
        Snapshot s;
        s.firstStart = "10:00.00,00";
        // Table order is by run time; finishing order is split plus run time.
        s.entries = {
            finished("1", "A", "10:00.00,00", "50,00", 50000, "1", "0,00"), // in at 50 s
            finished("2", "B", "10:00.30,00", "55,00", 55000, "2", "30,00"), // 85 s
            running("3", "C", "10:01.00,00"), finished("4", "D", "10:00.10,00", "1.00,00", 60000, "3", "10,00"), // 70 s
            finished("5", "E", "10:00.20,00", "1.10,00", 70000, "4", "20,00"), // 90 s
            finished("6", "F", "10:00.05,00", "1.20,00", 80000, "5", "5,00"), // 85 s, tie with B
            finished("7", "G", "10:00.01,00", "1.30,00", 90000, "6", "1,00"), // 91 s
        };
        QCOMPARE(LastFinishers(s, 5), std::vector<int>({ 6, 4, 1, 5, 3 }));
        QCOMPARE(LastFinishers(s, 2), std::vector<int>({ 6, 4 }));
        s.entries.resize(3);
        QCOMPARE(LastFinishers(s, 5), std::vector<int>({ 1, 0 }));
    }

    void lastFinishers_followTheTickNotTheClockOnTheWall()
    {
        Snapshot s;
        s.firstStart = "23:59.00,00";
        // Over midnight, and the wall clock set back an hour during the race:
        // by its time of day the last entry would have come in last, by the
        // tick it did not.
        s.entries = {
            finished("1", "Vor Mitternacht", "23:59.00,00", "1.30,00", 90000, "3", "0,00"), // in at 90 s
            finished("2", "Nach Mitternacht", "0:00.10,00", "40,00", 40000, "2", "1.10,00"), // 110 s
            finished("3", "Nach der Umstellung", "23:00.20,00", "20,00", 20000, "1", "1.20,00"), // 100 s
            finished("4", "Nachgetragen", "?", "??", 0, "4", "??"),
        };
        s.entries[3].runMs.reset();
        QCOMPARE(LastFinishers(s, 5), std::vector<int>({ 1, 2, 0, 3 }));

        // Whole-second splits that tie: the start's hundredths decide.
        Snapshot t;
        t.firstStart = "10:00.00,00";
        t.entries = { finished("5", "X", "10:00.05,70", "10", 10000, "1", "5"),
            finished("6", "Y", "10:00.05,20", "10", 10000, "1", "5") };
        QCOMPARE(LastFinishers(t, 5), std::vector<int>({ 0, 1 }));
        std::swap(t.entries[0].start, t.entries[1].start);
        QCOMPARE(LastFinishers(t, 5), std::vector<int>({ 1, 0 }));
    }

    void pages_embedTheResultsSafelyAndAllowOnlyTheirOwnScript()
    {
        for (Page page : { Page::Results, Page::Display, Page::Static }) {
            Snapshot s;
            s.entries = { running("1", "</script><script>alert(1)</script>", "10:00.00,00") };
            const QString title = QStringLiteral("<Club \"Süd\">");
            const QByteArray html = PageHtml(page, title, ResultsJsonClock(s, s.takenAt, 0) + ResultsJsonBody(s, 1));
            QVERIFY(!html.contains("<script>alert"));
            QVERIFY(!html.contains("<Club"));
            QVERIFY(html.contains(QStringLiteral("&lt;Club &quot;Süd&quot;&gt;").toUtf8()));
            // Exactly the data block and the page's own script.
            QCOMPARE(html.count("<script"), 2);
            QCOMPARE(html.count("</script>"), 2);
            // Nothing is loaded from elsewhere.
            for (const char* load : { "src=", "<link", "url(", "@import", "<iframe" })
                QVERIFY2(!html.contains(load), load);

            const QRegularExpression inline_(QStringLiteral("<script>(.*)</script>"),
                QRegularExpression::DotMatchesEverythingOption | QRegularExpression::InvertedGreedinessOption);
            const QString script = inline_.match(QString::fromUtf8(html)).captured(1);
            QVERIFY(!script.isEmpty());
            const QByteArray hash = QCryptographicHash::hash(script.toUtf8(), QCryptographicHash::Sha256).toBase64();
            const QByteArray policy = PagePolicy(page);
            QVERIFY2(policy.contains("script-src 'sha256-" + hash + "'"), policy.constData());
            QVERIFY(policy.startsWith("default-src 'none'"));
            // The copy for a web host brings its policy along and reads the
            // file beside it; the served pages get theirs as a header.
            const QByteArray meta = "<meta http-equiv=\"Content-Security-Policy\" content=\"" + policy + "\">";
            QCOMPARE(html.contains(meta), page == Page::Static);
            QCOMPARE(policy.contains("frame-ancestors"), page != Page::Static);
            if (page == Page::Static) {
                QVERIFY(script.contains("SOURCE = 'results.json', STREAM = ''"));
                QVERIFY(html.contains("<span class=\"cap\">Stand</span>"));
                QVERIFY(html.contains("<a href=\"results.json\">"));
                QVERIFY(!html.contains("id=\"clock\""));
            }
            // The page says how often it polls, in the same number it uses.
            const int poll = page == Page::Static ? kStaticPollMs : kPollMs;
            QVERIFY(script.contains(QStringLiteral("var POLL = %1,").arg(poll)));
            QVERIFY(script.contains("'alle ' + String(POLL / 1000)"));
        }
    }

    void address_prefersThePrivateNetworkOfARealInterface()
    {
        auto a = [](const char* ip, bool wired, bool up = true, bool loopback = false) {
            return InterfaceAddress { QHostAddress(QString::fromLatin1(ip)), wired, up, loopback };
        };
        QCOMPARE(PickLanAddress({ a("127.0.0.1", false, true, true), a("169.254.3.4", true), a("fe80::1", true),
                     a("93.184.216.34", true), a("172.17.0.1", false), a("192.168.178.23", true),
                     a("10.0.0.5", true, false) }),
            QHostAddress("192.168.178.23"));
        QCOMPARE(PickLanAddress({ a("93.184.216.34", true), a("172.17.0.1", false) }), QHostAddress("172.17.0.1"));
        QVERIFY(PickLanAddress({ a("127.0.0.1", false, true, true) }).isNull());
        QCOMPARE(LiveUrl(QHostAddress("10.1.2.3"), 8080), "http://10.1.2.3:8080/");
    }

    void qr_hasItsFinderPatternsInThreeCorners()
    {
        const QrCode code = EncodeQr(QStringLiteral("http://192.168.178.23:8080/"));
        QVERIFY(code.size >= 21);
        QCOMPARE(static_cast<int>(code.dark.size()), code.size * code.size);
        // Each finder: a dark 7 x 7 ring, a light ring, a dark 3 x 3 core.
        for (auto [ox, oy] : { std::pair { 0, 0 }, std::pair { code.size - 7, 0 }, std::pair { 0, code.size - 7 } }) {
            for (int y = 0; y < 7; ++y) {
                for (int x = 0; x < 7; ++x) {
                    const bool ring = x == 0 || y == 0 || x == 6 || y == 6;
                    const bool core = x >= 2 && x <= 4 && y >= 2 && y <= 4;
                    QCOMPARE(code.Dark(ox + x, oy + y), ring || core);
                }
            }
        }
        QCOMPARE(EncodeQr(QString()).size, 0);
    }
};

QTEST_GUILESS_MAIN(TestLiveJson)
#include "tst_livejson.moc"
