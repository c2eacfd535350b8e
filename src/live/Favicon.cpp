// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/Favicon.h"

#include <QtEndian>

namespace live {

namespace {

void appendLittle16(QByteArray& out, quint16 v)
{
    char bytes[2];
    qToLittleEndian(v, bytes);
    out.append(bytes, 2);
}

void appendLittle32(QByteArray& out, quint32 v)
{
    char bytes[4];
    qToLittleEndian(v, bytes);
    out.append(bytes, 4);
}

QByteArray makeIco()
{
    const std::vector<FaviconImage> images = FaviconImages();
    QByteArray ico;
    appendLittle16(ico, 0); // reserved
    appendLittle16(ico, 1); // an icon
    appendLittle16(ico, static_cast<quint16>(images.size()));
    quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
    for (const FaviconImage& image : images) {
        ico.append(static_cast<char>(image.size >= 256 ? 0 : image.size)); // width; 0 means 256
        ico.append(static_cast<char>(image.size >= 256 ? 0 : image.size)); // height
        ico.append('\0'); // no palette
        ico.append('\0'); // reserved
        appendLittle16(ico, 1); // colour planes
        appendLittle16(ico, 32); // bits per pixel
        appendLittle32(ico, static_cast<quint32>(image.png.size()));
        appendLittle32(ico, offset);
        offset += static_cast<quint32>(image.png.size());
    }
    for (const FaviconImage& image : images)
        ico += image.png;
    return ico;
}

} // namespace

const QByteArray& FaviconIco()
{
    static const QByteArray ico = makeIco();
    return ico;
}

} // namespace live
