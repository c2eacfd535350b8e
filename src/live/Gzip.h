// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>

#include <cstdint>

// Gzip for answers and event streams that are the same for every client
// but for short parts (the race clock, the page head): the large parts are
// compressed once per change of the results, the short ones travel as
// uncompressed blocks between them. Every compressed part starts afresh and
// ends on a byte boundary, so the parts make one valid stream in any order.
namespace live {

struct DeflatedPart {
    QByteArray deflated; // raw deflate blocks of the data
    std::uint32_t crc = 0; // CRC-32 of the data
    std::int64_t size = 0; // length of the data
};

// A piece of a deflate stream that ends on a byte boundary, leaves the
// stream open and refers back to nothing before its start: pieces made one
// by one follow each other in one stream in any order. An event stream is a
// row of them, one per event, each flushed so the browser shows it at once;
// an event that is the same for many clients is compressed once for all.
DeflatedPart DeflatePiece(const QByteArray& data, int level = 1);

// The data as uncompressed (stored) deflate blocks that leave the stream open.
QByteArray StoredBlocks(const QByteArray& data);

// The gzip header that opens a stream of pieces.
QByteArray GzipHeader();

// What a gzip stream of pieces has carried so far, for the trailer that
// closes it.
class GzipTally {
public:
    void Add(const QByteArray& data);
    void Add(const DeflatedPart& part);
    // The final (empty) block, the CRC-32 and the length.
    QByteArray Trailer() const;

private:
    std::uint32_t m_crc = 0;
    std::int64_t m_size = 0;
};

// Whether an Accept-Encoding header value admits gzip.
bool AcceptsGzip(const QByteArray& acceptEncoding);

} // namespace live
