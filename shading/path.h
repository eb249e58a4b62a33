#pragma once

#include "scene/scene.h"
#include "shading/light_sampling.h"
#include "shading/random.h"

namespace lucentor {

// The radiance arriving along `ray` (a unit direction, t = kFarDistance) by the path
// integrator, over what `shading` holds of its scene: one lane of the kernels' path tiles
// (shading/path_lanes.h), drawing from `generator`. Unclamped; NaN and infinities are kept out
// of the sum, so every channel is finite.
Vec3 tracePath(const ShadingScene& shading, const Ray& ray, RandomGenerator& generator);

}  // namespace lucentor
