// The one-ray form of the path integrator: the lane templates at width 1.
#include "shading/path.h"

#include "shading/path_lanes.h"
#include "simd/one_lane.h"

namespace lucentor {

Vec3 tracePath(const ShadingScene& shading, const Ray& ray, RandomGenerator& generator) {
    scalar::OneLane one{generator};
    return scalar::vec3Of(
        tracePathLanes(shading, scalar::rayLanesOf(ray), scalar::kOneLane, one.lane));
}

}  // namespace lucentor
