// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <functional>

class TFormMain;

// The program: the application object, the main window and its dialogs in
// the order their start-up needs, then the message loop. Once the main
// window is on the screen, `shown` runs; without one, a race the last session
// left behind is offered back (the program's own start). Test programs and
// benchmarks that link the program give their own.
int RunProgram(int& argc, char** argv, const std::function<void(TFormMain&)>& shown = {});
