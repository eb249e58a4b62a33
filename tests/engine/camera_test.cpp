#include "engine/camera.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/render_job.h"
#include "engine/startup.h"
#include "presets/box.h"
#include "shading/random.h"
#include "shading/trace.h"

namespace lucentor {
namespace {

TEST(Camera, FixedPinhole) {
    const Camera camera = makeCamera();
    EXPECT_EQ(camera.origin, (Vec3{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(camera.horizontal, (Vec3{2.7f, 0.0f, 0.0f}));
    EXPECT_EQ(camera.vertical, (Vec3{0.0f, 2.0f, 0.0f}));
    EXPECT_EQ(camera.lowerLeft, (Vec3{-1.35f, -1.0f, -2.0f}));
}

// Expected bounds worked out once from the float definitions; each lies about 7824 (u) or
// 10438 (v) either side of the pixel's centre x / 639 or y / 479 times 1e7.
TEST(PixelCell, BoundsAndTheirRays) {
    const struct {
        int x = 0;
        int y = 0;
        PixelCell cell;
    } kCases[] = {
        {0, 0, {-7824, 7824, -10438, 10438}},
        {320, 240, {5000000, 5015650, 5000000, 5020877}},
        {639, 479, {9992175, 10007825, 9989561, 10010438}},
    };
    const RenderJob job;
    const Camera camera = makeCamera();
    for (const auto& c : kCases) {
        const PixelCell cell = job.pixelCell(c.x, c.y);
        EXPECT_EQ(cell.uLow, c.cell.uLow) << c.x;
        EXPECT_EQ(cell.uHigh, c.cell.uHigh) << c.x;
        EXPECT_EQ(cell.vLow, c.cell.vLow) << c.y;
        EXPECT_EQ(cell.vHigh, c.cell.vHigh) << c.y;
        for (const int u : {cell.uLow, cell.uHigh - 1}) {
            for (const int v : {cell.vLow, cell.vHigh - 1}) {
                const Ray ray =
                    cameraRay(camera, job.jitterUnit * float(u), job.jitterUnit * float(v));
                EXPECT_NEAR(length(ray.direction), 1.0f, 1e-6f) << c.x << "," << c.y;
                EXPECT_EQ(ray.origin, camera.origin);
                EXPECT_EQ(ray.t, kFarDistance);
            }
        }
    }
}

// Lights seen only through the top-left and the bottom-right pixel: the window's top left
// shows world -x, -y and its bottom right +x, +y.
TEST(SamplePixel, CornersLookTowardsTheirSides) {
    Scene scene;
    scene.addLight(Vec3{-1.35f, -1.0f, -2.0f} * 5.0f, 0.5f, {1, 1, 1}, 1.0f);
    scene.addLight(Vec3{1.35f, 1.0f, -2.0f} * 5.0f, 0.5f, {1, 1, 1}, 1.0f);
    const Camera camera = makeCamera();
    RenderJob job;
    job.camera = &camera;
    job.scene = &scene;
    prepareSampling(job);
    const struct {
        int x = 0;
        int y = 0;
        Vec3 expected;
    } kCases[] = {
        {0, 0, kLightHitColor},
        {639, 479, kLightHitColor},
        {639, 0, {}},
        {0, 479, {}},
    };
    for (const auto& c : kCases) {
        for (std::uint64_t seed = 1; seed <= 3; ++seed) {
            RandomGenerator generator{seed};
            EXPECT_EQ(job.samplePixel(c.x, c.y, generator), c.expected) << c.x << "," << c.y;
        }
    }
}

// Over a scene that draws nothing, the sample leaves the generator exactly two draws on.
TEST(SamplePixel, DrawsTwiceBeforeTracing) {
    const Scene empty;
    const Camera camera = makeCamera();
    RenderJob job;
    job.camera = &camera;
    job.scene = &empty;
    prepareSampling(job);
    for (const int x : {0, 320, 639}) {
        RandomGenerator generator{77};
        job.samplePixel(x, 479 - x / 2, generator);
        RandomGenerator fresh{77};
        fresh.next();
        fresh.next();
        EXPECT_EQ(generator.state, fresh.state) << x;
    }
}

// The first draw places the sample within the cell's columns, the second within its rows, and
// the trace goes on with the same sequence; the box's lighting tells nearby rays apart.
TEST(SamplePixel, JitterTakesTheColumnDrawFirst) {
    const std::unique_ptr<Scene> scene(createPresetScene(buildBoxScene));
    const Camera camera = makeCamera();
    RenderJob job;
    job.camera = &camera;
    job.scene = scene.get();
    prepareSampling(job);
    for (const int x : {100, 320, 500}) {
        const PixelCell cell = job.pixelCell(x, 240);
        RandomGenerator replay{5};
        const int ju = cell.uLow + replay.next() % (cell.uHigh - cell.uLow);
        const int jv = cell.vLow + replay.next() % (cell.vHigh - cell.vLow);
        Ray ray = cameraRay(camera, job.jitterUnit * float(ju), job.jitterUnit * float(jv));
        const Vec3 expected = trace(ray, 0.0f, *scene, replay);
        RandomGenerator generator{5};
        EXPECT_EQ(job.samplePixel(x, 240, generator), expected) << x;
    }
}

}  // namespace
}  // namespace lucentor
