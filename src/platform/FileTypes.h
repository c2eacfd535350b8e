// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace platform {

// The description the desktop gives a file type (the comment of its MIME
// type), or the fallback when none is known.
QString FileTypeDescription(const QString& mimeType, const QString& fallback);

} // namespace platform
