// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class TFormMain;

// The options of the drill program, which is the real program with ways to
// test it from outside:
//   --drill=<seed>            runs random race commands through the window's
//                             handlers, one every millisecond, printing
//                             "event <seq> <digest>" before each journal line
//                             and "durable <seq>" when the journal has it on
//                             the disk (a crash test kills the program)
//   --recover-answer=yes|no   answers the question "Letztes Rennen
//                             wiederherstellen?" without showing it
//   --recover-answer=wait     prints "question <text>" when the question is
//                             asked and leaves it open (for a signal to end)
//   --script=<steps>          runs the steps, separated by commas, once the
//                             start-up is done: "load:<file>" loads a
//                             protocol, "start", "stop", "end" press the
//                             keys, "run2" begins run 2 (answering Ja),
//                             "digest" prints "digest-now <digest>";
//                             then prints "scripted <seq> <digest>"
//                             once the journal has every event on the disk
//   --print-digest            prints the messages shown ("message <text>")
//                             and "digest <digest>" of the race once the
//                             start-up (and any recovery or script) is done,
//                             and ends
//   --boot-id=<id>            the program runs in that boot
//   --tick-shift=<ms>         the tick counter reads that much more
//   --wall-shift=<ms>         the wall clock reads that much more
// The last three make a start look like one after a reboot.
//   --station-clock-shift=<ms>  the clock a timing station stamps with and
//                             tells the finish runs that much ahead
//   --print-starts            prints "started <n>" and a line "row <nr>
//                             <start tick>" per started entry whenever the
//                             number of started entries changes
// Script steps for stations: "wait:<ms>" waits, "free-start" frees the
// start barrier (F11).
struct DrillOptions {
    std::optional<std::uint32_t> drillSeed;
    std::optional<bool> recoverAnswer;
    bool waitInQuestion = false;
    QStringList script;
    bool printDigest = false;
    QString bootId;
    std::int32_t tickShift = 0;
    std::int64_t wallShift = 0;
    std::int64_t stationClockShiftMs = 0;
    bool printStarts = false;
    QString error; // an option that cannot be read
};
DrillOptions ParseDrillOptions(const QStringList& arguments);

// Writes one line to the standard output at once (from any thread).
void PrintLine(const QString& line);

// The boot, tick and wall clock the options ask for; before the program
// starts.
void ApplyClockOptions(const DrillOptions& options);

// What the drill program does once the window is on the screen.
void RunDrillOptions(TFormMain& window, const DrillOptions& options);
