// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QHash>
#include <QHostAddress>

#include <functional>

// Who holds how many of the live server's connections, and who gets the next
// one. No sockets: the server reports what opens and closes and asks before
// it takes a new connection. A client is its address, an IPv6 client its /64
// network (one household or phone gets a whole /64 and may use any address
// in it).
namespace live {

// The address a client is counted by.
QHostAddress PeerKey(const QHostAddress& address);

class PeerLimits final {
public:
    struct Limits {
        int connections = 100;
        int perPeer = 8;
        int streams = 80;
        int streamsPerPeer = 4;
    };
    explicit PeerLimits(const Limits& limits);

    enum class Verdict {
        Accept,
        Reclaim, // accept once a connection of `from` has given way
        Wait, // no room now
    };
    struct Admission {
        Verdict verdict = Verdict::Wait;
        QHostAddress from;
    };
    // Whether a new connection of `peer` is taken. Below the per-address
    // limit and four fifths of the total it is. An address at its own limit
    // takes it in place of one of its own that can give way. Beyond four
    // fifths of the total, the address holding most gives way to one that
    // holds fewer (when it holds more than one more than the newcomer and
    // has a connection that can give way), and only then is the rest of the
    // total used. So no group of addresses keeps others out for long:
    // `canGiveWay` says whether an address has a connection that is not in
    // use (the server's idle connections).
    Admission Admit(const QHostAddress& peer, const std::function<bool(const QHostAddress&)>& canGiveWay) const;

    void Open(const QHostAddress& peer);
    void Close(const QHostAddress& peer);
    bool StreamRoom(const QHostAddress& peer) const;
    void OpenStream(const QHostAddress& peer);
    void CloseStream(const QHostAddress& peer);
    // Whether a connection beyond the limits may wait for room: a share of
    // `maxWaiting` in all and half of that per address.
    bool MayWait(const QHostAddress& peer, int maxWaiting) const;
    void StartWaiting(const QHostAddress& peer);
    void StopWaiting(const QHostAddress& peer);
    // With most connections open, in all or from this address, answers do
    // not keep their connection for a next request.
    bool KeepsAlive(const QHostAddress& peer) const;

    int Connections() const { return m_connections; }
    int Streams() const { return m_streams; }
    int Waiting() const { return m_waiting; }
    int ConnectionsOf(const QHostAddress& peer) const { return m_peers.value(peer).connections; }

private:
    struct Peer {
        int connections = 0;
        int streams = 0;
        int waiting = 0;
    };
    void forgetIfEmpty(QHash<QHostAddress, Peer>::iterator it);

    Limits m_limits;
    int m_connections = 0;
    int m_streams = 0;
    int m_waiting = 0;
    QHash<QHostAddress, Peer> m_peers;
};

} // namespace live
