// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "live/HttpRequest.h"

#include <QByteArray>
#include <QByteArrayView>

// The parts of a request head, each read on its own by the request reader.
// Each returns 0 when the part is well formed, otherwise the status the
// request is refused with.
namespace live {

// "GET /path HTTP/1.1" (without its line end): method, target and version.
int ReadRequestLine(QByteArrayView line, HttpRequest& request);

// The target into path and query: origin form "/path?query", absolute form
// "http://host/path?query" (the scheme in any case), "*", or a CONNECT's
// authority.
int ReadTarget(HttpRequest& request);

// Blanks and tabs off both ends.
QByteArrayView TrimmedBlanks(QByteArrayView text);

} // namespace live
