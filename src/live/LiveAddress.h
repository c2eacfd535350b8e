// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <vector>

// The address phones at the finish line open: the machine's address in the
// local network and the server's port.
namespace live {

struct InterfaceAddress {
    QHostAddress address;
    bool wired = false; // Ethernet or Wi-Fi, not a virtual bridge or tunnel
    bool up = true;
    bool loopback = false;
};

// The best of the machine's addresses for others in the same network: an IPv4
// address of an interface that is up, not loopback and not link-local;
// private ranges before public ones, Ethernet and Wi-Fi before virtual
// interfaces. Empty when there is none.
QHostAddress PickLanAddress(const std::vector<InterfaceAddress>& candidates);

// The machine's own interfaces.
std::vector<InterfaceAddress> MachineAddresses();

// "http://192.168.1.20:8080/", or with the host name when the machine has no
// usable address.
QString LiveUrl(quint16 port);
QString LiveUrl(const QHostAddress& address, quint16 port);

} // namespace live
