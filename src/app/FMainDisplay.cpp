// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The seven-segment display: the race clock, the current entry's time, the
// accuracy layout and the display colours; the time of day in the header.
#include "app/FMain.h"

#include "app/RaceDisplay.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>

void TFormMain::ClockTimer()
{
    const platform::Tick now = platform::GetTickCount();
    const race::RaceView& view = m_race->View();
    if (view.raceStarted)
        displayRowUpdate(0, m_race->ClockAt(now).ms);
    if (view.currentRowRunning)
        displayRowUpdate(1, platform::TickDiff(now, view.currentStartTick));
}

void TFormMain::displayRowUpdate(int row, std::int32_t ms)
{
    ui.PanelTimer->ShowRow(row, ms);
}

void TFormMain::displayAccuracySwitch(int accuracy)
{
    ui.PanelTimer->SetAccuracy(accuracy);
}

void TFormMain::displayColorSetup()
{
    ui.PanelTimer->SetColours(m_colours);
}

void TFormMain::TimerDateTimer()
{
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    ui.PanelDate->setText(locale.toString(now.date(), QLocale::ShortFormat) + QStringLiteral("   ")
        + locale.toString(now.time(), locale.timeFormat(QLocale::ShortFormat)));
}
