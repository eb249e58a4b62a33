// How the cost of a mesh grows with its triangles.
//   lucentor-mesh-scale TRIANGLES PASSES THREADS
// makes a rippled sheet of about TRIANGLES triangles as binary PLY in memory (not timed), reads
// and builds it, and renders PASSES passes of it with THREADS workers; prints one line: the
// triangles, seconds to read and build, the peak memory above what was held before reading
// (while reading and building, and while rendering) in bytes a triangle, and the median
// seconds per pass. Every count fills the same share of the picture.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/rendering.h"
#include "meshfile/mesh_file.h"
#include "scene/scene.h"

namespace lucentor {
namespace {

using Clock = std::chrono::steady_clock;

template <class T>
void append(std::string& bytes, T value) {
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    bytes.append(raw, sizeof(T));
}

// A square sheet of side 3 about the origin, facing +z, rippled by a tenth, cut into `side`
// by `side` cells of two triangles each.
std::string sheetPly(int side) {
    const int corners = side + 1;
    std::string bytes = "ply\nformat binary_little_endian 1.0\nelement vertex " +
                        std::to_string(corners * corners) +
                        "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
                        std::to_string(2 * side * side) +
                        "\nproperty list uchar int vertex_indices\nend_header\n";
    for (int row = 0; row < corners; ++row) {
        for (int column = 0; column < corners; ++column) {
            const double x = 3.0 * column / side - 1.5;
            const double y = 3.0 * row / side - 1.5;
            append(bytes, float(x));
            append(bytes, float(y));
            append(bytes, float(0.1 * std::sin(7.0 * x) * std::cos(5.0 * y)));
        }
    }
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const int a = row * corners + column;
            for (const int v : {a, a + 1, a + corners + 1, a, a + corners + 1, a + corners}) {
                if (v == a) append(bytes, std::uint8_t{3});
                append(bytes, std::int32_t(v));
            }
        }
    }
    return bytes;
}

int measure(int triangles, int passes, int threads) {
    const auto side = int(std::lround(std::sqrt(triangles / 2.0)));
    const std::string ply = sheetPly(side);
    resetPeakMemory();
    const long before = peakMemory();
    const Clock::time_point start = Clock::now();
    auto scene = std::make_unique<Scene>();
    scene->limits = kSceneFileLimits;
    Mesh mesh;
    MeshReport report;
    if (!readMeshBytes(ply, MeshFormat::Ply, "sheet.ply", ".", mesh, report)) {
        std::fprintf(stderr, "%s\n", report.problem.c_str());
        return 1;
    }
    scene->addMesh(std::move(mesh));
    scene->addLight({-2, 3, 4}, 0.5f, {1, 1, 1}, 20.0f);
    scene->camera = CameraPose{{0, -1, 4}, {0, 0, 0}, {0, 1, 0}, 50.0f};
    scene->buildHierarchy();
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
