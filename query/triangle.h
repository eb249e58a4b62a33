#pragma once

#include <array>
#include <span>

#include "query/simd_path.h"
#include "scene/records.h"

namespace lucentor {

// The one-ray form of the watertight ray-triangle test (query/triangle_lanes.h, where the
// templates over the lanes explain why no ray passes between two triangles that share an edge
// or a vertex). Baseline code: any translation unit may include it.

// What the triangle test tells one ray.
struct TriangleHit {
    bool hit = false;   // the ray meets the triangle strictly between 0 and its t
    bool back = false;  // where hit: the ray meets the side from which v0, v1, v2 turn
                        // clockwise, that is, it runs along (v1 - v0) × (v2 - v0)
    float t = 0.0f;     // the distance where hit, the ray's t otherwise
    std::array<float, 3> barycentrics{};  // where hit: the weights of v0, v1 and v2
};

// The test of the triangle (v0, v1, v2) against the ray and its t, which it leaves unchanged.
// Any direction but zero will do. A triangle with two equal vertices is never hit; one whose
// three distinct vertices lie exactly in a line may be, as the sliver that rounding makes of it
// in the ray's frame, so meshes drop such triangles when they are read.
TriangleHit hitTriangle(const Ray& ray, const Vec3& v0, const Vec3& v1, const Vec3& v2);

// The barycentric interpolation at a hit of a vector given at each vertex (a normal, to be
// normalised, or a colour).
Vec3 interpolated(const TriangleHit& hit, const Vec3& at0, const Vec3& at1, const Vec3& at2);

// The unit normal on the side from which v0, v1, v2 turn counter-clockwise; NaN for a triangle
// of zero area.
Vec3 geometricNormal(const Vec3& v0, const Vec3& v1, const Vec3& v2);

// hitTriangle for every ray of `rays` into the hit of the same place, on the lanes of `path`,
// which the processor must have: for the tests and benchmarks of each width.
void hitTriangles(SimdPath path, std::span<const Ray> rays, const Vec3& v0, const Vec3& v1,
                  const Vec3& v2, std::span<TriangleHit> hits);

// The same on each wider instruction set, in its kernel's translation unit.
namespace avx2 {
void hitTriangles(std::span<const Ray> rays, const Vec3& v0, const Vec3& v1, const Vec3& v2,
                  std::span<TriangleHit> hits);
}  // namespace avx2

namespace avx512 {
void hitTriangles(std::span<const Ray> rays, const Vec3& v0, const Vec3& v1, const Vec3& v2,
                  std::span<TriangleHit> hits);
}  // namespace avx512

}  // namespace lucentor
