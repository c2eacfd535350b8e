#pragma once

#include <QString>

#include <array>

// The seven columns of the log, in order. The last one ("*") holds the raw
// milliseconds (the start tick while an entry runs, the run time after its
// stop); it is never shown, but saved and loaded with the others.
namespace protocol {

constexpr int kColNr = 0;
constexpr int kColName = 1;
constexpr int kColStart = 2;
constexpr int kColZeit = 3;
constexpr int kColSplit = 4;
constexpr int kColPlatz = 5;
constexpr int kColRaw = 6;
constexpr int kProtocolColCount = 7;

extern const std::array<QString, kProtocolColCount> kProtocolHeaders; // "Nr.", "Name", ..., "*"

} // namespace protocol
