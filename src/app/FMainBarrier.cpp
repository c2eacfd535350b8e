// The light-barrier dispatch: a change of the modem-status lines becomes a
// STOPP and/or START request, subject to the locks and lockouts.
#include "app/FMain.h"

#include "app/DisplayTime.h"
#include "comm/Comms.h"
#include "controls/Image.h"
#include "controls/MessageTimer.h"

#include <QAction>

void TFormMain::ComPortDSR(TComPort* sender)
{
    const std::uint32_t status = sender->ModemStatus();
    if (status == PreviousModemStatus)
        return;
    PreviousModemStatus = status;
    const BarrierRequests requests = DecideBarrier(sender->Tag, status);
    if (requests.stop && !TimerGesperrtStop->Enabled() && BarrierFree(ImageLSstop))
        mStop->trigger();
    if (requests.start && !TimerGesperrtStart->Enabled() && BarrierFree(ImageLSstart))
        mStart->trigger();
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
