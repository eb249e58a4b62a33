#include "query/closest_hit.h"

#include <cmath>

#include "query/geometry.h"
#include "query/traversal.h"
#include "query/wide_walk.h"
#include "scene/scene.h"

namespace lucentor {
namespace {

// The slot in the scene's leaves that holds `leaf`, the highest if several did, or -1. Each
// leaf stands in exactly one slot, the one addSphere gave it. A scan: only walks over the
// BvhNode tree need it, and a scene's queries walk that tree only when it has a single leaf.
int slotHolding(const Scene& scene, const BvhNode* leaf) {
    for (int k = int(scene.leaves.size()) - 1; k >= 0; --k) {
        if (scene.leaves[std::size_t(k)] == leaf) return k;
    }
    return -1;
}

// The name of the sphere or triangle the ray hits (see WideHit), found through the
// hierarchy, or -1; ray.t is lowered to the hit. The walk takes the scene's wide tree or
// packed copy of the tree when it was made for this root, whose leaves carry their slots.
int closestTreeHit(const Scene& scene, Ray& ray) {
    BvhNode* const root = scene.root;
    if (isWideTreeOf(scene.wideTree, root)) {
        WideHit hit{ray.t, -1};
        closestWideHit(scene.wideTree, 0, wideRayOf(ray), hit);
        ray.t = hit.t;
        return hit.slot;
    }
    if (root == nullptr) return -1;
    const Vec3 inverse = reciprocal(ray.direction);
    if (!spanHits(nodeSpan(ray, inverse, *root))) return -1;
    if (isCopyOf(scene.packedTree, root)) {
        const LeafTag* const tag = closestPackedLeaf(scene.packedTree, ray, inverse);
        return tag == nullptr ? -1 : slotOf(*tag);
    }
    const BvhNode* const leaf = closestLeaf(root, 0, ray, inverse);
    return leaf == nullptr ? -1 : slotHolding(scene, leaf);
}

HitRecord recordOf(HitKind kind, int index) { return {float(kind), float(index), 0.0f}; }

}  // namespace

float planeDistance(const Ray& ray, const Plane& plane) {
    const float den = dot(plane.normal, ray.direction);
    if (!(den > kParallelEpsilon)) return 0.0f;
    return dot(ray.origin - plane.point, plane.normal) / den;
}

float geometricPlaneDistance(const Ray& ray, const Plane& plane) {
    const float den = dot(plane.normal, ray.direction);
    if (!(std::fabs(den) > kParallelEpsilon)) return 0.0f;
    return dot(plane.point - ray.origin, plane.normal) / den;
}

float planeDistance(const Ray& ray, const Plane& plane, PlaneRule rule) {
    return rule == PlaneRule::Geometric ? geometricPlaneDistance(ray, plane)
                                        : planeDistance(ray, plane);
}

// The record names whatever lowered t last. Each stage competes against the t left by the
// ones before it and accepts only strictly nearer hits, so on equal distances a sphere beats
// a plane, a plane beats a light, and a lower slot beats a higher one.
HitRecord Ray::closestHit(const Scene& scene) {
    HitRecord record;
    float lastT = t;

    if (const int k = closestTreeHit(scene, *this); k >= kTriangleHitBase) {
        record = recordOf(HitKind::Triangle, k - kTriangleHitBase);
        lastT = t;
    } else if (k >= 0) {
        record = recordOf(HitKind::Sphere, k);
        lastT = t;
    }

    for (int i = 0; i < scene.planeCount; ++i) {
        const float tp = planeDistance(*this, *scene.planes[i], scene.planeRule);
        if (tp > 0.0f && tp < t) t = tp;
        if (t != lastT) {
            record = recordOf(HitKind::Plane, i);
            lastT = t;
        }
    }

    for (int j = 0; j < scene.lightCount; ++j) {
        const Light& light = *scene.lights[j];
        if (light.radius == 0.0f) continue;  // point lights are never hit
        hitSphere(*this, light.position, light.radiusSquared);
        if (t != lastT) {
            record = recordOf(HitKind::Light, j);
            lastT = t;
        }
    }
    return record;
}

}  // namespace lucentor
