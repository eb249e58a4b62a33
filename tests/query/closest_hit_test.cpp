#include "query/closest_hit.h"

#include <gtest/gtest.h>

#include "query/geometry.h"
#include "scene/scene.h"
#include "tests/support/random_scene.h"

namespace lucentor {
namespace {

using testing::normalized;

HitRecord record(HitKind kind, int index) { return {float(kind), float(index), 0.0f}; }

void expectRecord(const HitRecord& actual, const HitRecord& expected) {
    EXPECT_EQ(actual.kind, expected.kind);
    EXPECT_EQ(actual.index, expected.index);
    EXPECT_EQ(actual.spare, 0.0f);
}

Ray alongMinusZ() { return {{0, 0, 0}, {0, 0, -1}}; }

TEST(ClosestHit, EmptySceneHitsNothing) {
    const Scene scene;
    Ray ray = alongMinusZ();
    expectRecord(ray.closestHit(scene), record(HitKind::Sphere, 0));
    EXPECT_EQ(ray.t, kFarDistance);
}

TEST(ClosestHit, OneSphereIsFoundThroughItsLeafRoot) {
    Scene scene;
    scene.addPlane({0, -1, 0}, {1, 1, 1}, {0, 1, 0}, 0.0f);  // only met by rays going up
    scene.addSphere({0, 0, -5}, 1.0f, {1, 1, 1}, 0.0f);
    scene.buildHierarchy();
    Ray ray = alongMinusZ();
    expectRecord(ray.closestHit(scene), record(HitKind::Sphere, 0));
    EXPECT_EQ(ray.t, 4.0f);
}

TEST(ClosestHit, ARootBoxMissSkipsTheSphereTest) {
    Scene scene;
    scene.addSphere({0, 0, -5}, 1.0f, {1, 1, 1}, 0.0f);
    scene.buildHierarchy();
    scene.root->boxMin.x = 0.5f;  // a box that no longer holds the ray
    Ray ray = alongMinusZ();
    ray.closestHit(scene);
    EXPECT_EQ(ray.t, kFarDistance);
}

TEST(ClosestHit, SphereSlotIsItsOrderOfAddition) {
    Scene scene;
    for (int i = 0; i < 7; ++i) scene.addSphere({float(i) * 3.0f - 9.0f, 0, -5}, 1.0f, {}, 0.0f);
    scene.buildHierarchy();
    for (int i = 0; i < 7; ++i) {
        Ray ray{{float(i) * 3.0f - 9.0f, 0, 0}, {0, 0, -1}};
        expectRecord(ray.closestHit(scene), record(HitKind::Sphere, i));
        EXPECT_EQ(ray.t, 4.0f) << "sphere " << i;
    }
}

TEST(ClosestHitPlanes, MetAtTheMirrorImageAndOnlyAlongTheNormal) {
    Scene scene;
    scene.addPlane({0, -1, 0}, {1, 1, 1}, {0, 1, 0}, 0.0f);
    Ray up{{0, 0, 0}, {0, 1, 0}};
    expectRecord(up.closestHit(scene), record(HitKind::Plane, 0));
    EXPECT_EQ(up.t, 1.0f);

    Ray down{{0, 0, 0}, {0, -1, 0}};
    down.closestHit(scene);
    EXPECT_EQ(down.t, kFarDistance);
}

// The plane y = 1 (normal +y or -y alike) under each rule, met from above and from below.
TEST(ClosestHitPlanes, EachRuleMeetsThePlaneWhereItSays) {
    const struct {
        PlaneRule rule;
        Vec3 normal;
        Vec3 origin;
        Vec3 direction;
        float t;  // kFarDistance: missed
    } kCases[] = {
        {PlaneRule::Geometric, {0, 1, 0}, {0, 3, 0}, {0, -1, 0}, 2.0f},          // from above
        {PlaneRule::Geometric, {0, 1, 0}, {0, -1, 0}, {0, 1, 0}, 2.0f},          // from below
        {PlaneRule::Geometric, {0, -1, 0}, {0, 3, 0}, {0, -1, 0}, 2.0f},         // either normal
        {PlaneRule::Geometric, {0, 1, 0}, {0, 3, 0}, {0, 1, 0}, kFarDistance},   // moving away
        {PlaneRule::Geometric, {0, 1, 0}, {0, 3, 0}, {1, 0, 0}, kFarDistance},   // parallel
        {PlaneRule::Geometric, {0, 1, 0}, {0, 1, 0}, {0, -1, 0}, kFarDistance},  // on it
        // The mirrored rule: the image y = 5 through an origin at y = 3, and only along +y.
        {PlaneRule::Mirrored, {0, 1, 0}, {0, 3, 0}, {0, 1, 0}, 2.0f},
        {PlaneRule::Mirrored, {0, 1, 0}, {0, 3, 0}, {0, -1, 0}, kFarDistance},
        {PlaneRule::Mirrored, {0, 1, 0}, {0, -1, 0}, {0, 1, 0}, kFarDistance},
    };
    for (const auto& c : kCases) {
        Scene scene;
        scene.planeRule = c.rule;
        scene.addPlane({0, 1, 0}, {1, 1, 1}, c.normal, 0.0f);
        Ray ray{c.origin, c.direction};
        const HitRecord hit = ray.closestHit(scene);
        EXPECT_EQ(ray.t, c.t) << int(c.rule) << " from y " << c.origin.y << " along y "
                              << c.direction.y;
        if (c.t < kFarDistance) expectRecord(hit, record(HitKind::Plane, 0));
    }
}

TEST(ClosestHitPlanes, ParallelBoundIsStrict) {
    Scene scene;
    // Close enough that a direction just above the bound meets it within kFarDistance.
    scene.addPlane({0, -0.05f, 0}, {1, 1, 1}, {0, 1, 0}, 0.0f);
    Ray atBound{{0, 0, 0}, {0, kParallelEpsilon, -1}};
    atBound.closestHit(scene);
    EXPECT_EQ(atBound.t, kFarDistance);
    Ray aboveBound{{0, 0, 0}, {0, std::nextafter(kParallelEpsilon, 1.0f), -1}};
    aboveBound.closestHit(scene);
    EXPECT_LT(aboveBound.t, kFarDistance);
}

TEST(ClosestHitPlanes, OrderOfEqualDistances) {
    // Sphere before plane; among planes the lower slot.
    Scene scene;
    scene.addPlane({0, 0, 5}, {1, 1, 1}, {0, 0, -1}, 0.0f);  // met at z = -5, t = 5
    scene.addPlane({0, 0, 5}, {1, 1, 1}, {0, 0, -1}, 0.0f);
    Ray planesOnly = alongMinusZ();
    expectRecord(planesOnly.closestHit(scene), record(HitKind::Plane, 0));
    EXPECT_EQ(planesOnly.t, 5.0f);

    scene.addSphere({0, 0, -6}, 1.0f, {1, 1, 1}, 0.0f);  // also at t = 5
    scene.buildHierarchy();
    Ray tied = alongMinusZ();
    expectRecord(tied.closestHit(scene), record(HitKind::Sphere, 0));
    EXPECT_EQ(tied.t, 5.0f);
}

TEST(ClosestHitPlanes, NearerPlaneWinsOverSphere) {
    Scene scene;
    scene.addSphere({0, 0, -6}, 1.0f, {1, 1, 1}, 0.0f);      // t = 5
    scene.addPlane({0, 0, 3}, {1, 1, 1}, {0, 0, -1}, 0.0f);  // t = 3
    scene.buildHierarchy();
    Ray ray = alongMinusZ();
    expectRecord(ray.closestHit(scene), record(HitKind::Plane, 0));
    EXPECT_EQ(ray.t, 3.0f);
}

TEST(ClosestHitLights, SphericalLightsAreHitPointLightsNever) {
    Scene scene;
    scene.addLight({0, 0, -1}, 0.0f, {1, 1, 1}, 1.0f);  // point light right on the ray
    scene.addLight({0, 0, -3}, 0.25f, {1, 1, 1}, 1.0f);
    Ray ray = alongMinusZ();
    expectRecord(ray.closestHit(scene), record(HitKind::Light, 1));
    EXPECT_EQ(ray.t, 2.75f);

    Ray fromInside{{0, 0, -3}, {0, 0, -1}};
    fromInside.closestHit(scene);
    EXPECT_EQ(fromInside.t, kFarDistance);
}

TEST(ClosestHitLights, PlaneBeatsLightAtEqualDistance) {
    Scene scene;
    scene.addLight({0, 0, -3}, 0.25f, {1, 1, 1}, 1.0f);
    scene.addPlane({0, 0, 2.75f}, {1, 1, 1}, {0, 0, -1}, 0.0f);
    Ray ray = alongMinusZ();
    expectRecord(ray.closestHit(scene), record(HitKind::Plane, 0));
    EXPECT_EQ(ray.t, 2.75f);
}

TEST(ClosestHit, ZeroDirectionHitsNothing) {
    Scene scene;
    scene.addSphere({0, 0, -5}, 1.0f, {1, 1, 1}, 0.0f);
    scene.addSphere({0, 0, 0}, 1.0f, {1, 1, 1}, 0.0f);  // around the origin
    scene.addPlane({0, -1, 0}, {1, 1, 1}, {0, 1, 0}, 0.0f);
    scene.addLight({0, 0, 0}, 0.5f, {1, 1, 1}, 1.0f);
    scene.buildHierarchy();
    Ray ray{{0, 0, 0}, {0, 0, 0}};
    expectRecord(ray.closestHit(scene), record(HitKind::Sphere, 0));
    EXPECT_EQ(ray.t, kFarDistance);
}

// The nearest object by testing every one of them, with the query's order of equal
// distances: spheres, then planes, then lights, lower slots first. Any sphere at the nearest
// sphere distance is acceptable, since the hierarchy decides which of those it finds first.
struct BruteForce {
    float t = kFarDistance;
    HitKind kind = HitKind::Sphere;
    int index = -1;  // -1: no hit; for spheres, any slot at sphereT
    float sphereT = kFarDistance;
};

float sphereDistance(const Ray& start, const Sphere& sphere) {
    Ray ray = start;
    ray.t = kFarDistance;
    return hitSphere(ray, sphere.center, sphere.radiusSquared) ? ray.t : kFarDistance;
}

BruteForce bruteForce(const Scene& scene, const Ray& ray) {
    BruteForce best;
    for (int k = 0; k < scene.sphereCount; ++k) {
        const float t = sphereDistance(ray, *scene.leaves[k]->sphere);
        if (t < best.t) best = {t, HitKind::Sphere, k, t};
    }
    for (int i = 0; i < scene.planeCount; ++i) {
        const float t = planeDistance(ray, *scene.planes[i], scene.planeRule);
        if (t > 0.0f && t < best.t) best = {t, HitKind::Plane, i, best.sphereT};
    }
    for (int j = 0; j < scene.lightCount; ++j) {
        const Light& light = *scene.lights[j];
        if (light.radius == 0.0f) continue;
        Ray copy = ray;
        copy.t = best.t;
        if (hitSphere(copy, light.position, light.radiusSquared)) {
            best = {copy.t, HitKind::Light, j, best.sphereT};
        }
    }
    return best;
}

TEST(ClosestHitProperty, FindsTheNearestObjectInRandomScenes) {
    int hits = 0;
    testing::forRandomQueries(2026, 3000, 40, [&hits](const Scene& scene, Ray& ray, int i, int r) {
        const BruteForce expected = bruteForce(scene, ray);
        const HitRecord hit = ray.closestHit(scene);
        EXPECT_EQ(ray.t, expected.t) << "case " << i << " ray " << r;
        if (expected.index < 0) return ray.t == expected.t;
        ++hits;
        EXPECT_EQ(hit.kind, float(expected.kind)) << "case " << i << " ray " << r;
        if (expected.kind == HitKind::Sphere) {
            const Sphere& named = *scene.leaves[int(hit.index)]->sphere;
            EXPECT_EQ(sphereDistance(ray, named), expected.sphereT) << "case " << i << " ray " << r;
        } else {
            EXPECT_EQ(hit.index, float(expected.index)) << "case " << i << " ray " << r;
        }
        return !::testing::Test::HasFailure();
    });
    EXPECT_GT(hits, 60000);  // most rays hit something, so the comparison is not vacuous
}

}  // namespace
}  // namespace lucentor
