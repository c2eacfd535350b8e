// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/LiveAddress.h"

#include <QHostInfo>
#include <QNetworkInterface>

#include <algorithm>

namespace live {

namespace {

bool isPrivate(quint32 v4)
{
    return (v4 >> 24) == 10 || (v4 >> 20) == (172u << 4 | 1) || (v4 >> 16) == (192u << 8 | 168);
}

bool isLinkLocal(quint32 v4)
{
    return (v4 >> 16) == (169u << 8 | 254);
}

} // namespace

QHostAddress PickLanAddress(const std::vector<InterfaceAddress>& candidates)
{
    const InterfaceAddress* best = nullptr;
    int bestScore = -1;
    for (const InterfaceAddress& c : candidates) {
        if (!c.up || c.loopback || c.address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        const quint32 v4 = c.address.toIPv4Address();
        if (c.address.isLoopback() || isLinkLocal(v4) || v4 == 0)
            continue;
        const int score = (isPrivate(v4) ? 2 : 0) + (c.wired ? 1 : 0);
        if (score > bestScore) {
            best = &c;
            bestScore = score;
        }
    }
    return best ? best->address : QHostAddress();
}

std::vector<InterfaceAddress> MachineAddresses()
{
    std::vector<InterfaceAddress> out;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        const auto flags = i.flags();
        const bool wired = i.type() == QNetworkInterface::Ethernet || i.type() == QNetworkInterface::Wifi;
        for (const QNetworkAddressEntry& entry : i.addressEntries()) {
            out.push_back({ entry.ip(), wired,
                flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning),
                flags.testFlag(QNetworkInterface::IsLoopBack) });
        }
    }
    return out;
}

QString LiveUrl(const QHostAddress& address, quint16 port)
{
    const QString host = address.isNull() ? QHostInfo::localHostName() : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}

QString LiveUrl(quint16 port)
{
    return LiveUrl(PickLanAddress(MachineAddresses()), port);
}

} // namespace live
