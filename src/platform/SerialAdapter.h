// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace platform {

// What the program knows about the adapter behind a serial port: which
// driver serves it (from sysfs), what that means for the barrier lines, and,
// once the port is open, what the driver and the watcher really do.
struct SerialAdapter {
    QString tty; // the kernel's name of the port ("ttyUSB0"); empty when unknown
    QString driver; // "ftdi_sio", "cdc_acm", "cp210x", "serial" ...; empty when unknown
    // The driver reports CTS. cdc_acm always reads CTS as on and never counts
    // or waits for it, so a stop barrier on CTS cannot work there.
    bool carriesCts = true;
    // What the open port does (not known before it is opened): a line change
    // wakes the watcher (false: the lines are read every millisecond), and the
    // driver counts every change (so a pulse shorter than a look is not lost).
    bool opened = false;
    bool waits = true;
    bool counts = true;
    // The FTDI latency timer in milliseconds as read back after the attempt to
    // set it to 1 ms; -1 when the adapter has none or it cannot be read.
    int latencyMs = -1;
    // How often a USB adapter with an interrupt endpoint (pl2303, ch341,
    // cdc_acm) sends its line status, in microseconds; -1 when unknown.
    int statusIntervalUs = -1;
    // The watcher runs with real-time priority (only known while it runs).
    bool realtime = false;

    bool operator==(const SerialAdapter&) const = default;
};

// Above this an FTDI adapter's latency timer delays line changes visibly.
constexpr int kMaxGoodLatencyMs = 2;
// A driver that does not report line changes by itself has its lines read
// this often (microseconds).
constexpr int kLinePollUs = 1000;

// How the adapter's driver learns that a line changed, and so which pulses it
// can report at all.
enum class LineReports {
    EveryChange, // an 8250-type UART interrupts on each change and counts it
    StatusReports, // a USB adapter compares successive status reports: a pulse
                   // between two reports vanishes with both its edges
    Polled, // the driver reports nothing (cp210x): the lines are read every ms
    Unknown,
};
LineReports HowLinesAreReported(const SerialAdapter& adapter);
// The interval below which a pulse can vanish, in microseconds: 0 when any
// pulse is seen, -1 when unknown.
int ShortestPulseUs(const SerialAdapter& adapter);
// Whether the driver keeps counters of the line changes that move
// (TIOCGICOUNT): with them, a pulse that is over before the watcher looks is
// still its two changes. pl2303 and ch341 refuse the counters, cp210x keeps
// them but never moves those of the modem lines.
bool CountsLineChanges(const SerialAdapter& adapter);

// The sysfs folder (/sys); tests put a scripted tree in its place (an empty
// path puts /sys back).
QString SysfsRoot();
void SetSysfsRoot(const QString& root);

// The kernel's name of the tty behind a device node (following a by-id link).
QString TtyName(const QString& node);
// The sysfs file of the port's FTDI latency timer (it exists only for FTDI
// adapters), relative to the sysfs root given.
QString LatencyTimerPath(const QString& sysfsRoot, const QString& tty);
// What sysfs tells about the tty behind the node without opening it: its
// driver, whether that driver carries CTS, its latency timer and the interval
// of its status reports.
SerialAdapter DescribeSerialNode(const QString& node);
// Whether a real port stands behind the node, as sysfs tells without opening
// it. A tty of the kernel's needs a device behind it (ttyS nodes without one
// are placeholders), and a UART of the serial core a type other than 0
// ("unknown": no UART answered where the port would be; the kernel makes
// ttyS0..ttyS31 whether or not there is one). A node that is no tty of the
// kernel's (a pseudo-terminal) needs to be a character device. A node that
// does not exist is no port.
bool SerialNodeIsPort(const QString& node, const QString& sysfsRoot);
// The latency timer's value; -1 when it cannot be read.
int ReadLatencyTimer(const QString& path);

// The adapter family an official knows ("FTDI" for ftdi_sio); the driver's
// own name for drivers without one.
QString AdapterFamily(const QString& driver);

} // namespace platform
