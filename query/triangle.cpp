// The one-ray form of the triangle test: the lane templates at width 1, and at width 4 for one
// ray against the triangles of a leaf.
#include "query/triangle.h"

#include <cstddef>
#include <limits>

#include "query/triangle_lanes.h"
#include "query/triangle_leaves.h"
#include "simd/lanes_sse.h"
#include "simd/one_lane.h"

namespace lucentor {

using scalar::lanesOf;
using scalar::vec3Of;

namespace {

// An axis of a frame whose coordinates are already permuted along the ray's kx, ky and kz:
// every lane takes it whole, with no choice left to make per leaf.
AxisLanes<sse::Lanes> frameAxis(int axis) {
    return {maskOf<sse::Lanes>(axis == 1 ? 0xfu : 0u), maskOf<sse::Lanes>(axis == 2 ? 0xfu : 0u),
            axis};
}

// One ray's frame in each of four lanes, for corners read along its axes (cornerOf).
TriangleRays<sse::Lanes> inEveryLane(const TriangleRays<scalar::Lanes>& r) {
    return {frameAxis(0),   frameAxis(1),
            frameAxis(2),   {r.origin.x.value, r.origin.y.value, r.origin.z.value},
            r.shearX.value, r.shearY.value,
            r.shearZ.value};
}

// Corner v of a leaf's four triangles with its components in the ray's kx, ky, kz order: the
// floats componentOf would choose, read straight from their rows.
Vec3Lanes<sse::Lanes> cornerOf(const WideTriangleLeaf& leaf, std::size_t v,
                               const TriangleRays<scalar::Lanes>& r) {
    const auto& rows = leaf.corners[v];
    return {load<sse::Lanes>(rows[std::size_t(r.kx.uniform)].data()),
            load<sse::Lanes>(rows[std::size_t(r.ky.uniform)].data()),
            load<sse::Lanes>(rows[std::size_t(r.kz.uniform)].data())};
}

static_assert(kWideLeafTriangles == sse::Lanes::kWidth, "a leaf's triangles fill the lanes");

}  // namespace

LeafTriangleHits hitLeafTriangles(const TriangleRays<scalar::Lanes>& r,
                                  const WideTriangleLeaf& leaf, int count) {
    using L = sse::Lanes;
    const Floats<L> ahead(std::numeric_limits<float>::infinity());
    const TriangleCandidates<L> found =
        triangleCandidates(inEveryLane(r), ahead, lanesBelow<L>(count), cornerOf(leaf, 0, r),
                           cornerOf(leaf, 1, r), cornerOf(leaf, 2, r));
    LeafTriangleHits out;
    // Lanes left out are never hit: most leaves a ray enters end here, without the division.
    if (bitsOf(found.candidate) == 0) return out;
    const TriangleHitLanes<L> hits = triangleHitsOf(found, ahead);
    out.hits = bitsOf(hits.hit);
    store(out.t.data(), hits.t);
    return out;
}

TriangleHit hitTriangle(const Ray& ray, const Vec3& v0, const Vec3& v1, const Vec3& v2) {
    TriangleHit hit;
    hitTriangleGroup<scalar::Lanes>({&ray, 1}, 0, v0, v1, v2, {&hit, 1});
    return hit;
}

Vec3 interpolated(const TriangleHit& hit, const Vec3& at0, const Vec3& at1, const Vec3& at2) {
    const TriangleHitLanes<scalar::Lanes> lane{
        scalar::kOneLane,    {hit.back},          hit.t,
        hit.barycentrics[0], hit.barycentrics[1], hit.barycentrics[2]};
    return vec3Of(interpolated(lane, lanesOf(at0), lanesOf(at1), lanesOf(at2)));
}

Vec3 geometricNormal(const Vec3& v0, const Vec3& v1, const Vec3& v2) {
    return vec3Of(geometricNormals(lanesOf(v0), lanesOf(v1), lanesOf(v2)));
}

void hitTriangles(SimdPath path, std::span<const Ray> rays, const Vec3& v0, const Vec3& v1,
                  const Vec3& v2, std::span<TriangleHit> hits) {
    switch (path) {
        case SimdPath::Avx512:
            avx512::hitTriangles(rays, v0, v1, v2, hits);
            return;
        case SimdPath::Avx2:
            avx2::hitTriangles(rays, v0, v1, v2, hits);
            return;
        case SimdPath::Scalar:
            break;
    }
    hitTrianglesOfLanes<scalar::Lanes>(rays, v0, v1, v2, hits);
}

}  // namespace lucentor
