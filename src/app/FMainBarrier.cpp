// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The light-barrier wiring: each change of the modem-status lines goes to the
// light barriers, which decide and hand the race its command; the window
// mirrors what came of it. The port's own events.
#include "app/FMain.h"

#include "app/BarrierLine.h"
#include "app/StationsAtFinish.h"
#include "comm/Comms.h"
#include "controls/Image.h"
#include "race/LightBarriers.h"

#include <QScopedValueRollback>

void TFormMain::ComPortDSR(TComPort*, const platform::LineEvent& change)
{
    m_barrier->Changed();
    if (stationTakesLine(change))
        return;
    applyLine(change);
}

void TFormMain::applyLine(const platform::LineEvent& change)
{
    const QScopedValueRollback busy(m_raceBusy, true);
    mirrorBarrier(m_lightBarriers->LineChanged(change.levels, change.stamp, currentRow()));
}

void TFormMain::mirrorBarrier(const race::BarrierStep& step)
{
    if (!step.changed)
        return;
    mirrorRace(step.result.view, step.Wrote() ? RowFollow::WholeRow : RowFollow::View);
    if (step.Wrote()) {
        columnLayout();
        putAwayNote();
    }
}

void TFormMain::ComPortOpen(TComPort*)
{
    showBarrierLamps(true);
}

void TFormMain::ComPortClose(TComPort*)
{
    showBarrierLamps(false);
}

void TFormMain::showBarrierLamps(bool portOpen)
{
    // A start station's starts come through the start barrier, port or no
    // port: its lock decides whether they start anyone, so the official
    // sees it (and F11 frees it) at a finish without a barrier of its own.
    ui.ImageLSstart->setVisible(portOpen || (m_finishStations && m_finishStations->Holds()));
    ui.ImageLSstop->setVisible(portOpen);
}
