// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "app/DisplayTime.h"
#include "platform/Settings.h"

#include <QFrame>

#include <array>
#include <cstdint>

class QLabel;
class TDigit;

// The seven-segment display `PanelTimer`: row 0 the race clock, row 1 the
// current entry's time, in the accuracy's digits and the display colours.
// From ten hours on a row needs a second hour digit: the panel grows by one
// digit place and the face with every other digit moves right.
class TRaceDisplay final : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TRaceDisplay)
public:
    explicit TRaceDisplay(QWidget* parent = nullptr);

    // A row shows the time; only digits and labels whose value or colour
    // changes are drawn again.
    void ShowRow(int row, std::int32_t ms);
    void SetAccuracy(int accuracy);
    void SetColours(const settings::Colours& colours);

    std::array<std::array<TDigit*, DisplayTime::DigitCount>, 2> Digits {};
    // The tens of hours of both rows, shown only while a row's time has
    // reached ten hours.
    std::array<TDigit*, 2> DigitHourTens {};
    QWidget* Face = nullptr; // holds the digits and labels that move
    TDigit* Digit8 = nullptr; // row 0's hundredths
    QLabel *LabHour = nullptr, *LabMin = nullptr, *LabSec = nullptr;
    QLabel *LabHour2 = nullptr, *LabMin2 = nullptr, *LabSec2 = nullptr;
    QLabel *Lab_Hour = nullptr, *Lab_Min = nullptr, *Lab_sek = nullptr, *Lab_100 = nullptr;

private:
    void applyWidth();

    settings::Colours m_colours;
    int m_width = 444; // of the accuracy's layout, before any tens of hours
    std::array<int, 2> m_hours {};
    bool m_wideHours = false;
};
