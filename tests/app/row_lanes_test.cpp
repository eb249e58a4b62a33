#include "app/row_lanes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "app/image.h"
#include "app/startup.h"
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

    explicit Fixture(const Scene& scene) {
        job.camera = &camera;
        job.scene = &scene;
        job.accumulation = sums.data();
    }
};

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

std::vector<Vec3> sumsSideBySide(const Scene& scene, const std::vector<int>& rows) {
    Fixture fixture(scene);
    renderRows(fixture.job, kPass, rows);
    return fixture.sums;
}

bool sameBits(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    // Bit for bit, signed zeros included.
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3)) == 0;
}

// Row sets of every size up to kRowLanes, in no particular order, with the first and last
// rows of the picture.
const std::vector<std::vector<int>> kRowSets = {
    {240}, {479, 0}, {7, 300, 121}, {0, 1, 2, 3, 4, 5, 6, 479}};

TEST(RowLanes, SameSumsAsRowsRenderedOneByOneForEveryPreset) {
    static_assert(kRowLanes >= 8, "the largest row set fills the lanes");
    for (const Preset preset : {buildBoxScene, buildTrioScene, buildFieldScene}) {
        const std::unique_ptr<Scene> scene(createPresetScene(preset));
        for (const std::vector<int>& rows : kRowSets) {
            EXPECT_TRUE(sameBits(sumsSideBySide(*scene, rows), sumsOneByOne(*scene, rows)))
                << "rows from " << rows.front() << ", " << rows.size() << " of them";
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
        const std::vector<int> rows = {60 + i, 240, 420 - i};
        EXPECT_TRUE(sameBits(sumsSideBySide(scene, rows), sumsOneByOne(scene, rows)))
            << "scene " << i;
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
