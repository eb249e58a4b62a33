// The path integrator's light table: which lights it holds and how often each is picked.
#include "shading/emitters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

#include "scene/shapes.h"
#include "shading/emitters_lanes.h"
#include "shading/light_sampling.h"
#include "simd/one_lane.h"

namespace lucentor {
namespace {

constexpr double kPi = std::numbers::pi;

// A point light of intensity 1 sends out 4 pi, a sphere light of radius 1 and radiance 1
// pi * 4 pi, an emissive unit square pi per unit area, from its front only; a light of no
// emission and a degenerate emissive triangle send nothing and are never picked.
TEST(EmitterTable, PicksEachLightByItsPower) {
    Scene scene;
    scene.limits = kSceneFileLimits;
    scene.integrator = Integrator::Path;
    scene.addLight({0, 5, 0}, 0.0f, {1, 1, 1}, 1.0f);
    scene.addLight({0, 9, 0}, 0.0f, {0, 0, 0}, 1.0f);
    scene.addLight({3, 5, 0}, 1.0f, {0.5f, 1, 1.5f}, 1.0f);
    scene.addMesh(quadMesh({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {{1, 1, 1}, 0.0f, {2, 2, 2}, -1}));
    scene.addMesh(quadMesh({0, 1, 0}, {1, 0, 0}, {2, 0, 0}, {{1, 1, 1}, 0.0f, {2, 2, 2}, -1}));
    scene.addMesh(quadMesh({0, 2, 0}, {1, 0, 0}, {0, 0, 1}, {}));
    scene.buildHierarchy();
    const EmitterTable table = makeShadingScene(scene).emitters;
    ASSERT_EQ(table.emitters.size(), 5u);  // 3 lights, 2 triangles of the first quad
    const double total = 4 * kPi + 4 * kPi * kPi + 2 * (kPi * 0.5 * 2);
    EXPECT_NEAR(table.emitters[0].probability, 4 * kPi / total, 1e-6);
    EXPECT_EQ(table.emitters[1].probability, 0.0f);
    EXPECT_NEAR(table.emitters[2].probability, 4 * kPi * kPi / total, 1e-6);
    EXPECT_NEAR(table.emitters[3].probability, kPi / total, 1e-6);
    EXPECT_EQ(table.emitters[3].kind, EmitterKind::Triangle);
    EXPECT_FLOAT_EQ(table.emitters[3].area, 0.5f);
    // The front of a quad is sideA x sideB: here down.
    EXPECT_EQ(table.emitters[3].normal, (Vec3{0, -1, 0}));
    EXPECT_EQ(table.lightProbabilities[2], table.emitters[2].probability);
    EXPECT_NEAR(table.trianglePdfScale, kPi / total, 1e-7);
    // The cdf's steps: the dark light between the first and the third is skipped.
    EXPECT_EQ(emitterAt(table, 0.0f), 0);
    EXPECT_EQ(emitterAt(table, table.cdf[0]), 2);
    EXPECT_EQ(emitterAt(table, std::nextafter(1.0f, 0.0f)), 4);
}

// A cdf of `count` entries, every third step of zero width (an emitter of no power), the last
// exactly 1.
std::vector<float> cdfOf(std::size_t count) {
    std::vector<float> cdf;
    float step = 0.0f;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 3 != 1) step += 1.0f;
        cdf.push_back(step);
    }
    for (float& entry : cdf) entry /= step;
    cdf.back() = 1.0f;
    return cdf;
}

class EmittersAt : public testing::TestWithParam<std::size_t> {};

// The lanes' pick, by counting entries in short tables and by search in long ones, is
// emitterAt's for every u at and around each entry, at 0 and just below 1.
TEST_P(EmittersAt, PicksAsTheSearchDoes) {
    EmitterTable table;
    table.cdf = cdfOf(GetParam());
    std::vector<float> numbers = {0.0f, std::nextafter(1.0f, 0.0f)};
    for (const float entry : table.cdf) {
        for (const float u : {std::nextafter(entry, 0.0f), entry, std::nextafter(entry, 1.0f)}) {
            if (u < 1.0f) numbers.push_back(u);
        }
    }
    for (const float u : numbers) {
        EXPECT_EQ(emittersAt<scalar::Lanes>(table, u, scalar::kOneLane).value, emitterAt(table, u))
            << "u " << u << " of " << GetParam() << " entries";
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, EmittersAt,
                         testing::Values(1, 2, 7, kLinearPickEntries, kLinearPickEntries + 1, 100));

}  // namespace
}  // namespace lucentor
