// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Tick.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTime>

#include <cstdint>
#include <optional>

namespace race {

// The format of the journals this program writes: the first line of each
// names it, and a journal of a later format is not read past that line.
constexpr int kJournalVersion = 2;

// One event of the race journal. On disk it is one line of UTF-8 text:
//
//   000042 123456789 1796150703120 2026-12-08T20:45:03.120 START row=3 nr=7 name="Anna Muster" *1a2b3c4d
//
// sequence number, tick, the wall clock at that tick (milliseconds since
// 1970 UTC, 0 when unknown), local date and time of day, the event's kind,
// its fields as key=value (values with blanks, quotes, backslashes or control
// characters in double quotes with backslash escapes), and after " *" the
// CRC-32 of everything before it, in hexadecimal. A line whose checksum does
// not match, or that lacks its line end, was torn or damaged. Lines of the
// first journals, which have no wall clock column, are read as well.
struct JournalEntry {
    std::uint64_t seq = 0;
    platform::Tick tick = 0;
    // The tick's moment on the wall clock: a tick means nothing in another
    // boot of the machine, the wall clock does.
    std::int64_t wall = 0;
    QDate date;
    QTime time; // local time of day, to the millisecond
    QString kind;
    QList<QPair<QString, QString>> fields;

    // The first value of the field, or `fallback` when the entry has none.
    QString Field(const QString& key, const QString& fallback = QString()) const;
    bool HasField(const QString& key) const;
    JournalEntry& Add(const QString& key, const QString& value);
    JournalEntry& Add(const QString& key, qint64 value);
};

// The line of an entry, line end included.
QByteArray FormatJournalLine(const JournalEntry& entry);

// Reads one line (without its line end). nullopt with the reason when the
// line is damaged: a wrong checksum or a line that does not parse.
std::optional<JournalEntry> ParseJournalLine(const QByteArray& line, QString* reason = nullptr);

std::uint32_t Crc32(const QByteArray& bytes);

// A line of a journal that cannot be used, described as far as it can be
// read: the official gets a list of what is missing from the race.
struct UnusedLine {
    int line = 0; // in the file, from 1
    QString seq; // empty when unreadable
    QString time; // local time of day, "hh:mm:ss.zzz"
    QString kind;
    QString why; // empty: it follows a line that could not be used
    QString Text() const; // one line for the official
};

// What a journal file holds. Its lines are used in order up to the first
// one that is damaged, cut off or breaks the run of sequence numbers: a race
// that misses an event cannot be known after it, so every later line is
// listed as unused, never replayed around the hole.
struct JournalContents {
    QList<JournalEntry> entries; // the usable lines
    QList<UnusedLine> unused; // every line after them
    QString stop; // why the reading stopped there; empty when every line was used
};

JournalContents ParseJournal(const QByteArray& bytes);
// The line of an entry as the official reads it in a list of unused events.
UnusedLine DescribeEntry(const JournalEntry& entry, int line, const QString& why);
// nullopt with the system's reason when the file cannot be read.
std::optional<JournalContents> ReadJournal(const QString& fileName, QString* reason = nullptr);

} // namespace race
