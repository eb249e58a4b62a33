#include "query/wide_walk.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "query/occlusion.h"
#include "query/triangle_leaves.h"
#include "query/wide_fetch.h"
#include "simd/intrinsics.h"
#include "simd/one_lane.h"

namespace lucentor {
namespace {

// One axis of the ray in every lane of the four-lane arithmetic that tests a node's children
// together.
struct AxisLanes {
    __m128 origin;
    __m128 inverse;
};

struct RayLanes4 {
    AxisLanes x;
    AxisLanes y;
    AxisLanes z;
};

RayLanes4 lanesOf(const WideRay& ray) {
    return {{_mm_set1_ps(ray.origin.x), _mm_set1_ps(ray.inverse.x)},
            {_mm_set1_ps(ray.origin.y), _mm_set1_ps(ray.inverse.y)},
            {_mm_set1_ps(ray.origin.z), _mm_set1_ps(ray.inverse.z)}};
}

// The slab spans of four of a node's children, lane by lane the arithmetic of boxSpan:
// minps(a, b) is a < b ? a : b and maxps(a, b) is a > b ? a : b, the ternaries of axisSpan and
// narrowed, in their order.
struct Spans4 {
    __m128 entry;
    __m128 exit;
};

// A node's children are tested four at a time, the width of the baseline's arithmetic.
constexpr std::size_t kRunLanes = 4;
constexpr std::size_t kChildRuns = std::size_t(kWideChildren) / kRunLanes;
static_assert(kWideChildren % int(kRunLanes) == 0);

using NodeSpans = std::array<Spans4, kChildRuns>;

// The spans of the four children from `first`, whose corners lie 16-byte aligned in the node.
Spans4 axisSpans(const AxisLanes& axis, const std::array<float, kWideChildren>& boxMin,
                 const std::array<float, kWideChildren>& boxMax, std::size_t first) {
    const __m128 t1 =
        _mm_mul_ps(_mm_sub_ps(_mm_load_ps(boxMin.data() + first), axis.origin), axis.inverse);
    const __m128 t2 =
        _mm_mul_ps(_mm_sub_ps(_mm_load_ps(boxMax.data() + first), axis.origin), axis.inverse);
    return {_mm_min_ps(t1, t2), _mm_max_ps(t1, t2)};
}

Spans4 narrowed(const Spans4& span, const Spans4& axis) {
    return {_mm_max_ps(span.entry, axis.entry), _mm_min_ps(span.exit, axis.exit)};
}

NodeSpans childSpans(const RayLanes4& r, const WideNode& node) {
    NodeSpans spans{};
    for (std::size_t run = 0; run < kChildRuns; ++run) {
        const std::size_t first = run * kRunLanes;
        const Spans4 x = axisSpans(r.x, node.boxMin[0], node.boxMax[0], first);
        const Spans4 y = axisSpans(r.y, node.boxMin[1], node.boxMax[1], first);
        const Spans4 z = axisSpans(r.z, node.boxMin[2], node.boxMax[2], first);
        spans[run] = narrowed(narrowed(x, y), z);
    }
    return spans;
}

// Of each run of four children, the bits of `test`, child k as bit k.
template <class Test>
unsigned childBits(const NodeSpans& spans, const Test& test) {
    unsigned bits = 0;
    for (std::size_t run = 0; run < kChildRuns; ++run) {
        bits |= unsigned(_mm_movemask_ps(test(spans[run]))) << (run * kRunLanes);
    }
    return bits;
}

// The children whose box the ray hits (spanHits), as bits.
unsigned hitChildren(const NodeSpans& spans) {
    return childBits(spans, [](const Spans4& span) {
        return _mm_and_ps(_mm_cmpge_ps(span.exit, span.entry),
                          _mm_cmpgt_ps(span.exit, _mm_setzero_ps()));
    });
}

// A child of a node, with the distance at which the ray enters its box.
struct Pending {
    std::int32_t child;
    std::uint8_t count;
    float entry;
};

// Each level pushes at most kWideChildren children and pops one.
constexpr int kMaxPending = (kWideChildren - 1) * kMaxWideLevels + kWideChildren;

// The children waiting on the closest-hit walk, a child and its count in one word: a record
// written field by field and then read as one wider word, as a copied struct was, waits for
// the stores to reach the cache (the processor cannot forward them), and the walk pops what
// it has just pushed.
// Its arrays are left unset: only entries below size are read, and each is written first.
struct PendingStack {  // NOLINT(*-pro-type-member-init)
    std::array<std::uint64_t, kMaxPending> children;
    std::array<float, kMaxPending> entries;
    int size = 0;
};

std::uint64_t childWord(std::int32_t child, std::uint8_t count) {
    return std::uint64_t(std::uint32_t(child)) | std::uint64_t(count) << 32u;
}

Pending popped(PendingStack& stack) {
    const auto at = std::size_t(--stack.size);
    const std::uint64_t word = stack.children[at];
    return {std::int32_t(std::uint32_t(word)), std::uint8_t(word >> 32u), stack.entries[at]};
}

// closestApproach for a leaf's four spheres at once, the same operations in the same order
// (dot products summed x, y, z), then the near intersection tca - sqrt(r^2 - d2): sqrtps is
// the correctly rounded root, as squareRoot's double root narrowed to float is.
struct LeafApproach {
    __m128 tca;
    __m128 d2;
    __m128 hit;
    unsigned passing;  // neither tca < 0 nor d2 > r^2, among the leaf's spheres
};

LeafApproach approachLeaf(const WideLeaf& leaf, int count, const WideRay& ray) {
    const __m128 toX = _mm_sub_ps(_mm_load_ps(leaf.centerX.data()), _mm_set1_ps(ray.origin.x));
    const __m128 toY = _mm_sub_ps(_mm_load_ps(leaf.centerY.data()), _mm_set1_ps(ray.origin.y));
    const __m128 toZ = _mm_sub_ps(_mm_load_ps(leaf.centerZ.data()), _mm_set1_ps(ray.origin.z));
    const __m128 dx = _mm_set1_ps(ray.direction.x);
    const __m128 dy = _mm_set1_ps(ray.direction.y);
    const __m128 dz = _mm_set1_ps(ray.direction.z);
    const __m128 tca =
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(toX, dx), _mm_mul_ps(toY, dy)), _mm_mul_ps(toZ, dz));
    const __m128 offX = _mm_sub_ps(toX, _mm_mul_ps(dx, tca));
    const __m128 offY = _mm_sub_ps(toY, _mm_mul_ps(dy, tca));
    const __m128 offZ = _mm_sub_ps(toZ, _mm_mul_ps(dz, tca));
    const __m128 d2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(offX, offX), _mm_mul_ps(offY, offY)),
                                 _mm_mul_ps(offZ, offZ));
    const __m128 r2 = _mm_load_ps(leaf.radiusSquared.data());
    const __m128 missing = _mm_or_ps(_mm_cmplt_ps(tca, _mm_setzero_ps()), _mm_cmpgt_ps(d2, r2));
    const unsigned inLeaf = (1u << unsigned(count)) - 1u;
    return {tca, d2, _mm_sub_ps(tca, _mm_sqrt_ps(_mm_sub_ps(r2, d2))),
            inLeaf & ~unsigned(_mm_movemask_ps(missing))};
}

// A sphere counts only where its hit lies no nearer than `entry`, where the ray enters the
// leaf's box (see closestWideHit).
void testLeaf(const WideTree& tree, const Pending& leafChild, const WideRay& ray, WideHit& hit) {
    const std::int32_t child = leafChild.child;
    const int count = leafChild.count;
    const WideLeaf& leaf = tree.leaves[wideLeafIndex(child)];
    const LeafApproach line = approachLeaf(leaf, count, ray);
    if (line.passing == 0) return;
    alignas(16) std::array<float, kWideLeafSpheres> hits{};
    _mm_store_ps(hits.data(), line.hit);
    // In sphere order, each against the hit the ones before it left.
    for (unsigned bits = line.passing; bits != 0; bits &= bits - 1) {
        const auto s = std::size_t(__builtin_ctz(bits));
        const float t = hits[s];
        if (!(t > 0.0f) || !(t >= leafChild.entry)) continue;
        const int slot = slotOf(leaf.tags[s]);
        if (hit.t > t || (hit.t == t && hit.slot >= 0 && slot < hit.slot)) hit = {t, slot};
    }
}

float blockingOf(const WideTree& tree, std::int32_t child, int count, const WideRay& ray) {
    const WideLeaf& leaf = tree.leaves[wideLeafIndex(child)];
    float sum = 0.0f;
    for (unsigned bits = approachLeaf(leaf, count, ray).passing; bits != 0; bits &= bits - 1) {
        sum += isRefractive(leaf.tags[std::size_t(__builtin_ctz(bits))]) ? kGlassBlocking : 1.0f;
    }
    return sum;
}

TriangleRays<scalar::Lanes> triangleRayOf(const Vec3& origin, const Vec3& direction) {
    return triangleRaysOf<scalar::Lanes>(scalar::lanesOf(origin), scalar::lanesOf(direction));
}

// The ray in the triangle test's frame, worked out only for a tree with triangles.
TriangleRays<scalar::Lanes> triangleRayOf(const WideTree& tree, const WideRay& ray) {
    if (tree.triangleLeaves.empty()) return {};
    return triangleRayOf(ray.origin, ray.direction);
}

void testTriangles(const WideTree& tree, const TriangleRays<scalar::Lanes>& r,
                   const Pending& leafChild, WideHit& hit) {
    Floats<scalar::Lanes> t = hit.t;
    testTriangleLeaf<scalar::Lanes>(tree, r, leafChild.child, leafItemCount(leafChild.count), 1u,
                                    leafChild.entry, t, &hit.slot);
    hit.t = t.value;
}

// Fetches the lines of a node's child ahead of its visit: an inner node's, a sphere leaf's. A
// triangle leaf's are left to its visit. Inlined by force, as the fetches it calls.
[[gnu::always_inline]] inline void prefetchChild(const WideTree& tree, std::int32_t child,
                                                 std::uint8_t count) {
    if (!isWideLeaf(count)) {
        prefetchWideNode<scalar::Lanes>(tree, child);
    } else if (!isTriangleLeaf(count)) {
        prefetchWideLeaf<scalar::Lanes>(tree, child, count);
    }
}

// Inlined by force (g++ kept it a call): 8 % more one-ray camera rays a second at 1,000 spheres.
// Of the children of `node` that the ray enters no later than t, the nearest becomes `next`
// and the others are pushed farthest first, so that the nearest is visited first and lowers t
// before the others are reached; false where there is none. Entering at exactly t still
// counts: a sphere there may win on its slot.
[[gnu::always_inline]] inline bool visitNearestPushRest(const WideTree& tree, const WideNode& node,
                                                        const NodeSpans& spans, float t,
                                                        PendingStack& stack, Pending& next) {
    alignas(16) std::array<float, kWideChildren> entries{};
    for (std::size_t run = 0; run < kChildRuns; ++run) {
        _mm_store_ps(entries.data() + run * kRunLanes, spans[run].entry);
    }
    const __m128 limit = _mm_set1_ps(t);
    const unsigned reached = hitChildren(spans) & childBits(spans, [&](const Spans4& span) {
                                 return _mm_cmple_ps(span.entry, limit);
                             });
    if (reached == 0) return false;
    if ((reached & (reached - 1)) == 0) {
        // One child alone, the common case below the top levels: it goes nowhere near the stack.
        const auto k = std::size_t(__builtin_ctz(reached));
        next = {node.children[k], node.counts[k], entries[k]};
        return true;
    }
    const int first = stack.size;
    for (unsigned bits = reached; bits != 0; bits &= bits - 1) {
        const auto k = std::size_t(__builtin_ctz(bits));
        const std::uint64_t child = childWord(node.children[k], node.counts[k]);
        const float entry = entries[k];
        int at = stack.size++;
        // Insertion by decreasing entry: at most kWideChildren children.
        for (; at > first && stack.entries[std::size_t(at - 1)] < entry; --at) {
            stack.children[std::size_t(at)] = stack.children[std::size_t(at - 1)];
            stack.entries[std::size_t(at)] = stack.entries[std::size_t(at - 1)];
        }
        stack.children[std::size_t(at)] = child;
        stack.entries[std::size_t(at)] = entry;
    }
    next = popped(stack);
    // Their lines load while the nearest is visited.
    for (int i = first; i < stack.size; ++i) {
        const std::uint64_t word = stack.children[std::size_t(i)];
        prefetchChild(tree, std::int32_t(std::uint32_t(word)), std::uint8_t(word >> 32u));
    }
    return true;
}

}  // namespace

void closestWideHit(const WideTree& tree, int node, const WideRay& ray, WideHit& hit) {
    const RayLanes4 r = lanesOf(ray);
    const TriangleRays<scalar::Lanes> triangleRay = triangleRayOf(tree, ray);
    PendingStack stack;
    // `node` itself is visited whatever hit.t is.
    Pending next{node, kInnerChild, -std::numeric_limits<float>::infinity()};
    for (;;) {
        if (!isWideLeaf(next.count)) {
            const WideNode& inner = tree.nodes[std::size_t(next.child)];
            if (visitNearestPushRest(tree, inner, childSpans(r, inner), hit.t, stack, next)) {
                continue;
            }
        } else if (isTriangleLeaf(next.count)) {
            testTriangles(tree, triangleRay, next, hit);
        } else {
            testLeaf(tree, next, ray, hit);
        }
        do {
            if (stack.size == 0) return;
            next = popped(stack);
        } while (next.entry > hit.t);
    }
}

float wideOcclusion(const WideTree& tree, int node, const WideRay& ray, float sum) {
    const RayLanes4 r = lanesOf(ray);
    const TriangleRays<scalar::Lanes> triangleRay = triangleRayOf(tree, ray);
    std::array<std::int32_t, kMaxPending> pending;  // NOLINT(*-pro-type-member-init): as above
    int count = 0;
    pending[std::size_t(count++)] = node;
    while (count > 0) {
        const WideNode& inner = tree.nodes[std::size_t(pending[std::size_t(--count)])];
        // Every child the ray meets, leaves at once: their sums do not hang on the order.
        for (unsigned bits = hitChildren(childSpans(r, inner)); bits != 0; bits &= bits - 1) {
            const auto k = std::size_t(__builtin_ctz(bits));
            const std::uint8_t items = inner.counts[k];
            if (!isWideLeaf(items)) {
                prefetchChild(tree, inner.children[k], items);
                pending[std::size_t(count++)] = inner.children[k];
                continue;
            }
            sum += isTriangleLeaf(items)
                       ? triangleLeafBlocking<scalar::Lanes>(tree, triangleRay, inner.children[k],
                                                             leafItemCount(items), 1u)
                             .value
                       : blockingOf(tree, inner.children[k], items, ray);
            if (sum >= 1.0f) return 1.0f;
        }
    }
    return sum;
}

void testTriangleLeafAlone(const WideTree& tree, const Vec3& origin, const Vec3& direction,
                           std::int32_t child, std::uint8_t count, float entry, WideHit& hit) {
    testTriangles(tree, triangleRayOf(origin, direction), {child, count, entry}, hit);
}

bool triangleLeafBlocksAlone(const WideTree& tree, const Vec3& origin, const Vec3& direction,
                             std::int32_t child, std::uint8_t count, float entry, float t) {
    return trianglesBlocking<scalar::Lanes>(tree, triangleRayOf(origin, direction), child,
                                            leafItemCount(count), 1u, entry, t) != 0;
}

float triangleLeafBlockingAlone(const WideTree& tree, const Vec3& origin, const Vec3& direction,
                                std::int32_t child, std::uint8_t count) {
    return triangleLeafBlocking<scalar::Lanes>(tree, triangleRayOf(origin, direction), child,
                                               leafItemCount(count), 1u)
        .value;
}

}  // namespace lucentor
