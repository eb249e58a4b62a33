#include "engine/startup.h"

#include <cstdlib>
#include <memory>

namespace lucentor {

Scene* createPresetScene(Preset preset) {
    std::srand(kSceneSeed);
    auto scene = std::make_unique<Scene>();
    preset(*scene);
    scene->buildHierarchy();
    return scene.release();
}

}  // namespace lucentor
