// How the cost of a mesh grows with its triangles.
//   lucentor-mesh-scale TRIANGLES PASSES THREADS
// makes a rippled sheet of about TRIANGLES triangles (bench/sheet_mesh.h) as binary PLY in
// memory (not timed), reads and builds it, and renders PASSES passes of it with THREADS workers;
// prints one line: the triangles, seconds to read and build, the peak memory above what was held
// before reading (while reading and building, and while rendering) in bytes a triangle, and the
// median seconds per pass. Every count fills the same share of the picture.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/sheet_mesh.h"
#include "engine/rendering.h"
#include "scene/scene.h"

namespace lucentor {
namespace {

using Clock = std::chrono::steady_clock;

int measure(int triangles, int passes, int threads) {
    const std::string ply = sheetPly(triangles);
    resetPeakMemory();
    const long before = peakMemory();
    const Clock::time_point start = Clock::now();
    std::unique_ptr<Scene> scene = sheetScene(ply);
    if (!scene) return 1;
    const double buildSeconds = secondsSince(start);
    const long buildPeak = peakMemory() - before;
    const auto count = double(scene->triangleCount);
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
    const long renderPeak = peakMemory() - before;
    std::printf(
        "%9.0f triangles  read+build %7.3f s  peak %5.0f B/triangle building, %5.0f rendering"
        "  pass median %7.4f s\n",
        count, buildSeconds, double(buildPeak) / count, double(renderPeak) / count,
        median(passSeconds));
    return 0;
}

}  // namespace
}  // namespace lucentor

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: lucentor-mesh-scale TRIANGLES PASSES THREADS\n");
        return 2;
    }
    return lucentor::measure(std::stoi(argv[1]), std::stoi(argv[2]), std::stoi(argv[3]));
}
