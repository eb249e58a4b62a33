// The window programs' frame step on SDL's dummy driver, against the bare SDL calls it makes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "window/frame.h"
#include "window/window.h"
#include "bench/bench_support.h"
#include "bench/frame_support.h"
#include "presets/box.h"

namespace lucentor {
namespace {

// The window on the dummy driver unless the caller chose one; false after a message.
bool openBenchWindow(benchmark::State& state, Window& window) {
    // Does not replace a driver the caller set (the last argument).
    setenv("SDL_VIDEODRIVER", "dummy", 0);  // NOLINT(concurrency-mt-unsafe): no other thread runs
    std::string error;
    if (openWindow(window, error)) return true;
    state.SkipWithError(error.c_str());
    return false;
}

// runFrameStep on a completed pass of the box, as the programs run it between polls; the pass
// is completed in place of the workers outside the timing.
void frameStep(benchmark::State& state) {
    Window window;
    if (!openBenchWindow(state, window)) return;
    const std::vector<Vec3> sums = renderedSums(buildBoxScene, 1, 2);
    Rendering rendering;
    prepareWithoutWorkers(rendering, buildBoxScene);
    runFrameStep(window, rendering);  // the first step only starts pass 1
    for (auto _ : state) {
        state.PauseTiming();
        completeWithoutWorkers(rendering, sums);
        state.ResumeTiming();
        runFrameStep(window, rendering);
    }
    closeWindow(window);
    state.SetItemsProcessed(state.iterations() * kPixelCount);
}

void bareSdlFrame(benchmark::State& state) {
    Window window;
    if (!openBenchWindow(state, window)) return;
    const std::vector<std::uint32_t> words = shownWordsOf(renderedSums(buildBoxScene, 1, 2), 1);
    for (auto _ : state) drawBareFrame(window, words);
    closeWindow(window);
    state.SetItemsProcessed(state.iterations() * kPixelCount);
}

BENCHMARK(frameStep)->Unit(benchmark::kMillisecond);
BENCHMARK(bareSdlFrame)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lucentor
