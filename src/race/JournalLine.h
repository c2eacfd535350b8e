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

// One event of the race journal. On disk it is one line of UTF-8 text:
//
//   000042 123456789 2026-12-08T20:45:03.120 START row=3 nr=7 name="Anna Muster" *1a2b3c4d
//
// sequence number, tick, local date and time of day, the event's kind, its
// fields as key=value (values with blanks, quotes, backslashes or control
// characters in double quotes with backslash escapes), and after " *" the
// CRC-32 of everything before it, in hexadecimal. A line whose checksum does
// not match, or that lacks its line end, was torn or damaged.
struct JournalEntry {
    std::uint64_t seq = 0;
    platform::Tick tick = 0;
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

// What a journal file holds: its readable entries in order, and one text per
// line that had to be skipped ("Zeile 17: Prüfsumme falsch").
struct JournalContents {
    QList<JournalEntry> entries;
    QStringList skipped;
    bool tornEnd = false; // the last line was cut off (no line end or damaged)
};

JournalContents ParseJournal(const QByteArray& bytes);
// nullopt with the system's reason when the file cannot be read.
std::optional<JournalContents> ReadJournal(const QString& fileName, QString* reason = nullptr);

} // namespace race
