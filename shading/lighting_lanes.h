#pragma once

// Direct lighting and the light sampler, written once over the lane type (simd/lane_math.h);
// the one-ray forms (shading/lighting.h) are its width-1 instances. Templates only.

#include <cstddef>

#include "scene/scene.h"
#include "shading/lane_queries.h"
#include "shading/light_sampling.h"
#include "shading/lighting.h"
#include "simd/lane_math.h"

namespace lucentor {

template <class L>
inline Floats<L> gridOffsets(const LightGrid& grid, Ints<L> k) {
    return (toFloats(k) - grid.halfWidth) * kLightGridStep;
}

// A random grid point of the ball in each lane of `lanes`, relative to its centre, by
// rejection: about two attempts on average, since the ball fills 52 % of its cube. The lanes
// draw in lock-step, each from its own generator, x then y then z; a lane that has accepted
// waits, drawing nothing, until the last one accepts.
template <class L>
inline Vec3Lanes<L> ballOffsets(const LightGrid& grid, Mask<L> lanes, Generators<L>& generators) {
    Vec3Lanes<L> offset{};
    if (grid.size == 0) return offset;
    const Divisors<L> size = divisorsOf(intsOf<L>(grid.size));
    Mask<L> pending = lanes;
    while (any(pending)) {
        // Three separate statements fix the draw order: x, then y, then z.
        const Floats<L> x = gridOffsets(grid, remainderOf(draw(generators, pending), size));
        const Floats<L> y = gridOffsets(grid, remainderOf(draw(generators, pending), size));
        const Floats<L> z = gridOffsets(grid, remainderOf(draw(generators, pending), size));
        const Mask<L> accepted = pending & !(x * x + y * y + z * z > grid.largestSquare);
        offset = select(accepted, Vec3Lanes<L>{x, y, z}, offset);
        pending = pending & !accepted;
    }
    return offset;
}

// A random point of the spherical light's surface on the side facing `from`, in each lane of
// `lanes`: where the line of sight towards a random grid point of the light's ball first
// meets its sphere, or 100 units along it when `from` is inside the light.
template <class L>
inline Vec3Lanes<L> sampleLightPoints(const Light& light, const LightGrid& grid,
                                      const Vec3Lanes<L>& from, Mask<L> lanes,
                                      Generators<L>& generators) {
    const Vec3Lanes<L> center = lanesOf<L>(light.position);
    const Vec3Lanes<L> target = center + ballOffsets(grid, lanes, generators);
    const Vec3Lanes<L> v = target - from;
    const Vec3Lanes<L> u = v * (1.0f / length(v));

    // Near intersection of the line of sight with the light's sphere. The target lies in the
    // ball, so d2 exceeds radiusSquared only by rounding: at a grazing line of sight, or for
    // any line at all when the radius is tiny. The root is then 0, the tangent point, where
    // a NaN would throw the point 100 units away.
    const Vec3Lanes<L> toCenter = center - from;
    const Floats<L> tca = dot(toCenter, u);
    const Vec3Lanes<L> offAxis = toCenter - u * tca;
    const Floats<L> d2 = dot(offAxis, offAxis);
    const Floats<L> t0 = tca - sqrtOfRounded(light.radiusSquared - d2);
    const Floats<L> distance = select((t0 > 0.0f) & (t0 < kFarDistance), t0, kFarDistance);
    return from + u * distance;
}

// The light arriving directly at each surface point of `lanes`, summed over the scene's lights
// in their order: each adds emission * |u . normal| * (1 - blocked) / distance, with one
// shadow ray from just below the surface towards the light (a random point of a spherical
// light), unless the light is fully blocked. The shadow rays start kSurfaceOffset against
// `below` (the normal itself on spheres and planes).
template <class L>
inline Vec3Lanes<L> directLightings(const ShadingScene& shading, const Vec3Lanes<L>& point,
                                    const Vec3Lanes<L>& normal, const Vec3Lanes<L>& below,
                                    Mask<L> lanes, Generators<L>& generators) {
    const Scene& scene = *shading.scene;
    Vec3Lanes<L> result{};
    const Vec3Lanes<L> start = point - below * kSurfaceOffset;
    for (int i = 0; i < scene.lightCount; ++i) {
        const Light& light = *scene.lights[std::size_t(i)];
        const LightGrid& grid = shading.lightGrids[std::size_t(i)];
        const Vec3Lanes<L> target = light.radius > 0.0f
                                        ? sampleLightPoints(light, grid, start, lanes, generators)
                                        : lanesOf<L>(light.position);
        const Vec3Lanes<L> toLight = target - start;
        const Floats<L> inverseDistance = 1.0f / length(toLight);
        const RayLanes<L> shadow{start, toLight * inverseDistance, 0.0f};
        const Floats<L> blocked = occlusions(shading, shadow, lanes);
        Floats<L> factor = dot(shadow.direction, normal) * (1.0f - blocked);
        // Lit alike from either side of the normal.
        factor = select(factor < 0.0f, -factor, factor);
        const Vec3Lanes<L> added = result + (lanesOf<L>(light.emission) * inverseDistance) * factor;
        result = select(lanes & (blocked < 1.0f), added, result);
    }
    return result;
}

}  // namespace lucentor
