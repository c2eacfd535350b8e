// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The request reader against requests mutated at random (a fixed seed, a
// fixed count): whatever the bytes, a complete request stays the same when
// more bytes follow, no cut request is ever taken as complete, and bytes
// handed in piece by piece read as the whole does.
#include "live/HttpRequest.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace live;
using Result = ParsedRequest::Result;

namespace {

const QList<QByteArray> kSeeds = {
    "GET /results.json HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nAccept: */*\r\nAccept-Encoding: gzip, br\r\n\r\n",
    "GET /events?since=12 HTTP/1.1\r\nHost: x\r\nLast-Event-ID: 7\r\nAccept: text/event-stream\r\n\r\n",
    "HEAD / HTTP/1.0\r\n\r\n",
    "GET / HTTP/1.0\r\nConnection: Keep-Alive\r\nUser-Agent: ApacheBench/2.3\r\n\r\n",
    "\r\n\nGET /display HTTP/1.1\nHost: [::1]:8080\n\n",
    "GET HTTP://127.0.0.1/results.json?x=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
    "POST /x HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nExpect: 100-continue\r\n\r\nhello",
    "POST /x HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n3;ext=1\r\nabc\r\n10\r\n0123456789abcdef\r\n0\r\n"
    "Trailer: t\r\n\r\n",
    "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 2, 2\r\n\r\nabGET /display.json HTTP/1.1\r\nHost: x\r\n\r\n",
    "GET / HTTP/1.1\r\nHost: x\r\nIf-None-Match: \"1\"\r\nIf-None-Match: W/\"2\"\r\nCookie: a=b\r\nCookie: c=d\r\n\r\n",
    "OPTIONS * HTTP/1.1\r\nHost: x\r\n\r\n",
    "CONNECT example:443 HTTP/1.1\r\nHost: example:443\r\n\r\n",
};

// Bytes that mean something in a request, more often than the rest.
char someByte(QRandomGenerator& random)
{
    static const QByteArray kTelling = QByteArray(" :\r\n\t/?#,;=-\"%[]0123456789abcdefHTP.", 37) + '\0';
    if (random.bounded(4) == 0)
        return static_cast<char>(random.bounded(256));
    return kTelling[random.bounded(static_cast<int>(kTelling.size()))];
}

QByteArray mutated(QRandomGenerator& random)
{
    QByteArray b = kSeeds[random.bounded(static_cast<int>(kSeeds.size()))];
    const int steps = 1 + random.bounded(4);
    for (int i = 0; i < steps; ++i) {
        const int at = b.isEmpty() ? 0 : random.bounded(static_cast<int>(b.size()));
        switch (random.bounded(7)) {
        case 0:
            if (!b.isEmpty())
                b[at] = someByte(random);
            break;
        case 1:
            b.insert(at, someByte(random));
            break;
        case 2:
            b.remove(at, 1 + random.bounded(3));
            break;
        case 3: { // a piece again, as a repeated field would be
            const int length = random.bounded(40);
            b.insert(at, b.mid(at, length));
            break;
        }
        case 4: // the tail of another request
            b = b.left(at) + kSeeds[random.bounded(static_cast<int>(kSeeds.size()))].mid(random.bounded(30));
            break;
        case 5: // a long run, to reach the limits
            b.insert(at, QByteArray(random.bounded(300), someByte(random)));
            break;
        default: // a field line more
            b.insert(b.indexOf('\n') + 1, "X-F" + QByteArray::number(random.bounded(9)) + ": v\r\n");
            break;
        }
    }
    return b;
}

QByteArray described(const ParsedRequest& p)
{
    QByteArray d = QByteArray::number(static_cast<int>(p.result)) + ' ' + QByteArray::number(p.status) + ' '
        + QByteArray::number(p.length);
    if (p.result != Result::Complete)
        return d;
    const HttpRequest& r = p.request;
    d += ' ' + r.method + ' ' + r.target + ' ' + r.path + '?' + r.query + ' ' + QByteArray::number(r.major) + '.'
        + QByteArray::number(r.minor);
    for (const auto& [name, value] : r.fields)
        d += '|' + name + '=' + value;
    return d;
}

// The first answer of a reader fed the bytes in pieces, asking after each.
ParsedRequest inPieces(const QByteArray& input, qsizetype maxBytes, QRandomGenerator& random)
{
    RequestReader reader(maxBytes);
    ParsedRequest p;
    for (qsizetype at = 0; at < input.size();) {
        const qsizetype n = random.bounded(3) == 0 ? 1 : 1 + random.bounded(64);
        reader.Append(input.mid(at, n));
        at += n;
        p = reader.Next();
        if (p.result != Result::NeedMore)
            return p;
    }
    return p;
}

} // namespace

class TestHttpRequest : public QObject {
    Q_OBJECT
private slots:
    void mutatedRequests_readAlikeWhole_inPieces_cutAndFollowed()
    {
        QRandomGenerator random(20260501);
        constexpr int kRequests = 60000;
        int complete = 0, refused = 0;
        for (int n = 0; n < kRequests; ++n) {
            const QByteArray input = mutated(random);
            // A small limit now and then, so the size limits are met as often.
            const qsizetype maxBytes = random.bounded(4) == 0 ? 64 + random.bounded(300) : 8192;
            const ParsedRequest whole = ParseRequest(input, maxBytes);
            const QByteArray seen = described(whole);
            const auto context
                = [&] { return QByteArray("#" + QByteArray::number(n) + " " + input.toPercentEncoding()); };
            QVERIFY2(described(inPieces(input, maxBytes, random)) == seen, context().constData());

            const QByteArray more = QByteArray("GET / HTTP/1.1\r\n").left(random.bounded(17)) + mutated(random);
            if (whole.result == Result::NeedMore) {
                // Whatever is missing, nothing before it was refused.
                QVERIFY2(whole.status == 0 && whole.length == 0, context().constData());
                continue;
            }
            // More bytes after it change nothing.
            QVERIFY2(described(ParseRequest(input + more, maxBytes)) == seen, context().constData());
            if (whole.result == Result::Refused) {
                ++refused;
                QVERIFY2(whole.status >= 400 && whole.status <= 505, context().constData());
                continue;
            }
            ++complete;
            QVERIFY2(whole.length > 0 && whole.length <= input.size(), context().constData());
            // Cut anywhere before its end, it is not complete yet.
            for (int i = 0; i < 6; ++i) {
                const qsizetype cut = i == 0 ? whole.length - 1 : random.bounded(static_cast<int>(whole.length));
                const ParsedRequest part = ParseRequest(input.left(cut), maxBytes);
                QVERIFY2(
                    part.result == Result::NeedMore, (context() + " cut at " + QByteArray::number(cut)).constData());
            }
            // The reader goes on with the request after it as if it came alone.
            RequestReader reader(maxBytes);
            reader.Append(input);
            QCOMPARE(described(reader.Next()), seen);
            QCOMPARE(described(reader.Next()), described(ParseRequest(input.mid(whole.length), maxBytes)));
        }
        qInfo("%d complete, %d refused of %d", complete, refused, kRequests);
        // The mutations reach every outcome often.
        QVERIFY2(complete > kRequests / 10 && refused > kRequests / 10,
            qPrintable(QStringLiteral("%1 complete, %2 refused").arg(complete).arg(refused)));
    }
};

QTEST_GUILESS_MAIN(TestHttpRequest)
#include "tst_httprequest.moc"
