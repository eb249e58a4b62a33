#pragma once

#include "scene/scene.h"

namespace lucentor {

// Three large spheres (red, glass around the camera, mirror) over a checkerboard floor.
void buildTrioScene(Scene& scene);

}  // namespace lucentor
