// Samples as the render workers take them, one pass at a time, and the shown colours.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/bench_support.h"
#include "engine/display.h"
#include "engine/image.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"
#include "shading/random.h"

namespace lucentor {
namespace {

// One jittered camera sample traced one ray at a time (width 1), pixel after pixel in the
// order a row is rendered.
void traceSample(benchmark::State& state, Preset preset) {
    const std::unique_ptr<Scene> scene = makePresetScene(preset);
    const Camera camera = makeCamera();
    RenderJob job;
    job.camera = &camera;
    job.scene = scene.get();
    prepareSampling(job);
    RandomGenerator generator{kBenchSeed};
    int pixel = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            job.samplePixel(pixel % kImageWidth, pixel / kImageWidth, generator));
        pixel = pixel + 1 < kPixelCount ? pixel + 1 : 0;
    }
    state.SetItemsProcessed(state.iterations());
}

// A whole pass by one render worker thread, handed out and collected as lucentor-render does.
// Timed by the process's processor time, which counts the worker's, so that other load on a
// shared machine does not count; the real time is reported beside it.
void fullPass(benchmark::State& state, Preset preset) {
    Rendering rendering;
    prepareRendering(rendering, preset);
    startWorkers(rendering, 1, kRenderSeed);
    for (auto _ : state) renderNextPass(rendering);
    stopWorkers(rendering);
    state.SetItemsProcessed(state.iterations() * kPixelCount);
}

// The shown picture of one pass as the window's texture takes it.
void displayConversion(benchmark::State& state, Preset preset) {
    const std::vector<Vec3> sums = renderedSums(preset, 1, 2);
    std::vector<std::uint32_t> shown(kPixelCount);
    for (auto _ : state) {
        shownPicture(sums.data(), 1, shown.data(), kImageWidth * 4);
        benchmark::DoNotOptimize(shown.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixelCount);
}

BENCHMARK_CAPTURE(traceSample, box, buildBoxScene);
BENCHMARK_CAPTURE(traceSample, trio, buildTrioScene);
BENCHMARK_CAPTURE(traceSample, field, buildFieldScene);
BENCHMARK_CAPTURE(fullPass, box, buildBoxScene)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(fullPass, trio, buildTrioScene)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(fullPass, field, buildFieldScene)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(displayConversion, box, buildBoxScene)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(displayConversion, trio, buildTrioScene)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(displayConversion, field, buildFieldScene)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lucentor
