#include "live/LiveJson.h"

namespace live {

namespace {

const char* stateName(race::Race::RowState state)
{
    switch (state) {
    case race::Race::RowState::Running:
        return "running";
    case race::Race::RowState::Finished:
        return "finished";
    case race::Race::RowState::Free:
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

// A place as a number, null when the text is none.
void appendPlace(QByteArray& out, const char* name, const QString& text)
{
    out += '"';
    out += name;
    out += "\":";
    bool ok = false;
    const int place = text.toInt(&ok);
    out += ok && place > 0 ? QByteArray::number(place) : QByteArray("null");
}

} // namespace

void AppendJsonString(QByteArray& out, const QString& text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    auto escape = [&](char16_t c) {
        out += "\\u";
        out += kHex[(c >> 12) & 0xF];
        out += kHex[(c >> 8) & 0xF];
        out += kHex[(c >> 4) & 0xF];
        out += kHex[c & 0xF];
    };
    out += '"';
    const char16_t* p = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        switch (c) {
        case u'"':
            out += "\\\"";
            continue;
        case u'\\':
            out += "\\\\";
            continue;
        case u'\n':
            out += "\\n";
            continue;
        case u'\r':
            out += "\\r";
            continue;
        case u'\t':
            out += "\\t";
            continue;
        // Markup characters and the two characters that end a line in older
        // scripts never appear as themselves.
        case u'<':
        case u'>':
        case u'&':
        case u'\'':
        case 0x2028:
        case 0x2029:
        case 0x7F:
            escape(c);
            continue;
        default:
            break;
        }
        if (c < 0x20) {
            escape(c);
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            const char32_t u = QChar::surrogateToUcs4(c, p[i + 1]);
            ++i;
            out += static_cast<char>(0xF0 | (u >> 18));
            out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else if (QChar::isSurrogate(c)) {
            escape(0xFFFD); // half a pair is no character
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    out += '"';
}

QByteArray ResultsJsonBody(const race::Snapshot& snapshot, std::uint64_t version)
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
    out += "},\"classes\":[";
    for (qsizetype i = 0; i < snapshot.classes.size(); ++i) {
        if (i > 0)
            out += ',';
        AppendJsonString(out, snapshot.classes[i]);
    }
    out += "],\"entries\":[";
    const bool classes = !snapshot.classes.isEmpty();
    bool first = true;
    for (const race::SnapshotEntry& e : snapshot.entries) {
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
        out += ',';
        appendField(out, "class", e.klasse);
        out += ',';
        appendField(out, "status", e.status);
        out += ',';
        appendPlace(out, "classPlace", classes ? e.place : QString());
        out += ',';
        appendPlace(out, "overallPlace", classes ? e.overall : e.place);
        out += '}';
    }
    out += "],\"latest\":[";
    first = true;
    for (int index : race::LastFinishers(snapshot, kLatestCount)) {
        if (!first)
            out += ',';
        first = false;
        out += QByteArray::number(index);
    }
    out += "]}";
    return out;
}

QByteArray ResultsJsonClock(
    const race::Snapshot& snapshot, std::chrono::steady_clock::time_point now, std::int64_t timeOfDayMs)
{
    QByteArray out = "{\"raceMs\":";
    out += QByteArray::number(static_cast<qlonglong>(snapshot.RaceMsAt(now)));
    out += ",\"timeOfDayMs\":";
    out += QByteArray::number(static_cast<qlonglong>(timeOfDayMs));
    out += ',';
    return out;
}

} // namespace live
