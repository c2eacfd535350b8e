// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/AppendFile.h"
#include "stations/Impulse.h"

#include <QString>

#include <vector>

namespace stations {

// A station's impulses on its own disk, one line each with a checksum
// ("impulse ... crc=1a2b3c4d"), appended and synced before the impulse is
// offered to the finish. Opening an existing store reads it back and goes on
// numbering after its last impulse; a torn last line (a power cut during the
// write) is ignored and cut off, as is everything after a line that does not
// read.
class ImpulseStore final {
public:
    ImpulseStore(QString fileName, Role role);

    // Reads what is there and opens for appending. False with the system's
    // reason when the file cannot be had.
    bool Open(QString* reason);
    // Numbers and keeps an impulse; it is on the disk when this returns. On a
    // failure nothing is kept, the number is not used up, and the caller
    // tries again later (the impulse waits with its stamp).
    std::optional<Impulse> Append(
        platform::Tick tick, std::int64_t wallNs, const QString& bootId, ImpulseKind kind, QString* reason);

    Role GetRole() const { return m_role; }
    const std::vector<Impulse>& Impulses() const { return m_impulses; }
    std::uint64_t LastSequence() const { return m_impulses.empty() ? 0 : m_impulses.back().sequence; }
    // Lines that were found unreadable at Open (the torn tail counted once).
    int DroppedLines() const { return m_dropped; }
    QString FileName() const { return m_fileName; }

    static QByteArray StoreLine(const Impulse& impulse);
    static std::optional<Impulse> ReadStoreLine(QByteArrayView line);

private:
    QString m_fileName;
    Role m_role;
    platform::AppendFile m_file;
    std::vector<Impulse> m_impulses;
    int m_dropped = 0;
};

} // namespace stations
