// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Horizontal text placement, shared by the grid and the buttons.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
