#include "cli/scene_loading.h"

#include <cstdio>

#include "cli/exit_codes.h"
#include "scenefile/scene_file.h"

namespace lucentor {

int loadSceneFileReporting(const std::string& path, std::string_view program,
                           std::unique_ptr<Scene>& scene) {
    std::string problem;
    switch (loadSceneFile(path, scene, problem)) {
        case SceneFileStatus::Read:
            return 0;
        case SceneFileStatus::Unreadable:
            std::fprintf(stderr, "%.*s: %s\n", int(program.size()), program.data(),
                         problem.c_str());
            return kExitCannotRead;
        case SceneFileStatus::Invalid:
            break;
    }
    std::fprintf(stderr, "%s\n", problem.c_str());
    return kExitBadArguments;
}

}  // namespace lucentor
