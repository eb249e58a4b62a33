#include "query/occlusion.h"

#include <gtest/gtest.h>

#include "scene/scene.h"
#include "tests/support/random_scene.h"

namespace lucentor {
namespace {

constexpr float kOpaque = 0.0f;
constexpr float kMirror = 0.95f;
constexpr float kGlass = 1.5f;

Ray alongMinusZ() { return {{0, 0, 0}, {0, 0, -1}}; }

// A scene of unit spheres of the given materials at the given depths along -z.
struct SphereAt {
    float z;
    float material;
};

float occlusionAlongMinusZ(std::initializer_list<SphereAt> spheres) {
    Scene scene;
    for (const SphereAt& s : spheres) scene.addSphere({0, 0, s.z}, 1.0f, {1, 1, 1}, s.material);
    scene.buildHierarchy();
    return alongMinusZ().occlusion(scene);
}

TEST(BlockingAmount, ByMaterial) {
    const Ray ray = alongMinusZ();
    EXPECT_EQ(blockingAmount(ray, {{0, 0, -5}, 1, 1, {}, kOpaque}), 1.0f);
    EXPECT_EQ(blockingAmount(ray, {{0, 0, -5}, 1, 1, {}, kMirror}), 1.0f);
    EXPECT_EQ(blockingAmount(ray, {{0, 0, -5}, 1, 1, {}, 1.0f}), 1.0f);
    EXPECT_EQ(blockingAmount(ray, {{0, 0, -5}, 1, 1, {}, kGlass}), kGlassBlocking);
}

TEST(BlockingAmount, TouchBlocksCentreBehindDoesNot) {
    const Ray ray = alongMinusZ();
    EXPECT_EQ(blockingAmount(ray, {{0, 1, -5}, 1, 1, {}, kOpaque}), 1.0f);  // d2 == r^2
    EXPECT_EQ(blockingAmount(ray, {{0, 1.001f, -5}, 1, 1, {}, kOpaque}), 0.0f);
    // The origin is inside, but the centre lies behind it.
    EXPECT_EQ(blockingAmount(ray, {{0, 0, 0.5f}, 1, 1, {}, kOpaque}), 0.0f);
    // The origin is inside and the centre ahead: the ray runs through the sphere.
    EXPECT_EQ(blockingAmount(ray, {{0, 0, -0.5f}, 1, 1, {}, kGlass}), kGlassBlocking);
}

TEST(Occlusion, SumsOpaqueAndGlassUpToOne) {
    EXPECT_EQ(occlusionAlongMinusZ({}), 0.0f);
    EXPECT_EQ(occlusionAlongMinusZ({{-5, kOpaque}}), 1.0f);
    EXPECT_EQ(occlusionAlongMinusZ({{-5, kGlass}}), 0.5f);
    EXPECT_EQ(occlusionAlongMinusZ({{-5, kMirror}}), 1.0f);
    EXPECT_EQ(occlusionAlongMinusZ({{-5, kGlass}, {-9, kGlass}}), 1.0f);
    EXPECT_EQ(occlusionAlongMinusZ({{-5, kGlass}, {-9, kOpaque}}), 1.0f);
    EXPECT_EQ(occlusionAlongMinusZ({{-5, kGlass}, {9, kOpaque}}), 0.5f);  // behind the origin
}

TEST(Occlusion, CountsSpheresAtAnyDistance) {
    // No distance reaches the query: a sphere far beyond any light sample still blocks, and
    // so does one beyond the closest-hit query's reach.
    EXPECT_EQ(occlusionAlongMinusZ({{-500, kOpaque}}), 1.0f);
}

TEST(Occlusion, PlanesAndLightSpheresNeverBlock) {
    Scene scene;
    scene.addPlane({0, 0, -3}, {1, 1, 1}, {0, 0, -1}, 0.0f);
    scene.addPlane({0, 0, -3}, {1, 1, 1}, {0, 0, 1}, 0.0f);
    scene.addLight({0, 0, -5}, 1.0f, {1, 1, 1}, 1.0f);
    EXPECT_EQ(alongMinusZ().occlusion(scene), 0.0f);
}

TEST(Occlusion, LeafRootTestsItsBoxFirst) {
    Scene scene;
    scene.addSphere({0, 0, -5}, 1.0f, {1, 1, 1}, kOpaque);
    scene.buildHierarchy();
    EXPECT_EQ(alongMinusZ().occlusion(scene), 1.0f);
    scene.root->boxMin.x = 0.5f;  // a box that no longer holds the ray
    EXPECT_EQ(alongMinusZ().occlusion(scene), 0.0f);
}

// What the walk must add up to: every sphere that blockingAmount accepts, capped at 1.
float bruteForceOcclusion(const Scene& scene, const Ray& ray) {
    float sum = 0.0f;
    for (int k = 0; k < scene.sphereCount; ++k)
        sum += blockingAmount(ray, *scene.leaves[k]->sphere);
    return sum < 1.0f ? sum : 1.0f;
}

TEST(OcclusionProperty, EqualsTheCappedSumOverAllSpheres) {
    int partlyBlocked = 0;
    testing::forRandomQueries(1123, 3000, 40,
                              [&partlyBlocked](const Scene& scene, Ray& ray, int i, int r) {
                                  const float expected = bruteForceOcclusion(scene, ray);
                                  if (expected == kGlassBlocking) ++partlyBlocked;
                                  const float actual = ray.occlusion(scene);
                                  EXPECT_EQ(actual, expected) << "case " << i << " ray " << r;
                                  return actual == expected;
                              });
    EXPECT_GT(partlyBlocked, 1000);  // the glass half-blocking is exercised, not just 0 and 1
}

}  // namespace
}  // namespace lucentor
