#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/image.h"
#include "programs/view/file_watch.h"
#include "scene/scene.h"

namespace lucentor {

// The title of lucentor-view's window: "Lucentor — FILE — N passes — X M samples/s".
std::string viewTitle(std::string_view file, int passes, double samplesPerSecond);

// The title while the file's last edit is at fault, until a good one: "Lucentor — FILE —
// error at line N, see the terminal", or "... at line N of ROWS, ..." for a fault in the rows
// file ROWS.
std::string faultTitle(std::string_view file, int line, std::string_view faultFile);

// The name P saves a picture of `passes` passes of the scene file `path` under, in the current
// folder: STEM-N-passes.png, or STEM-N-passes-K.png with the first K from 2 on for which
// `taken` is false, so that no earlier picture is overwritten.
std::string pictureName(std::string_view path, int passes, bool (*taken)(const std::string&));

// Shows `scene`, read from the scene file `path` (watched through `watched`) and the
// `otherFiles` it named, in a window of `size` until the user quits, moving and reloading as
// the user asks. Returns the exit code: 0 after a quit, 1 when the window cannot be shown or
// the workers cannot run.
int runViewSession(const std::string& path, ImageSize size, std::unique_ptr<Scene> scene,
                   WatchedFile watched, const std::vector<std::string>& otherFiles);

}  // namespace lucentor
