#pragma once

#include <functional>

class TFormMain;

// The program: the application object, the main window and its dialogs in
// the order their start-up needs, then the message loop. `shown` runs once
// the main window is on the screen (the start-up benchmark's entry uses it).
int RunProgram(int& argc, char** argv, const std::function<void(TFormMain&)>& shown = {});
