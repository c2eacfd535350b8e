// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/HtmlText.h"

#include <algorithm>

namespace platform {

QString EscapeHtml(const QString& text, HtmlQuotes quotes)
{
    const auto entity = [quotes](QChar c) -> QLatin1String {
        switch (c.unicode()) {
        case u'&':
            return QLatin1String("&amp;");
        case u'<':
            return QLatin1String("&lt;");
        case u'>':
            return QLatin1String("&gt;");
        case u'"':
            return quotes != HtmlQuotes::None ? QLatin1String("&quot;") : QLatin1String();
        case u'\'':
            return quotes == HtmlQuotes::Both ? QLatin1String("&#39;") : QLatin1String();
        default:
            return QLatin1String();
        }
    };
    // Most texts hold nothing to escape; they are used as they are.
    if (std::none_of(text.cbegin(), text.cend(), [&](QChar c) { return !entity(c).isEmpty(); }))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (QChar c : text) {
        const QLatin1String e = entity(c);
        if (e.isEmpty())
            out += c;
        else
            out += e;
    }
    return out;
}

} // namespace platform
