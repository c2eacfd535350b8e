// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/XmlText.h"

namespace protocol {

QString XmlSafeText(const QString& text)
{
    constexpr QChar kReplacement(0xFFFD);
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t u = out[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < out.size() && out[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        const bool allowed
            = u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u <= 0xD7FF) || (u >= 0xE000 && u <= 0xFFFD);
        if (!allowed)
            out[i] = kReplacement;
    }
    return out;
}

} // namespace protocol
