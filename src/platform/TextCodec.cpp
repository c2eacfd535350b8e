// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/TextCodec.h"

#include <QStringDecoder>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace platform {

QString DecodeWindows1252(const QByteArray& bytes)
{
    iconv_t cd = iconv_open("UTF-8", "WINDOWS-1252");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString::fromLatin1(bytes);
    std::vector<char> out(static_cast<size_t>(bytes.size()) * 3 + 4);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = static_cast<size_t>(bytes.size());
    char* dst = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno == EILSEQ || errno == EINVAL) {
            // Five byte values are unassigned in Windows-1252; keep them as
            // the control characters of the same value rather than lose them.
            const unsigned char c = static_cast<unsigned char>(*in);
            const QByteArray u = QString(QChar(c)).toUtf8();
            if (outLeft < static_cast<size_t>(u.size()))
                break;
            for (char b : u)
                *dst++ = b;
            outLeft -= static_cast<size_t>(u.size());
            ++in;
            --inLeft;
            continue;
        }
        break;
    }
    iconv_close(cd);
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(dst - out.data()));
}

QString DecodeText(const QByteArray& raw)
{
    QByteArray bytes = raw;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return DecodeWindows1252(bytes);
}

QByteArray EncodeLatin1WithReferences(const QString& text)
{
    // Almost every text is Latin-1 as it stands: the toolkit's bulk
    // conversion is many times faster than going character by character.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 256; }))
        return text.toLatin1();
    QByteArray out;
    out.reserve(text.size());
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        char32_t cp = it->unicode();
        if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(*it, *(it + 1));
            ++it;
        }
        if (cp < 256)
            out.append(static_cast<char>(cp));
        else
            out.append("&#" + QByteArray::number(static_cast<uint>(cp)) + ';');
    }
    return out;
}

} // namespace platform
