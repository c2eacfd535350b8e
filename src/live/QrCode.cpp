// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/QrCode.h"

#include <qrencode.h>

#include <memory>

namespace live {

QrCode EncodeQr(const QString& text)
{
    QrCode code;
    const QByteArray utf8 = text.toUtf8();
    if (utf8.isEmpty())
        return code;
    std::unique_ptr<QRcode, decltype(&QRcode_free)> qr(
        QRcode_encodeString8bit(utf8.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!qr)
        return code;
    code.size = qr->width;
    code.dark.resize(static_cast<size_t>(qr->width) * static_cast<size_t>(qr->width));
    for (size_t i = 0; i < code.dark.size(); ++i)
        code.dark[i] = qr->data[i] & 1; // bit 0: dark module
    return code;
}

} // namespace live
