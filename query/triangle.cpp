// The one-ray form of the triangle test: the lane templates at width 1, and at width 4 for one
// ray against the triangles of a leaf.
#include "query/triangle.h"

#include "query/triangle_lanes.h"
#include "query/triangle_leaves.h"
#include "simd/lanes_sse.h"
#include "simd/one_lane.h"

namespace lucentor {

using scalar::lanesOf;
using scalar::vec3Of;

namespace {

Mask<sse::Lanes> inEveryLane(Mask<scalar::Lanes> m) {
    return maskOf<sse::Lanes>(m.value ? 0xfu : 0u);
}

AxisLanes<sse::Lanes> inEveryLane(const AxisLanes<scalar::Lanes>& axis) {
    return {inEveryLane(axis.isY), inEveryLane(axis.isZ), axis.uniform};
}

// One ray's frame in each of four lanes.
TriangleRays<sse::Lanes> inEveryLane(const TriangleRays<scalar::Lanes>& r) {
    return {inEveryLane(r.kx), inEveryLane(r.ky),
            inEveryLane(r.kz), {r.origin.x.value, r.origin.y.value, r.origin.z.value},
            r.shearX.value,    r.shearY.value,
            r.shearZ.value};
}

static_assert(kWideLeafTriangles == sse::Lanes::kWidth, "a leaf's triangles fill the lanes");

}  // namespace

LeafTriangleHits hitLeafTriangles(const TriangleRays<scalar::Lanes>& r,
                                  const WideTriangleLeaf& leaf, int count) {
    using L = sse::Lanes;
    const auto corner = [&leaf](std::size_t v) {
        return Vec3Lanes<L>{load<L>(leaf.corners[v][0].data()), load<L>(leaf.corners[v][1].data()),
                            load<L>(leaf.corners[v][2].data())};
    };
    const TriangleHitLanes<L> found =
        hitTriangleLanes(inEveryLane(r), Floats<L>(std::numeric_limits<float>::infinity()),
                         lanesBelow<L>(count), corner(0), corner(1), corner(2));
    LeafTriangleHits out;
    out.hits = bitsOf(found.hit);
    store(out.t.data(), found.t);
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
