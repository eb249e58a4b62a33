#include "query/traversal.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "engine/startup.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"
#include "query/geometry.h"
#include "tests/support/random_scene.h"

namespace lucentor {
namespace {

using testing::normalized;

// Hand-made trees, so that each test fixes exactly which child is left and which is right.
BvhNode* leafNode(Vec3 center, float radius) {
    auto* leaf = new BvhNode;
    leaf->sphere = new Sphere{center, radius, radius * radius, {1, 1, 1}, 0.0f};
    leaf->boxMin = center - Vec3{radius, radius, radius};
    leaf->boxMax = center + Vec3{radius, radius, radius};
    return leaf;
}

float smaller(float a, float b) { return a < b ? a : b; }
float larger(float a, float b) { return a > b ? a : b; }

BvhNode* innerNode(BvhNode* left, BvhNode* right) {
    auto* node = new BvhNode;
    node->left = left;
    node->right = right;
    node->boxMin = {smaller(left->boxMin.x, right->boxMin.x),
                    smaller(left->boxMin.y, right->boxMin.y),
                    smaller(left->boxMin.z, right->boxMin.z)};
    node->boxMax = {larger(left->boxMax.x, right->boxMax.x),
                    larger(left->boxMax.y, right->boxMax.y),
                    larger(left->boxMax.z, right->boxMax.z)};
    return node;
}

Ray alongMinusZ() { return {{0, 0, 0}, {0, 0, -1}}; }

// An inner node over two leaf spheres, walked by one ray along -z from the origin.
struct TwoLeafWalk {
    BvhNode* left;
    BvhNode* right;
    std::unique_ptr<BvhNode> root;
    Ray ray = alongMinusZ();
    const BvhNode* found;

    TwoLeafWalk(Vec3 leftCenter, Vec3 rightCenter)
        : left(leafNode(leftCenter, 1.0f)),
          right(leafNode(rightCenter, 1.0f)),
          root(innerNode(left, right)),
          found(root->intersect(0, ray)) {}
};

TEST(Traversal, FarChildNearerThanNearChildHit) {
    // The left box is entered first (at 4) but its sphere is hit at 5 - sqrt(0.19); the right
    // sphere, in the box entered at 4.5, is nearer and must win.
    const TwoLeafWalk walk({0.9f, 0, -5}, {0, 0, -5.5f});
    EXPECT_TRUE(walk.root->leftChildFirst(alongMinusZ()));
    EXPECT_EQ(walk.found, walk.right);
    EXPECT_EQ(walk.ray.t, 4.5f);
}

TEST(Traversal, FarChildBeyondTheHitIsNotNeeded) {
    const TwoLeafWalk walk({0, 0, -5}, {0, 0, -8});
    EXPECT_EQ(walk.found, walk.left);
    EXPECT_EQ(walk.ray.t, 4.0f);
}

TEST(Traversal, EqualEntriesSearchRightFirstAndItKeepsATiedHit) {
    const TwoLeafWalk walk({0, 0, -5}, {0, 0, -5});
    EXPECT_FALSE(walk.root->leftChildFirst(alongMinusZ()));
    EXPECT_EQ(walk.found, walk.right);
    EXPECT_EQ(walk.ray.t, 4.0f);
}

TEST(Traversal, MissedSpheresLeaveTUnchanged) {
    const TwoLeafWalk walk({3, 0, -5}, {-3, 0, -5});
    EXPECT_EQ(walk.found, nullptr);
    EXPECT_EQ(walk.ray.t, kFarDistance);
}

TEST(Traversal, OriginInsideABoxOrdersByItsExit) {
    // The left box holds the origin and is left at 3; the right box is entered at 2.
    BvhNode* left = leafNode({0, 0, -1}, 2.0f);
    BvhNode* right = leafNode({3, 0, -2.5f}, 0.5f);
    right->boxMin.x = -1.0f;  // stretch the right box across the ray, away from its sphere
    const std::unique_ptr<BvhNode> root(innerNode(left, right));
    Ray ray = alongMinusZ();
    EXPECT_FALSE(root->leftChildFirst(ray));
    // The ray starts inside the left sphere, so it hits neither sphere.
    EXPECT_EQ(root->intersect(0, ray), nullptr);
    EXPECT_EQ(ray.t, kFarDistance);
}

// A chain of `levels` inner nodes along -z. At each level the left child is a leaf whose box
// the ray crosses without touching its sphere (when `bothHit`) or whose box lies off the ray;
// the right child continues the chain, which ends in a sphere the ray hits.
BvhNode* chain(int levels, bool bothHit) {
    BvhNode* node = leafNode({0, 0, -1000}, 1.0f);
    for (int level = levels - 1; level >= 0; --level) {
        const float z = -2.0f - 0.001f * float(level);
        // A sphere of radius 1 centred 1.9 off the ray on two axes: its box holds the ray,
        // the sphere itself (1.9 * sqrt(2) away) does not.
        BvhNode* side = leafNode({bothHit ? 0.95f : 5.0f, 0.95f, z}, 1.0f);
        node = innerNode(side, node);
    }
    return node;
}

TEST(TraversalDepth, SingleHitChildrenDoNotDeepenTheWalk) {
    const std::unique_ptr<BvhNode> root(chain(60, false));
    Ray ray = alongMinusZ();
    ray.t = 1000.0f;
    EXPECT_NE(root->intersect(0, ray), nullptr);
    EXPECT_EQ(ray.t, 999.0f);
}

TEST(TraversalDepth, BothHitLevelsBeyondTheLimitAreCutOff) {
    // The final leaf hangs below 50 levels at which both children are hit (depths 0..49), so
    // its parent is walked at depth 50, still within the limit; one more level is not.
    const std::unique_ptr<BvhNode> within(chain(51, true));
    Ray reached = alongMinusZ();
    reached.t = 1000.0f;
    EXPECT_NE(within->intersect(0, reached), nullptr);

    const std::unique_ptr<BvhNode> beyond(chain(52, true));
    Ray cut = alongMinusZ();
    cut.t = 1000.0f;
    EXPECT_EQ(beyond->intersect(0, cut), nullptr);
    EXPECT_EQ(cut.t, 1000.0f);
}

// The walk as first designed: the first sphere accepted in near-child-first order, never
// searching the far child after a hit. Kept to show which pictures the nearest-hit walk
// changes.
BvhNode* firstAccepted(const BvhNode& node, int depth, Ray& ray) {
    if (depth > kMaxTraversalDepth) return nullptr;
    const bool leftHit = hitsBox(ray, node.left->boxMin, node.left->boxMax);
    const bool rightHit = hitsBox(ray, node.right->boxMin, node.right->boxMax);
    const auto search = [&ray](BvhNode* child, int childDepth) -> BvhNode* {
        if (child->left != nullptr) return firstAccepted(*child, childDepth, ray);
        return hitSphere(ray, child->sphere->center, child->sphere->radiusSquared) ? child
                                                                                   : nullptr;
    };
    if (leftHit != rightHit) return search(leftHit ? node.left : node.right, depth);
    if (!leftHit) return nullptr;
    const bool leftFirst = node.leftChildFirst(ray);
    if (BvhNode* found = search(leftFirst ? node.left : node.right, depth + 1)) return found;
    return search(leftFirst ? node.right : node.left, depth + 1);
}

struct WalkComparison {
    int rays = 0;
    int differing = 0;
    int fartherThanMended = 0;  // the old walk's sphere lies farther than the mended one's
};

void compareWalks(const Scene& scene, const Ray& start, WalkComparison& result) {
    if (scene.root->left == nullptr) return;
    Ray mended = start;
    Ray old = start;
    const bool rootHit = hitsBox(start, scene.root->boxMin, scene.root->boxMax);
    const BvhNode* mendedLeaf = rootHit ? scene.root->intersect(0, mended) : nullptr;
    const BvhNode* oldLeaf = rootHit ? firstAccepted(*scene.root, 0, old) : nullptr;
    ++result.rays;
    if (mendedLeaf != oldLeaf || mended.t != old.t) {
        ++result.differing;
        if (mended.t < old.t) ++result.fartherThanMended;
    }
}

// Rays through the centres of a 640 x 480 image plane two units in front of the eye, and the
// rays that mirror and glass spheres send on: from just inside their surface in any
// direction, and from just outside it away from the sphere.
WalkComparison compareOnPreset(Preset preset) {
    const std::unique_ptr<Scene> scene(createPresetScene(preset));
    WalkComparison result;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            const float u = float(x) / 639.0f;
            const float v = float(y) / 479.0f;
            compareWalks(*scene, {{0, 0, 0}, normalized({u * 2.7f - 1.35f, v * 2.0f - 1.0f, -2})},
                         result);
        }
    }
    std::mt19937 random(7);
    for (int k = 0; k < scene->sphereCount; ++k) {
        const Sphere& sphere = *scene->leaves[k]->sphere;
        if (sphere.material == 0.0f) continue;
        for (int i = 0; i < 50000; ++i) {
            const Vec3 normal = testing::randomRay(random).direction;
            const bool outside = i % 2 == 0;
            const Vec3 origin =
                sphere.center + normal * (sphere.radius + (outside ? 0.001f : -0.001f));
            Vec3 direction = testing::randomRay(random).direction;
            if (outside && dot(direction, normal) < 0.0f) direction = -direction;
            compareWalks(*scene, {origin, direction}, result);
        }
    }
    return result;
}

TEST(TraversalPresets, BoxAndTrioSeeNoDifferenceFromFirstAcceptedWalk) {
    for (Preset preset : {&buildBoxScene, &buildTrioScene}) {
        const WalkComparison result = compareOnPreset(preset);
        EXPECT_GT(result.rays, 400000);
        EXPECT_EQ(result.differing, 0);
    }
}

TEST(TraversalPresets, FieldGetsNearerSpheresWhereTheOldWalkStoppedEarly) {
    const WalkComparison result = compareOnPreset(&buildFieldScene);
    EXPECT_GT(result.differing, 1000);
    EXPECT_EQ(result.fartherThanMended, result.differing);
}

}  // namespace
}  // namespace lucentor
