#include "engine/row_lanes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/image.h"
#include "engine/startup.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"
#include "shading/random.h"
#include "tests/support/random_scene.h"

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
    }
};

// Every path this processor has, the scalar one first.
std::vector<SimdPath> availablePaths() {
    std::vector<SimdPath> paths;
    for (const SimdPath path : {SimdPath::Scalar, SimdPath::Avx2, SimdPath::Avx512}) {
        if (isAvailable(path, detectCpuFeatures())) paths.push_back(path);
    }
    return paths;
}

// The sums of `rows` rendered one after the other, pixel after pixel, through samplePixel.
std::vector<Vec3> sumsOneByOne(const Scene& scene, const std::vector<int>& rows) {
    Fixture fixture(scene);
    for (const int row : rows) {
        seedThreadRandom(rowSeed(fixture.job.seed, kPass, row));
        for (int x = 0; x < kImageWidth; ++x)
            accumulate(fixture.sums[std::size_t(pixelIndex(x, row))],
                       fixture.job.samplePixel(x, row));
    }
    return fixture.sums;
}

std::vector<Vec3> sumsSideBySide(const Scene& scene, const std::vector<int>& rows,
                                 SimdPath simd = SimdPath::Scalar) {
    Fixture fixture(scene, simd);
    renderRows(fixture.job, kPass, rows);
    return fixture.sums;
}

bool sameBits(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    // Bit for bit, signed zeros included.
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3)) == 0;
}

// Row sets of sizes up to kRowLanes, in no particular order, with the first and last rows of
// the picture.
const std::vector<std::vector<int>> kRowSets = {
    {240},
    {479, 0},
    {7, 300, 121},
    {0, 1, 2, 3, 4, 5, 6, 479},
    {200, 201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 211, 212, 213, 214, 215}};

TEST(RowLanes, SameSumsAsRowsRenderedOneByOneForEveryPresetOnEveryPath) {
    static_assert(kRowLanes == 16, "the largest row set fills the lanes");
    for (const Preset preset : {buildBoxScene, buildTrioScene, buildFieldScene}) {
        const std::unique_ptr<Scene> scene(createPresetScene(preset));
        for (const std::vector<int>& rows : kRowSets) {
            const std::vector<Vec3> expected = sumsOneByOne(*scene, rows);
            for (const SimdPath path : availablePaths()) {
                EXPECT_TRUE(sameBits(sumsSideBySide(*scene, rows, path), expected))
                    << "rows from " << rows.front() << ", " << rows.size() << " of them, "
                    << pathName(path);
            }
        }
    }
}

// Random scenes bring what the presets lack: several lights, point and spherical, in one
// scene, whose draws and shadow rays interleave across rows, and mirrors and glass inside the
// camera's view.
TEST(RowLanes, SameSumsAsRowsRenderedOneByOneInRandomScenes) {
    std::mt19937 random(8);
    int multiLightScenes = 0;
    for (int i = 0; i < 12; ++i) {
        Scene scene;
        testing::fillRandomScene(scene, random);
        multiLightScenes += scene.lightCount > 1 ? 1 : 0;
        const std::vector<int> rows = {60 + i, 240, 420 - i, 100, 101, 102, 103, 104, 105};
        const std::vector<Vec3> expected = sumsOneByOne(scene, rows);
        for (const SimdPath path : availablePaths()) {
            EXPECT_TRUE(sameBits(sumsSideBySide(scene, rows, path), expected))
                << "scene " << i << ", " << pathName(path);
        }
    }
    EXPECT_GE(multiLightScenes, 6);
}

TEST(RowLanes, AStopBeforeTheFirstColumnAddsNothing) {
    const std::unique_ptr<Scene> scene(createPresetScene(buildBoxScene));
    Fixture fixture(*scene);
    fixture.job.stopRequested.store(true);
    renderRows(fixture.job, kPass, std::vector<int>{10, 20});
    EXPECT_TRUE(sameBits(fixture.sums, std::vector<Vec3>(std::size_t(kPixelCount))));
}

}  // namespace
}  // namespace lucentor
