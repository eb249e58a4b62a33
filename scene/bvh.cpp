#include "scene/bvh.h"

#include <array>
#include <cassert>
#include <cmath>

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
Bounds boundsOf(BvhNode* const* nodes, int count, Bounds (*of)(const BvhNode*)) {
    Bounds bounds = of(nodes[0]);
    for (int i = 1; i < count; ++i) bounds = united(bounds, of(nodes[i]));
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

struct NodeList {
    std::array<BvhNode*, kMaxSpheres> nodes{};
    int count = 0;

    void append(BvhNode* node) { nodes[count++] = node; }
};

struct Partition {
    NodeList lower;
    NodeList upper;

    // A split is usable when both sides are non-empty and each can still be finished within
    // the depth limit one level further down.
    bool usableAt(int depth) const {
        const int cap = capacityAt(depth + 1);
        return lower.count > 0 && upper.count > 0 && lower.count <= cap && upper.count <= cap;
    }
};

// The regular split: centres strictly below the middle of the bounds go to the lower side;
// equal, above and NaN centres go to the upper side. Both sides keep the input order.
void splitAtMidpoint(BvhNode* const* nodes, int count, Partition& out) {
    const Bounds bounds = boundsOf(nodes, count, boxOf);
    const Vec3 extent = bounds.hi - bounds.lo;
    const int axis = longestAxis(extent);
    const float splitValue = component(extent, axis) * 0.5f + component(bounds.lo, axis);
    for (int i = 0; i < count; ++i) {
        if (component(nodes[i]->sphere->center, axis) < splitValue) {
            out.lower.append(nodes[i]);
        } else {
            out.upper.append(nodes[i]);
        }
    }
}

// NaN orders after every number, so the order is strict and weak even with NaN centres.
bool orderedBefore(float a, float b) { return a < b || (!std::isnan(a) && std::isnan(b)); }

// The fallback split, for lists where the midpoint leaves a side empty (one huge sphere
// widening the bounds, centres that coincide, NaN centres) or too large for the depth left:
// halve the list in order of centre along the axis where the centres spread furthest.
// Halving always gives two non-empty sides, each within the next level's capacity.
void splitAtMedian(BvhNode* const* nodes, int count, Partition& out) {
    const Bounds centers = boundsOf(nodes, count, centerOf);
    const int axis = longestAxis(centers.hi - centers.lo);
    const auto keyOf = [axis](const BvhNode* node) {
        return component(node->sphere->center, axis);
    };

    // Stable insertion sort into the lower list: lists are short, and nodes with equal
    // centres keep their input order, so the result does not depend on the sort.
    NodeList& sorted = out.lower;
    for (int i = 0; i < count; ++i) {
        int j = i;
        while (j > 0 && orderedBefore(keyOf(nodes[i]), keyOf(sorted.nodes[j - 1]))) {
            sorted.nodes[j] = sorted.nodes[j - 1];
            --j;
        }
        sorted.nodes[j] = nodes[i];
    }
    const int half = count / 2;
    out.upper.count = 0;
    for (int i = half; i < count; ++i) out.upper.append(sorted.nodes[i]);
    sorted.count = half;
}

}  // namespace

BvhNode* Scene::buildBvh(int depth, BvhNode* const* nodes, int count) {
    if (depth > kMaxBuildDepth || count <= 0) return nullptr;
    assert(count <= kMaxSpheres && count <= capacityAt(depth));
    if (count == 1) return nodes[0];
    if (count == 2) return makeInnerNode(nodes[0], nodes[1]);

    Partition sides;
    splitAtMidpoint(nodes, count, sides);
    if (!sides.usableAt(depth)) splitAtMedian(nodes, count, sides);

    BvhNode* left = buildBvh(depth + 1, sides.lower.nodes.data(), sides.lower.count);
    BvhNode* right = buildBvh(depth + 1, sides.upper.nodes.data(), sides.upper.count);
    return makeInnerNode(left, right);
}

}  // namespace lucentor
