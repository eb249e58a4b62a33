// A scene and its camera moved together: the picture is the same up to the rounding of the
// moved coordinates, on every kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/display.h"
#include "engine/rendering.h"
#include "scene/scene.h"
#include "tests/support/every_path.h"

namespace lucentor {
namespace {

constexpr ImageSize kSize{160, 120};
constexpr int kPasses = 8;

// The example's kind of scene under the geometric rule, everything shifted by `offset`: a
// checkerboard floor, a mirror wall, diffuse, mirror and glass spheres, a soft light.
Scene* sceneAt(const Vec3& offset) {
    auto* scene = new Scene;
    scene->planeRule = PlaneRule::Geometric;
    scene->camera =
        CameraPose{Vec3{0, 1.2f, 4} + offset, Vec3{0, 0.6f, 0} + offset, {0, 1, 0}, 45.0f};
    scene->addPlane(offset, {0, 0, 0}, {0, 1, 0}, 0.0f);
    scene->addPlane(Vec3{0, 0, -3} + offset, {0.9f, 0.9f, 1}, {0, 0, 1}, 0.8f);
    scene->addSphere(Vec3{-1, 0.6f, 0} + offset, 0.6f, {0.9f, 0.2f, 0.15f}, 0.0f);
    scene->addSphere(Vec3{0.6f, 0.5f, 0.8f} + offset, 0.5f, {1, 1, 1}, 1.5f);
    scene->addSphere(Vec3{1.3f, 0.7f, -1.2f} + offset, 0.7f, {1, 1, 1}, 0.9f);
    scene->addLight(Vec3{-3, 6, 4} + offset, 1.0f, {1, 1, 1}, 12.0f);
    scene->buildHierarchy();
    return scene;
}

// The shown levels after kPasses passes.
std::vector<DisplayColor> picture(Scene* scene, SimdPath simd) {
    Rendering rendering;
    prepareRendering(rendering, scene, kSize);
    startWorkers(rendering, 2, kRenderSeed, simd);
    for (int pass = 1; pass <= kPasses; ++pass) {
        startPass(rendering.job, pass);
        while (!waitForPassComplete(rendering.job, std::chrono::seconds(1))) {
        }
    }
    stopWorkers(rendering);
    std::vector<DisplayColor> levels;
    for (int i = 0; i < kSize.pixelCount(); ++i) {
        levels.push_back(displayColor(rendering.accumulation[i], meanFactor(kPasses)));
    }
    return levels;
}

int largestDifference(const DisplayColor& a, const DisplayColor& b) {
    const int red = std::abs(int(a.red) - int(b.red));
    const int green = std::abs(int(a.green) - int(b.green));
    const int blue = std::abs(int(a.blue) - int(b.blue));
    return std::max(red, std::max(green, blue));
}

class MovedScene : public testing::EveryPath {};

// The same samples land on the same objects; only a pixel whose sample grazes an edge, where
// the rounding of the moved coordinates tips it, may differ. A scene whose camera stayed
// behind differs nearly everywhere.
TEST_P(MovedScene, GivesTheSamePictureWithItsCamera) {
    const std::vector<DisplayColor> home = picture(sceneAt({}), GetParam());
    const std::vector<DisplayColor> moved = picture(sceneAt({16, -8, 32}), GetParam());
    Scene* stranded = sceneAt({16, -8, 32});
    const std::unique_ptr<Scene> reference(sceneAt({}));
    stranded->camera = reference->camera;
    const std::vector<DisplayColor> away = picture(stranded, GetParam());
    int differing = 0;
    int differingAway = 0;
    for (std::size_t i = 0; i < home.size(); ++i) {
        differing += largestDifference(home[i], moved[i]) > 2 ? 1 : 0;
        differingAway += largestDifference(home[i], away[i]) > 2 ? 1 : 0;
    }
    EXPECT_LT(differing, kSize.pixelCount() / 100) << "pixels that differ by more than 2 levels";
    EXPECT_GT(differingAway, kSize.pixelCount() / 2);
}

INSTANTIATE_TEST_SUITE_P(Kernels, MovedScene, testing::everyPath(), testing::pathCaseName);

}  // namespace
}  // namespace lucentor
