// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace platform {

// Which quotes a text escapes besides & < >: none (element text of the
// results file, which keeps its bytes), the double quote (attribute values)
// or both quotes (pages that put texts anywhere).
enum class HtmlQuotes { None, Double, Both };

// The text with HTML's special characters as entities.
QString EscapeHtml(const QString& text, HtmlQuotes quotes);

} // namespace platform
