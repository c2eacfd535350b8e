#pragma once

#include "controls/ColorValue.h"

// The ranges of the values kept in the settings store. A value read from the
// store that lies outside its range (a hand-edited file, a file of another
// version) is replaced by its default on its own: the values around it keep
// what was stored, and no dialog ever shows a choice that does not exist.
namespace settingsranges {

constexpr int kDefaultPort = 0;
constexpr int kDefaultAlgorithm = 0;
constexpr int kDefaultAccuracy = 2;
constexpr int kDefaultFilterIndex = 2;
constexpr int kDefaultStartLockout = 3000;
constexpr int kMinStartLockout = 1000; // the settings dialog's 1.0 s
constexpr int kMaxStartLockout = 600000; // and its 600.0 s

int Port(int stored); // 0 (none) .. 255
int Algorithm(int stored); // 0 "Ein", 1 "Aus"
int Accuracy(int stored); // 0 seconds, 1 tenths, 2 hundredths
int FilterIndex(int stored); // 1 .. 4, the save dialog's file types
int StartLockout(int stored); // milliseconds

// A plain colour 0x00BBGGRR or a system colour the program can resolve;
// anything else gives `fallback`.
TColor Color(int stored, TColor fallback);

} // namespace settingsranges
