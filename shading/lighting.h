#pragma once

#include "scene/scene.h"

namespace lucentor {

// Secondary and shadow rays start this far off the surface along its normal, so that they do
// not meet the surface they leave.
inline constexpr float kSurfaceOffset = 0.001f;

// Random points in a light's ball are drawn on a grid of this spacing; radii are scaled by
// its reciprocal to count grid steps.
inline constexpr float kLightGridStep = 0.0001f;
inline constexpr float kLightGridScale = 10000.0f;

// The light arriving directly at surface point `point` with normal `normal`, summed over the
// scene's lights: each adds emission * |u . normal| * (1 - blocked) / distance, with one shadow
// ray from just below the surface towards the light (a random point of a spherical light).
// Draws from the calling thread's generator, three numbers per sampling attempt.
Vec3 directLighting(const Scene& scene, const Vec3& point, const Vec3& normal);

// A random point of the spherical light's surface on the side facing `from`: where the line
// of sight towards a random grid point of the light's ball first meets its sphere, or 100
// units along it when `from` is inside the light. Always ends: when no grid point lies in the
// ball (radii below the grid spacing, or not above 0), the centre is aimed at instead.
Vec3 sampleLightPoint(const Light& light, const Vec3& from);

// The shadow ray towards one light from `start` (just below a surface): unit direction towards
// the light's position, or a sampled point of its sphere; with 1 / distance to that point.
struct ShadowRay {
    Ray ray;
    float inverseDistance = 0.0f;
};
ShadowRay shadowRayTo(const Light& light, const Vec3& start);

// Where the shadow rays of surface point `point` start: just below the surface, against the
// normal.
Vec3 shadowStart(const Vec3& point, const Vec3& normal);

// `result` with the share of one light added: emission * |u . normal| * (1 - blocked) /
// distance for its shadow ray, nothing when the light is fully blocked. directLighting's
// step for each light, in its order.
Vec3 withLight(const Vec3& result, const Light& light, const ShadowRay& shadow, float blocked,
               const Vec3& normal);

// The largest float s whose rounded square root is still within `radius` (> 0): a grid point
// lies in the ball exactly when its squared offset length is at most this.
float largestAcceptedSquare(float radius);

}  // namespace lucentor
