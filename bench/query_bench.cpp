// The ray queries on the rays a render of each preset issues, and the scene build.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "bench/bench_support.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"
#include "query/triangle.h"

namespace lucentor {
namespace {

// Every fourth column and row: enough rays to cover the picture, few enough to stay in memory
// with the trio's glass, which doubles the rays at each bounce.
constexpr int kRayPixelStep = 4;

void closestHit(benchmark::State& state, Preset preset) {
    const std::unique_ptr<Scene> scene = makePresetScene(preset);
    const RaySet rays = recordRays(*scene, makeCamera(), kRayPixelStep);
    for (auto _ : state) {
        for (const Ray& recorded : rays.closestHit) {
            Ray ray = recorded;
            benchmark::DoNotOptimize(ray.closestHit(*scene));
            benchmark::DoNotOptimize(ray.t);
        }
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(rays.closestHit.size()));
    state.counters["rays"] = double(rays.closestHit.size());
}

void occlusion(benchmark::State& state, Preset preset) {
    const std::unique_ptr<Scene> scene = makePresetScene(preset);
    const RaySet rays = recordRays(*scene, makeCamera(), kRayPixelStep);
    for (auto _ : state) {
        for (const Ray& ray : rays.shadow) benchmark::DoNotOptimize(ray.occlusion(*scene));
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(rays.shadow.size()));
    state.counters["rays"] = double(rays.shadow.size());
}

// The scene as the programs make it: the preset's objects, then the hierarchy; then released.
void buildBvh(benchmark::State& state, Preset preset) {
    for (auto _ : state) benchmark::DoNotOptimize(makePresetScene(preset));
}

// The triangle test alone: random rays from around the cube [-1, 1]^3 aimed into it, against
// random triangles in it, through each path's batch entry (which also gathers each ray into
// the lanes and scatters its answer).
void triangleTest(benchmark::State& state, SimdPath path) {
    if (!isAvailable(path, detectCpuFeatures())) {
        state.SkipWithError("this processor lacks the path");
        return;
    }
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const auto point = [&] { return Vec3{unit(random), unit(random), unit(random)}; };
    std::vector<Ray> rays(4096);
    for (Ray& ray : rays) {
        ray.origin = point() * 3.0f;
        const Vec3 towards = point() * 0.5f - ray.origin;
        ray.direction = towards * (1.0f / length(towards));
    }
    std::vector<Vec3> vertices(3 * 64);
    for (Vec3& v : vertices) v = point();
    std::vector<TriangleHit> hits(rays.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < vertices.size(); i += 3) {
            hitTriangles(path, rays, vertices[i], vertices[i + 1], vertices[i + 2], hits);
            benchmark::DoNotOptimize(hits.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(rays.size() * vertices.size() / 3));
}

BENCHMARK_CAPTURE(triangleTest, scalar, SimdPath::Scalar);
BENCHMARK_CAPTURE(triangleTest, avx2, SimdPath::Avx2);
BENCHMARK_CAPTURE(triangleTest, avx512, SimdPath::Avx512);
BENCHMARK_CAPTURE(closestHit, box, buildBoxScene);
BENCHMARK_CAPTURE(closestHit, trio, buildTrioScene);
BENCHMARK_CAPTURE(closestHit, field, buildFieldScene);
BENCHMARK_CAPTURE(occlusion, box, buildBoxScene);
BENCHMARK_CAPTURE(occlusion, trio, buildTrioScene);
BENCHMARK_CAPTURE(occlusion, field, buildFieldScene);
BENCHMARK_CAPTURE(buildBvh, box, buildBoxScene);
BENCHMARK_CAPTURE(buildBvh, trio, buildTrioScene);
BENCHMARK_CAPTURE(buildBvh, field, buildFieldScene);

}  // namespace
}  // namespace lucentor
