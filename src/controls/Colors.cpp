#include "controls/Colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace colors {

namespace {

QPalette::ColorRole roleOf(int index)
{
    switch (index) {
    case 5:
        return QPalette::Base;
    case 8:
        return QPalette::Text;
    case 13:
        return QPalette::Highlight;
    case 14:
        return QPalette::HighlightedText;
    case 16:
        return QPalette::Dark;
    case 18:
        return QPalette::ButtonText;
    case 20:
        return QPalette::Light;
    default:
        return QPalette::Button;
    }
}

} // namespace

bool IsSystemColor(TColor c)
{
    return (c & 0xFF000000u) == kSystemColor;
}

QColor ToQColor(TColor c)
{
    if (IsSystemColor(c)) {
        const int index = int(c & 0xFF);
        const QPalette palette = QGuiApplication::palette();
        if (index == 17)
            return palette.color(QPalette::Disabled, QPalette::Text);
        return palette.color(QPalette::Active, roleOf(index));
    }
    return QColor(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF));
}

TColor FromQColor(const QColor& c)
{
    return Rgb(c.red(), c.green(), c.blue());
}

} // namespace colors
