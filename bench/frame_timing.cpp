// Times the windows' present of a completed pass in a real window, in one run: against the
// bare SDL calls it makes, and with the render workers idle against none running. Meant for
// Xvfb:
//   xvfb-run -a -s "-screen 0 1024x768x24" build/release/bench/lucentor-frame-timing [frames]
//   [rounds]
// Each of `rounds` rounds (default 3) times `frames` frames (default 20) of each kind, first
// without workers, then with them; the medians over all rounds are printed.
#include <SDL.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "bench/frame_support.h"
#include "presets/box.h"
#include "window/events.h"
#include "window/frame.h"
#include "window/window.h"

namespace lucentor {
namespace {

// Milliseconds per frame of each kind, one entry per frame.
struct FrameTimes {
    std::vector<double> present;      // (a) presentFrame, no workers
    std::vector<double> bare;         // (b) the bare SDL calls
    std::vector<double> idleWorkers;  // (c) presentFrame, workers idle
};

template <typename Step>
double millisecondsOf(Step&& step) {
    const auto start = std::chrono::steady_clock::now();
    step();
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    return elapsed.count();
}

double median(std::vector<double> values) {
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// (a) and (b) in turn for each frame, with no worker thread in the process.
void timeWithoutWorkers(Window& window, const ShownFrame& frame, int frames, FrameTimes& times) {
    for (int i = 0; i < frames; ++i) {
        handlePendingEvents();  // as the event loop does before each present
        times.present.push_back(millisecondsOf([&] { presentFrame(window, frame); }));
        times.bare.push_back(millisecondsOf([&] { drawBareFrame(window, frame); }));
    }
}

// (c): the programs' workers have rendered one pass and wait for the next, which never starts.
void timeWithIdleWorkers(Window& window, const ShownFrame& frame, int frames, FrameTimes& times) {
    Rendering rendering;
    prepareRendering(rendering, buildBoxScene);
    startWorkers(rendering, kWorkerCount, kRenderSeed);
    renderNextPass(rendering);
    for (int i = 0; i < frames; ++i) {
        handlePendingEvents();
        times.idleWorkers.push_back(millisecondsOf([&] { presentFrame(window, frame); }));
    }
}

// A positive count from the command line, or `fallback` when absent or not one.
int countArgument(int argc, char** argv, int index, int fallback) {
    if (index >= argc) return fallback;
    const std::string_view text = argv[index];
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value > 0 ? value : fallback;
}

void printTimes(const FrameTimes& times) {
    const double a = median(times.present);
    const double b = median(times.bare);
    const double c = median(times.idleWorkers);
    std::printf("(a) present (presentFrame), no workers:         %8.2f ms\n", a);
    std::printf("(b) bare SDL calls:                             %8.2f ms\n", b);
    std::printf("(c) present, %d workers idle:                    %8.2f ms\n", kWorkerCount, c);
    std::printf("a/b = %.3f   c/a = %.3f\n", a / b, c / a);
}

int runFrameTiming(int argc, char** argv) {
    const int frames = countArgument(argc, argv, 1, 20);
    const int rounds = countArgument(argc, argv, 2, 3);
    const ShownFrame frame = shownFrameOf(renderedSums(buildBoxScene, 1, kWorkerCount), 1);
    Window window;
    if (std::string error; !openWindow(window, error)) {
        std::fprintf(stderr, "lucentor-frame-timing: %s\n", error.c_str());
        return 1;
    }
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(window.renderer, &info);
    std::printf("video driver %s, renderer %s, median of %d frames (%d rounds of %d)\n",
                SDL_GetCurrentVideoDriver(), info.name, frames * rounds, rounds, frames);
    FrameTimes times;
    for (int round = 0; round < rounds; ++round) {
        timeWithoutWorkers(window, frame, frames, times);
        timeWithIdleWorkers(window, frame, frames, times);
    }
    closeWindow(window);
    printTimes(times);
    return 0;
}

}  // namespace
}  // namespace lucentor

int main(int argc, char** argv) { return lucentor::runFrameTiming(argc, argv); }
