// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/PeerLimits.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace live {

QHostAddress PeerKey(const QHostAddress& address)
{
    // IPv4 clients of a dual-stack socket arrive as ::ffff:a.b.c.d.
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    if (v4)
        return QHostAddress(ip);
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return address;
    Q_IPV6ADDR network = address.toIPv6Address();
    for (int i = 8; i < 16; ++i)
        network[i] = 0;
    return QHostAddress(network);
}

PeerLimits::PeerLimits(const Limits& limits)
    : m_limits(limits)
{
}

PeerLimits::Admission PeerLimits::Admit(
    const QHostAddress& peer, const std::function<bool(const QHostAddress&)>& canGiveWay) const
{
    const int own = ConnectionsOf(peer);
    if (own >= m_limits.perPeer)
        return canGiveWay(peer) ? Admission { Verdict::Reclaim, peer } : Admission {};
    const int soft = m_limits.connections * 4 / 5;
    if (m_connections < soft)
        return { Verdict::Accept, {} };
    // The largest holders first; one that would hold no more than the
    // newcomer afterwards keeps what it has, so two addresses never take
    // connections from each other by turns.
    std::vector<std::pair<int, QHostAddress>> holders;
    for (auto it = m_peers.cbegin(); it != m_peers.cend(); ++it) {
        if (it.key() != peer && it->connections > own + 1)
            holders.emplace_back(it->connections, it.key());
    }
    std::sort(holders.begin(), holders.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [count, holder] : holders) {
        if (canGiveWay(holder))
            return { Verdict::Reclaim, holder };
    }
    if (m_connections < m_limits.connections)
        return { Verdict::Accept, {} };
    return {};
}

void PeerLimits::Open(const QHostAddress& peer)
{
    ++m_connections;
    ++m_peers[peer].connections;
}

void PeerLimits::Close(const QHostAddress& peer)
{
    const auto it = m_peers.find(peer);
    if (it == m_peers.end() || it->connections == 0)
        return;
    --m_connections;
    --it->connections;
    forgetIfEmpty(it);
}

bool PeerLimits::StreamRoom(const QHostAddress& peer) const
{
    return m_streams < m_limits.streams && m_peers.value(peer).streams < m_limits.streamsPerPeer;
}

void PeerLimits::OpenStream(const QHostAddress& peer)
{
    ++m_streams;
    ++m_peers[peer].streams;
}

void PeerLimits::CloseStream(const QHostAddress& peer)
{
    const auto it = m_peers.find(peer);
    if (it == m_peers.end() || it->streams == 0)
        return;
    --m_streams;
    --it->streams;
    forgetIfEmpty(it);
}

bool PeerLimits::MayWait(const QHostAddress& peer, int maxWaiting) const
{
    return m_waiting < maxWaiting && m_peers.value(peer).waiting < maxWaiting / 2;
}

void PeerLimits::StartWaiting(const QHostAddress& peer)
{
    ++m_waiting;
    ++m_peers[peer].waiting;
}

void PeerLimits::StopWaiting(const QHostAddress& peer)
{
    const auto it = m_peers.find(peer);
    if (it == m_peers.end() || it->waiting == 0)
        return;
    --m_waiting;
    --it->waiting;
    forgetIfEmpty(it);
}

bool PeerLimits::KeepsAlive(const QHostAddress& peer) const
{
    return m_connections <= m_limits.connections / 2 && ConnectionsOf(peer) <= m_limits.perPeer / 2;
}

void PeerLimits::forgetIfEmpty(QHash<QHostAddress, Peer>::iterator it)
{
    if (it->connections == 0 && it->streams == 0 && it->waiting == 0)
        m_peers.erase(it);
}

} // namespace live
