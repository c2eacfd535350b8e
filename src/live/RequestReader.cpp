// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/HttpRequest.h"

#include "live/HttpHead.h"

#include <optional>

namespace live {

namespace {

using Result = ParsedRequest::Result;

ParsedRequest needMore()
{
    return {};
}

// A decimal length without sign, within what a request may ever take.
std::optional<qint64> decimalLength(QByteArrayView text)
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

// The size of a chunk from its size line (extensions are ignored).
std::optional<qint64> chunkSize(QByteArrayView line)
{
    const qsizetype semicolon = line.indexOf(';');
    const QByteArrayView size = TrimmedBlanks(semicolon < 0 ? line : line.first(semicolon));
    if (size.isEmpty() || size.size() > 8)
        return std::nullopt;
    qint64 n = 0;
    for (const char c : size) {
        const int digit = c >= '0' && c <= '9' ? c - '0'
            : c >= 'a' && c <= 'f'             ? c - 'a' + 10
            : c >= 'A' && c <= 'F'             ? c - 'A' + 10
                                               : -1;
        if (digit < 0)
            return std::nullopt;
        n = n * 16 + digit;
    }
    return n;
}

} // namespace

RequestReader::RequestReader(qsizetype maxBytes)
    : m_maxBytes(maxBytes)
{
}

void RequestReader::Append(const QByteArray& bytes)
{
    if (m_phase == Phase::Refused)
        return;
    if (m_input.isEmpty())
        m_input = bytes;
    else
        m_input += bytes;
}

void RequestReader::Clear()
{
    m_input.clear();
    m_at = 0;
    reset();
}

void RequestReader::reset()
{
    m_phase = Phase::Lines;
    m_begin = m_lineStart = m_at;
    m_scan = m_at;
    m_lines = 0;
    m_fields = {};
    m_parsed = {};
    m_bodyStart = 0;
    m_body = {};
    m_expectsContinue = false;
}

ParsedRequest RequestReader::Next()
{
    for (;;) {
        std::optional<ParsedRequest> done;
        switch (m_phase) {
        case Phase::Lines:
            done = skipEmptyLines();
            break;
        case Phase::Head:
            done = scanHead();
            break;
        case Phase::Body:
            done = m_body.chunked ? readChunks() : readBody();
            break;
        case Phase::Refused:
            return { Result::Refused, {}, 0, m_refusal };
        }
        if (done)
            return *done;
    }
}

bool RequestReader::TakeContinue()
{
    if (m_phase != Phase::Body || !m_expectsContinue)
        return false;
    m_expectsContinue = false;
    return true;
}

ParsedRequest RequestReader::refuse(int status)
{
    m_phase = Phase::Refused;
    m_refusal = status;
    m_input.clear();
    m_at = 0;
    return { Result::Refused, {}, 0, status };
}

std::optional<ParsedRequest> RequestReader::skipEmptyLines()
{
    // Empty lines before a request are passed over (RFC 9112, 2.2).
    qsizetype pos = m_begin;
    const qsizetype size = m_input.size();
    for (;;) {
        if (pos < size && m_input[pos] == '\n')
            ++pos;
        else if (pos + 1 < size && m_input[pos] == '\r' && m_input[pos + 1] == '\n')
            pos += 2;
        else
            break;
        if (pos - m_at > m_maxBytes)
            return refuse(431);
    }
    m_begin = pos;
    if (pos == size || (pos + 1 == size && m_input[pos] == '\r'))
        return needMore();
    m_lineStart = m_scan = pos;
    m_phase = Phase::Head;
    return std::nullopt;
}

std::optional<ParsedRequest> RequestReader::scanHead()
{
    for (;;) {
        // Only what has come since the last search is searched.
        const qsizetype lf = m_input.indexOf('\n', m_scan);
        if (lf < 0) {
            m_scan = m_input.size();
            return m_input.size() - m_begin > m_maxBytes ? refuse(431) : needMore();
        }
        m_scan = lf + 1;
        if (lf + 1 - m_begin > m_maxBytes)
            return refuse(431);
        const qsizetype end = lf > m_lineStart && m_input[lf - 1] == '\r' ? lf - 1 : lf;
        if (m_lines == 0) {
            // The request line is read as soon as it has ended: a malformed
            // one is refused before the rest of its head has come.
            const QByteArrayView line = QByteArrayView(m_input).sliced(m_lineStart, end - m_lineStart);
            if (const int status = ReadRequestLine(line, m_parsed.request))
                return refuse(status);
            if (const int status = ReadTarget(m_parsed.request))
                return refuse(status);
        } else if (end == m_lineStart) {
            return readHead(lf + 1);
        } else if (const int status
            = m_fields.Add(QByteArrayView(m_input).sliced(m_lineStart, end - m_lineStart), m_parsed.request)) {
            return refuse(status);
        }
        ++m_lines;
        m_lineStart = lf + 1;
    }
}

std::optional<ParsedRequest> RequestReader::readHead(qsizetype headEnd)
{
    HttpRequest& r = m_parsed.request;
    if (const int status = m_fields.Finish(r))
        return refuse(status);
    m_bodyStart = headEnd;
    // The body: Content-Length or chunked, nothing else.
    const bool hasLength = r.HasField("content-length");
    if (r.HasField("transfer-encoding")) {
        const QList<QByteArray> codings = r.Field("transfer-encoding").split(',');
        if (r.minor == 0 || hasLength || TrimmedBlanks(codings.last()).compare("chunked", Qt::CaseInsensitive) != 0)
            return refuse(400);
        if (codings.size() > 1)
            return refuse(501);
        m_body.chunked = true;
        m_body.scanned = m_body.searched = headEnd;
    } else if (hasLength) {
        // "5, 5" (a repeated field) is one length; differing ones are not.
        std::optional<qint64> length;
        for (const QByteArray& item : r.Field("content-length").split(',')) {
            const std::optional<qint64> v = decimalLength(TrimmedBlanks(item));
            if (!v || (length && *length != *v))
                return refuse(400);
            length = v;
        }
        if (headEnd - m_begin + *length > m_maxBytes)
            return refuse(413);
        m_body.length = static_cast<qsizetype>(*length);
    }
    // An HTTP/1.0 client cannot know the interim answer, so its expectation
    // is passed over (RFC 9110, 10.1.1).
    if (r.minor >= 1 && r.HasField("expect")) {
        if (TrimmedBlanks(r.Field("expect")).compare("100-continue", Qt::CaseInsensitive) != 0)
            return refuse(417);
        m_expectsContinue = true;
    }
    m_phase = Phase::Body;
    return std::nullopt;
}

std::optional<ParsedRequest> RequestReader::readBody()
{
    if (m_input.size() - m_bodyStart < m_body.length)
        return needMore();
    return complete(m_bodyStart + m_body.length);
}

std::optional<ParsedRequest> RequestReader::readChunks()
{
    // A chunk is taken once its size line, data and line end have all come;
    // the reading goes on from there.
    const qsizetype limit = m_maxBytes - (m_bodyStart - m_begin);
    for (;;) {
        const qsizetype pos = m_body.scanned;
        const qsizetype lf = m_input.indexOf('\n', m_body.searched);
        if (lf < 0) {
            m_body.searched = m_input.size();
            return m_input.size() - m_bodyStart > limit ? refuse(413) : needMore();
        }
        const qsizetype end = lf > pos && m_input[lf - 1] == '\r' ? lf - 1 : lf;
        if (lf + 1 - m_bodyStart > limit)
            return refuse(413);
        if (m_body.trailer) {
            // Trailer fields, then an empty line.
            m_body.scanned = m_body.searched = lf + 1;
            if (end == pos)
                return complete(lf + 1);
            continue;
        }
        const std::optional<qint64> n = chunkSize(QByteArrayView(m_input).sliced(pos, end - pos));
        if (!n)
            return refuse(400);
        const qsizetype dataAt = lf + 1;
        if (dataAt - m_bodyStart + *n > limit)
            return refuse(413);
        if (*n == 0) {
            m_body.trailer = true;
            m_body.scanned = m_body.searched = dataAt;
            continue;
        }
        // The data, then CR LF or a bare LF.
        const qsizetype after = dataAt + static_cast<qsizetype>(*n);
        if (m_input.size() <= after)
            return needMore();
        qsizetype next = -1;
        if (m_input[after] == '\n')
            next = after + 1;
        else if (m_input[after] == '\r' && after + 1 == m_input.size())
            return needMore();
        else if (m_input[after] == '\r' && m_input[after + 1] == '\n')
            next = after + 2;
        if (next < 0)
            return refuse(400);
        m_body.scanned = m_body.searched = next;
    }
}

ParsedRequest RequestReader::complete(qsizetype end)
{
    ParsedRequest done = std::move(m_parsed);
    done.result = Result::Complete;
    done.length = end - m_at;
    m_at = end;
    // What is taken leaves the buffer now and then, not with every request.
    if (m_at == m_input.size()) {
        m_input.clear();
        m_at = 0;
    } else if (m_at > m_input.size() / 2) {
        m_input.remove(0, m_at);
        m_at = 0;
    }
    reset();
    return done;
}

ParsedRequest ParseRequest(const QByteArray& input, qsizetype maxBytes)
{
    RequestReader reader(maxBytes);
    reader.Append(input);
    return reader.Next();
}

} // namespace live
