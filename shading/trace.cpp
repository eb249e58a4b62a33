// The one-ray form of the ray trees: the lane templates at width 1.
#include "shading/trace.h"

#include <cassert>
#include <cmath>

#include "shading/light_sampling.h"
#include "shading/trace_lanes.h"
#include "simd/one_lane.h"

namespace lucentor {

Vec3 trace(Ray& ray, float depth, const Scene& scene, RandomGenerator& generator) {
    assert(depth >= 0.0f && depth <= kMaxDepth && depth == std::trunc(depth));
    const ShadingScene shading = makeShadingScene(scene);
    scalar::OneLane one{generator};
    scalar::RayLanes rays = scalar::rayLanesOf(ray);
    RayTreeStack<scalar::Lanes> stack{};
    const Vec3 color =
        scalar::vec3Of(traceLanes(shading, rays, scalar::kOneLane, int(depth), one.lane, stack));
    ray.t = rays.t.value;
    return color;
}

}  // namespace lucentor
