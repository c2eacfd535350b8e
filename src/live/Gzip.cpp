#include "live/Gzip.h"

#include <QList>

#include <zlib.h>

#include <algorithm>

namespace live {

namespace {

void appendLittleEndian32(QByteArray& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

DeflatedPart Deflate(const QByteArray& data, int level)
{
    DeflatedPart part;
    part.size = data.size();
    part.crc = static_cast<std::uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
    z_stream z {};
    // Negative window bits: a raw stream, without zlib's own header.
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return part;
    part.deflated.resize(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(data.size()))));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(part.deflated.data());
    z.avail_out = static_cast<uInt>(part.deflated.size());
    const int result = deflate(&z, Z_FINISH);
    part.deflated.resize(result == Z_STREAM_END ? static_cast<qsizetype>(z.total_out) : 0);
    deflateEnd(&z);
    return part;
}

GzipPieces GzipAfter(const QByteArray& head, const DeflatedPart& rest)
{
    GzipPieces out;
    // ID1 ID2, deflate, no flags, no time, no extra flags, Unix.
    out.front = QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    // Stored blocks, not final: BFINAL 0, BTYPE 00, then LEN and its complement.
    for (qsizetype from = 0; from < head.size(); from += 0xFFFF) {
        const auto len = static_cast<std::uint16_t>(std::min<qsizetype>(0xFFFF, head.size() - from));
        const auto nlen = static_cast<std::uint16_t>(~len);
        out.front += '\0';
        out.front += static_cast<char>(len & 0xFF);
        out.front += static_cast<char>(len >> 8);
        out.front += static_cast<char>(nlen & 0xFF);
        out.front += static_cast<char>(nlen >> 8);
        out.front += head.mid(from, len);
    }
    out.rest = rest.deflated;
    const uLong headCrc
        = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(head.constData()), static_cast<uInt>(head.size()));
    const uLong crc = crc32_combine(headCrc, rest.crc, static_cast<z_off_t>(rest.size));
    appendLittleEndian32(out.back, static_cast<std::uint32_t>(crc));
    appendLittleEndian32(out.back, static_cast<std::uint32_t>(head.size() + rest.size));
    return out;
}

bool AcceptsGzip(const QByteArray& acceptEncoding)
{
    for (const QByteArray& item : acceptEncoding.split(',')) {
        const QList<QByteArray> parts = item.split(';');
        if (parts.first().trimmed().toLower() != "gzip")
            continue;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray p = parts[i].trimmed().toLower();
            if (p.startsWith("q=") && p.mid(2).toDouble() == 0.0)
                return false;
        }
        return true;
    }
    return false;
}

} // namespace live
