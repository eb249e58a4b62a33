#pragma once

#include "scene/scene.h"

namespace lucentor {

// Five walls around a mirror sphere and a glass sphere, lit by one spherical light.
void buildBoxScene(Scene& scene);

}  // namespace lucentor
