// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>

#include <vector>

// The icon browsers show beside the live pages' title and ask for as
// /favicon.ico: the program's own icon.
namespace live {

struct FaviconImage {
    int size = 0; // width and height in pixels
    QByteArray png;
};

// The program's icon as PNG images of a few sizes, smallest first.
std::vector<FaviconImage> FaviconImages();

// Those images in one ICO file (ICO entries may hold PNG data).
const QByteArray& FaviconIco();

} // namespace live
