#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "engine/startup.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"
#include "scene/scene.h"
#include "tests/support/tree_check.h"

namespace lucentor {
namespace {

std::unique_ptr<Scene> built(Preset preset) {
    return std::unique_ptr<Scene>(createPresetScene(preset));
}

std::string problemOf(const Scene& scene) {
    return testing::treeProblem(scene.root, scene.leaves.data(), scene.sphereCount);
}

TEST(BoxPreset, CountsAndObjects) {
    const auto scene = built(buildBoxScene);
    EXPECT_EQ(scene->sphereCount, 2);
    EXPECT_EQ(scene->planeCount, 5);
    EXPECT_EQ(scene->lightCount, 1);
    // Stored where the mirrored plane test makes them appear as floor, ceiling, red left wall,
    // green right wall and back wall.
    const Vec3 points[] = {{0, -1, 0}, {0, 1, 0}, {1, 0, 0}, {-1, 0, 0}, {0, 0, 4}};
    const Vec3 normals[] = {{0, 1, 0}, {0, -1, 0}, {-1, 0, 0}, {1, 0, 0}, {0, 0, -1}};
    const Vec3 colors[] = {{1, 1, 1}, {1, 1, 1}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(scene->planes[i]->point, points[i]) << "plane " << i;
        EXPECT_EQ(scene->planes[i]->normal, normals[i]) << "plane " << i;
        EXPECT_EQ(scene->planes[i]->color, colors[i]) << "plane " << i;
        EXPECT_EQ(scene->planes[i]->material, 0.0f) << "plane " << i;
    }
    EXPECT_EQ(scene->leaves[0]->sphere->material, 0.95f);
    EXPECT_EQ(scene->leaves[1]->sphere->material, 1.5f);
    const Light& light = *scene->lights[0];
    EXPECT_EQ(light.position, (Vec3{0, -0.9f, -3}));
    EXPECT_EQ(light.radiusSquared, 0.0625f);
    EXPECT_EQ(light.emission, (Vec3{0.8f, 0.8f, 0.8f}));
}

TEST(BoxPreset, LeafBoxesAndTree) {
    const auto scene = built(buildBoxScene);
    EXPECT_EQ(scene->leaves[0]->boxMin, (Vec3{0.25f, 0.5f, -3.0f}));
    EXPECT_EQ(scene->leaves[0]->boxMax, (Vec3{0.75f, 1.0f, -2.5f}));
    EXPECT_FLOAT_EQ(scene->leaves[1]->boxMin.x, -0.55f);
    EXPECT_EQ(scene->leaves[1]->boxMin.y, 0.5f);
    EXPECT_EQ(scene->leaves[1]->boxMin.z, -2.75f);
    EXPECT_FLOAT_EQ(scene->leaves[1]->boxMax.x, -0.05f);
    EXPECT_EQ(scene->leaves[1]->boxMax.y, 1.0f);
    EXPECT_EQ(scene->leaves[1]->boxMax.z, -2.25f);
    EXPECT_EQ(scene->root->left, scene->leaves[0]);
    EXPECT_EQ(scene->root->right, scene->leaves[1]);
}

TEST(TrioPreset, CountsAndTree) {
    const auto scene = built(buildTrioScene);
    EXPECT_EQ(scene->sphereCount, 3);
    EXPECT_EQ(scene->planeCount, 1);
    EXPECT_EQ(scene->lightCount, 1);
    EXPECT_EQ(scene->planes[0]->color, (Vec3{0, 0, 0}));  // checkerboard
    EXPECT_EQ(scene->lights[0]->emission, (Vec3{10, 10, 10}));
    // Split on z at -1.5: the mirror sphere alone on the left.
    EXPECT_EQ(scene->root->left, scene->leaves[2]);
    EXPECT_EQ(scene->root->right->left, scene->leaves[0]);
    EXPECT_EQ(scene->root->right->right, scene->leaves[1]);
    EXPECT_EQ(scene->root->boxMin, (Vec3{-1, -1, -4}));
    EXPECT_EQ(scene->root->boxMax, (Vec3{3, 1, 1}));
}

// A generator that always returns the same number.
template <int kValue>
int constantDraw() {
    return kValue;
}

TEST(FieldPreset, EveryDrawZero) {
    Scene scene;
    buildFieldSceneWith(scene, constantDraw<0>);
    ASSERT_EQ(scene.sphereCount, kFieldSphereCount);
    for (int i = 0; i < scene.sphereCount; ++i) {
        const Sphere& s = *scene.leaves[i]->sphere;
        EXPECT_EQ(s.color, (Vec3{0, 0, 0})) << "sphere " << i;
        EXPECT_EQ(s.radius, 0.5f) << "sphere " << i;
        EXPECT_FLOAT_EQ(s.center.x, -8.0f) << "sphere " << i;
        EXPECT_EQ(s.center.y, 3.5f) << "sphere " << i;
        EXPECT_FLOAT_EQ(s.center.z, -25.0f) << "sphere " << i;
        EXPECT_EQ(s.material, 0.0f) << "sphere " << i;
    }
    scene.buildHierarchy();
    EXPECT_EQ(problemOf(scene), "");  // 105 coincident spheres
}

TEST(FieldPreset, EveryDrawHundred) {
    Scene scene;
    buildFieldSceneWith(scene, constantDraw<100>);
    const Sphere& s = *scene.leaves[kFieldSphereCount - 1]->sphere;
    EXPECT_EQ(s.color, (Vec3{1, 1, 1}));
    EXPECT_FLOAT_EQ(s.radius, 0.99f);
    EXPECT_FLOAT_EQ(s.center.x, -7.0f);
    EXPECT_FLOAT_EQ(s.center.y, 3.01f);
    EXPECT_FLOAT_EQ(s.center.z, -24.0f);
    EXPECT_EQ(scene.planes[0]->point, (Vec3{0, -4, 0}));
    EXPECT_EQ(scene.lights[0]->radius, 0.0f);
    EXPECT_EQ(scene.lights[0]->emission, (Vec3{7, 7, 7}));
    scene.buildHierarchy();
}

int countingDraws = 0;
int countingDraw() { return countingDraws++; }

// Draws 0, 1, 2, ... reveal which draw feeds which value: red, green, blue, radius, x, z.
TEST(FieldPreset, DrawOrderPerSphere) {
    Scene scene;
    countingDraws = 0;
    buildFieldSceneWith(scene, countingDraw);
    EXPECT_EQ(countingDraws, 6 * kFieldSphereCount);
    const Sphere& s = *scene.leaves[20]->sphere;  // draws 120 to 125
    EXPECT_FLOAT_EQ(s.color.x, float(120 % 101) * 0.01f);
    EXPECT_FLOAT_EQ(s.color.y, float(121 % 101) * 0.01f);
    EXPECT_FLOAT_EQ(s.color.z, float(122 % 101) * 0.01f);
    EXPECT_FLOAT_EQ(s.radius, float(123 % 51 + 50) * 0.01f);
    EXPECT_FLOAT_EQ(s.center.x, float(124 - 800) * 0.01f);
    EXPECT_FLOAT_EQ(s.center.z, float(125 - 2500) * 0.01f);
    scene.buildHierarchy();
}

TEST(FieldPreset, SeededLayoutIsSoundAndRepeatable) {
    const auto first = built(buildFieldScene);
    EXPECT_EQ(first->sphereCount, kFieldSphereCount);
    EXPECT_EQ(first->planeCount, 1);
    EXPECT_EQ(first->lightCount, 1);
    EXPECT_EQ(problemOf(*first), "");
    for (int i = 0; i < first->sphereCount; ++i) {
        const Sphere& s = *first->leaves[i]->sphere;
        EXPECT_GE(s.radius, 0.5f);
        EXPECT_LE(s.radius, 1.0f);
        EXPECT_EQ(s.center.y + s.radius, 4.0f) << "sphere " << i << " must stand on the floor";
        EXPECT_GE(s.center.x, -8.0f);
        EXPECT_LE(s.center.x, 8.0f);
        EXPECT_GE(s.center.z, -25.0f);
        EXPECT_LE(s.center.z, -10.0f);
    }
    // The seed comes first, so a second build draws the same 630 numbers.
    const auto second = built(buildFieldScene);
    for (int i = 0; i < kFieldSphereCount; ++i) {
        EXPECT_EQ(first->leaves[i]->sphere->center, second->leaves[i]->sphere->center);
    }
}

}  // namespace
}  // namespace lucentor
