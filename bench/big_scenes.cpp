// How the cost of a scene grows with its spheres.
//   lucentor-big-scenes write COUNT LAYOUT FOLDER
// (LAYOUT: layer, volume, clustered or coincident)
// writes FOLDER/spheres.csv and FOLDER/scene.toml;
//   lucentor-big-scenes measure SCENE PASSES THREADS
// reads SCENE and renders PASSES passes, printing one line: spheres, seconds to read and build,
// peak memory while reading, median seconds per pass and peak memory while rendering;
//   lucentor-big-scenes rays SCENE ROUNDS
// reads SCENE and times the closest-hit queries of one camera ray through each pixel centre
// on one thread (processor time), ROUNDS times in turn: one ray at a time, packets of the widest
// path as 16 rows of one column and as 4 by 4 pixel tiles; prints each way's median in M rays per
// second.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "bench/scene_generator.h"
#include "query/packet.h"
#include "scenefile/scene_file.h"

namespace lucentor {
namespace {

using Clock = std::chrono::steady_clock;

// Writes `text` as the file `path`; false after saying why on the standard error (a folder
// that does not exist, a full disk).
bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (out) return true;
    std::fprintf(stderr, "cannot write '%s'\n", path.c_str());
    return false;
}

int write(int count, std::string_view layoutName, const std::string& folder) {
    SphereLayout layout = SphereLayout::Layer;
    if (layoutName == "volume") layout = SphereLayout::Volume;
    if (layoutName == "clustered") layout = SphereLayout::Clustered;
    if (layoutName == "coincident") layout = SphereLayout::Coincident;
    const bool written = writeFile(folder + "/spheres.csv", sphereRowsText(count, layout, 7)) &&
                         writeFile(folder + "/scene.toml", sceneTextAround("spheres.csv"));
    return written ? 0 : 1;
}

int measure(const std::string& path, int passes, int threads) {
    const Clock::time_point start = Clock::now();
    std::unique_ptr<Scene> scene = readScene(path);
    if (!scene) return 1;
    const double readSeconds = secondsSince(start);
    const long readPeak = peakMemory();
    const int spheres = scene->sphereCount;
    resetPeakMemory();
    std::vector<double> passSeconds;
    std::vector<double> passProcessorSeconds;
    {
        Rendering rendering;
        prepareRendering(rendering, scene.release());
        startWorkers(rendering, threads, kRenderSeed);
        for (int i = 0; i < passes; ++i) {
            const Clock::time_point passStart = Clock::now();
            const double processorStart = processorSeconds();
            renderNextPass(rendering);
            passSeconds.push_back(secondsSince(passStart));
            passProcessorSeconds.push_back(processorSeconds() - processorStart);
        }
        stopWorkers(rendering);
    }
    const long renderPeak = peakMemory();
    std::printf(
        "%9d spheres  read+build %7.3f s  read peak %6.0f MB  pass median %7.4f s"
        " (processor %7.4f s)  render peak %6.0f MB (%4.0f B/sphere)\n",
        spheres, readSeconds, double(readPeak) / 1e6, median(passSeconds),
        median(passProcessorSeconds), double(renderPeak) / 1e6,
        double(renderPeak) / double(spheres));
    return 0;
}

// M rays a second of one pass over the packets, lane by lane through the one-ray query
// (path null) or a packet at a time on `path`.
double raysPerSecond(const Scene& scene, std::vector<RayPacket> packets, const SimdPath* path) {
    std::array<HitRecord, kMaxPacketLanes> records{};
    const double start = processorSeconds();
    for (RayPacket& packet : packets) {
        if (path != nullptr) {
            closestHits(*path, scene, packet, 0xffffu, records);
            continue;
        }
        for (int k = 0; k < kMaxPacketLanes; ++k) {
            Ray ray = packet.ray(k);
            records[std::size_t(k)] = ray.closestHit(scene);
            packet.t[std::size_t(k)] = ray.t;
        }
    }
    return double(packets.size() * kMaxPacketLanes) / (processorSeconds() - start) / 1e6;
}

int rays(const std::string& path, int rounds) {
    std::unique_ptr<Scene> scene = readScene(path);
    if (!scene) return 1;
    const SimdPath best = bestAvailablePath();
    const std::vector<RayPacket> columns = cameraPackets(*scene, 1);
    const std::vector<RayPacket> tiles = cameraPackets(*scene, 4);
    std::array<std::vector<double>, 3> rates;
    for (int round = 0; round < rounds; ++round) {
        rates[0].push_back(raysPerSecond(*scene, tiles, nullptr));
        rates[1].push_back(raysPerSecond(*scene, columns, &best));
        rates[2].push_back(raysPerSecond(*scene, tiles, &best));
    }
    std::printf(
        "%9d spheres  M camera rays/s, one thread: one at a time %6.2f  %s 16 rows %6.2f  "
        "%s 4x4 tiles %6.2f\n",
        scene->sphereCount, median(rates[0]), std::string(pathName(best)).c_str(), median(rates[1]),
        std::string(pathName(best)).c_str(), median(rates[2]));
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
    if (args.size() == 3 && args[0] == "rays") return lucentor::rays(args[1], std::stoi(args[2]));
    std::fprintf(stderr,
                 "usage: lucentor-big-scenes write COUNT LAYOUT FOLDER\n"
                 "       lucentor-big-scenes measure SCENE PASSES THREADS\n"
                 "       lucentor-big-scenes rays SCENE ROUNDS\n");
    return 2;
}
