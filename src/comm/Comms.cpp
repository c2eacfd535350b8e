// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "comm/Comms.h"

#include "comm/ComThread.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <iterator>
#include <string>

TComPort::TComPort(QObject* owner)
    : QObject(owner)
{
}

TComPort::~TComPort()
{
    // Changes still queued have no one left to serve.
    if (m_thread)
        m_thread->Detach();
    // An OnClose handler that throws must not end the program while the
    // port goes away; the port is closed by then, and the failure is told
    // where a failure without a window goes.
    try {
        Close();
    } catch (const std::exception& e) {
        qWarning("Closing the serial port: %s", e.what());
    } catch (...) {
        qWarning("Closing the serial port: a handler failed");
    }
}

void TComPort::SetDataBits(std::uint8_t value)
{
    const std::uint8_t clamped = value < 5 ? 5 : value > 8 ? 8 : value;
    if (clamped == m_dataBits)
        return;
    m_dataBits = clamped;
}

void TComPort::ApplySettings(platform::SerialDevice& device) const
{
    auto check = [](int error) {
        if (error)
            throw EComState("Unable to set com state: " + std::to_string(error));
    };
    check(device.SetLineSettings(BuildLineSettings(*this)));
    // The current record is read only to be replaced, as the line expects.
    platform::SerialTimeouts timeouts;
    check(device.GetTimeouts(timeouts));
    check(device.SetTimeouts(ComTimeouts()));
    check(device.SetupQueues(m_readBufSize, m_writeBufSize));
}

std::string OpenErrorMessage(int error)
{
    std::string message = "Unable to open com port: " + std::to_string(error);
    if (error == EACCES) {
        message += "\nKein Zugriff auf die serielle Schnittstelle: Der Benutzer muss Mitglied der Gruppe "
                   "\"dialout\" sein (und sich danach neu anmelden).";
    } else if (error == EBUSY) {
        // The scan opens nothing, so a port another program holds is offered
        // and only found busy when it is chosen.
        message += "\nDie serielle Schnittstelle ist von einem anderen Programm belegt.";
    }
    return message;
}

void TComPort::Open()
{
    Close();
    std::vector<platform::SerialPortInfo> ports = platform::ListSerialPorts();
    auto find = [&](auto matches) {
        const auto it = std::find_if(ports.begin(), ports.end(), matches);
        return it == ports.end() ? platform::SerialPortInfo {} : *it;
    };
    platform::SerialPortInfo info;
    QString node; // the node to open; empty: the device finds it by the number
    if (!m_stablePath.isEmpty()) {
        // The adapter may come back under another number; the stable path
        // finds it. Without it, the adapter is missing.
        info = find([&](const platform::SerialPortInfo& p) { return p.stablePath == m_stablePath; });
        if (info.number == 0 || info.number > 255)
            throw EComHandle(OpenErrorMessage(ENOENT));
        m_port = static_cast<std::uint8_t>(info.number);
        // The node that was found, not the number looked up again: a node
        // that appears meanwhile could take the number.
        node = info.node;
    } else {
        info = find([&](const platform::SerialPortInfo& p) { return p.number == m_port; });
        info.number = m_port;
    }
    std::unique_ptr<platform::SerialDevice> device = platform::CreateSerialDevice();
    if (const int error = device->OpenNode(m_port, node))
        throw EComHandle(OpenErrorMessage(error));
    // On EComState the device goes with the unique_ptr, so the port is free
    // for the next Open.
    ApplySettings(*device);
    m_device = std::move(device);
    m_info = info;
    if (m_stablePath.isEmpty())
        m_stablePath = info.stablePath;
    m_thread = std::make_shared<TComThread>(this);
    m_connected = true;
    if (OnOpen)
        OnOpen(this);
}

void TComPort::Close()
{
    if (!m_connected || m_closing)
        return;
    m_closing = true;
    if (const std::shared_ptr<TComThread> thread = m_thread) {
        thread->StopAndWait();
        // What the watcher queued before it ended is dispatched before the
        // port closes (unless Close runs inside one of those handlers).
        try {
            thread->DispatchQueued();
        } catch (...) {
            m_closing = false;
            throw;
        }
        thread->Detach();
        if (m_thread != thread) {
            // A handler reopened the port meanwhile; that port stays.
            m_closing = false;
            return;
        }
        m_thread.reset();
    }
    if (m_device) {
        m_device->Close();
        m_device.reset();
    }
    m_connected = false;
    m_closing = false;
    if (OnClose)
        OnClose(this);
}

void TComPort::DeviceLost(int error)
{
    m_lostError = error;
    if (m_closing)
        return; // closed on purpose meanwhile
    Close();
    if (OnLost)
        OnLost(this);
}

void TComPort::WatcherFailed(int error)
{
    m_watcherError = error;
    if (m_closing || !m_connected)
        return;
    if (OnWatcherEnded)
        OnWatcherEnded(this);
}

const platform::LineEvent* TComPort::DispatchedEvent() const
{
    return m_thread ? m_thread->Current() : nullptr;
}

void TComPort::DispatchQueued()
{
    if (const std::shared_ptr<TComThread> thread = m_thread)
        thread->DispatchQueued();
}

std::uint32_t TComPort::ModemStatus()
{
    return m_device ? m_device->ModemStatus() : 0;
}

std::int32_t TComPort::InQueueCount()
{
    return m_device ? m_device->InQueueCount() : 0;
}

platform::SerialAdapter TComPort::Adapter() const
{
    if (!m_device)
        return {};
    platform::SerialAdapter adapter = m_device->Adapter();
    adapter.realtime = WatcherTimingPriority();
    return adapter;
}

bool TComPort::WatcherRunning() const
{
    return m_thread && !m_thread->Ended();
}

bool TComPort::WatcherTimingPriority() const
{
    return m_thread && m_thread->TimingPriority();
}

bool TComPort::DeliveryPending() const
{
    return QueuedChanges() > 0;
}

size_t TComPort::QueuedChanges() const
{
    return m_thread ? m_thread->Queued() : 0;
}

std::uint32_t BaudRateValue(TBaudRate rate, std::int32_t userRate)
{
    static constexpr std::uint32_t kRates[]
        = { 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000 };
    if (rate == brUser)
        return static_cast<std::uint32_t>(userRate);
    return rate < std::size(kRates) ? kRates[rate] : 0;
}

std::uint32_t EventMaskFromEvents(TEvents events)
{
    static constexpr struct {
        TEvent event;
        std::uint32_t bit;
    } kTable[] = {
        { evRxChar, platform::EV_RXCHAR },
        { evTxEmpty, platform::EV_TXEMPTY },
        { evRxFlag, platform::EV_RXFLAG },
        { evRing, platform::EV_RING },
        { evBreak, platform::EV_BREAK },
        { evCTS, platform::EV_CTS },
        { evDSR, platform::EV_DSR },
        { evError, platform::EV_ERR },
        { evRLSD, platform::EV_RLSD },
    };
    std::uint32_t mask = 0;
    for (const auto& entry : kTable) {
        if (events.Contains(entry.event))
            mask |= entry.bit;
    }
    return mask;
}

platform::SerialLineSettings BuildLineSettings(const TComPort& port)
{
    using Dcb = platform::SerialLineSettings;
    Dcb dcb;
    dcb.DCBlength = 28;
    dcb.BaudRate = BaudRateValue(port.BaudRate(), port.BaudRateUser());
    dcb.Flags = Dcb::kBinary;
    if (port.EnableDTR())
        dcb.Flags |= Dcb::DTR_CONTROL_ENABLE << Dcb::kDtrControlShift;
    if (port.FlowControl() == fcRtsCts)
        dcb.Flags |= Dcb::kOutxCtsFlow | (Dcb::RTS_CONTROL_HANDSHAKE << Dcb::kRtsControlShift);
    if (port.FlowControl() == fcXonXoff)
        dcb.Flags |= Dcb::kOutX | Dcb::kInX;
    // From the transmit size, not the receive size: that is what the line has
    // always been given.
    dcb.XonLim = static_cast<std::uint16_t>(port.WriteBufSize() / 4);
    dcb.XoffLim = 1;
    dcb.ByteSize = port.DataBits();
    dcb.Parity = port.Parity();
    dcb.StopBits = port.StopBits();
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

platform::SerialTimeouts ComTimeouts()
{
    platform::SerialTimeouts t;
    t.ReadIntervalTimeout = 0xFFFFFFFF;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
    t.WriteTotalTimeoutMultiplier = 1000;
    t.WriteTotalTimeoutConstant = 1500;
    return t;
}

namespace {

std::atomic<std::uint32_t> g_scannedPorts { 0 };

} // namespace

std::uint32_t ScanComPorts()
{
    std::uint32_t mask = 0;
    std::uint32_t highest = 0;
    for (const platform::SerialPortInfo& port : ScanComPortList()) {
        if (port.number > 16)
            continue;
        const auto n = static_cast<std::uint32_t>(port.number);
        mask |= 1u << (n - 1);
        highest = std::max(highest, n);
    }
    mask |= highest << 16;
    g_scannedPorts = mask;
    return mask;
}

std::uint32_t ScannedComPorts()
{
    return g_scannedPorts;
}

std::vector<platform::SerialPortInfo> ScanComPortList()
{
    std::vector<platform::SerialPortInfo> found;
    for (const platform::SerialPortInfo& port : platform::ListSerialPorts()) {
        if (port.number >= 1 && port.number <= 255)
            found.push_back(port);
    }
    return found;
}
