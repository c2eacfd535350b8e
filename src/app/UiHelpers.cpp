#include "app/UiHelpers.h"

#include <QGuiApplication>
#include <QPalette>
#include <QWidget>

QFont DesignFont(const QString& family, int pixelSize, bool bold)
{
    QString twin = family;
    if (family == QLatin1String("Arial") || family == QLatin1String("MS Sans Serif"))
        twin = QStringLiteral("Liberation Sans");
    else if (family == QLatin1String("Times New Roman"))
        twin = QStringLiteral("Liberation Serif");
    else if (family == QLatin1String("Courier New"))
        twin = QStringLiteral("Liberation Mono");
    QFont font(twin);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void SetFontColor(QWidget* widget, TColor colour)
{
    const QColor c = ToQColor(colour);
    QPalette pal = widget->palette();
    if (pal.color(QPalette::WindowText) == c)
        return;
    pal.setColor(QPalette::WindowText, c);
    pal.setColor(QPalette::Text, c);
    pal.setColor(QPalette::ButtonText, c);
    widget->setPalette(pal);
}

void SetBackgroundColor(QWidget* widget, TColor colour)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, ToQColor(colour));
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
}

WaitCursor::WaitCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QGuiApplication::restoreOverrideCursor();
}
