// The light-barrier dispatch: a change of the modem-status lines becomes a
// STOPP and/or START request, subject to the locks and lockouts.
#include "app/FMain.h"

#include "app/DisplayTime.h"
#include "comm/Comms.h"
#include "controls/Image.h"
#include "controls/MessageTimer.h"

#include <QAction>
#include <QScopedValueRollback>

void TFormMain::ComPortDSR(TComPort* sender)
{
    const std::uint32_t status = sender->ModemStatus();
    if (status == PreviousModemStatus)
        return;
    JournalBarrierEdge(PreviousModemStatus, status);
    PreviousModemStatus = status;
    BarrierRequest(DecideBarrier(sender->Tag, status), platform::Stamp::Now());
}

race::BarrierResult TFormMain::BarrierRequest(const BarrierRequests& requests, const platform::Stamp& stamp)
{
    CommitEditor();
    JournalBeforeCommand();
    const QScopedValueRollback busy(m_raceBusy, true);
    m_race->SetSettings(CurrentRaceSettings());
    const race::BarrierResult result = m_race->BarrierImpulse(requests.stop, requests.start, CurrentRow(), stamp);
    const bool wrote = result.stop == race::Outcome::Stopped || result.start == race::Outcome::Started;
    MirrorRace(result.view, wrote ? RowFollow::WholeRow : RowFollow::View);
    if (wrote)
        ColumnLayout();
    return result;
}

void TFormMain::ComPortOpen(TComPort*)
{
    ImageLSstart->setVisible(true);
    ImageLSstop->setVisible(true);
}

void TFormMain::ComPortClose(TComPort*)
{
    ImageLSstart->setVisible(false);
    ImageLSstop->setVisible(false);
}
