// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "controls/ColorValue.h"
#include "race/Race.h"

#include <QString>

#include <optional>

namespace platform {
class SettingsStore;
}

// Every value the program keeps in the settings store, and the one table of
// their keys, types, defaults and ranges (Settings.cpp). Start-up reads a
// Values, the exit writes one; each part has one owner while the program
// runs: the race its timing, the serial port its port, the window its
// colours and files, the live publisher its own. A default is the member's
// initial value here (the timing's in race::RaceSettings) and nowhere else.
namespace settings {

struct Colours {
    TColor background = clBlack; // "C1"
    TColor digit = clYellow; // "C2"
    TColor dim = 0x404040; // "C3": digits that are off, dimmed
    TColor secondRow = clLime; // "C4"
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

struct Values {
    int port = 0; // "Port": 0 none, n COMn
    int algorithm = 0; // "Alg": the barrier algorithm, 0 "Ein", 1 "Aus"; negative locks the port list
    QString portDevice; // "PortDevice": the chosen adapter's stable path
    Placement placement;
    bool sound = false; // "Sound"
    Colours colours;
    race::RaceSettings timing; // "Acc", "WaitStart", "StopFirst"
    FileChoices files;
    bool liveOn = false; // "LiveOn": live results in the network
    int livePort = 8080; // "LivePort"
    Event event;
    QString uploadUrl; // "UploadUrl": where the results go on the web; empty: no upload
    QString uploadKey; // "UploadKey": the SSH key file; empty: the user's usual key
};

// Reads the store. The fourteen keys every version has written are read in
// their order and the first one that is missing or not a whole number ends
// their reading: it and the ones after it keep their defaults. A value out
// of its range takes its default alone. Every later key is read on its own:
// a missing or bad one keeps its default. A store that does not exist gives
// the defaults.
Values Read(const platform::SettingsStore& store);
// Writes every key (the caller flushes the store).
void Write(platform::SettingsStore& store, const Values& values);

// A plain colour 0x00BBGGRR or a system colour the program can resolve;
// anything else gives `fallback`.
TColor Color(int stored, TColor fallback);

} // namespace settings
