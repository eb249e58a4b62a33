// The one-ray forms of the lighting: the lane templates at width 1.
#include "shading/lighting.h"

#include "shading/light_sampling.h"
#include "shading/lighting_lanes.h"
#include "simd/one_lane.h"

namespace lucentor {

using scalar::lanesOf;
using scalar::vec3Of;

Vec3 directLighting(const Scene& scene, const Vec3& point, const Vec3& normal,
                    RandomGenerator& generator) {
    const ShadingScene shading = makeShadingScene(scene);
    scalar::OneLane one{generator};
    return vec3Of(directLightings(shading, lanesOf(point), lanesOf(normal), lanesOf(normal),
                                  scalar::kOneLane, one.lane));
}

Vec3 sampleLightPoint(const Light& light, const Vec3& from, RandomGenerator& generator) {
    scalar::OneLane one{generator};
    return vec3Of(sampleLightPoints(light, makeLightGrid(light.radius), lanesOf(from),
                                    scalar::kOneLane, one.lane));
}

}  // namespace lucentor
