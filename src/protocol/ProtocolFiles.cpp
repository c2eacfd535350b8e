// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/ProtocolFiles.h"

#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "gridstore/TextQuoting.h"
#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "platform/TextCodec.h"
#include "protocol/EntryStatus.h"
#include "protocol/StartListColumns.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <limits>

namespace protocol {

const std::array<QString, kProtocolColCount> kProtocolHeaders { QStringLiteral("Nr."), QStringLiteral("Name"),
    QStringLiteral("Start"), QStringLiteral("Zeit"), QStringLiteral("Split"), QStringLiteral("Platz"),
    QStringLiteral("*") };
const std::array<QString, kTableColCount> kTableHeaders { QStringLiteral("Nr."), QStringLiteral("Name"),
    QStringLiteral("Start"), QStringLiteral("Zeit"), QStringLiteral("Split"), QStringLiteral("Platz"),
    QStringLiteral("*"), QStringLiteral("Klasse"), QStringLiteral("Status"), QStringLiteral("Gesamt") };

namespace {

constexpr char kEndOfInput = 26;

// Old text files end at a Ctrl-Z; whatever follows it is not part of the text.
QByteArray cutAtEndOfInput(const QByteArray& bytes)
{
    const qsizetype end = bytes.indexOf(kEndOfInput);
    return end < 0 ? bytes : bytes.left(end);
}

// Lines end at LF or CR LF; a CR anywhere else is dropped. Text after the last
// line end is a line of its own, even when only dropped CRs make it up.
QStringList splitLines(const QString& text)
{
    QStringList lines;
    QString line;
    bool pending = false;
    for (QChar c : text) {
        if (c == QLatin1Char('\n')) {
            lines << line;
            line.clear();
            pending = false;
            continue;
        }
        pending = true;
        if (c != QLatin1Char('\r'))
            line += c;
    }
    if (pending)
        lines << line;
    return lines;
}

// One field of a line: quoted fields come from the semicolon export (or a
// spreadsheet) and keep their text exactly, line breaks included.
struct Field {
    QString text;
    bool quoted = false;
};

// One line of the file as the loader reads it: its fields, where the next
// line starts, and how many line ends it spans.
struct Record {
    QList<Field> fields;
    // Every field in its place, empty ones too: below a header line the
    // fields are read by the header's names.
    QList<Field> columns;
    QString raw; // what the "Nr." test looks at
    qsizetype next = 0;
    int lineEnds = 0;
};

// Runs of separators count as one; a separator at the start gives one empty
// first field, separators at the end give nothing.
QList<Field> splitPlain(const QString& line)
{
    const QChar sep = line.contains(QLatin1Char('\t')) ? QLatin1Char('\t') : QLatin1Char(';');
    QList<Field> fields;
    if (line.startsWith(sep))
        fields << Field {};
    for (const QString& part : line.split(sep, Qt::SkipEmptyParts))
        fields << Field { part, false };
    return fields;
}

// The physical line from `pos`: up to the next LF, its CRs dropped.
Record plainRecord(const QString& text, qsizetype pos)
{
    Record record;
    qsizetype end = text.indexOf(QLatin1Char('\n'), pos);
    record.next = end < 0 ? text.size() : end + 1;
    record.lineEnds = end < 0 ? 0 : 1;
    record.raw = text.mid(pos, (end < 0 ? text.size() : end) - pos);
    record.raw.remove(QLatin1Char('\r'));
    record.fields = splitPlain(record.raw);
    const QChar sep = record.raw.contains(QLatin1Char('\t')) ? QLatin1Char('\t') : QLatin1Char(';');
    for (const QString& part : record.raw.split(sep))
        record.columns << Field { part, false };
    return record;
}

// A ";" line whose fields may be quoted as RFC 4180 has it (quotes doubled
// inside, line breaks allowed). Nothing when the line is not that: it holds
// a TAB outside quotes (a protocol text file), or a quote that opens a field
// is not closed right before a ";" or the line's end. Such a line is read as
// it always was.
std::optional<Record> quotedRecord(const QString& text, qsizetype pos)
{
    const qsizetype n = text.size();
    Record record;
    QList<Field> raw;
    qsizetype i = pos;
    bool anyQuoted = false;
    bool leadingSeparator = false;
    while (true) {
        Field field;
        if (i < n && text[i] == QLatin1Char('"')) {
            field.quoted = anyQuoted = true;
            if (!TakeQuoted(text, i, field.text))
                return std::nullopt;
            record.lineEnds += static_cast<int>(field.text.count(QLatin1Char('\n')));
            while (i < n && text[i] == QLatin1Char('\r') && !(i + 1 < n && text[i + 1] == QLatin1Char('\n')))
                ++i; // a lone CR is dropped
        } else {
            while (i < n && text[i] != QLatin1Char(';') && text[i] != QLatin1Char('\n')) {
                const QChar c = text[i++];
                if (c == QLatin1Char('\t'))
                    return std::nullopt;
                if (c != QLatin1Char('\r'))
                    field.text += c;
            }
        }
        if (raw.isEmpty() && !field.quoted && field.text.isEmpty() && i < n && text[i] == QLatin1Char(';'))
            leadingSeparator = true;
        raw << field;
        if (i < n && text[i] == QLatin1Char(';')) {
            ++i;
            continue;
        }
        if (i + 1 < n && text[i] == QLatin1Char('\r') && text[i + 1] == QLatin1Char('\n'))
            ++i;
        if (i < n && text[i] == QLatin1Char('\n')) {
            ++record.lineEnds;
            ++i;
        } else if (i < n) {
            return std::nullopt; // text after a closing quote
        }
        break;
    }
    if (!anyQuoted)
        return std::nullopt;
    if (leadingSeparator)
        record.fields << Field {};
    record.columns = raw;
    for (const Field& field : std::as_const(raw)) {
        if (field.quoted || !field.text.isEmpty())
            record.fields << field;
        record.raw += field.text + QLatin1Char(';');
    }
    record.next = i;
    return record;
}

Record nextRecord(const QString& text, qsizetype pos)
{
    if (std::optional<Record> quoted = quotedRecord(text, pos))
        return *quoted;
    return plainRecord(text, pos);
}

// The text of a field as the table gets it: a plain field trimmed, a quoted
// one without the apostrophe the writer put in front of a formula.
QString cellOf(const Field& field)
{
    if (!field.quoted)
        return field.text.isEmpty() ? QString() : TrimBlanks(field.text);
    return CsvQuotedCell(field.text);
}

// A decimal 32-bit signed integer with an optional sign and nothing else.
std::optional<platform::Tick> parseTick(const QString& s)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == QLatin1Char('-') || s[i] == QLatin1Char('+')))
        negative = s[i++] == QLatin1Char('-');
    if (i == s.size())
        return std::nullopt;
    const long long limit = negative ? -static_cast<long long>(std::numeric_limits<platform::Tick>::min())
                                     : std::numeric_limits<platform::Tick>::max();
    long long value = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<platform::Tick>(negative ? -value : value);
}

// A control character (C0, DEL or C1, as an undefined Windows-1252 byte
// decodes) is no text. Control characters are trimmed off a plain cell's
// ends, and a plain cell cannot hold TAB or a line break (they end the field
// or the line), so those inside a cell came quoted (Alt+Enter in a
// spreadsheet).
bool isStrayControl(QChar c)
{
    return c.category() == QChar::Other_Control && !IsCellBreak(c);
}

// The repair of one line before it goes into the table: a stray control
// character becomes a blank, and so does a TAB or a line break, which every
// file the table is written to would take for the end of the cell or of the
// row; a raw value that is no whole number would make the entry unstoppable
// or its time unreadable, so it stays out.
void repairRow(QStringList& row, int line, std::vector<LoadRepair>& repairs)
{
    QStringList what;
    for (int c = 0; c < row.size() && c < kTableColCount; ++c) {
        QString& cell = row[c];
        const QString header = kTableHeaders[static_cast<size_t>(c)];
        if (std::any_of(cell.cbegin(), cell.cend(), IsCellBreak)) {
            cell = TrimBlanks(WithoutCellBreaks(cell));
            what << QStringLiteral("Tabulator oder Zeilenumbruch in \"%1\" durch Leerzeichen ersetzt").arg(header);
        }
        if (!std::any_of(cell.cbegin(), cell.cend(), isStrayControl))
            continue;
        for (QChar& ch : cell) {
            if (isStrayControl(ch))
                ch = QLatin1Char(' ');
        }
        what << QStringLiteral("Steuerzeichen in \"%1\" durch Leerzeichen ersetzt").arg(header);
    }
    if (row.size() > kColRaw && !row[kColRaw].isEmpty() && !parseTick(row[kColRaw])) {
        what << QStringLiteral("\"%1\" in Spalte \"*\" ist keine ganze Zahl, nicht übernommen (nicht gestartet)")
                    .arg(row[kColRaw]);
        row[kColRaw].clear();
    }
    if (!what.isEmpty())
        repairs.push_back({ line, what.join(QStringLiteral("; ")) });
}

// Entries that share a start number, by the number's value ("007" is 7):
// loaded all the same, and named in the load note.
void noteRepeatedNumbers(LoadedProtocol& loaded)
{
    QHash<QString, size_t> index;
    std::vector<RepeatedNumber> all;
    for (size_t i = 0; i < loaded.rows.size(); ++i) {
        const QString given = TrimBlanks(loaded.rows[i].value(kColNr));
        if (given.isEmpty())
            continue;
        const std::optional<platform::Tick> value = parseTick(given);
        const QString key = value ? QString::number(*value) : given;
        const auto found = index.constFind(key);
        if (found == index.cend()) {
            index.insert(key, all.size());
            all.push_back({ key, {} });
        }
        all[index.value(key)].lines.push_back(i < loaded.lines.size() ? loaded.lines[i] : static_cast<int>(i) + 1);
    }
    for (RepeatedNumber& number : all)
        if (number.lines.size() > 1)
            loaded.repeated.push_back(std::move(number));
}

} // namespace

QString RepairNote(const std::vector<LoadRepair>& repairs)
{
    if (repairs.empty())
        return {};
    constexpr size_t kNamed = 5;
    QStringList lines;
    for (size_t i = 0; i < repairs.size() && i < kNamed; ++i)
        lines << QString::number(repairs[i].line);
    if (repairs.size() > kNamed)
        lines << QStringLiteral("…");
    const QString count
        = repairs.size() == 1 ? QStringLiteral("1 Zeile") : QStringLiteral("%1 Zeilen").arg(repairs.size());
    return QStringLiteral("%1 beim Laden geändert: %2").arg(count, lines.join(QStringLiteral(", ")));
}

QString LoadNote(const LoadedProtocol& loaded)
{
    QStringList parts;
    if (!loaded.repairs.empty())
        parts << RepairNote(loaded.repairs);
    if (!loaded.repeated.empty()) {
        constexpr size_t kNamed = 5;
        QStringList numbers;
        for (size_t i = 0; i < loaded.repeated.size() && i < kNamed; ++i)
            numbers << loaded.repeated[i].number;
        if (loaded.repeated.size() > kNamed)
            numbers << QStringLiteral("…");
        parts << QStringLiteral("%1 mehrfach: %2")
                     .arg(loaded.repeated.size() == 1 ? QStringLiteral("Nr.") : QStringLiteral("Nummern"),
                         numbers.join(QStringLiteral(", ")));
    }
    return parts.join(QStringLiteral("; "));
}

QString LoadNoteDetails(const LoadedProtocol& loaded)
{
    QStringList lines;
    if (!loaded.repairs.empty())
        lines << RepairDetails(loaded.repairs);
    for (const RepeatedNumber& number : loaded.repeated) {
        QStringList where;
        for (const int line : number.lines)
            where << QString::number(line);
        lines
            << QStringLiteral("Nr. %1 mehrfach in den Zeilen %2").arg(number.number, where.join(QStringLiteral(", ")));
    }
    return lines.join(QLatin1Char('\n'));
}

QString RepairDetails(const std::vector<LoadRepair>& repairs)
{
    QStringList lines;
    for (const LoadRepair& repair : repairs)
        lines << QStringLiteral("Zeile %1: %2").arg(repair.line).arg(repair.what);
    return lines.join(QLatin1Char('\n'));
}

QByteArray ProtocolTextBytes(const TCellStore& cells)
{
    QByteArray out;
    const int cols = SavedColCount(cells);
    for (int r = 0; r < cells.RowCount(); ++r) {
        if (cells.Cell(kColNr, r).isEmpty())
            continue;
        for (int c = 0; c < cols; ++c) {
            // A TAB or line break in a cell would start a new cell or row.
            const QString text = WithoutCellBreaks(cells.Cell(c, r));
            out += text.isEmpty() ? QByteArray(" ") : text.toUtf8();
            out += '\t';
        }
        out += "\r\n";
    }
    return out;
}

bool WriteProtocolText(const TCellStore& cells, const QString& fileName, QString* reason)
{
    return platform::WriteFileAtomically(fileName, ProtocolTextBytes(cells), reason);
}

bool IsGridBackup(const QByteArray& bytes)
{
    static const char* const kSettingsLines[]
        = { "GenerelSettings,", "FontColSettings", "FontRowSettings", "UserSettings", "UserSettings" };
    const QStringList lines = splitLines(platform::DecodeText(cutAtEndOfInput(bytes.left(64 * 1024))));
    if (lines.size() < 5)
        return false;
    for (int i = 0; i < 5; ++i)
        if (!lines[i].startsWith(QLatin1String(kSettingsLines[i])))
            return false;
    return true;
}

namespace {

// The backup holds every row as a comma text, the header first and the free
// row that follows the last start last; the table gets every row in between.
LoadedProtocol parseGridBackup(const QByteArray& bytes)
{
    LoadedProtocol loaded;
    const QStringList lines = splitLines(platform::DecodeText(cutAtEndOfInput(bytes)));
    for (qsizetype i = 6; i < lines.size(); ++i) {
        QStringList row = SplitCommaText(lines[i]);
        row.resize(row.size() > kClassColCount   ? kRunsSavedColCount
                : row.size() > kProtocolColCount ? kClassColCount
                                                 : kProtocolColCount);
        loaded.rows.push_back(row);
    }
    const auto isFreeTail = [](const QStringList& row) {
        for (int c = 0; c < row.size(); ++c)
            if (!row[c].isEmpty() && !(c == kColPlatz && row[c] == QLatin1String("-")))
                return false;
        return true;
    };
    while (!loaded.rows.empty() && isFreeTail(loaded.rows.back()))
        loaded.rows.pop_back();
    // Repaired as a protocol text file is, line by line.
    for (size_t i = 0; i < loaded.rows.size(); ++i) {
        const int line = static_cast<int>(i) + 7; // after five settings lines and the header
        repairRow(loaded.rows[i], line, loaded.repairs);
        loaded.lines.push_back(line);
    }
    noteRepeatedNumbers(loaded);
    return loaded;
}

} // namespace

bool HasEntryContent(const TCellStore& cells)
{
    for (int r = 1; r < cells.RowCount(); ++r)
        for (int c = 0; c < cells.ColCount(); ++c) {
            const QString text = TrimBlanks(cells.Cell(c, r));
            // The free row after the last start carries only its "-".
            if (!text.isEmpty() && !(c == kColPlatz && text == QLatin1String("-")))
                return true;
        }
    return false;
}

LoadedProtocol ParseProtocolText(const QByteArray& bytes)
{
    if (IsGridBackup(bytes))
        return parseGridBackup(bytes);
    LoadedProtocol loaded;
    // Text has no NUL, not even after its end mark.
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0) {
        loaded.errorLine = static_cast<int>(bytes.left(nul).count('\n')) + 1;
        loaded.error = QStringLiteral("Binärdaten, keine Textdatei");
        return loaded;
    }
    const QString& headerNr = kProtocolHeaders[kColNr];
    const QString text = platform::DecodeText(cutAtEndOfInput(bytes));
    // Below a header line its names place the fields; without one the
    // fields go to the columns in order.
    std::optional<StartListColumns> columns;
    int lineNumber = 1;
    for (qsizetype pos = 0; pos < text.size();) {
        const Record record = nextRecord(text, pos);
        const int recordLine = lineNumber;
        pos = record.next;
        lineNumber += record.lineEnds;
        QStringList names;
        for (const Field& field : record.columns)
            names << cellOf(field);
        if (std::optional<StartListColumns> header = StartListColumns::FromHeader(names)) {
            columns = std::move(header);
            continue;
        }
        // Other header lines of spreadsheets start with "Nr." too; a line
        // with "Nr." further on ("Staffel Nr. 3") is an entry.
        if (!names.isEmpty() && names.front() == headerNr)
            continue;
        // Each field into its column, the first seven by position without a
        // header.
        const int cellCount = columns ? columns->CellCount() : kProtocolColCount;
        const QList<Field>& fields = columns ? record.columns : record.fields;
        QStringList row(cellCount);
        for (qsizetype i = 0; i < fields.size(); ++i) {
            const int c = columns ? columns->ColumnOf(static_cast<int>(i)) : static_cast<int>(i);
            if (c < 0 || c >= cellCount)
                continue;
            row[c] = cellOf(fields[i]);
        }
        repairRow(row, recordLine, loaded.repairs);
        loaded.rows.push_back(row);
        loaded.lines.push_back(recordLine);
    }
    noteRepeatedNumbers(loaded);
    return loaded;
}

std::optional<LoadedProtocol> LoadProtocolText(const QString& fileName, QString* openError)
{
    QByteArray bytes;
    if (!platform::ReadWholeFile(fileName, &bytes, openError))
        return std::nullopt;
    return ParseProtocolText(bytes);
}

void ApplyLoadedProtocol(TCellTable& table, const LoadedProtocol& loaded)
{
    const int count = static_cast<int>(loaded.rows.size());
    table.SetTableRowCount(std::max(2, count + 1));
    table.SetTableRow(1, QStringList());
    for (int i = 0; i < count; ++i)
        table.SetTableRow(i + 1, loaded.rows[static_cast<size_t>(i)]);
}

} // namespace protocol
