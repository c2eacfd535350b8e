// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/WallClock.h"

#include <QLocale>

#include <atomic>
#include <ctime>

#include <sys/timex.h>

namespace platform {

namespace {

std::atomic<std::int64_t> g_shift { 0 };

} // namespace

std::int64_t WallClockNs()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec + g_shift.load(std::memory_order_relaxed);
}

void SetWallClockShiftNs(std::int64_t shift)
{
    g_shift.store(shift, std::memory_order_relaxed);
}

std::int64_t WallClockShiftNs()
{
    return g_shift.load(std::memory_order_relaxed);
}

KernelClockState ReadKernelClock()
{
    // modes 0 only reads; it needs no privilege and changes nothing.
    timex tx {};
    const int state = adjtimex(&tx);
    KernelClockState result;
    if (state < 0)
        return result;
    result.known = true;
    result.synchronised = state != TIME_ERROR && (tx.status & STA_UNSYNC) == 0;
    result.maxErrorUs = tx.maxerror;
    result.estErrorUs = tx.esterror;
    return result;
}

QString DescribeKernelClock(const KernelClockState& state)
{
    if (!state.known)
        return QStringLiteral("Uhrzustand unbekannt");
    if (!state.synchronised)
        return QStringLiteral("nicht synchronisiert");
    const QLocale german(QLocale::German, QLocale::Germany);
    return QStringLiteral("synchronisiert, max. Fehler %1 ms")
        .arg(german.toString(double(state.maxErrorUs) / 1000.0, 'f', state.maxErrorUs < 10000 ? 1 : 0));
}

} // namespace platform
