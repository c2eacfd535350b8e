// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "app/DisplayTime.h"
#include "controls/ColorValue.h"
#include "platform/Settings.h"
#include "race/RaceSnapshot.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class QLabel;
class QMenu;
class QScreen;
class QTimer;
class TDigit;

// The spectator display "Anzeige": a window of its own for a second screen or
// a projector, with the race time in large seven-segment digits and the last
// five finishers (with their class and class place when there are classes).
// F11 switches full screen, Esc leaves it; the context menu moves it to
// another screen and shows the finishers of one class. The operator's race
// keys work here as well.
class TAudienceWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAudienceWindow)
public:
    explicit TAudienceWindow(QWidget* parent = nullptr);
    ~TAudienceWindow() override;

    static constexpr int kFinisherRows = 5;

    // The display colours of the operator's display: background, lit digits,
    // leading zeros, and the second row's colour for the newest finisher.
    void SetColours(const settings::Colours& colours);
    // The finishers of the results, newest first.
    void ShowResults(const race::Snapshot& results);
    // Only the finishers of this class; empty: every class.
    void SetClassFilter(const QString& klasse);
    QString ClassFilter() const { return m_classFilter; }
    // The race's title over the clock; empty shows none.
    void SetTitle(const QString& title);
    QString Title() const { return m_title; }
    // The live-results address under its QR code; empty hides both.
    void SetAddress(const QString& url);
    QString Address() const { return m_address; }

    // Shows the window on the screen, full screen or as a normal window there.
    void ShowOn(QScreen* screen, bool fullScreen);
    void ToggleFullScreen();

    // Read on every tick of the window's clock.
    std::function<race::RaceClock()> ClockSource;
    void ClockTick();

    std::array<TDigit*, DisplayTime::DigitCount> Digits {};
    QLabel *LabHour = nullptr, *LabMin = nullptr, *LabSec = nullptr;
    QLabel* LabTitle = nullptr; // the race's title, while it has one
    QLabel* Caption = nullptr;
    // Place, number, name and time of each finisher row, newest on top.
    std::array<std::array<QLabel*, 4>, kFinisherRows> Rows {};
    QLabel* QrImage = nullptr;
    QLabel* QrCaption = nullptr;
    QMenu* ContextMenu = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void layOut();
    void layOutFinishers(int top, int left, int width, int rowHeight);
    void fillContextMenu();
    void applyAccuracy(int accuracy);

    QTimer* m_clock = nullptr;
    settings::Colours m_colours;
    int m_accuracy = -1;
    QString m_address;
    QString m_title;
    std::array<QStringList, kFinisherRows> m_rowTexts;
    race::Snapshot m_results;
    QString m_classFilter;
};
