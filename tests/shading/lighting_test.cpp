#include "shading/lighting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "shading/light_sampling.h"
#include "shading/random.h"
#include "tests/support/random_scene.h"

namespace lucentor {
namespace {

using testing::normalized;

constexpr Vec3 kUp{0, 1, 0};
constexpr Vec3 kAboveOrigin{0, kSurfaceOffset, 0};  // its shadow rays start at the origin exactly
constexpr Vec3 kBlack{0, 0, 0};
constexpr Vec3 kLightCenter{0, 0, -3};

// How many draws `generator` has made since it was seeded with `seed` (-1 if not among the
// first 1000).
int drawsSinceSeed(const RandomGenerator& generator, std::uint64_t seed) {
    RandomGenerator replay{seed};
    for (int k = 0; k < 1000; ++k) {
        if (replay.state == generator.state) return k;
        replay.next();
    }
    return -1;
}

// The grid point of a light's ball that the draws of `replay` select, worked out from the
// sampling rule: x, y, z from three draws each as ((draw mod M) - R) grid steps with
// R = radius / step and M = trunc(2R + 1), again while the point lies beyond the radius.
struct BallSample {
    Vec3 offset;
    int draws = 0;
};

BallSample replayBallSample(float radius, RandomGenerator& replay) {
    const float r = radius * kLightGridScale;
    const int m = int(2.0f * r + 1.0f);
    for (int drawn = 3;; drawn += 3) {
        float c[3];
        for (float& v : c) v = (float(replay.next() % m) - r) * kLightGridStep;
        const float len = squareRoot(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
        if (!(len > radius)) return {{c[0], c[1], c[2]}, drawn};
    }
}

Light sphereLight(const Vec3& position, float radius) {
    return {position, radius, radius * radius, {1, 1, 1}};
}

float distanceFromLine(const Vec3& p, const Vec3& from, const Vec3& through) {
    const Vec3 u = normalized(through - from);
    const Vec3 w = p - from;
    return length(w - u * dot(w, u));
}

Vec3 lightAboveOrigin(const Scene& scene, RandomGenerator generator = {}) {
    return directLighting(scene, kAboveOrigin, kUp, generator);
}

void addUnitPointLight(Scene& scene, const Vec3& position) {
    scene.addLight(position, 0.0f, {1, 1, 1}, 1.0f);
}

// A unit point light at (0, 2, 0) with a sphere of `material` half way to it, or none.
Vec3 lightPastBlocker(float material, bool blocker) {
    Scene scene;
    if (blocker) scene.addSphere({0, 1, 0}, 0.25f, {1, 1, 1}, material);
    scene.addPlane({0, 1, 0}, {1, 1, 1}, {0, 1, 0}, 0.0f);  // planes never block
    scene.buildHierarchy();
    addUnitPointLight(scene, {0, 2, 0});
    return lightAboveOrigin(scene);
}

TEST(Lighting, NoLightsGiveBlack) {
    Scene scene;
    scene.addSphere({0, 0, 0}, 1.0f, {1, 1, 1}, 0.0f);
    scene.buildHierarchy();
    RandomGenerator generator{1};
    EXPECT_EQ(directLighting(scene, {0, 1, 0}, kUp, generator), kBlack);
    EXPECT_EQ(drawsSinceSeed(generator, 1), 0);
}

// Emission / distance from the shadow ray's start, times |u . n|: exact for lights on the
// normal's line.
TEST(Lighting, PointLightFallsOffWithDistanceAndDrawsNothing) {
    Scene near;
    addUnitPointLight(near, {0, 2, 0});
    RandomGenerator generator{2};
    EXPECT_EQ(directLighting(near, kAboveOrigin, kUp, generator), (Vec3{0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(drawsSinceSeed(generator, 2), 0);

    Scene twoBelow;
    addUnitPointLight(twoBelow, {0, -2, 0});
    addUnitPointLight(twoBelow, {0, -4, 0});
    EXPECT_EQ(lightAboveOrigin(twoBelow), (Vec3{0.75f, 0.75f, 0.75f}));

    Scene tinted;
    tinted.addLight({0, 4, 0}, 0.0f, {1, 0.5f, 0}, 2.0f);
    EXPECT_EQ(lightAboveOrigin(tinted), (Vec3{0.5f, 0.25f, 0}));

    // At 45 degrees: 1 / sqrt(8) * cos 45 = 0.25, up to the rounding of the root.
    Scene oblique;
    addUnitPointLight(oblique, {2, 2, 0});
    EXPECT_FLOAT_EQ(lightAboveOrigin(oblique).x, 0.25f);
}

TEST(Lighting, BlockersScaleTheLight) {
    EXPECT_EQ(lightPastBlocker(0.0f, false), (Vec3{0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(lightPastBlocker(1.5f, true), (Vec3{0.25f, 0.25f, 0.25f}));
    EXPECT_EQ(lightPastBlocker(0.0f, true), kBlack);
    EXPECT_EQ(lightPastBlocker(0.95f, true), kBlack);
}

// Shadow rays start just inside a sphere, so the sphere itself blocks the light on its far
// side although the factor is |u . n|; glass lets half through.
TEST(Lighting, SphereIsDarkWhereItFacesAwayFromTheLight) {
    for (const float material : {0.0f, 1.5f}) {
        Scene scene;
        scene.addSphere({0, 0, 0}, 1.0f, {1, 1, 1}, material);
        scene.buildHierarchy();
        addUnitPointLight(scene, {0, 3, 0});
        const Vec3 down{0, -1, 0};
        const float through = material > 1.0f ? 0.5f : 0.0f;
        // 1 / dist from just below the top, up to the rounding of the root.
        const float facing = 1.0f / (3.0f - (1.0f - kSurfaceOffset));
        RandomGenerator generator;
        EXPECT_FLOAT_EQ(directLighting(scene, kUp, kUp, generator).x, facing) << material;
        EXPECT_FLOAT_EQ(directLighting(scene, down, down, generator).x,
                        through / (3.0f + 1.0f - kSurfaceOffset))
            << material;
    }
}

// The point's rounding grows with the coordinates of `from` and of the light.
TEST(SampleLight, LandsOnTheSphereFacingFrom) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> radii(0.01f, 3.0f);
    for (int i = 0; i < 500; ++i) {
        const Light light = sphereLight(testing::randomRay(random).origin, radii(random));
        const Vec3 from = testing::randomRay(random).origin;
        if (length(from - light.position) < 1.01f * light.radius) continue;
        RandomGenerator generator{std::uint64_t(i)};
        const Vec3 p = sampleLightPoint(light, from, generator);
        const Vec3 outward = p - light.position;
        EXPECT_NEAR(length(outward), light.radius, 1e-5f * (length(from) + 10.0f)) << "case " << i;
        EXPECT_GE(dot(normalized(outward), normalized(from - p)), -1e-3f) << "case " << i;
    }
}

// Replaying the draws gives the ball point; the result lies on the line of sight towards it,
// and the generator has advanced by three draws per attempt. The radii alternate, as lights
// of different sizes would, so a grid kept from the previous radius would be caught.
TEST(SampleLight, DrawsXThenYThenZThreeAtATime) {
    constexpr float kRadii[] = {0.25f, 0.0001f, 1.0f};
    int rejectedFirst[std::size(kRadii)] = {};
    for (std::uint64_t seed = 0; seed < 50; ++seed) {
        for (std::size_t i = 0; i < std::size(kRadii); ++i) {
            const Light light = sphereLight(kLightCenter, kRadii[i]);
            RandomGenerator replay{seed};
            const BallSample expected = replayBallSample(kRadii[i], replay);
            if (expected.draws > 3) ++rejectedFirst[i];
            RandomGenerator generator{seed};
            const Vec3 p = sampleLightPoint(light, {0, 0, 0}, generator);
            EXPECT_EQ(drawsSinceSeed(generator, seed), expected.draws) << "seed " << seed;
            EXPECT_LT(distanceFromLine(p, {0, 0, 0}, light.position + expected.offset), 1e-6f)
                << "seed " << seed << " radius " << kRadii[i];
        }
    }
    for (const int count : rejectedFirst) EXPECT_GT(count, 0);
}

// The sampler compares squared lengths with this bound instead of lengths with the radius;
// the two agree only if it is exactly the last square whose rounded root stays within.
TEST(SampleLight, AcceptedSquaresEndExactlyWhereTheRootPassesTheRadius) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> exponents(-4.0f, 4.0f);
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    for (int i = 0; i < 20000; ++i) {
        const float radius = i < 3 ? std::array{0.25f, 1.0f, 3.0e38f}[std::size_t(i)]
                                   : std::pow(10.0f, exponents(random));
        const float square = largestAcceptedSquare(radius);
        EXPECT_FALSE(squareRoot(square) > radius) << "radius " << radius;
        EXPECT_TRUE(squareRoot(std::nextafter(square, kInfinity)) > radius) << "radius " << radius;
    }
}

// Radii below the grid spacing may have no grid point in their ball: the sampler then aims at
// the centre at once, drawing nothing. From off the axes the line's rounded distance from the
// centre exceeds such a radius, so the root must be clamped there too. Float spacing near 3
// is 2.4e-7.
TEST(SampleLight, UnreachableGridAimsAtTheCentre) {
    for (const float radius : {0.00005f, 1e-10f}) {
        const Light light = sphereLight(kLightCenter, radius);
        for (const Vec3 from : {Vec3{0, 0, 0}, Vec3{1, 2, 0}}) {
            RandomGenerator generator{3};
            const Vec3 p = sampleLightPoint(light, from, generator);
            EXPECT_EQ(drawsSinceSeed(generator, 3), 0) << radius;
            EXPECT_LT(distanceFromLine(p, from, light.position), 1e-6f) << radius;
            EXPECT_NEAR(length(p - from), length(light.position - from) - radius, 1e-6f) << radius;
        }
    }
}

// Inside a light (here all of them contain `from`) the point is 100 units away; radii beyond
// what one draw can span, infinite or NaN ones must still end and stay finite.
TEST(SampleLight, HugeRadiiEndOneHundredUnitsAway) {
    for (const float radius : {6e4f, 1e6f, std::numeric_limits<float>::infinity(),
                               std::numeric_limits<float>::quiet_NaN()}) {
        RandomGenerator generator{4};
        const Vec3 p = sampleLightPoint(sphereLight(kLightCenter, radius), {0, 0, 0}, generator);
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << radius;
        EXPECT_NEAR(length(p), kFarDistance, 1e-3f) << radius;
    }
}

// Whether the sampler's line of sight from `from` through `target` passes outside the
// sphere by rounding, so that the root's argument comes out below 0.
bool passesOutside(const Light& light, const Vec3& from, const Vec3& target) {
    const Vec3 u = normalized(target - from);
    const Vec3 toCenter = light.position - from;
    const Vec3 offAxis = toCenter - u * dot(u, toCenter);
    return dot(offAxis, offAxis) > light.radiusSquared;
}

// A ball point on the surface seen from a tangent direction: the result is that tangent
// point, not a point 100 units away. The intersection is ill-conditioned along a tangent,
// hence a tolerance of a tenth of the radius.
TEST(SampleLight, GrazingLineOfSightEndsAtTheTangentPoint) {
    constexpr float kRadius = 0.0001f;
    const Light light = sphereLight(kLightCenter, kRadius);
    const Vec3 onSurface{kRadius, 0, 0};
    std::uint64_t seed = 0;
    for (;; ++seed) {
        RandomGenerator replay{seed};
        if (replayBallSample(kRadius, replay).offset == onSurface) break;
    }
    const Vec3 target = light.position + onSurface;
    int outside = 0;
    for (int i = 0; i < 200; ++i) {
        const float angle = float(i) * 0.0314f;
        const Vec3 from = target + Vec3{0, std::sin(angle), std::cos(angle)} * float(1 + i % 5);
        if (passesOutside(light, from, target)) ++outside;
        RandomGenerator generator{seed};
        EXPECT_LT(length(sampleLightPoint(light, from, generator) - target), 0.1f * kRadius)
            << "case " << i;
    }
    EXPECT_GT(outside, 0) << "no line of sight grazed outside by rounding";
}

}  // namespace
}  // namespace lucentor
