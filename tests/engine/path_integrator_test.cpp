// The path integrator against answers known in closed form: objects under a uniform sky, a
// room whose walls all glow, the irradiance of a point light and of a sphere light, each way
// of finding the light alone and combined; every kernel bit for bit against width 1; and the
// background in both integrators.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/rendering.h"
#include "scene/scene.h"
#include "scene/shapes.h"
#include "tests/support/every_path.h"
#include "tests/support/icosphere.h"

namespace lucentor {
namespace {

constexpr ImageSize kSize{32, 24};

struct Options {
    int passes = 16;
    SimdPath simd = bestAvailablePath();
    int threads = 2;
    PathStrategy strategy = PathStrategy::Combined;
    ImageSize size = kSize;
};

// The per-pixel sums of `options.passes` passes of `scene`, which the rendering takes.
std::vector<Vec3> sums(Scene* scene, const Options& options) {
    Rendering rendering;
    prepareRendering(rendering, scene, options.size);
    startWorkers(rendering, options.threads, kRenderSeed, options.simd);
    // Read by the workers only once the first pass has started.
    rendering.job.shading.pathStrategy = options.strategy;
    for (int pass = 1; pass <= options.passes; ++pass) {
        startPass(rendering.job, pass);
        while (!waitForPassComplete(rendering.job, std::chrono::seconds(1))) {
        }
    }
    stopWorkers(rendering);
    return {rendering.accumulation, rendering.accumulation + options.size.pixelCount()};
}

// The mean radiance of the pixels from column x, row y, `width` by `height`, over the passes.
Vec3 meanOf(const std::vector<Vec3>& sums, const Options& options, int x, int y, int width,
            int height) {
    double r = 0.0, g = 0.0, b = 0.0;
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            const Vec3& s = sums[std::size_t(row * options.size.width + column)];
            r += double(s.x);
            g += double(s.y);
            b += double(s.z);
        }
    }
    const double n = double(width) * double(height) * double(options.passes);
    return {float(r / n), float(g / n), float(b / n)};
}

Vec3 wholeMean(const std::vector<Vec3>& sums, const Options& options) {
    return meanOf(sums, options, 0, 0, options.size.width, options.size.height);
}

void expectNear(const Vec3& seen, const Vec3& expected, float relative, const std::string& what) {
    EXPECT_NEAR(seen.x, expected.x, relative * expected.x) << what;
    EXPECT_NEAR(seen.y, expected.y, relative * expected.y) << what;
    EXPECT_NEAR(seen.z, expected.z, relative * expected.z) << what;
}

Scene* pathScene(const CameraPose& pose, Vec3 background = {}) {
    auto* scene = new Scene;
    scene->limits = kSceneFileLimits;
    scene->planeRule = PlaneRule::Geometric;
    scene->integrator = Integrator::Path;
    scene->maxDepth = kMaxPathDepth;
    scene->background = background;
    scene->camera = pose;
    return scene;
}

// A mesh's triangles turned to face the other way.
Mesh insideOut(Mesh mesh) {
    for (Triangle& t : mesh.triangles) std::swap(t.vertices[1], t.vertices[2]);
    return mesh;
}

constexpr Vec3 kSky{0.5f, 1.0f, 2.0f};
constexpr CameraPose kFacingOrigin{{0, 0, 4}, {0, 0, 0}, {0, 1, 0}, 30.0f};

// A ray that meets nothing sees the background in both integrators, and only that.
TEST(Background, IsWhatRaysThatMeetNothingSee) {
    for (const Integrator integrator : {Integrator::Direct, Integrator::Path}) {
        Scene* scene = pathScene(kFacingOrigin, kSky);
        scene->integrator = integrator;
        scene->addSphere({0, 0, 0}, 0.5f, {0.5f, 0.5f, 0.5f}, 0.0f);
        scene->buildHierarchy();
        const Options options{2};
        const std::vector<Vec3> picture = sums(scene, options);
        // The corners miss the sphere, the centre meets it.
        EXPECT_EQ(meanOf(picture, options, 0, 0, 2, 2), kSky);
        EXPECT_NE(meanOf(picture, options, 14, 10, 4, 4), kSky);
    }
}

// Under a uniform sky of radiance L every ray that leaves a convex object escapes, so a
// diffuse or mirror surface of colour c shows exactly c L and clear glass L (a glass box
// within noise: its rays may be caught inside until the roulette ends them).
struct SkyCase {
    const char* name;
    bool box;  // a box mesh, or else a sphere
    Vec3 color;
    float material;
    float tolerance;  // relative
};

class UnderUniformSky : public ::testing::TestWithParam<SkyCase> {};

TEST_P(UnderUniformSky, ShowsItsColourTimesTheSky) {
    const SkyCase& c = GetParam();
    Scene* scene = pathScene(kFacingOrigin, kSky);
    if (c.box) {
        scene->addMesh(
            boxMesh({-1, -1, -1}, {1, 1, 1}, {20, 30, 0}, {c.color, c.material, {}, -1}));
    } else {
        scene->addSphere({0, 0, 0}, 1.5f, c.color, c.material);
    }
    scene->buildHierarchy();
    const Options options{16};
    const std::vector<Vec3> picture = sums(scene, options);
    // The middle 8 by 8 pixels see the object only (30 degrees across 24 rows at 4 units).
    expectNear(meanOf(picture, options, 12, 8, 8, 8), c.color * kSky, c.tolerance, c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Objects, UnderUniformSky,
    ::testing::Values(SkyCase{"diffuse_sphere", false, {0.6f, 0.3f, 0.9f}, 0.0f, 1e-5f},
                      SkyCase{"half_mirror_sphere", false, {0.8f, 0.5f, 0.2f}, 0.5f, 1e-5f},
                      SkyCase{"glass_sphere", false, {1, 1, 1}, 1.5f, 1e-5f},
                      SkyCase{"diffuse_box", true, {0.6f, 0.3f, 0.9f}, 0.0f, 1e-5f},
                      SkyCase{"glass_box", true, {1, 1, 1}, 1.5f, 0.03f}),
    [](const ::testing::TestParamInfo<SkyCase>& c) { return std::string(c.param.name); });

// A closed room whose walls all emit E and reflect a share rho: every ray meets a wall, and
// the radiance everywhere is E (1 + rho + rho^2 + ...) = E / (1 - rho), however the light is
// found.
Scene* glowingRoom(Vec3 emission, float albedo) {
    Scene* scene = pathScene({{0.2f, -0.3f, 0.1f}, {0.5f, 0.2f, -1}, {0, 1, 0}, 80.0f});
    scene->addMesh(insideOut(boxMesh({-1, -1, -2}, {1, 1.5f, 1}, {0, 10, 0},
                                     {{albedo, albedo, albedo}, 0.0f, emission, -1})));
    scene->buildHierarchy();
    return scene;
}

class GlowingRoom : public ::testing::TestWithParam<PathStrategy> {};

TEST_P(GlowingRoom, ShowsEmissionOverOneMinusAlbedo) {
    const Vec3 emission{0.25f, 0.5f, 1.0f};
    const float albedo = 0.5f;
    Options options{8};
    options.strategy = GetParam();
    const std::vector<Vec3> picture = sums(glowingRoom(emission, albedo), options);
    expectNear(wholeMean(picture, options), emission * (1.0f / (1.0f - albedo)), 0.02f,
               "whole picture");
    // Every quarter of the picture alike: a wall's corner is no darker than its middle.
    for (const auto& [x, y] : {std::pair{0, 0}, {16, 0}, {0, 12}, {16, 12}}) {
        expectNear(meanOf(picture, options, x, y, 16, 12), emission * (1.0f / (1.0f - albedo)),
                   0.05f, "quarter at " + std::to_string(x) + "," + std::to_string(y));
    }
}

INSTANTIATE_TEST_SUITE_P(Strategies, GlowingRoom,
                         ::testing::Values(PathStrategy::Combined, PathStrategy::LightsOnly,
                                           PathStrategy::BouncesOnly));

// A floor of albedo 0.8 under a camera looking straight down, 1 degree across, from `height`
// above it: every pixel sees the point straight below within 0.02 % of its irradiance.
Scene* floorSeenFromAbove(float height) {
    Scene* scene = pathScene({{0, height, 0}, {0, 0, 0}, {0, 0, -1}, 1.0f});
    scene->addPlane({0, 0, 0}, {0.8f, 0.8f, 0.8f}, {0, 1, 0}, 0.0f);
    return scene;
}

// A point light of intensity I straight above a diffuse floor of albedo rho at height d
// gives it irradiance I / d^2, so the floor below shows rho I / (pi d^2).
TEST(PointLight, IrradianceFallsWithTheSquareOfTheDistance) {
    constexpr float kPi = 3.14159265f;
    for (const float d : {0.5f, 1.0f, 2.0f, 4.0f}) {
        Scene* scene = floorSeenFromAbove(d);
        scene->addLight({0, d, 0}, 0.0f, {1, 0.5f, 0.25f}, 3.0f);
        scene->buildHierarchy();
        const Options options{2};
        const std::vector<Vec3> picture = sums(scene, options);
        const Vec3 expected = Vec3{3, 1.5f, 0.75f} * (0.8f / (kPi * d * d));
        expectNear(wholeMean(picture, options), expected, 0.002f, "height " + std::to_string(d));
    }
}

// A sphere light of radius r and radiance L whose centre is d above a diffuse floor of albedo
// rho gives the point below irradiance pi L (r / d)^2 (the cap it subtends, sin^2 of its half
// angle), so the floor shows rho L (r / d)^2. The camera stands inside the light, which rays
// leaving it never meet. Sampling the light, bouncing and their combination all find it.
class SphereLight : public ::testing::TestWithParam<PathStrategy> {};

TEST_P(SphereLight, IrradianceMatchesTheSubtendedCap) {
    // Bounce rays alone find the light with probability (r / d)^2: at d = 4, 6 % of them.
    const bool bouncesOnly = GetParam() == PathStrategy::BouncesOnly;
    for (const float d : {2.0f, 4.0f}) {
        Scene* scene = floorSeenFromAbove(d);
        scene->addLight({0, d, 0}, 1.0f, {1, 0.5f, 0.25f}, 4.0f);
        scene->buildHierarchy();
        Options options{bouncesOnly ? 64 : 8};
        options.strategy = GetParam();
        const std::vector<Vec3> picture = sums(scene, options);
        const Vec3 expected = Vec3{4, 2, 1} * (0.8f * (1.0f / (d * d)));
        expectNear(wholeMean(picture, options), expected, bouncesOnly ? 0.06f : 0.01f,
                   "height " + std::to_string(d));
    }
}

INSTANTIATE_TEST_SUITE_P(Strategies, SphereLight,
                         ::testing::Values(PathStrategy::Combined, PathStrategy::LightsOnly,
                                           PathStrategy::BouncesOnly));

// An emissive quad lights only what lies before its front, the side sideA x sideB points to:
// the floor below the camera, beside a quad facing down, or nothing when it faces up.
TEST(EmissiveQuad, EmitsFromItsFrontOnly) {
    for (const bool front : {true, false}) {
        Scene* scene = floorSeenFromAbove(3.0f);
        const Vec3 a{1, 0, 0};
        const Vec3 b{0, 0, 1};  // a x b points down
        scene->addMesh(quadMesh({1.5f, 1, -0.5f}, front ? a : b, front ? b : a,
                                {{0, 0, 0}, 0.0f, {5, 4, 3}, -1}));
        scene->buildHierarchy();
        const Options options{2};
        const Vec3 floor = wholeMean(sums(scene, options), options);
        EXPECT_EQ(floor.x > 0.05f, front);
        EXPECT_EQ(floor == Vec3{}, !front);
    }
}

// Energy: in an open box of white diffuse walls and mirrors under a uniform sky of radiance L,
// all light comes from the sky and none is lost, so the mean is L; walls that reflect 90 %
// show less, never more.
Scene* openBox(float albedo) {
    Scene* scene = pathScene({{0, 0.5f, 3}, {0, 0, -1}, {0, 1, 0}, 60.0f}, kSky);
    const MeshMaterial wall{{albedo, albedo, albedo}, 0.0f, {}, -1};
    // Floor, ceiling, left, right and back wall, each facing in; open towards the camera.
    scene->addMesh(quadMesh({-1, -1, -2}, {0, 0, 2}, {2, 0, 0}, wall));
    scene->addMesh(quadMesh({-1, 1, -2}, {2, 0, 0}, {0, 0, 2}, wall));
    scene->addMesh(quadMesh({-1, -1, -2}, {0, 2, 0}, {0, 0, 2}, wall));
    scene->addMesh(quadMesh({1, -1, -2}, {0, 0, 2}, {0, 2, 0}, wall));
    scene->addMesh(quadMesh({-1, -1, -2}, {2, 0, 0}, {0, 2, 0}, wall));
    scene->addSphere({0.3f, -0.5f, -1}, 0.4f, {albedo, albedo, albedo}, 0.6f);
    scene->addMesh(icosphere({-0.5f, -0.6f, -1.2f}, 0.35f, 2, wall));
    scene->buildHierarchy();
    return scene;
}

TEST(Energy, WhiteWallsUnderASkyShowTheSkyAndDarkerOnesLess) {
    const Options options{16};
    expectNear(wholeMean(sums(openBox(1.0f), options), options), kSky, 0.03f, "white");
    const Vec3 grey = wholeMean(sums(openBox(0.9f), options), options);
    EXPECT_TRUE(grey.x < kSky.x && grey.y < kSky.y && grey.z < kSky.z) << grey.x;
}

// Everything the path integrator meets at once: spheres, planes, mirrors, glass, smooth and
// flat triangles, an emissive quad, a sphere light, a point light and a sky.
Scene* everything() {
    Scene* scene =
        pathScene({{0.4f, 1.6f, 3.6f}, {0, 0.9f, 0}, {0, 1, 0}, 50.0f}, {0.1f, 0.15f, 0.2f});
    scene->maxDepth = 6;
    scene->addPlane({0, 0, 0}, {0.7f, 0.7f, 0.7f}, {0, 1, 0}, 0.0f);
    scene->addPlane({0, 0, -3}, {0.3f, 0.5f, 0.8f}, {0, 0, 1}, 0.2f);
    scene->addSphere({-1.1f, 0.5f, 0}, 0.5f, {0.9f, 0.3f, 0.2f}, 0.0f);
    scene->addSphere({0.2f, 0.6f, 0.4f}, 0.6f, {1, 1, 1}, 1.5f);
    scene->addSphere({1.2f, 0.5f, -0.8f}, 0.5f, {0.9f, 0.9f, 0.9f}, 0.8f);
    scene->addMesh(icosphere({-0.3f, 0.4f, -1.2f}, 0.4f, 2, {{0.3f, 0.9f, 0.3f}, 0.0f, {}, -1}));
    scene->addMesh(
        boxMesh({0.8f, 0, 0.6f}, {1.4f, 0.5f, 1.2f}, {0, 25, 0}, {{0.9f, 0.9f, 1}, 1.4f, {}, -1}));
    scene->addMesh(
        quadMesh({-1, 2.5f, -1}, {2, 0, 0}, {0, 0, 1}, {{1, 1, 1}, 0.0f, {3, 3, 2}, -1}));
    scene->addLight({2, 3, 1}, 0.3f, {1, 0.9f, 0.8f}, 5.0f);
    scene->addLight({-2, 2, 2}, 0.0f, {0.5f, 0.5f, 1}, 4.0f);
    scene->buildHierarchy();
    return scene;
}

bool sameBits(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3)) == 0;
}

// The reference: every pixel sampled one by one by the one-ray form, pass after pass.
std::vector<Vec3> sumsOneByOne(Scene* scene, const Options& options) {
    Rendering rendering;
    prepareRendering(rendering, scene, options.size);
    startWorkers(rendering, 1, kRenderSeed, SimdPath::Scalar);  // idle: prepares the job
    std::vector<Vec3> out(std::size_t(options.size.pixelCount()));
    for (int pass = 1; pass <= options.passes; ++pass) {
        for (int y = 0; y < options.size.height; ++y) {
            for (int x = 0; x < options.size.width; ++x) {
                RandomGenerator generator{pixelSeed(kRenderSeed, pass, x, y)};
                accumulate(out[std::size_t(y * options.size.width + x)],
                           rendering.job.samplePixel(x, y, generator));
            }
        }
    }
    return out;
}

class PathKernels : public testing::EveryPath {};

// Each kernel's lanes follow the paths of the one-ray form, on two workers.
TEST_P(PathKernels, RenderBitForBitAsWidthOne) {
    const Options options{2, GetParam(), 2, PathStrategy::Combined, {64, 48}};
    EXPECT_TRUE(sameBits(sums(everything(), options), sumsOneByOne(everything(), options)));
}

INSTANTIATE_TEST_SUITE_P(Kernels, PathKernels, testing::everyPath(), testing::pathCaseName);

}  // namespace
}  // namespace lucentor
