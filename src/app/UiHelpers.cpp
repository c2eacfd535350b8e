// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/UiHelpers.h"

#include "controls/Dialogs.h"

#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
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

QLabel* PlacedLabel(QWidget* parent, const QString& text, const QFont& font, QRect geometry, Qt::Alignment align)
{
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    l->setGeometry(geometry);
    l->setAlignment(align);
    l->setAttribute(Qt::WA_TranslucentBackground);
    return l;
}

void SetBackgroundColor(QWidget* widget, TColor colour)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, ToQColor(colour));
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
}

QString FullPath(const QString& fileName)
{
    return fileName.isEmpty() ? fileName : QFileInfo(fileName).absoluteFilePath();
}

QString FileFailureText(const QString& what, const QString& fileName, const QString& reason)
{
    return what + QLatin1Char('\r') + FullPath(fileName) + QLatin1Char('\r') + reason;
}

namespace {

class ToolTipSource final : public QObject {
public:
    ToolTipSource(QWidget* widget, std::function<QString()> text)
        : QObject(widget)
        , m_text(std::move(text))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip)
            static_cast<QWidget*>(watched)->setToolTip(m_text());
        return false; // the widget shows it
    }

private:
    std::function<QString()> m_text;
};

} // namespace

void InstallToolTipSource(QWidget* widget, std::function<QString()> text)
{
    new ToolTipSource(widget, std::move(text));
}

WaitCursor::WaitCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QGuiApplication::restoreOverrideCursor();
}
