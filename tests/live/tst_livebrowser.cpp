// A real browser opens the live pages from the running server: headless
// Chromium loads / and /display and the rendered document shows the results
// and the race clock, names with markup as plain text.
#include "live/LiveServer.h"
#include "support/HeadlessChromium.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

using namespace live;
using race::Snapshot;
using Entry = race::SnapshotEntry;
using EntryState = race::Race::RowState;

namespace {

QString textOf(QString html)
{
    html.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    html.replace(QLatin1String("&lt;"), QLatin1String("<"));
    html.replace(QLatin1String("&gt;"), QLatin1String(">"));
    html.replace(QLatin1String("&quot;"), QLatin1String("\""));
    html.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return html.trimmed();
}

// The rows of the rendered table body: the texts of each row's cells.
QList<QStringList> tableRows(const QString& dom)
{
    const QString body = dom.section(QLatin1String("<tbody id=\"rows\">"), 1).section(QLatin1String("</tbody>"), 0, 0);
    QList<QStringList> rows;
    const QRegularExpression tr(QStringLiteral("<tr[^>]*>(.*?)</tr>"), QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression td(QStringLiteral("<td[^>]*>(.*?)</td>"), QRegularExpression::DotMatchesEverythingOption);
    for (const QRegularExpressionMatch& row : tr.globalMatch(body)) {
        QStringList cells;
        for (const QRegularExpressionMatch& cell : td.globalMatch(row.captured(1)))
            cells << textOf(cell.captured(1));
        rows << cells;
    }
    return rows;
}

} // namespace

class TestLiveBrowser : public QObject {
    Q_OBJECT

    QString m_browser;
    std::unique_ptr<LiveServer> m_server;
    quint16 m_port = 0;

    QString dumpDom(const QString& path)
    {
        return HeadlessChromiumDom(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
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
        auto s = std::make_shared<Snapshot>();
        s->title = QStringLiteral("rennzeit");
        s->running = false; // after ENDE: the clock stands
        s->raceMs = 3723040;
        s->firstStart = QStringLiteral("10:00.00,00");
        s->entries = {
            { "3", "Berg", "10:00.00,00", "1.05,12", "0,00", "2", EntryState::Finished, std::int64_t(65120) },
            { "9", "<b>Anna</b> \"die Schnelle\"", "10:00.30,00", "59,80", "30,00", "1", EntryState::Finished,
                std::int64_t(59800) },
            { "7", QStringLiteral("Müller"), "10:01.00,00", {}, "1.00,00", "-", EntryState::Running, {} },
            { "12", "Noch da", {}, {}, {}, {}, EntryState::Free, {} },
        };
        m_server->Publish(s);
        QSignalSpy listening(m_server.get(), &LiveServer::Listening);
        m_server->Start(0);
        QVERIFY(listening.wait(10000));
        m_port = listening.first().first().value<quint16>();
    }

    void resultsPage_showsTheRankingAndTheClock()
    {
        const QString dom = dumpDom(QStringLiteral("/"));
        QVERIFY2(!dom.isEmpty(), "chromium gave no document");
        QCOMPARE(tableRows(dom),
            QList<QStringList>({ { "Im Ziel" }, { "1", "9", "<b>Anna</b> \"die Schnelle\"", "59,80" },
                { "2", "3", "Berg", "1.05,12" }, { QStringLiteral("Unterwegs – gestartet um") },
                { "", "7", QStringLiteral("Müller"), "10:01.00,00" }, { "Noch nicht gestartet" },
                { "", "12", "Noch da", "" } }));
        QVERIFY(dom.contains(QLatin1String("<span id=\"clock\">1:02.03,04</span>")));
        QVERIFY(dom.contains(QLatin1String("<h1 id=\"title\">Zeitenprotokoll rennzeit</h1>")));
        QVERIFY(!dom.contains(QLatin1String("<b>Anna")));
    }

    void displayPage_showsTheClockAndTheLastFinishers()
    {
        const QString dom = dumpDom(QStringLiteral("/display"));
        QVERIFY2(!dom.isEmpty(), "chromium gave no document");
        QVERIFY(dom.contains(QLatin1String("aria-label=\"1:02.03,04\"")));
        // Seven digits of seven segments each.
        QCOMPARE(dom.count(QLatin1String("<polygon")), 49);
        // Anna finished last: 10:00:30 + 59,80 is after Berg's 10:00:00 + 1.05,12.
        QCOMPARE(tableRows(dom),
            QList<QStringList>(
                { { "1", "9", "<b>Anna</b> \"die Schnelle\"", "59,80" }, { "2", "3", "Berg", "1.05,12" } }));
    }
};

QTEST_GUILESS_MAIN(TestLiveBrowser)
#include "tst_livebrowser.moc"
