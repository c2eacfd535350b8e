// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/LiveJson.h"

#include <optional>

namespace live {

namespace {

void appendField(QByteArray& out, const char* name, const QString& value)
{
    out += '"';
    out += name;
    out += "\":";
    AppendJsonString(out, value);
}

// The title, the race state, the first start, the accuracy, the colours and
// the classes, each followed by a comma.
void appendRace(QByteArray& out, const race::Snapshot& snapshot)
{
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
    out += "],";
    // A race of one run keeps the fields it always had.
    if (snapshot.runs == 2 || snapshot.run == 2) {
        out += "\"run\":";
        out += QByteArray::number(snapshot.run);
        out += ",\"startList\":";
        out += snapshot.startList ? "true" : "false";
        out += ',';
    }
    if (!snapshot.stations.isEmpty()) {
        out += "\"stations\":[";
        for (qsizetype i = 0; i < snapshot.stations.size(); ++i) {
            if (i > 0)
                out += ',';
            AppendJsonString(out, snapshot.stations[i]);
        }
        out += "],";
    }
}

void appendValue(QByteArray& out, const race::EntryField& field, const QString& value)
{
    if (field.number)
        out += value.isEmpty() ? QByteArray("null") : value.toLatin1();
    else
        AppendJsonString(out, value);
}

void appendEntry(QByteArray& out, const race::SnapshotEntry& e, const std::vector<const race::EntryField*>& extra)
{
    out += "{\"id\":";
    AppendJsonString(out, e.id);
    for (const race::EntryField& f : race::EntryFields()) {
        out += ",\"";
        out += f.name;
        out += "\":";
        appendValue(out, f, f.value(e));
    }
    // Times of two runs and of interim stations are left out while not
    // timed, rather than null, so a reader tells "not yet" from a time of
    // nothing; so are the texts of interim stations.
    for (const race::EntryField* f : extra) {
        const QString value = f->value(e);
        if (value.isEmpty() && (f->number || QByteArrayView(f->name).startsWith("interim")))
            continue;
        out += ",\"";
        out += f->name;
        out += "\":";
        appendValue(out, *f, value);
    }
    out += '}';
}

void appendLatest(QByteArray& out, const race::Snapshot& snapshot)
{
    out += "\"latest\":[";
    bool first = true;
    for (int index : race::LastFinishers(snapshot, kLatestCount)) {
        if (!first)
            out += ',';
        first = false;
        out += QByteArray::number(index);
    }
    out += "]}";
}

// A place column as "1".."1600" is one run.
std::optional<qint64> canonicalNumber(const QString& text)
{
    if (text.isEmpty() || text.size() > 9 || (text.size() > 1 && text[0] == QLatin1Char('0')))
        return std::nullopt;
    qint64 v = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        v = v * 10 + (c.unicode() - '0');
    }
    return v;
}

void appendRuns(QByteArray& out, const race::EntryField& field, const std::vector<race::SnapshotEntry>& entries)
{
    const auto n = static_cast<qsizetype>(entries.size());
    const auto value = [&](qsizetype i) { return field.value(entries[static_cast<size_t>(i)]); };
    out += '[';
    for (qsizetype i = 0; i < n;) {
        if (i > 0)
            out += ',';
        const QString v = value(i);
        qsizetype j = i + 1;
        while (j < n && value(j) == v)
            ++j;
        if (j - i >= 2) {
            out += '[' + QByteArray::number(j - i) + ',';
            AppendJsonString(out, v);
            out += ']';
            i = j;
            continue;
        }
        if (const std::optional<qint64> first = canonicalNumber(v)) {
            j = i + 1;
            while (j < n && value(j) == QString::number(*first + (j - i)))
                ++j;
            if (j - i >= 2) {
                out += '[' + QByteArray::number(j - i) + ',' + QByteArray::number(*first) + ']';
                i = j;
                continue;
            }
        }
        AppendJsonString(out, v);
        ++i;
    }
    out += ']';
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
    out.reserve(256 + static_cast<qsizetype>(snapshot.entries.size()) * 180);
    out += "\"version\":";
    out += QByteArray::number(static_cast<qulonglong>(version));
    out += ',';
    appendRace(out, snapshot);
    out += "\"entries\":[";
    bool first = true;
    const std::vector<const race::EntryField*> extra = race::ExtraEntryFields(snapshot);
    for (const race::SnapshotEntry& e : snapshot.entries) {
        if (!first)
            out += ',';
        first = false;
        appendEntry(out, e, extra);
    }
    out += "],";
    appendLatest(out, snapshot);
    return out;
}

QByteArray DeltaJsonBody(
    const race::Snapshot& before, std::uint64_t base, const race::Snapshot& after, std::uint64_t version)
{
    const race::SnapshotDelta delta = race::Diff(before, after);
    QByteArray out;
    out += "\"version\":" + QByteArray::number(static_cast<qulonglong>(version));
    out += ",\"base\":" + QByteArray::number(static_cast<qulonglong>(base)) + ',';
    appendRace(out, after);
    out += "\"changed\":[";
    const std::vector<const race::EntryField*> extra = race::ExtraEntryFields(after);
    for (size_t i = 0; i < delta.changed.size(); ++i) {
        if (i > 0)
            out += ',';
        appendEntry(out, after.entries[static_cast<size_t>(delta.changed[i])], extra);
    }
    out += "],";
    if (delta.orderChanged) {
        out += "\"order\":[";
        for (size_t i = 0; i < delta.order.size(); ++i) {
            const race::SnapshotDelta::Piece& p = delta.order[i];
            if (i > 0)
                out += ',';
            if (p.count > 0)
                out += '[' + QByteArray::number(p.from) + ',' + QByteArray::number(p.count) + ']';
            else
                AppendJsonString(out, after.entries[static_cast<size_t>(p.entry)].id);
        }
        out += "],";
    }
    if (!delta.runFields.empty()) {
        out += "\"runs\":{";
        for (size_t i = 0; i < delta.runFields.size(); ++i) {
            const race::EntryField& f = race::EntryFields()[static_cast<size_t>(delta.runFields[i])];
            if (i > 0)
                out += ',';
            out += '"';
            out += f.name;
            out += "\":";
            appendRuns(out, f, after.entries);
        }
        out += "},";
    }
    appendLatest(out, after);
    return out;
}

QByteArray DisplayJsonContent(const race::Snapshot& snapshot)
{
    QByteArray out;
    appendRace(out, snapshot);
    out += "\"latest\":[";
    bool first = true;
    for (int index : race::LastFinishers(snapshot, kLatestCount)) {
        const race::SnapshotEntry& e = snapshot.entries[static_cast<size_t>(index)];
        if (!first)
            out += ',';
        first = false;
        out += '{';
        appendField(out, "place", e.place);
        out += ',';
        appendField(out, "number", e.number);
        out += ',';
        appendField(out, "name", e.name);
        out += ',';
        appendField(out, "time", e.time);
        out += '}';
    }
    out += "]}";
    return out;
}

QByteArray DisplayJsonBody(const race::Snapshot& snapshot, std::uint64_t version)
{
    return "\"version\":" + QByteArray::number(static_cast<qulonglong>(version)) + ',' + DisplayJsonContent(snapshot);
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
