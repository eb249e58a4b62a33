#include "shading/trace.h"

#include <cassert>
#include <cmath>

#include "shading/lighting.h"
#include "shading/materials.h"

namespace lucentor {
namespace {

// Partly lit directly, partly reflecting: the share `material` of the light is reflected.
Vec3 shadeMirror(const Ray& ray, const Surface& s, float depth, const Scene& scene) {
    const Vec3 direct = directLighting(scene, s.point, s.normal);
    Ray reflected{s.point + s.normal * kSurfaceOffset, reflectedDirection(ray.direction, s.normal)};
    const Vec3 mirrored = trace(reflected, depth + 1.0f, scene);
    const float m = s.material;
    return (direct * s.color) * (1.0f - m) + (s.color * mirrored) * m;
}

// Glass: a Fresnel-weighted blend of the reflected and the refracted ray, with no direct light.
Vec3 shadeDielectric(const Ray& ray, const Surface& s, float depth, const Scene& scene) {
    const Vec3& d = ray.direction;
    const float m = s.material;
    // The refracted ray starts below the surface, whichever side the ray came from.
    Ray refracted{s.point - s.normal * kSurfaceOffset, refractedDirection(d, s.normal, m)};
    const Vec3 turned = dot(d, s.normal) < 0.0f ? -s.normal : s.normal;
    Ray reflected{s.point + turned * kSurfaceOffset, reflectedDirection(d, turned)};
    const float kr = fresnelReflectance(d, turned, m);

    const Vec3 reflectedColor = trace(reflected, depth + 1.0f, scene);
    const Vec3 refractedColor = trace(refracted, depth + 1.0f, scene);
    const Vec3 mixed = (s.color * refractedColor) * (1.0f - kr) + (reflectedColor * s.color) * kr;
    if (dot(d, turned) > 0.0f) return mixed;

    // Reached only when d . n is exactly 0 (or NaN): absorption over the refracted ray's path.
    const float travelled = refracted.t;
    const auto absorbed = [travelled](float mixedChannel, float colorChannel) {
        return mixedChannel * float(std::exp(double(-(1.0f - colorChannel) * travelled)));
    };
    return {absorbed(mixed.x, s.color.x), absorbed(mixed.y, s.color.y),
            absorbed(mixed.z, s.color.z)};
}

}  // namespace

HitShading shadingOf(const Ray& ray, const HitRecord& hit, float depth, const Scene& scene) {
    if (ray.t == kFarDistance) return {};
    // A light is seen at any depth, so this comes before the depth limit.
    if (int(hit.kind) == int(HitKind::Light)) return {HitNeed::Nothing, kLightHitColor, {}};
    if (depth == kMaxDepth) return {};

    const Vec3 point = ray.direction * ray.t + ray.origin;
    const Surface surface = surfaceOf(hit, scene, point);
    const HitNeed need = surface.material == 0.0f ? HitNeed::DirectLight : HitNeed::SecondaryRays;
    return {need, {}, surface};
}

Vec3 shadeSecondary(const Ray& ray, const Surface& surface, float depth, const Scene& scene) {
    if (!(surface.material > 1.0f)) return shadeMirror(ray, surface, depth, scene);
    return shadeDielectric(ray, surface, depth, scene);
}

Vec3 trace(Ray& ray, float depth, const Scene& scene) {
    assert(depth >= 0.0f && depth <= kMaxDepth && depth == std::trunc(depth));
    const HitRecord hit = ray.closestHit(scene);
    const HitShading shading = shadingOf(ray, hit, depth, scene);
    switch (shading.need) {
        case HitNeed::Nothing:
            return shading.color;
        case HitNeed::DirectLight: {
            const Surface& s = shading.surface;
            return s.color * directLighting(scene, s.point, s.normal);
        }
        case HitNeed::SecondaryRays:
            return shadeSecondary(ray, shading.surface, depth, scene);
    }
    return {};
}

}  // namespace lucentor
