// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The program as the operator starts it, with the drill's options (see
// Drill.h). Built as "rennzeit" in a folder of its own, so it keeps the
// program's settings store and data folder. Its serial ports are the
// simulated lab's (COM1): a test that starts the program never reaches a real
// device of the machine.
#include "Drill.h"

#include "app/Program.h"
#include "support/SerialSim.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const DrillOptions options = ParseDrillOptions(arguments);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", options.error.toLocal8Bit().constData());
        return 2;
    }
    ApplyClockOptions(options);
    platform::SimSerialLab lab;
    lab.AddPort(1);
    return RunProgram(argc, argv, [options](TFormMain& window) { RunDrillOptions(window, options); });
}
