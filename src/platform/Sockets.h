// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>

// What a server needs of a connected socket beyond Qt's socket classes,
// given the socket's descriptor.
namespace platform {

// Ends the sending side: the peer reads the end of the stream after what was
// sent, while what it still sends can be read. A server that closes first
// this way lets the client read the last answer and close in its turn,
// instead of finding the connection reset. False when the descriptor is not
// a connected socket.
bool ShutdownSending(qintptr descriptor);

// Bytes that have arrived on the socket and are not read yet (the kernel's
// part, not what a Qt socket has already taken into its buffer); 0 when
// that cannot be asked.
qint64 UnreadBytes(qintptr descriptor);

// A second descriptor of the same connection (close-on-exec), so another
// socket object can take it over once the first has let go of its own;
// -1 on failure.
qintptr DuplicateDescriptor(qintptr descriptor);

// Closes a descriptor that no socket object owns.
void CloseDescriptor(qintptr descriptor);

} // namespace platform
