#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scene/scene.h"
#include "scenefile/scene_file.h"

namespace lucentor {

// loadSceneFile for a program's main flow: reports a fault on stderr and returns the exit code,
// or 0 with the scene read. A file at fault gets its own line alone (FILE:LINE:COLUMN: what,
// as compilers report faults, so that editors can jump to it) and kExitBadArguments; an
// unreadable file "PROGRAM: cannot read ..." and kExitCannotRead; a file read prints each of
// its warnings on a line of its own. When `stop` ends the wait for the file, nothing is
// printed and kExitCannotRead returned: the caller knows why it stopped, and says so. A rows
// file that cannot be read is an unreadable file too. `otherFiles`, when given, gets the
// files the scene named and read.
int loadSceneFileReporting(const std::string& path, std::string_view program,
                           std::unique_ptr<Scene>& scene, StopCheck stop = nullptr,
                           std::vector<std::string>* otherFiles = nullptr);

}  // namespace lucentor
