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
//   --print-digest            prints "digest <digest>" of the race once the
//                             start-up (and any recovery) is done, and ends
struct DrillOptions {
    std::optional<std::uint32_t> drillSeed;
    std::optional<bool> recoverAnswer;
    bool printDigest = false;
    QString error; // an option that cannot be read
};
DrillOptions ParseDrillOptions(const QStringList& arguments);

// Writes one line to the standard output at once (from any thread).
void PrintLine(const QString& line);

// What the drill program does once the window is on the screen.
void RunDrillOptions(TFormMain& window, const DrillOptions& options);
