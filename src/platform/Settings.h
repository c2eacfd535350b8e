// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMap>
#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>

namespace platform {
class SettingsStore;
}

// Every value the program keeps in the settings store, and the one table of
// their keys, types, defaults, ranges and groups (Settings.cpp). Start-up
// reads a Values, the settings dialog edits one and the window writes it at
// the dialog's OK and at the exit; each part has one owner while the program
// runs: the race its timing, the light barriers their algorithm, the serial
// port its port, the window its colours and files, the live publisher its
// own. A default is the member's initial value here and nowhere else, a
// limit one of the constants below. The values sit below the dialogs so the
// settings dialog can edit them; they hold no widget.
namespace settings {

// A closed range of whole numbers.
struct Range {
    int low;
    int high;
    constexpr int Clamp(int value) const { return value < low ? low : value > high ? high : value; }
    constexpr bool Holds(int value) const { return value >= low && value <= high; }
};

// The start lockout: the settings dialog's 1.0 to 600.0 s.
inline constexpr Range kStartLockoutMs { 1000, 600000 };
inline constexpr Range kLivePort { 1, 65535 };
// The race's title is a heading, not a text to store whole chapters in.
inline constexpr int kMaxTitleLength = 120;

// The role of this instance among the timing stations: 0 the finish, where
// the race is, 1 the start, 2 .. 5 interim stations 1 .. 4.
inline constexpr Range kStationRole { 0, 5 };
// The stations a finish reads: the start and the four interim stations.
inline constexpr int kStationPeers = 5;

// A colour as the display stores it (its TColor): 0x00BBGGRR, or a system
// colour of the desktop by its index with 0xFF in the high byte.
using StoredColour = quint32;

struct Colours {
    StoredColour background = 0x000000; // "C1": black
    StoredColour digit = 0x00FFFF; // "C2": yellow
    StoredColour dim = 0x404040; // "C3": digits that are off, dimmed
    StoredColour secondRow = 0x00FF00; // "C4": lime
};

// The settings that govern timing. While the program runs the race is
// their only owner (race::RaceSettings).
struct Timing {
    static constexpr int kStopLockoutMs = 500; // the stop barrier's lockout is fixed

    int accuracy = 2; // "Acc": run-time texts and the display: 0 whole seconds, 1 tenths, 2 hundredths
    bool stopFirst = false; // "StopFirst": STOPP takes the earliest runner when the current row does not run
    int startLockoutMs = 3000; // "WaitStart"
    int stopLockoutMs = kStopLockoutMs;
    int runs = 1; // 1 or 2
    int runsReverse = 30; // run 2 starts the best of run 1 in reverse; 0: in run 1's order
    int runsScoring = 0; // 0 the sum of both runs, 1 the better run
    bool operator==(const Timing&) const = default;
};

struct FileChoices {
    int filterIndex = 2; // "FilterInd": the save dialog's file type, 1 .. 4
    QString saveFolder; // "SaveDir": where the file dialogs start
};

// The window's normal place; a missing value leaves it to the platform.
struct Placement {
    std::optional<int> left, top, width, height; // "Left", "Top", "Width", "Height"
    bool maximized = false; // "Maximized"
};

// The race as the outputs name it: the results page and its printout, the
// document, the workbook, the live results and the spectator display.
struct Event {
    QString title; // "Veranstaltung"; empty: they carry the program's name as before
    // What the live results and the spectator display are titled: the
    // race's title, else the program's name.
    QString NameOr(const QString& programTitle) const { return title.isEmpty() ? programTitle : title; }
};

// The timing stations. A station shows its pairing code; the finish keeps
// each station's address and code in the group [Stations].
struct StationPeer {
    QString address; // "host:port" ("[::1]:8080" for IPv6); empty: not in the race
    QString code; // the station's six digits
    bool operator==(const StationPeer&) const = default;
};
struct Stations {
    int role = 0; // "Station"
    QString code; // "StationCode": empty until the first start makes one
    std::array<StationPeer, kStationPeers> peers; // Start, Zwischen1 .. Zwischen4
    bool operator==(const Stations&) const = default;
};
// Six digits, leading zeros kept.
bool IsPairingCode(const QString& code);
// "host:port" with a port from 1 to 65535; an IPv6 host in brackets.
bool IsStationAddress(const QString& address);

struct Values {
    int port = 0; // "Port": 0 none, n COMn
    int algorithm = 0; // "Alg": the barrier algorithm, 0 "Ein", 1 "Aus"; negative locks the port list
    QString portDevice; // "PortDevice": the chosen adapter's stable path
    Placement placement;
    bool sound = false; // "Sound"
    Colours colours;
    Timing timing;
    FileChoices files;
    bool liveOn = false; // "LiveOn": live results in the network
    int livePort = 8080; // "LivePort"
    Event event;
    QString uploadUrl; // "UploadUrl": where the results go on the web; empty: no upload
    QString uploadKey; // "UploadKey": the SSH key file; empty: the user's usual key
    Stations stations;
    // Group "Ports": "COMn=<device path>" for a port outside the usual
    // numbering. Written by hand by whoever sets up the machine; the program
    // reads it and never writes it.
    QMap<int, QString> portPaths;
};

// Reads the store. The fourteen keys every version has written are read in
// their order and the first one that is missing or not a whole number ends
// their reading: it and the ones after it keep their defaults. A value out
// of its range takes its default alone. Every later key is read on its own:
// a missing or bad one keeps its default. A text longer than its limit is
// cut to it. A store that does not exist gives the defaults.
Values Read(const platform::SettingsStore& store);
// Writes every key the program owns (the caller flushes the store).
void Write(platform::SettingsStore& store, const Values& values);
// The group "Ports" alone: each "COMn" key with a path (other keys and empty
// paths are left out).
QMap<int, QString> ReadPortPaths(const platform::SettingsStore& store);

// A plain colour 0x00BBGGRR or a system colour the program can resolve;
// anything else gives `fallback`.
StoredColour Color(int stored, StoredColour fallback);

} // namespace settings
