#pragma once

#include "scene/scene.h"
#include "shading/random.h"

namespace lucentor {

// Secondary and shadow rays start this far off the surface along its normal, so that they do
// not meet the surface they leave.
inline constexpr float kSurfaceOffset = 0.001f;

// The light arriving directly at surface point `point` with normal `normal`, summed over the
// scene's lights: each adds emission * |u . normal| * (1 - blocked) / distance, with one shadow
// ray from just below the surface towards the light (a random point of a spherical light).
// Draws from `generator`, three numbers per sampling attempt. One ray of the lane kernels.
Vec3 directLighting(const Scene& scene, const Vec3& point, const Vec3& normal,
                    RandomGenerator& generator);

// A random point of the spherical light's surface on the side facing `from`: where the line
// of sight towards a random grid point of the light's ball first meets its sphere, or 100
// units along it when `from` is inside the light. Always ends: when no grid point lies in the
// ball (radii below the grid spacing, or not above 0), the centre is aimed at instead.
Vec3 sampleLightPoint(const Light& light, const Vec3& from, RandomGenerator& generator);

}  // namespace lucentor
