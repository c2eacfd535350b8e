// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/SerialAdapter.h"
#include "platform/Tick.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform {

// Communication events as the port reports them (one bit each). The values
// are the classic serial API's, so event masks read the same everywhere.
constexpr std::uint32_t EV_RXCHAR = 0x0001;
constexpr std::uint32_t EV_RXFLAG = 0x0002;
constexpr std::uint32_t EV_TXEMPTY = 0x0004;
constexpr std::uint32_t EV_CTS = 0x0008;
constexpr std::uint32_t EV_DSR = 0x0010;
constexpr std::uint32_t EV_RLSD = 0x0020;
constexpr std::uint32_t EV_BREAK = 0x0040;
constexpr std::uint32_t EV_ERR = 0x0080;
constexpr std::uint32_t EV_RING = 0x0100;
constexpr std::uint32_t kModemLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

// Bits of the modem-status word.
constexpr std::uint32_t MS_CTS_ON = 0x0010;
constexpr std::uint32_t MS_DSR_ON = 0x0020;
constexpr std::uint32_t MS_RING_ON = 0x0040;
constexpr std::uint32_t MS_RLSD_ON = 0x0080;

// Purge flags.
constexpr std::uint32_t PURGE_TXABORT = 0x0001;
constexpr std::uint32_t PURGE_RXABORT = 0x0002;
constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

// The line-settings record (the classic device-control block) as a plain
// value. Flags holds the bit fields in their classic positions.
struct SerialLineSettings {
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    std::uint16_t wReserved1 = 0;

    static constexpr std::uint32_t kBinary = 0x0001;
    static constexpr std::uint32_t kParity = 0x0002;
    static constexpr std::uint32_t kOutxCtsFlow = 0x0004;
    static constexpr std::uint32_t kOutxDsrFlow = 0x0008;
    static constexpr int kDtrControlShift = 4; // two bits
    static constexpr std::uint32_t kDsrSensitivity = 0x0040;
    static constexpr std::uint32_t kTXContinueOnXoff = 0x0080;
    static constexpr std::uint32_t kOutX = 0x0100;
    static constexpr std::uint32_t kInX = 0x0200;
    static constexpr std::uint32_t kErrorChar = 0x0400;
    static constexpr std::uint32_t kNull = 0x0800;
    static constexpr int kRtsControlShift = 12; // two bits
    static constexpr std::uint32_t kAbortOnError = 0x4000;

    static constexpr std::uint32_t DTR_CONTROL_DISABLE = 0;
    static constexpr std::uint32_t DTR_CONTROL_ENABLE = 1;
    static constexpr std::uint32_t RTS_CONTROL_DISABLE = 0;
    static constexpr std::uint32_t RTS_CONTROL_ENABLE = 1;
    static constexpr std::uint32_t RTS_CONTROL_HANDSHAKE = 2;

    std::uint32_t DtrControl() const { return (Flags >> kDtrControlShift) & 3; }
    std::uint32_t RtsControl() const { return (Flags >> kRtsControlShift) & 3; }

    bool operator==(const SerialLineSettings&) const = default;
};

// Time-out record in milliseconds.
struct SerialTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const SerialTimeouts&) const = default;
};

enum class SerialWaitResult {
    Event, // events happened; they were appended
    Stopped, // a stop was requested (it wins over pending events)
    Dropped, // the wait completed without a usable result: arm it again
    Failed, // the device cannot wait for what was selected: give up
    Gone, // the device has been removed (EIO, ENODEV): give up and close it
};

// The moment a watching thread saw something: the tick and the wall clock
// (CLOCK_REALTIME, milliseconds since the epoch). Both are plain clock reads;
// the time zone, and the locks and file look-ups that come with it, are left
// to the thread that shows the time.
struct EdgeTime {
    Tick tick = 0;
    std::int64_t wallClockMs = 0;
    static EdgeTime Now();
};

// One change the watcher saw, stamped the moment it saw it. A change of the
// modem lines names the lines that changed and their levels afterwards; a
// pulse that was over before the lines could be read shows up as its two
// changes, in order, with the same stamp.
struct LineEvent {
    std::uint32_t events = 0; // EV_* bits
    std::uint32_t levels = 0; // MS_* bits after the change
    // The tick when the change was seen. Its time of day is filled in from
    // wallClockMs by the thread that dispatches the change (LocalizeStamp).
    Stamp stamp;
    // Not reported by the wait itself but found by reading the line counters
    // afterwards (an edge that slipped in while the wait was being armed, or
    // one that came while the watcher was busy): the stamp is when it was found.
    bool foundLate = false;
    std::uint64_t sequence = 0; // numbered by the port in order of arrival, from 1
    std::int64_t wallClockMs = 0; // the wall clock when the change was seen
};

// Sets the event's time of day: the local time at its wall-clock moment.
void LocalizeStamp(LineEvent& event);

// EV_* events of the modem lines whose MS_* bits are given.
std::uint32_t LineEventsFromStatus(std::uint32_t lines);

// How often each modem line changed between two looks, as the driver's
// interrupt counters tell; -1 where nothing counts, so only the levels tell.
struct LineTransitions {
    int cts = -1;
    int dsr = -1;
    int ring = -1;
    int rlsd = -1;
};

// Appends the changes between two looks at the lines: `before` and `after`
// are the MS_* levels, `mask` the selected EV_* events. Each step toggles every
// line that still has a change to make, so a line that changed once gives one
// event and a pulse two; lines changing together share the step's event. The
// other selected events (`otherEvents`: bytes received, break, line error)
// ride with the first event, or make one of their own.
void AppendLineChanges(std::vector<LineEvent>& out, std::uint32_t before, std::uint32_t after,
    const LineTransitions& transitions, std::uint32_t mask, const EdgeTime& seen, bool foundLate,
    std::uint32_t otherEvents = 0);

// One opened serial port. Operations that can fail return 0 or the operating
// system's error number. WaitEvents runs on the watcher thread; RequestStop may
// be called from any thread at any time, also repeatedly; the rest belongs to
// the thread that owns the device.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens "COM" + port exclusively.
    virtual int Open(int port) = 0;
    // Opens exactly the device node that was found for the port (a name that
    // a new node takes meanwhile must not lead elsewhere); without a node, by
    // the number.
    virtual int OpenNode(int port, const QString& node)
    {
        (void)node;
        return Open(port);
    }
    virtual bool IsCharDevice() const = 0;
    virtual int SetLineSettings(const SerialLineSettings& settings) = 0;
    virtual int GetTimeouts(SerialTimeouts& timeouts) = 0;
    virtual int SetTimeouts(const SerialTimeouts& timeouts) = 0;
    virtual int SetupQueues(int readSize, int writeSize) = 0;
    // Selects the EV_* events a wait reports; changes from now on count.
    virtual int SetEventMask(std::uint32_t mask) = 0;
    // Sleeps until a selected event, a stop request or a failure, and appends
    // what happened, stamped as soon as the wait returned. `error` gets the
    // error number of a failed or gone device.
    virtual SerialWaitResult WaitEvents(std::vector<LineEvent>& events, int& error) = 0;
    // The stop request stays set (like a manual-reset event).
    virtual void RequestStop() = 0;
    // MS_* bits; 0 when the lines cannot be read.
    virtual std::uint32_t ModemStatus() = 0;
    // Bytes waiting in the receive queue; 0 when unknown.
    virtual int InQueueCount() = 0;
    virtual void Purge(std::uint32_t flags) = 0;
    virtual void Close() = 0;
    // What is known about the adapter behind the open port (nothing for a
    // device that cannot tell). Any thread.
    virtual SerialAdapter Adapter() const { return {}; }
};

// A serial port the system offers: its number, the device node behind it and,
// where the system has one, the path under /dev/serial/by-id that stays the
// same however the adapter is numbered.
struct SerialPortInfo {
    int number = 0;
    QString node;
    QString stablePath;

    // The name an operator recognises: the by-id name, else the node.
    QString DeviceName() const;
    bool operator==(const SerialPortInfo&) const = default;
};
using SerialPortLister = std::function<std::vector<SerialPortInfo>()>;

// The ports the system offers now, by number (the device files and the
// "Ports" settings, judged by sysfs without opening any, unless a test
// installed another lister).
std::vector<SerialPortInfo> ListSerialPorts();
// An empty lister puts the system's back.
void SetSerialPortLister(SerialPortLister lister);
SerialPortLister CurrentSerialPortLister();

using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;

// Every serial device of the program is made here, so tests can put the
// simulated device in place of the real one for everything at once.
std::unique_ptr<SerialDevice> CreateSerialDevice();
// An empty factory puts the operating system's device back.
void SetSerialDeviceFactory(SerialDeviceFactory factory);
SerialDeviceFactory CurrentSerialDeviceFactory();

} // namespace platform
