#pragma once

#include <SDL.h>

#include <string>

#include "engine/rendering.h"
#include "presets/preset.h"
#include "window/shown_frames.h"
#include "window/window.h"

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

// Polls events and presents the newest completed pass at most once per refresh, until an event
// ends the program; it sleeps while there is nothing to present.
void runEventLoop(Window& window, ShownFrames& frames);

// Starts the workers of an opened window's rendering, relaying each completed pass to `frames`
// (which must outlive them), and the first pass. Returns an empty string, or why a worker
// could not be started (the rendering joins those started).
std::string startShowing(Rendering& rendering, ShownFrames& frames);

}  // namespace lucentor
