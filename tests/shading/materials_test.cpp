#include "shading/materials.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "tests/support/random_scene.h"

namespace lucentor {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kGlass = 1.5f;
constexpr Checker kPresets{};

// A unit direction at `angle` radians from -z, tilted towards +x.
Vec3 fromMinusZ(float angle) { return {std::sin(angle), 0.0f, -std::cos(angle)}; }

float sineToNormal(const Vec3& v, const Vec3& unitNormal) {
    const float along = dot(v, unitNormal);
    const Vec3 across = v - unitNormal * along;
    return length(across) / length(v);
}

TEST(Checkerboard, ColoursAddingUpToZeroSelectIt) {
    EXPECT_TRUE(isCheckerboard({0, 0, 0}));
    EXPECT_TRUE(isCheckerboard({1, -1, 0}));
    EXPECT_TRUE(isCheckerboard({-0.0f, 0, 0}));
    EXPECT_TRUE(isCheckerboard({0.5f, 0.25f, -0.75f}));
    EXPECT_FALSE(isCheckerboard({1, 1, 1}));
    EXPECT_FALSE(isCheckerboard({0, 0, 1e-30f}));
}

TEST(Checkerboard, CellsAreOneUnitWideOnIntegerLines) {
    EXPECT_EQ(checkerColor(kPresets, {0.5f, 7, 0.5f}), kEvenCellColor);
    EXPECT_EQ(checkerColor(kPresets, {1.5f, 7, 0.5f}), kOddCellColor);
    EXPECT_EQ(checkerColor(kPresets, {-0.5f, 7, 0.5f}), kOddCellColor);
    EXPECT_EQ(checkerColor(kPresets, {-0.5f, 7, -0.5f}), kEvenCellColor);
    for (int i = -20; i <= 20; ++i) {
        for (int j = -20; j <= 20; ++j) {
            const Vec3 expected = ((i + j) & 1) != 0 ? kOddCellColor : kEvenCellColor;
            for (const float inside : {0.01f, 0.5f, 0.99f}) {
                const Vec3 p{float(i) + inside, 0, float(j) + inside};
                EXPECT_EQ(checkerColor(kPresets, p), expected) << "cell " << i << ", " << j;
            }
        }
    }
}

// Beyond 2^24 every float is an even whole number, and beyond int's range a conversion would
// be undefined; infinities and NaN have no cell at all but must still get a colour.
TEST(Checkerboard, HugeAndNonFiniteCoordinatesStayDefined) {
    EXPECT_EQ(checkerColor(kPresets, {16776215.0f, 0, 0.5f}), kOddCellColor);  // x + 1000 = 2^24 - 1
    for (const float huge : {3e9f, -3e9f, 1e30f, -1e30f}) {
        EXPECT_EQ(checkerColor(kPresets, {huge, 0, 0.5f}), kEvenCellColor) << huge;
        EXPECT_EQ(checkerColor(kPresets, {0.5f, 0, huge}), kEvenCellColor) << huge;
        EXPECT_EQ(checkerColor(kPresets, {huge, 0, 1.5f}), kOddCellColor) << huge;
    }
    for (const float odd : {kInf, -kInf, kNaN}) {
        const Vec3 c = checkerColor(kPresets, {odd, 0, odd});
        EXPECT_TRUE(c == kOddCellColor || c == kEvenCellColor) << odd;
    }
}

TEST(MaterialSurface, CheckerboardPlaneKeepsNormalAndMaterial) {
    Scene scene;
    scene.addPlane({0, -1, 0}, {1, -1, 0}, {0, 1, 0}, 0.5f);
    scene.addPlane({0, -1, 0}, {0.25f, 0.5f, 1}, {0, 1, 0}, 0.0f);
    const HitRecord checker{float(HitKind::Plane), 0.0f, 0.0f};
    const Surface s = surfaceOf(checker, scene, {1.5f, 1, 0.5f});
    EXPECT_EQ(s.color, kOddCellColor);
    EXPECT_EQ(s.normal, scene.planes[0]->normal);
    EXPECT_EQ(s.material, 0.5f);
    const HitRecord plain{float(HitKind::Plane), 1.0f, 0.0f};
    EXPECT_EQ(surfaceOf(plain, scene, {1.5f, 1, 0.5f}).color, scene.planes[1]->color);
}

TEST(Refraction, HeadOnPassesStraightThrough) {
    EXPECT_EQ(refractedDirection({0, 0, -1}, {0, 0, 1}, kGlass), (Vec3{0, 0, -1}));
    EXPECT_EQ(refractedDirection({0, 0, 1}, {0, 0, 1}, kGlass), (Vec3{0, 0, 1}));
}

// Entering bends towards the normal by 1/index, leaving away from it by index; the result of
// a unit direction is unit. Tolerances cover a few roundings of values near 1.
TEST(Refraction, FollowsSnellsLawBothWays) {
    const Vec3 n{0, 0, 1};
    for (int i = 0; i < 90; ++i) {
        const float angle = float(i) * 0.0174f;
        const Vec3 entering = fromMinusZ(angle);
        const float sinI = std::sin(angle);
        const Vec3 in = refractedDirection(entering, n, kGlass);
        EXPECT_NEAR(length(in), 1.0f, 1e-5f) << "case " << i;
        EXPECT_LT(in.z, 0.0f) << "case " << i;
        EXPECT_NEAR(sineToNormal(in, n), sinI / kGlass, 1e-5f) << "case " << i;

        const Vec3 leaving{entering.x, entering.y, -entering.z};
        const Vec3 out = refractedDirection(leaving, n, kGlass);
        if (sinI * kGlass < 0.999f) {
            EXPECT_NEAR(length(out), 1.0f, 1e-5f) << "case " << i;
            EXPECT_GT(out.z, 0.0f) << "case " << i;
            EXPECT_NEAR(sineToNormal(out, n), sinI * kGlass, 1e-5f) << "case " << i;
        } else if (sinI * kGlass > 1.001f) {
            EXPECT_EQ(out, (Vec3{0, 0, 0})) << "case " << i;
        }
    }
}

TEST(Refraction, ZeroRootCountsAsTotalInternalReflection) {
    // Perpendicular to the normal with index 1: the root's argument is exactly 0.
    EXPECT_EQ(refractedDirection({1, 0, 0}, {0, 0, 1}, 1.0f), (Vec3{0, 0, 0}));
}

// r1 = 0.2 and r2 = -0.2 up to the rounding of their quotients.
TEST(Fresnel, HeadOnReflectsFourPercent) {
    EXPECT_FLOAT_EQ(fresnelReflectance({0, 0, -1}, {0, 0, -1}, kGlass), 0.04f);
}

// A normalised direction dotted with itself often exceeds 1 by rounding; its sine is 0, not
// the root of a negative number.
TEST(Fresnel, CosineRoundedAboveOneIsStillHeadOn) {
    EXPECT_NEAR(fresnelReflectance({0, 0, 1.0000006f}, {0, 0, 1}, kGlass), 0.04f, 1e-6f);
    std::mt19937 random(11);
    int aboveOne = 0;
    for (int i = 0; i < 1000; ++i) {
        const Vec3 d = testing::randomRay(random).direction;
        if (dot(d, d) > 1.0f) ++aboveOne;
        EXPECT_NEAR(fresnelReflectance(d, d, kGlass), 0.04f, 1e-6f) << "case " << i;
    }
    EXPECT_GT(aboveOne, 0) << "no case exercised a cosine above 1";
}

TEST(Fresnel, RisesTowardsOneAtGrazingIncidence) {
    const Vec3 turned{0, 0, -1};
    float previous = 0.0f;
    for (int i = 0; i < 90; ++i) {
        const float kr = fresnelReflectance(fromMinusZ(float(i) * 0.0174f), turned, kGlass);
        // Near head-on kr is flat to within the rounding of values near 0.04.
        EXPECT_GE(kr, previous - 1e-8f) << "case " << i;
        previous = kr;
    }
    EXPECT_GT(fresnelReflectance({1, 0, 1e-4f}, {0, 0, 1}, kGlass), 0.999f);
    EXPECT_EQ(fresnelReflectance({1, 0, 0}, {0, 0, 1}, kGlass), 1.0f);
}

}  // namespace
}  // namespace lucentor
