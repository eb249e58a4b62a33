#pragma once

#include "query/geometry.h"
#include "scene/records.h"
#include "scene/wide_tree.h"

namespace lucentor {

// A ray as the wide walks take it: its direction's reciprocal is taken once per query.
struct WideRay {
    Vec3 origin;
    Vec3 direction;  // unit length, as for every query
    Vec3 inverse;
};

constexpr WideRay wideRayOf(const Ray& ray) {
    return {ray.origin, ray.direction, reciprocal(ray.direction)};
}

// The nearest sphere or triangle hit so far: its distance (the ray's t while none is) and
// name (a sphere's slot, or kTriangleHitBase plus a triangle's index), or -1.
struct WideHit {
    float t = kFarDistance;
    int slot = -1;
};

// Takes in the spheres below `node`'s children (node 0 for the whole tree): a sphere whose near
// intersection lies strictly between 0 and hit.t replaces the hit, and so does one at exactly
// hit.t with a lower slot than the hit's. So the result is the least distance and, among equal
// ones, the lowest slot, in whatever order spheres are met: the walks of every width agree.
// A sphere counts only if its leaf's box is hit and its intersection lies no nearer than the
// distance at which the ray enters that box. That makes the set of spheres that count
// independent of the order of the walk, since a box's entry is never below that of a box
// inside it, so no walk cuts off a sphere that counts. The boxes are widened so that nearly
// every sphere the test accepts counts; where the rounding of a grazing hit's root strays
// further (rays from far away; a few rays a pass at a million spheres), it does not, on every
// path alike.
void closestWideHit(const WideTree& tree, int node, const WideRay& ray, WideHit& hit);

// `sum` plus the blocking of the spheres and triangles below `node`'s children, as the
// occlusion query counts it (0, kGlassBlocking or 1 a sphere; 0, kGlassTriangleBlocking or 1 a
// triangle met ahead), clamped to 1. The amounts are multiples of 0.25, whose sums are exact in
// any order.
float wideOcclusion(const WideTree& tree, int node, const WideRay& ray, float sum);

// One ray's tests of triangle leaf `child` (`count` as its node names it), whose box it enters
// at `entry`, made as the one-ray walks make them: for the packet walks' leaves that a single
// lane reaches. This one lowers `hit` as closestWideHit does.
void testTriangleLeafAlone(const WideTree& tree, const Vec3& origin, const Vec3& direction,
                           std::int32_t child, std::uint8_t count, float entry, WideHit& hit);

// Whether one of the leaf's triangles lies short of t: whether the test above would lower it
// from no name.
bool triangleLeafBlocksAlone(const WideTree& tree, const Vec3& origin, const Vec3& direction,
                             std::int32_t child, std::uint8_t count, float entry, float t);

// The leaf's blocking as wideOcclusion counts it.
float triangleLeafBlockingAlone(const WideTree& tree, const Vec3& origin, const Vec3& direction,
                                std::int32_t child, std::uint8_t count);

}  // namespace lucentor
