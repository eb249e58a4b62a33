#pragma once

// The packet walks, written once over a lane type (simd/lanes.h) for the wide kernels, which
// instantiate them inside their target regions (engine/kernel_avx2.cpp,
// engine/kernel_avx512.cpp). Templates only (see simd/lane_math.h).
// Lane sets are lane bits here (lane k is bit k), which the walks split and count.
//
// Each lane performs exactly the scalar queries' operations, in their order and precision:
// - min(a, b) is a < b ? a : b and max(a, b) is a > b ? a : b, the second operand on NaN and
//   on equal values, which are the slab test's ternaries (for the exit, axis.exit > span.exit
//   ? span.exit : axis.exit equals min(span.exit, axis.exit) in every case, NaN included);
// - no contraction into fused multiply-adds (the build forbids it);
// - a single-precision square root equals the double-precision root narrowed to float for
//   every float: double carries more than twice float's precision plus two bits, so rounding
//   twice cannot differ from rounding once. It is the instruction g++ emits for the scalar
//   form too.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "query/closest_hit.h"
#include "query/occlusion.h"
#include "query/packet.h"
#include "query/traversal.h"
#include "query/triangle_leaves.h"
#include "query/wide_fetch.h"
#include "query/wide_walk.h"
#include "scene/packed_tree.h"
#include "scene/scene.h"
#include "simd/lane_math.h"

namespace lucentor::packetwalk {

// The lanes' rays with each direction's reciprocal, taken once per query as in the scalar.
template <class L>
struct Rays {
    Vec3Lanes<L> origin;
    Vec3Lanes<L> direction;
    Vec3Lanes<L> inverse;
};

template <class L>
inline Rays<L> raysOf(const Vec3Lanes<L>& origin, const Vec3Lanes<L>& direction) {
    return {origin, direction, {1.0f / direction.x, 1.0f / direction.y, 1.0f / direction.z}};
}

template <class L>
inline Rays<L> loadRays(const RayPacket& packet, int first) {
    return raysOf<L>(
        {load<L>(packet.originX.data() + first), load<L>(packet.originY.data() + first),
         load<L>(packet.originZ.data() + first)},
        {load<L>(packet.directionX.data() + first), load<L>(packet.directionY.data() + first),
         load<L>(packet.directionZ.data() + first)});
}

template <class L>
struct Spans {
    Floats<L> entry;
    Floats<L> exit;
};

template <class L>
inline Spans<L> axisSpan(Floats<L> origin, Floats<L> inverse, float boxMin, float boxMax) {
    const Floats<L> t1 = (boxMin - origin) * inverse;
    const Floats<L> t2 = (boxMax - origin) * inverse;
    return {min(t1, t2), max(t1, t2)};
}

template <class L>
inline Spans<L> narrowed(const Spans<L>& span, const Spans<L>& axis) {
    return {max(span.entry, axis.entry), min(span.exit, axis.exit)};
}

// The slab test over x, y, z of the box with the given corners (x, y, z each).
template <class L>
inline Spans<L> boxSpans(const Rays<L>& r, const std::array<float, 3>& boxMin,
                         const std::array<float, 3>& boxMax) {
    const Spans<L> x = axisSpan(r.origin.x, r.inverse.x, boxMin[0], boxMax[0]);
    const Spans<L> y = axisSpan(r.origin.y, r.inverse.y, boxMin[1], boxMax[1]);
    const Spans<L> z = axisSpan(r.origin.z, r.inverse.z, boxMin[2], boxMax[2]);
    return narrowed(narrowed(x, y), z);
}

// The spans of one child of a packed node: side 0 left, 1 right.
template <class L>
inline Spans<L> childSpans(const Rays<L>& r, const PackedNode& node, int side) {
    const auto& s = node.slabs;
    return boxSpans(r, {s[0][side], s[1][side], s[2][side]},
                    {s[0][side + 2], s[1][side + 2], s[2][side + 2]});
}

template <class L>
inline std::uint32_t hitLanes(const Spans<L>& span) {
    return bitsOf((span.exit >= span.entry) & (span.exit > 0.0f));
}

// The ordering distance: entry, or exit when the origin is inside, or kFarDistance on a miss.
template <class L>
inline Floats<L> entryDistances(const Spans<L>& span) {
    const Floats<L> reached = select(span.entry >= 0.0f, span.entry, span.exit);
    return select(maskOf<L>(hitLanes(span)), reached, kFarDistance);
}

// tca and d2 of the line towards a sphere's centre, as closestApproach computes them.
template <class L>
struct Approach {
    Floats<L> tca;
    Floats<L> d2;
};

template <class L>
inline Approach<L> closestApproaches(const Rays<L>& r, const Vec3& center) {
    const Vec3Lanes<L> toCenter = lanesOf<L>(center) - r.origin;
    const Floats<L> tca = dot(toCenter, r.direction);
    const Vec3Lanes<L> offAxis = toCenter - r.direction * tca;
    return {tca, dot(offAxis, offAxis)};
}

// The lanes of `lanes` whose line passes through the sphere ahead of its origin: neither
// tca < 0 nor d2 > radiusSquared (so NaN passes, as in the scalar tests).
template <class L>
inline std::uint32_t passingLanes(const Approach<L>& line, float radiusSquared,
                                  std::uint32_t lanes) {
    return lanes & ~bitsOf((line.tca < 0.0f) | (line.d2 > radiusSquared));
}

// hitSphere for the lanes of `lanes`: lowers t where the near intersection lies strictly
// between 0 and t; returns those lanes.
template <class L>
inline std::uint32_t testSphere(const Rays<L>& r, const Vec3& center, float radiusSquared,
                                std::uint32_t lanes, Floats<L>& t) {
    const Approach<L> line = closestApproaches(r, center);
    const std::uint32_t candidates = passingLanes(line, radiusSquared, lanes);
    if (candidates == 0) return 0;
    const Floats<L> hit = line.tca - sqrt(radiusSquared - line.d2);
    const std::uint32_t accepted = candidates & bitsOf((t > hit) & (hit > 0.0f));
    t = select(maskOf<L>(accepted), hit, t);
    return accepted;
}

// testSphere on a leaf's sphere, naming its slot in the lanes that accept it.
template <class L>
inline void testLeaf(const Rays<L>& r, const PackedLeaf& leaf, LeafTag tag, std::uint32_t lanes,
                     Floats<L>& t, int* slots) {
    const std::uint32_t accepted = testSphere(r, leaf.center, leaf.radiusSquared, lanes, t);
    for (std::uint32_t bits = accepted; bits != 0; bits &= bits - 1) {
        slots[__builtin_ctz(bits)] = slotOf(tag);
    }
}

// A child that some lanes have still to visit. Lanes of `always` visit it in any case; lanes
// of `ifNearer` only when their walk accepted nothing since `tBefore` was their t, or when
// the child's box is entered before their t: the scalar walk's rule for the far child.
template <class L>
struct PendingChild {
    std::int32_t child;
    LeafTag tag;  // the child's, when it is a leaf
    std::uint32_t always;
    std::uint32_t ifNearer;
    Floats<L> entry;
    Floats<L> tBefore;
};

// A tree within kMaxTraversalDepth + 1 levels: each level pushes at most two pending children.
inline constexpr int kMaxPending = 2 * (kMaxTraversalDepth + 2);

// The closest-hit walk of every lane at once. Where both children are hit, each lane keeps
// its own order (near child first, by the scalar rule) and its own pruning of the far child:
// the lanes that go left first and those that go right first are split, the larger group
// descends now and the other group's visits wait on the stack, so each lane tests the same
// leaves in the same order against the same t as the scalar walk, and the same leaf wins
// even among hits at equal distances. Packets of neighbouring pixels seldom split.
template <class L>
inline void walkClosest(const PackedTree& tree, const Rays<L>& r, std::uint32_t lanes, Floats<L>& t,
                        int* slots) {
    // Left unset: only entries below pendingCount are read, and each is written first.
    std::array<PendingChild<L>, kMaxPending> pending;  // NOLINT(*-pro-type-member-init)
    int pendingCount = 0;
    std::int32_t child = 0;
    LeafTag tag;
    for (;;) {
        while (lanes != 0) {
            if (isPackedLeaf(child)) {
                testLeaf(r, tree.leaves[std::size_t(packedLeafSlot(child))], tag, lanes, t, slots);
                break;
            }
            const PackedNode& node = tree.nodes[std::size_t(child)];
            const Spans<L> left = childSpans(r, node, 0);
            const Spans<L> right = childSpans(r, node, 1);
            const std::uint32_t leftHit = lanes & hitLanes(left);
            const std::uint32_t rightHit = lanes & hitLanes(right);
            // Left first exactly when the right child is reached strictly later.
            const std::uint32_t leftNearer = bitsOf(entryDistances(right) > entryDistances(left));
            const std::uint32_t both = leftHit & rightHit;
            const std::uint32_t leftFirst = (leftHit & ~rightHit) | (both & leftNearer);
            const std::uint32_t rightFirst = (rightHit & ~leftHit) | (both & ~leftNearer);
            const bool goLeft = __builtin_popcount(leftFirst) >= __builtin_popcount(rightFirst);
            const std::uint32_t now = goLeft ? leftFirst : rightFirst;
            const std::uint32_t later = goLeft ? rightFirst : leftFirst;
            const std::size_t nowSide = goLeft ? 0 : 1;
            const std::size_t otherSide = 1 - nowSide;
            const std::int32_t nowChild = node.children[nowSide];
            const std::int32_t otherChild = node.children[otherSide];
            const Spans<L>& nowSpan = goLeft ? left : right;
            const Spans<L>& otherSpan = goLeft ? right : left;
            const std::uint32_t nowHit = goLeft ? leftHit : rightHit;
            const std::uint32_t otherHit = goLeft ? rightHit : leftHit;
            // Popped last: the waiting lanes' far child, which is this group's near one.
            if ((later & nowHit) != 0) {
                pending[std::size_t(pendingCount++)] = {nowChild,       node.leafTags[nowSide], 0,
                                                        later & nowHit, nowSpan.entry,          t};
            }
            // Popped first: this group's far child and the waiting lanes' near one.
            if ((later | (now & otherHit)) != 0) {
                pending[std::size_t(pendingCount++)] = {otherChild,      node.leafTags[otherSide],
                                                        later,           now & otherHit,
                                                        otherSpan.entry, t};
            }
            child = nowChild;
            tag = node.leafTags[nowSide];
            lanes = now;
        }
        if (pendingCount == 0) return;
        const PendingChild<L>& next = pending[std::size_t(--pendingCount)];
        const std::uint32_t nothingSince = bitsOf(sameBits(t, next.tBefore));
        child = next.child;
        tag = next.tag;
        lanes = next.always | (next.ifNearer & (nothingSince | bitsOf(next.entry < t)));
    }
}

// The occlusion walk of every lane at once. The scalar walk sums the blocking of every sphere
// it reaches through hit boxes, clamping at 1 and stopping early once a node's sum reaches
// 1. The amounts are multiples of 0.5, whose sums are exact in any order, and clamping on
// the way gives what clamping the total gives, so each lane's amount is the clamped total of
// the spheres reached, whatever the order; a lane drops out once its sum reaches 1.
template <class L>
inline Floats<L> walkOcclusion(const PackedTree& tree, const Rays<L>& r, std::uint32_t lanes) {
    struct Pending {
        std::int32_t child;
        LeafTag tag;
        std::uint32_t lanes;
    };
    std::array<Pending, kMaxPending> pending;  // NOLINT(*-pro-type-member-init): as above
    int pendingCount = 0;
    Floats<L> sum = 0.0f;
    std::int32_t child = 0;
    LeafTag tag;
    for (;;) {
        while (lanes != 0) {
            if (isPackedLeaf(child)) {
                const PackedLeaf& leaf = tree.leaves[std::size_t(packedLeafSlot(child))];
                const Approach<L> line = closestApproaches(r, leaf.center);
                const std::uint32_t blocking = passingLanes(line, leaf.radiusSquared, lanes);
                const float amount = isRefractive(tag) ? kGlassBlocking : 1.0f;
                sum = select(maskOf<L>(blocking), sum + amount, sum);
                break;
            }
            const PackedNode& node = tree.nodes[std::size_t(child)];
            const std::uint32_t leftHit = lanes & hitLanes(childSpans(r, node, 0));
            const std::uint32_t rightHit = lanes & hitLanes(childSpans(r, node, 1));
            if (leftHit != 0 && rightHit != 0) {
                pending[std::size_t(pendingCount++)] = {node.children[1], node.leafTags[1],
                                                        rightHit};
            }
            const std::size_t side = leftHit != 0 ? 0 : 1;
            child = node.children[side];
            tag = node.leafTags[side];
            lanes = leftHit != 0 ? leftHit : rightHit;
        }
        if (pendingCount == 0) break;
        const Pending& next = pending[std::size_t(--pendingCount)];
        child = next.child;
        tag = next.tag;
        lanes = next.lanes & ~bitsOf(sum >= 1.0f);
    }
    return select(sum >= 1.0f, 1.0f, sum);
}

// closestWideHit's sphere test for the lanes of `lanes` on a wide leaf's spheres, whose box
// they enter at `entry`.
template <class L>
inline void testWideLeaf(const WideTree& tree, const Rays<L>& r, std::int32_t child, int count,
                         std::uint32_t lanes, Floats<L> entry, Floats<L>& t, int* slots) {
    const WideLeaf& leaf = tree.leaves[wideLeafIndex(child)];
    for (std::size_t s = 0; s < std::size_t(count); ++s) {
        const float radiusSquared = leaf.radiusSquared[s];
        const Approach<L> line =
            closestApproaches(r, {leaf.centerX[s], leaf.centerY[s], leaf.centerZ[s]});
        const std::uint32_t candidates = passingLanes(line, radiusSquared, lanes);
        if (candidates == 0) continue;
        const Floats<L> hit = line.tca - sqrt(radiusSquared - line.d2);
        const std::uint32_t ahead = candidates & bitsOf((hit > 0.0f) & (hit >= entry));
        const int slot = slotOf(leaf.tags[s]);
        const std::uint32_t accepted =
            (ahead & bitsOf(t > hit)) | winningTies<L>(ahead & bitsOf(t == hit), slot, slots);
        t = select(maskOf<L>(accepted), hit, t);
        for (std::uint32_t bits = accepted; bits != 0; bits &= bits - 1) {
            slots[__builtin_ctz(bits)] = slot;
        }
    }
}

// The lanes of `lanes`, entering a wide leaf's box at `entry`, that one of its spheres blocks
// short of their t: those whose t testWideLeaf would lower.
template <class L>
inline std::uint32_t spheresBlocking(const WideTree& tree, const Rays<L>& r, std::int32_t child,
                                     int count, std::uint32_t lanes, Floats<L> entry, Floats<L> t) {
    const WideLeaf& leaf = tree.leaves[wideLeafIndex(child)];
    std::uint32_t blocked = 0;
    for (std::size_t s = 0; s < std::size_t(count) && blocked != lanes; ++s) {
        const Approach<L> line =
            closestApproaches(r, {leaf.centerX[s], leaf.centerY[s], leaf.centerZ[s]});
        const std::uint32_t candidates =
            passingLanes(line, leaf.radiusSquared[s], lanes & ~blocked);
        if (candidates == 0) continue;
        const Floats<L> hit = line.tca - sqrt(leaf.radiusSquared[s] - line.d2);
        blocked |= candidates & bitsOf((hit > 0.0f) & (hit >= entry) & (t > hit));
    }
    return blocked;
}

// The blocking of a wide leaf's spheres in the lanes of `lanes`.
template <class L>
inline Floats<L> wideLeafBlocking(const WideTree& tree, const Rays<L>& r, std::int32_t child,
                                  int count, std::uint32_t lanes) {
    Floats<L> sum = 0.0f;
    const WideLeaf& leaf = tree.leaves[wideLeafIndex(child)];
    for (std::size_t s = 0; s < std::size_t(count); ++s) {
        const Approach<L> line =
            closestApproaches(r, {leaf.centerX[s], leaf.centerY[s], leaf.centerZ[s]});
        const std::uint32_t blocking = passingLanes(line, leaf.radiusSquared[s], lanes);
        const float amount = isRefractive(leaf.tags[s]) ? kGlassBlocking : 1.0f;
        sum = select(maskOf<L>(blocking), sum + amount, sum);
    }
    return sum;
}

// The spans of child k of a wide node.
template <class L>
inline Spans<L> wideChildSpans(const Rays<L>& r, const WideNode& node, std::size_t k) {
    return boxSpans(r, {node.boxMin[0][k], node.boxMin[1][k], node.boxMin[2][k]},
                    {node.boxMax[0][k], node.boxMax[1][k], node.boxMax[2][k]});
}

// At or below this many lanes, a packet's walk of a wide node goes on one ray at a time, over
// the wide node's children at once: a packet whose rays have parted would test every
// box for one or two lanes (the hybrid walk of Embree's packet traversal). Two lanes of 16,
// one of 8: on the 100,000-sphere layer scene a pass took 8 % less processor time than at a
// quarter of the lanes and 25 % less than at half (16 lanes, one thread, medians of three).
template <class L>
inline constexpr int kWideAloneLanes = L::kWidth / 8;

// A tree with triangles goes one ray at a time only for a lane alone. When the one-ray walk
// tested a leaf's triangles one by one, staying in the packet made a pass of the Cornell box
// (34 triangles, path integrator, 16 lanes, one thread) 14 % cheaper, and with four triangles
// at once parting at two lanes still did not pay. Once the one-ray walk no longer took its
// nearest child through the stack, parting at one lane made the Cornell box 1 to 5 % cheaper
// (3 % on 8 lanes) and a scene of three million-triangle sheets 4 to 5 %, while the sheet of
// 10,000 or 1,000,000 triangles stayed within 1 %; at two lanes the sheets took 1 to 3 % longer.
template <class L>
inline int wideAloneLanes(const WideTree& tree) {
    return tree.triangleLeaves.empty() ? kWideAloneLanes<L> : std::min(kWideAloneLanes<L>, 1);
}

// Lane k of x, y and z.
template <class L>
inline Vec3 laneOf(const std::array<FloatArray<L>, 3>& v, int k) {
    const auto at = std::size_t(k);
    return {v[0].values[at], v[1].values[at], v[2].values[at]};
}

// Each lane's ray as the one-ray walks take it.
template <class L>
struct LaneRays {
    std::array<FloatArray<L>, 3> origin;
    std::array<FloatArray<L>, 3> direction;

    explicit LaneRays(const Rays<L>& r)
        : origin{arrayOf(r.origin.x), arrayOf(r.origin.y), arrayOf(r.origin.z)},
          direction{arrayOf(r.direction.x), arrayOf(r.direction.y), arrayOf(r.direction.z)} {}

    Vec3 originOf(int k) const { return laneOf<L>(origin, k); }
    Vec3 directionOf(int k) const { return laneOf<L>(direction, k); }
    WideRay lane(int k) const {
        const Vec3 d = directionOf(k);
        return {originOf(k), d, reciprocal(d)};
    }
};

// In a tree past the caches, a triangle leaf that one lane alone reaches takes that lane's
// one-ray test, a triangle a lane of four, instead of each triangle's test across all the lanes.
// At a million triangles most leaves a packet enters are reached by one lane (on the sheet 1.1
// lanes a leaf for camera rays, 1.4 for shadow rays). The one-ray test gives the same bits, so
// the answers stay.
template <class L>
inline void testTriangleLeafOfLane(const WideTree& tree, const Rays<L>& r, std::int32_t child,
                                   std::uint8_t items, int k, Floats<L> entry, Floats<L>& t,
                                   int* slots) {
    const LaneRays<L> one(r);
    const auto at = std::size_t(k);
    FloatArray<L> ts = arrayOf(t);
    WideHit hit{ts.values[at], slots[k]};
    testTriangleLeafAlone(tree, one.originOf(k), one.directionOf(k), child, items,
                          arrayOf(entry).values[at], hit);
    ts.values[at] = hit.t;
    slots[k] = hit.slot;
    t = load<L>(ts.values.data());
}

template <class L>
inline std::uint32_t triangleLeafBlocksLane(const WideTree& tree, const Rays<L>& r,
                                            std::int32_t child, std::uint8_t items, int k,
                                            Floats<L> entry, Floats<L> t) {
    const LaneRays<L> one(r);
    const auto at = std::size_t(k);
    const bool blocks =
        triangleLeafBlocksAlone(tree, one.originOf(k), one.directionOf(k), child, items,
                                arrayOf(entry).values[at], arrayOf(t).values[at]);
    return blocks ? std::uint32_t{1} << k : 0u;
}

template <class L>
inline Floats<L> triangleLeafBlockingOfLane(const WideTree& tree, const Rays<L>& r,
                                            std::int32_t child, std::uint8_t items, int k) {
    const LaneRays<L> one(r);
    FloatArray<L> sums{};
    sums.values[std::size_t(k)] =
        triangleLeafBlockingAlone(tree, one.originOf(k), one.directionOf(k), child, items);
    return load<L>(sums.values.data());
}

// A wide node whose children some lanes have still to test, with their distance to its box
// (-infinity for the root, which every lane enters).
template <class L>
struct WidePending {
    std::int32_t node;
    std::uint32_t lanes;
    Floats<L> entry;
};

inline constexpr int kMaxWidePending = (kWideChildren - 1) * kMaxWideLevels + kWideChildren;

// Fetches the lines of every leaf child of `node`, hit or not, before any is tested, so that
// their misses overlap: computing which are hit first costs more where the tree is small (see
// kFetchAheadBytes). Inlined by force, as prefetchWideNode.
template <class L>
[[gnu::always_inline]] inline void prefetchLeafChildren(const WideTree& tree,
                                                        const WideNode& node) {
    for (std::size_t k = 0; k < std::size_t(kWideChildren); ++k) {
        const std::uint8_t count = node.counts[k];
        if (count != 0 && isWideLeaf(count)) prefetchWideLeaf<L>(tree, node.children[k], count);
    }
}

// Tests the children of a wide node for the lanes of `lanes`: a leaf child is handed with the
// lanes that enter its box no later than their t, and their entries, to `testLeaf`; an inner child
// is pushed with its lanes and their entry distances, the children in order of decreasing entry for
// the lowest of `lanes`, so that the one nearest to it is popped first.
template <class L, class LeafTest>
inline void visitWideChildren(const WideTree& tree, const WideNode& node, const Rays<L>& r,
                              std::uint32_t lanes, Floats<L> t, bool fetchAhead,
                              std::array<WidePending<L>, kMaxWidePending>& pending, int& count,
                              const LeafTest& testLeaf) {
    const auto lowest = std::size_t(__builtin_ctz(lanes));
    std::array<float, kWideChildren> keys{};
    const int first = count;
    if (fetchAhead) prefetchLeafChildren<L>(tree, node);
    for (std::size_t k = 0; k < std::size_t(kWideChildren); ++k) {
        if (node.counts[k] == 0) continue;
        const Spans<L> span = wideChildSpans(r, node, k);
        const std::uint32_t reached = lanes & hitLanes(span) & bitsOf(t >= span.entry);
        if (reached == 0) continue;
        if (isWideLeaf(node.counts[k])) {
            testLeaf(node.children[k], node.counts[k], reached, span.entry);
            continue;
        }
        const float key = arrayOf(span.entry).values[lowest];
        int at = count++;
        for (; at > first && keys[std::size_t(at - 1 - first)] < key; --at) {
            pending[std::size_t(at)] = pending[std::size_t(at - 1)];
            keys[std::size_t(at - first)] = keys[std::size_t(at - 1 - first)];
        }
        pending[std::size_t(at)] = {node.children[k], reached, span.entry};
        keys[std::size_t(at - first)] = key;
        if (fetchAhead) prefetchWideNode<L>(tree, node.children[k]);
    }
}

// The ray in the triangle test's frame, worked out only for a tree with triangles.
template <class L>
inline TriangleRays<L> triangleRaysOf(const WideTree& tree, const Rays<L>& r) {
    if (tree.triangleLeaves.empty()) return {};
    return triangleRaysOf<L>(r.origin, r.direction);
}

// A query's rays in the forms a wide walk's tests take them, and the walk's choices for its
// tree, worked out once.
template <class L>
struct WideWalkRays {
    TriangleRays<L> triangles;  // in the triangle test's frame
    int aloneLanes;
    // Past the caches (see kPastCachesBytes) the walks fetch nodes and leaves ahead, and a
    // triangle leaf one lane reaches takes that lane's one-ray test.
    bool pastCaches;
};

// Whether the triangle leaf that lanes `reached` reach takes the one-ray test of its one lane.
template <class L>
inline bool takesOneRayTest(const WideWalkRays<L>& w, std::uint32_t reached) {
    return w.pastCaches && (reached & (reached - 1)) == 0;
}

template <class L>
inline WideWalkRays<L> wideWalkRaysOf(const WideTree& tree, const Rays<L>& r) {
    return {triangleRaysOf(tree, r), wideAloneLanes<L>(tree), tree.pastCaches};
}

// closestWideHit for every lane of `lanes` at once: the lanes walk a node together while more
// than wideAloneLanes of them go on, then one by one. The answer does not hang on the order
// (see WideTree), so each lane ends as its one-ray walk.
template <class L>
inline void walkWideClosest(const WideTree& tree, const Rays<L>& r, std::uint32_t lanes,
                            Floats<L>& t, int* slots) {
    const WideWalkRays<L> w = wideWalkRaysOf(tree, r);
    std::array<WidePending<L>, kMaxWidePending> pending;  // NOLINT(*-pro-type-member-init)
    int count = 0;
    pending[std::size_t(count++)] = {0, lanes, -std::numeric_limits<float>::infinity()};
    while (count > 0) {
        const WidePending<L> next = pending[std::size_t(--count)];
        const std::uint32_t active = next.lanes & bitsOf(t >= next.entry);
        if (active == 0) continue;
        if (__builtin_popcount(active) <= w.aloneLanes) {
            const LaneRays<L> alone(r);
            FloatArray<L> ts = arrayOf(t);
            for (std::uint32_t bits = active; bits != 0; bits &= bits - 1) {
                const int k = __builtin_ctz(bits);
                WideHit hit{ts.values[std::size_t(k)], slots[k]};
                closestWideHit(tree, next.node, alone.lane(k), hit);
                ts.values[std::size_t(k)] = hit.t;
                slots[k] = hit.slot;
            }
            t = load<L>(ts.values.data());
            continue;
        }
        visitWideChildren(
            tree, tree.nodes[std::size_t(next.node)], r, active, t, w.pastCaches, pending, count,
            [&](std::int32_t child, std::uint8_t items, std::uint32_t reached, Floats<L> entry) {
                if (isTriangleLeaf(items) && takesOneRayTest(w, reached)) {
                    testTriangleLeafOfLane(tree, r, child, items, __builtin_ctz(reached), entry, t,
                                           slots);
                } else if (isTriangleLeaf(items)) {
                    testTriangleLeaf(tree, w.triangles, child, leafItemCount(items), reached, entry,
                                     t, slots);
                } else {
                    testWideLeaf(tree, r, child, items, reached, entry, t, slots);
                }
            });
    }
}

// A node and the lanes still to test its children, in the walks whose answers do not hang on
// the order in which children are taken.
struct WaitingNode {
    std::int32_t node;
    std::uint32_t lanes;
};

// Of a node's children, those whose lanes `reachedOf` finds reached in their spans: an inner
// one waits with its lanes, its lines fetched ahead, and a leaf goes to `testLeaf` at once,
// children in their order, for the walks whose answers do not hang on it.
template <class L, class Reached, class LeafTest>
inline void visitUnorderedChildren(const WideTree& tree, const WideNode& node, const Rays<L>& r,
                                   bool fetchAhead,
                                   std::array<WaitingNode, kMaxWidePending>& pending, int& count,
                                   const Reached& reachedOf, const LeafTest& testLeaf) {
    if (fetchAhead) prefetchLeafChildren<L>(tree, node);
    for (std::size_t k = 0; k < std::size_t(kWideChildren); ++k) {
        const std::uint8_t items = node.counts[k];
        if (items == 0) continue;
        const Spans<L> span = wideChildSpans(r, node, k);
        const std::uint32_t reached = reachedOf(span);
        if (reached == 0) continue;
        if (isWideLeaf(items)) {
            testLeaf(node.children[k], items, reached, span.entry);
            continue;
        }
        if (fetchAhead) prefetchWideNode<L>(tree, node.children[k]);
        pending[std::size_t(count++)] = {node.children[k], reached};
    }
}

// wideOcclusion for every lane of `lanes` at once, parting as walkWideClosest does; a lane
// drops out once its sum reaches 1.
template <class L>
inline Floats<L> walkWideOcclusion(const WideTree& tree, const Rays<L>& r, std::uint32_t lanes) {
    const WideWalkRays<L> w = wideWalkRaysOf(tree, r);
    std::array<WaitingNode, kMaxWidePending> pending;  // NOLINT(*-pro-type-member-init)
    int count = 0;
    Floats<L> sum = 0.0f;
    pending[std::size_t(count++)] = {0, lanes};
    while (count > 0) {
        const WaitingNode next = pending[std::size_t(--count)];
        const std::uint32_t active = next.lanes & ~bitsOf(sum >= 1.0f);
        if (active == 0) continue;
        if (__builtin_popcount(active) <= w.aloneLanes) {
            const LaneRays<L> alone(r);
            FloatArray<L> sums = arrayOf(sum);
            for (std::uint32_t bits = active; bits != 0; bits &= bits - 1) {
                const auto k = std::size_t(__builtin_ctz(bits));
                sums.values[k] = wideOcclusion(tree, next.node, alone.lane(int(k)), sums.values[k]);
            }
            sum = load<L>(sums.values.data());
            continue;
        }
        visitUnorderedChildren(
            tree, tree.nodes[std::size_t(next.node)], r, w.pastCaches, pending, count,
            [&](const Spans<L>& span) { return active & hitLanes(span); },
            [&](std::int32_t child, std::uint8_t items, std::uint32_t reached, Floats<L>) {
                if (!isTriangleLeaf(items)) {
                    sum = sum + wideLeafBlocking(tree, r, child, items, reached);
                } else if (takesOneRayTest(w, reached)) {
                    sum = sum +
                          triangleLeafBlockingOfLane(tree, r, child, items, __builtin_ctz(reached));
                } else {
                    sum = sum + triangleLeafBlocking(tree, w.triangles, child, leafItemCount(items),
                                                     reached);
                }
            });
    }
    return select(sum >= 1.0f, 1.0f, sum);
}

// The lanes of `lanes` whose t closestWideHit, from no name, would lower: a sphere or triangle
// that counts lies strictly nearer than t. Whether one does hangs neither on the order of the
// walk nor on the hits before it, so this walk keeps no order, distances or names, as
// walkWideOcclusion does, and a lane leaves at its first hit; lanes part as in walkWideClosest.
template <class L>
inline std::uint32_t walkWideBlocked(const WideTree& tree, const Rays<L>& r, std::uint32_t lanes,
                                     Floats<L> t) {
    const WideWalkRays<L> w = wideWalkRaysOf(tree, r);
    std::array<WaitingNode, kMaxWidePending> pending;  // NOLINT(*-pro-type-member-init)
    int count = 0;
    std::uint32_t blocked = 0;
    pending[std::size_t(count++)] = {0, lanes};
    while (count > 0) {
        const WaitingNode next = pending[std::size_t(--count)];
        const std::uint32_t active = next.lanes & ~blocked;
        if (active == 0) continue;
        if (__builtin_popcount(active) <= w.aloneLanes) {
            const LaneRays<L> alone(r);
            const FloatArray<L> ts = arrayOf(t);
            for (std::uint32_t bits = active; bits != 0; bits &= bits - 1) {
                const auto k = std::size_t(__builtin_ctz(bits));
                WideHit hit{ts.values[k], -1};
                closestWideHit(tree, next.node, alone.lane(int(k)), hit);
                if (hit.t != ts.values[k]) blocked |= std::uint32_t{1} << k;
            }
            continue;
        }
        visitUnorderedChildren(
            tree, tree.nodes[std::size_t(next.node)], r, w.pastCaches, pending, count,
            [&](const Spans<L>& span) {
                return active & ~blocked & hitLanes(span) & bitsOf(t >= span.entry);
            },
            [&](std::int32_t child, std::uint8_t items, std::uint32_t reached, Floats<L> entry) {
                if (!isTriangleLeaf(items)) {
                    blocked |= spheresBlocking(tree, r, child, items, reached, entry, t);
                } else if (takesOneRayTest(w, reached)) {
                    blocked |= triangleLeafBlocksLane(tree, r, child, items, __builtin_ctz(reached),
                                                      entry, t);
                } else {
                    blocked |= trianglesBlocking(tree, w.triangles, child, leafItemCount(items),
                                                 reached, entry, t);
                }
            });
    }
    return blocked;
}

// The lanes of `lanes` whose ray hits the root's box: the walks start below it.
template <class L>
inline std::uint32_t rootLanes(const PackedTree& tree, const Rays<L>& r, std::uint32_t lanes) {
    const BvhNode& root = *tree.source;
    const Spans<L> span = boxSpans(r, {root.boxMin.x, root.boxMin.y, root.boxMin.z},
                                   {root.boxMax.x, root.boxMax.y, root.boxMax.z});
    return lanes & hitLanes(span);
}

// The lanes of `active` that lie in the group of L::kWidth lanes from `first`, shifted down.
template <class L>
inline std::uint32_t groupLanes(std::uint32_t active, int first) {
    constexpr std::uint32_t kGroup = (std::uint32_t{1} << L::kWidth) - 1;
    return (active >> first) & kGroup;
}

// One lane's record and the distance at which it was last written, as closestHit keeps them.
template <class L>
struct Records {
    Floats<L> kind;
    Floats<L> index;
    Floats<L> lastT;
};

// Where t moved since the record was last written (t != lastT, so also where t is NaN), the
// record names (kind, index) from now on.
template <class L>
inline void noteChanges(Records<L>& records, Floats<L> t, float kind, int index) {
    const Mask<L> changed = !(t == records.lastT);
    records.kind = select(changed, kind, records.kind);
    records.index = select(changed, float(index), records.index);
    records.lastT = select(changed, t, records.lastT);
}

// The plane test of `rule`: t lowered to tp where 0 < tp < t, tp being planeDistance's value.
template <class L>
inline void testPlane(const Rays<L>& r, const Plane& plane, PlaneRule rule, Floats<L>& t) {
    const Vec3Lanes<L> normal = lanesOf<L>(plane.normal);
    const Floats<L> den = dot(normal, r.direction);
    Floats<L> tp;
    if (rule == PlaneRule::Geometric) {
        const Floats<L> numerator = dot(lanesOf<L>(plane.point) - r.origin, normal);
        tp = select(abs(den) > kParallelEpsilon, numerator / den, 0.0f);
    } else {
        const Floats<L> numerator = dot(r.origin - lanesOf<L>(plane.point), normal);
        tp = select(den > kParallelEpsilon, numerator / den, 0.0f);
    }
    t = select((tp > 0.0f) & (tp < t), tp, t);
}

// The lanes whose hit is known, and their kinds and slots as floats.
template <class L>
struct LeafSlotLanes {
    Floats<L> kinds;
    Floats<L> slots;
    std::uint32_t found = 0;
};

template <class L>
inline LeafSlotLanes<L> knownSlots(const std::array<int, L::kWidth>& slots) {
    FloatArray<L> kinds;
    FloatArray<L> values;
    LeafSlotLanes<L> out;
    for (int k = 0; k < L::kWidth; ++k) {
        if (const int slot = slots[std::size_t(k)]; slot >= 0) {
            const bool triangle = slot >= kTriangleHitBase;
            kinds.values[std::size_t(k)] = float(triangle ? HitKind::Triangle : HitKind::Sphere);
            values.values[std::size_t(k)] = float(triangle ? slot - kTriangleHitBase : slot);
            out.found |= std::uint32_t{1} << k;
        }
    }
    out.kinds = load<L>(kinds.values.data());
    out.slots = load<L>(values.values.data());
    return out;
}

// Ray::closestHit for the lanes of `active` (lane bits) of rays `r` whose t is `t`: the
// spheres through the packed tree, then the planes, then the light spheres, each stage
// against the t the stages before it left, the record naming whatever lowered t last.
template <class L>
inline Records<L> closestHitLanes(const Scene& scene, const Rays<L>& r, std::uint32_t active,
                                  Floats<L>& t) {
    Records<L> record{0.0f, 0.0f, t};
    std::array<int, L::kWidth> leafSlots{};
    leafSlots.fill(-1);
    if (isWideTreeOf(scene.wideTree, scene.root)) {
        walkWideClosest(scene.wideTree, r, active, t, leafSlots.data());
    } else if (const std::uint32_t lanes = rootLanes(scene.packedTree, r, active); lanes != 0) {
        walkClosest(scene.packedTree, r, lanes, t, leafSlots.data());
    }
    const LeafSlotLanes<L> slots = knownSlots<L>(leafSlots);
    record.kind = select(maskOf<L>(slots.found), slots.kinds, record.kind);
    record.index = select(maskOf<L>(slots.found), slots.slots, record.index);
    record.lastT = select(maskOf<L>(slots.found), t, record.lastT);

    for (int i = 0; i < scene.planeCount; ++i) {
        testPlane(r, *scene.planes[std::size_t(i)], scene.planeRule, t);
        noteChanges(record, t, float(HitKind::Plane), i);
    }
    for (int j = 0; j < scene.lightCount; ++j) {
        const Light& light = *scene.lights[std::size_t(j)];
        if (light.radius == 0.0f) continue;  // point lights are never hit
        testSphere(r, light.position, light.radiusSquared, active, t);
        noteChanges(record, t, float(HitKind::Light), j);
    }
    return record;
}

// The lanes of `active` whose ray meets a sphere, a triangle, a plane or a light sphere
// strictly between 0 and its t: those whose t closestHitLanes would lower, every surface taken
// as opaque. Cheaper than the closest hit, for a lane's walk of the tree ends at its first hit.
template <class L>
inline std::uint32_t blockedLanes(const Scene& scene, const Rays<L>& r, std::uint32_t active,
                                  Floats<L> t) {
    const Floats<L> start = t;
    std::uint32_t blocked = 0;
    if (isWideTreeOf(scene.wideTree, scene.root)) {
        blocked = walkWideBlocked(scene.wideTree, r, active, t);
    } else if (const std::uint32_t lanes = rootLanes(scene.packedTree, r, active); lanes != 0) {
        std::array<int, L::kWidth> leafSlots{};
        leafSlots.fill(-1);
        walkClosest(scene.packedTree, r, lanes, t, leafSlots.data());
    }
    for (int i = 0; i < scene.planeCount; ++i) {
        testPlane(r, *scene.planes[std::size_t(i)], scene.planeRule, t);
    }
    for (int j = 0; j < scene.lightCount; ++j) {
        const Light& light = *scene.lights[std::size_t(j)];
        if (light.radius == 0.0f) continue;  // point lights are never hit
        testSphere(r, light.position, light.radiusSquared, active, t);
    }
    return blocked | (active & ~bitsOf(t == start));
}

// closestHitLanes for the lanes of `active` from `first` of a packet, into the packet's t
// and `records`.
template <class L>
inline void closestHitGroup(const Scene& scene, RayPacket& packet, std::uint32_t active, int first,
                            HitRecord* records) {
    const Floats<L> before = load<L>(packet.t.data() + first);
    Floats<L> t = before;
    const Records<L> record = closestHitLanes(scene, loadRays<L>(packet, first), active, t);
    const FloatArray<L> kinds = arrayOf(record.kind);
    const FloatArray<L> indices = arrayOf(record.index);
    store(packet.t.data() + first, select(maskOf<L>(active), t, before));
    for (int k = 0; k < L::kWidth; ++k) {
        if ((active >> k & 1u) != 0) {
            records[first + k] = {kinds.values[std::size_t(k)], indices.values[std::size_t(k)],
                                  0.0f};
        }
    }
}

template <class L>
inline void closestHits(const Scene& scene, RayPacket& packet, std::uint32_t active,
                        HitRecord* records) {
    for (int first = 0; first < kMaxPacketLanes; first += L::kWidth) {
        const std::uint32_t group = groupLanes<L>(active, first);
        if (group != 0) closestHitGroup<L>(scene, packet, group, first, records);
    }
}

// The occlusion query of every lane of `lanes`, through the scene's wide or packed tree.
template <class L>
inline Floats<L> occlusionLanes(const Scene& scene, const Rays<L>& r, std::uint32_t lanes) {
    if (isWideTreeOf(scene.wideTree, scene.root))
        return walkWideOcclusion(scene.wideTree, r, lanes);
    return walkOcclusion(scene.packedTree, r, rootLanes(scene.packedTree, r, lanes));
}

template <class L>
inline void occlusionSums(const Scene& scene, const RayPacket& packet, std::uint32_t active,
                          float* amounts) {
    for (int first = 0; first < kMaxPacketLanes; first += L::kWidth) {
        const std::uint32_t group = groupLanes<L>(active, first);
        if (group == 0) continue;
        const FloatArray<L> sums =
            arrayOf(occlusionLanes(scene, loadRays<L>(packet, first), group));
        for (int k = 0; k < L::kWidth; ++k) {
            if ((group >> k & 1u) != 0) amounts[first + k] = sums.values[std::size_t(k)];
        }
    }
}

}  // namespace lucentor::packetwalk
