#pragma once

// The ray-triangle test written once over a lane type (simd/lanes.h), after Woop, Benthin and
// Wald, "Watertight Ray/Triangle Intersection" (JCGT 2013); query/triangle.h holds its one-ray
// form. Templates only (see simd/lane_math.h).
//
// Each ray is turned, once, into a frame where it starts at the origin and runs along +z: its
// axes are permuted so that z is the one its direction leans on most (x and y swapped where
// that component is negative, which keeps the winding), and sheared so that the direction
// becomes (0, 0, 1). A vertex's place in that frame depends on the vertex and the ray alone, so
// a vertex shared by two triangles lands on the same floats in both. The edge function of the
// edge from p to q, p.x * q.y - p.y * q.x, is then the same value with the opposite sign for the
// two triangles that share the edge (a product's value does not depend on its operands' order,
// and rounding is symmetric about 0), and its sign is never wrong: rounding is monotonic, so
// p.x * q.y > p.y * q.x gives rounded products in the same order or equal. Only a zero is
// unsure, and there the products are taken again in double precision, where they are exact,
// so the sign is exactly that of the sheared vertices. Each edge then parts the plane exactly,
// the same way for both of its triangles, and a ray through a closed mesh cannot pass between
// them. Both windings are accepted: glass meshes are met from inside as well.
//
// Every lane performs the same float operations in the same order (the build forbids contracting
// them into fused multiply-adds) and the double-precision step lane by lane alike, so every width
// gives the same bits.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "query/triangle.h"
#include "simd/lane_math.h"

namespace lucentor {

// One of the axes x, y and z in each lane.
template <class L>
struct AxisLanes {
    Mask<L> isY;
    Mask<L> isZ;       // x where neither is set
    int uniform = -1;  // 0, 1 or 2 where every lane has that axis (x, y or z), else -1
};

// The axis every lane of `isY` and `isZ` has, or -1.
template <class L>
inline int uniformAxis(Mask<L> isY, Mask<L> isZ) {
    constexpr std::uint32_t kAll =
        L::kWidth >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << L::kWidth) - 1;
    const std::uint32_t y = bitsOf(isY);
    const std::uint32_t z = bitsOf(isZ);
    if ((y != 0 && y != kAll) || (z != 0 && z != kAll)) return -1;
    return z != 0 ? 2 : (y != 0 ? 1 : 0);
}

template <class L>
inline AxisLanes<L> axisLanesOf(Ints<L> axis) {
    const Mask<L> isY = axis == intsOf<L>(1);
    const Mask<L> isZ = axis == intsOf<L>(2);
    if constexpr (L::kWidth <= 4) return {isY, isZ, uniformAxis<L>(isY, isZ)};
    return {isY, isZ};
}

// The axis after `axis` in the cycle x, y, z.
template <class L>
inline Ints<L> nextAxis(Ints<L> axis) {
    return select(axis == intsOf<L>(2), intsOf<L>(0), axis + intsOf<L>(1));
}

// Up to four lanes (one ray, or one ray in every lane against a leaf's triangles), where every
// lane has the same axis, the component is taken whole: the same floats as the lane-by-lane
// choice, without it. The packets' wider lanes lost by it (2 % of their rays a second at 10,000
// triangles, 9 % at a million) and always choose lane by lane.
template <class L>
inline Floats<L> componentOf(const Vec3Lanes<L>& v, const AxisLanes<L>& axis) {
    if constexpr (L::kWidth <= 4) {
        if (axis.uniform == 0) return v.x;
        if (axis.uniform == 1) return v.y;
        if (axis.uniform == 2) return v.z;
    }
    return select(axis.isZ, v.z, select(axis.isY, v.y, v.x));
}

// Rays as the triangle test takes them, worked out once per ray.
template <class L>
struct TriangleRays {
    AxisLanes<L> kx;
    AxisLanes<L> ky;
    AxisLanes<L> kz;      // the axis of the direction's largest magnitude (z on a tie with it)
    Vec3Lanes<L> origin;  // the origin's coordinates along kx, ky and kz
    Floats<L> shearX;     // direction[kx] / direction[kz]
    Floats<L> shearY;     // direction[ky] / direction[kz]
    Floats<L> shearZ;     // 1 / direction[kz]
};

template <class L>
inline TriangleRays<L> triangleRaysOf(const Vec3Lanes<L>& origin, const Vec3Lanes<L>& direction) {
    const Floats<L> ax = abs(direction.x);
    const Floats<L> ay = abs(direction.y);
    const Floats<L> az = abs(direction.z);
    const Mask<L> xLargest = (ax > ay) & (ax > az);
    const Mask<L> yLargest = (ay > az) & !xLargest;
    const Ints<L> z = select(xLargest, intsOf<L>(0), select(yLargest, intsOf<L>(1), intsOf<L>(2)));
    const Ints<L> x = nextAxis(z);
    const Ints<L> y = nextAxis(x);
    const AxisLanes<L> kz = axisLanesOf(z);
    // A direction running down its axis would mirror the frame: x and y swap to keep the winding.
    const Mask<L> down = componentOf(direction, kz) < 0.0f;
    const AxisLanes<L> kx = axisLanesOf(select(down, y, x));
    const AxisLanes<L> ky = axisLanesOf(select(down, x, y));
    const Floats<L> dz = componentOf(direction, kz);
    return {kx,
            ky,
            kz,
            {componentOf(origin, kx), componentOf(origin, ky), componentOf(origin, kz)},
            componentOf(direction, kx) / dz,
            componentOf(direction, ky) / dz,
            1.0f / dz};
}

// A vertex in each lane's ray frame: x and y across the ray, and z, the distance along the ray
// to the vertex's plane across kz, which the edge functions weight into the hit's distance.
template <class L>
inline Vec3Lanes<L> shearedVertex(const TriangleRays<L>& r, const Vec3Lanes<L>& vertex) {
    const Floats<L> x = componentOf(vertex, r.kx) - r.origin.x;
    const Floats<L> y = componentOf(vertex, r.ky) - r.origin.y;
    const Floats<L> z = componentOf(vertex, r.kz) - r.origin.z;
    return {x - r.shearX * z, y - r.shearY * z, r.shearZ * z};
}

// Twice the signed area of the triangle (ray, p, q) seen along the ray: positive where p then q
// turn counter-clockwise about it.
template <class L>
inline Floats<L> edgeFunction(const Vec3Lanes<L>& p, const Vec3Lanes<L>& q) {
    return p.x * q.y - p.y * q.x;
}

// The edge functions of a triangle (a, b, c): each the weight of the vertex opposite its edge,
// over their sum.
template <class L>
struct EdgeLanes {
    Floats<L> u;  // edge c to b, opposite a
    Floats<L> v;  // edge a to c, opposite b
    Floats<L> w;  // edge b to a, opposite c
};

// edgeFunction of one lane's floats with exact products: a float has 24 significant bits, so
// the product of two has at most 48 and fits a double's 53. The difference is rounded once,
// never to 0 unless it is 0, and narrowing keeps its sign (short of underflowing float's
// smallest magnitude, near 1e-45).
template <class L>
inline float edgeFunctionInDouble(const FloatArray<L> (&p)[2], const FloatArray<L> (&q)[2],
                                  std::size_t lane) {
    return float(double(p[0].values[lane]) * double(q[1].values[lane]) -
                 double(p[1].values[lane]) * double(q[0].values[lane]));
}

// The edge functions of the lanes of `lanes` again with exact products: their signs where a
// float result was 0.
template <class L>
inline EdgeLanes<L> edgesInDouble(const EdgeLanes<L>& edges, std::uint32_t lanes,
                                  const Vec3Lanes<L>& a, const Vec3Lanes<L>& b,
                                  const Vec3Lanes<L>& c) {
    const FloatArray<L> pa[2] = {arrayOf(a.x), arrayOf(a.y)};
    const FloatArray<L> pb[2] = {arrayOf(b.x), arrayOf(b.y)};
    const FloatArray<L> pc[2] = {arrayOf(c.x), arrayOf(c.y)};
    FloatArray<L> u = arrayOf(edges.u);
    FloatArray<L> v = arrayOf(edges.v);
    FloatArray<L> w = arrayOf(edges.w);
    for (std::uint32_t bits = lanes; bits != 0; bits &= bits - 1) {
        const auto k = std::size_t(__builtin_ctz(bits));
        u.values[k] = edgeFunctionInDouble<L>(pc, pb, k);
        v.values[k] = edgeFunctionInDouble<L>(pa, pc, k);
        w.values[k] = edgeFunctionInDouble<L>(pb, pa, k);
    }
    return {load<L>(u.values.data()), load<L>(v.values.data()), load<L>(w.values.data())};
}

// What the triangle test tells each lane.
template <class L>
struct TriangleHitLanes {
    Mask<L> hit;   // the ray meets the triangle strictly between 0 and its t
    Mask<L> back;  // where hit: the ray meets the side from which v0, v1, v2 turn clockwise,
                   // that is, it runs along (v1 - v0) × (v2 - v0)
    Floats<L> t;   // the distance where hit, the ray's t elsewhere
    Floats<L> b0;  // where hit: the barycentric weights of v0, v1 and v2, summing to 1 up to
    Floats<L> b1;  // rounding
    Floats<L> b2;
};

// What the triangle test knows before its one division: the edge functions, their sum and the
// distance scaled by it, and the lanes that may yet be hit.
template <class L>
struct TriangleCandidates {
    EdgeLanes<L> edges;
    Floats<L> det;
    Floats<L> scaledT;
    Mask<L> candidate;
};

// The first stage of hitTriangleLanes: the lanes of `active` whose ray passes through the
// triangle within (0, t) up to the rounding of the scaled comparison. Lanes left out are
// never hit, so a caller may skip the division where none remains.
template <class L>
inline TriangleCandidates<L> triangleCandidates(const TriangleRays<L>& r, Floats<L> t,
                                                Mask<L> active, const Vec3Lanes<L>& v0,
                                                const Vec3Lanes<L>& v1, const Vec3Lanes<L>& v2) {
    const Vec3Lanes<L> a = shearedVertex(r, v0);
    const Vec3Lanes<L> b = shearedVertex(r, v1);
    const Vec3Lanes<L> c = shearedVertex(r, v2);
    EdgeLanes<L> edges{edgeFunction(c, b), edgeFunction(a, c), edgeFunction(b, a)};
    const std::uint32_t unsure =
        bitsOf(active & ((edges.u == 0.0f) | (edges.v == 0.0f) | (edges.w == 0.0f)));
    if (unsure != 0) edges = edgesInDouble(edges, unsure, a, b, c);

    // Inside or on the boundary: no two edge functions of opposite signs.
    const Mask<L> negative = (edges.u < 0.0f) | (edges.v < 0.0f) | (edges.w < 0.0f);
    const Mask<L> positive = (edges.u > 0.0f) | (edges.v > 0.0f) | (edges.w > 0.0f);
    const Floats<L> det = edges.u + edges.v + edges.w;
    // The distance times det, compared with the ray's interval times det's magnitude, so that
    // no division is needed to refuse a lane.
    const Floats<L> scaledT = edges.u * a.z + edges.v * b.z + edges.w * c.z;
    const Floats<L> forwardT = select(det < 0.0f, -scaledT, scaledT);
    const Mask<L> within = (forwardT > 0.0f) & (t * abs(det) > forwardT);
    return {edges, det, scaledT, active & !(negative & positive) & !(det == 0.0f) & within};
}

// The second stage: the hits among the candidates, with their distances and weights.
template <class L>
inline TriangleHitLanes<L> triangleHitsOf(const TriangleCandidates<L>& found, Floats<L> t) {
    const Floats<L> inverse = 1.0f / found.det;
    const Floats<L> distance = found.scaledT * inverse;
    // The scaled comparison was rounded: the quotient itself keeps the interval exact.
    const Mask<L> hit = found.candidate & (distance > 0.0f) & (t > distance);
    return {hit,
            hit & (found.det < 0.0f),
            select(hit, distance, t),
            found.edges.u * inverse,
            found.edges.v * inverse,
            found.edges.w * inverse};
}

// The test of the triangle (v0, v1, v2) for the lanes of `active`, whose rays reach as far as
// `t`. A triangle with two equal vertices is never hit: its edge functions cancel exactly. Three
// distinct vertices in a line are rounded into a sliver in the ray's frame, which rays very near
// the line can hit (query/triangle.h).
template <class L>
inline TriangleHitLanes<L> hitTriangleLanes(const TriangleRays<L>& r, Floats<L> t, Mask<L> active,
                                            const Vec3Lanes<L>& v0, const Vec3Lanes<L>& v1,
                                            const Vec3Lanes<L>& v2) {
    return triangleHitsOf(triangleCandidates(r, t, active, v0, v1, v2), t);
}

// The barycentric interpolation of one value given at each vertex.
template <class L>
inline Floats<L> interpolated(const TriangleHitLanes<L>& hit, FloatsOf<L> at0, FloatsOf<L> at1,
                              FloatsOf<L> at2) {
    return hit.b0 * at0 + hit.b1 * at1 + hit.b2 * at2;
}

// The same for a vector given at each vertex (a normal, to be normalised by the caller, or a
// colour).
template <class L>
inline Vec3Lanes<L> interpolated(const TriangleHitLanes<L>& hit, const Vec3Lanes<L>& at0,
                                 const Vec3Lanes<L>& at1, const Vec3Lanes<L>& at2) {
    return {interpolated(hit, at0.x, at1.x, at2.x), interpolated(hit, at0.y, at1.y, at2.y),
            interpolated(hit, at0.z, at1.z, at2.z)};
}

// The unit normal of the triangle's plane on the side from which v0, v1, v2 turn
// counter-clockwise; NaN for a triangle of zero area.
template <class L>
inline Vec3Lanes<L> geometricNormals(const Vec3Lanes<L>& v0, const Vec3Lanes<L>& v1,
                                     const Vec3Lanes<L>& v2) {
    const Vec3Lanes<L> n = cross(v1 - v0, v2 - v0);
    const Floats<L> size = length(n);
    return {n.x / size, n.y / size, n.z / size};
}

// hitTriangleLanes for rays[first] onwards, as many as there are lanes or rays left, into the
// hits of the same places.
template <class L>
inline void hitTriangleGroup(std::span<const Ray> rays, std::size_t first, const Vec3& v0,
                             const Vec3& v1, const Vec3& v2, std::span<TriangleHit> hits) {
    const std::size_t count = std::min(rays.size() - first, std::size_t(L::kWidth));
    std::array<FloatArray<L>, 7> values;  // origin, direction, t
    for (std::size_t k = 0; k < count; ++k) {
        const Ray& ray = rays[first + k];
        const std::array<float, 7> lane = {
            ray.origin.x,    ray.origin.y,    ray.origin.z, ray.direction.x,
            ray.direction.y, ray.direction.z, ray.t};
        for (std::size_t i = 0; i < lane.size(); ++i) values[i].values[k] = lane[i];
    }
    const auto lanes = [&](std::size_t i) { return load<L>(values[i].values.data()); };
    const TriangleRays<L> r =
        triangleRaysOf<L>({lanes(0), lanes(1), lanes(2)}, {lanes(3), lanes(4), lanes(5)});
    const TriangleHitLanes<L> found = hitTriangleLanes(
        r, lanes(6), lanesBelow<L>(int(count)), lanesOf<L>(v0), lanesOf<L>(v1), lanesOf<L>(v2));
    const FloatArray<L> t = arrayOf(found.t);
    const std::array<FloatArray<L>, 3> weights = {arrayOf(found.b0), arrayOf(found.b1),
                                                  arrayOf(found.b2)};
    for (std::size_t k = 0; k < count; ++k) {
        TriangleHit& hit = hits[first + k];
        hit.hit = isSet(found.hit, int(k));
        hit.back = isSet(found.back, int(k));
        hit.t = t.values[k];
        hit.barycentrics = {weights[0].values[k], weights[1].values[k], weights[2].values[k]};
    }
}

template <class L>
inline void hitTrianglesOfLanes(std::span<const Ray> rays, const Vec3& v0, const Vec3& v1,
                                const Vec3& v2, std::span<TriangleHit> hits) {
    for (std::size_t first = 0; first < rays.size(); first += std::size_t(L::kWidth)) {
        hitTriangleGroup<L>(rays, first, v0, v1, v2, hits);
    }
}

}  // namespace lucentor
