#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/camera.h"
#include "engine/rendering.h"
#include "presets/preset.h"
#include "query/packet.h"
#include "scene/scene.h"

namespace lucentor {

// The seed of the benchmarks' light samples, so every run measures the same rays.
inline constexpr std::uint64_t kBenchSeed = 112;

// A preset's scene with its hierarchy, as the programs build it.
std::unique_ptr<Scene> makePresetScene(Preset preset);

// The rays a render of the scene issues for one camera ray through each pixel centre of
// every `pixelStep`-th column and row: the closest-hit queries of the camera rays and of the
// secondary rays they lead to, and the shadow rays of the lit surfaces.
struct RaySet {
    std::vector<Ray> closestHit;  // each with t = kFarDistance, as the queries start
    std::vector<Ray> shadow;
};

RaySet recordRays(const Scene& scene, const Camera& camera, int pixelStep);

// Starts one more pass of a rendering whose workers are running and returns once it is in
// the buffer, leaving the workers idle: what lucentor-render does for each pass.
void renderNextPass(Rendering& rendering);

// The accumulation buffer after `passes` passes of the preset with `threads` workers.
std::vector<Vec3> renderedSums(Preset preset, int passes, int threads);

// The scene file's scene, or null after saying why on the standard error.
std::unique_ptr<Scene> readScene(const std::string& path);

// The camera rays through every pixel centre of the scene's picture at the default size, in
// packets of kMaxPacketLanes pixels: `tileWidth` columns by kMaxPacketLanes / tileWidth rows
// each.
std::vector<RayPacket> cameraPackets(const Scene& scene, int tileWidth);

// The processor time of the whole process so far, in seconds: on a machine shared with other
// work, less disturbed than the wall clock.
double processorSeconds();

double median(std::vector<double> values);

// The wall-clock seconds since `start`.
double secondsSince(std::chrono::steady_clock::time_point start);

// The peak resident memory since the start or since resetPeakMemory, in bytes.
long peakMemory();
void resetPeakMemory();

}  // namespace lucentor
