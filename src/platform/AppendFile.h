// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// A file that only grows, each piece on the disk before Append returns
// (O_APPEND, then fdatasync): what a station's impulses are kept in before
// anyone is told of them. Errors carry the system's reason.
class AppendFile final {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens (creating) the file. `keepBytes` >= 0 first cuts it to that
    // length, so a torn last line is gone before the next is appended.
    bool Open(const QString& fileName, qint64 keepBytes, QString* reason);
    // Writes all bytes and makes them durable. A partial write is taken
    // back (the file is cut to where it was), so no later line is glued to it.
    bool Append(const QByteArray& bytes, QString* reason);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Test programs make the next appends fail with this error number
    // (0: none), as a full disk would.
    static void InjectErrorForTests(int error);

private:
    int m_fd = -1;
    qint64 m_size = 0;
};

} // namespace platform
