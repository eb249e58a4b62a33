#pragma once

// The tests of a wide tree's triangle leaves, written once over a lane type for the one-ray
// walk (width 1, query/wide_walk.cpp) and the packet walks (query/packet_walk.h), so that
// every width accepts the same triangles with the same bits. Templates only (see
// simd/lane_math.h).

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "query/occlusion.h"
#include "query/triangle_lanes.h"
#include "scene/wide_tree.h"
#include "simd/lane_math.h"

namespace lucentor {

// A closed glass mesh is crossed twice by a line through it, so each glass triangle blocks
// half of what a glass sphere does: the mesh then blocks a light as the sphere it
// approximates. Sums of multiples of 0.25 stay exact in any order.
inline constexpr float kGlassTriangleBlocking = kGlassBlocking * 0.5f;

// The lanes of `ties` whose current object, named by `slot`, wins on its name: their walk has
// an object at exactly this distance with a higher one.
template <class L>
inline std::uint32_t winningTies(std::uint32_t ties, int slot, const int* slots) {
    std::uint32_t winning = 0;
    for (std::uint32_t bits = ties; bits != 0; bits &= bits - 1) {
        const int k = __builtin_ctz(bits);
        if (slots[k] >= 0 && slot < slots[k]) winning |= std::uint32_t{1} << k;
    }
    return winning;
}

// The test of triangle `s` of `leaf` at any distance ahead: the order of the walk then never
// decides which triangle is accepted, only the distance and the name do. Empty where no lane of
// `lanes` can hit it, without the division that finishes the test.
template <class L>
inline std::optional<TriangleHitLanes<L>> hitLeafTriangle(const TriangleRays<L>& r,
                                                          const WideTriangleLeaf& leaf,
                                                          std::size_t s, std::uint32_t lanes) {
    const auto corner = [&](std::size_t v) {
        return lanesOf<L>(
            Vec3{leaf.corners[v][0][s], leaf.corners[v][1][s], leaf.corners[v][2][s]});
    };
    const Floats<L> ahead(std::numeric_limits<float>::infinity());
    const TriangleCandidates<L> found =
        triangleCandidates(r, ahead, maskOf<L>(lanes), corner(0), corner(1), corner(2));
    if (bitsOf(found.candidate) == 0) return std::nullopt;
    return triangleHitsOf(found, ahead);
}

namespace scalar {
struct Lanes;
}  // namespace scalar

// What hitLeafTriangle tells one ray of each of a leaf's triangles.
struct LeafTriangleHits {
    std::uint32_t hits = 0;                     // bit s: triangle s
    std::array<float, kWideLeafTriangles> t{};  // where hit
};

// hitLeafTriangle of one ray for the first `count` triangles of `leaf` at once, a triangle a
// lane of four (query/triangle.cpp): each lane performs the one-ray test's operations, so the
// bits are the same.
LeafTriangleHits hitLeafTriangles(const TriangleRays<scalar::Lanes>& r,
                                  const WideTriangleLeaf& leaf, int count);

// Each triangle's hit in the lanes of `lanes`: wider lanes test triangle `s` now across their
// rays; one ray takes it from `ofOneRay`, its tests of the whole leaf.
template <class L>
struct LeafTriangleHit {
    Mask<L> hit;
    Floats<L> t;
};

template <class L>
inline LeafTriangleHits oneRayLeafHits(const TriangleRays<L>& r, const WideTriangleLeaf& leaf,
                                       int count, std::uint32_t lanes) {
    if constexpr (L::kWidth == 1) {
        if (lanes != 0) return hitLeafTriangles(r, leaf, count);
    }
    return {};
}

template <class L>
inline LeafTriangleHit<L> leafTriangleHit(const TriangleRays<L>& r, const WideTriangleLeaf& leaf,
                                          std::size_t s, std::uint32_t lanes,
                                          const LeafTriangleHits& ofOneRay) {
    if constexpr (L::kWidth == 1) {
        return {Mask<L>{(ofOneRay.hits >> s & 1u) != 0}, ofOneRay.t[s]};
    } else {
        const std::optional<TriangleHitLanes<L>> found = hitLeafTriangle(r, leaf, s, lanes);
        if (!found) return {maskOf<L>(0u), Floats<L>(0.0f)};
        return {found->hit, found->t};
    }
}

// The triangles of a leaf of `count` to look at, as bits: for one ray only those its test of
// the whole leaf hit, for wider lanes every one.
template <class L>
inline std::uint32_t trianglesToTest(int count, const LeafTriangleHits& ofOneRay) {
    if constexpr (L::kWidth == 1) return ofOneRay.hits;
    return (std::uint32_t{1} << std::uint32_t(count)) - 1u;
}

// closestWideHit's rule for a triangle leaf's triangles in the lanes of `lanes`, whose box
// they enter at `entry`: a hit no nearer than the entry replaces a farther one, or one as far
// with a higher name. `slots` hold the names (kTriangleHitBase plus the triangle's index).
template <class L>
inline void testTriangleLeaf(const WideTree& tree, const TriangleRays<L>& r, std::int32_t child,
                             int count, std::uint32_t lanes, Floats<L> entry, Floats<L>& t,
                             int* slots) {
    const WideTriangleLeaf& leaf = tree.triangleLeaves[wideLeafIndex(child)];
    const LeafTriangleHits ofOneRay = oneRayLeafHits(r, leaf, count, lanes);
    for (std::uint32_t left = trianglesToTest<L>(count, ofOneRay); left != 0; left &= left - 1) {
        const auto s = std::size_t(__builtin_ctz(left));
        const LeafTriangleHit<L> found = leafTriangleHit(r, leaf, s, lanes, ofOneRay);
        const std::uint32_t ahead = lanes & bitsOf(found.hit & (found.t >= entry));
        if (ahead == 0) continue;
        const int slot = kTriangleHitBase + slotOf(leaf.tags[s]);
        const std::uint32_t accepted = (ahead & bitsOf(t > found.t)) |
                                       winningTies<L>(ahead & bitsOf(t == found.t), slot, slots);
        t = select(maskOf<L>(accepted), found.t, t);
        for (std::uint32_t bits = accepted; bits != 0; bits &= bits - 1) {
            slots[__builtin_ctz(bits)] = slot;
        }
    }
}

// The lanes of `lanes`, entering a triangle leaf's box at `entry`, that one of its triangles
// blocks short of their t: those whose t testTriangleLeaf would lower from no name.
template <class L>
inline std::uint32_t trianglesBlocking(const WideTree& tree, const TriangleRays<L>& r,
                                       std::int32_t child, int count, std::uint32_t lanes,
                                       Floats<L> entry, Floats<L> t) {
    const WideTriangleLeaf& leaf = tree.triangleLeaves[wideLeafIndex(child)];
    const LeafTriangleHits ofOneRay = oneRayLeafHits(r, leaf, count, lanes);
    std::uint32_t blocked = 0;
    for (std::uint32_t left = trianglesToTest<L>(count, ofOneRay); left != 0 && blocked != lanes;
         left &= left - 1) {
        const auto s = std::size_t(__builtin_ctz(left));
        const LeafTriangleHit<L> found = leafTriangleHit(r, leaf, s, lanes & ~blocked, ofOneRay);
        blocked |= lanes & bitsOf(found.hit & (found.t >= entry) & (t > found.t));
    }
    return blocked;
}

// The blocking of a triangle leaf's triangles in the lanes of `lanes`: every triangle the ray
// meets ahead of its origin, however far along.
template <class L>
inline Floats<L> triangleLeafBlocking(const WideTree& tree, const TriangleRays<L>& r,
                                      std::int32_t child, int count, std::uint32_t lanes) {
    Floats<L> sum = 0.0f;
    const WideTriangleLeaf& leaf = tree.triangleLeaves[wideLeafIndex(child)];
    const LeafTriangleHits ofOneRay = oneRayLeafHits(r, leaf, count, lanes);
    for (std::uint32_t left = trianglesToTest<L>(count, ofOneRay); left != 0; left &= left - 1) {
        const auto s = std::size_t(__builtin_ctz(left));
        const LeafTriangleHit<L> found = leafTriangleHit(r, leaf, s, lanes, ofOneRay);
        const float amount = isRefractive(leaf.tags[s]) ? kGlassTriangleBlocking : 1.0f;
        sum = select(found.hit, sum + amount, sum);
    }
    return sum;
}

}  // namespace lucentor
