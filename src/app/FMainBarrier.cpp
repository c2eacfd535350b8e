// The light-barrier dispatch: a change of the modem-status lines becomes a
// STOPP and/or START request at its edge, subject to the locks and lockouts;
// the port's own events.
#include "app/FMain.h"

#include "app/Application.h"
#include "app/BarrierLine.h"
#include "app/JournalRecorder.h"
#include "comm/Comms.h"
#include "controls/Dialogs.h"
#include "controls/Image.h"

#include <QFontMetrics>
#include <QLabel>
#include <QScopedValueRollback>

namespace {

// Room for the port's name in the header bar; a longer one is shortened.
constexpr int kLineStateNameWidth = 205;

} // namespace

void TFormMain::ComPortDSR(TComPort* sender)
{
    // Called outside a delivery: the lines as they are now.
    platform::LineEvent now;
    now.levels = sender->ModemStatus();
    now.stamp = platform::Stamp::Now();
    m_barrier->Handle(now);
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

void TFormMain::showLineState()
{
    // A long by-id name is shortened in its middle; the tooltip carries why.
    const QStringList lines = m_barrier->StateText().split(QLatin1Char('\n'));
    const QString name
        = QFontMetrics(ui.LabLineState->font()).elidedText(lines.value(1), Qt::ElideMiddle, kLineStateNameWidth);
    ui.LabLineState->setText(lines.value(0) + QLatin1Char('\n') + name);
    ui.LabLineState->setToolTip(m_barrier->StateTip());
    ui.LabLineState->setVisible(m_barrier->Disconnected());
}

void TFormMain::wireBarrierLine()
{
    m_barrier = std::make_unique<BarrierLine>(*ui.ComPort);
    m_barrier->OnStateChanged = [this] { showLineState(); };
    m_barrier->OnChange
        = [this](const platform::LineEvent& change, std::uint32_t before, const BarrierRequests* requests) {
              if (!requests) {
                  // The levels stand as they were; a lockout may still have
                  // ended by this edge.
                  const QScopedValueRollback busy(m_raceBusy, true);
                  if (m_race->CatchUpLockouts(change.stamp.tick, currentRow()))
                      mirrorRace(m_race->View(), RowFollow::View);
                  return;
              }
              m_journal->NoteBarrierEdge(before, change.levels);
              barrierRequest(requests->stop, requests->start, change.stamp);
          };
    // An error of a barrier's START or STOPP (a damaged start tick) is shown
    // like that of its key; it must not silence the barrier line.
    ui.ComPort->OnLineEvent
        = [this](QObject*, const platform::LineEvent& change) { Guarded(this, [&] { m_barrier->Handle(change); }); };
    ui.ComPort->OnOpen = [this](QObject* sender) {
        m_barrier->Opened();
        ComPortOpen(static_cast<TComPort*>(sender));
    };
    ui.ComPort->OnClose = [this](QObject* sender) { ComPortClose(static_cast<TComPort*>(sender)); };
    ui.ComPort->OnLost = [this](QObject* sender) {
        dialogs::ShowErrorWithoutWaiting(this, m_barrier->Lost(static_cast<TComPort*>(sender)->LostError()));
    };
}
