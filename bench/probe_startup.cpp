// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The program as it starts for the operator, except that it says when its
// window is up and leaves at once, without writing settings or a backup.
// bench_startup runs it as a child process.
#include "app/Program.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    return RunProgram(argc, argv, [](TFormMain&) {
        std::printf("shown\n");
        std::fflush(stdout);
        std::quick_exit(0);
    });
}
