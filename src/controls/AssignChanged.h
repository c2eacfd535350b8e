// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Display setters change a value and repaint only when it really changed:
// `if (AssignChanged(m_color, color)) repaint();`
template <typename T, typename V> bool AssignChanged(T& member, const V& value)
{
    if (member == value)
        return false;
    member = value;
    return true;
}
