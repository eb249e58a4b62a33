#include "query/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/random_scene.h"

namespace lucentor {
namespace {

using testing::normalized;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr Vec3 kBoxMin{-1, -1, -1};
constexpr Vec3 kBoxMax{1, 1, 1};

Ray rayFrom(Vec3 origin, Vec3 direction) { return {origin, direction}; }

TEST(HitsBox, AheadBehindAndInside) {
    EXPECT_TRUE(hitsBox(rayFrom({0, 0, 5}, {0, 0, -1}), kBoxMin, kBoxMax));
    EXPECT_FALSE(hitsBox(rayFrom({0, 0, 5}, {0, 0, 1}), kBoxMin, kBoxMax));    // wholly behind
    EXPECT_TRUE(hitsBox(rayFrom({0.5f, 0, 0}, {0, 0, 1}), kBoxMin, kBoxMax));  // from inside
    EXPECT_FALSE(hitsBox(rayFrom({0, 3, 5}, {0, 0, -1}), kBoxMin, kBoxMax));   // passes above
}

TEST(HitsBox, ZeroDirectionComponentDecidedByOriginBetweenFaces) {
    // Direction (0, 0, -1): the x and y reciprocals are infinite.
    EXPECT_TRUE(hitsBox(rayFrom({0.999f, -0.999f, 5}, {0, 0, -1}), kBoxMin, kBoxMax));
    EXPECT_FALSE(hitsBox(rayFrom({1.001f, 0, 5}, {0, 0, -1}), kBoxMin, kBoxMax));
    EXPECT_FALSE(hitsBox(rayFrom({0, -1.001f, 5}, {0, 0, -1}), kBoxMin, kBoxMax));
}

TEST(HitsBox, GrazingAnEdgeCounts) {
    // Along (1, 1, 0) from (-1, 0) the ray touches the box [0, 1]^3 only on its edge x = 0,
    // y = 1, where entry and exit are the same float.
    const Ray ray = rayFrom({-1, 0, 0.5f}, normalized({1, 1, 0}));
    const BoxSpan span = boxSpan(ray, reciprocal(ray.direction), {0, 0, 0}, {1, 1, 1});
    EXPECT_EQ(span.entry, span.exit);
    EXPECT_TRUE(hitsBox(ray, {0, 0, 0}, {1, 1, 1}));
}

TEST(HitsBox, IgnoresTheRaysDistance) {
    Ray ray = rayFrom({0, 0, 50}, {0, 0, -1});
    ray.t = 1.0f;
    EXPECT_TRUE(hitsBox(ray, kBoxMin, kBoxMax));
}

TEST(HitsBox, NaNLeftAtTheEndMeansMiss) {
    // A NaN origin z leaves NaN in both bounds of the last axis; the slab comparisons
    // then keep it, where std::fmin/std::fmax would let the other axes decide.
    EXPECT_FALSE(hitsBox(rayFrom({0, 0, kNaN}, {0, 0, -1}), kBoxMin, kBoxMax));
    EXPECT_FALSE(hitsBox(rayFrom({0, 0, 5}, {0, 0, kNaN}), kBoxMin, kBoxMax));
}

TEST(EntryDistance, EntryExitOrFar) {
    const Ray outside = rayFrom({0, 0, 5}, {0, 0, -1});
    const Ray inside = rayFrom({0, 0, 0.5f}, {0, 0, -1});
    const Ray away = rayFrom({0, 0, 5}, {0, 0, 1});
    const auto distance = [](const Ray& ray) {
        return entryDistance(boxSpan(ray, reciprocal(ray.direction), kBoxMin, kBoxMax));
    };
    EXPECT_EQ(distance(outside), 4.0f);
    EXPECT_EQ(distance(inside), 1.5f);  // the exit, from inside
    EXPECT_EQ(distance(away), kFarDistance);
}

TEST(HitSphere, NearIntersectionAheadLowersT) {
    Ray ray = rayFrom({0, 0, 0}, {0, 0, -1});
    EXPECT_TRUE(hitSphere(ray, {0, 0, -5}, 1.0f));
    EXPECT_EQ(ray.t, 4.0f);
}

TEST(HitSphere, FromInsideOrOnTheSurfaceNeverHits) {
    Ray inside = rayFrom({0, 0, -5}, {0, 0, -1});
    EXPECT_FALSE(hitSphere(inside, {0, 0, -5}, 1.0f));
    Ray towardCentre = rayFrom({0, 0, -4.5f}, {0, 0, -1});  // tca > 0, near root behind
    EXPECT_FALSE(hitSphere(towardCentre, {0, 0, -5}, 1.0f));
    Ray onSurface = rayFrom({0, 0, -4}, {0, 0, -1});  // t would be exactly 0
    EXPECT_FALSE(hitSphere(onSurface, {0, 0, -5}, 1.0f));
    EXPECT_EQ(inside.t, kFarDistance);
    EXPECT_EQ(towardCentre.t, kFarDistance);
    EXPECT_EQ(onSurface.t, kFarDistance);
}

TEST(HitSphere, AcceptanceIsStrictBelowT) {
    Ray atT = rayFrom({0, 0, 0}, {0, 0, -1});
    atT.t = 4.0f;
    EXPECT_FALSE(hitSphere(atT, {0, 0, -5}, 1.0f));
    EXPECT_EQ(atT.t, 4.0f);
    Ray beyond = rayFrom({0, 0, 0}, {0, 0, -1});
    beyond.t = std::nextafter(4.0f, 5.0f);
    EXPECT_TRUE(hitSphere(beyond, {0, 0, -5}, 1.0f));
    EXPECT_EQ(beyond.t, 4.0f);
}

TEST(HitSphere, TangentCountsBehindDoesNot) {
    Ray tangent = rayFrom({0, 1, 0}, {0, 0, -1});  // d2 == radiusSquared
    EXPECT_TRUE(hitSphere(tangent, {0, 0, -5}, 1.0f));
    EXPECT_EQ(tangent.t, 5.0f);
    Ray behind = rayFrom({0, 0, 0}, {0, 0, 1});
    EXPECT_FALSE(hitSphere(behind, {0, 0, -5}, 1.0f));
}

TEST(HitSphere, NaNIsNeverAccepted) {
    Ray nanDirection = rayFrom({0, 0, 0}, {kNaN, 0, -1});
    EXPECT_FALSE(hitSphere(nanDirection, {0, 0, -5}, 1.0f));
    Ray nanOrigin = rayFrom({0, kNaN, 0}, {0, 0, -1});
    EXPECT_FALSE(hitSphere(nanOrigin, {0, 0, -5}, 1.0f));
    Ray nanRadius = rayFrom({0, 0, 0}, {0, 0, -1});
    EXPECT_FALSE(hitSphere(nanRadius, {0, 0, -5}, kNaN));
    EXPECT_EQ(nanDirection.t, kFarDistance);
    EXPECT_EQ(nanRadius.t, kFarDistance);
}

TEST(HitSphere, ZeroDirectionHitsNothing) {
    Ray outside = rayFrom({0, 0, 0}, {0, 0, 0});
    EXPECT_FALSE(hitSphere(outside, {0, 0, -5}, 1.0f));
    Ray inside = rayFrom({0, 0, -5}, {0, 0, 0});
    EXPECT_FALSE(hitSphere(inside, {0, 0, -5}, 1.0f));
    EXPECT_EQ(inside.t, kFarDistance);
}

}  // namespace
}  // namespace lucentor
