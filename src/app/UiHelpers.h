// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "controls/ColorValue.h"

#include <QFont>
#include <QRect>
#include <QString>

#include <functional>

class QLabel;
class QWidget;

// Fonts the window is designed with, mapped onto their metric twins
// (Liberation Sans for Arial and MS Sans Serif, Liberation Serif for Times
// New Roman, Liberation Mono for Courier New).
QFont DesignFont(const QString& family, int pixelSize, bool bold = false);

void SetFontColor(QWidget* widget, TColor colour);
// A label with a transparent background at a fixed place, as the design
// lays out captions over coloured panels.
QLabel* PlacedLabel(QWidget* parent, const QString& text, const QFont& font, QRect geometry, Qt::Alignment align);
void SetBackgroundColor(QWidget* widget, TColor colour);

// The file as the operator can find it again: a name without a folder is in
// the working folder, which the message names as well.
QString FullPath(const QString& fileName);

// The message for a file that could not be written or read: what failed,
// the file with its folder and the system's reason, one to a line.
QString FileFailureText(const QString& what, const QString& fileName, const QString& reason);

// The widget's tooltip, made by `text` each time it is about to show (an
// empty text shows none).
void InstallToolTipSource(QWidget* widget, std::function<QString()> text);

// The hourglass pointer for the lifetime of the object.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    Q_DISABLE_COPY_MOVE(WaitCursor)
};
