// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace protocol {

// Text that XML 1.0 can carry: every character it forbids (control
// characters other than TAB, LF and CR, U+FFFE, U+FFFF and unpaired
// surrogates) becomes U+FFFD, so a stray byte in a name neither breaks the
// document nor cuts the cell, and the reader sees where it was.
QString XmlSafeText(const QString& text);

} // namespace protocol
