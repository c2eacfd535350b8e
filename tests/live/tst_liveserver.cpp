// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The live-results server over real connections on 127.0.0.1: what it
// serves, what it refuses, its limits and its event stream.
#include "live/LiveServer.h"
#include "live/PeerLimits.h"
#include "platform/Sockets.h"
#include "support/HttpProbe.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimeZone>
#include <QtTest>

#include <zlib.h>

#include <unistd.h>

#include <memory>
#include <thread>
#include <vector>

using namespace live;
using race::Snapshot;
using Entry = race::SnapshotEntry;
using EntryState = race::Race::RowState;

namespace {

std::shared_ptr<const Snapshot> results(const QString& name = QStringLiteral("Berg"), bool secondFinished = false)
{
    auto s = std::make_shared<Snapshot>();
    s->title = QStringLiteral("rennzeit");
    s->running = true;
    s->raceMs = 90000;
    s->firstStart = QStringLiteral("10:00.00,00");
    s->entries.push_back({ "3", name, "10:00.00,00", "1.05,12", "0,00", "1", EntryState::Finished, std::int64_t(65120),
        {}, {}, {}, {} });
    Entry second { "7", QStringLiteral("Müller"), "10:00.20,40", {}, "0.20,40", "-", EntryState::Running, {}, {}, {},
        {}, {} };
    if (secondFinished) {
        second.time = QStringLiteral("1.02,00");
        second.place = QStringLiteral("1");
        second.state = EntryState::Finished;
        second.runMs = 62000;
    }
    s->entries.push_back(second);
    return s;
}

class Server {
public:
    explicit Server(ServerOptions options = {})
        : server(std::move(options))
    {
        server.Publish(results());
    }
    bool start(quint16 wanted = 0)
    {
        QSignalSpy listening(&server, &LiveServer::Listening);
        server.Start(wanted);
        if (!listening.wait(10000))
            return false;
        port = listening.first().first().value<quint16>();
        return true;
    }
    QUrl url(const QString& path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)); }

    LiveServer server;
    quint16 port = 0;
};

ServerOptions localOptions()
{
    ServerOptions o;
    o.address = QHostAddress::LocalHost;
    return o;
}

ServerOptions roomyOptions()
{
    // For the limits in total: one address may take them all.
    ServerOptions o;
    o.address = QHostAddress::LocalHost;
    o.maxConnectionsPerPeer = 1000;
    o.maxStreamsPerPeer = 1000;
    return o;
}

// Whether a Date value is an HTTP date (IMF-fixdate) of this moment.
bool isNow(const QByteArray& date)
{
    static const QRegularExpression form(QStringLiteral(
        "^(Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} "
        "\\d\\d:\\d\\d:\\d\\d GMT$"));
    QDateTime at
        = QLocale::c().toDateTime(QString::fromLatin1(date), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    at.setTimeZone(QTimeZone::utc());
    return form.match(QString::fromLatin1(date)).hasMatch() && at.isValid()
        && qAbs(at.secsTo(QDateTime::currentDateTimeUtc())) <= 60;
}

// The status of the first answer on a connection.
int statusOf(const QByteArray& answer)
{
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
}

// The same results with every name changed: a change spectators see in
// every entry.
std::shared_ptr<const Snapshot> renamed(const Snapshot& base, int round)
{
    auto s = std::make_shared<Snapshot>(base);
    for (Entry& e : s->entries)
        e.name += QStringLiteral(" %1").arg(round);
    return s;
}

// The data of a gzip member, with its CRC checked by zlib; empty on any error.
QByteArray Gunzip(const QByteArray& gz)
{
    z_stream z {};
    if (inflateInit2(&z, 16 + 15) != Z_OK)
        return {};
    QByteArray out(gz.size() * 20 + 1024, Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.constData()));
    z.avail_in = static_cast<uInt>(gz.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    out.resize(result == Z_STREAM_END && z.avail_in == 0 ? static_cast<qsizetype>(z.total_out) : 0);
    inflateEnd(&z);
    return out;
}

QJsonObject json(const QByteArray& body)
{
    return QJsonDocument::fromJson(body).object();
}

// Opens an event stream on a bare connection and waits for its first event.
std::unique_ptr<RawHttp> openStream(quint16 port)
{
    auto s = std::make_unique<RawHttp>(port);
    if (!s->WaitConnected())
        return nullptr;
    s->Send("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n");
    if (!s->WaitFor([](const QByteArray& r) { return !SseEvents(r).isEmpty(); }))
        return nullptr;
    return s;
}

} // namespace

class TestLiveServer : public QObject {
    Q_OBJECT
private slots:
    void pagesAndResults_areServedReadOnlyWithTheirTypes()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        QNetworkAccessManager nam;

        const HttpResult page = Fetch(nam, s.url("/"));
        QCOMPARE(page.status, 200);
        QVERIFY2(isNow(page.header("Date")), page.header("Date").constData());
        QCOMPARE(page.header("Content-Type"), "text/html; charset=utf-8");
        QVERIFY(page.header("Content-Security-Policy").startsWith("default-src 'none'"));
        QCOMPARE(page.header("X-Content-Type-Options"), "nosniff");
        QVERIFY(page.body.contains("<title>Zeitenprotokoll rennzeit</title>"));
        QVERIFY(page.body.contains("\"name\":\"Berg\""));

        const HttpResult display = Fetch(nam, s.url("/display"));
        QCOMPARE(display.status, 200);
        QVERIFY(display.body.contains("<title>Anzeige rennzeit</title>"));

        const HttpResult data = Fetch(nam, s.url("/results.json?since=1"));
        QCOMPARE(data.status, 200);
        QCOMPARE(data.header("Content-Type"), "application/json; charset=utf-8");
        const QJsonObject o = json(data.body);
        QCOMPARE(o["running"].toBool(), true);
        QCOMPARE(o["firstStart"].toString(), "10:00.00,00");
        QVERIFY(o["raceMs"].toInteger() >= 90000);
        const QJsonArray entries = o["entries"].toArray();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].toObject()["runMs"].toInteger(), 65120);
        QCOMPARE(entries[1].toObject()["name"].toString(), QStringLiteral("Müller"));
        QCOMPARE(entries[1].toObject()["state"].toString(), "running");

        // The same results answer a conditional request with 304.
        const HttpResult again
            = Fetch(nam, s.url("/results.json"), "GET", {}, { { "If-None-Match", data.header("ETag") } });
        QCOMPARE(again.status, 304);
        QVERIFY(again.body.isEmpty());
        QVERIFY(isNow(again.header("Date")));
        QVERIFY(isNow(Fetch(nam, s.url("/nope")).header("Date")));

        // HEAD: the headers of GET, no body.
        RawHttp raw(s.port);
        QVERIFY(raw.WaitConnected());
        raw.Send("HEAD /results.json HTTP/1.1\r\nHost: x\r\n\r\nGET /results.json HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(raw.WaitFor([](const QByteArray& r) { return r.count("HTTP/1.1 200 OK") == 2 && r.endsWith("]}"); }));
        const QByteArray headAnswer = raw.Received().left(raw.Received().indexOf("\r\n\r\n"));
        const QByteArray getAnswer = raw.Received().mid(headAnswer.size() + 4);
        QVERIFY(headAnswer.contains("Content-Type: application/json"));
        QVERIFY(headAnswer.contains("\r\nDate: "));
        QVERIFY(getAnswer.startsWith("HTTP/1.1 200 OK"));
        const qsizetype bodyAt = getAnswer.indexOf("\r\n\r\n") + 4;
        const QByteArray length = "Content-Length: " + QByteArray::number(getAnswer.size() - bodyAt);
        QVERIFY2(headAnswer.contains(length) && getAnswer.contains(length), headAnswer.constData());
    }

    void gzip_isWhatBrowsersAskFor()
    {
        Server s(localOptions());
        auto many = std::make_shared<Snapshot>(*results());
        for (int i = 0; i < 500; ++i)
            many->entries.push_back({ QString::number(100 + i), QStringLiteral("Teilnehmer %1").arg(i), "10:00.00,00",
                "1.00,00", "0,00", QString::number(3 + i), EntryState::Finished, std::int64_t(60000), {}, {}, {}, {} });
        s.server.Publish(many);
        QVERIFY(s.start());
        for (const QByteArray path : { "/results.json", "/", "/display" }) {
            RawHttp plain(s.port), zipped(s.port);
            QVERIFY(plain.WaitConnected() && zipped.WaitConnected());
            plain.Send("GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
            zipped.Send(
                "GET " + path + " HTTP/1.1\r\nHost: x\r\nAccept-Encoding: br, gzip;q=0.8\r\nConnection: close\r\n\r\n");
            QVERIFY(plain.WaitClosed() && zipped.WaitClosed());
            const QByteArray plainBody = plain.Received().mid(plain.Received().indexOf("\r\n\r\n") + 4);
            const QByteArray head = zipped.Received().left(zipped.Received().indexOf("\r\n\r\n"));
            const QByteArray zippedBody = zipped.Received().mid(head.size() + 4);
            QVERIFY(head.contains("Content-Encoding: gzip"));
            QVERIFY(head.contains("Content-Length: " + QByteArray::number(zippedBody.size())));
            if (path != "/display") // the display's page is small now
                QVERIFY2(zippedBody.size() * 4 < plainBody.size(), path.constData());
            // The same text but for the clock, which moved between the two answers.
            const QByteArray unzipped = Gunzip(zippedBody);
            const qsizetype tail = plainBody.indexOf("\"version\":");
            QVERIFY(tail > 0);
            QCOMPARE(unzipped.mid(unzipped.indexOf("\"version\":")), plainBody.mid(tail));
            QCOMPARE(
                unzipped.left(unzipped.indexOf("{\"raceMs\":")), plainBody.left(plainBody.indexOf("{\"raceMs\":")));
        }
        // A client that refuses gzip gets none.
        RawHttp refusing(s.port);
        QVERIFY(refusing.WaitConnected());
        refusing.Send(
            "GET /results.json HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip;q=0\r\nConnection: close\r\n\r\n");
        QVERIFY(refusing.WaitClosed());
        QVERIFY(!refusing.Received().contains("Content-Encoding"));
        // A browser reads it as JSON.
        QNetworkAccessManager nam;
        QCOMPARE(json(Fetch(nam, s.url("/results.json")).body)["entries"].toArray().size(), 502);
    }

    void otherMethodsAndPaths_areRefused()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        QNetworkAccessManager nam;
        for (const QByteArray verb : { "POST", "PUT", "DELETE", "PATCH", "OPTIONS", "BREW" }) {
            const HttpResult r = Fetch(nam, s.url("/results.json"), verb, "x=1");
            QVERIFY2(r.status == 405, verb.constData());
            QCOMPARE(r.header("Allow"), "GET, HEAD");
        }
        for (const QString path : { "/nope", "/results.json/", "/index.php", "/favicon.ico/", "/etc/passwd" })
            QVERIFY2(Fetch(nam, s.url(path)).status == 404, qPrintable(path));
        // A path a browser would never send goes nowhere near a file.
        RawHttp raw(s.port);
        QVERIFY(raw.WaitConnected());
        raw.Send("GET /../../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(raw.WaitFor([](const QByteArray& r) { return r.contains("\r\n\r\n"); }));
        QVERIFY(raw.Received().startsWith("HTTP/1.1 404 "));
        QVERIFY(!raw.Received().contains("root:"));
    }

    void anotherServicesPaths_areHandedOverWithWhatCameSoFar()
    {
        // What the station link does with the connection: here it answers
        // on the copy of the descriptor and closes it.
        ServerOptions o = localOptions();
        QByteArray handed;
        o.handsOver = [](QByteArrayView path) { return path.startsWith("/station/"); };
        o.handOver = [&handed](qintptr descriptor, const QByteArray& received) {
            handed = received;
            const QByteArray answer = "HTTP/1.1 299 Station\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            QVERIFY(::write(int(descriptor), answer.constData(), size_t(answer.size())) == answer.size());
            platform::CloseDescriptor(descriptor);
        };
        Server s(o);
        QVERIFY(s.start());
        // The request line in pieces: nothing goes before it is whole.
        RawHttp station(s.port);
        QVERIFY(station.WaitConnected());
        station.Send("GET /stat");
        QTest::qWait(100);
        station.Send("ion/events HTTP/1.1\r\nHost: x\r\n");
        QVERIFY(station.WaitFor([](const QByteArray& r) { return r.contains("\r\n\r\n"); }));
        QCOMPARE(statusOf(station.Received()), 299);
        QCOMPARE(handed, QByteArray("GET /station/events HTTP/1.1\r\nHost: x\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 0, 5000);
        // Everything else is the live server's as before.
        QNetworkAccessManager nam;
        QCOMPARE(Fetch(nam, s.url("/results.json")).status, 200);
        QCOMPARE(Fetch(nam, s.url("/stationen")).status, 404);
    }

    void webSocketUpgrades_areNotTaken_theOrdinaryAnswerComes()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        RawHttp upgrade(s.port);
        QVERIFY(upgrade.WaitConnected());
        upgrade.Send("GET /results.json HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        QVERIFY(upgrade.WaitFor([](const QByteArray& r) { return r.endsWith("]}"); }));
        QCOMPARE(statusOf(upgrade.Received()), 200);
        upgrade.Socket().disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 0, 5000);
    }

    void namesWithMarkupAndQuotes_reachEveryOutputAsText()
    {
        const QString name = QStringLiteral("<img src=x onerror=alert(1)> \"Anna\" & 'Bo' </script>");
        Server s(localOptions());
        s.server.Publish(results(name));
        QVERIFY(s.start());
        QNetworkAccessManager nam;
        for (const QString path : { "/", "/display" }) {
            const HttpResult r = Fetch(nam, s.url(path));
            QCOMPARE(r.status, 200);
            QVERIFY2(!r.body.contains("<img"), qPrintable(path));
            QVERIFY2(!r.body.contains("</script> "), qPrintable(path));
            QVERIFY(r.body.contains("\\u003cimg src=x onerror=alert(1)\\u003e \\\"Anna\\\""));
        }
        const HttpResult data = Fetch(nam, s.url("/results.json"));
        QCOMPARE(json(data.body)["entries"].toArray()[0].toObject()["name"].toString(), name);
    }

    void oversizedRequests_areAnsweredAndClosed()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        // Headers without end.
        RawHttp headers(s.port);
        QVERIFY(headers.WaitConnected());
        headers.Send("GET / HTTP/1.1\r\nHost: x\r\nX-Filler: " + QByteArray(20000, 'a'));
        QVERIFY(headers.WaitClosed());
        QVERIFY(headers.Received().startsWith("HTTP/1.1 431 "));
        // A body far beyond what a read-only server takes.
        RawHttp body(s.port);
        QVERIFY(body.WaitConnected());
        body.Send("POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n" + QByteArray(100000, 'b'));
        QVERIFY(body.WaitClosed());
        QVERIFY(body.Received().startsWith("HTTP/1.1 413 "));
        // A request of ordinary size on the same server still works, twice on
        // one connection, and "Connection: close" ends it.
        RawHttp fine(s.port);
        QVERIFY(fine.WaitConnected());
        fine.Send("GET /results.json HTTP/1.1\r\nHost: x\r\n\r\nGET /results.json HTTP/1.1\r\nHost: x\r\nConnection: "
                  "close\r\n\r\n");
        QVERIFY(fine.WaitClosed());
        QCOMPARE(fine.Received().count("HTTP/1.1 200 OK"), 2);
    }

    void hundredClients_atOnceAreAllServed()
    {
        Server s(roomyOptions());
        QVERIFY(s.start());
        std::vector<std::unique_ptr<QNetworkAccessManager>> clients;
        std::vector<QNetworkReply*> replies;
        for (int i = 0; i < 100; ++i) {
            clients.push_back(std::make_unique<QNetworkAccessManager>());
            replies.push_back(clients.back()->get(QNetworkRequest(s.url("/results.json"))));
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(replies.begin(), replies.end(), [](QNetworkReply* r) { return r->isFinished(); }), 30000);
        for (QNetworkReply* r : replies) {
            QCOMPARE(r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
            QCOMPARE(json(r->readAll())["entries"].toArray().size(), 2);
        }
        QVERIFY(s.server.ConnectionCount() <= 100);
        clients.clear();
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 0, 10000);
    }

    void theHundredFirstConnection_gets503UntilOneCloses()
    {
        Server s(roomyOptions());
        QVERIFY(s.start());
        // Streams up to their share; the next stream is refused, polls still work.
        std::vector<std::unique_ptr<RawHttp>> open;
        for (int i = 0; i < 80; ++i) {
            open.push_back(openStream(s.port));
            QVERIFY(open.back());
        }
        {
            QNetworkAccessManager nam;
            const HttpResult stream = Fetch(nam, s.url("/events"));
            QCOMPARE(stream.status, 503);
            QCOMPARE(stream.header("Retry-After"), "30");
            QCOMPARE(Fetch(nam, s.url("/results.json")).status, 200);
        }
        // Twenty idle connections fill the rest.
        for (int i = 0; i < 20; ++i) {
            open.push_back(std::make_unique<RawHttp>(s.port));
            QVERIFY(open.back()->WaitConnected());
        }
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 100, 5000);
        {
            QNetworkAccessManager nam;
            const HttpResult refused = Fetch(nam, s.url("/results.json"));
            QCOMPARE(refused.status, 503);
            QCOMPARE(refused.header("Retry-After"), "5");
            QVERIFY(isNow(refused.header("Date")));
        }
        open.pop_back();
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 99, 5000);
        QNetworkAccessManager nam;
        const HttpResult served = Fetch(nam, s.url("/results.json"));
        QCOMPARE(served.status, 200);
        // With most connections open, an answer does not keep its connection.
        QCOMPARE(served.header("Connection"), "close");
    }

    void aStop_reachesAnOpenEventStreamAsADelta()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        QNetworkAccessManager nam;
        QNetworkReply* stream = nam.get(QNetworkRequest(s.url("/events")));
        QByteArray received;
        connect(stream, &QNetworkReply::readyRead, this, [&] { received += stream->readAll(); });
        QTRY_COMPARE_WITH_TIMEOUT(SseEvents(received).size(), 1, 5000);
        QCOMPARE(stream->header(QNetworkRequest::ContentTypeHeader).toString(), "text/event-stream; charset=utf-8");
        QVERIFY(isNow(stream->rawHeader("Date")));
        const QJsonObject first = json(SseEvents(received)[0]);
        QCOMPARE(first["entries"].toArray()[1].toObject()["state"].toString(), "running");

        // The same results again send nothing; a stop sends the one entry.
        s.server.Publish(results());
        s.server.Publish(results("Berg", true));
        QTRY_COMPARE_WITH_TIMEOUT(SseEvents(received).size(), 2, 5000);
        const QJsonObject delta = json(SseEvents(received)[1]);
        QCOMPARE(delta["base"].toInteger(), first["version"].toInteger());
        QCOMPARE(delta["version"].toInteger(), first["version"].toInteger() + 1);
        QVERIFY(!delta.contains("entries"));
        QCOMPARE(delta["changed"].toArray().size(), 1);
        const QJsonObject now = ApplyLiveEvent(first, delta);
        const QJsonObject stopped = now["entries"].toArray()[1].toObject();
        QCOMPARE(stopped["time"].toString(), "1.02,00");
        QCOMPARE(stopped["state"].toString(), "finished");
        QCOMPARE(now["latest"].toArray()[0].toInt(), 1);
        QTest::qWait(200);
        QCOMPARE(SseEvents(received).size(), 2);
        stream->abort();
    }

    void aReconnect_getsWhatItMissed()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        std::unique_ptr<RawHttp> stream = openStream(s.port);
        QVERIFY(stream);
        const QJsonObject held = json(SseEvents(stream->Received()).last());
        const QByteArray id = QByteArray::number(held["version"].toInteger());
        QVERIFY(stream->Received().contains("id: " + id + "\n"));
        stream.reset(); // the phone's screen goes dark
        s.server.Publish(results("Berg", true));

        // Back with the last event it had: the change alone.
        RawHttp back(s.port);
        QVERIFY(back.WaitConnected());
        back.Send("GET /events HTTP/1.1\r\nHost: x\r\nLast-Event-ID: " + id + "\r\n\r\n");
        QVERIFY(back.WaitFor([](const QByteArray& r) { return !SseEvents(r).isEmpty(); }));
        const QJsonObject missed = json(SseEvents(back.Received()).first());
        QCOMPARE(missed["base"].toInteger(), held["version"].toInteger());
        QCOMPARE(ApplyLiveEvent(held, missed)["entries"].toArray()[1].toObject()["state"].toString(), "finished");

        // A page that has the newest results gets nothing until the next
        // change; one whose version the server does not know gets them whole.
        const QByteArray newest = QByteArray::number(missed["version"].toInteger());
        RawHttp current(s.port), stranger(s.port);
        QVERIFY(current.WaitConnected() && stranger.WaitConnected());
        current.Send("GET /events?since=" + newest + " HTTP/1.1\r\nHost: x\r\n\r\n");
        stranger.Send("GET /events HTTP/1.1\r\nHost: x\r\nLast-Event-ID: 12345\r\n\r\n");
        QVERIFY(stranger.WaitFor([](const QByteArray& r) { return !SseEvents(r).isEmpty(); }));
        QCOMPARE(json(SseEvents(stranger.Received()).first())["entries"].toArray().size(), 2);
        QVERIFY(current.WaitFor([](const QByteArray& r) { return r.contains("retry: 3000"); }));
        QTest::qWait(200);
        QVERIFY(SseEvents(current.Received()).isEmpty());
        s.server.Publish(results(QStringLiteral("Berger"), true));
        QVERIFY(current.WaitFor([](const QByteArray& r) { return !SseEvents(r).isEmpty(); }));
        QCOMPARE(json(SseEvents(current.Received()).first())["base"].toInteger(), missed["version"].toInteger());
    }

    void gzipStreams_decodeToTheSameEvents()
    {
        Server s(localOptions());
        auto many = std::make_shared<Snapshot>(*results());
        for (int i = 0; i < 300; ++i)
            many->entries.push_back({ QString::number(100 + i), QStringLiteral("Teilnehmer %1").arg(i), "10:00.00,00",
                {}, "0,00", "-", EntryState::Running, {}, {}, {}, {}, {} });
        s.server.Publish(many);
        QVERIFY(s.start());
        RawHttp plain(s.port), zipped(s.port);
        QVERIFY(plain.WaitConnected() && zipped.WaitConnected());
        plain.Send("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
        zipped.Send("GET /events HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip, deflate, br\r\n\r\n");
        const auto zippedEvents = [&] { return SseEvents(GunzipSoFar(HttpBody(zipped.Received()))); };
        QVERIFY(zipped.WaitFor([&](const QByteArray&) { return zippedEvents().size() == 1; }));
        QVERIFY(zipped.Received().contains("Content-Encoding: gzip"));
        QVERIFY(!plain.Received().contains("Content-Encoding"));
        // Each event arrives whole as soon as it is sent: the stream is flushed
        // after every one.
        for (int round = 1; round <= 3; ++round) {
            s.server.Publish(renamed(*many, round));
            QVERIFY(zipped.WaitFor([&](const QByteArray&) { return zippedEvents().size() == 1 + round; }));
        }
        QVERIFY(plain.WaitFor([](const QByteArray& r) { return SseEvents(r).size() == 4; }));
        const QList<QByteArray> a = SseEvents(HttpBody(plain.Received())), b = zippedEvents();
        for (int i = 0; i < 4; ++i) {
            // The same but for the clock, read at each sending.
            QCOMPARE(b[i].mid(b[i].indexOf("\"version\":")), a[i].mid(a[i].indexOf("\"version\":")));
        }
        QVERIFY(HttpBody(zipped.Received()).size() * 3 < HttpBody(plain.Received()).size());
    }

    void theDisplay_carriesOnlyWhatItShows()
    {
        Server s(localOptions());
        auto many = std::make_shared<Snapshot>(*results());
        for (int i = 0; i < 2000; ++i)
            many->entries.push_back({ QString::number(100 + i), QStringLiteral("Teilnehmer %1").arg(i),
                QStringLiteral("10:%1.00,00").arg(i % 60, 2, 10, QLatin1Char('0')), "1.00,00", "0,00",
                QString::number(2 + i), EntryState::Finished, std::int64_t(60000), {}, {}, {}, {} });
        s.server.Publish(many);
        QVERIFY(s.start());
        QNetworkAccessManager nam;
        const HttpResult page = Fetch(nam, s.url("/display"));
        QCOMPARE(page.status, 200);
        QVERIFY2(page.body.size() < 30000, QByteArray::number(page.body.size()).constData());
        const QJsonObject data = json(Fetch(nam, s.url("/display.json")).body);
        QCOMPARE(data["latest"].toArray().size(), 5);
        QVERIFY(!data.contains("entries"));
        QCOMPARE(data["latest"].toArray()[0].toObject().keys(), QStringList({ "name", "number", "place", "time" }));

        RawHttp stream(s.port);
        QVERIFY(stream.WaitConnected());
        stream.Send("GET /display/events HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(stream.WaitFor([](const QByteArray& r) { return SseEvents(r).size() == 1; }));
        QVERIFY(stream.Received().size() < 4000);
        // A change the display does not show (a name far down the list)
        // reaches the results, not the display; a stop reaches both.
        auto edited = std::make_shared<Snapshot>(*many);
        edited->entries[1].name = QStringLiteral("Müller-Lüdenscheidt");
        s.server.Publish(edited);
        QTRY_COMPARE_WITH_TIMEOUT(
            json(Fetch(nam, s.url("/results.json")).body)["entries"].toArray()[1].toObject()["name"].toString(),
            QStringLiteral("Müller-Lüdenscheidt"), 5000);
        QTest::qWait(200);
        QCOMPARE(SseEvents(stream.Received()).size(), 1);
        auto stopped = std::make_shared<Snapshot>(*results("Berg", true));
        s.server.Publish(stopped);
        QVERIFY(stream.WaitFor([](const QByteArray& r) { return SseEvents(r).size() == 2; }));
        QCOMPARE(json(SseEvents(stream.Received())[1])["latest"].toArray()[0].toObject()["name"].toString(),
            QStringLiteral("Müller"));
    }

    void malformedRequests_getTheirStatusAndAClose_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        const QByteArray host = "Host: x\r\n";
        QTest::newRow("no version") << QByteArray("GET /\r\n\r\n") << 400;
        QTest::newRow("four words") << QByteArray("GET / x HTTP/1.1\r\n" + host + "\r\n") << 400;
        QTest::newRow("two blanks") << QByteArray("GET  / HTTP/1.1\r\n" + host + "\r\n") << 400;
        QTest::newRow("not HTTP") << QByteArray("GET / HTTX/1.1\r\n" + host + "\r\n") << 400;
        QTest::newRow("lower case") << QByteArray("GET / http/1.1\r\n" + host + "\r\n") << 400;
        QTest::newRow("version 9.9") << QByteArray("GET / HTTP/9.9\r\n" + host + "\r\n") << 505;
        QTest::newRow("version 2.0") << QByteArray("GET / HTTP/2.0\r\n" + host + "\r\n") << 505;
        QTest::newRow("relative target") << QByteArray("GET results.json HTTP/1.1\r\n" + host + "\r\n") << 400;
        QTest::newRow("control in target") << QByteArray("GET /a\x01b HTTP/1.1\r\n" + host + "\r\n") << 400;
        QTest::newRow("no Host") << QByteArray("GET / HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("two Hosts") << QByteArray("GET / HTTP/1.1\r\n" + host + host + "\r\n") << 400;
        QTest::newRow("no colon") << QByteArray("GET / HTTP/1.1\r\n" + host + "Accept text/html\r\n\r\n") << 400;
        QTest::newRow("blank before colon") << QByteArray("GET / HTTP/1.1\r\nHost : x\r\n\r\n") << 400;
        QTest::newRow("folded line") << QByteArray("GET / HTTP/1.1\r\n" + host + "Accept: a,\r\n b\r\n\r\n") << 400;
        QTest::newRow("NUL in a value") << QByteArray("GET / HTTP/1.1\r\n" + host + QByteArray("X: a\0b\r\n\r\n", 10))
                                        << 400;
        QTest::newRow("bare CR") << QByteArray("GET / HTTP/1.1\r\n" + host + "X: a\rb\r\n\r\n") << 400;
        QTest::newRow("two lengths") << QByteArray(
            "GET / HTTP/1.1\r\n" + host + "Content-Length: 1\r\nContent-Length: 2\r\n\r\nab")
                                     << 400;
        QTest::newRow("negative length") << QByteArray("GET / HTTP/1.1\r\n" + host + "Content-Length: -1\r\n\r\n")
                                         << 400;
        QTest::newRow("length and chunked") << QByteArray(
            "GET / HTTP/1.1\r\n" + host + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n")
                                            << 400;
        QTest::newRow("chunked on 1.0") << QByteArray("GET / HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n")
                                        << 400;
        QTest::newRow("gzip coding") << QByteArray(
            "GET / HTTP/1.1\r\n" + host + "Transfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n")
                                     << 501;
        QTest::newRow("bad chunk") << QByteArray(
            "GET / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\nzz\r\n")
                                   << 400;
        QTest::newRow("too slow") << QByteArray("GET / HTTP/1.1\r\n" + host) << 408;
        QTest::newRow("bad field before the head ends")
            << QByteArray("GET / HTTP/1.1\r\n" + host + "no colon\r\n") << 400;
        QTest::newRow("blank in Host") << QByteArray("GET / HTTP/1.1\r\nHost: a b\r\n\r\n") << 400;
        QTest::newRow("user in Host") << QByteArray("GET / HTTP/1.1\r\nHost: user@x\r\n\r\n") << 400;
        QTest::newRow("two ports in Host") << QByteArray("GET / HTTP/1.1\r\nHost: x:1:2\r\n\r\n") << 400;
        QTest::newRow("open bracket in Host") << QByteArray("GET / HTTP/1.1\r\nHost: [::1\r\n\r\n") << 400;
        QTest::newRow("Host on 1.0, twice") << QByteArray("GET / HTTP/1.0\r\n" + host + host + "\r\n") << 400;
        QTest::newRow("no host in the target")
            << QByteArray("GET http:///results.json HTTP/1.1\r\n" + host + "\r\n") << 400;
        QTest::newRow("another expectation")
            << QByteArray("GET / HTTP/1.1\r\n" + host + "Expect: 103-early\r\n\r\n") << 417;
        QByteArray many = "GET / HTTP/1.1\r\n" + host;
        for (int i = 1; i < 101; ++i)
            many += "Accept: a" + QByteArray::number(i) + "\r\n";
        QTest::newRow("101 field lines") << QByteArray(many + "\r\n") << 431;
    }

    void malformedRequests_getTheirStatusAndAClose()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        ServerOptions o = localOptions();
        o.requestTimeout = std::chrono::milliseconds(400);
        Server s(o);
        QVERIFY(s.start());
        RawHttp raw(s.port);
        QVERIFY(raw.WaitConnected());
        raw.Send(request);
        QVERIFY(raw.WaitClosed());
        QCOMPARE(statusOf(raw.Received()), status);
        QVERIFY(raw.Received().contains("\r\nConnection: close\r\n"));
        QVERIFY(raw.Received().contains("\r\nDate: "));
        QCOMPARE(raw.Received().count("HTTP/1.1 "), 1);
    }

    void oddButWellFormedRequests_areServed_data()
    {
        QTest::addColumn<QByteArray>("requests");
        QTest::addColumn<int>("answers");
        QTest::newRow("bare LF") << QByteArray("GET /results.json HTTP/1.1\nHost: x\n\n") << 1;
        QTest::newRow("empty lines first") << QByteArray("\r\n\r\nGET /results.json HTTP/1.1\r\nHost: x\r\n\r\n") << 1;
        QTest::newRow("1.0 without Host") << QByteArray("GET /results.json HTTP/1.0\r\n\r\n") << 1;
        QTest::newRow("absolute target") << QByteArray(
            "GET http://127.0.0.1/results.json?x=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                                         << 1;
        QTest::newRow("one length twice")
            << QByteArray("GET /results.json HTTP/1.1\r\nHost: x\r\nContent-Length: 2, 2\r\n\r\nab"
                          "GET /results.json HTTP/1.1\r\nHost: x\r\n\r\n")
            << 2;
        QTest::newRow("scheme in capitals")
            << QByteArray("GET HTTP://127.0.0.1:80/results.json HTTP/1.1\r\nHost: 127.0.0.1:80\r\n\r\n") << 1;
        QTest::newRow("IP literal Host") << QByteArray("GET /results.json HTTP/1.1\r\nHost: [::1]:8080\r\n\r\n") << 1;
        QTest::newRow("empty Host") << QByteArray("GET /results.json HTTP/1.1\r\nHost:\r\n\r\n") << 1;
        QTest::newRow("expectation on 1.0")
            << QByteArray("GET /results.json HTTP/1.0\r\nExpect: 103-early\r\nConnection: keep-alive\r\n\r\n") << 1;
        QByteArray hundred = "GET /results.json HTTP/1.1\r\nHost: x\r\n";
        for (int i = 1; i < 100; ++i)
            hundred += "Accept: a" + QByteArray::number(i) + "\r\n";
        QTest::newRow("100 field lines") << QByteArray(hundred + "\r\n") << 1;
        QTest::newRow("chunked body") << QByteArray(
            "GET /results.json HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
            "3;x=y\r\nabc\r\n0\r\nTrailer: 1\r\n\r\nGET /results.json HTTP/1.1\r\nHost: x\r\n\r\n")
                                      << 2;
    }

    void oddButWellFormedRequests_areServed()
    {
        QFETCH(QByteArray, requests);
        QFETCH(int, answers);
        Server s(localOptions());
        QVERIFY(s.start());
        RawHttp raw(s.port);
        QVERIFY(raw.WaitConnected());
        raw.Send(requests);
        QVERIFY(raw.WaitFor([answers](const QByteArray& r) { return r.count("]}") == answers; }));
        QCOMPARE(raw.Received().count("HTTP/1.1 200 OK"), answers);
    }

    void http10_closesUnlessItAsksForKeepAlive_andConnectionIsATokenList()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        RawHttp plain(s.port);
        QVERIFY(plain.WaitConnected());
        plain.Send("GET /results.json HTTP/1.0\r\n\r\n");
        QVERIFY(plain.WaitClosed());
        QCOMPARE(statusOf(plain.Received()), 200);
        QVERIFY(plain.Received().contains("\r\nConnection: close\r\n"));

        RawHttp kept(s.port);
        QVERIFY(kept.WaitConnected());
        kept.Send("GET /results.json HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n");
        QVERIFY(kept.WaitFor([](const QByteArray& r) { return r.endsWith("]}"); }));
        QVERIFY(kept.Received().contains("\r\nConnection: keep-alive\r\n"));
        kept.Send("HEAD /results.json HTTP/1.0\r\nConnection: keep-alive\r\n\r\n");
        QVERIFY(kept.WaitFor([](const QByteArray& r) { return r.count("HTTP/1.1 200 OK") == 2; }));
        QVERIFY(!kept.Closed());

        // HTTP/1.1: "close" anywhere in the list ends it; other tokens do not.
        RawHttp listed(s.port);
        QVERIFY(listed.WaitConnected());
        listed.Send("GET /results.json HTTP/1.1\r\nHost: x\r\nConnection: TE, Upgrade\r\n\r\n"
                    "GET /results.json HTTP/1.1\r\nHost: x\r\nConnection: TE, close\r\n\r\n");
        QVERIFY(listed.WaitClosed());
        QCOMPARE(listed.Received().count("HTTP/1.1 200 OK"), 2);
    }

    void pipelinedRequests_areLimitedOneByOne()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        // Fifty requests of 400 bytes at once: more than twice the limit
        // together, each far within it.
        QByteArray requests;
        for (int i = 0; i < 50; ++i)
            requests += "GET /results.json HTTP/1.1\r\nHost: x\r\nX-Pad: " + QByteArray(350, 'p') + "\r\n\r\n";
        QVERIFY(requests.size() > 2 * 8192);
        RawHttp raw(s.port);
        QVERIFY(raw.WaitConnected());
        raw.Send(requests);
        QVERIFY(raw.WaitFor([](const QByteArray& r) { return r.count("HTTP/1.1 200 OK") == 50; }));
        QVERIFY(!raw.Received().contains(" 413 "));
    }

    void ifNoneMatch_takesListsAndAStar()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        QNetworkAccessManager nam;
        const QByteArray etag = Fetch(nam, s.url("/results.json")).header("ETag");
        QVERIFY(etag.startsWith("W/\""));
        const QByteArray strong = etag.mid(2);
        for (const QByteArray& condition :
            { etag, "\"1\", " + etag + ", \"2\"", QByteArray("*"), strong, "W/\"a,b\"," + strong })
            QVERIFY2(Fetch(nam, s.url("/results.json"), "GET", {}, { { "If-None-Match", condition } }).status == 304,
                condition.constData());
        for (const QByteArray& condition : { QByteArray("\"1\", W/\"2\""), QByteArray("W/\"1") })
            QVERIFY2(Fetch(nam, s.url("/results.json"), "GET", {}, { { "If-None-Match", condition } }).status == 200,
                condition.constData());
        // Repeated fields count as one list.
        RawHttp raw(s.port);
        QVERIFY(raw.WaitConnected());
        raw.Send("GET /results.json HTTP/1.1\r\nHost: x\r\nIf-None-Match: \"7\"\r\nIf-None-Match: " + etag
            + "\r\nAccept-Encoding: br\r\nAccept-Encoding: gzip\r\n\r\nGET /results.json HTTP/1.1\r\nHost: x\r\n"
              "Accept-Encoding: br\r\nAccept-Encoding: gzip\r\nConnection: close\r\n\r\n");
        QVERIFY(raw.WaitClosed());
        QCOMPARE(statusOf(raw.Received()), 304);
        QVERIFY(raw.Received().contains("Content-Encoding: gzip"));
    }

    void oneAddress_cannotLockOutAnother()
    {
        ServerOptions o = localOptions();
        o.idleTimeout = std::chrono::milliseconds(60000);
        Server s(o);
        QVERIFY(s.start());
        // Twenty slow requests from one address: eight are taken.
        std::vector<std::unique_ptr<RawHttp>> slow;
        for (int i = 0; i < 20; ++i) {
            slow.push_back(std::make_unique<RawHttp>(s.port));
            QVERIFY(slow.back()->WaitConnected());
            slow.back()->Send("GET / HTTP/1.1\r\n");
        }
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 8, 5000);
        for (auto& c : slow)
            c->Send("Host: x\r\n");
        const QHostAddress second(QStringLiteral("127.0.0.2"));
        RawHttp polite(s.port, second);
        QVERIFY(polite.WaitConnected());
        polite.Send("GET /results.json HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(polite.WaitFor([](const QByteArray& r) { return r.endsWith("]}"); }));
        QCOMPARE(statusOf(polite.Received()), 200);
        // The others wait a moment for room, then hear 503 and are closed;
        // the taken ones wait on.
        const auto closed
            = [&slow] { return std::count_if(slow.begin(), slow.end(), [](const auto& c) { return c->Closed(); }); };
        QTRY_COMPARE_WITH_TIMEOUT(closed(), 12, 6000);
        for (auto& c : slow) {
            if (c->Closed()) {
                QCOMPARE(statusOf(c->Received()), 503);
                QVERIFY(c->Received().contains("\r\nRetry-After: 5\r\n"));
            }
        }
        slow.clear();
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 1, 5000); // the polite one stays

        // Streams: four per address; the fifth from the same address is
        // refused, one from another address is not.
        std::vector<std::unique_ptr<RawHttp>> streams;
        for (int i = 0; i < 4; ++i) {
            streams.push_back(openStream(s.port));
            QVERIFY(streams.back());
        }
        RawHttp fifth(s.port);
        QVERIFY(fifth.WaitConnected());
        fifth.Send("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(fifth.WaitClosed());
        QCOMPARE(statusOf(fifth.Received()), 503);
        QVERIFY(fifth.Received().contains("Retry-After: 30"));
        RawHttp other(s.port, second);
        QVERIFY(other.WaitConnected());
        other.Send("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(other.WaitFor([](const QByteArray& r) { return !SseEvents(r).isEmpty(); }));

        streams.clear();
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 2, 5000); // both from the other address

        // A connection kept open after its answer gives way to the same
        // address's next one, so a family's phones are not locked out by
        // their own: four kept, four busy, and a ninth comes. The kept one
        // used least recently goes, the first.
        std::vector<std::unique_ptr<RawHttp>> kept;
        for (int i = 0; i < 8; ++i) {
            kept.push_back(std::make_unique<RawHttp>(s.port));
            QVERIFY(kept.back()->WaitConnected());
            if (i < 4) {
                kept.back()->Send("GET /results.json HTTP/1.1\r\nHost: x\r\n\r\n");
                QVERIFY(kept.back()->WaitFor([](const QByteArray& r) { return r.endsWith("]}"); }));
            } else {
                kept.back()->Send("GET /results.json HTTP/1.1\r\n");
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 10, 5000);
        RawHttp ninth(s.port);
        QVERIFY(ninth.WaitConnected());
        ninth.Send("GET /results.json HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(ninth.WaitFor([](const QByteArray& r) { return r.endsWith("]}"); }));
        QCOMPARE(statusOf(ninth.Received()), 200);
        QVERIFY(kept[0]->WaitClosed());
        QVERIFY(std::none_of(kept.begin() + 1, kept.end(), [](const auto& c) { return c->Closed(); }));
    }

    void favicon_isTheProgramsIcon()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        QNetworkAccessManager nam;
        const HttpResult icon = Fetch(nam, s.url("/favicon.ico"));
        QCOMPARE(icon.status, 200);
        QCOMPARE(icon.header("Content-Type"), "image/x-icon");
        QVERIFY(icon.header("Cache-Control").startsWith("max-age="));
        // An ICO file whose entries are PNG images of their stated size.
        const QByteArray& ico = icon.body;
        QVERIFY(ico.size() > 22 && qFromLittleEndian<quint16>(ico.constData() + 2) == 1);
        const int count = qFromLittleEndian<quint16>(ico.constData() + 4);
        QVERIFY(count >= 2);
        for (int i = 0; i < count; ++i) {
            const char* entry = ico.constData() + 6 + 16 * i;
            const int side = static_cast<unsigned char>(entry[0]);
            const auto size = qFromLittleEndian<quint32>(entry + 8), offset = qFromLittleEndian<quint32>(entry + 12);
            QVERIFY(offset + size <= static_cast<quint32>(ico.size()));
            const QImage image = QImage::fromData(ico.mid(offset, size), "PNG");
            QCOMPARE(image.size(), QSize(side, side));
            // The program's icon: not an empty square.
            QVERIFY(image.pixelColor(side / 2, side / 2).alpha() > 0);
        }
    }

    void expectContinue_isAnsweredBeforeTheBody()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        RawHttp raw(s.port);
        QVERIFY(raw.WaitConnected());
        raw.Send("GET /results.json HTTP/1.1\r\nHost: x\r\nExpect: 100-Continue\r\nContent-Length: 4\r\n\r\n");
        QVERIFY(raw.WaitFor([](const QByteArray& r) { return r.contains("\r\n\r\n"); }));
        QVERIFY(raw.Received().startsWith("HTTP/1.1 100 Continue\r\n"));
        QTest::qWait(100);
        QCOMPARE(raw.Received().count("HTTP/1.1 "), 1); // the answer waits for the body
        raw.Send("ab");
        raw.Send("cd");
        QVERIFY(raw.WaitFor([](const QByteArray& r) { return r.endsWith("]}"); }));
        QCOMPARE(raw.Received().count("HTTP/1.1 100 Continue"), 1);
        QVERIFY(raw.Received().contains("\r\n\r\nHTTP/1.1 200 OK\r\n"));
        // Without a body nothing is to wait for: the answer comes at once.
        raw.Send("GET /results.json HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\n\r\n");
        QVERIFY(raw.WaitFor([](const QByteArray& r) { return r.count("]}") == 2; }));
        QCOMPARE(raw.Received().count("HTTP/1.1 100 Continue"), 1);
    }

    void silentConnectionsFromThirteenAddresses_leaveRoomForOthers()
    {
        // 13 addresses hold 8 connections each that never send a byte, and
        // open a new one as soon as one is closed: more than the server has.
        Server s(localOptions());
        QVERIFY(s.start());
        ConnectionHolders holders(s.port, 10, 13, 8);
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 100, 10000);
        QTest::qWait(1200); // a connection is not idle while its first request may be on the way
        for (int i = 0; i < 3; ++i) {
            RawHttp polite(s.port, QHostAddress(QStringLiteral("127.0.0.2")));
            QVERIFY(polite.WaitConnected());
            polite.Send("GET /results.json HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
            QVERIFY(polite.WaitClosed());
            QCOMPARE(statusOf(polite.Received()), 200);
        }
        QVERIFY(s.server.ConnectionCount() <= 100);
    }

    void trickledHeadsFromThirteenAddresses_leaveRoomForOthers()
    {
        // 13 addresses hold 8 connections each and send a request head a
        // byte every 100 ms on every one of them.
        Server s(localOptions());
        QVERIFY(s.start());
        ConnectionHolders holders(s.port, 10, 13, 8, 100);
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 100, 10000);
        QTest::qWait(2200); // heads that have been coming for two seconds are no browser's
        for (int i = 0; i < 3; ++i) {
            RawHttp polite(s.port, QHostAddress(QStringLiteral("127.0.0.2")));
            QVERIFY(polite.WaitConnected());
            polite.Send("GET /results.json HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
            QVERIFY(polite.WaitClosed());
            QCOMPARE(statusOf(polite.Received()), 200);
        }
        // Each trickled head that gave way heard why.
        QTRY_VERIFY_WITH_TIMEOUT(holders.Answers() >= 3, 5000);
    }

    void keepAliveLoadBeyondTheAddressLimit_isNeverReset()
    {
        // As `ab -k -c 8` and a second such client from the same address at
        // once: the address wants more connections than it may hold, so its
        // kept connections give way to its new ones all the time. None may
        // be reset and no request go unanswered; a request that meets a
        // closed kept connection goes again, as ab and browsers send it.
        Server s(localOptions());
        QVERIFY(s.start());
        LoadResult second;
        std::thread other([&] { second = KeepAliveLoad(s.port, QHostAddress::LocalHost, 4, 1500); });
        const LoadResult first = KeepAliveLoad(s.port, QHostAddress::LocalHost, 8, 1500);
        other.join();
        for (const LoadResult& r : { first, second }) {
            const QByteArray counts = QStringLiteral("%1 answered, %2 failed, %3 reset, %4 sent again")
                                          .arg(r.answered)
                                          .arg(r.failed)
                                          .arg(r.resets)
                                          .arg(r.resent)
                                          .toUtf8();
            qInfo("%s", counts.constData());
            QVERIFY2(!r.timedOut && r.resets == 0 && r.failed == 0 && r.answered == 1500, counts.constData());
        }
    }

    void peerLimits_shareTheConnectionsFairly()
    {
        // IPv6 clients count by their /64 network, IPv4 ones (also as mapped
        // addresses) by their address.
        const QHostAddress a(QStringLiteral("2001:db8:1:2::1")), sameNetwork(QStringLiteral("2001:db8:1:2:ffff::9"));
        const QHostAddress b(QStringLiteral("2001:db8:1:3::1"));
        QCOMPARE(PeerKey(a), PeerKey(sameNetwork));
        QVERIFY(PeerKey(a) != PeerKey(b));
        QCOMPARE(PeerKey(QHostAddress(QStringLiteral("::ffff:192.0.2.7"))), QHostAddress(QStringLiteral("192.0.2.7")));
        QVERIFY(
            PeerKey(QHostAddress(QStringLiteral("192.0.2.7"))) != PeerKey(QHostAddress(QStringLiteral("192.0.2.8"))));

        using Verdict = PeerLimits::Verdict;
        PeerLimits limits({ 10, 4, 8, 2 }); // four fifths: 8
        const auto anyGivesWay = [](const QHostAddress&) { return true; };
        const auto noneGivesWay = [](const QHostAddress&) { return false; };
        for (int i = 0; i < 4; ++i)
            limits.Open(PeerKey(i % 2 ? a : sameNetwork));
        // The network is at its limit: a fifth comes only in place of its own.
        QCOMPARE(limits.Admit(PeerKey(sameNetwork), noneGivesWay).verdict, Verdict::Wait);
        const PeerLimits::Admission own = limits.Admit(PeerKey(sameNetwork), anyGivesWay);
        QCOMPARE(own.verdict, Verdict::Reclaim);
        QCOMPARE(own.from, PeerKey(a));
        const QHostAddress c(QStringLiteral("192.0.2.3")), d(QStringLiteral("192.0.2.4")),
            e(QStringLiteral("192.0.2.5"));
        for (int i = 0; i < 3; ++i)
            limits.Open(c);
        QCOMPARE(limits.Admit(d, noneGivesWay).verdict, Verdict::Accept); // 7 of 10 open
        limits.Open(d);
        // Beyond four fifths a newcomer takes the place of an idle connection
        // of the address holding most ...
        const PeerLimits::Admission fair = limits.Admit(e, anyGivesWay);
        QCOMPARE(fair.verdict, Verdict::Reclaim);
        QCOMPARE(fair.from, PeerKey(a));
        // ... or, with none idle there, of the next one.
        const PeerLimits::Admission next
            = limits.Admit(e, [&](const QHostAddress& holder) { return holder != PeerKey(a); });
        QCOMPARE(next.verdict, Verdict::Reclaim);
        QCOMPARE(next.from, c);
        // An address holding nearly as much keeps what it has: the rest of
        // the total is used, and once it is gone the newcomer waits.
        QCOMPARE(limits.Admit(c, anyGivesWay).verdict, Verdict::Accept);
        limits.Open(e);
        limits.Open(e);
        QCOMPARE(limits.Connections(), 10);
        QCOMPARE(limits.Admit(d, noneGivesWay).verdict, Verdict::Wait);
        QCOMPARE(limits.Admit(d, anyGivesWay).from, PeerKey(a));
        // Streams and answers that keep their connection, per address too.
        QVERIFY(!limits.KeepsAlive(d));
        limits.OpenStream(d);
        limits.OpenStream(d);
        QVERIFY(!limits.StreamRoom(d));
        QVERIFY(limits.StreamRoom(e));
        for (int i = 0; i < 4; ++i)
            limits.Close(PeerKey(a));
        limits.Close(c);
        limits.Close(c);
        QVERIFY(limits.KeepsAlive(d));
    }

    void idleConnections_areClosedButLiveStreamsStay()
    {
        ServerOptions o = localOptions();
        o.idleTimeout = std::chrono::milliseconds(300);
        o.requestTimeout = std::chrono::milliseconds(300);
        o.heartbeat = std::chrono::milliseconds(100);
        Server s(o);
        QVERIFY(s.start());
        RawHttp silent(s.port);
        QVERIFY(silent.WaitConnected());
        RawHttp unfinished(s.port);
        QVERIFY(unfinished.WaitConnected());
        unfinished.Send("GET / HTTP/1.1\r\nHost: x\r\n");
        RawHttp kept(s.port);
        QVERIFY(kept.WaitConnected());
        kept.Send("GET /results.json HTTP/1.1\r\nHost: x\r\n\r\n");
        std::unique_ptr<RawHttp> stream = openStream(s.port);
        QVERIFY(stream);

        QVERIFY(silent.WaitClosed());
        QVERIFY(unfinished.WaitClosed());
        QCOMPARE(statusOf(unfinished.Received()), 408);
        QVERIFY(kept.WaitClosed());
        QVERIFY(kept.Received().startsWith("HTTP/1.1 200 OK"));
        // Well beyond the idle time, the stream still gets its heartbeats.
        QVERIFY(stream->WaitFor([](const QByteArray& r) { return r.count(":\n\n") >= 8; }));
        QVERIFY(!stream->Closed());
    }

    void aStreamWhoseClientStopsReading_isClosed()
    {
        ServerOptions o = localOptions();
        o.idleTimeout = std::chrono::milliseconds(300);
        Server s(o);
        QVERIFY(s.start());
        QTcpSocket reader;
        reader.setReadBufferSize(1024); // reads a little, then nothing more
        reader.connectToHost(QHostAddress::LocalHost, s.port);
        QVERIFY(reader.waitForConnected(5000));
        reader.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        reader.write("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 1, 5000);
        // Changes far beyond what the connection holds.
        auto big = std::make_shared<Snapshot>(*results());
        for (int i = 0; i < 2000; ++i)
            big->entries.push_back({ QString::number(i), QStringLiteral("Teilnehmer %1").arg(i), "10:00.00,00",
                "1.00,00", "0,00", QString::number(i), EntryState::Finished, std::int64_t(60000), {}, {}, {}, {} });
        for (int i = 0; i < 200 && s.server.ConnectionCount() > 0; ++i) {
            s.server.Publish(renamed(*big, i));
            QTest::qWait(50);
        }
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 0, 20000);
    }

    void aTakenPort_isReportedAndTheFirstServerGoesOn()
    {
        Server first(localOptions());
        QVERIFY(first.start());
        LiveServer second(localOptions());
        QSignalSpy failed(&second, &LiveServer::Failed);
        second.Start(first.port);
        QVERIFY(failed.wait(10000));
        QCOMPARE(failed.first()[0].toString(), QStringLiteral("Port %1 belegt").arg(first.port));
        QVERIFY(failed.first()[1].toString().contains(QStringLiteral("anderes Programm")));
        QVERIFY(!second.Running());
        QNetworkAccessManager nam;
        QCOMPARE(Fetch(nam, first.url("/results.json")).status, 200);
    }

    void stopping_closesEveryConnection()
    {
        auto s = std::make_unique<Server>(localOptions());
        QVERIFY(s->start());
        std::unique_ptr<RawHttp> stream = openStream(s->port);
        QVERIFY(stream);
        RawHttp idle(s->port);
        QVERIFY(idle.WaitConnected());
        QTRY_COMPARE_WITH_TIMEOUT(s->server.ConnectionCount(), 2, 5000);
        s->server.Stop();
        QVERIFY(stream->WaitClosed());
        QVERIFY(idle.WaitClosed());
        QTRY_COMPARE_WITH_TIMEOUT(s->server.ConnectionCount(), 0, 5000);
        // Started again on the same port, and torn down with a stream open.
        QVERIFY(s->start(s->port));
        stream = openStream(s->port);
        QVERIFY(stream);
        s.reset();
        QVERIFY(stream->WaitClosed());
    }
};

QTEST_GUILESS_MAIN(TestLiveServer)
#include "tst_liveserver.moc"
