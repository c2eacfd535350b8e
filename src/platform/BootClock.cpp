// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/BootClock.h"

#include <QDateTime>
#include <QFile>

namespace platform {

namespace {

std::function<QString()> g_bootId;
std::function<std::int64_t()> g_wallClock;

QString systemBootId()
{
    // It does not change while the machine runs.
    static const QString id = [] {
        QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromLatin1(file.readAll().trimmed());
    }();
    return id;
}

} // namespace

QString BootId()
{
    return g_bootId ? g_bootId() : systemBootId();
}

std::int64_t WallClockMs()
{
    return g_wallClock ? g_wallClock() : QDateTime::currentMSecsSinceEpoch();
}

void SetBootIdSource(std::function<QString()> source)
{
    g_bootId = std::move(source);
}

void SetWallClockSource(std::function<std::int64_t()> source)
{
    g_wallClock = std::move(source);
}

} // namespace platform
