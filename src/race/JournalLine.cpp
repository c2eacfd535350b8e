// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/JournalLine.h"

#include "platform/FileAccess.h"

#include <algorithm>
#include <array>

namespace race {

namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table {};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

// "2026-12-08T20:45:03.120": written and read digit by digit, since a
// journal of a long race is read at start-up.
void appendDigits(QString& out, int value, int width)
{
    char digits[8];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out += QLatin1String(digits, width);
}

QString dateTimeText(const QDate& date, const QTime& time)
{
    QString out;
    out.reserve(23);
    appendDigits(out, date.year(), 4);
    out += QLatin1Char('-');
    appendDigits(out, date.month(), 2);
    out += QLatin1Char('-');
    appendDigits(out, date.day(), 2);
    out += QLatin1Char('T');
    appendDigits(out, time.hour(), 2);
    out += QLatin1Char(':');
    appendDigits(out, time.minute(), 2);
    out += QLatin1Char(':');
    appendDigits(out, time.second(), 2);
    out += QLatin1Char('.');
    appendDigits(out, time.msec(), 3);
    return out;
}

bool parseDateTime(QStringView text, QDate& date, QTime& time)
{
    if (text.size() != 23 || text[4] != u'-' || text[7] != u'-' || text[10] != u'T' || text[13] != u':'
        || text[16] != u':' || text[19] != u'.')
        return false;
    const auto number = [&](qsizetype from, qsizetype width, int& value) {
        value = 0;
        for (qsizetype i = from; i < from + width; ++i) {
            const char16_t u = text[i].unicode();
            if (u < u'0' || u > u'9')
                return false;
            value = value * 10 + (u - u'0');
        }
        return true;
    };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (!number(0, 4, y) || !number(5, 2, mo) || !number(8, 2, d) || !number(11, 2, h) || !number(14, 2, mi)
        || !number(17, 2, s) || !number(20, 3, ms))
        return false;
    date = QDate(y, mo, d);
    time = QTime(h, mi, s, ms);
    return date.isValid() && time.isValid();
}

// A value is written bare when it is made only of these characters.
bool isBareChar(char16_t u)
{
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || u == u'.' || u == u','
        || u == u':' || u == u'-' || u == u'+' || u == u'_' || u == u'/';
}

QString quoted(const QString& value)
{
    bool bare = !value.isEmpty();
    for (const QChar ch : value)
        bare = bare && isBareChar(ch.unicode());
    if (bare)
        return value;
    QString out = QStringLiteral("\"");
    for (const QChar ch : value) {
        const char16_t u = ch.unicode();
        if (u == u'"' || u == u'\\') {
            out += QLatin1Char('\\');
            out += ch;
        } else if (u == u'\n') {
            out += QLatin1String("\\n");
        } else if (u == u'\r') {
            out += QLatin1String("\\r");
        } else if (u == u'\t') {
            out += QLatin1String("\\t");
        } else if (u < 0x20 || u == 0x7F) {
            out += QStringLiteral("\\x%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0'));
        } else {
            out += ch;
        }
    }
    out += QLatin1Char('"');
    return out;
}

// Reads a value at pos (bare or quoted); pos ends at the blank after it.
std::optional<QString> takeValue(const QString& text, qsizetype& pos)
{
    const qsizetype n = text.size();
    if (pos < n && text[pos] == QLatin1Char('"')) {
        QString value;
        ++pos;
        while (pos < n) {
            const QChar ch = text[pos++];
            if (ch == QLatin1Char('"'))
                return value;
            if (ch != QLatin1Char('\\')) {
                value += ch;
                continue;
            }
            if (pos >= n)
                return std::nullopt;
            const QChar esc = text[pos++];
            if (esc == QLatin1Char('n'))
                value += QLatin1Char('\n');
            else if (esc == QLatin1Char('r'))
                value += QLatin1Char('\r');
            else if (esc == QLatin1Char('t'))
                value += QLatin1Char('\t');
            else if (esc == QLatin1Char('x')) {
                bool ok = false;
                const int code = text.mid(pos, 2).toInt(&ok, 16);
                if (!ok || pos + 2 > n)
                    return std::nullopt;
                value += QChar(code);
                pos += 2;
            } else {
                value += esc;
            }
        }
        return std::nullopt; // the closing quote is missing
    }
    const qsizetype start = pos;
    while (pos < n && text[pos] != QLatin1Char(' '))
        ++pos;
    return text.mid(start, pos - start);
}

} // namespace

QString JournalEntry::Field(const QString& key, const QString& fallback) const
{
    for (const auto& field : fields)
        if (field.first == key)
            return field.second;
    return fallback;
}

bool JournalEntry::HasField(const QString& key) const
{
    for (const auto& field : fields)
        if (field.first == key)
            return true;
    return false;
}

JournalEntry& JournalEntry::Add(const QString& key, const QString& value)
{
    fields.append({ key, value });
    return *this;
}

JournalEntry& JournalEntry::Add(const QString& key, qint64 value)
{
    return Add(key, QString::number(value));
}

std::uint32_t Crc32(const QByteArray& bytes)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes)
        c = kCrcTable[(c ^ static_cast<std::uint8_t>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray FormatJournalLine(const JournalEntry& entry)
{
    QString text = QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(entry.seq, 6, 10, QLatin1Char('0'))
                       .arg(entry.tick)
                       .arg(entry.wall)
                       .arg(dateTimeText(entry.date, entry.time), entry.kind);
    for (const auto& field : entry.fields)
        text += QLatin1Char(' ') + field.first + QLatin1Char('=') + quoted(field.second);
    QByteArray line = text.toUtf8();
    line += " *" + QByteArray::number(Crc32(line), 16).rightJustified(8, '0') + '\n';
    return line;
}

std::optional<JournalEntry> ParseJournalLine(const QByteArray& line, QString* reason)
{
    const auto fail = [reason](const QString& why) -> std::optional<JournalEntry> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    const qsizetype star = line.lastIndexOf(" *");
    if (star < 0 || line.size() - star - 2 != 8)
        return fail(QStringLiteral("keine Prüfsumme"));
    bool ok = false;
    const std::uint32_t crc = line.mid(star + 2).toUInt(&ok, 16);
    if (!ok || crc != Crc32(line.left(star)))
        return fail(QStringLiteral("Prüfsumme falsch"));

    const QString text = QString::fromUtf8(line.left(star));
    JournalEntry entry;
    qsizetype pos = 0;
    const auto word = [&]() {
        const qsizetype start = pos;
        while (pos < text.size() && text[pos] != QLatin1Char(' '))
            ++pos;
        const QString w = text.mid(start, pos - start);
        if (pos < text.size())
            ++pos;
        return w;
    };
    entry.seq = word().toULongLong(&ok);
    if (!ok)
        return fail(QStringLiteral("Folgenummer unlesbar"));
    entry.tick = word().toInt(&ok);
    if (!ok)
        return fail(QStringLiteral("Tick unlesbar"));
    QString when = word();
    // The first journals had no wall clock column: a date comes next.
    if (!when.contains(QLatin1Char('T'))) {
        entry.wall = when.toLongLong(&ok);
        if (!ok)
            return fail(QStringLiteral("Weltzeit unlesbar"));
        when = word();
    }
    if (!parseDateTime(when, entry.date, entry.time))
        return fail(QStringLiteral("Uhrzeit unlesbar"));
    entry.kind = word();
    if (entry.kind.isEmpty())
        return fail(QStringLiteral("Ereignis fehlt"));
    while (pos < text.size()) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), pos);
        if (eq < 0)
            return fail(QStringLiteral("Feld ohne Wert"));
        const QString key = text.mid(pos, eq - pos);
        pos = eq + 1;
        const std::optional<QString> value = takeValue(text, pos);
        if (!value || (pos < text.size() && text[pos] != QLatin1Char(' ')))
            return fail(QStringLiteral("Feld unlesbar: ") + key);
        entry.fields.append({ key, *value });
        if (pos < text.size())
            ++pos;
    }
    return entry;
}

QString UnusedLine::Text() const
{
    QStringList parts { QStringLiteral("Zeile %1").arg(line) };
    if (!seq.isEmpty())
        parts << QStringLiteral("Ereignis ") + seq;
    if (!time.isEmpty())
        parts << time;
    if (!kind.isEmpty())
        parts << kind;
    QString text = parts.join(QStringLiteral(", "));
    if (!why.isEmpty())
        text += QStringLiteral(" (") + why + QLatin1Char(')');
    return text;
}

UnusedLine DescribeEntry(const JournalEntry& entry, int line, const QString& why)
{
    return { line, QString::number(entry.seq), entry.time.toString(QStringLiteral("HH:mm:ss.zzz")), entry.kind, why };
}

namespace {

// What can still be read of a damaged line: its number, time of day and
// kind where they look like one.
UnusedLine describeDamaged(const QByteArray& line, int lineNumber, const QString& why)
{
    UnusedLine unused { lineNumber, {}, {}, {}, why };
    const QList<QByteArray> words = line.split(' ');
    const auto digits = [](const QByteArray& w) {
        return !w.isEmpty() && std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (words.isEmpty() || !digits(words[0]))
        return unused;
    unused.seq = QString::number(words[0].toULongLong());
    qsizetype i = 2; // after the tick
    if (i < words.size() && digits(words[i]))
        ++i; // the wall clock
    QDate date;
    QTime time;
    if (i < words.size() && parseDateTime(QString::fromLatin1(words[i]), date, time)) {
        unused.time = time.toString(QStringLiteral("HH:mm:ss.zzz"));
        if (i + 1 < words.size() && !words[i + 1].startsWith('*'))
            unused.kind = QString::fromUtf8(words[i + 1]);
    }
    return unused;
}

} // namespace

JournalContents ParseJournal(const QByteArray& bytes)
{
    JournalContents contents;
    qsizetype start = 0;
    int lineNumber = 0;
    while (start < bytes.size()) {
        ++lineNumber;
        const qsizetype end = bytes.indexOf('\n', start);
        const bool complete = end >= 0;
        const QByteArray line = bytes.mid(start, (complete ? end : bytes.size()) - start);
        start = complete ? end + 1 : bytes.size();
        if (!contents.stop.isEmpty()) {
            contents.unused << describeDamaged(line, lineNumber, QString());
            continue;
        }
        QString reason = QStringLiteral("abgeschnitten");
        const std::optional<JournalEntry> entry
            = complete ? ParseJournalLine(line, &reason) : std::optional<JournalEntry>();
        if (entry) {
            const std::uint64_t expected = contents.entries.isEmpty() ? entry->seq : contents.entries.last().seq + 1;
            if (entry->seq == expected) {
                contents.entries.append(*entry);
                continue;
            }
            reason = QStringLiteral("Ereignis %1 fehlt").arg(expected);
            contents.unused << DescribeEntry(*entry, lineNumber, reason);
        } else {
            contents.unused << describeDamaged(line, lineNumber, reason);
        }
        contents.stop = QStringLiteral("Zeile %1: %2").arg(lineNumber).arg(reason);
    }
    return contents;
}

std::optional<JournalContents> ReadJournal(const QString& fileName, QString* reason)
{
    QByteArray bytes;
    if (!platform::ReadWholeFile(fileName, &bytes, reason))
        return std::nullopt;
    return ParseJournal(bytes);
}

} // namespace race
