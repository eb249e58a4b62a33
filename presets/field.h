#pragma once

#include "scene/scene.h"

namespace lucentor {

inline constexpr int kFieldSphereCount = 105;

// A checkerboard floor, one point light and kFieldSphereCount random diffuse spheres
// standing on the floor, laid out by the C library's rand() (seed it first).
void buildFieldScene(Scene& scene);

// The same layout drawn from `draw`, which must return non-negative numbers like rand().
void buildFieldSceneWith(Scene& scene, int (*draw)());

}  // namespace lucentor
