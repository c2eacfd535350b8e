// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A real browser opens the live pages from the running server: headless
// Chromium, driven through its DevTools protocol, loads / and /display as a
// phone and a big screen would. The rendered documents show the results and
// the race clock (names with markup as plain text), the phone page keeps up
// with a race from the stream's deltas alone, and long names stay within the
// phone's screen.
#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "live/LiveServer.h"
#include "protocol/Columns.h"
#include "protocol/ResultGroups.h"
#include "race/Race.h"
#include "support/HttpProbe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace live;
using race::Snapshot;
using Entry = race::SnapshotEntry;
using EntryState = race::Race::RowState;

namespace {

// Headless Chromium with its DevTools protocol on a pipe (fds 3 and 4 of
// the browser, messages ended by NUL): no port, no extra library.
class Chromium {
public:
    Chromium() = default;
    Q_DISABLE_COPY_MOVE(Chromium)
    ~Chromium()
    {
        if (m_process.state() != QProcess::NotRunning) {
            call("Browser.close", {}, false, 3000);
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished();
            }
        }
        for (int fd : { m_toBrowser, m_fromBrowser })
            if (fd >= 0)
                ::close(fd);
    }

    bool Start(const QString& program)
    {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return false;
        m_process.setProgram(program);
        m_process.setArguments({ "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync", "--hide-scrollbars",
            "--remote-debugging-pipe", "--user-data-dir=" + m_profile.path(), "about:blank" });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        const int browserReads = in[0], browserWrites = out[1];
        m_process.setChildProcessModifier([browserReads, browserWrites] {
            // Out of the way first, then to 3 and 4 (dup2 clears close-on-exec).
            const int r = ::fcntl(browserReads, F_DUPFD, 10), w = ::fcntl(browserWrites, F_DUPFD, 10);
            ::dup2(r, 3);
            ::dup2(w, 4);
        });
        m_process.start();
        ::close(in[0]);
        ::close(out[1]);
        m_toBrowser = in[1];
        m_fromBrowser = out[0];
        if (!m_process.waitForStarted(30000))
            return false;
        const QJsonObject target = call("Target.createTarget", { { "url", "about:blank" } }, false);
        const QJsonObject attached = call("Target.attachToTarget",
            { { "targetId", target["result"]["targetId"].toString() }, { "flatten", true } }, false);
        m_session = attached["result"]["sessionId"].toString();
        return !m_session.isEmpty();
    }

    // Opens the address in a viewport of the given size (a phone: mobile).
    bool Open(const QString& url, int width, int height, bool mobile)
    {
        call("Emulation.setDeviceMetricsOverride",
            { { "width", width }, { "height", height }, { "deviceScaleFactor", 1 }, { "mobile", mobile } });
        call("Page.navigate", { { "url", url } });
        return WaitFor(QStringLiteral("document.readyState === 'complete' && location.href === '%1'").arg(url));
    }

    QJsonValue Eval(const QString& expression)
    {
        const QJsonObject r = call("Runtime.evaluate", { { "expression", expression }, { "returnByValue", true } });
        return r["result"]["result"]["value"];
    }

    bool WaitFor(const QString& condition, int timeoutMs = 20000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!Eval(condition).toBool()) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(50);
        }
        return true;
    }

    bool Screenshot(const QString& path)
    {
        const QJsonObject r = call("Page.captureScreenshot", { { "format", "png" } });
        QFile file(path);
        return file.open(QIODevice::WriteOnly)
            && file.write(QByteArray::fromBase64(r["result"]["data"].toString().toLatin1())) > 0;
    }

private:
    QJsonObject call(const QString& method, const QJsonObject& params, bool inPage = true, int timeoutMs = 30000)
    {
        QJsonObject message { { "id", ++m_id }, { "method", method }, { "params", params } };
        if (inPage)
            message["sessionId"] = m_session;
        const QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0';
        if (::write(m_toBrowser, bytes.constData(), static_cast<size_t>(bytes.size())) != bytes.size())
            return {};
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            for (qsizetype end = m_buffer.indexOf('\0'); end >= 0; end = m_buffer.indexOf('\0')) {
                const QJsonObject answer = QJsonDocument::fromJson(m_buffer.left(end)).object();
                m_buffer.remove(0, end + 1);
                if (answer["id"].toInt() == m_id)
                    return answer; // events between are of no interest here
            }
            pollfd p { m_fromBrowser, POLLIN, 0 };
            if (deadline.hasExpired() || ::poll(&p, 1, static_cast<int>(deadline.remainingTime())) <= 0)
                return {};
            char chunk[65536];
            const ssize_t n = ::read(m_fromBrowser, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            m_buffer.append(chunk, n);
        }
    }

    QTemporaryDir m_profile;
    QProcess m_process;
    int m_toBrowser = -1;
    int m_fromBrowser = -1;
    QByteArray m_buffer;
    int m_id = 0;
    QString m_session;
};

// The rows of the page's table as their cells' texts.
const QString kTableRows
    = QStringLiteral("JSON.stringify(Array.from(document.querySelectorAll('#rows tr')).map(function (tr) {"
                     "  return Array.from(tr.cells).map(function (td) { return td.textContent; }); }))");

QList<QStringList> rowsOf(const QJsonValue& value)
{
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(value.toString().toUtf8()).array()) {
        QStringList cells;
        for (const QJsonValue& cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

// The table a phone should show for results without classes: the entries
// in the order they come, a heading where finishers, runners (with their
// start) and those still waiting begin, entries with a status without one.
QList<QStringList> expectedRows(const QJsonObject& results)
{
    QList<QStringList> rows;
    QString kind;
    for (const QJsonValue& value : results["entries"].toArray()) {
        const QJsonObject e = value.toObject();
        const QString state = e["state"].toString(), status = e["status"].toString();
        const QString now = !status.isEmpty() ? "out" : state;
        if (now != kind && now != "out")
            rows << QStringList { now == "finished" ? QStringLiteral("Im Ziel")
                    : now == "running"              ? QStringLiteral("Unterwegs – gestartet um")
                                                    : QStringLiteral("Noch nicht gestartet") };
        kind = now;
        const QString first = now == "out" ? status : now == "finished" ? e["place"].toString() : QString();
        const QString last = now == "running" ? e["start"].toString()
            : now == "free"                   ? QString()
                                              : e["time"].toString();
        rows << QStringList { first, e["number"].toString(), e["name"].toString(), last };
    }
    return rows;
}

platform::Stamp at(platform::Tick tick)
{
    return { tick, QTime(10, 0).addMSecs(static_cast<int>(static_cast<std::uint32_t>(tick) % 3600000u)) };
}

// A race timed by the race's own rules: entries started a second apart,
// then stopped in the order the test chooses, ranked after every stop.
struct TimedRace {
    TCellStore store { protocol::kProtocolColCount, 2 };
    TStoreTable table { store };
    TSortOptions order;
    race::Race rules { table, order };
    int current = 1;
    platform::Tick now = 1000000;

    QStringList out; // numbers of the entries on the course
    QRandomGenerator random { 28 };

    explicit TimedRace(int entries)
    {
        order.SortCol = protocol::kColZeit;
        store.SetRowCount(entries + 1);
        for (int r = 1; r <= entries; ++r)
            store.SetRow(r, { QString::number(r), QStringLiteral("Teilnehmerin %1").arg(r) });
    }
    // The next `count` entries go out, a second apart.
    void start(int count)
    {
        for (int i = 0; i < count; ++i, now += 1000) {
            out << store.Cell(protocol::kColNr, current);
            current = rules.Start(current, at(now)).view.currentRow;
        }
    }
    // `count` runners picked at random come in, each up to `gapMs` after the last.
    void stopAtRandom(int count, int gapMs)
    {
        for (int i = 0; i < count; ++i) {
            const QString number = out.takeAt(random.bounded(static_cast<int>(out.size())));
            now += 1 + random.bounded(gapMs);
            for (int r = 1; r < store.RowCount(); ++r) {
                if (store.Cell(protocol::kColNr, r) == number)
                    current = rules.Stop(r, at(now)).view.currentRow;
            }
        }
    }
    std::shared_ptr<const Snapshot> snapshot() const
    {
        return std::make_shared<const Snapshot>(race::TakeSnapshot(rules, now, QStringLiteral("rennzeit"), {}));
    }
};

} // namespace

class TestLiveBrowser : public QObject {
    Q_OBJECT

    QString m_browser;
    std::unique_ptr<LiveServer> m_server;
    quint16 m_port = 0;
    std::unique_ptr<Chromium> m_chromium;

    QString url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }
    QJsonObject served()
    {
        QNetworkAccessManager nam;
        return QJsonDocument::fromJson(Fetch(nam, QUrl(url("/results.json"))).body).object();
    }

private slots:
    void initTestCase()
    {
        m_browser = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (m_browser.isEmpty())
            QSKIP("no chromium installed (scripts/install-deps.sh --tests installs it)");
        ServerOptions options;
        options.address = QHostAddress::LocalHost;
        m_server = std::make_unique<LiveServer>(options);
        QSignalSpy listening(m_server.get(), &LiveServer::Listening);
        m_server->Start(0);
        QVERIFY(listening.wait(10000));
        m_port = listening.first().first().value<quint16>();
        m_chromium = std::make_unique<Chromium>();
        QVERIFY2(m_chromium->Start(m_browser), "chromium did not start");
    }

    void cleanupTestCase() { m_chromium.reset(); }

    void resultsAndDisplay_showTheRankingAndTheClock()
    {
        auto s = std::make_shared<Snapshot>();
        s->title = QStringLiteral("rennzeit");
        s->running = false; // after ENDE: the clock stands
        s->raceMs = 3723040;
        s->firstStart = QStringLiteral("10:00.00,00");
        s->entries = {
            { "9", "<b>Anna</b> \"die Schnelle\"", "10:00.30,00", "59,80", "30,00", "1", EntryState::Finished,
                std::int64_t(59800), {}, {}, {}, {} },
            { "3", "Berg", "10:00.00,00", "1.05,12", "0,00", "2", EntryState::Finished, std::int64_t(65120), {}, {}, {},
                {} },
            { "7", QStringLiteral("Müller"), "10:01.00,00", {}, "1.00,00", "-", EntryState::Running, {}, {}, {}, {},
                {} },
            { "12", "Noch da", {}, {}, {}, {}, EntryState::Free, {}, {}, {}, {}, {} },
        };
        m_server->Publish(s);
        QVERIFY(m_chromium->Open(url("/"), 390, 844, true));
        QCOMPARE(rowsOf(m_chromium->Eval(kTableRows)),
            QList<QStringList>({ { "Im Ziel" }, { "1", "9", "<b>Anna</b> \"die Schnelle\"", "59,80" },
                { "2", "3", "Berg", "1.05,12" }, { QStringLiteral("Unterwegs – gestartet um") },
                { "", "7", QStringLiteral("Müller"), "10:01.00,00" }, { "Noch nicht gestartet" },
                { "", "12", "Noch da", "" } }));
        QCOMPARE(m_chromium->Eval("document.getElementById('clock').textContent").toString(), "1:02.03,04");
        QCOMPARE(
            m_chromium->Eval("document.getElementById('title').textContent").toString(), "Zeitenprotokoll rennzeit");
        QCOMPARE(m_chromium->Eval("document.querySelectorAll('#rows b').length").toInt(), 0);

        QVERIFY(m_chromium->Open(url("/display"), 1280, 720, false));
        QCOMPARE(m_chromium->Eval("document.querySelector('svg').getAttribute('aria-label')").toString(), "1:02.03,04");
        // Seven digits of seven segments each.
        QCOMPARE(m_chromium->Eval("document.querySelectorAll('polygon').length").toInt(), 49);
        // Anna finished last: 10:00:30 + 59,80 is after Berg's 10:00:00 + 1.05,12.
        QCOMPARE(rowsOf(m_chromium->Eval(kTableRows)),
            QList<QStringList>(
                { { "1", "9", "<b>Anna</b> \"die Schnelle\"", "59,80" }, { "2", "3", "Berg", "1.05,12" } }));
    }

    void thePhonePage_showsTheOrderItIsGiven_andSortsNothing()
    {
        // Whatever order the results come in is the order shown (the server
        // sends them as every output lists them): a page that sorted again
        // would put Anna first.
        auto s = std::make_shared<Snapshot>();
        s->title = QStringLiteral("rennzeit");
        s->entries = {
            { "7", QStringLiteral("Müller"), "10:01.00,00", {}, "1.00,00", "-", EntryState::Running, {}, {}, {}, {},
                {} },
            { "3", "Berg", "10:00.00,00", "1.05,12", "0,00", "2", EntryState::Finished, std::int64_t(65120), {}, {}, {},
                {} },
            { "9", "Anna", "10:00.30,00", "59,80", "30,00", "1", EntryState::Finished, std::int64_t(59800), {}, {}, {},
                {} },
            { "8", "Ohne", "10:02.00,00", "", "", "DNF", EntryState::Running, {}, {}, QStringLiteral("DNF"), {}, {} },
            { "5", "Spät", "10:03.00,00", {}, "3.00,00", "-", EntryState::Running, {}, {}, {}, {}, {} },
        };
        m_server->Publish(s);
        QVERIFY(m_chromium->Open(url("/"), 390, 844, true));
        QCOMPARE(rowsOf(m_chromium->Eval(kTableRows)),
            QList<QStringList>({ { QStringLiteral("Unterwegs – gestartet um") },
                { "", "7", QStringLiteral("Müller"), "10:01.00,00" }, { "Im Ziel" }, { "2", "3", "Berg", "1.05,12" },
                { "1", "9", "Anna", "59,80" }, { "DNF", "8", "Ohne", "" },
                { QStringLiteral("Unterwegs – gestartet um") }, { "", "5", QStringLiteral("Spät"), "10:03.00,00" } }));
    }

    void thePhonePage_keepsUpFromTheStreamAlone()
    {
        // Forty entries started a second apart, some stopped: the page loads
        // with these results and then gets only the stream's deltas.
        TimedRace race(44);
        race.start(40);
        race.stopAtRandom(10, 4000);
        m_server->Publish(race.snapshot());
        QVERIFY(m_chromium->Open(url("/"), 390, 844, true));
        QVERIFY(m_chromium->WaitFor("document.getElementById('live').textContent === 'live'"));
        for (int step = 0; step < 12; ++step) {
            race.stopAtRandom(1, 4000);
            if (step == 5)
                race.start(2); // two more go out
            m_server->Publish(race.snapshot());
            // The results come in the order every output lists them.
            const QJsonObject results = served();
            QStringList numbers, grouped;
            for (const QJsonValue& e : results["entries"].toArray())
                numbers << e["number"].toString();
            for (const protocol::ResultGroup& group : protocol::GroupResults(race.store, race.rules.ClassOrder()))
                for (const int r : group.rows)
                    grouped << race.store.Cell(protocol::kColNr, r);
            QCOMPARE(numbers, grouped);
            const QList<QStringList> expected = expectedRows(results);
            QDeadlineTimer deadline(5000);
            while (rowsOf(m_chromium->Eval(kTableRows)) != expected && !deadline.hasExpired())
                QTest::qWait(50);
            QVERIFY2(rowsOf(m_chromium->Eval(kTableRows)) == expected, qPrintable(QStringLiteral("step %1").arg(step)));
        }
        // Everything came by the stream: the page never asked for the results.
        QCOMPARE(m_chromium
                     ->Eval("performance.getEntriesByType('resource').filter(function (e) {"
                            "  return e.name.indexOf('/results.json') >= 0; }).length")
                     .toInt(),
            0);
        const QByteArray shots = qgetenv("RENNZEIT_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            QVERIFY(m_chromium->Screenshot(QString::fromLocal8Bit(shots) + "/live-phone-deltas.png"));
    }

    void withTimingStations_theRowsSayWhereEachStartWasTaken_andShowInterimTimes()
    {
        auto s = std::make_shared<Snapshot>();
        s->title = QStringLiteral("rennzeit");
        s->stations = QStringList { QStringLiteral("Start"), QStringLiteral("Zwischen1") };
        Entry berg { "3", "Berg", "10:00.00,00", "1.05,12", "0,00", "1", EntryState::Finished, std::int64_t(65120), {},
            {}, {}, {} };
        berg.startFrom = QStringLiteral("Start");
        berg.interim[0] = QStringLiteral("32,40");
        berg.interimMs[0] = 32400;
        // A runner known by number only: the line stands alone.
        Entry mueller { "7", QString(), "10:01.00,00", {}, "1.00,00", "-", EntryState::Running, {}, {}, {}, {}, {} };
        mueller.startFrom = QStringLiteral("Ziel");
        s->entries = { berg, mueller };
        race::AssignEntryIds(*s);
        m_server->Publish(s);
        QVERIFY(m_chromium->Open(url("/"), 390, 844, true));
        QVERIFY(m_chromium->WaitFor("document.getElementById('live').textContent === 'live'"));
        QCOMPARE(rowsOf(m_chromium->Eval(kTableRows)),
            QList<QStringList>({ { "Im Ziel" },
                { "1", "3", QStringLiteral("Berg – Start an Station Start · Zwischenzeit 1 32,40"), "1.05,12" },
                { QStringLiteral("Unterwegs – gestartet um") },
                { "", "7", QStringLiteral("Start im Ziel"), "10:01.00,00" } }));
        // The runner's interim time comes by the stream.
        auto later = std::make_shared<Snapshot>(*s);
        later->entries[1].interim[0] = QStringLiteral("30,05");
        later->entries[1].interimMs[0] = 30050;
        m_server->Publish(later);
        QVERIFY(m_chromium->WaitFor(
            "document.getElementById('rows').textContent.indexOf('Start im Ziel \u00b7 Zwischenzeit 1 30,05') >= 0"));
    }

    void longNames_stayWithinThePhonesScreen()
    {
        auto s = std::make_shared<Snapshot>();
        s->title = QStringLiteral("rennzeit");
        const QString huge(3000, QLatin1Char('W'));
        s->entries = {
            { "1", huge, "10:00.00,00", "59,80", "0,00", "1", EntryState::Finished, std::int64_t(59800), {}, {}, {},
                {} },
            { QString(40, QLatin1Char('9')), QStringLiteral("Anna"), "10:00.10,00", "1.00,00", "0,10", "2",
                EntryState::Finished, std::int64_t(60000), {}, {}, {}, {} },
            { "3", huge + " " + huge, "10:00.20,00", {}, "0,20", "-", EntryState::Running, {}, {}, {}, {}, {} },
        };
        m_server->Publish(s);
        QVERIFY(m_chromium->Open(url("/"), 390, 844, true));
        QCOMPARE(m_chromium->Eval("document.documentElement.scrollWidth").toInt(), 390);
        const int tallest = m_chromium
                                ->Eval("Math.max.apply(null, Array.from(document.querySelectorAll('#rows tr'))"
                                       ".map(function (tr) { return tr.getBoundingClientRect().height; }))")
                                .toInt();
        QVERIFY2(tallest > 0 && tallest <= 844 / 3, qPrintable(QString::number(tallest)));
        // The whole name is still there for anyone who copies it.
        QCOMPARE(m_chromium->Eval("document.querySelector('#rows td.nm').textContent.length").toInt(), 3000);
        const QByteArray shots = qgetenv("RENNZEIT_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            QVERIFY(m_chromium->Screenshot(QString::fromLocal8Bit(shots) + "/live-phone-long-names.png"));
    }

    // The screenshot the README names: a phone after a timed race of 2,000.
    void phoneScreenshot_ofARaceOfTwoThousand()
    {
        const QByteArray shots = qgetenv("RENNZEIT_SCREENSHOT_DIR");
        if (shots.isEmpty())
            QSKIP("RENNZEIT_SCREENSHOT_DIR is not set");
        TimedRace race(2000);
        race.start(2000);
        race.stopAtRandom(1500, 1000);
        m_server->Publish(race.snapshot());
        QVERIFY(m_chromium->Open(url("/"), 390, 844, true));
        QVERIFY(m_chromium->WaitFor("document.querySelectorAll('#rows tr').length === 2002"));
        QVERIFY(m_chromium->Screenshot(QString::fromLocal8Bit(shots) + "/live-phone-2000.png"));
    }

    void resultsPage_groupsByClass_statusesBelowTheRanked()
    {
        auto s = std::make_shared<Snapshot>();
        s->title = QStringLiteral("rennzeit");
        s->firstStart = QStringLiteral("10:00.00,00");
        s->classes = { QStringLiteral("Damen"), QStringLiteral("Herren") };
        const auto entry = [](const char* nr, const char* name, const char* time, const char* place, EntryState state,
                               const char* klasse, const char* status) {
            return Entry { nr, name, "10:01.00,00", time, "1.00,00", place, state, {}, QString::fromLatin1(klasse),
                QString::fromLatin1(status), {}, {} };
        };
        // In the results' order: class by class, the ranked, the others, then
        // DNF, DSQ, DNS.
        s->entries = {
            entry("1", "Anna", "10,00", "1", EntryState::Finished, "Damen", ""),
            entry("3", "Cora", "", "DNF", EntryState::Running, "Damen", "DNF"),
            entry("5", "Eva", "", "DNS", EntryState::Free, "Damen", "DNS"),
            entry("2", "Bert", "9,00", "1", EntryState::Finished, "Herren", ""),
            entry("6", "Fritz", "", "-", EntryState::Running, "Herren", ""),
            entry("4", "Dirk", "8,00", "DSQ", EntryState::Finished, "Herren", "DSQ"),
        };
        m_server->Publish(s);
        QVERIFY(m_chromium->Open(url("/"), 390, 844, true));
        // The classes in the start list's order, each under its name.
        QCOMPARE(rowsOf(m_chromium->Eval(kTableRows)),
            QList<QStringList>(
                { { "Damen" }, { "1", "1", "Anna", "10,00" }, { "DNF", "3", "Cora", "" }, { "DNS", "5", "Eva", "" },
                    { "Herren" }, { "1", "2", "Bert", "9,00" }, { QStringLiteral("unterwegs – gestartet um") },
                    { "", "6", "Fritz", "10:01.00,00" }, { "DSQ", "4", "Dirk", "8,00" } }));

        // Fritz's stop comes as a delta: his class's rows change in place and
        // its "unterwegs" heading goes.
        QVERIFY(m_chromium->WaitFor("document.getElementById('live').textContent === 'live'"));
        auto later = std::make_shared<Snapshot>(*s);
        Entry& fritz = later->entries[4];
        QCOMPARE(fritz.name, QStringLiteral("Fritz"));
        fritz.time = QStringLiteral("12,00");
        fritz.place = QStringLiteral("2");
        fritz.state = EntryState::Finished;
        m_server->Publish(later);
        const QList<QStringList> expected { { "Damen" }, { "1", "1", "Anna", "10,00" }, { "DNF", "3", "Cora", "" },
            { "DNS", "5", "Eva", "" }, { "Herren" }, { "1", "2", "Bert", "9,00" }, { "2", "6", "Fritz", "12,00" },
            { "DSQ", "4", "Dirk", "8,00" } };
        QDeadlineTimer deadline(5000);
        while (rowsOf(m_chromium->Eval(kTableRows)) != expected && !deadline.hasExpired())
            QTest::qWait(50);
        QCOMPARE(rowsOf(m_chromium->Eval(kTableRows)), expected);
    }
};

QTEST_GUILESS_MAIN(TestLiveBrowser)
#include "tst_livebrowser.moc"
