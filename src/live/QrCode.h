// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <vector>

// A QR code of a short text (an address), as a square of modules.
namespace live {

struct QrCode {
    int size = 0; // modules per side; 0 when the text could not be encoded
    std::vector<bool> dark; // row by row

    bool Dark(int x, int y) const { return dark[static_cast<size_t>(y * size + x)]; }
};

// Error correction level M: a code that still reads with some glare on a
// screen or a crease in a printout.
QrCode EncodeQr(const QString& text);

} // namespace live
