// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/GridColors.h"

#include <QPalette>

#include <array>

namespace {

struct NamedColor {
    TColor value;
    const char* name;
};

constexpr std::array kNamedColors {
    NamedColor { 0x000000, "clBlack" },
    NamedColor { 0x000080, "clMaroon" },
    NamedColor { 0x008000, "clGreen" },
    NamedColor { 0x008080, "clOlive" },
    NamedColor { 0x800000, "clNavy" },
    NamedColor { 0x800080, "clPurple" },
    NamedColor { 0x808000, "clTeal" },
    NamedColor { 0x808080, "clGray" },
    NamedColor { 0xC0C0C0, "clSilver" },
    NamedColor { 0x0000FF, "clRed" },
    NamedColor { 0x00FF00, "clLime" },
    NamedColor { 0x00FFFF, "clYellow" },
    NamedColor { 0xFF0000, "clBlue" },
    NamedColor { 0xFF00FF, "clFuchsia" },
    NamedColor { 0xFFFF00, "clAqua" },
    NamedColor { 0xFFFFFF, "clWhite" },
    NamedColor { kSystemColorFlag | 0, "clScrollBar" },
    NamedColor { kSystemColorFlag | 1, "clBackground" },
    NamedColor { kSystemColorFlag | 2, "clActiveCaption" },
    NamedColor { kSystemColorFlag | 3, "clInactiveCaption" },
    NamedColor { kSystemColorFlag | 4, "clMenu" },
    NamedColor { kSystemColorFlag | 5, "clWindow" },
    NamedColor { kSystemColorFlag | 6, "clWindowFrame" },
    NamedColor { kSystemColorFlag | 7, "clMenuText" },
    NamedColor { kSystemColorFlag | 8, "clWindowText" },
    NamedColor { kSystemColorFlag | 9, "clCaptionText" },
    NamedColor { kSystemColorFlag | 10, "clActiveBorder" },
    NamedColor { kSystemColorFlag | 11, "clInactiveBorder" },
    NamedColor { kSystemColorFlag | 12, "clAppWorkSpace" },
    NamedColor { kSystemColorFlag | 13, "clHighlight" },
    NamedColor { kSystemColorFlag | 14, "clHighlightText" },
    NamedColor { kSystemColorFlag | 15, "clBtnFace" },
    NamedColor { kSystemColorFlag | 16, "clBtnShadow" },
    NamedColor { kSystemColorFlag | 17, "clGrayText" },
    NamedColor { kSystemColorFlag | 18, "clBtnText" },
    NamedColor { kSystemColorFlag | 19, "clInactiveCaptionText" },
    NamedColor { kSystemColorFlag | 20, "clBtnHighlight" },
    NamedColor { kSystemColorFlag | 21, "cl3DDkShadow" },
    NamedColor { kSystemColorFlag | 22, "cl3DLight" },
    NamedColor { kSystemColorFlag | 23, "clInfoText" },
    NamedColor { kSystemColorFlag | 24, "clInfoBk" },
    NamedColor { kSystemColorFlag | 26, "clHotLight" },
    NamedColor { kSystemColorFlag | 27, "clGradientActiveCaption" },
    NamedColor { kSystemColorFlag | 28, "clGradientInactiveCaption" },
    NamedColor { kSystemColorFlag | 29, "clMenuHighlight" },
    NamedColor { kSystemColorFlag | 30, "clMenuBar" },
    NamedColor { 0x1FFFFFFF, "clNone" },
    NamedColor { 0x20000000, "clDefault" },
};

QPalette::ColorRole systemRole(int index)
{
    switch (index) {
    case 1:
    case 4:
    case 30:
        return QPalette::Window;
    case 2:
    case 13:
    case 27:
    case 29:
        return QPalette::Highlight;
    case 3:
    case 28:
        return QPalette::Mid;
    case 5:
        return QPalette::Base;
    case 6:
    case 21:
        return QPalette::Shadow;
    case 7:
    case 19:
        return QPalette::WindowText;
    case 8:
        return QPalette::Text;
    case 9:
    case 14:
        return QPalette::HighlightedText;
    case 12:
    case 16:
        return QPalette::Dark;
    case 17:
        return QPalette::PlaceholderText;
    case 18:
        return QPalette::ButtonText;
    case 20:
        return QPalette::Light;
    case 22:
        return QPalette::Midlight;
    case 23:
        return QPalette::ToolTipText;
    case 24:
        return QPalette::ToolTipBase;
    case 26:
        return QPalette::Link;
    default:
        return QPalette::Button; // scroll bar, borders, button face
    }
}

} // namespace

QString ColorToString(TColor color)
{
    for (const NamedColor& named : kNamedColors)
        if (named.value == color)
            return QLatin1String(named.name);
    return QLatin1Char('$') + QStringLiteral("%1").arg(static_cast<quint32>(color), 8, 16, QLatin1Char('0')).toUpper();
}

TColor StringToColor(const QString& text, bool* ok)
{
    for (const NamedColor& named : kNamedColors) {
        if (text.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0) {
            if (ok)
                *ok = true;
            return named.value;
        }
    }
    const QString trimmed = text.trimmed();
    bool converted = false;
    qint64 value = 0;
    if (trimmed.startsWith(QLatin1Char('$')))
        value = static_cast<qint64>(trimmed.mid(1).toUInt(&converted, 16));
    else if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = static_cast<qint64>(trimmed.mid(2).toUInt(&converted, 16));
    else
        value = trimmed.toLongLong(&converted, 10);
    if (converted && (value < INT32_MIN || value > static_cast<qint64>(UINT32_MAX)))
        converted = false;
    if (ok)
        *ok = converted;
    return converted ? static_cast<TColor>(static_cast<quint32>(value)) : 0;
}

QColor ColorToQColor(TColor color, const QPalette& palette)
{
    const quint32 bits = static_cast<quint32>(color);
    if ((bits & 0xFF000000u) == 0xFF000000u)
        return palette.color(QPalette::Active, systemRole(static_cast<int>(bits & 0xFFu)));
    if (color == 0x1FFFFFFF)
        return Qt::transparent; // clNone
    if (color == 0x20000000)
        return palette.color(QPalette::Active, QPalette::Base); // clDefault
    return QColor(
        static_cast<int>(bits & 0xFFu), static_cast<int>((bits >> 8) & 0xFFu), static_cast<int>((bits >> 16) & 0xFFu));
}
