#include "scene/bvh.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "scene/scene.h"

namespace lucentor {

BvhNode::~BvhNode() {
    delete sphere;
    delete left;
    delete right;
}

namespace {

struct Bounds {
    Vec3 lo;
    Vec3 hi;
};

// Box union that prefers a number to NaN, so that one NaN coordinate cannot blank out the
// boxes of its siblings. On numbers these are exactly "take the candidate where it is
// smaller (larger)".
float lower(float current, float candidate) {
    return (candidate < current || std::isnan(current)) ? candidate : current;
}

float upper(float current, float candidate) {
    return (candidate > current || std::isnan(current)) ? candidate : current;
}

// The smallest box around both, in the NaN-tolerant sense above.
Bounds united(const Bounds& a, const Bounds& b) {
    return {{lower(a.lo.x, b.lo.x), lower(a.lo.y, b.lo.y), lower(a.lo.z, b.lo.z)},
            {upper(a.hi.x, b.hi.x), upper(a.hi.y, b.hi.y), upper(a.hi.z, b.hi.z)}};
}

Bounds boxOf(const BvhNode* node) { return {node->boxMin, node->boxMax}; }

Bounds centerOf(const BvhNode* node) { return {node->sphere->center, node->sphere->center}; }

// Start with the first node's bounds and widen them by every further one, in list order.
Bounds boundsOf(std::span<BvhNode* const> nodes, Bounds (*of)(const BvhNode*)) {
    Bounds bounds = of(nodes[0]);
    for (std::size_t i = 1; i < nodes.size(); ++i) bounds = united(bounds, of(nodes[i]));
    return bounds;
}

// Strict comparisons: every tie for the largest extent, and every NaN extent, goes to z.
int longestAxis(const Vec3& extent) {
    if (extent.x > extent.y && extent.x > extent.z) return 0;
    if (extent.y > extent.x && extent.y > extent.z) return 1;
    return 2;
}

float component(const Vec3& v, int axis) {
    if (axis == 0) return v.x;
    return axis == 1 ? v.y : v.z;
}

BvhNode* makeInnerNode(BvhNode* left, BvhNode* right) {
    const Bounds box = united(boxOf(left), boxOf(right));
    auto* node = new BvhNode;
    node->boxMin = box.lo;
    node->boxMax = box.hi;
    node->left = left;
    node->right = right;
    return node;
}

// The largest list that can still be built at `depth` with every inner node at depth
// kMaxBuildDepth or above: each further level of halving doubles it.
int capacityAt(int depth) {
    const int levels = kMaxBuildDepth + 1 - depth;
    if (levels <= 0) return 1;
    return levels >= 30 ? 1 << 30 : 1 << levels;
}

// Whether a split into sides of these sizes is usable: both non-empty and each still
// finishable within the depth limit one level further down.
bool usableAt(int depth, std::size_t lower, std::size_t upper) {
    const auto cap = std::size_t(capacityAt(depth + 1));
    return lower > 0 && upper > 0 && lower <= cap && upper <= cap;
}

struct Midpoint {
    int axis = 2;
    float value = 0.0f;
};

// The regular split: centres strictly below the middle of the bounds go to the lower side;
// equal, above and NaN centres go to the upper side.
Midpoint midpointOf(std::span<BvhNode* const> nodes) {
    const Bounds bounds = boundsOf(nodes, boxOf);
    const Vec3 extent = bounds.hi - bounds.lo;
    const int axis = longestAxis(extent);
    return {axis, component(extent, axis) * 0.5f + component(bounds.lo, axis)};
}

bool isBelow(const BvhNode* node, const Midpoint& split) {
    return component(node->sphere->center, split.axis) < split.value;
}

// NaN orders after every number, so the order is strict and weak even with NaN centres.
bool orderedBefore(float a, float b) { return a < b || (!std::isnan(a) && std::isnan(b)); }

// The fallback split, for lists where the midpoint leaves a side empty (one huge sphere
// widening the bounds, centres that coincide, NaN centres) or too large for the depth left:
// halve the list in order of centre along the axis where the centres spread furthest.
// Halving always gives two non-empty sides, each within the next level's capacity. The sort
// is stable, so nodes with equal centres keep their input order.
std::size_t splitAtMedian(std::span<BvhNode*> nodes) {
    const Bounds centers = boundsOf(nodes, centerOf);
    const int axis = longestAxis(centers.hi - centers.lo);
    std::stable_sort(nodes.begin(), nodes.end(), [axis](const BvhNode* a, const BvhNode* b) {
        return orderedBefore(component(a->sphere->center, axis),
                             component(b->sphere->center, axis));
    });
    return nodes.size() / 2;
}

// Reorders `nodes` into the lower side followed by the upper side, each side in input order
// (or, for the median split, in centre order), and returns the lower side's size. The
// midpoint's sides are counted before anything moves, so that the median split, when it is
// needed, starts from the input order.
std::size_t split(int depth, std::span<BvhNode*> nodes) {
    const Midpoint midpoint = midpointOf(nodes);
    const auto lower = std::size_t(std::count_if(
        nodes.begin(), nodes.end(), [&](const BvhNode* n) { return isBelow(n, midpoint); }));
    if (!usableAt(depth, lower, nodes.size() - lower)) return splitAtMedian(nodes);
    std::stable_partition(nodes.begin(), nodes.end(),
                          [&](const BvhNode* n) { return isBelow(n, midpoint); });
    return lower;
}

// The recursion of buildBvh over a list it may reorder: one stack frame per level and no list
// copies, so that a million leaves cost what the tree needs.
BvhNode* buildOver(int depth, std::span<BvhNode*> nodes) {
    if (depth > kMaxBuildDepth || nodes.empty()) return nullptr;
    if (nodes.size() == 1) return nodes[0];
    if (nodes.size() == 2) return makeInnerNode(nodes[0], nodes[1]);
    const std::size_t lower = split(depth, nodes);
    BvhNode* left = buildOver(depth + 1, nodes.first(lower));
    BvhNode* right = buildOver(depth + 1, nodes.subspan(lower));
    return makeInnerNode(left, right);
}

}  // namespace

BvhNode* Scene::buildBvh(int depth, BvhNode* const* nodes, int count) {
    if (depth > kMaxBuildDepth || count <= 0) return nullptr;
    std::vector<BvhNode*> list(nodes, nodes + count);
    return buildOver(depth, list);
}

}  // namespace lucentor
