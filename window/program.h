#pragma once

#include <SDL.h>

#include "engine/rendering.h"
#include "window/window.h"
#include "presets/preset.h"

namespace lucentor {

// The whole life of a window program: build the preset's scene, open the window, start the
// render workers, refine the picture until the user quits, then stop the workers and release
// everything. Returns the process exit code: 0 after a quit request, 1 when the window cannot
// be shown or a worker cannot be started (with one line on stderr). Command-line arguments
// change nothing; argv[0] only names the program in messages.
int runProgram(int argc, char** argv, Preset preset);

// The same for a scene already filled with its hierarchy built (from a scene file), which the
// program takes over. Arguments are the caller's business; argv[0] names the program.
int runProgram(int argc, char** argv, Scene* scene);

// Polls events, running the frame step after each poll, until an event ends the program; while
// a pass runs it sleeps between polls. A pass that completes in the iteration that brings the
// quit is still shown.
void runEventLoop(const Window& window, Rendering& rendering);

}  // namespace lucentor
