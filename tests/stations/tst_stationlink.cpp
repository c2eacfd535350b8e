// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A station's server on 127.0.0.2 and the finish's puller over real
// connections: delivery once and in order across reconnects and restarts,
// the clock offset, and refusals of whatever is not signed under the code.
#include "live/LiveServer.h"
#include "platform/WallClock.h"
#include "stations/Signature.h"
#include "stations/StationLink.h"
#include "stations/StationServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace stations;

namespace {

const QString kCode = QStringLiteral("604211");
const QHostAddress kStationAddress(QStringLiteral("127.0.0.2"));
constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kAhead = 2500 * kMs;

Impulse impulse(std::uint64_t sequence)
{
    return Impulse { Role::Start, sequence, platform::Tick(5000 + int(sequence)),
        platform::WallClockNs() + kAhead - 10 * kMs, QStringLiteral("boot-station"), ImpulseKind::Barrier };
}

std::vector<Impulse> impulses(std::uint64_t from, std::uint64_t to)
{
    std::vector<Impulse> list;
    for (std::uint64_t s = from; s <= to; ++s)
        list.push_back(impulse(s));
    return list;
}

StationServerOptions aheadOptions()
{
    StationServerOptions options;
    options.heartbeat = std::chrono::milliseconds(50);
    options.clock = [] { return platform::WallClockNs() + kAhead; };
    return options;
}

LinkOptions quickOptions()
{
    LinkOptions options;
    options.clockInterval = std::chrono::milliseconds(100);
    options.firstRetry = std::chrono::milliseconds(50);
    options.longestRetry = std::chrono::milliseconds(200);
    options.silence = std::chrono::milliseconds(1000);
    return options;
}

// Records what a link hands on.
struct Received {
    explicit Received(StationLink& link)
    {
        QObject::connect(
            &link, &StationLink::ImpulseArrived, &link, [this](const Impulse& i) { sequences << i.sequence; });
    }
    QList<std::uint64_t> sequences;
};

QList<std::uint64_t> range(std::uint64_t from, std::uint64_t to)
{
    QList<std::uint64_t> list;
    for (std::uint64_t s = from; s <= to; ++s)
        list << s;
    return list;
}

// One request to the station, as raw bytes; the answer's status code.
int statusOf(quint16 port, const QByteArray& request)
{
    QTcpSocket socket;
    socket.connectToHost(kStationAddress, port);
    if (!socket.waitForConnected(3000))
        return -1;
    socket.write(request);
    QByteArray answer;
    while (!answer.contains("\r\n") && socket.waitForReadyRead(3000))
        answer += socket.readAll();
    return answer.mid(9, 3).toInt();
}

QByteArray signedRequest(const QByteArray& target, const RequestSignature& s)
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.2\r\n" + kTimeHeader + ": " + QByteArray::number(s.timeMs)
        + "\r\n" + kNonceHeader + ": " + s.nonce + "\r\n" + kSignatureHeader + ": " + s.signature + "\r\n\r\n";
}

} // namespace

class TestStationLink : public QObject {
    Q_OBJECT

private slots:
    void link_appliesEachImpulseOnceInOrderAcrossReconnectsAndRestarts()
    {
        auto server = std::make_unique<StationServer>(Role::Start, kCode, aheadOptions());
        QString reason;
        QVERIFY2(server->Listen(kStationAddress, 0, &reason), qPrintable(reason));
        const quint16 port = server->Port();
        server->Offer(impulses(1, 5));

        // The finish's journal says 2 were applied.
        auto link = std::make_unique<StationLink>(
            LinkConfig { Role::Start, kStationAddress.toString(), port, kCode }, 2, quickOptions());
        auto received = std::make_unique<Received>(*link);
        QSignalSpy confirmed(link.get(), &StationLink::Confirmed);
        link->Start();
        QTRY_COMPARE(received->sequences, range(3, 5));
        QCOMPARE(link->GetState(), StationLink::State::Connected);
        QCOMPARE(link->StateText(), QStringLiteral("Start: verbunden"));
        const Impulse sixth = impulse(6);
        server->Offer(sixth);
        QTRY_COMPARE(received->sequences, range(3, 6));
        // Heartbeats confirm the stream past the last impulse's time.
        QTRY_VERIFY(link->ConfirmedStationNs() > sixth.wallNs);
        QVERIFY(confirmed.count() > 0);

        // The finish restarts: it resumes from what its journal has.
        const std::uint64_t applied = link->Applied();
        link.reset();
        link = std::make_unique<StationLink>(
            LinkConfig { Role::Start, kStationAddress.toString(), port, kCode }, applied, quickOptions());
        received = std::make_unique<Received>(*link);
        link->Start();
        server->Offer(impulses(7, 7));
        QTRY_COMPARE(received->sequences, range(7, 7));

        // The station restarts (its store gives every impulse again) on the
        // same port while the link is up; one more comes during the restart.
        server.reset();
        QTRY_COMPARE(link->GetState(), StationLink::State::Lost);
        QVERIFY(link->StateText().startsWith(QStringLiteral("Start: keine Verbindung zu 127.0.0.2:")));
        server = std::make_unique<StationServer>(Role::Start, kCode, aheadOptions());
        QVERIFY(server->Listen(kStationAddress, port, &reason));
        server->Offer(impulses(1, 9));
        QTRY_COMPARE(received->sequences, range(7, 9));
        QTRY_COMPARE(link->GetState(), StationLink::State::Connected);

        // The station file brought 10 and 11 meanwhile: the link goes on after them.
        link->SetApplied(11);
        link->SetApplied(4); // never back
        server->Offer(impulses(10, 12));
        QTRY_COMPARE(received->sequences, (QList<std::uint64_t> { 7, 8, 9, 12 }));
        QCOMPARE(link->Applied(), std::uint64_t(12));
    }

    void link_measuresTheStationsClockAheadByTwoAndAHalfSeconds()
    {
        StationServer server(Role::Start, kCode, aheadOptions());
        QVERIFY(server.Listen(kStationAddress, 0));
        StationLink link(
            LinkConfig { Role::Start, kStationAddress.toString(), server.Port(), kCode }, 0, quickOptions());
        QSignalSpy changed(&link, &StationLink::OffsetChanged);
        link.Start();
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 8, 10000);
        const std::int64_t now = platform::WallClockNs();
        const std::int64_t error = std::llabs(link.Offset().OffsetNs(now) - kAhead);
        QVERIFY2(error <= link.Offset().UncertaintyNs(now), qPrintable(QString::number(error)));
        // Loopback on a busy machine: a few milliseconds at worst.
        QVERIFY2(link.Offset().UncertaintyNs(now) < 50 * kMs, qPrintable(link.Offset().Text(Role::Start, now)));
        QVERIFY(link.Offset().Text(Role::Start, now).startsWith(QStringLiteral("Start: +2")));
        QVERIFY(link.Offset().StationClock().known);
        QVERIFY(!link.Offset().StepSeen());
    }

    void station_refusesWhatIsNotSignedUnderItsCode()
    {
        StationServer server(Role::Start, kCode, aheadOptions());
        QVERIFY(server.Listen(kStationAddress, 0));
        server.Offer(impulses(1, 3));
        QSignalSpy refusedAtStation(&server, &StationServer::Refused);
        const quint16 port = server.Port();
        QCOMPARE(statusOf(port, "GET /station/events HTTP/1.1\r\nHost: 127.0.0.2\r\n\r\n"), 403);
        QCOMPARE(statusOf(port, "GET /station/clock?t1=1 HTTP/1.1\r\nHost: 127.0.0.2\r\n\r\n"), 403);
        const std::int64_t stationMs = (platform::WallClockNs() + kAhead) / kMs;
        const RequestSignature good = SignRequest(kCode, "GET", "/station/clock?t1=1", stationMs);
        QCOMPARE(statusOf(port, signedRequest("/station/clock?t1=1", good)), 200);
        // Recorded and sent again: refused.
        QCOMPARE(statusOf(port, signedRequest("/station/clock?t1=1", good)), 403);
        // A stream request from a clock that is a minute off: refused.
        QCOMPARE(statusOf(port,
                     signedRequest("/station/events", SignRequest(kCode, "GET", "/station/events", stationMs - 60000))),
            403);
        QCOMPARE(statusOf(port, "POST /station/events HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n"), 405);
        QCOMPARE(statusOf(port, "GET /results.json HTTP/1.1\r\nHost: x\r\n\r\n"), 404);
        QTRY_COMPARE(refusedAtStation.count(), 4);
        QVERIFY(refusedAtStation.last().at(0).toString().contains(QStringLiteral("Zeitstempel")));

        // A finish with another code gets nothing and says so.
        StationLink link(
            LinkConfig { Role::Start, kStationAddress.toString(), port, QStringLiteral("604212") }, 0, quickOptions());
        Received received(link);
        link.Start();
        QTRY_COMPARE(link.GetState(), StationLink::State::CodeRefused);
        QVERIFY(link.StateText().contains(QStringLiteral("Kopplungscode")));
        QTest::qWait(300);
        QVERIFY(received.sequences.isEmpty());
    }

    void heartbeats_confirmNothingPastAnEdgeOnItsWay_norWhileTheStationsThreadIsHeldUp()
    {
        // Edges come to the server through the thread it was made on. While
        // that thread is held up (its store waiting for a slow disk), an edge
        // stamped meanwhile may still be on its way: no heartbeat may confirm
        // past it. The test holds its thread up by reading the stream with
        // blocking calls.
        StationServer server(Role::Start, kCode, aheadOptions());
        QVERIFY(server.Listen(kStationAddress, 0));
        QTcpSocket socket;
        socket.connectToHost(kStationAddress, server.Port());
        QVERIFY(socket.waitForConnected(3000));
        const std::int64_t stationMs = (platform::WallClockNs() + kAhead) / kMs;
        socket.write(signedRequest("/station/events", SignRequest(kCode, "GET", "/station/events", stationMs)));
        QByteArray unread;
        // The times confirmed by the heartbeats that come within `ms`.
        const auto confirmedWithin = [&](int ms) {
            QList<std::int64_t> times;
            QElapsedTimer clock;
            clock.start();
            do {
                unread += socket.readAll();
                for (qsizetype end = unread.indexOf('\n'); end >= 0; end = unread.indexOf('\n')) {
                    const QList<QByteArray> words = unread.left(end).split(' ');
                    unread.remove(0, end + 1);
                    if (words.size() > 4 && words[0] == "data:" && words[1] == "heartbeat")
                        times << words[4].toLongLong();
                }
            } while (clock.elapsed() < ms && socket.waitForReadyRead(int(std::max<qint64>(1, ms - clock.elapsed()))));
            return times;
        };
        const std::int64_t held = platform::WallClockNs() + kAhead;
        const QList<std::int64_t> whileHeld = confirmedWithin(600);
        QVERIFY2(whileHeld.size() >= 5, qPrintable(QString::number(whileHeld.size())));
        QVERIFY2(*std::max_element(whileHeld.begin(), whileHeld.end()) <= held,
            qPrintable(QStringLiteral("%1 ms past")
                           .arg((*std::max_element(whileHeld.begin(), whileHeld.end()) - held) / kMs)));
        QTest::qWait(300);
        const QList<std::int64_t> turning = confirmedWithin(200);
        QVERIFY(!turning.isEmpty() && turning.last() > held + 400 * kMs);

        // An edge the store has not taken yet holds the heartbeats however
        // long the disk takes, and they go on once it is offered.
        const std::int64_t edge = platform::WallClockNs() + kAhead;
        server.Stamped(edge);
        QTest::qWait(400);
        const QList<std::int64_t> onItsWay = confirmedWithin(100);
        QVERIFY(!onItsWay.isEmpty() && *std::max_element(onItsWay.begin(), onItsWay.end()) < edge);
        Impulse first = impulse(1);
        first.wallNs = edge;
        server.Offer(first);
        QTest::qWait(300);
        QVERIFY(confirmedWithin(100).last() >= edge);
    }

    void link_saysSoWhenTheStationHasFewerImpulsesThanTheFinishApplied()
    {
        StationServer server(Role::Start, kCode, aheadOptions());
        QVERIFY(server.Listen(kStationAddress, 0));
        server.Offer(impulses(1, 2));
        StationLink link(
            LinkConfig { Role::Start, kStationAddress.toString(), server.Port(), kCode }, 5, quickOptions());
        Received received(link);
        QSignalSpy refused(&link, &StationLink::Refused);
        link.Start();
        QTRY_COMPARE(refused.count(), 1);
        QVERIFY(refused.first().at(1).toString().contains(QStringLiteral("kennt nur 2 Impulse")));
        QVERIFY(received.sequences.isEmpty());
    }

    void link_refusesAForgedImpulseAndAsksAgainFromAGap()
    {
        // A station of the test's own that sends what it is told to.
        QTcpServer fake;
        QVERIFY(fake.listen(kStationAddress));
        QList<QByteArray> asked; // Last-Event-ID of each stream request
        QList<QByteArray> script { "1 2 4", "3x 4", "3 4" }; // one connection each; "x": signed under another code
        QObject::connect(&fake, &QTcpServer::newConnection, &fake, [&] {
            QTcpSocket* socket = fake.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                const QByteArray request = socket->readAll();
                if (!request.startsWith("GET /station/events")) {
                    socket->abort();
                    return;
                }
                const qsizetype at = request.indexOf("Last-Event-ID: ") + 15;
                asked << request.mid(at, request.indexOf("\r\n", at) - at);
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n\r\n");
                const QByteArray plan = script.isEmpty() ? QByteArray() : script.takeFirst();
                for (QByteArray token : plan.split(' ')) {
                    const bool forged = token.endsWith('x');
                    if (forged)
                        token.chop(1);
                    const Impulse i = impulse(token.toULongLong());
                    const QString code = forged ? QStringLiteral("111111") : kCode;
                    socket->write(
                        "id: " + token + "\nevent: impulse\ndata: " + SignedLine(code, CanonicalText(i)) + "\n\n");
                }
            });
        });
        StationLink link(
            LinkConfig { Role::Start, kStationAddress.toString(), fake.serverPort(), kCode }, 0, quickOptions());
        Received received(link);
        QSignalSpy refused(&link, &StationLink::Refused);
        link.Start();
        QTRY_COMPARE(received.sequences, range(1, 4));
        QCOMPARE(asked, (QList<QByteArray> { "0", "2", "2" }));
        QCOMPARE(refused.count(), 1);
        QVERIFY(refused.first().at(1).toString().contains(QStringLiteral("ungültiger Signatur")));
    }

    void link_reachesTheStationThroughItsLivePort()
    {
        // A station always listens on its live port: the live server hands
        // the station's paths over.
        StationServer station(Role::Start, kCode, aheadOptions());
        live::ServerOptions options;
        options.address = kStationAddress;
        options.handsOver = [](QByteArrayView path) { return StationServer::IsStationPath(path); };
        options.handOver
            = [&station](qintptr descriptor, const QByteArray& received) { station.Adopt(descriptor, received); };
        live::LiveServer server(options);
        QSignalSpy listening(&server, &live::LiveServer::Listening);
        server.Start(0);
        QVERIFY(listening.wait(10000));
        const quint16 port = listening.first().first().value<quint16>();
        station.Offer(impulses(1, 3));
        StationLink link(LinkConfig { Role::Start, kStationAddress.toString(), port, kCode }, 0, quickOptions());
        Received received(link);
        QSignalSpy offset(&link, &StationLink::OffsetChanged);
        link.Start();
        QTRY_COMPARE(received.sequences, range(1, 3));
        QTRY_VERIFY(offset.count() >= 2);
        station.Offer(impulses(4, 4));
        QTRY_COMPARE(received.sequences, range(1, 4));
        // Unsigned, it is refused there as on a port of its own.
        QCOMPARE(statusOf(port, "GET /station/events HTTP/1.1\r\nHost: 127.0.0.2\r\n\r\n"), 403);
    }

    void stationAddress_isReadAsTheSettingsKeepIt()
    {
        const auto ipv4 = ParseStationAddress(Role::Start, QStringLiteral("192.168.1.20:8080"), kCode);
        QVERIFY(ipv4);
        QCOMPARE(ipv4->host, QStringLiteral("192.168.1.20"));
        QCOMPARE(ipv4->port, quint16(8080));
        QCOMPARE(
            ParseStationAddress(Role::Split1, QStringLiteral("[fe80::1]:81"), kCode)->host, QStringLiteral("fe80::1"));
        QVERIFY(!ParseStationAddress(Role::Start, QStringLiteral("fe80::1:81"), kCode));
        QVERIFY(!ParseStationAddress(Role::Start, QStringLiteral("host:0"), kCode));
        QVERIFY(!ParseStationAddress(Role::Start, QStringLiteral("host:8080"), QStringLiteral("12345")));
    }
};

QTEST_GUILESS_MAIN(TestStationLink)
#include "tst_stationlink.moc"
