#include "engine/rendering.h"

#include <cassert>

#include "engine/image.h"
#include "engine/startup.h"

namespace lucentor {

Rendering::~Rendering() { stopRendering(*this); }

void prepareRendering(Rendering& rendering, Preset preset, ImageSize size) {
    prepareRendering(rendering, createPresetScene(preset), size);
}

void prepareRendering(Rendering& rendering, Scene* scene, ImageSize size) {
    rendering.scene = scene;
    rendering.size = size;
    rendering.camera = new Camera(cameraOf(*scene, size));
}

namespace {

// Sets the job up for the rendering's scene, camera and size and starts its workerCount
// workers, idle: the first frame step starts pass 1.
void launchWorkers(Rendering& rendering) {
    RenderJob& job = rendering.job;
    job.finishedWorkers.store(job.workerCount);
    job.camera = rendering.camera;
    job.scene = rendering.scene;
    setPictureSize(job, rendering.size);
    if (rendering.region.width > 0) job.region = rendering.region;
    prepareSampling(job);
    rendering.accumulation = new Vec3[std::size_t(rendering.size.pixelCount())]{};
    job.accumulation = rendering.accumulation;
    for (int i = 0; i < job.workerCount; ++i) {
        rendering.workers[std::size_t(i)] = std::thread(renderWorker, &job, i);
    }
}

}  // namespace

void startWorkers(Rendering& rendering, int workerCount, std::uint64_t seed, SimdPath simd) {
    assert(workerCount >= 1 && workerCount <= kMaxWorkers && rendering.accumulation == nullptr);
    assert(isAvailable(simd, detectCpuFeatures()));
    RenderJob& job = rendering.job;
    job.workerCount = workerCount;
    job.seed = seed;
    job.simd = simd;
    launchWorkers(rendering);
}

void restartWorkers(Rendering& rendering) {
    RenderJob& job = rendering.job;
    // No worker runs: the job's fields are the main thread's alone.
    job.stopRequested.store(false);
    job.nextTile.store(-1);
    job.passNumber.store(0);
    job.lastPass = 0;
    delete[] rendering.accumulation;
    rendering.accumulation = nullptr;
    launchWorkers(rendering);
}

void stopWorkers(Rendering& rendering) {
    requestStop(rendering.job);
    for (std::thread& worker : rendering.workers) {
        if (worker.joinable()) worker.join();
    }
}

void stopRendering(Rendering& rendering) {
    stopWorkers(rendering);
    // Only now, with no worker left, may what they read go away.
    delete rendering.camera;
    rendering.camera = nullptr;
    delete rendering.scene;
    rendering.scene = nullptr;
    delete[] rendering.accumulation;
    rendering.accumulation = nullptr;
    rendering.job.accumulation = nullptr;
    rendering.job.camera = nullptr;
    rendering.job.scene = nullptr;
}

int completedPasses(const Rendering& rendering) { return completedPasses(rendering.job); }

}  // namespace lucentor
