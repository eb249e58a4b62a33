#pragma once

#include "scene/records.h"

namespace lucentor {

// A refractive sphere lets half of a light through; two of them block it fully.
inline constexpr float kGlassBlocking = 0.5f;

// How much of a light one sphere blocks on a shadow ray: 0, kGlassBlocking or 1. Every sphere
// that the ray's line passes through counts, however far along, unless its centre lies behind
// the origin; a touch (d2 == radiusSquared) counts too. The direction must be unit length.
float blockingAmount(const Ray& ray, const Sphere& sphere);

}  // namespace lucentor
