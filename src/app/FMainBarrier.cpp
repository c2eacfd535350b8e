// The light-barrier dispatch: a change of the modem-status lines becomes a
// STOPP and/or START request, subject to the locks and lockouts.
#include "app/FMain.h"

#include "app/DisplayTime.h"
#include "comm/Comms.h"
#include "controls/Image.h"
#include "controls/MessageTimer.h"
#include "platform/SerialDevice.h"

#include <QAction>
#include <QScopedValueRollback>

void TFormMain::ComPortDSR(TComPort* sender)
{
    const platform::LineEvent* change = sender->DispatchedEvent();
    if (!change) {
        // Called outside a delivery: the lines as they are now.
        platform::LineEvent now;
        now.levels = sender->ModemStatus();
        now.stamp = platform::Stamp::Now();
        BarrierEvent(now);
        return;
    }
    // OnCTS and OnDSR of one change both land here; the change counts once.
    if (change->sequence == m_lastBarrierChange)
        return;
    m_lastBarrierChange = change->sequence;
    BarrierEvent(*change);
}

void TFormMain::BarrierEvent(const platform::LineEvent& change)
{
    CatchUpLockouts(change.stamp.tick);
    const std::uint32_t status = change.levels;
    if (status == PreviousModemStatus)
        return;
    JournalBarrierEdge(PreviousModemStatus, status);
    PreviousModemStatus = status;
    const bool startLockoutRan = TimerGesperrtStart->Enabled();
    const bool stopLockoutRan = TimerGesperrtStop->Enabled();
    BarrierRequest(DecideBarrier(ComPort->Tag, status), change.stamp);
    // A lockout this change started runs from its edge, not from the moment
    // the GUI thread got to the change.
    if (!startLockoutRan && TimerGesperrtStart->Enabled())
        TimerGesperrtStart->Backdate(change.stamp.tick);
    if (!stopLockoutRan && TimerGesperrtStop->Enabled())
        TimerGesperrtStop->Backdate(change.stamp.tick);
}

// Changes wait in the queue while the GUI thread is busy; a lockout that ran
// out before a change's edge has ended for that change, whether or not its
// timer has been served yet.
void TFormMain::CatchUpLockouts(platform::Tick edge)
{
    for (TMessageTimer* lockout : { TimerGesperrtStart, TimerGesperrtStop }) {
        if (lockout->Enabled() && platform::TickDiff(edge, lockout->ArmedAt()) >= lockout->Interval())
            TimerGesperrtTimer(lockout);
    }
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
