#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/image.h"
#include "programs/view/file_watch.h"
#include "scene/scene.h"
#include "scenefile/scene_file.h"

namespace lucentor {

// The title of lucentor-view's window: "Lucentor — FILE — INTEGRATOR integrator — N passes —
// X M samples/s".
std::string viewTitle(std::string_view file, Integrator integrator, int passes,
                      double samplesPerSecond);

// The title while the file's last edit is at fault, until a good one: "Lucentor — FILE —
// error at line N, see the terminal", or "... at line N of ROWS, ..." for a fault in the rows
// file ROWS.
std::string faultTitle(std::string_view file, int line, std::string_view faultFile);

// The name P saves a picture of `passes` passes of the scene file `path` under, in the current
// folder: STEM-N-passes.png, or STEM-N-passes-K.png with the first K from 2 on for which
// `taken` is false, so that no earlier picture is overwritten.
std::string pictureName(std::string_view path, int passes, bool (*taken)(const std::string&));

// What the command line asks of the window beside the file.
struct ViewSettings {
    ImageSize size;                        // the window's at the start
    std::optional<Integrator> integrator;  // over the file's at every reload; none: the file's
};

// A new version `text` of the scene file `path` read into a new `scene` with `integrator`
// over its own, as readSceneText reports it; only Read leaves a scene.
SceneFileStatus rereadScene(const std::string& path, std::string_view text,
                            const std::optional<Integrator>& integrator,
                            std::unique_ptr<Scene>& scene, SceneReport& report);

// Shows `scene`, read from the scene file `path` (watched through `watched`) and the
// `otherFiles` it named, in a window of `settings.size` until the user quits, moving and
// reloading as the user asks. Returns the exit code: 0 after a quit, 1 when the window cannot
// be shown or the workers cannot run.
int runViewSession(const std::string& path, const ViewSettings& settings,
                   std::unique_ptr<Scene> scene, WatchedFile watched,
                   const std::vector<std::string>& otherFiles);

}  // namespace lucentor
