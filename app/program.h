#pragma once

#include "presets/preset.h"

namespace lucentor {

// The whole life of a window program: build the preset's scene, open the window, run the
// event loop until the user quits, release everything. Returns the process exit code:
// 0 after a quit request, 1 when the window cannot be shown (with one line on stderr).
// Command-line arguments change nothing; argv[0] only names the program in messages.
int runProgram(int argc, char** argv, Preset preset);

// Polls events without pause until one of them ends the program.
void runEventLoop();

}  // namespace lucentor
