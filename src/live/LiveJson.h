// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "race/RaceSnapshot.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>

// The results as JSON, UTF-8. A string is escaped so that the text stays
// inert wherever the JSON lands: in a script element of a page, in an event
// stream line or in a file (markup characters, line and paragraph separators
// and control characters become \u escapes).
namespace live {

// Appends text as a JSON string literal, quotes included.
void AppendJsonString(QByteArray& out, const QString& text);

// The results JSON is the clock part followed by the body:
//   {"raceMs":65230,"timeOfDayMs":36300000,"version":7,"title":"...",
//    "running":true,"firstStart":"10:05.03,12","accuracy":2,"colours":{...},
//    "classes":["Damen","Herren"],
//    "entries":[{"id":"k2v9q0ad","number":...,"name":...,"start":...,
//    "time":...,"split":...,"place":...,"state":"finished","runMs":65120,
//    "class":"Damen","status":"","classPlace":1,"overallPlace":2},...],
//    "latest":[4,0,2]}
// "classes" lists the classes in the order of the start list (empty without
// classes); "status" is "DNS", "DNF", "DSQ" or empty; "classPlace" is the
// place within the class (null without classes or without a place),
// "overallPlace" the place over all entries (null without a place).
// "latest" lists the indices of the last five finishers, newest first. The
// body changes only with the results, so it is made once per change. An
// entry carries its identity ("id") and the fields of race::EntryFields().

// The body: from "version" to the closing brace.
QByteArray ResultsJsonBody(const race::Snapshot& snapshot, std::uint64_t version);

// A delta: what turns the results of version `base` into those of
// `version`, from "version" to the closing brace:
//   "version":8,"base":7, the title, state, first start, accuracy and
//   colours as in the body,
//   "changed":[...]  entries that are new or changed, whole, as in the body
//   "order":[[0,120],"k2v9q0ad",[121,879]]  present when the order changed:
//       the new order made of slices of the old one ([from, count]) and of
//       single entries by id; an entry that is in no piece is gone
//   "runs":{"place":[...]}  by-runs columns that changed in other entries,
//       along the new order: "3" one value, [4,"-"] four times "-",
//       [5,12] the five numbers 12 to 16
//   "latest":[...] as in the body, indices into the new order.
QByteArray DeltaJsonBody(
    const race::Snapshot& before, std::uint64_t base, const race::Snapshot& after, std::uint64_t version);

// What the display shows, after the clock part: "version", the title, the
// state, the accuracy, the colours and "latest" as the finishers themselves:
//   "latest":[{"place":"1","number":"9","name":"Anna","time":"59,80"},...]
QByteArray DisplayJsonBody(const race::Snapshot& snapshot, std::uint64_t version);
// The display's content without its version: when it is the same, the
// display has nothing new to show.
QByteArray DisplayJsonContent(const race::Snapshot& snapshot);

// The clock part: the opening brace, the race time and the local time of day
// (milliseconds since midnight) at the moment of serving.
QByteArray ResultsJsonClock(
    const race::Snapshot& snapshot, std::chrono::steady_clock::time_point now, std::int64_t timeOfDayMs);

// Number of finishers the display shows.
constexpr int kLatestCount = 5;

} // namespace live
