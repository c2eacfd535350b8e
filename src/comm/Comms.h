// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/SerialDevice.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

enum TBaudRate : std::uint8_t {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
    brUser,
};

enum TParity : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TFlowControl : std::uint8_t { fcNone, fcRtsCts, fcXonXoff };
enum TEvent : std::uint8_t { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD };

// A set of TEvent in two bytes: bit n stands for the event of ordinal n.
class TEvents {
public:
    constexpr TEvents() = default;
    constexpr TEvents(std::initializer_list<TEvent> events)
    {
        for (TEvent e : events)
            m_bits |= Bit(e);
    }
    static constexpr TEvents FromBits(std::uint16_t bits)
    {
        TEvents set;
        set.m_bits = bits & kAllBits;
        return set;
    }
    static constexpr TEvents All() { return FromBits(kAllBits); }

    constexpr bool Contains(TEvent e) const { return (m_bits & Bit(e)) != 0; }
    constexpr void Include(TEvent e) { m_bits |= Bit(e); }
    constexpr void Exclude(TEvent e) { m_bits &= ~Bit(e); }
    constexpr std::uint16_t Bits() const { return m_bits; }
    constexpr bool operator==(const TEvents&) const = default;

private:
    static constexpr std::uint16_t kAllBits = 0x01FF;
    static constexpr std::uint16_t Bit(TEvent e) { return static_cast<std::uint16_t>(1u << e); }

    std::uint16_t m_bits = 0;
};

class EComHandle : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EComState : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TRxCharEvent = std::function<void(QObject* Sender, int InQue)>;

class TComThread;

// One serial port used for its modem-status input lines. Open starts a watcher
// thread; its events are fired on the thread that owns the port (the GUI
// thread), one change at a time and in order, each stamped when the watcher
// saw it (DispatchedEvent). Properties take effect at the next Open.
class TComPort : public QObject {
    Q_OBJECT
public:
    explicit TComPort(QObject* owner = nullptr);
    ~TComPort() override;

    TBaudRate BaudRate() const { return m_baudRate; }
    void SetBaudRate(TBaudRate value) { m_baudRate = value; }
    std::int32_t BaudRateUser() const { return m_baudRateUser; }
    void SetBaudRateUser(std::int32_t value) { m_baudRateUser = value; }
    std::uint8_t Port() const { return m_port; }
    void SetPort(std::uint8_t value) { m_port = value; }
    TParity Parity() const { return m_parity; }
    void SetParity(TParity value) { m_parity = value; }
    TStopBits StopBits() const { return m_stopBits; }
    void SetStopBits(TStopBits value) { m_stopBits = value; }
    TFlowControl FlowControl() const { return m_flowControl; }
    void SetFlowControl(TFlowControl value) { m_flowControl = value; }
    std::uint8_t DataBits() const { return m_dataBits; }
    void SetDataBits(std::uint8_t value); // stored clamped to 5..8
    TEvents Events() const { return m_events; }
    void SetEvents(TEvents value) { m_events = value; }
    bool EnableDTR() const { return m_enableDTR; }
    void SetEnableDTR(bool value) { m_enableDTR = value; }
    std::int32_t WriteBufSize() const { return m_writeBufSize; }
    void SetWriteBufSize(std::int32_t value) { m_writeBufSize = value; }
    std::int32_t ReadBufSize() const { return m_readBufSize; }
    void SetReadBufSize(std::int32_t value) { m_readBufSize = value; }

    TRxCharEvent OnRxChar;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TNotifyEvent OnCTS;
    TNotifyEvent OnDSR;
    // Each change of the lines, once, with what the watcher saw (the lines
    // that changed, their levels, the edge's stamp); before OnCTS and OnDSR
    // of the same change.
    std::function<void(QObject* Sender, const platform::LineEvent& change)> OnLineEvent;
    TNotifyEvent OnRLSD;
    TNotifyEvent OnRxFlag;
    TNotifyEvent OnError;
    TNotifyEvent OnOpen;
    TNotifyEvent OnClose;

    // The device was removed while the port was open (an adapter pulled out):
    // the port has closed itself (OnClose has fired) and LostError tells why.
    TNotifyEvent OnLost;
    // The watcher's wait failed (the driver can no longer tell the lines):
    // the port is still open but deaf, WatcherRunning() is false and
    // WatcherError tells why. Reopening starts a new watcher.
    TNotifyEvent OnWatcherEnded;

    int Tag = 0;

    // The stable path of the port's device (/dev/serial/by-id/...), empty when
    // it has none or is not known yet. When set, Open looks the device up by
    // it and takes the number it has now; a device that is not there is
    // missing, whatever else has its old number. When empty, a successful Open
    // learns it.
    const QString& StablePath() const { return m_stablePath; }
    void SetStablePath(const QString& path) { m_stablePath = path; }

    // Throws EComHandle or EComState; the port is then closed and unchanged.
    void Open();
    void Close();
    bool Connected() const { return m_connected; }
    // The port as it was opened (number, node, stable path).
    const platform::SerialPortInfo& Device() const { return m_info; }
    // What is known about the open port's adapter: its driver, whether it
    // waits or is polled, whether it counts, the FTDI latency timer and
    // whether the watcher runs with real-time priority. Empty while closed.
    platform::SerialAdapter Adapter() const;
    // The error number of the last removal (OnLost).
    int LostError() const { return m_lostError; }
    // The error number of the last failed wait (OnWatcherEnded).
    int WatcherError() const { return m_watcherError; }

    std::uint32_t ModemStatus();
    std::int32_t InQueueCount();

    // The change whose handlers are running: which lines changed, their levels
    // afterwards, and the tick and time of day when the watcher saw it.
    // nullptr outside a dispatch.
    const platform::LineEvent* DispatchedEvent() const;
    // Dispatches the changes that are waiting, now (in order, as the event
    // loop would). Does nothing from inside one of the port's own handlers.
    void DispatchQueued();

    // False once the watcher has ended while the port is still open (a failed
    // wait or a handler's exception): no line changes arrive until reopened.
    bool WatcherRunning() const;
    // The watcher was granted real-time scheduling (see RequestTimingPriority).
    bool WatcherTimingPriority() const;
    // Changes are waiting for the GUI thread.
    bool DeliveryPending() const;
    size_t QueuedChanges() const;

private:
    friend class TComThread;

    void ApplySettings(platform::SerialDevice& device) const;
    void DeviceLost(int error);
    void WatcherFailed(int error);

    TBaudRate m_baudRate = br9600;
    std::int32_t m_baudRateUser = 28800;
    std::uint8_t m_port = 1;
    TParity m_parity = prNone;
    TStopBits m_stopBits = sbOneStopBit;
    TFlowControl m_flowControl = fcNone;
    std::uint8_t m_dataBits = 8;
    TEvents m_events = TEvents::All();
    bool m_enableDTR = true;
    std::int32_t m_writeBufSize = 2048;
    std::int32_t m_readBufSize = 2048;

    std::unique_ptr<platform::SerialDevice> m_device; // none: no handle
    std::shared_ptr<TComThread> m_thread;
    bool m_connected = false;
    bool m_closing = false;
    QString m_stablePath;
    platform::SerialPortInfo m_info;
    int m_lostError = 0;
    int m_watcherError = 0;
};

// The message of EComHandle for an open that failed with the error number;
// EACCES adds what the operator can do about it.
std::string OpenErrorMessage(int error);

// Line speed in bits per second; brUser stands for the user's value.
std::uint32_t BaudRateValue(TBaudRate rate, std::int32_t userRate);
// The device's event mask for a set of events.
std::uint32_t EventMaskFromEvents(TEvents events);
// The line-settings record the port applies at Open.
platform::SerialLineSettings BuildLineSettings(const TComPort& port);
// The time-out record the port applies at Open.
platform::SerialTimeouts ComTimeouts();

// The ports COM1..COM16 the system offers (ScanComPortList). Bit n-1 is set
// for each; the high 16 bits hold the highest such number.
std::uint32_t ScanComPorts();
// The mask of the last scan (0 before the first).
std::uint32_t ScannedComPorts();
// The ports the system offers now, by number, with their device names, as
// sysfs tells (platform::ListSerialPorts). The scan opens no port: an open
// raises DTR and RTS on whatever is attached. So a port another program
// holds is offered too, and found busy only when it is chosen.
std::vector<platform::SerialPortInfo> ScanComPortList();
