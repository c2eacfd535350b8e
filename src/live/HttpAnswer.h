// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QDateTime>

// The texts of the live server's answers that do not depend on the results:
// reason phrases, the German body of an error, and the Date field.
namespace live {

// "OK", "Not Found", ... for a status the server sends.
QByteArray ReasonPhrase(int status);

// The plain-text body of an error answer, in German.
QByteArray ErrorText(int status);

// A moment as HTTP dates are written (IMF-fixdate, RFC 9110, 5.6.7):
// "Sun, 06 Nov 1994 08:49:37 GMT", whatever the locale.
QByteArray HttpDate(const QDateTime& moment);

// The Date field of an answer sent now, with its line end.
QByteArray DateField();

} // namespace live
