// The seven-segment display: the race clock, the current entry's time, the
// accuracy layout and the display colours; the time of day in the header.
#include "app/FMain.h"

#include "app/UiHelpers.h"
#include "controls/ButtonWithColor.h"
#include "controls/MessageTimer.h"
#include "controls/Udigit.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>

void TFormMain::ClockTimer()
{
    const platform::Tick now = platform::GetTickCount();
    const race::RaceView& view = m_race->View();
    if (view.raceStarted)
        DisplayRowUpdate(0, platform::TickDiff(now, view.firstStartTick));
    if (view.currentRowRunning)
        DisplayRowUpdate(1, platform::TickDiff(now, view.currentStartTick));
}

void TFormMain::DisplayRowUpdate(int row, std::int32_t ms)
{
    const DisplayTime d = SplitDisplayTime(ms, row);
    const TColor lit = row == 0 ? DigitColor : SecondRowColor;
    auto& digits = Digits[row];
    for (int i = 0; i < DisplayTime::DigitCount; ++i)
        digits[i]->SetValue(d.value[i]);

    auto colour = [&](int digit) { return d.lit[digit] ? lit : DimColor; };
    // Row 0 keeps its seconds and fraction in the digit colour of the colour
    // setup; only the leading digits are dimmed there.
    const int dimmed = row == 0 ? DisplayTime::Seconds : DisplayTime::DigitCount;
    for (int i = 0; i < dimmed; ++i)
        digits[i]->SetColorOn(colour(i));

    DigitHourTens[row]->SetValue(d.hourTens);
    DigitHourTens[row]->SetColorOn(d.hourTensLit ? lit : DimColor);
    m_displayHours[row] = d.hourTens * 10 + d.value[DisplayTime::Hours];
    const bool wide = m_displayHours[0] >= 10 || m_displayHours[1] >= 10;
    if (wide != m_wideHours) {
        m_wideHours = wide;
        ApplyTimerWidth();
    }

    auto setLabel = [](QLabel* label, TColor c) { SetFontColor(label, c); };
    if (row == 0) {
        setLabel(LabHour, colour(DisplayTime::Hours));
        setLabel(Lab_Hour, colour(DisplayTime::Hours));
        setLabel(LabMin, colour(DisplayTime::Minutes));
        setLabel(Lab_Min, colour(DisplayTime::Minutes));
    } else {
        setLabel(LabHour2, colour(DisplayTime::Hours));
        setLabel(LabMin2, colour(DisplayTime::Minutes));
        setLabel(LabSec2, colour(DisplayTime::Seconds));
    }
}

void TFormMain::DisplayAccuracySwitch(int accuracy)
{
    Digits[0][DisplayTime::Hundredths]->setVisible(accuracy == 2);
    Digits[1][DisplayTime::Hundredths]->setVisible(accuracy == 2);
    Digits[0][DisplayTime::Tenths]->setVisible(accuracy > 0);
    Digits[1][DisplayTime::Tenths]->setVisible(accuracy > 0);
    const int digitWidth = Digits[0][0]->width();
    if (accuracy == 0)
        m_timerWidth = 451 - 3 * digitWidth;
    else if (accuracy == 1)
        m_timerWidth = 444 - digitWidth;
    else if (accuracy == 2)
        m_timerWidth = 444;
    ApplyTimerWidth();
    Lab_100->move(20 * accuracy + 326, Lab_100->y());
    Lab_100->setText(QStringLiteral("1/") + QString::number(90 * accuracy - 80));
    Lab_100->setVisible(accuracy > 0);
    LabSec->setVisible(accuracy > 0);
    LabSec2->setVisible(accuracy > 0);
}

// From ten hours on the display needs a second hour digit: the panel grows
// by one digit place and the face with every other digit moves right.
void TFormMain::ApplyTimerWidth()
{
    constexpr int kDigitPlace = 48;
    const int shift = m_wideHours ? kDigitPlace : 0;
    PanelTimerFace->move(shift, 0);
    for (TDigit* tens : DigitHourTens)
        tens->setVisible(m_wideHours);
    PanelTimer->setFixedWidth(m_timerWidth + shift);
}

void TFormMain::DisplayColorSetup()
{
    for (auto& row : Digits) {
        for (TDigit* digit : row) {
            digit->SetColorOn(DigitColor);
            digit->SetColorOff(BackgroundColor);
            digit->SetColor(BackgroundColor);
        }
    }
    for (TDigit* digit : DigitHourTens) {
        digit->SetColorOn(DigitColor);
        digit->SetColorOff(BackgroundColor);
        digit->SetColor(BackgroundColor);
    }
    for (QLabel* label : { LabHour, LabMin, LabSec, Lab_Hour, Lab_Min, Lab_sek, Lab_100, LabHour2, LabMin2, LabSec2 })
        SetFontColor(label, DigitColor);
    SetBackgroundColor(PanelTimer, BackgroundColor);
}

void TFormMain::TimerDateTimer()
{
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    PanelDate->setText(locale.toString(now.date(), QLocale::ShortFormat) + QStringLiteral("   ")
        + locale.toString(now.time(), locale.timeFormat(QLocale::ShortFormat)));
}
