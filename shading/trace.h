#pragma once

#include <cstdint>

#include "scene/scene.h"
#include "shading/random.h"

namespace lucentor {

// Any surface seen at this depth is black; a light is still seen. Compared exactly.
inline constexpr float kMaxDepth = 5.0f;

// What a ray that meets a light sphere returns, whatever the light's emission or size.
inline constexpr Vec3 kLightHitColor = {1.0f, 1.0f, 0.8f};

// The linear RGB colour seen along `ray` (t = kFarDistance on entry, left at the hit's
// distance), unclamped. depth is 0 for camera rays and one more for each secondary ray; it
// must be a whole number from 0 to kMaxDepth. Draws from `generator`: a mirror's direct light
// before its reflected ray, a glass surface's reflected ray before its refracted one. One ray
// of the lane kernels' sample pipeline.
Vec3 trace(Ray& ray, float depth, const Scene& scene, RandomGenerator& generator);

// Where the walk of one node of a sample's ray tree stands: its reflected child still to
// start, its refracted child still to start (the reflected one done or not needed), or both
// children done and the node's colour to be combined from them.
enum class NodeStep : std::uint8_t { ReflectedNext, RefractedNext, ChildrenDone };

}  // namespace lucentor
