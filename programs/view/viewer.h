#pragma once

#include <optional>
#include <string>

#include "engine/image.h"
#include "scene/scene.h"

namespace lucentor {

enum class ViewCommandKind { View, Help, Version, Error };

// What lucentor-view is asked to do.
struct ViewCommand {
    ViewCommandKind kind = ViewCommandKind::Error;
    std::string file;                      // the scene file when kind is View
    ImageSize size;                        // the window's at the start
    std::optional<Integrator> integrator;  // over the file's, at every reload; none: the file's
    std::string problem;                   // one line naming what is wrong when kind is Error
};

// Reads lucentor-view's arguments (argv[0] is the program and is skipped): one scene file,
// FILE.toml, --size WxH, --integrator direct|path, --help or --version. Never throws for bad
// input.
ViewCommand parseViewCommand(int argc, const char* const* argv);

// The --help text.
extern const char* const kViewUsage;

// The whole of lucentor-view: reads the arguments and the scene file, then shows the scene in
// the window of the three programs until the user quits. Returns the exit code: 0 after a
// quit, 1 when the file cannot be read or the window cannot be shown, 2 for bad arguments or
// a bad scene file, found before any window opens.
int runViewer(int argc, char** argv);

}  // namespace lucentor
