#pragma once

#include "scene/scene.h"

namespace lucentor {

// The presets' two colours of a checkerboard plane's cells, and the shift that keeps the cell
// index of coordinates down to -1000 squares non-negative before it is truncated.
inline constexpr Vec3 kOddCellColor = Checker{}.second;
inline constexpr Vec3 kEvenCellColor = Checker{}.first;
inline constexpr float kCheckerOffset = 1000.0f;

// What a hit looks like to the shading: point, normal, colour and material.
struct Surface {
    Vec3 point;
    Vec3 normal;  // outward for spheres; a plane's stored normal, never turned to the ray
    Vec3 color;
    float material = 0.0f;
};

// A plane whose colour components add up to exactly 0 shows the checkerboard instead.
inline bool isCheckerboard(const Vec3& color) { return color.x + color.y + color.z == 0.0f; }

// The colour of `checker` at a point: squares of its size aligned on its multiples.
Vec3 checkerColor(const Checker& checker, const Vec3& point);

// The surface of the sphere, plane or triangle that `hit` names, at `point`, met by a ray along
// `direction` (which only a triangle's shading normal reads; not for a light). This and the
// functions below are one lane of the lane kernels' shading.
Surface surfaceOf(const HitRecord& hit, const Scene& scene, const Vec3& point,
                  const Vec3& direction = {});

// The refracted direction of `direction` through a surface of refractive index `index` with
// normal `normal` (either side), not normalised; (0, 0, 0) at total internal reflection.
Vec3 refractedDirection(const Vec3& direction, const Vec3& normal, float index);

// The mirror image of `direction` about `normal`.
Vec3 reflectedDirection(const Vec3& direction, const Vec3& normal);

// Fresnel's share of reflected light for a ray of direction `direction` meeting a surface of
// refractive index `index` whose normal has been turned along the ray (direction . normal >= 0).
float fresnelReflectance(const Vec3& direction, const Vec3& turnedNormal, float index);

}  // namespace lucentor
