// The one-ray forms of the materials: the lane templates at width 1.
#include "shading/materials.h"

#include "shading/materials_lanes.h"
#include "simd/one_lane.h"

namespace lucentor {

using scalar::lanesOf;
using scalar::vec3Of;

Vec3 checkerColor(const Checker& checker, const Vec3& point) {
    return vec3Of(checkerColors(lanesOf(point), checkersOf<scalar::Lanes>(checker)));
}

Surface surfaceOf(const HitRecord& hit, const Scene& scene, const Vec3& point,
                  const Vec3& direction) {
    const SurfaceLanes<scalar::Lanes> s = surfacesOf(
        scene, intsOf<scalar::Lanes>(int(hit.kind)), intsOf<scalar::Lanes>(int(hit.index)),
        scalar::kOneLane, lanesOf(point), lanesOf(direction));
    // An emissive triangle is seen in its emission colour.
    const Vec3 color = vec3Of(select(s.emissive, s.emission, s.color));
    return {vec3Of(s.point), vec3Of(s.normal), color, s.material.value};
}

Vec3 refractedDirection(const Vec3& direction, const Vec3& normal, float index) {
    return vec3Of(refractedDirections(lanesOf(direction), lanesOf(normal), index));
}

Vec3 reflectedDirection(const Vec3& direction, const Vec3& normal) {
    return vec3Of(reflectedDirections(lanesOf(direction), lanesOf(normal)));
}

float fresnelReflectance(const Vec3& direction, const Vec3& turnedNormal, float index) {
    return fresnelReflectances(lanesOf(direction), lanesOf(turnedNormal), index).value;
}

}  // namespace lucentor
