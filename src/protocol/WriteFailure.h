// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace protocol {

// Why an export wrote nothing: the file it is about and the system's reason.
// The window turns it into a message for the operator.
struct WriteFailure {
    QString fileName;
    QString reason;
};

} // namespace protocol
