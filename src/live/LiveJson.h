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
//    "entries":[{"number":...,"name":...,"start":...,"time":...,"split":...,
//    "place":...,"state":"finished","runMs":65120,"class":"Damen",
//    "status":"","classPlace":1,"overallPlace":2},...],"latest":[4,0,2]}
// "classes" lists the classes in the order of the start list (empty without
// classes); "status" is "DNS", "DNF", "DSQ" or empty; "classPlace" is the
// place within the class (null without classes or without a place),
// "overallPlace" the place over all entries (null without a place).
// "latest" lists the indices of the last five finishers, newest first. The
// body changes only with the results, so it is made once per change.

// The body: from "version" to the closing brace.
QByteArray ResultsJsonBody(const race::Snapshot& snapshot, std::uint64_t version);

// The clock part: the opening brace, the race time and the local time of day
// (milliseconds since midnight) at the moment of serving.
QByteArray ResultsJsonClock(
    const race::Snapshot& snapshot, std::chrono::steady_clock::time_point now, std::int64_t timeOfDayMs);

// Number of finishers the display shows.
constexpr int kLatestCount = 5;

} // namespace live
