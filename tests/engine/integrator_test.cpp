#include "engine/integrator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "bench/scene_generator.h"
#include "engine/image.h"
#include "engine/render_job.h"
#include "engine/startup.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"
#include "query/packet.h"
#include "scenefile/scene_file.h"
#include "shading/random.h"
#include "tests/support/every_path.h"
#include "tests/support/random_scene.h"
#include "tests/support/tree_check.h"

namespace lucentor {
namespace {

constexpr int kPass = 3;

struct Fixture {
    Camera camera = makeCamera();
    std::vector<Vec3> sums = std::vector<Vec3>(std::size_t(kPixelCount));
    RenderJob job;

    explicit Fixture(const Scene& scene, SimdPath simd = SimdPath::Scalar) {
        job.camera = &camera;
        job.scene = &scene;
        job.accumulation = sums.data();
        job.simd = simd;
        prepareSampling(job);
    }
};

// The reference: the pixels of `tiles` sampled one by one, one ray at a time, each from its
// pixel sample's generator.
std::vector<Vec3> sumsOneByOne(const Scene& scene, const std::vector<PixelRegion>& tiles) {
    Fixture fixture(scene);
    for (const PixelRegion& tile : tiles) {
        for (int y = tile.y; y < tile.y + tile.height; ++y) {
            for (int x = tile.x; x < tile.x + tile.width; ++x) {
                RandomGenerator generator{pixelSeed(fixture.job.seed, kPass, x, y)};
                accumulate(fixture.sums[std::size_t(pixelIndex(x, y))],
                           fixture.job.samplePixel(x, y, generator));
            }
        }
    }
    return fixture.sums;
}

// `tiles` through the kernel of `simd`, a packet of pixels side by side in its lanes.
std::vector<Vec3> sumsSideBySide(const Scene& scene, const std::vector<PixelRegion>& tiles,
                                 SimdPath simd) {
    Fixture fixture(scene, simd);
    for (const PixelRegion& tile : tiles) {
        fixture.job.kernel.renderTile(fixture.job, fixture.job.shading, kPass, tile);
    }
    return fixture.sums;
}

bool sameBits(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    // Bit for bit, signed zeros included.
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3)) == 0;
}

using testing::EveryPath;

// Tile sets in no particular order, with the picture's corners and edges: packets cut by the
// tile's edges (lanes left empty), a row and a column alone, and pixels whose ray trees end
// at different depths side by side.
const std::vector<std::vector<PixelRegion>> kTileSets = {
    {{320, 240, 1, 1}},
    {{636, 476, 4, 4}, {0, 0, 5, 3}},
    {{7, 300, 5, 3}, {300, 121, 13, 7}, {0, 479, 9, 1}},
    {{0, 240, 640, 1}},
    {{200, 200, 16, 16}, {100, 0, 3, 40}, {633, 100, 7, 9}},
    {{13, 17, 37, 23}, {400, 380, 32, 16}, {120, 60, 1, 17}}};

TEST_P(EveryPath, PresetsGiveTheSumsOfWidthOne) {
    for (const Preset preset : {buildBoxScene, buildTrioScene, buildFieldScene}) {
        const std::unique_ptr<Scene> scene(createPresetScene(preset));
        for (std::size_t set = 0; set < kTileSets.size(); ++set) {
            const std::vector<PixelRegion>& tiles = kTileSets[set];
            EXPECT_TRUE(
                sameBits(sumsSideBySide(*scene, tiles, GetParam()), sumsOneByOne(*scene, tiles)))
                << "tile set " << set;
        }
    }
}

constexpr int kBigSpheres = 100'000;
constexpr std::array<SphereLayout, 3> kBigLayouts = {SphereLayout::Layer, SphereLayout::Clustered,
                                                     SphereLayout::Coincident};

// A scene file of 100,000 spheres in `layout`, read from a rows file as lucentor-render reads
// it, once per run.
const Scene& bigScene(SphereLayout layout) {
    static std::map<SphereLayout, std::unique_ptr<Scene>> scenes;
    std::unique_ptr<Scene>& scene = scenes[layout];
    if (scene != nullptr) return *scene;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("integrator_test." + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "rows.csv", std::ios::binary) << sphereRowsText(kBigSpheres, layout, 3);
    std::ofstream(folder / "scene.toml", std::ios::binary) << sceneTextAround("rows.csv");
    std::string problem;
    std::vector<std::string> warnings;
    const SceneFileStatus status =
        loadSceneFile((folder / "scene.toml").string(), scene, problem, warnings);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(status, SceneFileStatus::Read) << problem;
    if (scene == nullptr) scene = std::make_unique<Scene>();
    return *scene;
}

// However the centres lie, the wide tree holds every sphere within the depth limit, so that
// the packet walks take it and no walk is cut short.
TEST(BigScenes, KeepTheirTreesWithinTheDepthLimit) {
    for (const SphereLayout layout : kBigLayouts) {
        const Scene& scene = bigScene(layout);
        ASSERT_EQ(scene.sphereCount, kBigSpheres) << int(layout);
        EXPECT_EQ(testing::wideTreeProblem(scene), "") << int(layout);
        EXPECT_TRUE(packetWalksApply(scene)) << int(layout);
    }
}

TEST_P(EveryPath, BigScenesGiveTheSumsOfWidthOne) {
    for (const SphereLayout layout : kBigLayouts) {
        const Scene& scene = bigScene(layout);
        for (const std::size_t set : {std::size_t(2), std::size_t(4), std::size_t(5)}) {
            const std::vector<PixelRegion>& tiles = kTileSets[set];
            EXPECT_TRUE(
                sameBits(sumsSideBySide(scene, tiles, GetParam()), sumsOneByOne(scene, tiles)))
                << "layout " << int(layout) << ", tile set " << set;
        }
    }
}

// What the random scenes hold that the presets lack.
struct SceneTraits {
    int lights = 0;
    bool pointLight = false;
    bool sphereLight = false;
    bool mirror = false;
    bool glassPlane = false;  // a glass plane is always left, so steep rays reflect totally
};

SceneTraits traitsOf(const Scene& scene) {
    SceneTraits traits;
    traits.lights = scene.lightCount;
    for (int i = 0; i < scene.lightCount; ++i) {
        (scene.lights[i]->radius > 0.0f ? traits.sphereLight : traits.pointLight) = true;
    }
    for (int i = 0; i < scene.sphereCount; ++i) {
        const float m = scene.leaves[i]->sphere->material;
        traits.mirror = traits.mirror || (m != 0.0f && !(m > 1.0f));
    }
    for (int i = 0; i < scene.planeCount; ++i) {
        traits.glassPlane = traits.glassPlane || scene.planes[i]->material > 1.0f;
    }
    return traits;
}

// Several lights of both kinds whose draws and shadow rays interleave across the lanes, and
// mirrors, glass and total internal reflection in the camera's view.
TEST_P(EveryPath, RandomScenesGiveTheSumsOfWidthOne) {
    std::mt19937 random(8);
    SceneTraits seen;
    for (int i = 0; i < 12; ++i) {
        Scene scene;
        testing::fillRandomScene(scene, random);
        const SceneTraits traits = traitsOf(scene);
        seen.lights = std::max(seen.lights, traits.lights);
        seen.pointLight = seen.pointLight || (traits.pointLight && traits.sphereLight);
        seen.mirror = seen.mirror || traits.mirror;
        seen.glassPlane = seen.glassPlane || traits.glassPlane;
        const std::vector<PixelRegion> tiles = {
            {60 + i, 240, 24, 9}, {420 - i, 100, 7, 18}, {0, 30 + i, 640, 2}};
        EXPECT_TRUE(sameBits(sumsSideBySide(scene, tiles, GetParam()), sumsOneByOne(scene, tiles)))
            << "scene " << i;
    }
    EXPECT_GE(seen.lights, 3);
    EXPECT_TRUE(seen.pointLight) << "no scene with point and spherical lights together";
    EXPECT_TRUE(seen.mirror);
    EXPECT_TRUE(seen.glassPlane);
}

TEST_P(EveryPath, AStopBeforeTheFirstPacketAddsNothing) {
    const std::unique_ptr<Scene> scene(createPresetScene(buildBoxScene));
    Fixture fixture(*scene, GetParam());
    fixture.job.stopRequested.store(true);
    fixture.job.kernel.renderTile(fixture.job, fixture.job.shading, kPass, {10, 10, 16, 16});
    EXPECT_TRUE(sameBits(fixture.sums, std::vector<Vec3>(std::size_t(kPixelCount))));
}

// The jitter and the light sampler take draws modulo a cell's or a grid's width: the lanes
// must give C++'s remainder at the edges of both ranges and for random pairs.
TEST_P(EveryPath, RemaindersEqualTheDivisions) {
    const LanePrimitives lanes = lanePrimitivesOf(GetParam());
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    std::vector<std::array<std::int32_t, 2>> pairs = {
        {0, 1},       {kMax, 1},    {kMax, kMax},   {kMax - 1, kMax}, {kMax, 2},
        {5000, 5001}, {5001, 5001}, {15649, 15650}, {kMax, 15650},    {1073741824, 3}};
    std::mt19937 random(3);
    std::uniform_int_distribution<std::int32_t> value(0, kMax);
    std::uniform_int_distribution<std::int32_t> divisor(1, 40000);
    for (int i = 0; i < 20000; ++i) {
        const std::int32_t d = i % 2 == 0 ? divisor(random) : value(random) / 2 + 1;
        pairs.push_back({value(random), d});
        pairs.push_back({(value(random) / d) * d - (i % 3), d});  // multiples and neighbours
    }
    std::array<std::int32_t, 16> values{};
    std::array<std::int32_t, 16> divisors{};
    std::array<std::int32_t, 16> out{};
    for (std::size_t first = 0; first < pairs.size(); first += std::size_t(lanes.width)) {
        divisors.fill(1);
        values.fill(0);
        const std::size_t count = std::min(std::size_t(lanes.width), pairs.size() - first);
        for (std::size_t k = 0; k < count; ++k) {
            values[k] = std::max(0, pairs[first + k][0]);
            divisors[k] = pairs[first + k][1];
        }
        lanes.remainders(values.data(), divisors.data(), out.data());
        for (std::size_t k = 0; k < count; ++k) {
            ASSERT_EQ(out[k], values[k] % divisors[k]) << values[k] << " mod " << divisors[k];
        }
    }
}

// Each lane draws from its own generator exactly as RandomGenerator does, and only where it
// is active.
TEST_P(EveryPath, DrawsFollowEachLanesGeneratorWhereActive) {
    const LanePrimitives lanes = lanePrimitivesOf(GetParam());
    std::array<std::uint64_t, 16> states{};
    std::array<RandomGenerator, 16> expected{};
    for (std::size_t k = 0; k < states.size(); ++k) {
        states[k] = mixBits(k) ^ (k << 40u);
        expected[k].state = states[k];
    }
    std::array<std::int32_t, 16> out{};
    std::mt19937 random(4);
    for (int round = 0; round < 200; ++round) {
        const std::uint32_t active = round == 0 ? ~0u : std::uint32_t(random());
        lanes.draws(states.data(), active, out.data());
        for (int k = 0; k < lanes.width; ++k) {
            const auto lane = std::size_t(k);
            if ((active >> k & 1u) != 0) {
                ASSERT_EQ(out[lane], expected[lane].next()) << "lane " << k << " round " << round;
            }
            ASSERT_EQ(states[lane], expected[lane].state) << "lane " << k << " round " << round;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, EveryPath, testing::everyPath(), testing::pathCaseName);

}  // namespace
}  // namespace lucentor
