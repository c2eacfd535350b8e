#pragma once

#include <QByteArray>

#include <cstdint>

// Gzip for answers that are the same for every client but for a short start
// (the race clock, the page head): the rest is compressed once per change of
// the results, the start travels uncompressed in front of it. A deflate
// stream may begin with an uncompressed block, and the compressed rest never
// refers back beyond its own start, so both halves make one valid stream.
namespace live {

struct DeflatedPart {
    QByteArray deflated; // a complete raw deflate stream of the data
    std::uint32_t crc = 0; // CRC-32 of the data
    std::int64_t size = 0; // length of the data
};

DeflatedPart Deflate(const QByteArray& data, int level = 1);

// The gzip member of `head` followed by the data of `rest`, as pieces to be
// sent one after the other (the rest's bytes are shared, not copied).
struct GzipPieces {
    QByteArray front; // gzip header and `head` in stored blocks
    QByteArray rest; // rest.deflated
    QByteArray back; // CRC-32 and length of all the data
    qint64 size() const { return front.size() + rest.size() + back.size(); }
    QByteArray joined() const { return front + rest + back; }
};
GzipPieces GzipAfter(const QByteArray& head, const DeflatedPart& rest);

// Whether an Accept-Encoding header value admits gzip.
bool AcceptsGzip(const QByteArray& acceptEncoding);

} // namespace live
