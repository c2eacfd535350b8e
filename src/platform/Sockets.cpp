// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/Sockets.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

bool ShutdownSending(qintptr descriptor)
{
    return descriptor >= 0 && ::shutdown(static_cast<int>(descriptor), SHUT_WR) == 0;
}

qint64 UnreadBytes(qintptr descriptor)
{
    int count = 0;
    if (descriptor < 0 || ::ioctl(static_cast<int>(descriptor), FIONREAD, &count) != 0)
        return 0;
    return count;
}

qintptr DuplicateDescriptor(qintptr descriptor)
{
    if (descriptor < 0)
        return -1;
    return ::fcntl(static_cast<int>(descriptor), F_DUPFD_CLOEXEC, 0);
}

void CloseDescriptor(qintptr descriptor)
{
    if (descriptor >= 0)
        ::close(static_cast<int>(descriptor));
}

} // namespace platform
