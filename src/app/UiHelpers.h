#pragma once

#include "controls/ColorValue.h"

#include <QFont>
#include <QString>

class QWidget;

// Fonts the window is designed with, mapped onto their metric twins
// (Liberation Sans for Arial and MS Sans Serif, Liberation Serif for Times
// New Roman, Liberation Mono for Courier New).
QFont DesignFont(const QString& family, int pixelSize, bool bold = false);

void SetFontColor(QWidget* widget, TColor colour);
void SetBackgroundColor(QWidget* widget, TColor colour);

// The hourglass pointer for the lifetime of the object.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    Q_DISABLE_COPY_MOVE(WaitCursor)
};
