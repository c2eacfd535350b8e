// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/Gzip.h"

#include <QList>

#include <zlib.h>

#include <algorithm>
#include <optional>

namespace live {

namespace {

void appendLittleEndian32(QByteArray& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t crcOf(const QByteArray& data)
{
    return static_cast<std::uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
}

} // namespace

DeflatedPart DeflatePiece(const QByteArray& data, int level)
{
    DeflatedPart part;
    part.size = data.size();
    part.crc = crcOf(data);
    z_stream z {};
    // Negative window bits: a raw stream, without zlib's own header.
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return part;
    // The bound covers a finished stream; the flush marker is a few bytes more.
    part.deflated.resize(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(data.size()))) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(part.deflated.data());
    z.avail_out = static_cast<uInt>(part.deflated.size());
    // A full flush ends on a byte boundary and forgets what came before.
    const int result = deflate(&z, Z_FULL_FLUSH);
    part.deflated.resize(result == Z_OK && z.avail_in == 0 ? static_cast<qsizetype>(z.total_out) : 0);
    deflateEnd(&z);
    return part;
}

QByteArray StoredBlocks(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size() + 5 * (data.size() / 0xFFFF + 1));
    // BFINAL 0, BTYPE 00, then LEN and its complement; an empty block for no data.
    qsizetype from = 0;
    do {
        const auto len = static_cast<std::uint16_t>(std::min<qsizetype>(0xFFFF, data.size() - from));
        const auto nlen = static_cast<std::uint16_t>(~len);
        out += '\0';
        out += static_cast<char>(len & 0xFF);
        out += static_cast<char>(len >> 8);
        out += static_cast<char>(nlen & 0xFF);
        out += static_cast<char>(nlen >> 8);
        out += data.mid(from, len);
        from += len;
    } while (from < data.size());
    return out;
}

QByteArray GzipHeader()
{
    // ID1 ID2, deflate, no flags, no time, no extra flags, Unix.
    return QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
}

void GzipTally::Add(const QByteArray& data)
{
    m_crc = static_cast<std::uint32_t>(crc32_combine(m_crc, crcOf(data), static_cast<z_off_t>(data.size())));
    m_size += data.size();
}

void GzipTally::Add(const DeflatedPart& part)
{
    m_crc = static_cast<std::uint32_t>(crc32_combine(m_crc, part.crc, static_cast<z_off_t>(part.size)));
    m_size += part.size;
}

QByteArray GzipTally::Trailer() const
{
    // A final fixed-Huffman block with nothing but its end: bits 1, 01, 0000000.
    QByteArray out("\x03\x00", 2);
    appendLittleEndian32(out, m_crc);
    appendLittleEndian32(out, static_cast<std::uint32_t>(m_size));
    return out;
}

bool AcceptsGzip(const QByteArray& acceptEncoding)
{
    // gzip (or its old name x-gzip) by its own weight, else by that of "*".
    std::optional<double> gzip, any;
    for (const QByteArray& item : acceptEncoding.split(',')) {
        const QList<QByteArray> parts = item.split(';');
        const QByteArray coding = parts.first().trimmed().toLower();
        double weight = 1.0;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray p = parts[i].trimmed().toLower();
            if (p.startsWith("q="))
                weight = p.mid(2).toDouble();
        }
        if (coding == "gzip" || coding == "x-gzip")
            gzip = weight;
        else if (coding == "*")
            any = weight;
    }
    return gzip ? *gzip > 0.0 : any && *any > 0.0;
}

} // namespace live
