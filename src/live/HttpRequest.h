// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>

#include <optional>
#include <utility>

// Requests as RFC 9112 reads them, for a server that only reads: the request
// line, the header fields (repeated ones combined), where a request ends in
// a stream of pipelined requests, and the status a malformed one gets. No
// widgets, no sockets: the server hands in what it has received.
namespace live {

struct HttpRequest {
    QByteArray method;
    QByteArray target; // as sent
    QByteArray path; // the target's path ("/events"), also from an absolute target
    QByteArray query; // after "?", without it
    int major = 1;
    int minor = 1;
    // Field names in lower case, each once: a repeated field is one field
    // with its values joined by ", ", as RFC 9110 allows for list fields.
    QList<std::pair<QByteArray, QByteArray>> fields;

    // The value of a field (name in lower case); empty when it is absent.
    QByteArray Field(const QByteArray& name) const;
    bool HasField(const QByteArray& name) const;
    // Whether the connection stays open after the answer: HTTP/1.1 unless the
    // client says "close", HTTP/1.0 only when it asks for "keep-alive".
    bool KeepAlive() const;
    // The value of a query parameter ("since" in "since=12&x").
    QByteArray QueryValue(const QByteArray& name) const;
};

struct ParsedRequest {
    enum class Result {
        NeedMore, // the request is not complete yet
        Complete,
        Refused, // malformed or too large: answer `status` and close
    };
    Result result = Result::NeedMore;
    HttpRequest request;
    qsizetype length = 0; // bytes the complete request took, head and body
    // Refused: 400 malformed (also a missing, repeated or invalid Host),
    // 413 body too large, 417 an expectation other than 100-continue,
    // 431 head too large or more than kMaxFieldLines field lines,
    // 501 a transfer coding other than chunked, 505 a major version other than 1.
    int status = 0;
};

// Header field lines one request may carry; browsers send about twenty.
constexpr int kMaxFieldLines = 100;

// The field lines of a head, read one by one as each ends, so a malformed
// one is refused before the rest of the head has come (the request reader's
// part). Repeated fields are joined; Host must come once (HTTP/1.1) or at
// most once (HTTP/1.0) with a valid value. Add and Finish return 0 or the
// status the request is refused with.
class FieldLines final {
public:
    // One field line without its line end.
    int Add(QByteArrayView line, HttpRequest& request);
    // After the empty line that ends the head.
    int Finish(const HttpRequest& request) const;

private:
    QHash<QByteArray, qsizetype> m_index; // where each name stands in request.fields
    int m_hosts = 0;
    int m_count = 0;
};

// Reads the requests of one connection as their bytes arrive. Each byte is
// looked at about once however the bytes are split: the search for the end
// of a head goes on where the last one stopped, each line of the head is read
// once it has ended, a chunked body chunk by chunk. A request (head and body)
// may take at most `maxBytes`; the limit holds for each of several pipelined
// requests on its own.
class RequestReader final {
public:
    explicit RequestReader(qsizetype maxBytes = 8192);

    void Append(const QByteArray& bytes);
    // The first request of what has arrived. A complete one is taken out:
    // the next call reads the request after it. After a refusal the
    // connection is to be closed; the reader reads nothing more.
    ParsedRequest Next();
    // True once for a request whose head asked for "100-continue" and whose
    // body has not all come: the client waits for the interim answer.
    bool TakeContinue();
    // Bytes of a request that is not complete yet have arrived.
    bool HasPartial() const { return m_input.size() > m_at; }
    void Clear();

private:
    // Empty lines before a request, its head, its body; after a refusal
    // nothing more.
    enum class Phase { Lines, Head, Body, Refused };
    struct Body {
        bool chunked = false;
        qsizetype length = 0; // with Content-Length
        qsizetype scanned = 0; // chunked: where the next size or trailer line starts
        qsizetype searched = 0; // chunked: where the search for that line's end goes on
        bool trailer = false; // chunked: the last chunk has come, trailer lines follow
    };

    ParsedRequest refuse(int status);
    std::optional<ParsedRequest> skipEmptyLines();
    std::optional<ParsedRequest> scanHead();
    std::optional<ParsedRequest> readHead(qsizetype headEnd);
    std::optional<ParsedRequest> readBody();
    std::optional<ParsedRequest> readChunks();
    ParsedRequest complete(qsizetype end);
    void reset();

    QByteArray m_input;
    qsizetype m_maxBytes;
    // Positions in m_input.
    qsizetype m_at = 0; // where the request being read starts, leading empty lines included
    qsizetype m_begin = 0; // its request line
    qsizetype m_lineStart = 0; // the head line whose end is searched for
    qsizetype m_scan = 0; // where that search goes on
    qsizetype m_bodyStart = 0;
    Phase m_phase = Phase::Lines;
    int m_lines = 0; // lines of the head that have ended
    ParsedRequest m_parsed; // what has been read of the request
    FieldLines m_fields;
    Body m_body;
    bool m_expectsContinue = false;
    int m_refusal = 0;
};

// Reads the first request in `input` (as a RequestReader given all of it).
ParsedRequest ParseRequest(const QByteArray& input, qsizetype maxBytes);

// Whether a comma-separated list (a Connection or Transfer-Encoding value)
// holds the token, in any case.
bool HasToken(const QByteArray& list, const QByteArray& token);

// Whether an If-None-Match value matches the entity tag: "*", or a list of
// which one tag is weakly equal to it (W/"7" matches "7").
bool NoneMatchHits(const QByteArray& ifNoneMatch, const QByteArray& etag);

// Whether a Host value (or the authority of an absolute target) is a host
// with an optional port as RFC 3986 writes it: a name, an IPv4 address or
// an IP literal in brackets. Empty is valid for Host (RFC 9112, 3.2).
bool ValidHost(const QByteArray& value);

} // namespace live
