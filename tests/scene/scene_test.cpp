#include "scene/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/free_recorder.h"
#include "tests/support/tree_check.h"

namespace lucentor {
namespace {

using testing::FreeRecorder;

void expectVec3Eq(const Vec3& actual, const Vec3& expected) {
    EXPECT_FLOAT_EQ(actual.x, expected.x);
    EXPECT_FLOAT_EQ(actual.y, expected.y);
    EXPECT_FLOAT_EQ(actual.z, expected.z);
}

TEST(SceneAdd, NewSceneIsEmpty) {
    const Scene scene;
    EXPECT_EQ(scene.sphereCount + scene.planeCount + scene.lightCount, 0);
    EXPECT_EQ(scene.root, nullptr);
    for (const BvhNode* leaf : scene.leaves) EXPECT_EQ(leaf, nullptr);
    for (const Plane* plane : scene.planes) EXPECT_EQ(plane, nullptr);
    for (const Light* light : scene.lights) EXPECT_EQ(light, nullptr);
}

TEST(SceneAdd, SphereMakesLeafWithBoxAroundIt) {
    Scene scene;
    scene.addSphere({0.5f, 0.75f, -2.75f}, 0.25f, {1, 0.5f, 0}, 0.95f);
    ASSERT_EQ(scene.sphereCount, 1);
    const BvhNode* leaf = scene.leaves[0];
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->left, nullptr);
    EXPECT_EQ(leaf->right, nullptr);
    EXPECT_EQ(leaf->boxMin, (Vec3{0.25f, 0.5f, -3.0f}));
    EXPECT_EQ(leaf->boxMax, (Vec3{0.75f, 1.0f, -2.5f}));
    const Sphere& sphere = *leaf->sphere;
    EXPECT_EQ(sphere.center, (Vec3{0.5f, 0.75f, -2.75f}));
    EXPECT_EQ(sphere.radius, 0.25f);
    EXPECT_EQ(sphere.radiusSquared, 0.0625f);
    EXPECT_EQ(sphere.color, (Vec3{1, 0.5f, 0}));
    EXPECT_EQ(sphere.material, 0.95f);
    scene.buildHierarchy();
}

TEST(SceneAdd, ArgumentsAreStoredAsTheyCome) {
    Scene scene;
    scene.addSphere({0, 0, 0}, -2.0f, {3, -1, 0}, -0.5f);
    scene.addPlane({1, 2, 3}, {1, -1, 0}, {0, 2, 0}, 7.0f);
    scene.addLight({0, 0, 0}, 0.5f, {1, 2, 3}, -1.0f);
    scene.buildHierarchy();
    // A negative radius gives an inverted box and a positive square.
    EXPECT_EQ(scene.leaves[0]->boxMin, (Vec3{2, 2, 2}));
    EXPECT_EQ(scene.leaves[0]->sphere->radiusSquared, 4.0f);
    EXPECT_EQ(scene.planes[0]->normal, (Vec3{0, 2, 0}));  // not normalised
    EXPECT_EQ(scene.planes[0]->color, (Vec3{1, -1, 0}));
    EXPECT_EQ(scene.lights[0]->emission, (Vec3{-1, -2, -3}));
}

TEST(SceneAdd, LightRadiusAndEmission) {
    Scene scene;
    scene.addLight({1, 2, 3}, 0.0f, {1, 1, 1}, 0.8f);
    scene.addLight({0, 0, 0}, 0.25f, {1, 0, 0}, 10.0f);
    scene.addLight({0, 0, 0}, -0.0f, {0.5f, 0.25f, 1}, 2.0f);
    ASSERT_EQ(scene.lightCount, 3);
    EXPECT_EQ(scene.lights[0]->position, (Vec3{1, 2, 3}));
    EXPECT_EQ(scene.lights[0]->radius, 0.0f);
    EXPECT_EQ(scene.lights[0]->radiusSquared, 0.0f);
    expectVec3Eq(scene.lights[0]->emission, {0.8f, 0.8f, 0.8f});
    EXPECT_EQ(scene.lights[1]->radius, 0.25f);
    EXPECT_EQ(scene.lights[1]->radiusSquared, 0.0625f);
    EXPECT_EQ(scene.lights[1]->emission, (Vec3{10, 0, 0}));
    // A negative zero radius is a point light too, stored as +0.
    EXPECT_FALSE(std::signbit(scene.lights[2]->radius));
    EXPECT_EQ(scene.lights[2]->radiusSquared, 0.0f);
    EXPECT_EQ(scene.lights[2]->emission, (Vec3{1, 0.5f, 2}));
}

TEST(SceneAdd, EachKindIsNumberedByItsOwnOrderOfAddition) {
    Scene scene;
    scene.addSphere({0, 0, -5}, 1, {1, 1, 1}, 0);
    scene.addLight({0, 0, 0}, 0, {1, 1, 1}, 1);
    scene.addPlane({0, 1, 0}, {1, 1, 1}, {0, 1, 0}, 0);
    scene.addSphere({0, 0, -9}, 1, {1, 1, 1}, 0);
    scene.addPlane({0, 2, 0}, {1, 1, 1}, {0, 1, 0}, 0);
    scene.buildHierarchy();
    EXPECT_EQ(scene.planes[0]->point.y, 1.0f);
    EXPECT_EQ(scene.planes[1]->point.y, 2.0f);
    EXPECT_EQ(scene.leaves[0]->sphere->center.z, -5.0f);
    EXPECT_EQ(scene.leaves[1]->sphere->center.z, -9.0f);
    EXPECT_EQ(scene.lightCount, 1);
}

// Fills every array to capacity, then adds once more of each kind.
TEST(SceneAdd, FullArraysIgnoreFurtherAdds) {
    Scene scene;
    for (int i = 0; i < kMaxSpheres; ++i) scene.addSphere({float(i), 0, 0}, 0.5f, {1, 1, 1}, 0);
    for (int i = 0; i < kMaxPlanes; ++i) scene.addPlane({float(i), 0, 0}, {1, 1, 1}, {0, 1, 0}, 0);
    for (int i = 0; i < kMaxLights; ++i) scene.addLight({float(i), 0, 0}, 0, {1, 1, 1}, 1);
    const std::vector<const void*> before(scene.leaves.begin(), scene.leaves.end());

    scene.addSphere({-1, 0, 0}, 9, {0, 0, 0}, 0);
    scene.addPlane({-1, 0, 0}, {0, 0, 0}, {1, 0, 0}, 0);
    scene.addLight({-1, 0, 0}, 9, {0, 0, 0}, 1);

    EXPECT_EQ(scene.sphereCount, kMaxSpheres);
    EXPECT_EQ(scene.planeCount, kMaxPlanes);
    EXPECT_EQ(scene.lightCount, kMaxLights);
    EXPECT_EQ(std::vector<const void*>(scene.leaves.begin(), scene.leaves.end()), before);
    EXPECT_EQ(scene.leaves[kMaxSpheres - 1]->sphere->center.x, float(kMaxSpheres - 1));
    EXPECT_EQ(scene.planes[kMaxPlanes - 1]->point.x, float(kMaxPlanes - 1));
    EXPECT_EQ(scene.lights[kMaxLights - 1]->position.x, float(kMaxLights - 1));
    scene.buildHierarchy();
}

Sphere sphereNumbered(int i) {
    const float radius = 0.25f + float(i % 5) * 0.125f;
    return {{float(i), -0.5f * float(i), -3.0f - float(i % 7)},
            radius,
            radius * radius,
            {1.0f, 0.5f, float(i % 2)},
            0.75f * float(i % 3)};
}

// Past kWideTreeThreshold spheres, the spheres made before move into the scene's blocks and
// their own records are freed at once; every sphere keeps its slot, its values and its leaf's
// box, and the scene builds a wide tree over them instead of a binary hierarchy.
TEST(SceneAdd, SpheresPastThePresetsSizesKeepTheirSlotsAndValues) {
    constexpr int kSpheres = kWideTreeThreshold + kPooledBlock + 7;
    Scene scene;
    scene.limits = kSceneFileLimits;
    const auto add = [&scene](int i) {
        const Sphere made = sphereNumbered(i);
        scene.addSphere(made.center, made.radius, made.color, made.material);
    };
    std::vector<const void*> alone;
    for (int i = 0; i < kWideTreeThreshold; ++i) {
        add(i);
        alone.push_back(scene.leaves[std::size_t(i)]->sphere);
        alone.push_back(scene.leaves[std::size_t(i)]);
        EXPECT_EQ(&scene.sphereAt(std::size_t(i)), scene.leaves[std::size_t(i)]->sphere) << i;
    }
    {
        const FreeRecorder recorder;
        add(kWideTreeThreshold);
        // A leaf frees its sphere before itself.
        EXPECT_EQ(recorder.freedAmong(alone), alone);
    }
    for (int i = kWideTreeThreshold + 1; i < kSpheres; ++i) add(i);
    ASSERT_EQ(scene.sphereCount, kSpheres);
    for (int i = 0; i < kSpheres; ++i) {
        const BvhNode& leaf = *scene.leaves[std::size_t(i)];
        const Sphere expected = sphereNumbered(i);
        const Vec3 reach{expected.radius, expected.radius, expected.radius};
        ASSERT_EQ(leaf.left, nullptr) << i;
        ASSERT_EQ(leaf.right, nullptr) << i;
        EXPECT_EQ(leaf.boxMin, expected.center - reach) << i;
        EXPECT_EQ(leaf.boxMax, expected.center + reach) << i;
        EXPECT_EQ(leaf.sphere->center, expected.center) << i;
        EXPECT_EQ(leaf.sphere->radiusSquared, expected.radiusSquared) << i;
        EXPECT_EQ(leaf.sphere->color, expected.color) << i;
        EXPECT_EQ(leaf.sphere->material, expected.material) << i;
        // The shading finds each pooled sphere from its slot alone: the leaf's own sphere.
        EXPECT_EQ(&scene.sphereAt(std::size_t(i)), leaf.sphere) << i;
    }
    scene.buildHierarchy();
    EXPECT_EQ(scene.root, nullptr);
    EXPECT_EQ(testing::wideTreeProblem(scene), "");
}

TEST(SceneRelease, FreesHierarchyThenPlanesThenLightsThenScene) {
    auto* scene = new Scene;
    scene->addPlane({0, 1, 0}, {1, 1, 1}, {0, 1, 0}, 0);
    scene->addSphere({0, 0, -5}, 1, {1, 1, 1}, 0);
    scene->addLight({0, 0, 0}, 1, {1, 1, 1}, 1);
    scene->addPlane({0, 2, 0}, {1, 1, 1}, {0, 1, 0}, 0);
    scene->buildHierarchy();
    // A node frees its sphere before itself.
    const std::vector<const void*> expected{scene->root->sphere, scene->root,      scene->planes[0],
                                            scene->planes[1],    scene->lights[0], scene};
    const FreeRecorder recorder;
    delete scene;
    EXPECT_EQ(recorder.freedAmong(expected), expected);
}

TEST(SceneRelease, SceneWithoutSpheresFreesNoNode) {
    auto* scene = new Scene;
    scene->addPlane({0, 1, 0}, {1, 1, 1}, {0, 1, 0}, 0);
    scene->addLight({0, 0, 0}, 0, {1, 1, 1}, 1);
    scene->buildHierarchy();
    EXPECT_EQ(scene->root, nullptr);
    const std::vector<const void*> expected{scene->planes[0], scene->lights[0], scene};
    const FreeRecorder recorder;
    delete scene;
    EXPECT_EQ(recorder.freedAmong(expected), expected);
}

}  // namespace
}  // namespace lucentor
