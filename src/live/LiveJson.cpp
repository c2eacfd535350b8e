#include "live/LiveJson.h"

namespace live {

namespace {

const char* stateName(EntryState state)
{
    switch (state) {
    case EntryState::Running:
        return "running";
    case EntryState::Finished:
        return "finished";
    case EntryState::Free:
        break;
    }
    return "free";
}

void appendField(QByteArray& out, const char* name, const QString& value)
{
    out += '"';
    out += name;
    out += "\":";
    AppendJsonString(out, value);
}

} // namespace

void AppendJsonString(QByteArray& out, const QString& text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        switch (c) {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        case '<':
        case '>':
        case '&':
        case '\'':
            break;
        default:
            // U+2028 and U+2029 (E2 80 A8/A9) end a line in older scripts.
            if (c == 0xE2 && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0x80
                && (static_cast<unsigned char>(utf8[i + 2]) & 0xFE) == 0xA8) {
                out += static_cast<unsigned char>(utf8[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
                i += 2;
                continue;
            }
            if (c >= 0x20 && c != 0x7F) {
                out += static_cast<char>(c);
                continue;
            }
        }
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    }
    out += '"';
}

QByteArray ResultsJsonBody(const Snapshot& snapshot, std::uint64_t version)
{
    QByteArray out;
    out.reserve(256 + static_cast<qsizetype>(snapshot.entries.size()) * 160);
    out += "\"version\":";
    out += QByteArray::number(static_cast<qulonglong>(version));
    out += ',';
    appendField(out, "title", snapshot.title);
    out += ",\"running\":";
    out += snapshot.running ? "true" : "false";
    out += ',';
    appendField(out, "firstStart", snapshot.firstStart);
    out += ",\"accuracy\":";
    out += QByteArray::number(snapshot.accuracy);
    out += ",\"colours\":{";
    appendField(out, "background", snapshot.colours.background);
    out += ',';
    appendField(out, "digit", snapshot.colours.digit);
    out += ',';
    appendField(out, "dim", snapshot.colours.dim);
    out += ',';
    appendField(out, "secondRow", snapshot.colours.secondRow);
    out += "},\"entries\":[";
    bool first = true;
    for (const Entry& e : snapshot.entries) {
        if (!first)
            out += ',';
        first = false;
        out += '{';
        appendField(out, "number", e.number);
        out += ',';
        appendField(out, "name", e.name);
        out += ',';
        appendField(out, "start", e.start);
        out += ',';
        appendField(out, "time", e.time);
        out += ',';
        appendField(out, "split", e.split);
        out += ',';
        appendField(out, "place", e.place);
        out += ",\"state\":\"";
        out += stateName(e.state);
        out += "\",\"runMs\":";
        out += e.runMs ? QByteArray::number(static_cast<qlonglong>(*e.runMs)) : QByteArray("null");
        out += '}';
    }
    out += "],\"latest\":[";
    first = true;
    for (int index : LastFinishers(snapshot, kLatestCount)) {
        if (!first)
            out += ',';
        first = false;
        out += QByteArray::number(index);
    }
    out += "]}";
    return out;
}

QByteArray ResultsJsonClock(
    const Snapshot& snapshot, std::chrono::steady_clock::time_point now, std::int64_t timeOfDayMs)
{
    QByteArray out = "{\"raceMs\":";
    out += QByteArray::number(static_cast<qlonglong>(snapshot.RaceMsAt(now)));
    out += ",\"timeOfDayMs\":";
    out += QByteArray::number(static_cast<qlonglong>(timeOfDayMs));
    out += ',';
    return out;
}

} // namespace live
