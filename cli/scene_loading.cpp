#include "cli/scene_loading.h"

#include <cstdio>
#include <vector>

#include "cli/exit_codes.h"

namespace lucentor {

int loadSceneFileReporting(const std::string& path, std::string_view program,
                           std::unique_ptr<Scene>& scene, StopCheck stop,
                           std::vector<std::string>* otherFiles) {
    SceneReport report;
    const SceneFileStatus status = loadSceneFile(path, scene, report, stop);
    if (otherFiles != nullptr) *otherFiles = report.otherFiles;
    const std::string& problem = report.problem;
    switch (status) {
        case SceneFileStatus::Read:
            for (const std::string& warning : report.warnings)
                std::fprintf(stderr, "%s\n", warning.c_str());
            return 0;
        case SceneFileStatus::Unreadable:
            std::fprintf(stderr, "%.*s: %s\n", int(program.size()), program.data(),
                         problem.c_str());
            return kExitCannotRead;
        case SceneFileStatus::Interrupted:
            return kExitCannotRead;
        case SceneFileStatus::Invalid:
            break;
    }
    std::fprintf(stderr, "%s\n", problem.c_str());
    return kExitBadArguments;
}

}  // namespace lucentor
