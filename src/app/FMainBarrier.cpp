// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The light-barrier dispatch: a change of the modem-status lines becomes a
// STOPP and/or START request at its edge, subject to the locks and lockouts;
// the port's own events.
#include "app/FMain.h"

#include "app/BarrierLine.h"
#include "app/JournalRecorder.h"
#include "comm/Comms.h"
#include "controls/Image.h"

#include <QScopedValueRollback>

void TFormMain::ComPortDSR(TComPort*, const platform::LineEvent& change)
{
    m_barrier->Handle(change);
}

race::BarrierResult TFormMain::barrierRequest(bool stop, bool start, const platform::Stamp& stamp)
{
    commitEditor();
    const QScopedValueRollback busy(m_raceBusy, true);
    const race::BarrierResult result = m_race->BarrierImpulse(stop, start, currentRow(), stamp);
    const bool wrote = result.stop == race::Outcome::Stopped || result.start == race::Outcome::Started;
    mirrorRace(result.view, wrote ? RowFollow::WholeRow : RowFollow::View);
    if (wrote)
        columnLayout();
    return result;
}

void TFormMain::ComPortOpen(TComPort*)
{
    ui.ImageLSstart->setVisible(true);
    ui.ImageLSstop->setVisible(true);
}

void TFormMain::ComPortClose(TComPort*)
{
    ui.ImageLSstart->setVisible(false);
    ui.ImageLSstop->setVisible(false);
}
