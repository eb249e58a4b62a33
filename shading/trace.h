#pragma once

#include "scene/scene.h"
#include "shading/materials.h"

namespace lucentor {

// Any surface seen at this depth is black; a light is still seen. Compared exactly.
inline constexpr float kMaxDepth = 5.0f;

// What a ray that meets a light sphere returns, whatever the light's emission or size.
inline constexpr Vec3 kLightHitColor = {1.0f, 1.0f, 0.8f};

// The linear RGB colour seen along `ray` (t = kFarDistance on entry, left at the hit's
// distance), unclamped. depth is 0 for camera rays and one more for each secondary ray; it
// must be a whole number from 0 to kMaxDepth, or the recursion would step past the limit.
// Draws from the calling thread's generator: a mirror's direct light before its reflected
// ray, a glass surface's reflected ray before its refracted one.
Vec3 trace(Ray& ray, float depth, const Scene& scene);

// trace in two steps, for a caller that interleaves the work of several rays: what a hit
// asks for, then, for a mirror or glass surface, the secondary rays.
enum class HitNeed {
    Nothing,        // `color` is the answer: a miss, a light, or the depth limit
    DirectLight,    // a diffuse surface: surface.color times its direct light
    SecondaryRays,  // a mirror or glass surface: shadeSecondary
};

struct HitShading {
    HitNeed need = HitNeed::Nothing;
    Vec3 color;
    Surface surface;  // the surface hit, unless need is Nothing
};

// What the hit of `ray` (after its closest-hit query gave `hit`) at `depth` asks for.
HitShading shadingOf(const Ray& ray, const HitRecord& hit, float depth, const Scene& scene);

// The colour of a mirror or glass surface hit by `ray` at `depth`, tracing its secondary rays.
Vec3 shadeSecondary(const Ray& ray, const Surface& surface, float depth, const Scene& scene);

}  // namespace lucentor
