#include "protocol/ProtocolFiles.h"

#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "platform/AtomicFile.h"
#include "platform/TextCodec.h"
#include "protocol/EntryStatus.h"
#include "protocol/StartListColumns.h"

#include <QFile>

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

// Runs of separators count as one; a separator at the start gives one empty
// first field, separators at the end give nothing.
QStringList splitFields(const QString& line)
{
    const QChar sep = line.contains(QLatin1Char('\t')) ? QLatin1Char('\t') : QLatin1Char(';');
    QStringList fields = line.split(sep, Qt::SkipEmptyParts);
    if (line.startsWith(sep))
        fields.prepend(QString());
    return fields;
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

} // namespace

QByteArray ProtocolTextBytes(const TCellStore& cells)
{
    QByteArray out;
    const int cols = SavedColCount(cells);
    for (int r = 0; r < cells.RowCount(); ++r) {
        if (cells.Cell(kColNr, r).isEmpty())
            continue;
        for (int c = 0; c < cols; ++c) {
            const QString text = cells.Cell(c, r);
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
        row.resize(row.size() > kProtocolColCount ? kClassColCount : kProtocolColCount);
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
    // As in a protocol text file, an unreadable raw value keeps the whole
    // file out of the table.
    for (size_t i = 0; i < loaded.rows.size(); ++i) {
        const QString& raw = loaded.rows[i][kColRaw];
        if (!raw.isEmpty() && !parseTick(raw)) {
            loaded.errorLine = static_cast<int>(i) + 7; // after five settings lines and the header
            loaded.error = QStringLiteral("Spalte \"*\" enthält keine ganze Zahl: ") + raw;
            loaded.rows.clear();
            break;
        }
    }
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
    const QString binary = QStringLiteral("Binärdaten, keine Textdatei");
    // Text has no NUL, not even after its end mark.
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0) {
        loaded.errorLine = static_cast<int>(bytes.left(nul).count('\n')) + 1;
        loaded.error = binary;
        return loaded;
    }
    const QString& headerNr = kProtocolHeaders[kColNr];
    // Below a header line its names place the fields; without one the
    // fields go to the columns in order.
    std::optional<StartListColumns> columns;
    int lineNumber = 0;
    for (const QString& line : splitLines(platform::DecodeText(cutAtEndOfInput(bytes)))) {
        ++lineNumber;
        if (std::optional<StartListColumns> header = StartListColumns::FromHeader(line)) {
            columns = std::move(header);
            continue;
        }
        // Other header lines of spreadsheets.
        if (line.contains(headerNr))
            continue;
        QStringList row;
        if (columns) {
            row = columns->Row(line);
        } else {
            const QStringList fields = splitFields(line);
            row.reserve(kProtocolColCount);
            for (int c = 0; c < kProtocolColCount; ++c) {
                if (c >= fields.size())
                    row << QString();
                else
                    row << (fields[c].isEmpty() ? QString() : TrimBlanks(fields[c]));
            }
        }
        // Control characters are trimmed off a cell's ends; inside a cell
        // they are no text.
        for (const QString& cell : std::as_const(row)) {
            if (std::any_of(cell.cbegin(), cell.cend(), [](QChar c) { return c.unicode() < 32; })) {
                loaded.errorLine = lineNumber;
                loaded.error = binary;
                loaded.rows.clear();
                return loaded;
            }
        }
        // The raw column holds a start tick or a run time; anything else
        // would make the entry unstoppable or its time unreadable.
        if (!row[kColRaw].isEmpty() && !parseTick(row[kColRaw])) {
            loaded.errorLine = lineNumber;
            loaded.error = QStringLiteral("Spalte \"*\" enthält keine ganze Zahl: ") + row[kColRaw];
            loaded.rows.clear();
            return loaded;
        }
        loaded.rows.push_back(row);
    }
    return loaded;
}

std::optional<LoadedProtocol> LoadProtocolText(const QString& fileName, QString* openError)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (openError)
            *openError = file.errorString();
        return std::nullopt;
    }
    return ParseProtocolText(file.readAll());
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
