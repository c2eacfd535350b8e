// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Operator.h"
#include "app/BarrierLine.h"
#include "app/FMain.h"
#include "app/LivePublisher.h"
#include "app/LiveWidgets.h"
#include "app/RaceDisplay.h"
#include "comm/Comms.h"
#include "controls/ButtonWithColor.h"
#include "controls/Dialogs.h"
#include "controls/Image.h"
#include "controls/LbSpeedButton.h"
#include "controls/MessageTimer.h"
#include "controls/Udigit.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "platform/AppInfo.h"
#include "protocol/Columns.h"
#include "race/JournalRecorder.h"
#include "race/LightBarriers.h"
#include "support/RecordingShell.h"
#include "support/SerialSim.h"
#include "support/TestSupport.h"
#include "support/Timing.h"

#include <QAction>
#include <QDialog>
#include <QSettings>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

// The table's columns, by name.
using protocol::kColGesamt;
using protocol::kColKlasse;
using protocol::kColName;
using protocol::kColNr;
using protocol::kColPlatz;
using protocol::kColRaw;
using protocol::kColSplit;
using protocol::kColStart;
using protocol::kColStatus;
using protocol::kColZeit;

// Removes the settings store of the running test program, so a window starts
// with the defaults instead of what the previous test left at its exit.
inline void ClearSettingsStore()
{
    QFile::remove(QSettings(QSettings::NativeFormat, QSettings::UserScope, platform::ApplicationTitle()).fileName());
}

// Where the table's last shown column ends, in the grid's client area: the
// columns fill the table's width when "Name" takes what the others leave.
inline int TableRightEdge(const TSortGrid& grid)
{
    int right = 0;
    for (int c = 0; c < grid.ColCount(); ++c) {
        if (grid.ColWidths(c) >= 0)
            right = std::max(right, grid.CellRect(c, 0).right() + 1);
    }
    return right;
}

// The main window as the operator meets it, with a fake tick, a simulated
// serial port COM1 and dialogs answered by the test.
struct MainWindowFixture {
    // `prepare` runs after the simulated ports exist and before the window
    // is made (a port that is busy at start-up, say).
    explicit MainWindowFixture(
        bool withPort = false, int tickStart = 100000, const std::function<void(platform::SimSerialLab&)>& prepare = {})
        : tick(tickStart)
    {
        dialogs::SetTestMode(true);
        platform::SetShell(&shell);
        lab.AddPort(1);
        if (prepare)
            prepare(lab);
        window = std::make_unique<TFormMain>();
        window->createDialogs();
        if (withPort) {
            window->ui.ComPort->SetPort(1);
            window->ui.ComPort->Open();
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    ~MainWindowFixture()
    {
        dialogs::SetDialogHandler({});
        window.reset();
        platform::SetShell(nullptr);
        dialogs::SetTestMode(false);
    }

    TFormMain* w() const { return window.get(); }
    TSortGrid* grid() const { return window->ui.SortGrid1; }
    QString cell(int c, int r) const { return window->ui.SortGrid1->Cells(c, r); }
    int current() const { return op::CurrentRow(*window); }

    void key(Qt::Key k) { QTest::keyClick(window.get(), k); }
    void press(QWidget* button)
    {
        QTest::mousePress(button, Qt::LeftButton);
        QTest::mouseRelease(button, Qt::LeftButton);
    }
    void start(int afterMs = 0)
    {
        tick.advance(afterMs);
        key(Qt::Key_F5);
    }
    void stop(int afterMs = 0)
    {
        tick.advance(afterMs);
        key(Qt::Key_F9);
    }

    // Answers the next modal dialog with the given result.
    void answerNextDialog(int result)
    {
        dialogs::SetDialogHandler([this, result](QDialog* d) {
            shownDialogText = d->findChild<QLabel*>() ? d->findChild<QLabel*>()->text() : QString();
            return result;
        });
    }

    // A barrier line change delivered through the simulated port.
    void lines(std::uint32_t status)
    {
        lab.SetLines(1, status);
        QTRY_COMPARE_WITH_TIMEOUT(window->LightBarriers().Levels(), status, 2000);
    }

    ScopedFakeTick tick;
    platform::ScopedPrinterPresence printer { true };
    platform::SimSerialLab lab;
    platform::RecordingShell shell;
    std::unique_ptr<TFormMain> window;
    QString shownDialogText;
};
