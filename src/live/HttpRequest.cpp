// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/HttpRequest.h"

#include <optional>

namespace live {

namespace {

using Result = ParsedRequest::Result;

bool isTchar(char c)
{
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
        return true;
    switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~':
        return true;
    default:
        return false;
    }
}

bool isToken(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (!isTchar(c))
            return false;
    }
    return true;
}

// Visible ASCII only: no blank, no control, nothing beyond ASCII.
bool isTargetText(const QByteArray& text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F)
            return false;
    }
    return !text.isEmpty();
}

// Field values: visible characters, blanks and tabs; no other control.
bool isFieldValue(const QByteArray& text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t') || u == 0x7F)
            return false;
    }
    return true;
}

QByteArray trimmedBlanks(const QByteArray& text)
{
    qsizetype from = 0, to = text.size();
    while (from < to && (text[from] == ' ' || text[from] == '\t'))
        ++from;
    while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t'))
        --to;
    return text.mid(from, to - from);
}

ParsedRequest refused(int status)
{
    ParsedRequest p;
    p.result = Result::Refused;
    p.status = status;
    return p;
}

// One line from `at`: its end (without CR LF or a bare LF, which RFC 9112
// lets a recipient take as a line end), and where the next line begins;
// nullopt when the line has not ended yet.
struct Line {
    qsizetype end;
    qsizetype next;
};
std::optional<Line> lineAt(const QByteArray& input, qsizetype at)
{
    const qsizetype lf = input.indexOf('\n', at);
    if (lf < 0)
        return std::nullopt;
    return Line { lf > at && input[lf - 1] == '\r' ? lf - 1 : lf, lf + 1 };
}

// A decimal length without sign, within what a request may ever take.
std::optional<qint64> decimalLength(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 15)
        return std::nullopt;
    qint64 v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

// The end of a chunked body that starts at `at`: its length, -1 while it has
// not ended, -2 when it is malformed, -3 when it exceeds `limit` bytes.
qsizetype chunkedLength(const QByteArray& input, qsizetype at, qsizetype limit)
{
    qsizetype pos = at;
    for (;;) {
        const std::optional<Line> sizeLine = lineAt(input, pos);
        if (!sizeLine)
            return input.size() - at > limit ? -3 : -1;
        QByteArray size = input.mid(pos, sizeLine->end - pos);
        const qsizetype semicolon = size.indexOf(';');
        if (semicolon >= 0)
            size.truncate(semicolon); // chunk extensions are ignored
        size = trimmedBlanks(size);
        if (size.isEmpty() || size.size() > 8)
            return -2;
        qint64 n = 0;
        for (const char c : size) {
            const int digit = c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f'             ? c - 'a' + 10
                : c >= 'A' && c <= 'F'             ? c - 'A' + 10
                                                   : -1;
            if (digit < 0)
                return -2;
            n = n * 16 + digit;
        }
        pos = sizeLine->next;
        if (pos - at + n > limit)
            return -3;
        if (n == 0) {
            // Trailer fields, then an empty line.
            for (;;) {
                const std::optional<Line> trailer = lineAt(input, pos);
                if (!trailer)
                    return input.size() - at > limit ? -3 : -1;
                const bool empty = trailer->end == pos;
                pos = trailer->next;
                if (pos - at > limit)
                    return -3;
                if (empty)
                    return pos - at;
            }
        }
        if (input.size() < pos + n + 1)
            return -1;
        pos += n;
        const std::optional<Line> end = lineAt(input, pos);
        if (!end)
            return input.size() - pos > 2 ? -2 : -1;
        if (end->end != pos)
            return -2;
        pos = end->next;
    }
}

} // namespace

QByteArray HttpRequest::Field(const QByteArray& name) const
{
    for (const auto& [key, value] : fields) {
        if (key == name)
            return value;
    }
    return {};
}

bool HttpRequest::HasField(const QByteArray& name) const
{
    for (const auto& field : fields) {
        if (field.first == name)
            return true;
    }
    return false;
}

bool HttpRequest::KeepAlive() const
{
    const QByteArray connection = Field("connection");
    if (HasToken(connection, "close"))
        return false;
    return minor >= 1 || HasToken(connection, "keep-alive");
}

QByteArray HttpRequest::QueryValue(const QByteArray& name) const
{
    for (const QByteArray& pair : query.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        if (eq >= 0 && pair.left(eq) == name)
            return pair.mid(eq + 1);
    }
    return {};
}

bool HasToken(const QByteArray& list, const QByteArray& token)
{
    for (const QByteArray& item : list.split(',')) {
        if (trimmedBlanks(item).compare(token, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool NoneMatchHits(const QByteArray& ifNoneMatch, const QByteArray& etag)
{
    const QByteArray value = trimmedBlanks(ifNoneMatch);
    if (value == "*")
        return true;
    const auto opaque = [](const QByteArray& tag) { return tag.startsWith("W/") ? tag.mid(2) : tag; };
    const QByteArray wanted = opaque(etag);
    // Entity tags may hold commas, so the list is read tag by tag.
    qsizetype i = 0;
    while (i < value.size()) {
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t' || value[i] == ','))
            ++i;
        if (i >= value.size())
            break;
        const qsizetype from = i;
        if (value.mid(i, 2) == "W/")
            i += 2;
        if (i >= value.size() || value[i] != '"')
            return false; // not a list of entity tags
        const qsizetype close = value.indexOf('"', i + 1);
        if (close < 0)
            return false;
        if (opaque(value.mid(from, close + 1 - from)) == wanted)
            return true;
        i = close + 1;
    }
    return false;
}

ParsedRequest ParseRequest(const QByteArray& input, qsizetype maxBytes)
{
    // Empty lines before a request are passed over (RFC 9112, 2.2).
    qsizetype pos = 0;
    for (;;) {
        if (pos < input.size() && input[pos] == '\n') {
            ++pos;
        } else if (pos + 1 < input.size() && input[pos] == '\r' && input[pos + 1] == '\n') {
            pos += 2;
        } else {
            break;
        }
        if (pos > maxBytes)
            return refused(431);
    }
    const qsizetype begin = pos;

    // The head must end within the limit.
    const std::optional<Line> requestLine = lineAt(input, pos);
    if (!requestLine)
        return input.size() - begin > maxBytes ? refused(431) : ParsedRequest {};
    ParsedRequest parsed;
    HttpRequest& r = parsed.request;
    {
        const QByteArray line = input.mid(pos, requestLine->end - pos);
        const QList<QByteArray> words = line.split(' ');
        if (words.size() != 3 || !isToken(words[0]) || !isTargetText(words[1]))
            return refused(400);
        const QByteArray& version = words[2];
        if (version.size() != 8 || !version.startsWith("HTTP/") || version[6] != '.' || version[5] < '0'
            || version[5] > '9' || version[7] < '0' || version[7] > '9')
            return refused(400);
        r.method = words[0];
        r.target = words[1];
        r.major = version[5] - '0';
        r.minor = version[7] - '0';
    }
    if (r.major != 1)
        return refused(505);
    // origin-form "/path?query", absolute-form "http://host/path?query",
    // asterisk-form "*", or a CONNECT's authority.
    QByteArray pathAndQuery;
    if (r.target.startsWith('/')) {
        pathAndQuery = r.target;
    } else if (r.target.startsWith("http://") || r.target.startsWith("https://")) {
        const qsizetype slash = r.target.indexOf('/', r.target.indexOf("//") + 2);
        pathAndQuery = slash < 0 ? QByteArray("/") : r.target.mid(slash);
    } else if (r.target == "*" || r.method == "CONNECT") {
        pathAndQuery = r.target;
    } else {
        return refused(400);
    }
    if (pathAndQuery.contains('#'))
        return refused(400);
    const qsizetype question = pathAndQuery.indexOf('?');
    r.path = question < 0 ? pathAndQuery : pathAndQuery.left(question);
    r.query = question < 0 ? QByteArray() : pathAndQuery.mid(question + 1);

    pos = requestLine->next;
    int hosts = 0;
    for (;;) {
        const std::optional<Line> line = lineAt(input, pos);
        if (!line)
            return input.size() - begin > maxBytes ? refused(431) : ParsedRequest {};
        if (line->next - begin > maxBytes)
            return refused(431);
        if (line->end == pos) {
            pos = line->next;
            break;
        }
        const QByteArray text = input.mid(pos, line->end - pos);
        pos = line->next;
        // A continuation line (obsolete folding) and a name without a colon or
        // with blanks before it are refused, as RFC 9112 asks.
        const qsizetype colon = text.indexOf(':');
        if (colon <= 0)
            return refused(400);
        const QByteArray name = text.left(colon).toLower();
        if (!isToken(name))
            return refused(400);
        const QByteArray value = trimmedBlanks(text.mid(colon + 1));
        if (!isFieldValue(value))
            return refused(400);
        if (name == "host")
            ++hosts;
        bool joined = false;
        for (auto& field : r.fields) {
            if (field.first == name) {
                field.second += ", " + value;
                joined = true;
                break;
            }
        }
        if (!joined)
            r.fields.append({ name, value });
    }
    if (hosts > 1 || (r.minor >= 1 && hosts == 0))
        return refused(400);
    const qsizetype headLength = pos - begin;

    // The body: Content-Length or chunked, nothing else.
    qsizetype bodyLength = 0;
    const bool hasLength = r.HasField("content-length");
    if (r.HasField("transfer-encoding")) {
        const QList<QByteArray> codings = r.Field("transfer-encoding").split(',');
        if (r.minor == 0 || hasLength || trimmedBlanks(codings.last()).compare("chunked", Qt::CaseInsensitive) != 0)
            return refused(400);
        if (codings.size() > 1)
            return refused(501);
        bodyLength = chunkedLength(input, pos, maxBytes - headLength);
        if (bodyLength == -1)
            return {};
        if (bodyLength == -2)
            return refused(400);
        if (bodyLength == -3)
            return refused(413);
    } else if (hasLength) {
        // "5, 5" (a repeated field) is one length; differing ones are not.
        std::optional<qint64> length;
        for (const QByteArray& item : r.Field("content-length").split(',')) {
            const std::optional<qint64> v = decimalLength(trimmedBlanks(item));
            if (!v || (length && *length != *v))
                return refused(400);
            length = v;
        }
        if (headLength + *length > maxBytes)
            return refused(413);
        bodyLength = static_cast<qsizetype>(*length);
        if (input.size() < pos + bodyLength)
            return {};
    }
    parsed.result = Result::Complete;
    parsed.length = pos + bodyLength;
    return parsed;
}

} // namespace live
