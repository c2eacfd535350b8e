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
    // The watcher runs with real-time priority (only known while it runs).
    bool realtime = false;

    bool operator==(const SerialAdapter&) const = default;
};

// Above this an FTDI adapter's latency timer delays line changes visibly.
constexpr int kMaxGoodLatencyMs = 2;

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
// driver, whether that driver carries CTS, and its latency timer.
SerialAdapter DescribeSerialNode(const QString& node);
// The latency timer's value; -1 when it cannot be read.
int ReadLatencyTimer(const QString& path);

// The adapter family an official knows ("FTDI" for ftdi_sio); the driver's
// own name for drivers without one.
QString AdapterFamily(const QString& driver);

} // namespace platform
