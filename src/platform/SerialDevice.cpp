// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SerialDevice.h"

#include "platform/PortMap.h"
#include "platform/SerialLinux.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <ctime>
#include <mutex>

namespace platform {

namespace {

std::mutex g_factoryMutex;
SerialDeviceFactory g_factory;
SerialPortLister g_lister;

struct LineBits {
    std::uint32_t status; // MS_*
    std::uint32_t event; // EV_*
    int LineTransitions::*count;
};

// The four modem lines.
constexpr std::array<LineBits, 4> kLines { {
    { MS_RING_ON, EV_RING, &LineTransitions::ring },
    { MS_CTS_ON, EV_CTS, &LineTransitions::cts },
    { MS_DSR_ON, EV_DSR, &LineTransitions::dsr },
    { MS_RLSD_ON, EV_RLSD, &LineTransitions::rlsd },
} };

// A line that bounces faster than it can be looked at would otherwise turn
// one look into thousands of events; beyond this many the count only keeps its
// parity, so the levels still come out right.
constexpr int kMaxStepsPerLook = 256;
static_assert(kMaxStepsPerLook % 2 == 0);

} // namespace

std::uint32_t LineEventsFromStatus(std::uint32_t lines)
{
    std::uint32_t events = 0;
    for (const LineBits& line : kLines) {
        if (lines & line.status)
            events |= line.event;
    }
    return events;
}

void AppendLineChanges(std::vector<LineEvent>& out, std::uint32_t before, std::uint32_t after,
    const LineTransitions& transitions, std::uint32_t mask, const EdgeTime& seen, bool foundLate,
    std::uint32_t otherEvents)
{
    const Stamp stamp { seen.tick, QTime() };
    std::array<int, kLines.size()> steps {};
    int total = 0;
    std::uint32_t watched = 0; // MS_* bits of the selected lines
    for (size_t i = 0; i < kLines.size(); ++i) {
        const LineBits& line = kLines[i];
        if (!(mask & line.event))
            continue;
        watched |= line.status;
        const bool differs = ((before ^ after) & line.status) != 0;
        int n = transitions.*line.count;
        if (n < 0)
            n = differs ? 1 : 0;
        // A count that disagrees with the levels missed a change: the levels
        // are what the handlers will read, so they win.
        if ((n % 2 == 1) != differs)
            ++n;
        if (n > kMaxStepsPerLook)
            n = kMaxStepsPerLook - (differs ? 1 : 0);
        steps[i] = n;
        total = std::max(total, n);
    }
    otherEvents &= mask & ~kModemLineEvents;
    if (total == 0) {
        if (otherEvents)
            out.push_back(LineEvent { otherEvents, after, stamp, foundLate, 0, seen.wallClockMs });
        return;
    }
    std::uint32_t levels = before;
    for (int k = 1; k <= total; ++k) {
        std::uint32_t events = k == 1 ? otherEvents : 0;
        for (size_t i = 0; i < kLines.size(); ++i) {
            if (k <= steps[i]) {
                levels ^= kLines[i].status;
                events |= kLines[i].event;
            }
        }
        // Lines nobody watches show what they show at the end.
        out.push_back(
            LineEvent { events, (levels & watched) | (after & ~watched), stamp, foundLate, 0, seen.wallClockMs });
    }
}

EdgeTime EdgeTime::Now()
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return { GetTickCount(), static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000 };
}

void LocalizeStamp(LineEvent& event)
{
    if (event.wallClockMs != 0 && !event.stamp.timeOfDay.isValid())
        event.stamp.timeOfDay = QDateTime::fromMSecsSinceEpoch(event.wallClockMs, Qt::LocalTime).time();
}

QString SerialPortInfo::DeviceName() const
{
    return stablePath.isEmpty() ? node : QFileInfo(stablePath).fileName();
}

std::unique_ptr<SerialDevice> CreateSerialDevice()
{
    SerialDeviceFactory factory = CurrentSerialDeviceFactory();
    if (factory)
        return factory();
    return std::make_unique<LinuxSerialDevice>();
}

void SetSerialDeviceFactory(SerialDeviceFactory factory)
{
    std::lock_guard lock(g_factoryMutex);
    g_factory = std::move(factory);
}

SerialDeviceFactory CurrentSerialDeviceFactory()
{
    std::lock_guard lock(g_factoryMutex);
    return g_factory;
}

std::vector<SerialPortInfo> ListSerialPorts()
{
    SerialPortLister lister = CurrentSerialPortLister();
    if (lister)
        return lister();
    return PortMap::FromSettings().List();
}

void SetSerialPortLister(SerialPortLister lister)
{
    std::lock_guard lock(g_factoryMutex);
    g_lister = std::move(lister);
}

SerialPortLister CurrentSerialPortLister()
{
    std::lock_guard lock(g_factoryMutex);
    return g_lister;
}

} // namespace platform
