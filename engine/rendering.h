#pragma once

#include <array>
#include <cstdint>
#include <thread>

#include "engine/camera.h"
#include "engine/render_job.h"
#include "presets/preset.h"
#include "scene/scene.h"

namespace lucentor {

// A progressive rendering of one preset and everything it owns: the scene with its
// hierarchy, the camera, the accumulation buffer, the job and the worker threads. The window
// programs and lucentor-render both drive it, so they render the same pictures.
struct Rendering {
    Scene* scene = nullptr;
    Camera* camera = nullptr;
    Vec3* accumulation = nullptr;  // size.pixelCount() sums
    ImageSize size;
    // The pixels the passes sample, inside the picture; the others stay 0. Width 0: all of them.
    PixelRegion region;
    RenderJob job;
    std::array<std::thread, kMaxWorkers> workers;

    Rendering() = default;
    // Stops and joins any workers still running, then releases everything.
    ~Rendering();
    Rendering(const Rendering&) = delete;
    Rendering& operator=(const Rendering&) = delete;
    Rendering(Rendering&&) = delete;
    Rendering& operator=(Rendering&&) = delete;
};

// Before the window: seeds the C library's generator, builds the preset's scene and its
// hierarchy, and makes the camera for pictures of `size`.
void prepareRendering(Rendering& rendering, Preset preset, ImageSize size = {});

// The same for a scene already filled with its hierarchy built, which the rendering takes over;
// the camera is the scene's own, or the fixed one.
void prepareRendering(Rendering& rendering, Scene* scene, ImageSize size = {});

// After the window: sets up the job, zeroes the accumulation buffer and starts `workerCount`
// (1 to kMaxWorkers) workers, idle until the first pass starts, their ray queries on `simd`
// (which the processor must have). Throws std::system_error when a thread cannot be started;
// the workers started so far are joined by stopRendering.
void startWorkers(Rendering& rendering, int workerCount, std::uint64_t seed,
                  SimdPath simd = bestAvailablePath());

// Stops the workers, abandoning a pass in progress, and joins them; the buffer stays.
void stopWorkers(Rendering& rendering);

// After stopWorkers: starts the workers again as startWorkers did, from pass 0 with a zeroed
// buffer of `rendering.size`, seeing the rendering's scene and camera as they are now (either
// may have been replaced while no worker ran). Throws as startWorkers.
void restartWorkers(Rendering& rendering);

// Stops the workers (abandoning a pass in progress), joins them, then releases the camera,
// the scene and the buffer, in that order. Safe to call more than once.
void stopRendering(Rendering& rendering);

// Passes whose samples are all in the buffer.
int completedPasses(const Rendering& rendering);

// The main thread's step, once per loop iteration. When every worker has reported the current
// pass, calls show() (from the second call on: before the first pass there is nothing to
// show), then starts the next pass; returns whether it did. show() may read the buffer.
template <typename Show>
bool stepFrame(Rendering& rendering, Show&& show) {
    if (!isPassComplete(rendering.job)) return false;
    // Only this thread starts passes here, so the number read is the one to follow.
    const int started = rendering.job.passNumber.load();
    if (started >= 1) show();
    startPass(rendering.job, started + 1);
    return true;
}

}  // namespace lucentor
