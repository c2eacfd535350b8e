// The barrier line: opening the chosen port, noticing that its adapter has
// been pulled out, showing that, and opening it again when it comes back.
#include "app/FMain.h"

#include "comm/Comms.h"
#include "controls/Dialogs.h"
#include "controls/MessageTimer.h"
#include "dialogs/Cfg.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>

#include <functional>

namespace {

QString ReasonText(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

// The header bar's tooltip, brought up to date as it is about to show: what
// the watcher can tell about its adapter settles only after the port opened.
class PortTooltip final : public QObject {
public:
    static constexpr const char* kName = "portTooltip";

    PortTooltip(QWidget* header, std::function<QString()> text)
        : QObject(header)
        , m_text(std::move(text))
    {
        setObjectName(kName);
        header->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip)
            static_cast<QWidget*>(watched)->setToolTip(m_text());
        return false; // the header shows it
    }

private:
    std::function<QString()> m_text;
};

// The barrier port and its adapter for the header bar's tooltip, the
// warnings in red.
QString PortTooltipText(const TComPort& port, const QString& name)
{
    if (port.Port() == 0)
        return QStringLiteral("Lichtschranke: keine");
    QString text = QStringLiteral("<p>Lichtschranke: %1</p>").arg(name.toHtmlEscaped());
    if (!port.Connected())
        return text + QStringLiteral("<p>nicht verbunden</p>");
    const platform::SerialAdapter adapter = port.Adapter();
    const QString line = TCfgDialog::AdapterLine(adapter);
    if (!line.isEmpty())
        text += QStringLiteral("<p>%1</p>").arg(line.toHtmlEscaped());
    for (const QString& warning : TCfgDialog::AdapterWarnings(adapter))
        text += QStringLiteral("<p style=\"color:red\">%1</p>").arg(warning.toHtmlEscaped());
    return text;
}

} // namespace

QString TFormMain::BarrierPortName() const
{
    platform::SerialPortInfo device = ComPort->Device();
    if (device.number != ComPort->Port()) // never opened: only its stable path is known
        device = platform::SerialPortInfo { ComPort->Port(), QString(), ComPort->StablePath() };
    QString name = QStringLiteral("COM") + QString::number(ComPort->Port());
    if (!device.DeviceName().isEmpty())
        name += QStringLiteral(" – ") + device.DeviceName();
    return name;
}

bool TFormMain::BarrierLineDisconnected() const
{
    return LabLineState->isVisible();
}

// A chosen port that cannot be opened is shown as disconnected and watched
// for, whatever the reason (missing, busy, no permission); the exception goes
// on to the caller, who decides whether the operator is told.
void TFormMain::OpenBarrierLine()
{
    if (!Panel1->findChild<QObject*>(QLatin1String(PortTooltip::kName), Qt::FindDirectChildrenOnly))
        new PortTooltip(Panel1, [this] { return PortTooltipText(*ComPort, BarrierPortName()); });
    try {
        ComPort->Open();
    } catch (const std::exception& e) {
        ShowLineDisconnected(ReasonText(e));
        TimerReconnect->SetEnabled(true);
        throw;
    }
}

void TFormMain::BarrierLineOpened()
{
    TimerReconnect->SetEnabled(false);
    LabLineState->setVisible(false);
    // The levels of a line that was away are unknown: its first change is
    // judged afresh, not against the levels it had before.
    PreviousModemStatus = 0x55555555;
}

void TFormMain::ShowLineDisconnected(const QString& why)
{
    // A long by-id name is shortened in its middle; the box and the tooltip
    // carry all of it.
    const QString name = QFontMetrics(LabLineState->font()).elidedText(BarrierPortName(), Qt::ElideMiddle, 205);
    LabLineState->setText(QStringLiteral("Lichtschranke getrennt\n") + name);
    LabLineState->setToolTip(why);
    LabLineState->setVisible(true);
}

void TFormMain::ComPortLost(TComPort* sender)
{
    // The port has closed itself (the indicators are hidden); keys and buttons
    // go on timing, and the port is opened again as soon as it is back.
    const QString why = QStringLiteral("Die Lichtschranke an %1 ist nicht mehr verbunden (Fehler %2).\n"
                                       "Tasten und Knöpfe messen weiter; sobald das Gerät wieder angeschlossen "
                                       "ist, wird es von selbst wieder geöffnet.")
                            .arg(BarrierPortName())
                            .arg(sender->LostError());
    ShowLineDisconnected(why);
    TimerReconnect->SetEnabled(true);
    dialogs::ShowErrorWithoutWaiting(this, why);
}

void TFormMain::TimerReconnectTimer()
{
    if (ComPort->Connected() || ComPort->Port() == 0) {
        TimerReconnect->SetEnabled(false);
        return;
    }
    try {
        ComPort->Open(); // OnOpen stops the watching and hides the red text
    } catch (const std::exception& e) {
        // Still away (or busy, or not allowed): keep watching, say why.
        LabLineState->setToolTip(ReasonText(e));
    }
}
