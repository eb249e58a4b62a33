// The one-ray form of the triangle test: the lane templates at width 1.
#include "query/triangle.h"

#include "query/triangle_lanes.h"
#include "simd/one_lane.h"

namespace lucentor {

using scalar::lanesOf;
using scalar::vec3Of;

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
