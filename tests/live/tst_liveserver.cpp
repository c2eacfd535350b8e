// The live-results server over real connections on 127.0.0.1: what it
// serves, what it refuses, its limits and its event stream.
#include "live/LiveServer.h"
#include "support/HttpProbe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QtTest>

#include <zlib.h>

#include <memory>
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
    s->entries.push_back(
        { "3", name, "10:00.00,00", "1.05,12", "0,00", "1", EntryState::Finished, std::int64_t(65120), {}, {}, {} });
    Entry second { "7", QStringLiteral("Müller"), "10:00.20,40", {}, "0.20,40", "-", EntryState::Running, {}, {}, {},
        {} };
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

        // HEAD: the headers of GET, no body.
        RawHttp raw(s.port);
        QVERIFY(raw.WaitConnected());
        raw.Send("HEAD /results.json HTTP/1.1\r\nHost: x\r\n\r\nGET /results.json HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(raw.WaitFor([](const QByteArray& r) { return r.count("HTTP/1.1 200 OK") == 2 && r.endsWith("]}"); }));
        const QByteArray headAnswer = raw.Received().left(raw.Received().indexOf("\r\n\r\n"));
        const QByteArray getAnswer = raw.Received().mid(headAnswer.size() + 4);
        QVERIFY(headAnswer.contains("Content-Type: application/json"));
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
                "1.00,00", "0,00", QString::number(3 + i), EntryState::Finished, std::int64_t(60000), {}, {}, {} });
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
        for (const QString path : { "/nope", "/results.json/", "/index.php", "/favicon.ico", "/etc/passwd" })
            QVERIFY2(Fetch(nam, s.url(path)).status == 404, qPrintable(path));
        // A path a browser would never send goes nowhere near a file.
        RawHttp raw(s.port);
        QVERIFY(raw.WaitConnected());
        raw.Send("GET /../../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(raw.WaitFor([](const QByteArray& r) { return r.contains("\r\n\r\n"); }));
        QVERIFY(raw.Received().startsWith("HTTP/1.1 404 "));
        QVERIFY(!raw.Received().contains("root:"));
    }

    void webSocketUpgrades_areNotTakenAndFreeTheirConnection()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        for (int i = 0; i < 3; ++i) {
            RawHttp upgrade(s.port);
            QVERIFY(upgrade.WaitConnected());
            upgrade.Send("GET /events HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                         "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
            QVERIFY(upgrade.WaitClosed());
            QVERIFY(!upgrade.Received().contains(" 101 "));
        }
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
        Server s(localOptions());
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
        Server s(localOptions());
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
        }
        open.pop_back();
        QTRY_COMPARE_WITH_TIMEOUT(s.server.ConnectionCount(), 99, 5000);
        QNetworkAccessManager nam;
        const HttpResult served = Fetch(nam, s.url("/results.json"));
        QCOMPARE(served.status, 200);
        // With most connections open, an answer does not keep its connection.
        QCOMPARE(served.header("Connection"), "close");
    }

    void aStop_reachesAnOpenEventStream()
    {
        Server s(localOptions());
        QVERIFY(s.start());
        QNetworkAccessManager nam;
        QNetworkReply* stream = nam.get(QNetworkRequest(s.url("/events")));
        QByteArray received;
        connect(stream, &QNetworkReply::readyRead, this, [&] { received += stream->readAll(); });
        QTRY_COMPARE_WITH_TIMEOUT(SseEvents(received).size(), 1, 5000);
        QCOMPARE(stream->header(QNetworkRequest::ContentTypeHeader).toString(), "text/event-stream; charset=utf-8");
        QCOMPARE(json(SseEvents(received)[0])["entries"].toArray()[1].toObject()["state"].toString(), "running");

        s.server.Publish(results("Berg", true));
        QTRY_COMPARE_WITH_TIMEOUT(SseEvents(received).size(), 2, 5000);
        const QJsonObject stopped = json(SseEvents(received)[1])["entries"].toArray()[1].toObject();
        QCOMPARE(stopped["time"].toString(), "1.02,00");
        QCOMPARE(stopped["state"].toString(), "finished");
        QCOMPARE(json(SseEvents(received)[1])["latest"].toArray()[0].toInt(), 1);
        stream->abort();
    }

    void idleConnections_areClosedButLiveStreamsStay()
    {
        ServerOptions o = localOptions();
        o.idleTimeout = std::chrono::milliseconds(300);
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
        // Results far beyond what the connection holds.
        auto big = std::make_shared<Snapshot>(*results());
        for (int i = 0; i < 2000; ++i)
            big->entries.push_back({ QString::number(i), QStringLiteral("Teilnehmer %1").arg(i), "10:00.00,00",
                "1.00,00", "0,00", QString::number(i), EntryState::Finished, std::int64_t(60000), {}, {}, {} });
        for (int i = 0; i < 200 && s.server.ConnectionCount() > 0; ++i) {
            s.server.Publish(big);
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
        QVERIFY(failed.first().first().toString().contains(QString::number(first.port)));
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
