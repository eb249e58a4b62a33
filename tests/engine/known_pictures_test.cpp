// Whole renders of scene files whose answer is known without the renderer: which squares of a
// checkerboard seen straight from above have which colour, and sums that stay finite where
// every sample overflows. Compared with each other and with closed forms, never with recorded
// digests, so that a change of the random streams leaves them standing.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/rendering.h"
#include "scenefile/scene_file.h"
#include "tests/support/every_path.h"

namespace lucentor {
namespace {

constexpr ImageSize kSize{64, 64};

std::unique_ptr<Scene> sceneOf(const std::string& text) {
    auto scene = std::make_unique<Scene>();
    std::string problem;
    EXPECT_TRUE(parseSceneText(text, "known.toml", *scene, problem)) << problem;
    return scene;
}

// The sums after `passes` passes of `text` on `simd`, with two workers.
std::vector<Vec3> render(const std::string& text, SimdPath simd, int passes = 2) {
    Rendering rendering;
    prepareRendering(rendering, sceneOf(text).release(), kSize);
    startWorkers(rendering, 2, 7, simd);
    while (rendering.job.passNumber.load() < passes || !isPassComplete(rendering.job)) {
        if (!stepFrame(rendering, [] {})) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stopWorkers(rendering);
    return {rendering.accumulation, rendering.accumulation + kSize.pixelCount()};
}

bool sameBits(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3)) == 0;
}

// A camera 1 unit above the plane y = 0 looking straight down with a field of view of 90
// degrees, -z drawn upward: the 64 x 64 picture covers x and z from -1 to 1, each pixel 1/32
// of a unit. A point light straight above the camera lights every point of the plane.
std::string boardSeenFromAbove(const std::string& checkerKeys) {
    return "[camera]\nposition = [0, 1, 0]\nlook_at = [0, 0, 0]\nup = [0, 0, -1]\nfov = 90\n"
           "[[plane]]\npoint = [0, 0, 0]\nnormal = [0, 1, 0]\ncolor = \"checkerboard\"\n" +
           checkerKeys + "[[light]]\nposition = [0, 3, 0]\nradius = 0\nemission = [3, 3, 3]\n";
}

class KnownPictures : public testing::EveryPath {};

// The presets' board written out in keys is the board without them, bit for bit.
TEST_P(KnownPictures, DefaultCheckerKeysWrittenOutChangeNothing) {
    EXPECT_TRUE(sameBits(render(boardSeenFromAbove(""), GetParam()),
                         render(boardSeenFromAbove("checker_colors = [[1, 0, 0.86], [1, 1, 1]]\n"
                                                   "checker_size = 1\n"),
                                GetParam())));
}

// Squares of 0.25 units, red and blue: every pixel wholly inside a square shows its colour
// alone, the square from (0, 0) to (0.25, 0.25) and every second one from it red. Pixels on
// the squares' edges mix both and are left out.
TEST_P(KnownPictures, CheckerSizeAndColoursPaintTheSquaresTheyName) {
    const std::vector<Vec3> sums =
        render(boardSeenFromAbove("checker_colors = [[1, 0, 0], [0, 0, 1]]\nchecker_size = 0.25\n"),
               GetParam());
    constexpr int kPixelsPerSquare = 8;  // 0.25 units of 1/32
    int checked = 0;
    for (int row = 0; row < kSize.height; ++row) {
        for (int column = 0; column < kSize.width; ++column) {
            if (column % kPixelsPerSquare == 0 || column % kPixelsPerSquare == 7 ||
                row % kPixelsPerSquare == 0 || row % kPixelsPerSquare == 7) {
                continue;
            }
            // Pixel (column, row) covers x from -1 + column / 32, z likewise from the top row.
            const int squareX = column / kPixelsPerSquare - 4;
            const int squareZ = row / kPixelsPerSquare - 4;
            const bool first = ((squareX + squareZ) & 1) == 0;
            const Vec3 sum = sums[std::size_t(kSize.pixelIndex(column, row))];
            EXPECT_EQ(sum.y, 0.0f) << column << ", " << row;
            EXPECT_EQ(sum.x > 0.0f, first) << column << ", " << row;
            EXPECT_EQ(sum.z > 0.0f, !first) << column << ", " << row;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 64 * 36);
}

// A floor and a wall with boards of their own, met side by side in the lanes of one turn:
// every path shows each lane its own plane's board, as one ray at a time does.
TEST(KnownPicture, BoardsOfSeveralPlanesRenderAsOneRayAtATime) {
    const std::string text =
        "[camera]\nposition = [0, 2, 2]\nlook_at = [0, 0.5, -1]\nfov = 70\n"
        "[[plane]]\npoint = [0, 0, 0]\nnormal = [0, 1, 0]\ncolor = \"checkerboard\"\n"
        "checker_colors = [[1, 0, 0], [0, 0, 1]]\nchecker_size = 0.3\n"
        "[[plane]]\npoint = [0, 0, -1]\nnormal = [0, 0, 1]\ncolor = \"checkerboard\"\n"
        "checker_colors = [[0, 1, 0], [1, 1, 0]]\nchecker_size = 0.7\n"
        "[[plane]]\npoint = [-1, 0, 0]\nnormal = [1, 0, 0]\ncolor = \"checkerboard\"\n"
        "[[light]]\nposition = [0, 1.5, 0]\nradius = 0.2\nemission = [2, 2, 2]\n";
    const std::vector<Vec3> reference = render(text, SimdPath::Scalar);
    for (const SimdPath path : {SimdPath::Avx2, SimdPath::Avx512}) {
        if (!isAvailable(path, detectCpuFeatures())) continue;
        EXPECT_TRUE(sameBits(render(text, path), reference)) << pathName(path);
    }
    skipLackedPaths({SimdPath::Avx2, SimdPath::Avx512});
}

// A light so bright that the samples under it overflow to infinity: the accumulation drops
// each channel that is not finite, NaN and infinities alike, so no pixel is poisoned for good.
// One pass, since two finite samples this bright may overflow in their sum.
TEST_P(KnownPictures, InfiniteSamplesAddNothing) {
    const std::vector<Vec3> sums = render(
        "[camera]\nposition = [0, 1, 0]\nlook_at = [0, 0, 0]\nup = [0, 0, -1]\nfov = 90\n"
        "[[plane]]\npoint = [0, 0, 0]\nnormal = [0, 1, 0]\ncolor = [1, 1, 1]\n"
        "[[light]]\nposition = [0, 0.5, 0]\nradius = 0\nemission = [3e38, 3e38, 3e38]\n",
        GetParam(), 1);
    for (std::size_t i = 0; i < sums.size(); ++i) {
        ASSERT_TRUE(std::isfinite(sums[i].x) && std::isfinite(sums[i].y) &&
                    std::isfinite(sums[i].z))
            << "pixel " << i << " of " << pathName(GetParam());
    }
    // Under the light 3e38 / 0.5 overflows; at the picture's corner, 1.5 units away at a
    // slant, 3e38 * 0.33 / 1.5 does not.
    EXPECT_EQ(sums[std::size_t(kSize.pixelIndex(32, 32))], (Vec3{0, 0, 0}));
    EXPECT_GT(sums[std::size_t(kSize.pixelIndex(0, 0))].x, 1e37f);
    EXPECT_LT(sums[std::size_t(kSize.pixelIndex(0, 0))].x, 1e38f);
}

INSTANTIATE_TEST_SUITE_P(Paths, KnownPictures, testing::everyPath(), testing::pathCaseName);

}  // namespace
}  // namespace lucentor
