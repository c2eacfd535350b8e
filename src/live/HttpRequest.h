// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QList>

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
    // Refused: 400 malformed, 413 body too large, 431 head too large,
    // 501 a transfer coding other than chunked, 505 a major version other than 1.
    int status = 0;
};

// Reads the first request in `input`. A request (head and body) may take at
// most `maxBytes`; the limit holds for each of several pipelined requests on
// its own.
ParsedRequest ParseRequest(const QByteArray& input, qsizetype maxBytes);

// Whether a comma-separated list (a Connection or Transfer-Encoding value)
// holds the token, in any case.
bool HasToken(const QByteArray& list, const QByteArray& token);

// Whether an If-None-Match value matches the entity tag: "*", or a list of
// which one tag is weakly equal to it (W/"7" matches "7").
bool NoneMatchHits(const QByteArray& ifNoneMatch, const QByteArray& etag);

} // namespace live
