// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/HttpRequest.h"

#include "live/HttpHead.h"

namespace live {

namespace {

bool isAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isTchar(char c)
{
    return isAlnum(c) || QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text)
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
bool isTargetText(QByteArrayView text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F)
            return false;
    }
    return !text.isEmpty();
}

// Field values: visible characters, blanks and tabs; no other control.
bool isFieldValue(QByteArrayView text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t') || u == 0x7F)
            return false;
    }
    return true;
}

// A reg-name or IPv4 address: unreserved characters, sub-delims and
// percent-encoded octets.
bool isRegName(QByteArrayView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2]))
                return false;
            i += 2;
        } else if (!isAlnum(c) && !QByteArrayView("-._~!$&'()*+,;=").contains(c)) {
            return false;
        }
    }
    return true;
}

// What stands between the brackets of an IP literal: an IPv6 address
// (hex digits, colons, a dotted IPv4 tail) or a future version "v1.x".
bool isIpLiteral(QByteArrayView text)
{
    if (text.size() < 2)
        return false;
    if (text[0] == 'v' || text[0] == 'V') {
        const qsizetype dot = text.indexOf('.');
        return dot > 1 && dot + 1 < text.size() && isRegName(text.sliced(dot + 1)) && !text.contains('%');
    }
    for (const char c : text) {
        if (!isHexDigit(c) && c != ':' && c != '.')
            return false;
    }
    return text.contains(':');
}

} // namespace

QByteArrayView TrimmedBlanks(QByteArrayView text)
{
    qsizetype from = 0, to = text.size();
    while (from < to && (text[from] == ' ' || text[from] == '\t'))
        ++from;
    while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t'))
        --to;
    return text.sliced(from, to - from);
}

bool ValidHost(const QByteArray& value)
{
    const auto isPort = [](QByteArrayView text) {
        for (const char c : text) {
            if (c < '0' || c > '9')
                return false;
        }
        return true;
    };
    QByteArrayView host(value);
    if (host.startsWith('[')) {
        const qsizetype close = host.indexOf(']');
        if (close < 0 || !isIpLiteral(host.sliced(1, close - 1)))
            return false;
        const QByteArrayView rest = host.sliced(close + 1);
        return rest.isEmpty() || (rest[0] == ':' && isPort(rest.sliced(1)));
    }
    const qsizetype colon = host.lastIndexOf(':');
    if (colon >= 0) {
        if (!isPort(host.sliced(colon + 1)))
            return false;
        host = host.first(colon);
    }
    return isRegName(host);
}

int ReadRequestLine(QByteArrayView line, HttpRequest& request)
{
    const qsizetype first = line.indexOf(' ');
    const qsizetype second = first < 0 ? -1 : line.indexOf(' ', first + 1);
    if (second < 0 || line.indexOf(' ', second + 1) >= 0)
        return 400;
    const QByteArrayView method = line.first(first), target = line.sliced(first + 1, second - first - 1),
                         version = line.sliced(second + 1);
    if (!isToken(method) || !isTargetText(target))
        return 400;
    if (version.size() != 8 || !version.startsWith("HTTP/") || version[6] != '.' || version[5] < '0' || version[5] > '9'
        || version[7] < '0' || version[7] > '9')
        return 400;
    request.method = method.toByteArray();
    request.target = target.toByteArray();
    request.major = version[5] - '0';
    request.minor = version[7] - '0';
    return request.major == 1 ? 0 : 505;
}

int ReadTarget(HttpRequest& request)
{
    const QByteArray& target = request.target;
    QByteArray pathAndQuery;
    const qsizetype schemeEnd = target.indexOf("://");
    const QByteArray scheme = schemeEnd < 0 ? QByteArray() : target.left(schemeEnd).toLower();
    if (target.startsWith('/')) {
        pathAndQuery = target;
    } else if (scheme == "http" || scheme == "https") {
        const qsizetype from = schemeEnd + 3;
        qsizetype end = from;
        while (end < target.size() && target[end] != '/' && target[end] != '?' && target[end] != '#')
            ++end;
        // An http URI names a host (RFC 9110, 4.2.1); no user name before it.
        const QByteArray authority = target.mid(from, end - from);
        if (authority.isEmpty() || authority.startsWith(':') || !ValidHost(authority))
            return 400;
        pathAndQuery = end == target.size() || target[end] != '/' ? "/" + target.mid(end) : target.mid(end);
    } else if (target == "*" || request.method == "CONNECT") {
        pathAndQuery = target;
    } else {
        return 400;
    }
    if (pathAndQuery.contains('#'))
        return 400;
    const qsizetype question = pathAndQuery.indexOf('?');
    request.path = question < 0 ? pathAndQuery : pathAndQuery.left(question);
    request.query = question < 0 ? QByteArray() : pathAndQuery.mid(question + 1);
    return 0;
}

int FieldLines::Add(QByteArrayView line, HttpRequest& request)
{
    if (++m_count > kMaxFieldLines)
        return 431;
    // A continuation line (obsolete folding) and a name without a colon or
    // with blanks before it are refused, as RFC 9112 asks.
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return 400;
    const QByteArray name = line.first(colon).toByteArray().toLower();
    const QByteArrayView value = TrimmedBlanks(line.sliced(colon + 1));
    if (!isToken(name) || !isFieldValue(value))
        return 400;
    if (name == "host" && (++m_hosts > 1 || !ValidHost(value.toByteArray())))
        return 400;
    const auto found = m_index.constFind(name);
    if (found == m_index.cend()) {
        m_index.insert(name, request.fields.size());
        request.fields.append({ name, value.toByteArray() });
    } else {
        QByteArray& joined = request.fields[found.value()].second;
        joined += ", ";
        joined += value;
    }
    return 0;
}

int FieldLines::Finish(const HttpRequest& request) const
{
    return request.minor >= 1 && m_hosts == 0 ? 400 : 0;
}

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
        if (TrimmedBlanks(item).compare(token, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool NoneMatchHits(const QByteArray& ifNoneMatch, const QByteArray& etag)
{
    const QByteArray value = TrimmedBlanks(ifNoneMatch).toByteArray();
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

} // namespace live
