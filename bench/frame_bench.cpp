// The windows' present of a completed pass on SDL's dummy driver, against the bare SDL calls
// it makes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "bench/bench_support.h"
#include "bench/frame_support.h"
#include "presets/box.h"
#include "window/frame.h"
#include "window/window.h"

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

// Presents of a pass of the box, which the worker that completed it converted beforehand.
template <typename Draw>
void timePresents(benchmark::State& state, Draw draw) {
    Window window;
    if (!openBenchWindow(state, window)) return;
    const ShownFrame frame = shownFrameOf(renderedSums(buildBoxScene, 1, 2), 1);
    for (auto _ : state) draw(window, frame);
    closeWindow(window);
    state.SetItemsProcessed(state.iterations() * kPixelCount);
}

// What the windows do once per present.
void presentStep(benchmark::State& state) { timePresents(state, presentFrame); }

void bareSdlFrame(benchmark::State& state) { timePresents(state, drawBareFrame); }

BENCHMARK(presentStep)->Unit(benchmark::kMillisecond);
BENCHMARK(bareSdlFrame)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lucentor
