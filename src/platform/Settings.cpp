// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/Settings.h"

#include "platform/PortMap.h"
#include "platform/SettingsStore.h"

#include <algorithm>
#include <climits>
#include <variant>

namespace settings {

namespace {

// A path longer than the system's limit names no file: it is refused.
constexpr int kMaxPathLength = 4096;
// The group of hand-written port paths.
constexpr char kPortsGroup[] = "Ports";

// Where a key's value sits in Values.
using Field = std::variant<int& (*)(Values&), bool& (*)(Values&), StoredColour& (*)(Values&), QString& (*)(Values&),
    std::optional<int>& (*)(Values&)>;

// What a text longer than its limit becomes.
enum class TooLong { Refused, Cut };

struct Key {
    const char* name;
    Field field;
    // The fourteen keys are read strictly, in order; later ones leniently.
    bool strict;
    // Integers and flags outside [low, high] take their default.
    int low = INT_MIN;
    int high = INT_MAX;
    // Texts: at most this many characters.
    int maxLength = kMaxPathLength;
    TooLong tooLong = TooLong::Refused;
    // Texts: a stored value this refuses takes the default.
    bool (*valid)(const QString&) = nullptr;
    // Written only once it differs from its default: a store of a program
    // that times without stations stays as it was.
    bool sparse = false;
};

// A host name or address is a few hundred characters at most.
constexpr int kMaxAddressLength = 300;

bool validCode(const QString& code)
{
    return code.isEmpty() || IsPairingCode(code);
}

bool validAddress(const QString& address)
{
    return address.isEmpty() || IsStationAddress(address);
}

// System colours go up to clMenuBar; a higher index names nothing the
// program can draw.
constexpr StoredColour kSystemColourFlag = 0xFF000000;
constexpr StoredColour kHighestSystemColour = 30;

// clang-format off
const Key kKeys[] = {
    // Cut to 8 bits, 300 would name COM44: another port than the one stored.
    { "Port", +[](Values& v) -> int& { return v.port; }, true, 0, 255 },
    // A negative value is kept: it locks the settings dialog's port list (and
    // leaves the barriers without a command), as an administrator may want.
    { "Alg", +[](Values& v) -> int& { return v.algorithm; }, true, INT_MIN, 1 },
    { "Left", +[](Values& v) -> std::optional<int>& { return v.placement.left; }, true },
    { "Top", +[](Values& v) -> std::optional<int>& { return v.placement.top; }, true },
    { "Width", +[](Values& v) -> std::optional<int>& { return v.placement.width; }, true },
    { "Height", +[](Values& v) -> std::optional<int>& { return v.placement.height; }, true },
    { "Sound", +[](Values& v) -> bool& { return v.sound; }, true },
    { "C1", +[](Values& v) -> StoredColour& { return v.colours.background; }, true },
    { "C2", +[](Values& v) -> StoredColour& { return v.colours.digit; }, true },
    { "C3", +[](Values& v) -> StoredColour& { return v.colours.dim; }, true },
    { "Acc", +[](Values& v) -> int& { return v.timing.accuracy; }, true, 0, 2 },
    { "C4", +[](Values& v) -> StoredColour& { return v.colours.secondRow; }, true },
    { "FilterInd", +[](Values& v) -> int& { return v.files.filterIndex; }, true, 1, 4 },
    { "WaitStart", +[](Values& v) -> int& { return v.timing.startLockoutMs; }, true,
        kStartLockoutMs.low, kStartLockoutMs.high },
    { "StopFirst", +[](Values& v) -> bool& { return v.timing.stopFirst; }, false, 0, 1 },
    { "Maximized", +[](Values& v) -> bool& { return v.placement.maximized; }, false },
    { "SaveDir", +[](Values& v) -> QString& { return v.files.saveFolder; }, false },
    { "LiveOn", +[](Values& v) -> bool& { return v.liveOn; }, false },
    { "LivePort", +[](Values& v) -> int& { return v.livePort; }, false,
        kLivePort.low, kLivePort.high },
    { "PortDevice", +[](Values& v) -> QString& { return v.portDevice; }, false },
    { "Veranstaltung", +[](Values& v) -> QString& { return v.event.title; }, false, INT_MIN, INT_MAX,
        kMaxTitleLength, TooLong::Cut },
    { "UploadUrl", +[](Values& v) -> QString& { return v.uploadUrl; }, false },
    { "UploadKey", +[](Values& v) -> QString& { return v.uploadKey; }, false },
    { .name = "Runs", .field = +[](Values& v) -> int& { return v.timing.runs; }, .strict = false, .low = 1, .high = 2 },
    { .name = "RunsReverse", .field = +[](Values& v) -> int& { return v.timing.runsReverse; }, .strict = false,
        .low = 0, .high = 999 },
    { .name = "RunsScoring", .field = +[](Values& v) -> int& { return v.timing.runsScoring; }, .strict = false,
        .low = 0, .high = 1 },
    { .name = "Station", .field = +[](Values& v) -> int& { return v.stations.role; }, .strict = false,
        .low = kStationRole.low, .high = kStationRole.high, .sparse = true },
    { .name = "StationCode", .field = +[](Values& v) -> QString& { return v.stations.code; }, .strict = false,
        .maxLength = 6, .valid = validCode, .sparse = true },
    { .name = "Stations/Start", .field = +[](Values& v) -> QString& { return v.stations.peers[0].address; },
        .strict = false, .maxLength = kMaxAddressLength, .valid = validAddress, .sparse = true },
    { .name = "Stations/Zwischen1", .field = +[](Values& v) -> QString& { return v.stations.peers[1].address; },
        .strict = false, .maxLength = kMaxAddressLength, .valid = validAddress, .sparse = true },
    { .name = "Stations/Zwischen2", .field = +[](Values& v) -> QString& { return v.stations.peers[2].address; },
        .strict = false, .maxLength = kMaxAddressLength, .valid = validAddress, .sparse = true },
    { .name = "Stations/Zwischen3", .field = +[](Values& v) -> QString& { return v.stations.peers[3].address; },
        .strict = false, .maxLength = kMaxAddressLength, .valid = validAddress, .sparse = true },
    { .name = "Stations/Zwischen4", .field = +[](Values& v) -> QString& { return v.stations.peers[4].address; },
        .strict = false, .maxLength = kMaxAddressLength, .valid = validAddress, .sparse = true },
    { .name = "Stations/StartCode", .field = +[](Values& v) -> QString& { return v.stations.peers[0].code; },
        .strict = false, .maxLength = 6, .valid = validCode, .sparse = true },
    { .name = "Stations/Zwischen1Code", .field = +[](Values& v) -> QString& { return v.stations.peers[1].code; },
        .strict = false, .maxLength = 6, .valid = validCode, .sparse = true },
    { .name = "Stations/Zwischen2Code", .field = +[](Values& v) -> QString& { return v.stations.peers[2].code; },
        .strict = false, .maxLength = 6, .valid = validCode, .sparse = true },
    { .name = "Stations/Zwischen3Code", .field = +[](Values& v) -> QString& { return v.stations.peers[3].code; },
        .strict = false, .maxLength = 6, .valid = validCode, .sparse = true },
    { .name = "Stations/Zwischen4Code", .field = +[](Values& v) -> QString& { return v.stations.peers[4].code; },
        .strict = false, .maxLength = 6, .valid = validCode, .sparse = true },
};
// clang-format on

int within(int stored, int low, int high, int fallback)
{
    return stored >= low && stored <= high ? stored : fallback;
}

// Reads one key into the values; throws SettingsError when an integer is
// missing or malformed.
void readKey(const platform::SettingsStore& store, const Key& key, Values& values)
{
    Values defaults;
    const QString name = QString::fromLatin1(key.name);
    std::visit(
        [&](auto field) {
            auto& value = field(values);
            const auto& fallback = field(defaults);
            using T = std::remove_reference_t<decltype(value)>;
            if constexpr (std::is_same_v<T, QString>) {
                const QString stored = store.readString(name);
                if (key.valid && !key.valid(stored.trimmed()))
                    value = fallback;
                else if (key.valid)
                    value = stored.trimmed();
                else if (stored.size() <= key.maxLength)
                    value = stored;
                else if (key.tooLong == TooLong::Cut)
                    value = stored.left(key.maxLength).trimmed();
                else
                    value = fallback;
            } else {
                const int stored = store.readInteger(name);
                if constexpr (std::is_same_v<T, int>)
                    value = within(stored, key.low, key.high, fallback);
                else if constexpr (std::is_same_v<T, bool>)
                    value = within(stored, key.low, key.high, fallback ? 1 : 0) != 0;
                else if constexpr (std::is_same_v<T, StoredColour>)
                    value = Color(stored, fallback);
                else
                    value = stored;
            }
        },
        key.field);
}

void writeKey(platform::SettingsStore& store, const Key& key, const Values& values)
{
    Values copy = values;
    Values defaults;
    const QString name = QString::fromLatin1(key.name);
    std::visit(
        [&](auto field) {
            const auto& value = field(copy);
            using T = std::remove_cvref_t<decltype(value)>;
            if (key.sparse && value == field(defaults) && !store.contains(name))
                return;
            if constexpr (std::is_same_v<T, QString>)
                store.writeString(name, value);
            else if constexpr (std::is_same_v<T, bool>)
                store.writeInteger(name, value ? 1 : 0);
            else if constexpr (std::is_same_v<T, StoredColour>)
                store.writeInteger(name, static_cast<int>(value));
            else if constexpr (std::is_same_v<T, int>)
                store.writeInteger(name, value);
            else if (value)
                store.writeInteger(name, *value);
        },
        key.field);
}

} // namespace

Values Read(const platform::SettingsStore& store)
{
    Values values;
    if (!store.exists())
        return values;
    values.portPaths = ReadPortPaths(store);
    bool strictReading = true;
    for (const Key& key : kKeys) {
        if (key.strict && !strictReading)
            continue;
        try {
            readKey(store, key, values);
        } catch (const platform::SettingsError&) {
            // The first missing or malformed one of the fourteen ends their
            // reading; a later key keeps just its own default.
            if (key.strict)
                strictReading = false;
        }
    }
    return values;
}

void Write(platform::SettingsStore& store, const Values& values)
{
    for (const Key& key : kKeys)
        writeKey(store, key, values);
}

QMap<int, QString> ReadPortPaths(const platform::SettingsStore& store)
{
    QMap<int, QString> paths;
    for (const QString& key : store.childKeys(QString::fromLatin1(kPortsGroup))) {
        const int n = platform::PortMap::NumberFromName(key);
        const QString path = store.readString(QString::fromLatin1(kPortsGroup) + QLatin1Char('/') + key).trimmed();
        if (n > 0 && !path.isEmpty() && path.size() <= kMaxPathLength)
            paths.insert(n, path);
    }
    return paths;
}

bool IsPairingCode(const QString& code)
{
    return code.size() == 6 && std::all_of(code.cbegin(), code.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

bool IsStationAddress(const QString& address)
{
    const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0 || address.size() > kMaxAddressLength)
        return false;
    QString host = address.left(colon);
    const QString port = address.mid(colon + 1);
    bool ok = false;
    const int number = port.toInt(&ok);
    if (!ok || number < 1 || number > 65535 || port.startsWith(QLatin1Char('+')))
        return false;
    if (host.startsWith(QLatin1Char('['))) {
        if (!host.endsWith(QLatin1Char(']')) || host.size() < 3)
            return false;
        host = host.mid(1, host.size() - 2);
        return std::all_of(host.cbegin(), host.cend(), [](QChar c) {
            return c.isDigit() || c == u':' || c == u'.' || (c.toLower() >= u'a' && c.toLower() <= u'f');
        });
    }
    // A bare IPv6 address would be ambiguous with its port.
    return std::all_of(host.cbegin(), host.cend(),
        [](QChar c) { return c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u'_'; });
}

StoredColour Color(int stored, StoredColour fallback)
{
    const auto value = static_cast<StoredColour>(stored);
    if (value <= 0x00FFFFFF)
        return value;
    if ((value & 0xFF000000) == kSystemColourFlag && (value & 0x00FFFFFF) <= kHighestSystemColour)
        return value;
    return fallback;
}

} // namespace settings
