// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace platform {

// The system's reason for a failed call (an errno value) as the operator
// reads it, in German: "Kein Platz mehr auf dem Datenträger" for ENOSPC.
// The system's own texts follow the locale of whoever set up the machine,
// and a race official's laptop often says "No space left on device"; the
// common reasons are therefore worded here. A rare one is named with its
// number and the system's text, so it can still be looked up.
QString SystemReason(int error);

} // namespace platform
