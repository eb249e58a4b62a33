// How the cost of a scene grows with its spheres.
//   lucentor-big-scenes write COUNT LAYOUT FOLDER
// (LAYOUT: layer, volume, clustered or coincident)
// writes FOLDER/spheres.csv and FOLDER/scene.toml;
//   lucentor-big-scenes measure SCENE PASSES THREADS
// reads SCENE and renders PASSES passes, printing one line: spheres, seconds to read and build,
// peak memory while reading, median seconds per pass and peak memory while rendering.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "bench/scene_generator.h"
#include "scenefile/scene_file.h"

namespace lucentor {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The peak resident memory since the start or since resetPeakMemory, in bytes.
long peakMemory() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6)) * 1024;
    }
    return -1;
}

void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

int write(int count, std::string_view layoutName, const std::string& folder) {
    SphereLayout layout = SphereLayout::Layer;
    if (layoutName == "volume") layout = SphereLayout::Volume;
    if (layoutName == "clustered") layout = SphereLayout::Clustered;
    if (layoutName == "coincident") layout = SphereLayout::Coincident;
    std::ofstream(folder + "/spheres.csv", std::ios::binary) << sphereRowsText(count, layout, 7);
    std::ofstream(folder + "/scene.toml", std::ios::binary) << sceneTextAround("spheres.csv");
    return 0;
}

int measure(const std::string& path, int passes, int threads) {
    const Clock::time_point start = Clock::now();
    std::unique_ptr<Scene> scene;
    std::string problem;
    std::vector<std::string> warnings;
    if (loadSceneFile(path, scene, problem, warnings) != SceneFileStatus::Read) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    const double readSeconds = secondsSince(start);
    const long readPeak = peakMemory();
    const int spheres = scene->sphereCount;
    resetPeakMemory();
    std::vector<double> passSeconds;
    {
        Rendering rendering;
        prepareRendering(rendering, scene.release());
        startWorkers(rendering, threads, kRenderSeed);
        for (int i = 0; i < passes; ++i) {
            const Clock::time_point passStart = Clock::now();
            renderNextPass(rendering);
            passSeconds.push_back(secondsSince(passStart));
        }
        stopWorkers(rendering);
    }
    const long renderPeak = peakMemory();
    std::sort(passSeconds.begin(), passSeconds.end());
    std::printf(
        "%9d spheres  read+build %7.3f s  read peak %6.0f MB  pass median %7.4f s"
        "  render peak %6.0f MB (%4.0f B/sphere)\n",
        spheres, readSeconds, double(readPeak) / 1e6, passSeconds[passSeconds.size() / 2],
        double(renderPeak) / 1e6, double(renderPeak) / double(spheres));
    return 0;
}

}  // namespace
}  // namespace lucentor

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == "write") {
        return lucentor::write(std::stoi(args[1]), args[2], args[3]);
    }
    if (args.size() == 4 && args[0] == "measure") {
        return lucentor::measure(args[1], std::stoi(args[2]), std::stoi(args[3]));
    }
    std::fprintf(stderr,
                 "usage: lucentor-big-scenes write COUNT LAYOUT FOLDER\n"
                 "       lucentor-big-scenes measure SCENE PASSES THREADS\n");
    return 2;
}
