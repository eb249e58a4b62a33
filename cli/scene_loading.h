#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "scene/scene.h"

namespace lucentor {

// loadSceneFile for a program's main flow: reports a fault on stderr and returns the exit code,
// or 0 with the scene read. A file at fault gets its own line alone (FILE:LINE:COLUMN: what,
// as compilers report faults, so that editors can jump to it) and kExitBadArguments; an
// unreadable file "PROGRAM: cannot read ..." and kExitCannotRead.
int loadSceneFileReporting(const std::string& path, std::string_view program,
                           std::unique_ptr<Scene>& scene);

}  // namespace lucentor
