#include "scene/bvh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "scene/scene.h"
#include "tests/support/free_recorder.h"
#include "tests/support/tree_check.h"

namespace lucentor {
namespace {

using testing::FreeRecorder;
using testing::ownedByTree;
using testing::treeProblem;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

void addUnitSpheres(Scene& scene, const std::vector<Vec3>& centers) {
    for (const Vec3& c : centers) scene.addSphere(c, 1.0f, {1, 1, 1}, 0.0f);
}

std::string problemOf(const Scene& scene) {
    return treeProblem(scene.root, scene.leaves.data(), scene.sphereCount);
}

int innerDepth(const BvhNode* node) {
    if (node->left == nullptr) return -1;
    return 1 + std::max(innerDepth(node->left), innerDepth(node->right));
}

TEST(BvhBuild, NoSpheresGiveNoTree) {
    Scene scene;
    scene.buildHierarchy();
    EXPECT_EQ(scene.root, nullptr);
    EXPECT_EQ(Scene::buildBvh(0, scene.leaves.data(), -3), nullptr);
}

TEST(BvhBuild, OneSphereIsItsOwnLeaf) {
    Scene scene;
    addUnitSpheres(scene, {{1, 2, 3}});
    scene.buildHierarchy();
    EXPECT_EQ(scene.root, scene.leaves[0]);
}

TEST(BvhBuild, TwoSpheresInOrderUnderOneNode) {
    Scene scene;
    scene.addSphere({4, 0, 0}, 1.0f, {1, 1, 1}, 0.0f);
    scene.addSphere({0, 0, -2}, 0.5f, {1, 1, 1}, 0.0f);
    scene.buildHierarchy();
    ASSERT_NE(scene.root, nullptr);
    EXPECT_EQ(scene.root->left, scene.leaves[0]);
    EXPECT_EQ(scene.root->right, scene.leaves[1]);
    EXPECT_EQ(scene.root->sphere, nullptr);
    EXPECT_EQ(scene.root->boxMin, (Vec3{-0.5f, -1, -2.5f}));
    EXPECT_EQ(scene.root->boxMax, (Vec3{5, 1, 1}));
}

TEST(BvhBuild, DepthBeyondLimitGivesNothing) {
    Scene scene;
    addUnitSpheres(scene, {{0, 0, 0}, {2, 0, 0}});
    EXPECT_EQ(Scene::buildBvh(kMaxBuildDepth + 1, scene.leaves.data(), 1), nullptr);
    // At the limit itself a pair still gets its node.
    BvhNode* pair = Scene::buildBvh(kMaxBuildDepth, scene.leaves.data(), 2);
    ASSERT_NE(pair, nullptr);
    scene.root = pair;
}

// Extents 4, 2, 5: the split is on z at -1.5 and only the third sphere lies below it.
TEST(BvhBuild, ThreeSpheresSplitOnLongestAxis) {
    Scene scene;
    addUnitSpheres(scene, {{2, 0, -1}, {0, 0, 0}, {0, 0, -3}});
    scene.buildHierarchy();
    const BvhNode* root = scene.root;
    EXPECT_EQ(root->left, scene.leaves[2]);
    ASSERT_NE(root->right->left, nullptr);
    EXPECT_EQ(root->right->left, scene.leaves[0]);
    EXPECT_EQ(root->right->right, scene.leaves[1]);
    EXPECT_EQ(root->right->boxMin, (Vec3{-1, -1, -2}));
    EXPECT_EQ(root->right->boxMax, (Vec3{3, 1, 1}));
    EXPECT_EQ(root->boxMin, (Vec3{-1, -1, -4}));
    EXPECT_EQ(root->boxMax, (Vec3{3, 1, 1}));
}

TEST(BvhBuild, CentreOnSplitValueGoesUp) {
    Scene scene;
    addUnitSpheres(scene, {{0, 0, 0}, {2, 0, 0}, {4, 0, 0}});
    scene.buildHierarchy();
    EXPECT_EQ(scene.root->left, scene.leaves[0]);
    EXPECT_EQ(scene.root->right->left, scene.leaves[1]);
    EXPECT_EQ(scene.root->right->right, scene.leaves[2]);
}

// ex == ey > ez: the tie goes to z, the shortest axis, splitting at 0.25.
TEST(BvhBuild, TieForLongestAxisGoesToZ) {
    Scene scene;
    addUnitSpheres(scene, {{0, 0, 0}, {2, 2, 0}, {0, 2, 0.5f}});
    scene.buildHierarchy();
    ASSERT_NE(scene.root->left->left, nullptr);
    EXPECT_EQ(scene.root->left->left, scene.leaves[0]);
    EXPECT_EQ(scene.root->left->right, scene.leaves[1]);
    EXPECT_EQ(scene.root->right, scene.leaves[2]);
}

TEST(BvhBuild, NaNCentreGoesUpAndItsBoxHidesNothing) {
    Scene scene;
    addUnitSpheres(scene, {{0, 0, 0}, {kNaN, 0, 0}, {4, 0, 0}});
    scene.buildHierarchy();
    EXPECT_EQ(problemOf(scene), "");
    EXPECT_EQ(scene.root->left, scene.leaves[0]);
    EXPECT_EQ(scene.root->right->left, scene.leaves[1]);
    EXPECT_EQ(scene.root->right->right, scene.leaves[2]);
    // The NaN box must not swallow its sibling's bounds.
    EXPECT_EQ(scene.root->right->boxMin.x, 3.0f);
    EXPECT_EQ(scene.root->boxMin.x, -1.0f);
    EXPECT_EQ(scene.root->boxMax.x, 5.0f);
}

// Three unit spheres on one point: the midpoint leaves the lower side empty.
TEST(BvhBuildFallback, CoincidentCentresStillSplitInTwo) {
    Scene scene;
    addUnitSpheres(scene, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}});
    scene.buildHierarchy();
    EXPECT_EQ(problemOf(scene), "");
    // Equal centres keep their order: the first sphere alone on the left.
    EXPECT_EQ(scene.root->left, scene.leaves[0]);
}

// One huge sphere widens the bounds so far that every centre lies above the midpoint.
TEST(BvhBuildFallback, HugeSphereAmongSmallOnes) {
    Scene scene;
    scene.addSphere({0, 0, 0}, 1000.0f, {1, 1, 1}, 0.0f);
    for (int i = 1; i <= 6; ++i) scene.addSphere({float(i), 0, 0}, 0.1f, {1, 1, 1}, 0.0f);
    scene.buildHierarchy();
    EXPECT_EQ(problemOf(scene), "");
    // Halved along x, the axis where the centres spread: spheres 0 to 2 below, 3 to 6 above.
    const BvhNode* root = scene.root;
    EXPECT_EQ(root->left->left, scene.leaves[0]);
    EXPECT_EQ(root->boxMin.x, -1000.0f);
}

// Centres at powers of two: every midpoint split peels off the top two spheres (the split
// value equals the second-largest centre), which would need a chain of 55 inner nodes. The
// regular split is kept as long as the depth left allows.
TEST(BvhBuildFallback, ChainDeeperThanLimitIsRebalanced) {
    Scene scene;
    float x = 1.0f;
    for (int i = 0; i < kMaxSpheres; ++i, x *= 2.0f)
        scene.addSphere({x, 0, 0}, 0.25f, {1, 1, 1}, 0);
    scene.buildHierarchy();
    EXPECT_EQ(problemOf(scene), "");
    EXPECT_LE(innerDepth(scene.root), kMaxBuildDepth);
    EXPECT_EQ(scene.root->right->left, scene.leaves[kMaxSpheres - 2]);
    EXPECT_EQ(scene.root->right->right, scene.leaves[kMaxSpheres - 1]);
    EXPECT_EQ(scene.root->left->right->left, scene.leaves[kMaxSpheres - 4]);
}

// Random scenes over the inputs that break naive builders: coincident and collinear centres,
// huge and tiny scales, zero, negative, NaN and infinite sizes, geometric chains.
class SceneGenerator {
public:
    explicit SceneGenerator(unsigned seed) : random_(seed) {}

    void fill(Scene& scene) {
        const int count = pick(0, 3) == 0 ? kMaxSpheres : pick(0, kMaxSpheres);
        const int layout = pick(0, 4);
        const float scale = std::ldexp(1.0f, pick(-60, 60));
        for (int i = 0; i < count; ++i) {
            scene.addSphere(center(layout, i, scale), radius(scale), {1, 1, 1}, 0.0f);
        }
    }

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random_); }

    float uniform(float scale) {
        return std::uniform_real_distribution<float>(-1.0f, 1.0f)(random_) * scale;
    }

    // Now and then a value that no sane scene holds.
    float hostile(float usual) {
        static constexpr float kOdd[] = {kNaN, kInf, -kInf, 0.0f, -0.0f, 1e-40f, 3.0e38f, -3.0e38f};
        return pick(0, 30) == 0 ? kOdd[pick(0, 7)] : usual;
    }

    Vec3 center(int layout, int i, float scale) {
        switch (layout) {
            case 0:  // all on one point
                return {hostile(scale), scale, -scale};
            case 1:  // collinear, few distinct positions
                return {hostile(float(pick(0, 3)) * scale), 0, 0};
            case 2:  // geometric chain
                return {std::ldexp(1.0f, i), hostile(0.0f), float(i % 3)};
            default:
                return {hostile(uniform(scale)), hostile(uniform(scale)), hostile(uniform(scale))};
        }
    }

    float radius(float scale) {
        switch (pick(0, 5)) {
            case 0:
                return 0.0f;
            case 1:
                return -uniform(scale);
            case 2:
                return hostile(scale * 1e6f);
            default:
                return hostile(std::abs(uniform(scale)));
        }
    }

    std::mt19937 random_;
};

TEST(BvhProperty, AnySceneGivesSoundTreeAndDeletesExactlyOnce) {
    for (unsigned i = 0; i < 4000; ++i) {
        auto* scene = new Scene;
        SceneGenerator(i).fill(*scene);
        scene->buildHierarchy();
        ASSERT_EQ(problemOf(*scene), "") << "case " << i;

        std::vector<const void*> expected = ownedByTree(scene->root);
        ASSERT_EQ(expected.size(),
                  std::size_t(scene->sphereCount == 0 ? 0 : 3 * scene->sphereCount - 1))
            << "case " << i;
        expected.push_back(scene);
        std::vector<const void*> freed;
        {
            const FreeRecorder recorder;
            delete scene;
            freed = recorder.freedAmong(expected);
        }
        std::sort(expected.begin(), expected.end());
        std::sort(freed.begin(), freed.end());
        ASSERT_EQ(freed, expected) << "case " << i;
    }
}

}  // namespace
}  // namespace lucentor
