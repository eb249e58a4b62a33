#include "engine/camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <string>
#include <string_view>

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

// The fixed camera keeps its image plane's height at every size, and at the window's 640 by
// 480 (and any 4:3 size) exactly the width it always had; other sizes follow their aspect.
TEST(Camera, FixedCameraKeepsItsHeightAtEverySize) {
    const struct {
        ImageSize size;
        float width;
    } kCases[] = {{{640, 480}, 2.7f},   {{1280, 960}, 2.7f}, {{16, 12}, 2.7f},
                  {{480, 480}, 2.025f}, {{1024, 256}, 8.1f}, {{16, 8192}, 0.0039550781f}};
    for (const auto& c : kCases) {
        const Camera camera = makeCamera(c.size);
        EXPECT_FLOAT_EQ(camera.horizontal.x, c.width) << c.size.width << "x" << c.size.height;
        EXPECT_EQ(camera.vertical, (Vec3{0.0f, 2.0f, 0.0f}));
        EXPECT_EQ(camera.lowerLeft.y, -1.0f);
        EXPECT_EQ(camera.lowerLeft.z, -2.0f);
    }
    EXPECT_EQ(makeCamera({640, 480}).horizontal, makeCamera().horizontal);
    EXPECT_EQ(makeCamera({640, 480}).lowerLeft, (Vec3{-1.35f, -1.0f, -2.0f}));
}

// A pose's camera: the picture's centre looks at look_at, its top edge is `fov` / 2 above it
// towards `up`, and its left edge is to the left of the view with `up` drawn upward.
TEST(Camera, PoseLooksAtItsPointWithItsFieldOfView) {
    const CameraPose pose{{1, 2, 3}, {1, 2, -7}, {0, 1, 0}, 60.0f};
    const ImageSize size{800, 400};
    const Camera camera = makeCamera(pose, size);
    EXPECT_EQ(camera.origin, pose.position);
    const Ray centre = cameraRay(camera, 0.5f, 0.5f);
    EXPECT_NEAR(centre.direction.z, -1.0f, 1e-6f);
    const Ray top = cameraRay(camera, 0.5f, 0.0f);
    EXPECT_NEAR(top.direction.y, std::sin(30.0 * std::numbers::pi / 180.0), 1e-6);
    const Ray left = cameraRay(camera, 0.0f, 0.5f);
    EXPECT_LT(left.direction.x, 0.0f) << "+x is to the right looking along -z with +y up";
    // Square pixels: the horizontal extent is twice the vertical one at 800 by 400.
    EXPECT_NEAR(length(camera.horizontal), 2.0f * length(camera.vertical), 1e-5f);
    // Turned upside down by its up.
    const Camera flipped = makeCamera({pose.position, pose.lookAt, {0, -1, 0}, 60.0f}, size);
    EXPECT_NEAR(cameraRay(flipped, 0.5f, 0.0f).direction.y, -0.5f, 1e-6f);
}

double degreesBetween(const Vec3& a, const Vec3& b) {
    const double cosine = double(dot(a, b)) / (double(length(a)) * double(length(b)));
    return std::acos(std::clamp(cosine, -1.0, 1.0)) * 180.0 / std::numbers::pi;
}

// Looking up or down with the usual up (+y, not perpendicular to the view) keeps the field of
// view: the angles between opposite edges are the pose's fov and the width's, whatever the
// tilt and the length of `up` (an unnormalised right vector zoomed the picture by the cosine
// of the tilt).
TEST(Camera, TiltedViewKeepsItsFieldOfView) {
    const ImageSize size{640, 320};
    const double fov = 50.0;
    const double expectedWidth =
        2.0 * std::atan(2.0 * std::tan(fov * std::numbers::pi / 360.0)) * 180.0 / std::numbers::pi;
    for (const double tilt : {0.0, 20.0, 45.0, -60.0, 80.0}) {
        for (const Vec3 up : {Vec3{0, 1, 0}, Vec3{0, 3, 0}, Vec3{0.2f, 1, 0.1f}}) {
            const auto radians = tilt * std::numbers::pi / 180.0;
            const Vec3 eye{1, 2, 3};
            const Vec3 target =
                eye + Vec3{0.0f, float(std::sin(radians)), -float(std::cos(radians))};
            const Camera camera = makeCamera({eye, target, up, float(fov)}, size);
            const Vec3 left = cameraRay(camera, 0.0f, 0.5f).direction;
            const Vec3 right = cameraRay(camera, 1.0f, 0.5f).direction;
            const Vec3 top = cameraRay(camera, 0.5f, 0.0f).direction;
            const Vec3 bottom = cameraRay(camera, 0.5f, 1.0f).direction;
            EXPECT_NEAR(degreesBetween(top, bottom), fov, 1e-3) << "tilt " << tilt;
            EXPECT_NEAR(degreesBetween(left, right), expectedWidth, 1e-3) << "tilt " << tilt;
        }
    }
}

// A mirrored pose sees at u what the same pose unmirrored sees at 1 - u.
TEST(Camera, MirroredPoseSeesLeftAndRightSwapped) {
    CameraPose pose{{1, 2, 3}, {-2, 0.5f, -4}, {0, 1, 0}, 40.0f};
    const Camera plain = makeCamera(pose, {320, 200});
    pose.mirrored = true;
    const Camera mirrored = makeCamera(pose, {320, 200});
    for (const float u : {0.0f, 0.25f, 0.5f, 0.9f, 1.0f}) {
        for (const float v : {0.0f, 0.5f, 1.0f}) {
            const Vec3 seen = cameraRay(mirrored, u, v).direction;
            const Vec3 expected = cameraRay(plain, 1.0f - u, v).direction;
            EXPECT_NEAR(length(seen - expected), 0.0f, 1e-6f) << "u " << u << ", v " << v;
        }
    }
}

TEST(Camera, PosesThatMakeNoCameraAreNamed) {
    const Vec3 eye{0, 0, 0};
    const Vec3 ahead{0, 0, -1};
    const struct {
        CameraPose pose;
        std::string_view says;  // empty: a good pose
    } kCases[] = {
        {{eye, ahead, {0, 1, 0}, 45.0f}, ""},
        {{eye, ahead, {0, 1, 0}, 179.9f}, ""},
        {{eye, ahead, {0.3f, 1, 0.2f}, 0.01f}, ""},
        {{eye, ahead, {0, 1, 0}, 0.0f}, "'fov'"},
        {{eye, ahead, {0, 1, 0}, 180.0f}, "'fov'"},
        {{eye, ahead, {0, 1, 0}, -10.0f}, "'fov'"},
        {{eye, ahead, {0, 1, 0}, std::numeric_limits<float>::quiet_NaN()}, "'fov'"},
        {{eye, eye, {0, 1, 0}, 45.0f}, "must differ"},
        {{eye, ahead, {0, 0, 0}, 45.0f}, "'up' must not be"},
        {{eye, ahead, {0, 0, 3}, 45.0f}, "along the view"},
        {{eye, ahead, {0, 1e-6f, -1}, 45.0f}, "along the view"},
    };
    for (const auto& c : kCases) {
        const std::string problem = cameraPoseProblem(c.pose);
        if (c.says.empty()) {
            EXPECT_EQ(problem, "");
        } else {
            EXPECT_NE(problem.find(c.says), std::string::npos) << problem << " / " << c.says;
        }
    }
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
