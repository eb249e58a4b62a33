#pragma once

#include "scene/records.h"
#include "scene/scene.h"

namespace lucentor {

// A plane is met only by rays whose direction has more than this component along its normal.
inline constexpr float kParallelEpsilon = 0.001f;

// The distance at which the plane test meets a plane, or a value not above 0 (possibly NaN)
// for none. The numerator is (origin - point) . normal, so the plane is met at its mirror
// image through the ray's origin, and only by rays travelling along its normal: the scene
// presets are laid out for exactly this rule.
float planeDistance(const Ray& ray, const Plane& plane);

// The same under the geometric rule: where the ray meets the plane itself, from either side
// (the direction's component along the normal beyond kParallelEpsilon either way).
float geometricPlaneDistance(const Ray& ray, const Plane& plane);

// The plane test of `rule`.
float planeDistance(const Ray& ray, const Plane& plane, PlaneRule rule);

}  // namespace lucentor
