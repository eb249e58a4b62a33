#include "bench/bench_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

#include "engine/image.h"
#include "engine/render_job.h"
#include "engine/startup.h"
#include "scenefile/scene_file.h"
#include "shading/lighting.h"
#include "shading/materials.h"
#include "shading/random.h"
#include "shading/trace.h"

namespace lucentor {
namespace {

// The shadow rays of directLighting: one per light, from just below the surface towards
// the light's position or a sampled point of its sphere.
void recordShadowRays(const Scene& scene, const Surface& surface, RandomGenerator& generator,
                      RaySet& out) {
    const Vec3 start = surface.point - surface.normal * kSurfaceOffset;
    for (int i = 0; i < scene.lightCount; ++i) {
        const Light& light = *scene.lights[i];
        const Vec3 target =
            light.radius > 0.0f ? sampleLightPoint(light, start, generator) : light.position;
        const Vec3 toLight = target - start;
        out.shadow.push_back(Ray{start, toLight * (1.0f / length(toLight)), 0.0f});
    }
}

// Issues the rays trace() issues for `ray`, in its order: the ray's own query, then the
// shadow rays of a diffuse or mirror surface and the secondary rays of a mirror or glass one.
void followRay(const Scene& scene, Ray ray, float depth, RandomGenerator& generator, RaySet& out) {
    out.closestHit.push_back(ray);
    const HitRecord hit = ray.closestHit(scene);
    if (ray.t == kFarDistance || int(hit.kind) == int(HitKind::Light) || depth == kMaxDepth) {
        return;
    }
    const Surface s = surfaceOf(hit, scene, ray.direction * ray.t + ray.origin);
    const Vec3& d = ray.direction;
    const float next = depth + 1.0f;
    if (!(s.material > 1.0f)) {
        recordShadowRays(scene, s, generator, out);
        if (s.material == 0.0f) return;
        followRay(scene, Ray{s.point + s.normal * kSurfaceOffset, reflectedDirection(d, s.normal)},
                  next, generator, out);
        return;
    }
    const Vec3 turned = dot(d, s.normal) < 0.0f ? -s.normal : s.normal;
    followRay(scene, Ray{s.point + turned * kSurfaceOffset, reflectedDirection(d, turned)}, next,
              generator, out);
    followRay(scene,
              Ray{s.point - s.normal * kSurfaceOffset, refractedDirection(d, s.normal, s.material)},
              next, generator, out);
}

}  // namespace

std::unique_ptr<Scene> makePresetScene(Preset preset) {
    return std::unique_ptr<Scene>(createPresetScene(preset));
}

RaySet recordRays(const Scene& scene, const Camera& camera, int pixelStep) {
    RandomGenerator generator{kBenchSeed};
    const RenderJob job;  // only for its pixel cells
    RaySet rays;
    for (int y = 0; y < kImageHeight; y += pixelStep) {
        for (int x = 0; x < kImageWidth; x += pixelStep) {
            // The jitter step in the middle of the pixel's cell.
            const PixelCell cell = job.pixelCell(x, y);
            const int uMiddle = (cell.uLow + cell.uHigh) / 2;
            const int vMiddle = (cell.vLow + cell.vHigh) / 2;
            const Ray ray =
                cameraRay(camera, job.jitterUnit * float(uMiddle), job.jitterUnit * float(vMiddle));
            followRay(scene, ray, 0.0f, generator, rays);
        }
    }
    return rays;
}

void renderNextPass(Rendering& rendering) {
    using namespace std::chrono_literals;
    const int target = completedPasses(rendering) + 1;
    while (completedPasses(rendering) < target) {
        if (!stepFrame(rendering, [] {})) waitForPassComplete(rendering.job, 20ms);
    }
}

std::vector<Vec3> renderedSums(Preset preset, int passes, int threads) {
    Rendering rendering;
    prepareRendering(rendering, preset);
    startWorkers(rendering, threads, kRenderSeed);
    for (int i = 0; i < passes; ++i) renderNextPass(rendering);
    stopWorkers(rendering);
    return {rendering.accumulation, rendering.accumulation + kPixelCount};
}

std::unique_ptr<Scene> readScene(const std::string& path) {
    std::unique_ptr<Scene> scene;
    std::string problem;
    std::vector<std::string> warnings;
    if (loadSceneFile(path, scene, problem, warnings) != SceneFileStatus::Read) {
        std::fprintf(stderr, "%s\n", problem.c_str());
    }
    return scene;
}

std::vector<RayPacket> cameraPackets(const Scene& scene, int tileWidth) {
    const ImageSize size;
    const Camera camera = cameraOf(scene, size);
    const int tileHeight = kMaxPacketLanes / tileWidth;
    std::vector<RayPacket> packets;
    for (int y0 = 0; y0 < size.height; y0 += tileHeight) {
        for (int x0 = 0; x0 < size.width; x0 += tileWidth) {
            RayPacket& packet = packets.emplace_back();
            for (int k = 0; k < kMaxPacketLanes; ++k) {
                const int x = x0 + k % tileWidth;
                const int y = y0 + k / tileWidth;
                packet.set(k, cameraRay(camera, (float(x) + 0.5f) / float(size.width),
                                        (float(y) + 0.5f) / float(size.height)));
            }
        }
    }
    return packets;
}

double processorSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long peakMemory() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6)) * 1024;
    }
    return -1;
}

void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

}  // namespace lucentor
