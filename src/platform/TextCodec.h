// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Bytes read from a file: UTF-8 when they are valid UTF-8, else Windows-1252
// (start lists from older Windows spreadsheets). A leading UTF-8 byte-order
// mark is dropped.
QString DecodeText(const QByteArray& bytes);

// Windows-1252 bytes to text (through iconv).
QString DecodeWindows1252(const QByteArray& bytes);

// Text for a page declared as ISO-8859-1: Latin-1 bytes, every other
// character as a numeric character reference.
QByteArray EncodeLatin1WithReferences(const QString& text);

} // namespace platform
