// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/RaceDisplay.h"

#include "app/UiHelpers.h"
#include "controls/Udigit.h"

#include <QFontMetrics>
#include <QLabel>

#include <type_traits>

// The settings table stores the display's colours as they are.
static_assert(std::is_same_v<TColor, settings::StoredColour>);

namespace {

constexpr int kHeight = 241;
constexpr int kDigitPlace = 48; // a digit and its gap
// The panel's width at each accuracy: hundredths, tenths (one digit less),
// whole seconds (three digit places less, the comma's room kept).
constexpr int kWidthHundredths = 444;
constexpr int kWidthSecondsBase = 451;

} // namespace

TRaceDisplay::TRaceDisplay(QWidget* parent)
    : QFrame(parent)
{
    SetBackgroundColor(this, m_colours.background);
    setFixedWidth(kWidthHundredths);
    setFocusPolicy(Qt::StrongFocus);

    Face = new QWidget(this);
    Face->setGeometry(0, 0, 460, kHeight);
    constexpr int lefts[DisplayTime::DigitCount] = { 8, 88, 136, 216, 264, 344, 392 };
    constexpr int tops[2] = { 11, 136 };
    auto digit = [](QWidget* owner, int left, int top) {
        auto* d = new TDigit(owner);
        d->setGeometry(left, top, 45, 89);
        d->SetThickness(5);
        d->SetSeparation(1);
        d->SetColor(clBlack);
        d->SetColorOff(clBlack);
        return d;
    };
    for (int row = 0; row < 2; ++row) {
        for (int i = 0; i < DisplayTime::DigitCount; ++i)
            Digits[row][i] = digit(Face, lefts[i], tops[row]);
        DigitHourTens[row] = digit(this, 8, tops[row]);
        DigitHourTens[row]->setVisible(false);
    }
    Digit8 = Digits[0][DisplayTime::Hundredths];

    const QFont sep = DesignFont(QStringLiteral("Times New Roman"), 64, true);
    auto separator = [&](const QString& text, int left, int top) {
        return PlacedLabel(Face, text, sep, QRect(left, top, 25, 81), Qt::AlignHCenter | Qt::AlignTop);
    };
    LabHour = separator(QStringLiteral(":"), 61, 11);
    LabHour2 = separator(QStringLiteral(":"), 61, 136);
    LabMin = separator(QStringLiteral("."), 192, 41);
    LabMin2 = separator(QStringLiteral("."), 192, 166);
    LabSec = separator(QStringLiteral(","), 320, 41);
    LabSec2 = separator(QStringLiteral(","), 320, 166);

    const QFont unit = DesignFont(QStringLiteral("Arial"), 19, true);
    auto caption = [&](const QString& text, int left) {
        const int w = QFontMetrics(unit).horizontalAdvance(text) + 2;
        return PlacedLabel(Face, text, unit, QRect(left, 106, w, 24), Qt::AlignCenter);
    };
    Lab_Hour = caption(QStringLiteral("Std."), 12);
    Lab_Min = caption(QStringLiteral("Min."), 116);
    Lab_sek = caption(QStringLiteral("Sek."), 244);
    Lab_100 = caption(QStringLiteral("1/100"), 366);
}

void TRaceDisplay::ShowRow(int row, std::int32_t ms)
{
    const DisplayTime d = SplitDisplayTime(ms, row);
    const TColor lit = row == 0 ? m_colours.digit : m_colours.secondRow;
    auto& digits = Digits[row];
    for (int i = 0; i < DisplayTime::DigitCount; ++i)
        digits[i]->SetValue(d.value[i]);

    auto colour = [&](int digit) { return d.lit[digit] ? lit : m_colours.dim; };
    // Row 0 keeps its seconds and fraction in the digit colour of the colour
    // setup; only the leading digits are dimmed there.
    const int dimmed = row == 0 ? DisplayTime::Seconds : DisplayTime::DigitCount;
    for (int i = 0; i < dimmed; ++i)
        digits[i]->SetColorOn(colour(i));

    DigitHourTens[row]->SetValue(d.hourTens);
    DigitHourTens[row]->SetColorOn(d.hourTensLit ? lit : m_colours.dim);
    m_hours[row] = d.hourTens * 10 + d.value[DisplayTime::Hours];
    const bool wide = m_hours[0] >= 10 || m_hours[1] >= 10;
    if (wide != m_wideHours) {
        m_wideHours = wide;
        applyWidth();
    }

    if (row == 0) {
        SetFontColor(LabHour, colour(DisplayTime::Hours));
        SetFontColor(Lab_Hour, colour(DisplayTime::Hours));
        SetFontColor(LabMin, colour(DisplayTime::Minutes));
        SetFontColor(Lab_Min, colour(DisplayTime::Minutes));
    } else {
        SetFontColor(LabHour2, colour(DisplayTime::Hours));
        SetFontColor(LabMin2, colour(DisplayTime::Minutes));
        SetFontColor(LabSec2, colour(DisplayTime::Seconds));
    }
}

void TRaceDisplay::SetAccuracy(int accuracy)
{
    for (auto& row : Digits) {
        row[DisplayTime::Hundredths]->setVisible(accuracy == 2);
        row[DisplayTime::Tenths]->setVisible(accuracy > 0);
    }
    const int digitWidth = Digits[0][0]->width();
    if (accuracy == 0)
        m_width = kWidthSecondsBase - 3 * digitWidth;
    else if (accuracy == 1)
        m_width = kWidthHundredths - digitWidth;
    else if (accuracy == 2)
        m_width = kWidthHundredths;
    applyWidth();
    Lab_100->move(20 * accuracy + 326, Lab_100->y());
    Lab_100->setText(QStringLiteral("1/") + QString::number(90 * accuracy - 80));
    Lab_100->setVisible(accuracy > 0);
    LabSec->setVisible(accuracy > 0);
    LabSec2->setVisible(accuracy > 0);
}

void TRaceDisplay::applyWidth()
{
    const int shift = m_wideHours ? kDigitPlace : 0;
    Face->move(shift, 0);
    for (TDigit* tens : DigitHourTens)
        tens->setVisible(m_wideHours);
    setFixedWidth(m_width + shift);
}

void TRaceDisplay::SetColours(const settings::Colours& colours)
{
    m_colours = colours;
    auto paint = [&](TDigit* digit) {
        digit->SetColorOn(colours.digit);
        digit->SetColorOff(colours.background);
        digit->SetColor(colours.background);
    };
    for (auto& row : Digits)
        for (TDigit* digit : row)
            paint(digit);
    for (TDigit* digit : DigitHourTens)
        paint(digit);
    for (QLabel* l : { LabHour, LabMin, LabSec, Lab_Hour, Lab_Min, Lab_sek, Lab_100, LabHour2, LabMin2, LabSec2 })
        SetFontColor(l, colours.digit);
    SetBackgroundColor(this, colours.background);
}
